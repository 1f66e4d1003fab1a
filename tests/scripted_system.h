// A scripted stand-in for the platform's primitives, linked into the unit
// tests in place of the real ones. Files are real; standard output is
// captured (it counts as redirected, so it is block-buffered), each command
// line is logged and marked in the captured output as "<line>", and the clock
// gives the readings a test scripts.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ScriptedSystem {
    std::string output;                        // bytes written to standard output
    std::vector<std::string> commands;         // command lines, in order
    std::vector<std::optional<std::tm>> clock; // readings still to give; nullopt = unreadable
    int pauses = 0;
    int opens = 0;                             // files opened for reading
    std::function<void(int open)> before_open; // runs before each such open
};

// The stand-in's state; reset() empties it and drops any pending output.
ScriptedSystem& scripted_system();
void reset_scripted_system();

// Thrown by the clock when the script has no reading left.
struct ScriptEnded {};

// A reading at hh:mm:ss.
std::tm clock_at(int hour, int minute, int second);
