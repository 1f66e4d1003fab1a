// Files on Windows, through the C runtime in binary mode.
#include "platform/platform.h"

#include <sys/stat.h>

std::FILE* open_file_for_reading(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return nullptr;
    struct _stat64 info {};
    if (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

std::FILE* open_file_for_writing(const char* path, bool append) {
    return std::fopen(path, append ? "a+b" : "w+b");
}
