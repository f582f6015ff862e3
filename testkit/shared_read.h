#pragma once
// Reads a file the way many readers do, for tests of files that a running program holds open.
#include <filesystem>
#include <optional>
#include <string>

namespace testkit {

// The whole file, opened for reading while letting others only read (as .NET's
// File.ReadAllText opens on Windows); nullopt when it cannot be opened or read.
std::optional<std::string> read_letting_others_only_read(const std::filesystem::path &file);

// Keeps a file open for reading while it lives, sharing everything (reading, writing and
// deleting), as a launcher that watches a file may.
class HeldOpenForReading {
  public:
    explicit HeldOpenForReading(const std::filesystem::path &file);
    ~HeldOpenForReading();
    HeldOpenForReading(const HeldOpenForReading &) = delete;
    HeldOpenForReading &operator=(const HeldOpenForReading &) = delete;
    bool is_open() const { return open_; }

  private:
    void *handle_ = nullptr; // the system's handle or descriptor
    bool open_ = false;
};

} // namespace testkit
