#include "app/win32/file_log.h"

#include "common/services.h"
#include "common/win32/error_text.h"
#include "common/win32/handles.h"

namespace tarnwick::win32 {

static std::string LocaleString(LCTYPE type, const char* fallback) {
    char buf[128];
    const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf);
    if (n <= 0) return fallback;
    return std::string(buf, static_cast<size_t>(n - 1));
}

LocaleFormats ReadLocaleFormats() {
    LocaleFormats f;
    f.shortDatePattern = LocaleString(LOCALE_SSHORTDATE, "M/d/yy");
    f.timeSeparator = LocaleString(LOCALE_STIME, ":");
    f.hourLeadingZero = LocaleString(LOCALE_ITLZERO, "0") == "1";
    f.twentyFourHour = LocaleString(LOCALE_ITIME, "0") == "1";
    f.designatorFirst = LocaleString(LOCALE_ITIMEMARKPOSN, "0") == "1";
    f.amDesignator = LocaleString(LOCALE_S1159, "AM");
    f.pmDesignator = LocaleString(LOCALE_S2359, "PM");
    for (int i = 0; i < 12; ++i) {
        f.monthNames[i] = LocaleString(LOCALE_SMONTHNAME1 + i, "");
        f.abbrevMonthNames[i] = LocaleString(LOCALE_SABBREVMONTHNAME1 + i, "");
    }
    // The locale numbers days from Monday; the stamp's table starts on Sunday.
    for (int i = 0; i < 7; ++i) {
        f.dayNames[(i + 1) % 7] = LocaleString(LOCALE_SDAYNAME1 + i, "");
        f.abbrevDayNames[(i + 1) % 7] = LocaleString(LOCALE_SABBREVDAYNAME1 + i, "");
    }
    return f;
}

LocalDateTime LocalNow() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return FromSystemTime(st);
}

LocalDateTime FromSystemTime(const SYSTEMTIME& st) {
    LocalDateTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.dayOfWeek = st.wDayOfWeek;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    return t;
}

static UniqueFile OpenForAppend(const std::string& path, DWORD disposition) {
    return UniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

void AppendLogLine(const std::string& path, const std::string& line, unsigned retryDelayMs) {
    UniqueFile file = OpenForAppend(path, OPEN_EXISTING);
    if (!file) {
        DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND) {
            file = OpenForAppend(path, CREATE_NEW);
            err = GetLastError();
            // Someone else created it in between: it exists now, so take the retry like any busy file.
            if (!file && err != ERROR_FILE_EXISTS)
                throw IoError("Cannot create the log file " + path + ": " + LastErrorText(err) + ".");
        }
        if (!file) {
            Sleep(retryDelayMs);
            file = OpenForAppend(path, OPEN_EXISTING);
            if (!file)
                throw IoError("Cannot open the log file " + path + ": " + LastErrorText(GetLastError()) +
                              ".");
        }
    }
    LARGE_INTEGER zero{};
    DWORD written = 0;
    if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END) ||
        !WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size())
        throw IoError("Cannot write to the log file " + path + ": " + LastErrorText(GetLastError()) + ".");
}

} // namespace tarnwick::win32
