#include "records/disc_names.h"

#include "platform/platform.h"
#include "records/message.h"
#include "records/unicode_case.h"

namespace ormolt {

namespace fs = std::filesystem;

bool same_disc_name(std::string_view a, std::string_view b) {
    return equal_ignoring_ascii_case(a, b);
}

fs::path xbe_in_folder(const Release &release, const fs::path &folder) {
    return disc_file_in_folder(folder, release.xbe_name());
}

fs::path disc_file_in_folder(const fs::path &folder, std::string_view name) {
    const fs::path exact = folder / path_from_utf8(name);
    std::error_code error;
    if (fs::is_regular_file(exact, error))
        return exact;
    if (const auto listing = platform::list_folder(folder))
        for (const auto &entry : *listing)
            if (!entry.directory && same_disc_name(path_text(entry.name), name))
                return folder / entry.name;
    return exact;
}

} // namespace ormolt
