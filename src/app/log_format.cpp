#include "app/log_format.h"

namespace tarnwick {

static std::string Number(int value, int minDigits) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < minDigits) s.insert(0, minDigits - s.size(), '0');
    return s;
}

std::string FormatShortDate(const LocaleFormats& f, const LocalDateTime& t) {
    const std::string& p = f.shortDatePattern;
    std::string out;
    size_t i = 0;
    while (i < p.size()) {
        const char c = p[i];
        if (c == '\'') {
            // Quoted literal; '' inside quotes is one quote.
            ++i;
            while (i < p.size()) {
                if (p[i] == '\'') {
                    if (i + 1 < p.size() && p[i + 1] == '\'') {
                        out += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                out += p[i++];
            }
            continue;
        }
        size_t run = 1;
        while (i + run < p.size() && p[i + run] == c)
            ++run;
        const int m = (t.month >= 1 && t.month <= 12) ? t.month - 1 : 0;
        const int w = (t.dayOfWeek >= 0 && t.dayOfWeek <= 6) ? t.dayOfWeek : 0;
        switch (c) {
        case 'd':
            if (run <= 2)
                out += Number(t.day, static_cast<int>(run));
            else
                out += run == 3 ? f.abbrevDayNames[w] : f.dayNames[w];
            break;
        case 'M':
            if (run <= 2)
                out += Number(t.month, static_cast<int>(run));
            else
                out += run == 3 ? f.abbrevMonthNames[m] : f.monthNames[m];
            break;
        case 'y':
            if (run <= 2)
                out += Number(t.year % 100, static_cast<int>(run));
            else
                out += Number(t.year, 4);
            break;
        case 'g':
            break; // era: the Gregorian calendar has none worth printing
        default:
            out.append(run, c);
        }
        i += run;
    }
    return out;
}

std::string FormatLongTime(const LocaleFormats& f, const LocalDateTime& t) {
    int hour = t.hour;
    if (!f.twentyFourHour) {
        hour %= 12;
        if (hour == 0) hour = 12;
    }
    std::string clock = Number(hour, f.hourLeadingZero ? 2 : 1) + f.timeSeparator + Number(t.minute, 2) +
                        f.timeSeparator + Number(t.second, 2);
    if (f.twentyFourHour) return clock;
    const std::string& mark = t.hour < 12 ? f.amDesignator : f.pmDesignator;
    // A locale without designators gets no dangling blank.
    if (mark.empty()) return clock;
    return f.designatorFirst ? mark + " " + clock : clock + " " + mark;
}

std::string FormatDateTime(const LocaleFormats& f, const LocalDateTime& t) {
    return FormatShortDate(f, t) + " " + FormatLongTime(f, t);
}

std::string FormatLogLine(const LocaleFormats& f, const LocalDateTime& t, const std::string& msg) {
    return FormatShortDate(f, t) + "  " + FormatLongTime(f, t) + " - " + msg + "\r\n";
}

} // namespace tarnwick
