#include "bench/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace bench {

namespace {

// This process's environment with the command's changes, as NAME=value strings.
std::vector<std::string> ChildEnvironment(const ChildCommand& command) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const std::string& name : command.unset)
        variables.erase(name);
    for (const auto& [name, value] : command.environment)
        variables[name] = value;
    std::vector<std::string> result;
    for (const auto& [name, value] : variables)
        result.push_back(name + '=' + value);
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// posix_spawn file actions that own their resources for the length of one spawn.
class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    void Open(int descriptor, const std::string& path, int flags) {
        paths_.push_back(path);
        posix_spawn_file_actions_addopen(&actions_, descriptor, paths_.back().c_str(), flags, 0644);
    }
    const posix_spawn_file_actions_t* Get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
    std::vector<std::string> paths_{};
};

}  // namespace

ChildOutcome RunChild(const ChildCommand& command) {
    // The peak memory comes from GNU time, which forks the program from its own small process. The kernel
    // counts the memory a process had before its exec into its peak, and a child spawned from this (large)
    // process would carry this process's peak.
    const std::string peakFile = command.output.string() + ".peak";
    std::vector<std::string> arguments{"/usr/bin/time", "-f", "%M", "-o", peakFile, command.program.string()};
    arguments.insert(arguments.end(), command.arguments.begin(), command.arguments.end());
    std::vector<std::string> environment = ChildEnvironment(command);
    std::vector<char*> argv = Pointers(arguments);
    std::vector<char*> envp = Pointers(environment);

    FileActions actions;
    actions.Open(0, "/dev/null", O_RDONLY);
    actions.Open(1, command.output.string(), O_WRONLY | O_CREAT | O_TRUNC);
    actions.Open(2, command.output.string() + ".err", O_WRONLY | O_CREAT | O_TRUNC);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], actions.Get(), nullptr, argv.data(), envp.data());
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + command.program.string() + ": " + std::strerror(spawned));
    }
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    const auto end = std::chrono::steady_clock::now();
    if (waited < 0)
        throw std::runtime_error("cannot wait for " + command.program.string() + ": " + std::strerror(errno));

    ChildOutcome outcome;
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.wallSeconds = std::chrono::duration<double>(end - start).count();
    outcome.peakMegabytes = std::atof(ReadTextFile(peakFile).c_str()) / 1024.0;  // in kilobytes
    return outcome;
}

std::string ReadTextFile(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace bench
