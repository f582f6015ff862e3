#include "files/file_compare.h"

#include "platform/platform.h"

#include <algorithm>
#include <vector>

namespace ormolt {

namespace fs = std::filesystem;

Comparison compare_files(const fs::path &a, const fs::path &b) {
    // Through the platform seam, so that paths beyond the classic length limit are read too.
    const auto first = platform::ReadOnlyFile::open(a);
    const auto second = platform::ReadOnlyFile::open(b);
    if (!first && !second)
        return Comparison::NeitherReadable;
    if (!first || !second)
        return Comparison::Different;
    const auto size_a = first->size();
    const auto size_b = second->size();
    if (size_a && size_b && *size_a != *size_b)
        return Comparison::Different;
    constexpr std::size_t chunk = 64 * 1024;
    // On the heap: the Windows main thread has only 1 MiB of stack.
    std::vector<char> buffer_a(chunk), buffer_b(chunk);
    for (std::uint64_t offset = 0;; offset += chunk) {
        const auto got_a = first->read(offset, buffer_a.data(), chunk);
        const auto got_b = second->read(offset, buffer_b.data(), chunk);
        if (!got_a || !got_b)
            return !got_a && !got_b ? Comparison::NeitherReadable : Comparison::Different;
        if (*got_a != *got_b ||
            !std::equal(buffer_a.begin(), buffer_a.begin() + *got_a, buffer_b.begin()))
            return Comparison::Different;
        if (*got_a < chunk)
            return Comparison::Equal;
    }
}

} // namespace ormolt
