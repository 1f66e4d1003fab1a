// A stand-in command interpreter for end-to-end runs, named by COMSPEC. It is
// started as `fake_interpreter /c LINE...`, appends the command line to the
// file named by FAKE_INTERPRETER_LOG, one line each, and prints "<LINE>" to
// standard output so that the order of output and commands can be checked.
// It carries nothing out: no screen is cleared and nothing powers off.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    std::string line;
    for (int i = 2; i < argc; ++i) {
        if (i > 2)
            line += ' ';
        line += argv[i];
    }
    if (argc < 2 || std::string(argv[1]) != "/c")
        line = "?" + line;
    if (const char* log_path = std::getenv("FAKE_INTERPRETER_LOG")) {
        if (std::FILE* log = std::fopen(log_path, "ab")) {
            std::fprintf(log, "%s\n", line.c_str());
            std::fclose(log);
        }
    }
    std::printf("<%s>", line.c_str());
    std::fflush(stdout);
    return 0;
}
