// The countdown cycle: show the target, the clock and the time left once a
// second, until the clock shows the target hour and minute.
#include "app/countdown.h"

#include "platform/platform.h"

namespace {

// The labels in code page 932, written as stored.
constexpr char shutdown_label[] = "\x83\x56\x83\x83\x83\x62\x83\x67\x83\x5F\x83\x45\x83\x93"
                                  "\x8E\x9E\x8D\x8F";                  // shutdown time
constexpr char now_label[] = "\x8C\xBB\x8D\xDD\x8E\x9E\x8D\x8F";       // current time
constexpr char remaining_label[] = "\x8E\x63\x82\xE8\x8E\x9E\x8A\xD4"; // time remaining

std::int8_t wrap(int value) {
    return static_cast<std::int8_t>(value);
}

bool at_target(const std::tm& reading) {
    return target_hour == reading.tm_hour && target_minute == reading.tm_min;
}

// The third line has no line end, so it stays on the screen's last line.
void show_frame(const std::tm& reading) {
    RemainingTime left = remaining_time(target_hour, target_minute, reading);
    print("%s %02d:%02d:00\n", shutdown_label, target_hour, target_minute);
    print("%s %02d:%02d:%02d\n", now_label, reading.tm_hour, reading.tm_min, reading.tm_sec);
    print("%s %02d:%02d:%02d", remaining_label, left.hours, left.minutes, left.seconds);
}

} // namespace

RemainingTime remaining_time(std::int8_t hour, std::int8_t minute, const std::tm& reading) {
    std::int8_t hours = wrap(hour - reading.tm_hour);
    if (hours < 0)
        hours = wrap(hours + 24);
    std::int8_t minutes = wrap(minute - reading.tm_min);
    if (minutes < 0) {
        minutes = wrap(minutes + 60);
        hours = wrap(hours - 1);
        if (hours < 0)
            hours = wrap(hours + 24);
    }
    std::int8_t seconds = wrap(0 - reading.tm_sec);
    if (seconds < 0) {
        seconds = wrap(seconds + 60);
        minutes = wrap(minutes - 1);
        if (minutes < 0) {
            minutes = wrap(minutes + 60);
            hours = wrap(hours - 1);
            if (hours < 0)
                hours = wrap(hours + 24);
        }
    }
    return {hours, minutes, seconds};
}

// The reading that ends a pause is taken before the screen is cleared, and
// the cycle that finds the target prints nothing. A clock that cannot be
// read never counts as the target: that cycle says so instead of showing a
// frame, and the next one tries again.
void run_countdown() {
    std::tm reading{};
    bool readable = read_local_clock(reading);
    while (!readable || !at_target(reading)) {
        if (readable)
            show_frame(reading);
        else
            print("CLOCK READ ERROR!!\n");
        pause_seconds(1);
        readable = read_local_clock(reading);
        run_command("cls");
    }
}
