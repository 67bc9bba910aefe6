#pragma once
// Running a binary as a child process and measuring it: wall time on the steady clock and the child's own
// peak resident memory, as GNU time reports it.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct ChildCommand {
    std::filesystem::path program;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> environment;  // set on top of this process's environment
    std::vector<std::string> unset;                  // removed from it
    std::filesystem::path output;  // standard output goes here, standard error to output.err
};

struct ChildOutcome {
    int exitStatus = -1;  // -1 when the child was ended by a signal
    double wallSeconds = 0;
    double peakMegabytes = 0;  // the child's own peak resident memory
};

// Starts command with standard input from /dev/null and waits for it. Raises std::runtime_error when the
// program cannot be started.
ChildOutcome RunChild(const ChildCommand& command);

// The text of a file, empty when it cannot be read.
std::string ReadTextFile(const std::filesystem::path& file);

}  // namespace bench
