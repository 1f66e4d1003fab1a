// Whole-file text helpers. Files are read and written as text: CR bytes are
// dropped and the first Ctrl-Z ends the text on reading; each LF is written
// as CR LF. A returned block belongs to the caller.
#pragma once

#include <memory>

// The number of characters in the file plus one, room for a terminating
// zero; an empty file gives 1. When the file cannot be opened or read, writes
// the bell to standard output and returns 0.
long long count_file_chars(const char* path);

// The file's characters followed by a zero byte, in a block exactly as large
// as count_file_chars says, or null when the file cannot be read.
std::unique_ptr<char[]> load_text_file(const char* path);
