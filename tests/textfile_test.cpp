// The whole-file text readers: the text-mode translation, the two passes
// agreeing, and files that cannot be read or change between the passes.
#include "platform/platform.h"
#include "tests/scripted_system.h"
#include "tests/support.h"
#include "util/textfile.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct TextCase {
    const char* behaviour;
    std::string file;
    std::string text; // what reading it gives
};

const TextCase text_cases[] = {
    {"empty file", "", ""},
    {"plain text", "07:30", "07:30"},
    {"CR LF becomes LF", "a\r\nb\r\n", "a\nb\n"},
    {"a lone CR is dropped anywhere", "\r0\r7:\r30\r", "07:30"},
    {"only CR bytes", "\r\r\r\r", ""},
    {"Ctrl-Z ends the text",
     "07:3\x1a"
     "0\r\n",
     "07:3"},
    {"Ctrl-Z first",
     "\x1a"
     "07:30",
     ""},
    {"bytes 0x80 and above kept", "\x83\x56\xff\x80", "\x83\x56\xff\x80"},
    {"NUL is an ordinary byte", std::string("a\0b", 3), std::string("a\0b", 3)},
    {"CR at the end of a read block", std::string(4095, 'x') + "\r\ny",
     std::string(4095, 'x') + "\ny"},
    {"Ctrl-Z after a read block", std::string(5000, 'x') + "\x1a" + "tail", std::string(5000, 'x')},
};

void PrintTo(const TextCase& c, std::ostream* out) {
    *out << c.behaviour;
}

class TextFile : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextFile, BothPassesSeeTheTranslatedText) {
    const TextCase& c = GetParam();
    TempDir dir;
    std::string path = dir.write("f.txt", c.file);
    reset_scripted_system();
    EXPECT_EQ(count_file_chars(path.c_str()), static_cast<long long>(c.text.size()) + 1);
    std::unique_ptr<char[]> loaded = load_text_file(path.c_str());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(std::string(loaded.get(), c.text.size() + 1), c.text + '\0');
    flush_output();
    EXPECT_EQ(scripted_system().output, "");
}

INSTANTIATE_TEST_SUITE_P(Contents, TextFile, ::testing::ValuesIn(text_cases),
                         [](const auto& info) { return case_name(info.param.behaviour); });

TEST(TextFileUnreadable, MissingFileOrDirectoryRingsTheBellOnceAndOpensOnce) {
    TempDir dir;
    const std::string paths[] = {dir.path("missing.txt"), dir.path("")};
    for (const std::string& path : paths) {
        reset_scripted_system();
        EXPECT_EQ(count_file_chars(path.c_str()), 0) << path;
        EXPECT_EQ(load_text_file(path.c_str()), nullptr) << path;
        flush_output();
        EXPECT_EQ(scripted_system().output, "\a\a") << path;
        EXPECT_EQ(scripted_system().opens, 2) << path; // one for each call, none again
    }
}

// The file is rewritten after it was counted (open 1) and before it is
// loaded (open 2).
struct ChangeCase {
    const char* behaviour;
    std::string counted;
    std::string loaded_from;
    std::string text; // what the block holds before its zero byte
};

const ChangeCase change_cases[] = {
    {"grown: cut at the counted size", "07:30", "07:30 and much more text", "07:30"},
    {"shrunk: ends where the file ends", "07:30 and more", "7:5", "7:5"},
    {"emptied", "07:30", "", ""},
    {"grown from empty", "", "07:30", ""},
};

void PrintTo(const ChangeCase& c, std::ostream* out) {
    *out << c.behaviour;
}

class ChangingFile : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangingFile, LoadingNeverPassesTheCountedSize) {
    const ChangeCase& c = GetParam();
    TempDir dir;
    std::string path = dir.write("f.txt", c.counted);
    reset_scripted_system();
    scripted_system().before_open = [&](int open) {
        if (open == 2)
            dir.write("f.txt", c.loaded_from);
    };
    std::size_t size = c.counted.size() + 1;
    std::unique_ptr<char[]> loaded = load_text_file(path.c_str());
    ASSERT_NE(loaded, nullptr);
    // The block is exactly the counted size; AddressSanitizer builds catch a
    // write beyond it, and the text must end inside it.
    const void* end = std::memchr(loaded.get(), '\0', size);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(std::string(loaded.get()), c.text);
    scripted_system().before_open = nullptr;
}

INSTANTIATE_TEST_SUITE_P(BetweenPasses, ChangingFile, ::testing::ValuesIn(change_cases),
                         [](const auto& info) { return case_name(info.param.behaviour); });

TEST(TextFileUnreadable, FileRemovedBeforeLoadingGivesNoneWithoutASecondBell) {
    TempDir dir;
    std::string path = dir.write("f.txt", "07:30");
    reset_scripted_system();
    scripted_system().before_open = [&](int open) {
        if (open == 2)
            std::filesystem::remove(path);
    };
    EXPECT_EQ(load_text_file(path.c_str()), nullptr);
    flush_output();
    EXPECT_EQ(scripted_system().output, "");
    scripted_system().before_open = nullptr;
}

} // namespace
