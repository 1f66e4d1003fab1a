// shutdown_timer: powers the computer off at the time of day written in
// timer.txt, counting down once a second until then. Arguments are ignored.
#include "app/countdown.h"

#include "platform/platform.h"

int main() {
    init_console();
    run_command("cls");
    run_command("COLOR B");
    if (!read_target_time("timer.txt")) {
        flush_output();
        return 1;
    }
    run_countdown();
    run_command("shutdown -s -t 1");
    flush_output();
    return 0;
}
