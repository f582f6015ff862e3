#include "intake/disc_extraction.h"

#include "intake/disc_image_reader.h"
#include "intake/safe_names.h"
#include "pipeline/progress.h"
#include "platform/platform.h"
#include "records/message.h"

#include <memory>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t copy_buffer_size = 4 * 1024 * 1024;
constexpr std::uint64_t progress_step = 64 * 1024 * 1024;

std::string_view without_leading_slashes(std::string_view text) {
    while (text.starts_with('/'))
        text.remove_prefix(1);
    return text;
}

// The entry's path relative to the extraction folder, with "/" between folder levels.
std::string relative_path(const DiscListingEntry &item) {
    std::string path(without_leading_slashes(item.parent));
    path += '/';
    path += decode_name(item.entry);
    return std::string(without_leading_slashes(path));
}

fs::path host_path(const fs::path &folder, std::string_view relative) {
    fs::path path = folder;
    for (std::size_t start = 0; start <= relative.size();) {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        path /= path_from_utf8(relative.substr(start, end - start));
        start = end + 1;
    }
    return path;
}

class HandleCloser {
  public:
    explicit HandleCloser(platform::NativeHandle handle) : handle_(handle) {}
    ~HandleCloser() { platform::close_handle(handle_); }
    HandleCloser(const HandleCloser &) = delete;
    HandleCloser &operator=(const HandleCloser &) = delete;

  private:
    platform::NativeHandle handle_;
};

} // namespace

Result<> extract_disc_image(const fs::path &image, const fs::path &destination) {
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

    // Every name is checked before anything is written, so a hostile or damaged image leaves
    // nothing behind.
    std::vector<std::string> relative_paths;
    relative_paths.reserve(listing->size());
    std::uint64_t total = 0;
    for (const auto &item : *listing) {
        relative_paths.push_back(relative_path(item));
        if (!is_safe_relative_path(relative_paths.back(), host_name_rules))
            return fail(message("{} has an unsafe file name: {}", shown, relative_paths.back()));
        total += item.entry.data.size;
    }

    std::error_code error;
    fs::create_directories(destination, error);
    if (error)
        return fail(
            message("cannot create {}: {}", path_text(destination), system_error_text(error)));

    const auto buffer = std::make_unique<char[]>(copy_buffer_size);
    std::uint64_t done = 0, last_report = 0;
    for (std::size_t i = 0; i < listing->size(); ++i) {
        const DirEntryRecord &entry = (*listing)[i].entry;
        const std::string &relative = relative_paths[i];
        const fs::path target = host_path(destination, relative);
        if (entry.is_directory()) {
            fs::create_directories(target, error);
            if (error)
                return fail(
                    message("cannot create {}: {}", path_text(target), system_error_text(error)));
            continue;
        }
        fs::create_directories(target.parent_path(), error);
        if (error)
            return fail(message("cannot create {}: {}", path_text(target.parent_path()),
                                system_error_text(error)));
        auto output = platform::open_for_writing(target);
        if (!output)
            return fail(message("cannot write {}: {}", path_text(target),
                                system_error_text(output.error())));
        HandleCloser closer(*output);
        for (std::uint64_t position = 0; position < entry.data.size;) {
            const std::size_t length = static_cast<std::size_t>(
                std::min<std::uint64_t>(entry.data.size - position, copy_buffer_size));
            const std::span<char> chunk(buffer.get(), length);
            if (auto read = reader->read_data(*volume, entry.data.sector, position, chunk))
                return fail(message("reading {}: {}", shown, system_error_text(read)));
            if (auto written = platform::write_all(*output, {chunk.data(), chunk.size()}))
                return fail(
                    message("writing {}: {}", path_text(target), system_error_text(written)));
            position += length;
            done += length;
            if (done - last_report >= progress_step) {
                report_progress(Stage::Game, done, total, relative);
                last_report = done;
            }
        }
    }
    report_progress(Stage::Game, total, total, "");
    return {};
}

} // namespace ormolt
