// The decimal formatter with arbitrary options and values. The input is one
// byte choosing null options, eight bytes of the value, then the options.
// Beyond the sanitizers' checks (the block is exactly 32 bytes, so reading
// past its end is caught): options holding anything but flags, digits and a
// point are refused, plain "%lf" of a modest value is never refused, and a
// result reads back as the value it was made from.
#include "util/decimal.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9)
        return 0;
    bool null_options = (data[0] & 1) != 0;
    double value = 0;
    std::memcpy(&value, data + 1, sizeof value);
    std::string options(reinterpret_cast<const char*>(data + 9), size - 9);
    options.resize(std::strlen(options.c_str()));

    std::unique_ptr<char[]> text = format_decimal(value, null_options ? nullptr : options.c_str());
    bool plain = null_options || options.empty();

    if (!plain && options.find_first_not_of("-+ #0123456789.") != std::string::npos && text)
        std::abort();
    if (plain && std::isfinite(value) && std::fabs(value) < 1e20 && !text)
        std::abort();
    if (!text)
        return 0;
    if (std::strlen(text.get()) > 31)
        std::abort();
    if (std::isfinite(value)) {
        // A sign after padding is skipped by the reader, so magnitudes are
        // compared; rounding to precision 0 is off by at most a half.
        double back = std::fabs(parse_decimal(text.get()));
        if (std::fabs(back - std::fabs(value)) > 0.5 + 1e-12 * std::fabs(value))
            std::abort();
    }
    return 0;
}
