#include "app/log_format.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

LocaleFormats Us() {
    LocaleFormats f;
    f.shortDatePattern = "M/d/yyyy";
    f.monthNames = {"January", "February", "March",     "April",   "May",      "June",
                    "July",    "August",   "September", "October", "November", "December"};
    f.abbrevMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    f.dayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    f.abbrevDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    return f;
}

LocalDateTime At(int y, int mo, int d, int h, int mi, int s, int dow = 1) {
    LocalDateTime t;
    t.year = y;
    t.month = mo;
    t.day = d;
    t.hour = h;
    t.minute = mi;
    t.second = s;
    t.dayOfWeek = dow;
    return t;
}

} // namespace

TEST(LogLine, StampsForSeveralRegionalSettings) {
    LocaleFormats us = Us();

    LocaleFormats de = Us();
    de.shortDatePattern = "dd.MM.yyyy";
    de.twentyFourHour = true;
    de.hourLeadingZero = true;

    LocaleFormats gb = Us();
    gb.shortDatePattern = "dd/MM/yyyy";
    gb.twentyFourHour = true;
    gb.hourLeadingZero = true;

    LocaleFormats fi = Us();
    fi.shortDatePattern = "d.M.yyyy";
    fi.timeSeparator = ".";
    fi.twentyFourHour = true;

    // Designator in front, as Chinese and Korean settings put it.
    LocaleFormats kr = Us();
    kr.shortDatePattern = "yyyy-MM-dd";
    kr.designatorFirst = true;
    kr.amDesignator = "\xbf\xc0\xc0\xfc"; // ANSI text passes through unchanged
    kr.pmDesignator = "\xbf\xc0\xc8\xc4";
    kr.hourLeadingZero = true;

    LocaleFormats fallback; // nothing could be read: m/d/yy

    LocaleFormats noMarks = Us();
    noMarks.amDesignator = "";
    noMarks.pmDesignator = "";

    LocaleFormats named = Us();
    named.shortDatePattern = "ddd, MMM d 'of' yy";

    struct Case {
        const LocaleFormats* f;
        LocalDateTime t;
        const char* expected;
    };
    const Case cases[] = {
        {&us, At(2026, 12, 7, 3, 41, 4), "12/7/2026  3:41:04 AM - Starting VMs...\r\n"},
        {&us, At(2026, 1, 5, 0, 5, 9), "1/5/2026  12:05:09 AM - Starting VMs...\r\n"},
        {&us, At(2026, 1, 5, 12, 0, 0), "1/5/2026  12:00:00 PM - Starting VMs...\r\n"},
        {&us, At(2026, 1, 5, 23, 59, 59), "1/5/2026  11:59:59 PM - Starting VMs...\r\n"},
        {&de, At(2026, 3, 4, 7, 8, 9), "04.03.2026  07:08:09 - Starting VMs...\r\n"},
        {&gb, At(2026, 3, 4, 17, 8, 9), "04/03/2026  17:08:09 - Starting VMs...\r\n"},
        {&fi, At(2026, 3, 4, 7, 8, 9), "4.3.2026  7.08.09 - Starting VMs...\r\n"},
        {&kr, At(2026, 3, 4, 7, 8, 9), "2026-03-04  \xbf\xc0\xc0\xfc 07:08:09 - Starting VMs...\r\n"},
        {&kr, At(2026, 3, 4, 19, 8, 9), "2026-03-04  \xbf\xc0\xc8\xc4 07:08:09 - Starting VMs...\r\n"},
        {&fallback, At(2009, 3, 4, 7, 8, 9), "3/4/09  7:08:09 AM - Starting VMs...\r\n"},
        {&noMarks, At(2026, 3, 4, 19, 8, 9), "3/4/2026  7:08:09 - Starting VMs...\r\n"},
        {&named, At(2026, 3, 4, 19, 8, 9, 3), "Wed, Mar 4 of 26  7:08:09 PM - Starting VMs...\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatLogLine(*c.f, c.t, "Starting VMs..."), c.expected);
}

TEST(LogLine, MessageIsWrittenUnchanged) {
    const LocaleFormats f = Us();
    const LocalDateTime t = At(2026, 12, 7, 3, 41, 4);
    EXPECT_EQ(FormatLogLine(f, t, ""), "12/7/2026  3:41:04 AM - \r\n");
    // Captured tool output spans several physical lines; only the first is stamped.
    EXPECT_EQ(FormatLogLine(f, t, "  Command output: \r\n     a\r\n"),
              "12/7/2026  3:41:04 AM -   Command output: \r\n     a\r\n\r\n");
    const std::string raw("100%PATH% & \"x\"\t\xe9", 17);
    EXPECT_EQ(FormatLogLine(f, t, raw), "12/7/2026  3:41:04 AM - " + raw + "\r\n");
}

TEST(LogLine, DatePictureQuotesAndUnknownLetters) {
    LocaleFormats f = Us();
    f.shortDatePattern = "yyyy'y'MM'm''s'dd";
    EXPECT_EQ(FormatShortDate(f, At(2026, 3, 4, 0, 0, 0)), "2026y03m's04");
    f.shortDatePattern = "d/M/y"; // as Windows: the last two digits, no leading zero
    EXPECT_EQ(FormatShortDate(f, At(2009, 3, 4, 0, 0, 0)), "4/3/9");
    EXPECT_EQ(FormatShortDate(f, At(2026, 3, 4, 0, 0, 0)), "4/3/26");
    f.shortDatePattern = "gg yyyy/M/d";
    EXPECT_EQ(FormatShortDate(f, At(2026, 3, 4, 0, 0, 0)), " 2026/3/4");
    f.shortDatePattern = "dddd d MMMM yyyy";
    EXPECT_EQ(FormatShortDate(f, At(2026, 12, 6, 0, 0, 0, 0)), "Sunday 6 December 2026");
    f.shortDatePattern = "'unterminated";
    EXPECT_EQ(FormatShortDate(f, At(2026, 12, 6, 0, 0, 0, 0)), "unterminated");
}
