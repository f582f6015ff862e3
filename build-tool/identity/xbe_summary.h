#pragma once
// What an XBE says about itself (title, title id, regions), to tell the user which game copy
// they have when the release does not support it.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace ormolt {

struct XbeSummary {
    std::uint32_t xbe_title_id = 0;
    std::string xbe_title_name; // UTF-8, without white space at either end
    std::uint32_t region_flags = 0;
};

// Game region flag bits of the certificate.
inline constexpr std::uint32_t region_usa = 0x00000001;
inline constexpr std::uint32_t region_japan = 0x00000002;
inline constexpr std::uint32_t region_europe = 0x00000004;
inline constexpr std::uint32_t region_debug = 0x80000000;

// Reads the image header and certificate. nullopt for anything that does not parse cleanly;
// no field is read before it is known to lie within the bytes.
std::optional<XbeSummary> read_xbe_summary(std::span<const std::uint8_t> contents);

// "World", the regions joined with ", " (USA, Japan, Europe), "Debug" or "Unknown".
std::string region_text(std::uint32_t region_flags);

// "<title> (<8 upper-case hex digits>, <regions>)".
std::string describe_summary(const XbeSummary &summary);

// The description of the XBE file, or "an unreadable XBE". Never fails. Reads only the header
// and the certificate, so that any file, however large, can be described.
std::string describe_xbe(const std::filesystem::path &file);

// Reads exactly size bytes at an offset the parser has already checked against the length;
// false when the source fails.
using XbeReadAt = std::function<bool(std::uint64_t at, std::size_t size, std::uint8_t *out)>;

// The same for an XBE of the given length read through read_at (one inside a disc image).
std::string describe_xbe(std::uint64_t length, const XbeReadAt &read_at);

} // namespace ormolt
