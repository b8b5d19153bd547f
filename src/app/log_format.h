#pragma once
// The stamp in front of every log line, built from the user's regional settings.
#include <array>
#include <string>

namespace tarnwick {

struct LocalDateTime {
    int year = 0, month = 1, day = 1, dayOfWeek = 0; // dayOfWeek: 0 = Sunday
    int hour = 0, minute = 0, second = 0;
};

// The regional settings the stamp depends on; read at start and again on a settings change.
struct LocaleFormats {
    std::string shortDatePattern = "M/d/yy"; // used when the setting cannot be read
    std::string timeSeparator = ":";
    bool hourLeadingZero = false; // LOCALE_ITLZERO
    bool twentyFourHour = false;  // LOCALE_ITIME
    bool designatorFirst = false; // LOCALE_ITIMEMARKPOSN
    std::string amDesignator = "AM", pmDesignator = "PM";
    std::array<std::string, 12> monthNames{}, abbrevMonthNames{};
    std::array<std::string, 7> dayNames{}, abbrevDayNames{}; // from Sunday
};

// A Windows date picture: d dd ddd dddd, M MM MMM MMMM, y yy yyyy, g, 'quoted text'; other characters
// are copied.
std::string FormatShortDate(const LocaleFormats& f, const LocalDateTime& t);
std::string FormatLongTime(const LocaleFormats& f, const LocalDateTime& t);
std::string FormatDateTime(const LocaleFormats& f, const LocalDateTime& t); // date, blank, time

// One whole line: date, two blanks, time, " - ", the message unchanged, CR LF.
std::string FormatLogLine(const LocaleFormats& f, const LocalDateTime& t, const std::string& msg);

} // namespace tarnwick
