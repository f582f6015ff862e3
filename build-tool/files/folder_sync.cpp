#include "files/folder_sync.h"

#include "files/file_compare.h"
#include "platform/platform.h"
#include "records/message.h"

namespace ormolt {

namespace fs = std::filesystem;

Result<> sync_folder_tree(const fs::path &source, const fs::path &target) {
    if (auto error = platform::create_folders(target))
        return fail(message("cannot create {}: {}", path_text(target), system_error_text(error)));
    auto listing = platform::list_folder(source);
    if (!listing)
        return fail(
            message("cannot read {}: {}", path_text(source), system_error_text(listing.error())));
    for (const platform::FolderEntry &entry : *listing) {
        const fs::path from = source / entry.name;
        const fs::path to = target / entry.name;
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
