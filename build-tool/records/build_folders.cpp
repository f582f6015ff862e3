#include "records/build_folders.h"

#include "platform/platform.h"
#include "records/message.h"
#include "records/text_file.h"
#include "records/unicode_case.h"

namespace ormolt {

namespace fs = std::filesystem;

Result<fs::path> default_build_folder(const std::string &title_id) {
    const fs::path title = path_from_utf8(title_id);
    if (auto chosen = platform::environment_path("ORMOLT_BUILD_DIR"))
        return *chosen / title;
    if (auto base = platform::per_user_base())
        return *base / "ormolt" / "builds" / title;
    return fail("no folder to build in (LOCALAPPDATA is not set)");
}

Result<fs::path> installation_folder(const std::string &title_id) {
    auto fallback = default_build_folder(title_id);
    if (!fallback)
        return fallback;
    // Whatever cannot be used as a remembered folder silently means the default one.
    auto text = read_utf8_file(*fallback / installation_entries::remembered_location);
    if (!text)
        return fallback;
    const std::string_view trimmed = trim_unicode_space(*text);
    if (trimmed.empty())
        return fallback;
    fs::path remembered = path_from_utf8(trimmed);
    if (!remembered.is_absolute())
        return fallback;
    return remembered;
}

} // namespace ormolt
