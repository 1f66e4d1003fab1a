// The shutdown countdown: the target time read from its file, and the
// once-a-second cycle that waits for it.
#pragma once

#include <cstdint>
#include <ctime>

// The TargetTime: the hour and minute written in the target-time file, each
// reduced modulo 256. Zero until read_target_time sets them.
extern std::int8_t target_hour, target_minute;

// Reads the target time from the beginning of the file at `path`. On failure
// it has printed its one message and returns false.
bool read_target_time(const char* path);

struct RemainingTime {
    std::int8_t hours, minutes, seconds;
};

// The time from `reading` to the next moment the clock shows hour:minute:00,
// computed in wrapping 8-bit steps so that out-of-range targets show as they
// always have.
RemainingTime remaining_time(std::int8_t hour, std::int8_t minute, const std::tm& reading);

// Shows the countdown once a second and returns when a clock reading shows
// the target hour and minute.
void run_countdown();
