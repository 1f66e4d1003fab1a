// The lenient decimal reader on arbitrary text. Beyond the sanitizers'
// checks: the result is never NaN, its sign follows a leading '-' alone, and
// the characters it skips change nothing.
#include "util/decimal.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Read as a C string: a NUL byte ends the text.
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(text.find('\0') == std::string::npos ? size : text.find('\0'));

    double value = parse_decimal(text.c_str());
    if (std::isnan(value))
        std::abort();
    if (std::signbit(value) != (!text.empty() && text[0] == '-'))
        std::abort();

    // Only a leading '-', the digits and the points count.
    std::string kept = !text.empty() && text[0] == '-' ? "-" : "";
    for (std::size_t i = kept.size(); i < text.size(); ++i)
        if ((text[i] >= '0' && text[i] <= '9') || text[i] == '.')
            kept += text[i];
    if (std::bit_cast<std::uint64_t>(parse_decimal(kept.c_str())) !=
        std::bit_cast<std::uint64_t>(value))
        std::abort();
    return 0;
}
