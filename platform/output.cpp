// Standard output as the tool writes it on every platform: LF expanded to
// CR LF, written at once on a terminal, otherwise gathered in 512-byte blocks
// and written out before each command line and at exit.
#include "platform/platform.h"

#include <cstdarg>
#include <memory>
#include <new>

namespace {

constexpr std::size_t block_size = 512;

char pending[block_size];
std::size_t pending_len = 0;

bool unbuffered() {
    static const bool terminal = stdout_is_terminal();
    return terminal;
}

void put_buffered(char c) {
    pending[pending_len++] = c;
    if (pending_len == block_size)
        flush_output();
}

void emit_buffered(const char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] == '\n')
            put_buffered('\r');
        put_buffered(bytes[i]);
    }
}

// One write per call on a terminal, so that a multi-byte character never
// reaches the device in two pieces.
void emit_unbuffered(const char* bytes, std::size_t count) {
    std::unique_ptr<char[]> expanded(new (std::nothrow) char[2 * count]);
    if (!expanded)
        return;
    std::size_t len = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] == '\n')
            expanded[len++] = '\r';
        expanded[len++] = bytes[i];
    }
    write_stdout(expanded.get(), len);
}

void emit(const char* bytes, std::size_t count) {
    if (unbuffered())
        emit_unbuffered(bytes, count);
    else
        emit_buffered(bytes, count);
}

} // namespace

void print(const char* format, ...) {
    char small[256];
    std::va_list args;
    va_start(args, format);
    int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (needed < 0)
        return;
    auto count = static_cast<std::size_t>(needed);
    if (count < sizeof small) {
        emit(small, count);
        return;
    }
    std::unique_ptr<char[]> large(new (std::nothrow) char[count + 1]);
    if (!large)
        return;
    va_start(args, format);
    (void)std::vsnprintf(large.get(), count + 1, format, args); // its length is known
    va_end(args);
    emit(large.get(), count);
}

void flush_output() {
    if (pending_len > 0)
        write_stdout(pending, pending_len);
    pending_len = 0;
}

void run_command(const char* command_line) {
    flush_output();
    run_interpreter(command_line);
}
