// Text-mode translation of files, the same on every platform: files are opened
// in binary and translated here rather than by a C runtime, whose text modes
// differ (one keeps a lone CR, another translates nothing).
#include "platform/platform.h"

namespace {

constexpr int carriage_return = 0x0D;
constexpr int end_of_text = 0x1A; // Ctrl-Z

bool refill(TextReader& reader) {
    reader.pos = 0;
    reader.len = std::fread(reader.block, 1, sizeof reader.block, reader.file);
    if (reader.len > 0)
        return true;
    reader.failed = std::ferror(reader.file) != 0;
    reader.ended = true;
    return false;
}

} // namespace

void start_text_reader(TextReader& reader, std::FILE* file) {
    reader.file = file;
    reader.pos = 0;
    reader.len = 0;
    reader.ended = false;
    reader.failed = false;
}

int read_text_char(TextReader& reader) {
    for (;;) {
        if (reader.ended)
            return -1;
        if (reader.pos == reader.len && !refill(reader))
            return -1;
        int c = reader.block[reader.pos++];
        if (c == carriage_return)
            continue;
        if (c == end_of_text) {
            reader.ended = true;
            return -1;
        }
        return c;
    }
}

bool write_text(std::FILE* file, const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n' && std::fputc('\r', file) == EOF)
            return false;
        if (std::fputc(static_cast<unsigned char>(*p), file) == EOF)
            return false;
    }
    return true;
}
