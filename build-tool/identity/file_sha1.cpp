#include "identity/file_sha1.h"

#include "platform/platform.h"
#include "records/message.h"

#include <memory>

namespace ormolt {

namespace {

// Closes the file on every way out.
struct OpenFile {
    platform::NativeHandle handle;
    ~OpenFile() { platform::close_handle(handle); }
};

std::string hex_text(const platform::Sha1::Digest &digest) {
    constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (std::uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

} // namespace

Result<std::string> stream_sha1_hex(const ReadNext &read_next, std::string_view shown) {
    // On the heap: 1 MiB is too much for a thread's stack.
    const auto buffer = std::make_unique_for_overwrite<char[]>(sha1_chunk_size);
    platform::Sha1 sha1;
    for (;;) {
        auto got = read_next(buffer.get(), sha1_chunk_size);
        if (!got)
            return fail(message("reading {}: {}", shown, system_error_text(got.error())));
        if (*got == 0)
            break;
        sha1.update(buffer.get(), *got);
    }
    const auto digest = sha1.finish();
    if (!digest)
        return fail(message("cannot compute the SHA-1 of {}", shown));
    return hex_text(*digest);
}

Result<std::string> file_sha1_hex(const std::filesystem::path &file) {
    auto opened = platform::open_for_reading(file);
    if (!opened)
        return fail(
            message("cannot read {}: {}", path_text(file), system_error_text(opened.error())));
    const OpenFile input{*opened};
    return stream_sha1_hex(
        [&input](char *buffer, std::size_t size) {
            return platform::read_some(input.handle, buffer, size);
        },
        path_text(file));
}

} // namespace ormolt
