#pragma once
// Runs a program as a child process in a folder and collects its exit status and both streams.
#include <filesystem>
#include <string>
#include <vector>

struct ProgramRun {
    int exit_code = -1;
    std::string out;
    std::string err;
};

ProgramRun run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::filesystem::path &folder);

// A fresh folder under the system's temporary folder, removed with its contents on destruction.
class TemporaryFolder {
  public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder &) = delete;
    TemporaryFolder &operator=(const TemporaryFolder &) = delete;
    const std::filesystem::path &path() const { return path_; }
    // Writes `bytes` to a file in the folder and returns its path.
    std::filesystem::path write(const std::string &name,
                                const std::vector<std::uint8_t> &bytes) const;

  private:
    std::filesystem::path path_;
};
