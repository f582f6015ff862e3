#include "memory_image.h"

#include "platform/platform.h"

#include <algorithm>
#include <cstring>

namespace fuzz {
namespace {

std::uint64_t image_start = 0;
std::span<const std::uint8_t> image_bytes;

} // namespace

void set_memory_image(std::uint64_t at, std::span<const std::uint8_t> bytes) {
    image_start = at;
    image_bytes = bytes;
}

} // namespace fuzz

namespace ormolt::platform {

// A number that is never an open descriptor: closing it through the real seam fails harmlessly.
constexpr NativeHandle memory_image_handle = 1 << 30;

std::expected<NativeHandle, std::error_code> open_for_reading(const std::filesystem::path &) {
    return memory_image_handle;
}

std::expected<std::size_t, std::error_code> read_at(NativeHandle, std::uint64_t offset,
                                                    char *buffer, std::size_t size) {
    const std::uint64_t end = fuzz::image_start + fuzz::image_bytes.size();
    if (offset >= end)
        return 0;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, end - offset));
    std::size_t done = 0;
    if (offset < fuzz::image_start) {
        const std::size_t zeros =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, fuzz::image_start - offset));
        std::memset(buffer, 0, zeros);
        done = zeros;
    }
    if (done < count) {
        const std::uint64_t from = offset + done - fuzz::image_start;
        std::memcpy(buffer + done, fuzz::image_bytes.data() + from, count - done);
    }
    return count;
}

} // namespace ormolt::platform
