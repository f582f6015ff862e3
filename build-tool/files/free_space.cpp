#include "files/free_space.h"

#include "records/message.h"

#include <system_error>

namespace ormolt {

namespace fs = std::filesystem;

std::optional<std::uint64_t> volume_free_space(const fs::path &path) {
    std::error_code error;
    const auto space = fs::space(path, error);
    if (error || space.available == static_cast<std::uintmax_t>(-1))
        return std::nullopt;
    return static_cast<std::uint64_t>(space.available);
}

std::string gigabytes_text(std::uint64_t bytes, bool round_up) {
    constexpr std::uint64_t tenth = 100'000'000; // 0.1 GB
    std::uint64_t tenths = bytes / tenth;
    if (round_up && bytes % tenth != 0)
        ++tenths;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

Result<> check_free_space(const fs::path &folder, std::uint64_t needed,
                          const FreeSpaceProbe &free_space) {
    const auto available = free_space(folder);
    if (!available || needed <= *available)
        return {};
    return fail(message("Not enough free space for {}: the game needs {} GB, {} GB is free.",
                        path_text(folder), gigabytes_text(needed, true),
                        gigabytes_text(*available, false)));
}

std::string with_full_disk_note(std::string failure, const fs::path &folder,
                                std::optional<std::uint64_t> free_bytes) {
    if (!free_bytes || *free_bytes >= nearly_full_bytes)
        return failure;
    return message("cannot write {}: {}\n\n{}", path_text(folder),
                   system_error_text(std::make_error_code(std::errc::no_space_on_device)), failure);
}

} // namespace ormolt
