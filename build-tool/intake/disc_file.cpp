#include "intake/disc_file.h"
#include "platform/platform.h"
#include "records/disc_names.h"
#include "records/message.h"

#include <algorithm>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

std::string_view without_leading_slashes(std::string_view text) {
    while (text.starts_with('/'))
        text.remove_prefix(1);
    return text;
}

} // namespace

Result<ListedImage> open_listed_image(const fs::path &image) {
    const std::string shown = path_text(image);
    auto reader = DiscImageReader::open(image);
    if (!reader)
        return fail(message("cannot open {}: {}", shown, system_error_text(reader.error())));
    auto volume = reader->locate_volume();
    if (!volume)
        return fail(message("{} is not an Xbox disc image ({})", shown, volume.error().text()));
    auto listing = reader->list(*volume);
    if (!listing)
        return fail(message("{} is not an Xbox disc image ({})", shown, listing.error().text()));
    return ListedImage{std::move(*reader), *volume, std::move(*listing)};
}

std::string disc_relative_path(std::string_view folder_path, const DirEntryRecord &entry) {
    std::string path(without_leading_slashes(folder_path));
    path += '/';
    path += decode_name(entry);
    return std::string(without_leading_slashes(path));
}

Result<std::optional<DiscFile>> DiscFile::open(const fs::path &image, std::string_view name) {
    auto listed = open_listed_image(image);
    if (!listed)
        return std::unexpected(listed.error());
    // The last entry extraction writes to that name wins; where the file system ignores letter
    // case, entries differing from it only in case write to the same file. Elsewhere such an
    // entry is still the disc's file of that name when none has the name exactly, since the
    // disc's own file system ignores letter case.
    const DirEntryRecord *exact = nullptr;
    const DirEntryRecord *alike = nullptr;
    for (const auto &item : listed->listing) {
        if (item.folder != 0)
            continue;
        const std::string entry_name = disc_relative_path("", item.entry);
        if (!platform::names_ignore_letter_case && entry_name == name)
            exact = &item.entry;
        if (same_disc_name(entry_name, name))
            alike = &item.entry;
    }
    const DirEntryRecord *found = exact ? exact : alike;
    if (!found || found->is_directory())
        return std::optional<DiscFile>();
    const SectorRange data = found->data;
    return std::optional<DiscFile>(DiscFile(std::move(*listed), data));
}

} // namespace ormolt
