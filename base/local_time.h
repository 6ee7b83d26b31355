// The local time as the program reads it from the system once per use: the date and time to
// the millisecond, and the offset from UTC.
#pragma once

namespace zuv {

// The local time with its offset from UTC, in minutes east of it.
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int offsetMinutes = 0;
};

// The local time now (Windows build only).
LocalTime LocalTimeNow();

}  // namespace zuv
