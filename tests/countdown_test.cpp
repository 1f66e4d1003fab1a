// The countdown cycle and the remaining-time arithmetic, against a scripted
// clock and interpreter.
#include "app/countdown.h"
#include "platform/platform.h"
#include "tests/scripted_system.h"
#include "tests/support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <vector>

namespace {

std::string two_digit_triple(int a, int b, int c) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", a, b, c);
    return text;
}

struct RemainingCase {
    const char* behaviour;
    int hour, minute;        // target
    int now_h, now_m, now_s; // reading
    const char* remaining;
};

const RemainingCase remaining_cases[] = {
    {"one second before the target", 7, 30, 7, 29, 59, "00:00:01"},
    {"just past the target: nearly a day", 7, 30, 7, 31, 0, "23:59:00"},
    {"earlier minute in the same hour", 7, 10, 7, 20, 0, "23:50:00"},
    {"minutes and seconds borrow", 8, 30, 7, 30, 20, "00:59:40"},
    {"across midnight", 0, 0, 23, 59, 30, "00:00:30"},
    {"whole hours", 12, 0, 10, 0, 0, "02:00:00"},
    {"hour 24 counts to midnight", 24, 0, 10, 15, 30, "13:44:30"},
    {"hour 24 one second before midnight", 24, 0, 23, 59, 59, "00:00:01"},
    {"hour 24 at midnight", 24, 0, 0, 0, 0, "24:00:00"},
    {"hour -24 at ten", -24, 0, 10, 0, 0, "-10:00:00"},
    {"hour -24 just after midnight", -24, 0, 0, 0, 1, "23:59:59"},
    {"minute -128 wraps in eight bits", 0, -128, 0, 0, 0, "23:-68:00"},
    {"leap second", 7, 31, 7, 29, 60, "00:01:00"},
};

void PrintTo(const RemainingCase& c, std::ostream* out) {
    *out << c.behaviour;
}

class Remaining : public ::testing::TestWithParam<RemainingCase> {};

TEST_P(Remaining, MatchesTheClockArithmetic) {
    const RemainingCase& c = GetParam();
    RemainingTime left =
        remaining_time(static_cast<std::int8_t>(c.hour), static_cast<std::int8_t>(c.minute),
                       clock_at(c.now_h, c.now_m, c.now_s));
    EXPECT_EQ(two_digit_triple(left.hours, left.minutes, left.seconds), c.remaining);
}

INSTANTIATE_TEST_SUITE_P(Cases, Remaining, ::testing::ValuesIn(remaining_cases),
                         [](const auto& info) { return case_name(info.param.behaviour); });

// The labels as the console receives them, in code page 932.
const std::string shutdown_label = "\x83\x56\x83\x83\x83\x62\x83\x67\x83\x5F\x83\x45\x83\x93"
                                   "\x8E\x9E\x8D\x8F";
const std::string now_label = "\x8C\xBB\x8D\xDD\x8E\x9E\x8D\x8F";
const std::string remaining_label = "\x8E\x63\x82\xE8\x8E\x9E\x8A\xD4";

std::string frame(const std::string& target, const std::string& now, const std::string& left) {
    return shutdown_label + " " + target + "\r\n" + now_label + " " + now + "\r\n" +
           remaining_label + " " + left;
}

using Reading = std::optional<std::tm>;

struct CycleCase {
    const char* behaviour;
    int hour, minute;
    std::vector<Reading> clock;
    std::string output;
    bool returns; // false: still waiting when the clock script ran out
};

const CycleCase cycle_cases[] = {
    {"started inside the target minute: returns at once, prints nothing",
     7,
     30,
     {clock_at(7, 30, 10)},
     "",
     true},
    {"one frame, then the match prints nothing",
     7,
     30,
     {clock_at(7, 29, 59), clock_at(7, 30, 0)},
     frame("07:30:00", "07:29:59", "00:00:01") + "<cls>",
     true},
    {"seconds may jump; the match is on hour and minute only",
     22,
     0,
     {clock_at(21, 59, 58), clock_at(21, 59, 59), clock_at(22, 0, 1)},
     frame("22:00:00", "21:59:58", "00:00:02") + "<cls>" +
         frame("22:00:00", "21:59:59", "00:00:01") + "<cls>",
     true},
    {"an unreadable clock is never the target",
     7,
     30,
     {std::nullopt, clock_at(7, 30, 0)},
     "CLOCK READ ERROR!!\r\n<cls>",
     true},
    {"the clock recovering after a failed reading",
     7,
     30,
     {clock_at(7, 29, 58), std::nullopt, clock_at(7, 29, 59), clock_at(7, 30, 0)},
     frame("07:30:00", "07:29:58", "00:00:02") + "<cls>CLOCK READ ERROR!!\r\n<cls>" +
         frame("07:30:00", "07:29:59", "00:00:01") + "<cls>",
     true},
    {"target minute slept through: waits for the next day",
     7,
     30,
     {clock_at(7, 29, 59), clock_at(7, 31, 0)},
     frame("07:30:00", "07:29:59", "00:00:01") + "<cls>" +
         frame("07:30:00", "07:31:00", "23:59:00"),
     false},
    {"hour 24 never fires",
     24,
     0,
     {clock_at(23, 59, 59), clock_at(0, 0, 0)},
     frame("24:00:00", "23:59:59", "00:00:01") + "<cls>" +
         frame("24:00:00", "00:00:00", "24:00:00"),
     false},
    {"hour -24 prints its sign and never fires",
     -24,
     0,
     {clock_at(10, 0, 0), clock_at(0, 0, 1)},
     frame("-24:00:00", "10:00:00", "-10:00:00") + "<cls>" +
         frame("-24:00:00", "00:00:01", "23:59:59"),
     false},
};

void PrintTo(const CycleCase& c, std::ostream* out) {
    *out << c.behaviour;
}

class Cycle : public ::testing::TestWithParam<CycleCase> {};

TEST_P(Cycle, PrintsFramesClearsAndStopsAtTheTarget) {
    const CycleCase& c = GetParam();
    reset_scripted_system();
    target_hour = static_cast<std::int8_t>(c.hour);
    target_minute = static_cast<std::int8_t>(c.minute);
    scripted_system().clock = c.clock;
    bool returned = false;
    try {
        run_countdown();
        returned = true;
    } catch (const ScriptEnded&) {
    }
    flush_output();
    const ScriptedSystem& seen = scripted_system();
    EXPECT_EQ(returned, c.returns);
    EXPECT_EQ(seen.output, c.output);
    // Every reading but the one at the target is followed by a pause; every
    // reading after a pause by a clearing.
    auto readings = static_cast<int>(c.clock.size());
    EXPECT_EQ(seen.pauses, c.returns ? readings - 1 : readings);
    EXPECT_EQ(seen.commands, std::vector<std::string>(c.clock.size() - 1, "cls"));
}

INSTANTIATE_TEST_SUITE_P(Cases, Cycle, ::testing::ValuesIn(cycle_cases),
                         [](const auto& info) { return case_name(info.param.behaviour); });

} // namespace
