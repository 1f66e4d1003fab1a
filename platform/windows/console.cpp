// Standard output and the command interpreter on Windows.
#include "platform/platform.h"

#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

void init_console() {
    // Line ends are expanded by the shared output code, so the runtime must
    // pass the bytes through unchanged.
    _setmode(_fileno(stdout), _O_BINARY);
}

// Only a console counts: the runtime's _isatty is true for every character
// device, the NUL device among them, where the output is best gathered in
// blocks as for a file.
bool stdout_is_terminal() {
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

void write_stdout(const char* bytes, std::size_t count) {
    while (count > 0) {
        unsigned chunk = count > 0x10000 ? 0x10000U : static_cast<unsigned>(count);
        int written = _write(_fileno(stdout), bytes, chunk);
        if (written <= 0)
            return;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

// The runtime starts the program named by COMSPEC with "/c" and the line.
void run_interpreter(const char* command_line) {
    std::system(command_line);
}
