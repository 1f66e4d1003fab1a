// The narrow layer between the tool and the operating system.
//
// Each platform supplies the primitives in the first half of this header
// (platform/posix/ or platform/windows/, chosen by the build). The second half
// is shared code built on those primitives: the text-mode translation of files
// and of standard output is done once, here, so that every platform reads and
// writes the same bytes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>

// ---- Supplied by each platform ----

// Opens a file for reading, in binary. Null when the path cannot be opened or
// does not name a regular file (a directory counts as "cannot be opened").
std::FILE* open_file_for_reading(const char* path);

// Opens a file for writing, in binary: created or emptied, or with `append`
// created if missing and written at its end. Null when it cannot be opened.
std::FILE* open_file_for_writing(const char* path, bool append);

// Prepares standard output; called once, before anything is written.
void init_console();

// True when standard output is a terminal or console.
bool stdout_is_terminal();

// Writes bytes that are already translated to standard output, all of them
// unless the device fails.
void write_stdout(const char* bytes, std::size_t count);

// Carries a command line out through the command interpreter and waits for
// it; the result is ignored. Pending output must be flushed first: callers use
// run_command, which does that.
void run_interpreter(const char* command_line);

// The current local wall-clock time, broken down. False when the clock cannot
// be read or converted; `reading` is then unspecified.
bool read_local_clock(std::tm& reading);

// Sleeps for whole seconds, resuming after interruptions by signals.
void pause_seconds(unsigned seconds);

// ---- Shared by every platform ----

// printf-style output to standard output. Each LF goes out as CR LF. Written
// at once when standard output is a terminal, otherwise in 512-byte blocks.
void print(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Writes out everything print has buffered.
void flush_output();

// Flushes pending output, then carries the command line out.
void run_command(const char* command_line);

// Reads a file opened by open_file_for_reading as text: every CR byte is
// dropped and the first Ctrl-Z ends the text.
struct TextReader {
    std::FILE* file;
    std::size_t pos;
    std::size_t len;
    bool ended;  // end of file, Ctrl-Z or a read error
    bool failed; // a read error
    unsigned char block[4096];
};

void start_text_reader(TextReader& reader, std::FILE* file);

// The next character of the text (0-255), or -1 at its end.
int read_text_char(TextReader& reader);

// Writes `text` to a file as text: each LF as CR LF, every other byte as it
// is. False when a write fails.
bool write_text(std::FILE* file, const char* text);
