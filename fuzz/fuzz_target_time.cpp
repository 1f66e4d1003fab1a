// Arbitrary file contents through the real reading path: the bytes are
// written to a file and read back by read_target_time with the real platform
// files. The outcome is checked against a plain reading of the same bytes.
#include "app/countdown.h"
#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string path;

void remove_file() {
    if (!path.empty())
        unlink(path.c_str());
}

// The text as the file gives it: CR bytes dropped, ended by Ctrl-Z, and read
// as a C string, so a NUL ends it too.
std::string text_of(const std::uint8_t* data, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\r')
            continue;
        if (data[i] == 0x1A || data[i] == '\0')
            break;
        text += static_cast<char>(data[i]);
    }
    return text;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Digits from `pos`, their value modulo 256; false when there are none.
bool number_at(const std::string& text, std::size_t& pos, unsigned& value) {
    std::size_t start = pos;
    value = 0;
    for (; pos < text.size() && is_digit(text[pos]); ++pos)
        value = (value * 10 + static_cast<unsigned>(text[pos] - '0')) % 256;
    return pos > start;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* dir = std::getenv("TMPDIR");
    std::string name =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/fuzz-timer-XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0) {
        std::perror("mkstemp");
        std::abort();
    }
    close(fd);
    path = name;
    std::atexit(remove_file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();

    target_hour = 11;
    target_minute = 11;
    bool read = read_target_time(path.c_str());
    flush_output();

    std::string text = text_of(data, size);
    std::size_t pos = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    bool expected = number_at(text, pos, hour) && pos < text.size() && text[pos++] == ':' &&
                    number_at(text, pos, minute);
    if (read != expected)
        std::abort();
    if (read && (static_cast<std::uint8_t>(target_hour) != hour ||
                 static_cast<std::uint8_t>(target_minute) != minute))
        std::abort();
    return 0;
}
