#pragma once
// A disc image opened and listed once, and one file at its root read in place: what a relink
// needs to know about a copy before it replaces anything.
#include "intake/disc_image_reader.h"
#include "records/build_error.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace ormolt {

// An image whose whole structure has been read.
struct ListedImage {
    DiscImageReader reader;
    DiscVolume volume;
    DiscListing listing;
};

// Opens and lists the image. Errors are extraction's own: "cannot open {}: {}" and "{} is not
// an Xbox disc image ({})".
Result<ListedImage> open_listed_image(const std::filesystem::path &image);

// The relative path extraction writes an entry of the given folder path to: "/" between folder
// levels, the leading "/" of the folder's path (and of a root entry's own name) dropped.
std::string disc_relative_path(std::string_view folder_path, const DirEntryRecord &entry);

// One file of an image, read where it lies.
class DiscFile {
  public:
    // The file extraction would write as <game>/<name>: the last root entry of that name, as
    // a later entry overwrites an earlier one. nullopt when that entry is missing or a folder.
    static Result<std::optional<DiscFile>> open(const std::filesystem::path &image,
                                                std::string_view name);

    std::uint64_t size() const { return data_.size; }
    // Exactly buffer.size() bytes from position; an image that ends first is an error.
    std::error_code read(std::uint64_t position, std::span<char> buffer) const {
        return image_.reader.read_data(image_.volume, data_.sector, position, buffer);
    }

  private:
    DiscFile(ListedImage image, SectorRange data) : image_(std::move(image)), data_(data) {}
    ListedImage image_;
    SectorRange data_;
};

} // namespace ormolt
