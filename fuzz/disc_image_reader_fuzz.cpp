// The disc image reader on arbitrary bytes placed where a plain image's volume descriptor
// lies (byte 0x10000): the descriptor, then whatever tables and data the input makes up. The
// image is held in memory, read through the same positioned reads as a file.
#include "intake/disc_image_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string image(static_cast<std::size_t>(ormolt::volume_descriptor_offset), '\0');
    image.append(reinterpret_cast<const char *>(data), size);
    const auto reader = ormolt::DiscImageReader::in_memory(image);
    auto volume = reader.locate_volume();
    if (!volume)
        return 0;
    auto listing = reader.list(*volume);
    if (!listing)
        return 0;
    std::string buffer;
    for (const auto &item : *listing) {
        (void)ormolt::decode_name(item.entry);
        // The caller chooses its chunk: never as much as an untrusted size says.
        buffer.resize(std::min<std::uint32_t>(item.entry.data.size, 1 << 16));
        (void)reader.read_data(*volume, item.entry.data.sector, 0, buffer);
    }
    for (std::uint32_t folder = 0; folder < listing->folders.size(); ++folder)
        (void)listing->folder_path(folder);
    return 0;
}
