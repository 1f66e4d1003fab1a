#include "tests/scripted_system.h"

#include "platform/platform.h"

#include <filesystem>

namespace {
ScriptedSystem state;
} // namespace

ScriptedSystem& scripted_system() {
    return state;
}

void reset_scripted_system() {
    flush_output();
    state = ScriptedSystem{};
}

std::tm clock_at(int hour, int minute, int second) {
    std::tm reading{};
    reading.tm_hour = hour;
    reading.tm_min = minute;
    reading.tm_sec = second;
    return reading;
}

void init_console() {}

bool stdout_is_terminal() {
    return false;
}

void write_stdout(const char* bytes, std::size_t count) {
    state.output.append(bytes, count);
}

void run_interpreter(const char* command_line) {
    state.commands.emplace_back(command_line);
    state.output += "<" + std::string(command_line) + ">";
}

// A script that runs out ends the countdown by unwinding it: a test of a
// target that never fires expects that, any other test fails on it.
bool read_local_clock(std::tm& reading) {
    if (state.clock.empty())
        throw ScriptEnded{};
    std::optional<std::tm> next = state.clock.front();
    state.clock.erase(state.clock.begin());
    if (!next)
        return false;
    reading = *next;
    return true;
}

void pause_seconds(unsigned seconds) {
    state.pauses += static_cast<int>(seconds);
}

// Files are real, opened in binary as on every platform. A test may run a
// hook before each open for reading, to change the file between the counting
// and the loading pass.
std::FILE* open_file_for_reading(const char* path) {
    ++state.opens;
    if (state.before_open)
        state.before_open(state.opens);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return nullptr;
    return std::fopen(path, "rb");
}

std::FILE* open_file_for_writing(const char* path, bool append) {
    return std::fopen(path, append ? "a+b" : "w+b");
}
