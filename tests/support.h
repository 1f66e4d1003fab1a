// Small pieces the unit tests share.
#pragma once

#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

// A temporary folder for a test's files, removed with everything in it when
// the test ends.
class TempDir {
  public:
    TempDir() {
        std::random_device random;
        do
            root_ = std::filesystem::temp_directory_path() /
                    ("st-test-" + std::to_string(random()) + std::to_string(random()));
        while (!std::filesystem::create_directory(root_));
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path(const std::string& name) const { return (root_ / name).string(); }

    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }

    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    std::filesystem::path root_;
};

// A gtest parameter name made of a case's description.
inline std::string case_name(const char* behaviour) {
    std::string name;
    for (const char* p = behaviour; *p != '\0'; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}
