#include "identity/game_identity.h"

#include "identity/file_sha1.h"
#include "identity/xbe_summary.h"
#include "pipeline/progress.h"
#include "records/build_folders.h"
#include "records/disc_names.h"
#include "records/message.h"

namespace ormolt {

namespace fs = std::filesystem;

namespace {

// "Retail (0123…), 0456…": every image in release order, named where it has a name.
std::string supported_images_text(const Release &release) {
    std::string list;
    for (const Image &image : release.images) {
        if (!list.empty())
            list += ", ";
        list += image.name.empty() ? image.sha1 : image.name + " (" + image.sha1 + ")";
    }
    return list;
}

} // namespace

fs::path game_xbe_path(const Release &release, const fs::path &installation_folder) {
    return xbe_in_folder(release, installation_folder / installation_entries::game_dir);
}

Result<Image> match_release_image(const Release &release, std::string_view digest,
                                  const std::function<std::string()> &describe) {
    for (const Image &image : release.images)
        if (image.sha1 == digest)
            return image;
    return fail(message("This isn't a copy of {} this release supports. Its {} is {}, SHA-1 {}. "
                        "This release was made for: {}.",
                        release.title_name, release.xbe_name(), describe(), digest,
                        supported_images_text(release)),
                ErrorKind::Unsupported);
}

BuildError missing_xbe_error(const Release &release) {
    return BuildError{
        message("This isn't a copy of {}: it has no {}.", release.title_name, release.xbe_name()),
        ErrorKind::Unsupported};
}

Result<Image> check_game_identity(const Release &release, const fs::path &installation_folder) {
    report_progress(Stage::Check, 0, 1, "");
    const fs::path xbe = game_xbe_path(release, installation_folder);

    std::error_code error;
    if (!fs::is_regular_file(xbe, error))
        return std::unexpected(missing_xbe_error(release));

    auto digest = file_sha1_hex(xbe);
    if (!digest)
        return std::unexpected(digest.error());
    auto image = match_release_image(release, *digest, [&xbe] { return describe_xbe(xbe); });
    if (image)
        report_progress(Stage::Check, 1, 1, image->name);
    return image;
}

BuildError different_copy_error(const Release &release, std::string_view new_digest,
                                std::string_view recorded_digest) {
    return BuildError{message("This is a different copy of {} from the one it was built from "
                              "(its {} has SHA-1 {}, not {}). Build again to use it.",
                              release.title_name, release.xbe_name(), new_digest, recorded_digest),
                      ErrorKind::Rebuild};
}

} // namespace ormolt
