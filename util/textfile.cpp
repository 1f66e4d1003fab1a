// Whole-file text readers.
#include "util/textfile.h"

#include "platform/platform.h"

#include <cstdint>
#include <new>

long long count_file_chars(const char* path) {
    std::FILE* file = open_file_for_reading(path);
    if (file == nullptr) {
        print("\a");
        return 0;
    }
    TextReader reader;
    start_text_reader(reader, file);
    long long count = 0;
    while (read_text_char(reader) >= 0)
        ++count;
    (void)std::fclose(file); // only read from: nothing is lost
    if (reader.failed) {
        print("\a");
        return 0;
    }
    return count + 1;
}

// The file may have changed since it was counted: at most size - 1
// characters are read, so the block is never overrun and always ends with a
// zero byte, wherever the text stops.
std::unique_ptr<char[]> load_text_file(const char* path) {
    long long size = count_file_chars(path);
    if (size <= 0 || static_cast<unsigned long long>(size) > SIZE_MAX)
        return nullptr;
    auto capacity = static_cast<std::size_t>(size);
    std::unique_ptr<char[]> text(new (std::nothrow) char[capacity]);
    if (!text)
        return nullptr;
    std::FILE* file = open_file_for_reading(path);
    if (file == nullptr)
        return nullptr;
    TextReader reader;
    start_text_reader(reader, file);
    std::size_t len = 0;
    int c = 0;
    while (len + 1 < capacity && (c = read_text_char(reader)) >= 0)
        text[len++] = static_cast<char>(c);
    (void)std::fclose(file); // only read from: nothing is lost
    if (reader.failed)
        return nullptr;
    text[len] = '\0';
    return text;
}

namespace {

// Closing is checked too: buffered bytes reach the file only then, so a full
// disk may show up no sooner.
int write_whole_text(const char* path, const char* text, bool append) {
    std::FILE* file = open_file_for_writing(path, append);
    if (file == nullptr)
        return -1;
    bool written = write_text(file, text);
    bool closed = std::fclose(file) == 0;
    return written && closed ? 0 : -1;
}

} // namespace

int write_text_file(const char* path, const char* text) {
    return write_whole_text(path, text, false);
}

int append_text_file(const char* path, const char* text) {
    return write_whole_text(path, text, true);
}
