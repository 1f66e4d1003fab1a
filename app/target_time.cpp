// Reading the target time from the beginning of its file: hour digits, a
// colon, minute digits; whatever follows is ignored.
#include "app/countdown.h"

#include "platform/platform.h"
#include "util/textfile.h"

#include <cstddef>

std::int8_t target_hour = 0;
std::int8_t target_minute = 0;

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t digit_run(const char* text) {
    std::size_t len = 0;
    while (is_digit(text[len]))
        ++len;
    return len;
}

// The decimal value of a digit run reduced modulo 256, however long the run:
// the reduction is applied at every step, so nothing can overflow.
std::int8_t digits_mod_256(const char* digits, std::size_t len) {
    unsigned value = 0;
    for (std::size_t i = 0; i < len; ++i)
        value = (value * 10U + static_cast<unsigned>(digits[i] - '0')) & 0xFFU;
    return static_cast<std::int8_t>(value);
}

bool format_error() {
    print("FILE FORMAT ERROR!!\n");
    return false;
}

} // namespace

bool read_target_time(const char* path) {
    std::unique_ptr<char[]> text = load_text_file(path);
    if (!text) {
        print("FILE READ ERROR!!\n");
        return false;
    }
    const char* hour = text.get();
    std::size_t hour_len = digit_run(hour);
    if (hour_len == 0 || hour[hour_len] != ':')
        return format_error();
    target_hour = digits_mod_256(hour, hour_len);
    const char* minute = hour + hour_len + 1;
    std::size_t minute_len = digit_run(minute);
    if (minute_len == 0)
        return format_error();
    target_minute = digits_mod_256(minute, minute_len);
    return true;
}
