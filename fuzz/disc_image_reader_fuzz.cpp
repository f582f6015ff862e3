// The disc image reader on arbitrary bytes placed where a plain image's volume descriptor
// lies (byte 0x10000): the descriptor, then whatever tables and data the input makes up.
#include "intake/disc_image_reader.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace {

std::filesystem::path scratch_image() {
    std::error_code error;
    return std::filesystem::temp_directory_path(error) /
           ("disc-image-fuzz-" + std::to_string(ormolt::platform::current_process_id()) + ".iso");
}

// Removes the scratch image on every way out of one input.
struct RemoveWhenDone {
    std::filesystem::path path;
    ~RemoveWhenDone() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path image = scratch_image();
    const RemoveWhenDone cleanup{image};
    {
        std::ofstream out(image, std::ios::binary | std::ios::trunc);
        out.seekp(static_cast<std::streamoff>(ormolt::volume_descriptor_offset));
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out)
            return 0;
    }
    auto reader = ormolt::DiscImageReader::open(image);
    if (!reader)
        return 0;
    auto volume = reader->locate_volume();
    if (!volume)
        return 0;
    auto listing = reader->list(*volume);
    if (!listing)
        return 0;
    std::string buffer;
    for (const auto& [parent, entry] : *listing) {
        (void)ormolt::decode_name(entry);
        // The caller chooses its chunk: never as much as an untrusted size says.
        buffer.resize(std::min<std::uint32_t>(entry.data.size, 1 << 16));
        (void)reader->read_data(*volume, entry.data.sector, 0, buffer);
    }
    return 0;
}
