// Standard output and the command interpreter on POSIX systems.
//
// With COMSPEC set, command lines go to the program it names, as on Windows.
// Without it there is no interpreter that knows the tool's command lines, and
// none is looked for (a CMD.EXE planted in the working directory would run),
// so the three lines the tool uses are carried out here.
#include "platform/platform.h"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <memory>
#include <new>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

// Not every unistd.h declares it (glibc only with _GNU_SOURCE).
extern char** environ; // NOLINT(readability-redundant-declaration)

namespace {

// Set when standard output is a UTF-8 terminal: the stored code page 932
// text is converted so that the labels read as Japanese there.
iconv_t to_utf8 = reinterpret_cast<iconv_t>(-1);

bool has_converter() {
    return to_utf8 != reinterpret_cast<iconv_t>(-1);
}

void write_all(const char* bytes, std::size_t count) {
    while (count > 0) {
        ssize_t written = write(STDOUT_FILENO, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

// A byte that is not valid code page 932 goes out as it is.
void write_converted(const char* bytes, std::size_t count) {
    std::unique_ptr<char[]> out(new (std::nothrow) char[3 * count + 3]);
    if (!out) {
        write_all(bytes, count);
        return;
    }
    char* in = const_cast<char*>(bytes);
    std::size_t in_left = count;
    char* next = out.get();
    std::size_t out_left = 3 * count + 3;
    iconv(to_utf8, nullptr, nullptr, nullptr, nullptr);
    while (in_left > 0) {
        if (iconv(to_utf8, &in, &in_left, &next, &out_left) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            break;
        *next++ = *in++;
        --in_left;
        --out_left;
    }
    write_all(out.get(), static_cast<std::size_t>(next - out.get()));
}

// Returns 0, or the error that kept the program from starting. The child
// gets the default SIGPIPE handling back, which the tool itself ignores.
int spawn_and_wait(bool search_path, const char* program, char* const argv[]) {
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0)
        return ENOMEM;
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    (void)posix_spawnattr_setsigdefault(&attributes, &defaults);
    (void)posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t child = 0;
    int failed = search_path ? posix_spawnp(&child, program, nullptr, &attributes, argv, environ)
                             : posix_spawn(&child, program, nullptr, &attributes, argv, environ);
    (void)posix_spawnattr_destroy(&attributes);
    if (failed != 0)
        return failed;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return 0;
}

void clear_screen() {
    // What `clear` sends: home, erase the screen, erase the scrollback. When
    // output is redirected, a form feed stands for the cleared screen.
    if (stdout_is_terminal())
        write_all("\x1b[H\x1b[2J\x1b[3J", 11);
    else
        write_all("\f", 1);
}

void set_colours() {
    // Bright cyan on black, then the screen erased in those colours so that
    // they cover the whole window. The terminal keeps them after the tool
    // ends, as a console keeps its colours.
    if (stdout_is_terminal())
        write_all("\x1b[0;96;40m\x1b[2J", 14);
}

void power_off() {
#if defined(__APPLE__)
    char const* const argv[] = {"shutdown", "-h", "now", nullptr};
#else
    char const* const argv[] = {"shutdown", "-P", "now", nullptr};
#endif
    // Its result is not examined, but a shutdown that could not even start
    // is worth a word on the error stream, as an interpreter would say it.
    if (int error = spawn_and_wait(true, argv[0], const_cast<char* const*>(argv)))
        (void)std::fprintf(stderr, "shutdown: %s\n", std::strerror(error));
}

} // namespace

void init_console() {
    // A reader that goes away (`shutdown_timer | head`) must not end the
    // countdown: the shutdown still comes, and the lost output is ignored, as
    // it is on Windows.
    (void)std::signal(SIGPIPE, SIG_IGN);
    if (!stdout_is_terminal())
        return;
    // Should this fail, the code set reads as ASCII and nothing is converted.
    (void)std::setlocale(LC_CTYPE, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0)
        to_utf8 = iconv_open("UTF-8", "CP932");
}

bool stdout_is_terminal() {
    return isatty(STDOUT_FILENO) != 0;
}

void write_stdout(const char* bytes, std::size_t count) {
    if (has_converter())
        write_converted(bytes, count);
    else
        write_all(bytes, count);
}

void run_interpreter(const char* command_line) {
    if (const char* comspec = std::getenv("COMSPEC")) {
        char const* const argv[] = {comspec, "/c", command_line, nullptr};
        spawn_and_wait(false, comspec, const_cast<char* const*>(argv));
        return;
    }
    if (std::strcmp(command_line, "cls") == 0)
        clear_screen();
    else if (std::strcmp(command_line, "COLOR B") == 0)
        set_colours();
    else if (std::strcmp(command_line, "shutdown -s -t 1") == 0)
        power_off();
}
