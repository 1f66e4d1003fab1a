// The local clock and the pause on Windows.
//
// Local time is the system's, the time Windows shows. The C runtime's
// localtime() would follow a TZ variable instead whenever one is set, and it
// understands only the "JST-9" form of it: a zone name such as Asia/Tokyo,
// which shells ported from other systems set, would count as UTC there.
#include "platform/platform.h"

#include <windows.h>

namespace {

int day_of_year(const SYSTEMTIME& date) {
    static constexpr int days_before_month[] = {0,   31,  59,  90,  120, 151,
                                                181, 212, 243, 273, 304, 334};
    int year = date.wYear;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int month = date.wMonth;
    return days_before_month[month - 1] + date.wDay - 1 + (leap && month > 2 ? 1 : 0);
}

} // namespace

bool read_local_clock(std::tm& reading) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone{};
    DWORD zone_state = GetTimeZoneInformation(&zone);
    reading = std::tm{};
    reading.tm_year = now.wYear - 1900;
    reading.tm_mon = now.wMonth - 1;
    reading.tm_mday = now.wDay;
    reading.tm_hour = now.wHour;
    reading.tm_min = now.wMinute;
    reading.tm_sec = now.wSecond;
    reading.tm_wday = now.wDayOfWeek;
    reading.tm_yday = day_of_year(now);
    reading.tm_isdst = zone_state == TIME_ZONE_ID_DAYLIGHT ? 1 : 0;
    return true;
}

void pause_seconds(unsigned seconds) {
    Sleep(seconds * 1000U);
}
