#include "files/folder_sync.h"

#include "files/file_compare.h"
#include "platform/platform.h"
#include "records/message.h"

namespace ormolt {

namespace fs = std::filesystem;

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
