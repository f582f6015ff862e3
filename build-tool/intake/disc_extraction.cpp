#include "intake/disc_extraction.h"

#include "intake/disc_file.h"
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

// The relative paths of a listing's entries in order, each folder's path made once for the run
// of entries of its table.
class RelativePaths {
  public:
    explicit RelativePaths(const DiscListing &listing) : listing_(listing) {}
    std::string of(const DiscListingEntry &item) {
        if (item.folder != folder_) {
            folder_ = item.folder;
            folder_path_ = listing_.folder_path(folder_);
        }
        return disc_relative_path(folder_path_, item.entry);
    }

  private:
    const DiscListing &listing_;
    std::uint32_t folder_ = 0;
    std::string folder_path_;
};

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

Result<> extract_disc_image(const fs::path &image, const fs::path &destination,
                            const FreeSpaceProbe &free_space) {
    const std::string shown = path_text(image);
    auto listed = open_listed_image(image);
    if (!listed)
        return std::unexpected(listed.error());
    const DiscImageReader &reader = listed->reader;
    const DiscVolume &volume = listed->volume;
    const DiscListing &listing = listed->listing;

    // Every name is checked before anything is written, so a hostile or damaged image leaves
    // nothing behind.
    std::uint64_t total = 0, file_bytes = 0;
    {
        RelativePaths paths(listing);
        for (const auto &item : listing) {
            const std::string relative = paths.of(item);
            if (auto refusal = unsafe_name_refusal(shown, relative, host_name_rules))
                return fail(std::move(*refusal));
            total += item.entry.data.size;
            if (!item.entry.is_directory())
                file_bytes += item.entry.data.size;
        }
    }
    // The old copy stays until the new one is complete, so the new one needs room of its own.
    if (auto room = check_free_space(destination.parent_path(), file_bytes, free_space); !room)
        return room;

    if (auto error = platform::create_folders(destination))
        return fail(
            message("cannot create {}: {}", path_text(destination), system_error_text(error)));

    // File data goes from the image to each file inside the system where it can (no trip
    // through this process); the buffer is made only if some chunk must be read and written
    // here, and the chunks are the same either way, so progress and messages do not change.
    std::unique_ptr<char[]> buffer;
    bool copy_inside_system = true;
    std::uint64_t done = 0, last_report = 0;
    RelativePaths paths(listing);
    for (const auto &item : listing) {
        const DirEntryRecord &entry = item.entry;
        const std::string relative = paths.of(item);
        const fs::path target = host_path(destination, relative);
        if (entry.is_directory()) {
            if (auto error = platform::create_folders(target))
                return fail(
                    message("cannot create {}: {}", path_text(target), system_error_text(error)));
            continue;
        }
        // A file's folder exists by now: the listing gives each folder's own entry before its
        // table's, and the destination was made above.
        auto output = platform::open_for_writing(target);
        if (!output)
            return fail(message("cannot write {}: {}", path_text(target),
                                system_error_text(output.error())));
        HandleCloser closer(*output);
        // Room for the whole of a file that takes more than one chunk, so that it is laid out
        // in one piece; a file system that cannot do this writes it all the same. A smaller
        // file is written by one call anyway, and the reservation would cost it a system call.
        if (entry.data.size > copy_buffer_size)
            (void)platform::preallocate(*output, entry.data.size);
        for (std::uint64_t position = 0; position < entry.data.size;) {
            const std::size_t length = static_cast<std::size_t>(
                std::min<std::uint64_t>(entry.data.size - position, copy_buffer_size));
            std::uint64_t copied = 0;
            if (copy_inside_system) {
                auto direct =
                    reader.copy_data(volume, entry.data.sector, position, length, *output);
                if (direct)
                    copied = *direct;
                else
                    copy_inside_system = false; // refused: read and write here from now on
            }
            // The rest of a chunk the system did not copy (the image ended, or a side failed)
            // is read and written here, which also names the side that fails.
            if (copied < length) {
                if (!buffer)
                    buffer = std::make_unique<char[]>(copy_buffer_size);
                const std::span<char> rest(buffer.get(), length - copied);
                if (auto read =
                        reader.read_data(volume, entry.data.sector, position + copied, rest))
                    return fail(message("reading {}: {}", shown, system_error_text(read)));
                if (auto written = platform::write_all(*output, {rest.data(), rest.size()}))
                    return fail(
                        message("writing {}: {}", path_text(target), system_error_text(written)));
            }
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
