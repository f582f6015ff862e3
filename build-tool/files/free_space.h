#pragma once
// Room on a volume: checked before a game is written, so that a copy that cannot fit fails at
// once instead of after filling the disk, and told plainly when a program of the build fails on
// a disk that is (nearly) full.
#include "records/build_error.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace ormolt {

// Bytes this program may still write on the volume that holds path; nullopt when the system
// cannot tell.
using FreeSpaceProbe = std::function<std::optional<std::uint64_t>(const std::filesystem::path &)>;

// The system's answer (std::filesystem::space, the bytes available to this user).
std::optional<std::uint64_t> volume_free_space(const std::filesystem::path &path);

// Bytes as gigabytes (10^9 bytes) with one decimal, rounded up or down: "7.3".
std::string gigabytes_text(std::uint64_t bytes, bool round_up);

// Fails with "Not enough free space for {}: the game needs {} GB, {} GB is free." (folder,
// needed rounded up, free rounded down) when needed exceeds what the probe says is free on the
// folder's volume. A volume whose free space cannot be told passes: the writes will tell.
Result<> check_free_space(const std::filesystem::path &folder, std::uint64_t needed,
                          const FreeSpaceProbe &free_space);

// Less room than this left after a failed program means the disk most likely stopped it.
inline constexpr std::uint64_t nearly_full_bytes = 1024 * 1024;

// A program's failure message, led by "cannot write {}: No space left on device" (the folder,
// the system's own text) when the folder's volume has less than nearly_full_bytes left:
// compilers and CMake say "disk full" in many ways, or not at all.
std::string with_full_disk_note(std::string failure, const std::filesystem::path &folder,
                                std::optional<std::uint64_t> free_bytes);

} // namespace ormolt
