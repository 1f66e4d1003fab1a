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

// Writes the characters of `text` up to its terminating zero to the file, each
// LF as CR LF and every other byte as it is. write_text_file creates the file
// or empties it first; append_text_file creates it if missing and writes at
// its end. 0 when every byte was written and the file closed cleanly, -1 when
// the file could not be opened, a write failed or closing it failed.
int write_text_file(const char* path, const char* text);
int append_text_file(const char* path, const char* text);
