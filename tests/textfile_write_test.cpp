// The whole-file text writers: LF written as CR LF, every other byte as it
// is, emptying versus appending, and files that cannot be written.
#include "tests/support.h"
#include "util/textfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

struct WriteCase {
    const char* behaviour;
    const char* text;
    std::string bytes; // what the file holds afterwards
};

const WriteCase write_cases[] = {
    {"empty text creates an empty file", "", ""},
    {"LF becomes CR LF", "a\nb\n", "a\r\nb\r\n"},
    {"LF alone", "\n", "\r\n"},
    {"CR kept as it is", "a\rb\r\n", "a\rb\r\r\n"},
    {"bytes 0x80 and above kept", "\x83\x56\xff\x80", "\x83\x56\xff\x80"},
    {"Ctrl-Z kept",
     "a\x1a"
     "b",
     "a\x1a"
     "b"},
};

void PrintTo(const WriteCase& c, std::ostream* out) {
    *out << c.behaviour;
}

class WriteTextFile : public ::testing::TestWithParam<WriteCase> {};

// Both writers create a missing file and write the same bytes to it.
TEST_P(WriteTextFile, NewFileHoldsTheTranslatedText) {
    const WriteCase& c = GetParam();
    TempDir dir;
    std::string written = dir.path("written.txt");
    std::string appended = dir.path("appended.txt");
    EXPECT_EQ(write_text_file(written.c_str(), c.text), 0);
    EXPECT_EQ(append_text_file(appended.c_str(), c.text), 0);
    ASSERT_TRUE(std::filesystem::exists(written));
    ASSERT_TRUE(std::filesystem::exists(appended));
    EXPECT_EQ(TempDir::read(written), c.bytes);
    EXPECT_EQ(TempDir::read(appended), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Texts, WriteTextFile, ::testing::ValuesIn(write_cases),
                         [](const auto& info) { return case_name(info.param.behaviour); });

TEST(WriteTextFileExisting, WriteEmptiesAndAppendAddsAtTheEnd) {
    TempDir dir;
    std::string path = dir.write("f.txt", "old contents, longer than the new\r\n");
    EXPECT_EQ(write_text_file(path.c_str(), "new\n"), 0);
    EXPECT_EQ(TempDir::read(path), "new\r\n");
    EXPECT_EQ(append_text_file(path.c_str(), "more\n"), 0);
    EXPECT_EQ(append_text_file(path.c_str(), "end"), 0);
    EXPECT_EQ(TempDir::read(path), "new\r\nmore\r\nend");
}

TEST(WriteTextFileFailing, UnopenablePathGivesMinusOneAndCreatesNothing) {
    TempDir dir;
    std::string in_missing_folder = dir.path("missing") + "/f.txt";
    std::string folder = dir.path("");
    for (auto writer : {write_text_file, append_text_file}) {
        EXPECT_EQ(writer(in_missing_folder.c_str(), "text\n"), -1);
        EXPECT_FALSE(std::filesystem::exists(dir.path("missing")));
        EXPECT_EQ(writer(folder.c_str(), "text\n"), -1);
    }
}

// A full device takes the open and the buffered writes; the failure shows up
// when the bytes are flushed on closing.
TEST(WriteTextFileFailing, FailureOnClosingGivesMinusOne) {
    const char* full_device = "/dev/full";
    if (!std::filesystem::exists(full_device))
        GTEST_SKIP() << "no " << full_device << " here";
    EXPECT_EQ(write_text_file(full_device, "text\n"), -1);
    EXPECT_EQ(append_text_file(full_device, "text\n"), -1);
}

} // namespace
