#include "files/file_compare.h"

#include <algorithm>
#include <fstream>
#include <vector>

namespace ormolt {

namespace fs = std::filesystem;

Comparison compare_files(const fs::path &a, const fs::path &b) {
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    if (!first && !second)
        return Comparison::NeitherReadable;
    if (!first || !second)
        return Comparison::Different;
    std::error_code error_a, error_b;
    const auto size_a = fs::file_size(a, error_a);
    const auto size_b = fs::file_size(b, error_b);
    if (!error_a && !error_b && size_a != size_b)
        return Comparison::Different;
    constexpr std::size_t chunk = 64 * 1024;
    // On the heap: the Windows main thread has only 1 MiB of stack.
    std::vector<char> buffer_a(chunk), buffer_b(chunk);
    for (;;) {
        first.read(buffer_a.data(), chunk);
        second.read(buffer_b.data(), chunk);
        const auto got_a = first.gcount(), got_b = second.gcount();
        if (first.bad() || second.bad())
            return first.bad() && second.bad() ? Comparison::NeitherReadable
                                               : Comparison::Different;
        if (got_a != got_b ||
            !std::equal(buffer_a.begin(), buffer_a.begin() + got_a, buffer_b.begin()))
            return Comparison::Different;
        if (got_a == 0)
            return Comparison::Equal;
    }
}

} // namespace ormolt
