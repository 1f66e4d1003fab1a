// The local clock and the pause on Windows.
#include "platform/platform.h"

#include <windows.h>

bool read_local_clock(std::tm& reading) {
    __time64_t now = _time64(nullptr);
    if (now == -1)
        return false;
    return _localtime64_s(&reading, &now) == 0;
}

void pause_seconds(unsigned seconds) {
    Sleep(seconds * 1000U);
}
