// The log stamp's own date and time formatting against the platform's, which it must match: for the
// user's regional settings, and for pictures that use every element the stamp knows.
#include <windows.h>

#include "app/log_format.h"
#include "app/win32/file_log.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace tarnwick;
using namespace tarnwick::win32;

namespace {

// Every month; the days where the day gets a second digit and where months end; hours about midnight
// and noon; years whose last two digits take a leading zero, and years that do not. Minutes and
// seconds run through one and two digits.
const std::vector<SYSTEMTIME>& Spread() {
    static const std::vector<SYSTEMTIME> spread = [] {
        std::vector<SYSTEMTIME> out;
        for (WORD year : {1999, 2000, 2009, 2026})
            for (WORD month = 1; month <= 12; ++month)
                for (WORD day : {1, 9, 10, 28, 29, 30, 31})
                    for (WORD hour : {0, 9, 12, 13, 23}) {
                        SYSTEMTIME st{};
                        st.wYear = year;
                        st.wMonth = month;
                        st.wDay = day;
                        st.wHour = hour;
                        st.wMinute = static_cast<WORD>((day + hour) % 60);
                        st.wSecond = static_cast<WORD>(month - 1);
                        FILETIME ft;
                        if (!SystemTimeToFileTime(&st, &ft)) continue; // no such day
                        FileTimeToSystemTime(&ft, &st);                // fills in the day of the week
                        out.push_back(st);
                    }
        return out;
    }();
    return spread;
}

std::string PlatformDate(const SYSTEMTIME& st, const char* picture) {
    char text[256];
    const int n = GetDateFormatA(LOCALE_USER_DEFAULT, 0, &st, picture, text, sizeof text);
    return n > 0 ? std::string(text, static_cast<size_t>(n - 1))
                 : "<error " + std::to_string(GetLastError()) + ">";
}

std::string PlatformTime(const SYSTEMTIME& st, const char* picture) {
    char text[256];
    const int n = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, picture, text, sizeof text);
    return n > 0 ? std::string(text, static_cast<size_t>(n - 1))
                 : "<error " + std::to_string(GetLastError()) + ">";
}

// Both over the whole spread; a systematic difference is reported for its first few dates only.
void ExpectSameOverSpread(const std::string& what, const std::function<std::string(const SYSTEMTIME&)>& ours,
                          const std::function<std::string(const SYSTEMTIME&)>& platform) {
    int differences = 0;
    for (const SYSTEMTIME& st : Spread()) {
        const std::string mine = ours(st), theirs = platform(st);
        if (mine == theirs) continue;
        if (++differences <= 3)
            ADD_FAILURE() << what << " on " << st.wYear << "-" << st.wMonth << "-" << st.wDay << " "
                          << st.wHour << ":" << st.wMinute << ":" << st.wSecond << ": ours \"" << mine
                          << "\", the platform's \"" << theirs << "\"";
    }
    EXPECT_EQ(differences, 0) << what;
}

} // namespace

TEST(LogFormatDifferential, UserSettingsOverASpreadOfDatesAndTimes) {
    const LocaleFormats f = ReadLocaleFormats();
    ExpectSameOverSpread(
        "short date", [&](const SYSTEMTIME& st) { return FormatShortDate(f, FromSystemTime(st)); },
        [](const SYSTEMTIME& st) { return PlatformDate(st, nullptr); });
    ExpectSameOverSpread(
        "time", [&](const SYSTEMTIME& st) { return FormatLongTime(f, FromSystemTime(st)); },
        [](const SYSTEMTIME& st) { return PlatformTime(st, nullptr); });
}

// Two elements are left out, where the stamp follows Windows and Wine does not: "y" alone (Windows writes
// the year's last two digits without a leading zero, Wine pads them) and the era "g" (the stamp writes
// none for the Gregorian calendar). The unit tier pins both.
TEST(LogFormatDifferential, DatePicturesWithEveryElement) {
    LocaleFormats f = ReadLocaleFormats();
    for (const char* picture :
         {"M/d/yyyy", "MM/dd/yy", "dd.MM.yyyy", "yyyy-MM-dd", "ddd d MMM yyyy", "dddd, MMMM d, yy",
          "'Day' d 'of' MMMM", "d 'd''M''y' M", "M-d-yy (dddd)", "yyyy'/'M"}) {
        f.shortDatePattern = picture;
        ExpectSameOverSpread(
            picture, [&](const SYSTEMTIME& st) { return FormatShortDate(f, FromSystemTime(st)); },
            [&](const SYSTEMTIME& st) { return PlatformDate(st, picture); });
    }
}

// The stamp's time is built from the settings' switches, not from a picture; each combination of them
// against the picture that says the same.
TEST(LogFormatDifferential, TimeSwitchesAgainstTheirPictures) {
    struct Case {
        bool leadingZero, twentyFour, markFirst;
        const char* separator;
        const char* picture;
    };
    const Case cases[] = {
        {false, false, false, ":", "h:mm:ss tt"}, {true, false, false, ":", "hh:mm:ss tt"},
        {false, true, false, ":", "H:mm:ss"},     {true, true, false, ":", "HH:mm:ss"},
        {false, false, true, ":", "tt h:mm:ss"},  {true, false, true, ".", "tt hh.mm.ss"},
        {false, true, false, ".", "H.mm.ss"},
    };
    for (const Case& c : cases) {
        LocaleFormats f = ReadLocaleFormats();
        f.hourLeadingZero = c.leadingZero;
        f.twentyFourHour = c.twentyFour;
        f.designatorFirst = c.markFirst;
        f.timeSeparator = c.separator;
        ExpectSameOverSpread(
            c.picture, [&](const SYSTEMTIME& st) { return FormatLongTime(f, FromSystemTime(st)); },
            [&](const SYSTEMTIME& st) { return PlatformTime(st, c.picture); });
    }
}
