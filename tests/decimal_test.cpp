// The decimal helpers: the lenient reader, bit for bit, and the formatter's
// option checking and 32-byte limit.
#include "tests/support.h"
#include "util/decimal.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

struct ParseCase {
    const char* behaviour;
    std::string text;
    double expected;
    bool one_ulp_off_allowed = false;
    // The expected bits come from rounding each step to a 64-bit significand
    // and then to a double; plain double arithmetic gives another last bit.
    bool needs_64_bit_long_double = false;
};

const std::string zeros_399(399, '0');

const ParseCase parse_cases[] = {
    {"integer and fraction", "12.5", 12.5},
    {"minus first", "-3.25", -3.25},
    {"no integer part", ".5", 0.5},
    {"minus and no integer part", "-.5", -0.5},
    {"comma skipped", "1,234.5", 1234.5},
    {"letter skipped", "1e3", 13},
    {"plus skipped", "+7", 7},
    {"later minus skipped", "1-2", 12},
    {"second point skipped", "12.34.56", 0x1.8b0f27bb2fec6p+3}, // as "12.3456" reads
    {"no digits", "abc", 0},
    {"minus alone is negative zero", "-", -0.0},
    {"empty", "", 0},
    {"fraction rounded twice", ".0789", 0x1.432ca57a786c2p-4, false, true},
    {"nine fraction digits rounded twice", "0.333333333", 0x1.5555554f9b516p-2, false, true},
    {"integer steps rounded twice", "59348191339065891616", 0x1.9bcf90ca95780p+65, false, true},
    {"tenth fraction digit", ".1234567891", 0.1234567891, true},
    {"eleventh fraction digit after zeros", "0.00000000001", 1e-11, true},
    {"digit where a 32-bit divisor is zero", "0." + std::string(31, '0') + "5", 5e-32, true},
    {"twenty-three fraction digits", "0.12345678901234567890123", 0.12345678901234567890123, true},
    {"three thousand fraction digits", "0." + std::string(3000, '3'), 1.0 / 3, true},
    {"400-digit integer part", "1" + zeros_399, std::numeric_limits<double>::infinity()},
    {"400-digit negative integer part", "-1" + zeros_399, -std::numeric_limits<double>::infinity()},
};

void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << c.behaviour;
}

class ParseDecimal : public ::testing::TestWithParam<ParseCase> {};

// Compared bit for bit, so that -0.0 and 0.0 differ.
TEST_P(ParseDecimal, GivesTheExpectedBits) {
    const ParseCase& c = GetParam();
    if (c.needs_64_bit_long_double && std::numeric_limits<long double>::digits != 64)
        GTEST_SKIP() << "long double has " << std::numeric_limits<long double>::digits
                     << " significand bits here, not 64";
    double got = parse_decimal(c.text.c_str());
    auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d); };
    if (c.one_ulp_off_allowed && bits(got) != bits(c.expected)) {
        double inf = std::numeric_limits<double>::infinity();
        EXPECT_TRUE(got == std::nextafter(c.expected, inf) ||
                    got == std::nextafter(c.expected, -inf))
            << std::hexfloat << got << " vs " << c.expected;
        return;
    }
    EXPECT_EQ(bits(got), bits(c.expected)) << std::hexfloat << got << " vs " << c.expected;
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseDecimal, ::testing::ValuesIn(parse_cases),
                         [](const auto& info) { return case_name(info.param.behaviour); });

struct FormatCase {
    const char* behaviour;
    double value;
    std::string options;
    bool null_options;
    const char* expected; // null when no block is returned
};

const FormatCase format_cases[] = {
    // Accepted options.
    {"null options give six digits", 3.14159, "", true, "3.141590"},
    {"empty options give six digits", -2.5, "", false, "-2.500000"},
    {"precision", 3.14159, ".2", false, "3.14"},
    {"zero flag, width and precision", 3.14159, "08.3", false, "0003.142"},
    {"left-justified", 2.5, "-8.1", false, "2.5     "},
    {"plus sign", 2.71828, "+.1", false, "+2.7"},
    {"space for the sign", 7.6, " .0", false, " 8"},
    {"point kept by hash", 7, "#.0", false, "7."},
    {"bare point is precision zero", 2.6, ".", false, "3"},
    {"width and bare point", 2.6, "5.", false, "    3"},
    {"precision with leading zeros", 0.5, ".0003", false, "0.500"},
    {"width 31 fills the block", 1, "31", false, "                       1.000000"},
    {"31 characters without options", 1e24, "", true, "999999999999999983222784.000000"},
    {"precision 29 fills the block", 0.5, ".29", false, "0.50000000000000000000000000000"},
    {"508 characters of flags", 1.5, std::string(508, '-'), false, "1.500000"},
    // Refused options.
    {"string conversion", 1, "s", false, nullptr},
    {"count conversion", 1, "n", false, nullptr},
    {"star width", 1, "*", false, nullptr},
    {"second percent", 1, "%", false, nullptr},
    {"conversion after precision", 1, ".2f%", false, nullptr},
    {"length modifier", 1, "L", false, nullptr},
    {"letters", 1, "abc", false, nullptr},
    {"grouping flag", 1, "'", false, nullptr},
    {"flag after width", 1, "5-", false, nullptr},
    {"sign in precision", 1, ".-2", false, nullptr},
    {"two points", 1, "1.2.3", false, nullptr},
    {"width past int", 1, "99999999999", false, nullptr},
    {"precision past int", 1, ".99999999999", false, nullptr},
    {"509 characters of flags", 1.5, std::string(509, '-'), false, nullptr},
    // Results longer than 31 characters.
    {"32 characters without options", -1e24, "", true, nullptr},
    {"large value", 1e25, "", false, nullptr},
    {"width 32", 1, "32", false, nullptr},
    {"width 40", 1, "40", false, nullptr},
    {"precision 30", 0.5, ".30", false, nullptr},
};

void PrintTo(const FormatCase& c, std::ostream* out) {
    *out << c.behaviour;
}

class FormatDecimal : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatDecimal, GivesTheTextOrNull) {
    const FormatCase& c = GetParam();
    std::unique_ptr<char[]> text =
        format_decimal(c.value, c.null_options ? nullptr : c.options.c_str());
    if (c.expected == nullptr) {
        EXPECT_EQ(text, nullptr) << text.get();
        return;
    }
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text.get()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Options, FormatDecimal, ::testing::ValuesIn(format_cases),
                         [](const auto& info) { return case_name(info.param.behaviour); });

} // namespace
