#include "records/text_file.h"

#include "platform/platform.h"
#include "records/message.h"

#include <atomic>
#include <cstdint>

namespace ormolt {

namespace fs = std::filesystem;

std::expected<std::string, std::error_code> read_file_bytes(const fs::path &file,
                                                            std::size_t limit) {
    return platform::read_regular_file(file, limit);
}

std::expected<std::string, std::error_code> read_utf8_file(const fs::path &file,
                                                           std::size_t limit) {
    auto bytes = read_file_bytes(file, limit);
    if (bytes && !is_valid_utf8(*bytes))
        return std::unexpected(std::make_error_code(std::errc::illegal_byte_sequence));
    return bytes;
}

std::error_code write_file(const fs::path &file, std::string_view contents) {
    // Through the platform: the system's own error, and paths of any length.
    auto handle = platform::open_for_writing(file);
    if (!handle)
        return handle.error();
    const std::error_code error = platform::write_all(*handle, contents);
    platform::close_handle(*handle);
    return error;
}

fs::path unique_temporary_name(const fs::path &target) {
    static std::atomic<std::uint64_t> counter{0};
    std::string suffix = ".";
    suffix += std::to_string(platform::current_process_id());
    suffix += '-';
    suffix += std::to_string(counter.fetch_add(1));
    suffix += ".part";
    fs::path temporary = target;
    temporary += suffix;
    return temporary;
}

std::error_code replace_file_contents(const fs::path &target, const fs::path &temporary,
                                      std::string_view contents) {
    if (auto error = write_file(temporary, contents))
        return error;
    return platform::replace_file(temporary, target);
}

std::error_code replace_file_contents(const fs::path &target, std::string_view contents) {
    const fs::path temporary = unique_temporary_name(target);
    auto error = replace_file_contents(target, temporary, contents);
    if (error) {
        (void)platform::remove_file(temporary);
    }
    return error;
}

} // namespace ormolt
