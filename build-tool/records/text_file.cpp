#include "records/text_file.h"

#include "platform/platform.h"
#include "records/message.h"

#include <cerrno>
#include <fstream>
#include <iterator>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

// The reason a stream operation failed, as the C library left it.
std::error_code last_error() {
    const int reason = errno;
    return std::error_code(reason != 0 ? reason : EIO, std::generic_category());
}

} // namespace

std::expected<std::string, std::error_code> read_file_bytes(const fs::path& file) {
    std::error_code error;
    if (fs::is_directory(file, error))
        return std::unexpected(std::make_error_code(std::errc::is_a_directory));
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::unexpected(last_error());
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::unexpected(last_error());
    return bytes;
}

std::expected<std::string, std::error_code> read_utf8_file(const fs::path& file) {
    auto bytes = read_file_bytes(file);
    if (bytes && !is_valid_utf8(*bytes))
        return std::unexpected(std::make_error_code(std::errc::illegal_byte_sequence));
    return bytes;
}

std::error_code write_file(const fs::path& file, std::string_view contents) {
    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        return last_error();
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    if (!out)
        return last_error();
    return {};
}

std::error_code replace_file_contents(const fs::path& target, const fs::path& temporary,
                                      std::string_view contents) {
    if (auto error = write_file(temporary, contents))
        return error;
    return platform::replace_file(temporary, target);
}

} // namespace ormolt
