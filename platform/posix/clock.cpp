// The local clock and the pause on POSIX systems.
#include "platform/platform.h"

#include <cerrno>
#include <time.h>

bool read_local_clock(std::tm& reading) {
    std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1))
        return false;
    return localtime_r(&now, &reading) != nullptr;
}

void pause_seconds(unsigned seconds) {
    timespec left{};
    left.tv_sec = static_cast<time_t>(seconds);
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
