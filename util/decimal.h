// Decimal text helpers: a double formatted under printf-style options, and a
// forgiving reader of decimal text.
#pragma once

#include <memory>

// Formats `value` as printf's "%<options>lf" into a 32-byte block owned by
// the caller. Null or empty options give "%lf" (six digits after the point).
// Options may hold only flags (any of "-+ #0"), then an optional width, then
// an optional precision: a '.' followed by digits, where a bare '.' means
// precision 0 as in printf. Null when the options hold anything else, when
// the result would not fit in 31 characters (it is never cut short), or when
// no block can be allocated.
std::unique_ptr<char[]> format_decimal(double value, const char* options);

// Reads decimal text leniently: a '-' as the first character makes the value
// negative, the first '.' starts the fraction, digits count and every other
// character ('+', a later '-', spaces, letters, commas, a second '.') is
// skipped. "1,234.5" gives 1234.5, "1e3" gives 13, "-" gives -0.0 and text
// without digits gives 0. An integer part too large for a double gives +inf
// or -inf.
//
// Each step is rounded to a 64-bit significand and then stored as a double,
// so a result can differ in the last bit from plain double arithmetic (".0789"
// is one such text). That holds bit for bit only where long double has a
// 64-bit significand (x86); elsewhere a result may differ in the last bit.
double parse_decimal(const char* text);
