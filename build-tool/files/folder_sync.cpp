#include "files/folder_sync.h"

#include "platform/platform.h"
#include "records/message.h"

#include <algorithm>
#include <fstream>
#include <vector>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

enum class Comparison { Equal, Different, NeitherReadable };

// Compares two files chunk by chunk: the same answer as reading both whole, without holding
// either in memory. One unreadable side means the target must be rewritten.
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

} // namespace

Result<> sync_folder_tree(const fs::path &source, const fs::path &target) {
    std::error_code error;
    fs::create_directories(target, error);
    if (error)
        return fail(message("cannot create {}: {}", path_text(target), system_error_text(error)));
    fs::directory_iterator listing(source, error);
    if (error)
        return fail(message("cannot read {}: {}", path_text(source), system_error_text(error)));
    for (; listing != fs::directory_iterator(); listing.increment(error)) {
        if (error)
            break; // an entry that cannot be read is skipped
        const fs::path name = listing->path().filename();
        const fs::path from = source / name;
        const fs::path to = target / name;
        std::error_code kind_error;
        if (fs::is_directory(from, kind_error)) {
            if (auto synced = sync_folder_tree(from, to); !synced)
                return synced;
            continue;
        }
        if (compare_files(from, to) != Comparison::Different)
            continue;
        const std::error_code copy_error = platform::copy_file_replacing(from, to);
        if (copy_error)
            return fail(
                message("cannot copy {}: {}", path_text(from), system_error_text(copy_error)));
    }
    return {};
}

} // namespace ormolt
