// Reading the target time from file contents.
#include "app/countdown.h"
#include "platform/platform.h"
#include "tests/scripted_system.h"
#include "tests/support.h"

#include <gtest/gtest.h>

namespace {

constexpr int format_error = 999;
const std::string format_message = "FILE FORMAT ERROR!!\r\n";

struct TargetCase {
    const char* behaviour;
    std::string contents;
    int hour; // format_error when the file must be refused
    int minute;
};

const TargetCase target_cases[] = {
    {"short runs", "7:5", 7, 5},
    {"leading zeros", "07:30", 7, 30},
    {"midnight", "00:00", 0, 0},
    {"CR LF and further lines ignored", "07:30\r\nnext line\r\n", 7, 30},
    {"LF and further lines ignored", "07:30\n22:00\n", 7, 30},
    {"CR before the text dropped", "\r07:30", 7, 30},
    {"CR inside the hour dropped", "0\r7:30", 7, 30},
    {"CR between colon and minute dropped", "07:\r30", 7, 30},
    {"Ctrl-Z ends the text",
     "07:3\x1a"
     "0",
     7, 3},
    {"many leading zeros", "007:0030", 7, 30},
    {"text after the minute ignored", "07:30abc", 7, 30},
    {"out of range hour kept", "24:00", 24, 0},
    {"hour 256 wraps to 0", "256:00", 0, 0},
    {"hour 300 wraps to 44", "300:00", 44, 0},
    {"hour 232 wraps to -24", "232:00", -24, 0},
    {"128 wraps to -128", "128:128", -128, -128},
    {"minute 345 wraps to 89", "12:345", 12, 89},
    {"eleven digits wrap without overflow", "99999999999:00", -1, 0},
    {"a hundred digits wrap", std::string(100, '9') + ":1", -1, 1},
    {"no colon", "0730", format_error, 0},
    {"dash for colon", "07-30", format_error, 0},
    {"space before colon", "7 :30", format_error, 0},
    {"no hour", ":30", format_error, 0},
    {"minus sign", "-7:30", format_error, 0},
    {"plus sign", "+7:30", format_error, 0},
    {"leading space", " 07:30", format_error, 0},
    {"UTF-8 byte-order mark",
     "\xEF\xBB\xBF"
     "07:30",
     format_error, 0},
    {"empty file", "", format_error, 0},
    {"full-width digits", "\xEF\xBC\x90\xEF\xBC\x97:30", format_error, 0},
    {"nothing after the colon", "07:", format_error, 0},
    {"line end after the colon", "07:\r\n30", format_error, 0},
    {"space after the colon", "7: 30", format_error, 0},
    {"NUL before the colon", std::string("07\0:30", 6), format_error, 0},
    {"only CR bytes", "\r\r\r", format_error, 0},
    {"Ctrl-Z before the minute",
     "07:\x1a"
     "30",
     format_error, 0},
};

void PrintTo(const TargetCase& c, std::ostream* out) {
    *out << c.behaviour;
}

class TargetFile : public ::testing::TestWithParam<TargetCase> {};

TEST_P(TargetFile, ReadsOrRefuses) {
    const TargetCase& c = GetParam();
    TempDir dir;
    std::string path = dir.write("timer.txt", c.contents);
    reset_scripted_system();
    target_hour = 11;
    target_minute = 11;
    bool ok = read_target_time(path.c_str());
    flush_output();
    if (c.hour == format_error) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(scripted_system().output, format_message);
    } else {
        ASSERT_TRUE(ok) << scripted_system().output;
        EXPECT_EQ(scripted_system().output, "");
        EXPECT_EQ(target_hour, c.hour);
        EXPECT_EQ(target_minute, c.minute);
    }
}

INSTANTIATE_TEST_SUITE_P(Contents, TargetFile, ::testing::ValuesIn(target_cases),
                         [](const auto& info) { return case_name(info.param.behaviour); });

TEST(TargetFileErrors, UnreadableFileRingsTheBellThenReportsOnce) {
    TempDir dir;
    const std::string paths[] = {dir.path("missing.txt"), dir.path("")};
    for (const std::string& path : paths) {
        reset_scripted_system();
        EXPECT_FALSE(read_target_time(path.c_str())) << path;
        flush_output();
        EXPECT_EQ(scripted_system().output, "\aFILE READ ERROR!!\r\n") << path;
    }
}

} // namespace
