#pragma once
// Runs a program as a child process the way a launcher would, for end-to-end tests on every
// platform: chosen arguments, working folder and environment, both output streams captured.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testkit {

struct ChildOptions {
    std::filesystem::path working_folder;
    // The child's whole environment when set; else it inherits ours.
    std::optional<std::map<std::string, std::string>> environment;
    // Folder for the capture files on POSIX (the working folder when empty); Windows captures
    // through pipes.
    std::filesystem::path scratch;
    // Standard output is a pipe whose reading end is already closed, as when a launcher has
    // stopped listening.
    bool reader_gone = false;
    // Standard output is a pseudo-terminal this many columns wide, as when a person starts the
    // program by hand; what the child writes to it is read into out. POSIX only.
    std::optional<std::uint16_t> terminal_columns;
};

struct ChildResult {
    bool started = false;
    std::uint32_t exit_code = 0; // as the system reports it; 128 + signal on POSIX
    std::string out;
    std::string err;
};

ChildResult run_child(const std::filesystem::path &program,
                      const std::vector<std::string> &arguments, const ChildOptions &options);

// Sets (or with nullopt removes) a variable of this process's environment, where both the C
// runtime and the system see it; on Windows an empty value stays set, as the system allows.
void set_environment(const std::string &name, const std::optional<std::string> &value);

// A child that runs until it is ended (or this object goes); for tests that need a live
// process id.
class BackgroundChild {
  public:
    explicit BackgroundChild(const std::filesystem::path &program);
    ~BackgroundChild();
    BackgroundChild(const BackgroundChild &) = delete;
    BackgroundChild &operator=(const BackgroundChild &) = delete;

    std::uint32_t pid() const { return pid_; }
    void end();

  private:
    std::uint32_t pid_ = 0;
    std::intptr_t handle_ = 0; // the process handle on Windows
};

} // namespace testkit
