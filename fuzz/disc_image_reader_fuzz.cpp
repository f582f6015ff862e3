// The disc image reader on arbitrary bytes placed where a plain image's volume descriptor lies
// (byte 0x10000), the image held in memory: locating the volume, listing every table, and
// reading every listed file's data in the chunks extraction uses; and the XBE a relink reads in
// place, hashed and described.
#include "identity/file_sha1.h"
#include "identity/xbe_summary.h"
#include "intake/disc_file.h"
#include "intake/disc_image_reader.h"
#include "memory_image.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    fuzz::set_memory_image(ormolt::volume_descriptor_offset, {data, size});
    auto reader = ormolt::DiscImageReader::open("memory.iso");
    if (!reader)
        return 0;
    auto volume = reader->locate_volume();
    if (!volume)
        return 0;
    auto listing = reader->list(*volume);
    if (!listing) {
        (void)listing.error().text();
        return 0;
    }
    std::string buffer;
    for (const auto &item : *listing) {
        const auto &entry = item.entry;
        (void)ormolt::decode_name(entry);
        if (entry.is_directory())
            continue;
        // Extraction reads in bounded chunks, never as much as an untrusted size says at once.
        constexpr std::uint32_t chunk = 1 << 16;
        for (std::uint64_t at = 0; at < entry.data.size; at += chunk) {
            buffer.resize(std::min<std::uint64_t>(chunk, entry.data.size - at));
            if (reader->read_data(*volume, entry.data.sector, at, buffer))
                break;
        }
    }
    for (std::uint32_t folder = 0; folder < listing->folders.size(); ++folder)
        (void)listing->folder_path(folder);

    auto xbe = ormolt::DiscFile::open("memory.iso", "default.xbe");
    if (xbe && *xbe) {
        const ormolt::DiscFile &file = **xbe;
        std::uint64_t position = 0;
        (void)ormolt::stream_sha1_hex(
            [&](char *out, std::size_t room) -> std::expected<std::size_t, std::error_code> {
                const auto length =
                    static_cast<std::size_t>(std::min<std::uint64_t>(room, file.size() - position));
                if (auto failed = file.read(position, {out, length}))
                    return std::unexpected(failed);
                position += length;
                return length;
            },
            "memory.iso");
        (void)ormolt::describe_xbe(
            file.size(), [&file](std::uint64_t at, std::size_t bytes, std::uint8_t *out) {
                return !file.read(at, {reinterpret_cast<char *>(out), bytes});
            });
    }
    return 0;
}
