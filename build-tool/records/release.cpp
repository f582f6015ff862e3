#include "records/release.h"

#include "records/json_reader.h"
#include "records/message.h"
#include "records/release_folder.h"
#include "records/text_file.h"
#include "records/unicode_case.h"

#include <algorithm>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

// A description lists a few copies of one game; this is far beyond any real one.
constexpr std::size_t release_file_limit = std::size_t(16) << 20;

// Reads the members in declaration order, so the first fault reported is the first member's.
JsonFields::Read<Image> read_image(const JsonFields &fields) {
    Image image;
    auto sha1 = fields.required_string("sha1");
    if (!sha1)
        return std::unexpected(sha1.error());
    image.sha1 = std::move(*sha1);
    auto name = fields.optional_string("name", "");
    if (!name)
        return std::unexpected(name.error());
    image.name = std::move(*name);
    auto config = fields.string_or_null("config");
    if (!config)
        return std::unexpected(config.error());
    image.config = std::move(*config);
    return image;
}

JsonFields::Read<Release> read_release(const JsonDocument &document) {
    auto fields = JsonFields::at(document, "");
    if (!fields)
        return std::unexpected(fields.error());
    Release release;
    for (auto [member, name] : {std::pair{&release.title_id, "title_id"},
                                {&release.title_name, "title_name"},
                                {&release.version, "version"},
                                {&release.exe, "exe"}}) {
        auto value = fields->required_string(name);
        if (!value)
            return std::unexpected(value.error());
        *member = std::move(*value);
    }
    auto launcher = fields->string_or_null("launcher");
    if (!launcher)
        return std::unexpected(launcher.error());
    release.launcher = std::move(*launcher);
    auto images = fields->object_array("images");
    if (!images)
        return std::unexpected(images.error());
    for (const JsonFields &entry : *images) {
        auto image = read_image(entry);
        if (!image)
            return std::unexpected(image.error());
        release.images.push_back(std::move(*image));
    }
    auto xbe_sha1 = fields->string_array("xbe_sha1");
    if (!xbe_sha1)
        return std::unexpected(xbe_sha1.error());
    release.xbe_sha1 = std::move(*xbe_sha1);
    auto lift = fields->string_array_or_null("lift");
    if (!lift)
        return std::unexpected(lift.error());
    release.lift = std::move(*lift);
    auto xbe = fields->string_or_null("xbe");
    if (!xbe)
        return std::unexpected(xbe.error());
    release.xbe = std::move(*xbe);
    return release;
}

Result<void> normalise(Release &release, const std::string &shown_path) {
    release.title_id = unicode_upper(release.title_id);

    for (std::string &digest : release.xbe_sha1) {
        const bool known =
            std::any_of(release.images.begin(), release.images.end(), [&](const Image &image) {
                return equal_ignoring_ascii_case(image.sha1, digest);
            });
        if (!known)
            release.images.push_back(Image{std::move(digest), "", std::nullopt});
    }
    release.xbe_sha1.clear();

    const std::string xbe_name = release.xbe_name();
    if (release.images.empty())
        return fail(message("{} names no {} images", shown_path, xbe_name));

    for (Image &image : release.images)
        image.sha1 = unicode_lower(image.sha1);

    if (xbe_name.find_first_of("/\\") != std::string::npos || xbe_name.starts_with('.'))
        return fail(message("{}: xbe must be a file name in the game folder", shown_path));

    // The title id names the default build folder: it must stay one folder of its own.
    const std::string &title = release.title_id;
    if (title.empty() || title == "." || title.find("..") != std::string::npos ||
        title.find_first_of("/\\:") != std::string::npos)
        return fail(message("{}: title_id must be a plain folder name (no \"/\", \"\\\", \":\" "
                            "or \"..\")",
                            shown_path));
    return {};
}

} // namespace

Result<Release> load_release(const fs::path &release_dir) {
    const fs::path file = release_dir / release_folder::release_file;
    const std::string shown_path = path_text(file);

    auto text = read_utf8_file(file, release_file_limit);
    if (!text)
        return fail(message("cannot read {}: {}", shown_path, system_error_text(text.error())));

    auto document = JsonDocument::parse(*text);
    if (!document)
        return fail(message("{} is not a valid release file: {}", shown_path, document.error()));
    auto release = read_release(*document);
    if (!release)
        return fail(message("{} is not a valid release file: {}", shown_path, release.error()));

    release->release_dir = release_dir;
    if (auto normalised = normalise(*release, shown_path); !normalised)
        return std::unexpected(normalised.error());
    return std::move(*release);
}

} // namespace ormolt
