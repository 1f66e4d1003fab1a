// Files on POSIX systems.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* open_file_for_reading(const char* path) {
    // Non-blocking, so that a FIFO of that name cannot hang the open; it is
    // refused below like a directory, since only a regular file reads the
    // same way twice.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr)
        close(fd);
    return file;
}

std::FILE* open_file_for_writing(const char* path, bool append) {
    return std::fopen(path, append ? "a+b" : "w+b");
}
