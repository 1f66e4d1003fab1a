// Decimal text helpers.
#include "util/decimal.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t block_size = 32;

// The format is built in a work area of this size: "%", the options, "lf" and
// a terminating zero, which leaves 508 characters for the options.
constexpr std::size_t work_area_size = 512;
constexpr std::size_t max_options_length = work_area_size - 4;

// Neither a width nor a precision above this fits in the block. Refusing
// larger numbers while reading them keeps values beyond int, which snprintf
// cannot take, out of the format.
constexpr int max_field = static_cast<int>(block_size) - 1;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_flag(char c) {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}

// Steps past a run of digits; false when they are worth more than max_field.
bool skip_field(const char*& p) {
    int value = 0;
    for (; is_digit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > max_field)
            return false;
    }
    return true;
}

// The options must not reach printf unchecked: a conversion, '*', '%' or a
// length modifier among them would read arguments that were never passed.
bool options_are_valid(const char* options) {
    const char* p = options;
    while (is_flag(*p))
        ++p;
    if (!skip_field(p))
        return false;
    if (*p == '.' && !skip_field(++p))
        return false;
    return *p == '\0';
}

} // namespace

std::unique_ptr<char[]> format_decimal(double value, const char* options) {
    if (options == nullptr)
        options = "";
    std::size_t length = std::strlen(options);
    if (length > max_options_length || !options_are_valid(options))
        return nullptr;
    char format[work_area_size] = "%";
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result): "lf" and the zero follow
    std::memcpy(format + 1, options, length);
    std::memcpy(format + 1 + length, "lf", 3);

    std::unique_ptr<char[]> block(new (std::nothrow) char[block_size]);
    if (!block)
        return nullptr;
// The format is built at run time, but only from the options checked above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int written = std::snprintf(block.get(), block_size, format, value);
#pragma GCC diagnostic pop
    // A number cut short would read as a different number.
    if (written < 0 || static_cast<std::size_t>(written) >= block_size)
        return nullptr;
    return block;
}

namespace {

// The running value is kept as a double, but each step is worked out in long
// double, so that on x86 it is rounded first to a 64-bit significand and only
// then to a double. Results keep that double rounding bit for bit; where long
// double has another size (ARM: 113 or 53 bits) the last bit may differ.
//
// A value past the largest double becomes inf when stored: infinity is one of
// the two doubles it lies between, and IEEE rounding picks it.
double add_integer_digit(double value, int digit) {
    return static_cast<double>(static_cast<long double>(value) * 10 + digit);
}

// The quotient is added at long double precision, not rounded to a double
// first.
double add_fraction_digit(double value, long double& divisor, int digit) {
    divisor *= 10;
    return static_cast<double>(value + digit / divisor);
}

} // namespace

double parse_decimal(const char* text) {
    if (*text == '\0')
        return 0.0;
    double sign = *text == '-' ? -1.0 : 1.0;
    double value = 0.0;
    bool in_fraction = false;
    // A floating divisor holds 10 to 10^9 exactly, the powers the first nine
    // fraction digits were always divided by, and unlike a 32-bit integer it
    // neither wraps at the tenth digit nor ever reaches zero. Beyond 10^27
    // (10^22 where long double is a double) its powers are rounded, and far
    // enough out it becomes inf, so those digits add nothing.
    long double divisor = 1;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '.')
            in_fraction = true;
        else if (is_digit(*p) && in_fraction)
            value = add_fraction_digit(value, divisor, *p - '0');
        else if (is_digit(*p))
            value = add_integer_digit(value, *p - '0');
    }
    return sign * value;
}
