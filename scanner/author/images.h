#pragma once
// Linked images as plain code: the sections of a PE image or an XBE, at their virtual addresses.
// The authoring tool checks records against them (`--against`), and its tests read the image a
// linker made. Every header field is checked against the file before it is used.
#include <cstdint>
#include <expected>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fendrel_author {

struct ImageSection {
    std::string name;
    std::uint32_t virtual_address = 0;
    std::vector<std::uint8_t> bytes; // as stored in the file (raw size)
    bool executable = false;
};

struct LinkedImageFile {
    std::uint32_t base_address = 0;
    std::vector<ImageSection> sections;
    // An XBE's kernel imports: the address of each ordinal's slot in its kernel thunk table.
    std::map<std::uint32_t, std::uint32_t> kernel_slots;
};

bool is_pe_image(std::span<const std::uint8_t> bytes);
bool is_xbe_image(std::span<const std::uint8_t> bytes);

// A 32-bit PE image ("MZ", then "PE\0\0" with an i386 machine). Errors name `origin`.
std::expected<LinkedImageFile, std::string> read_pe_image(std::span<const std::uint8_t> bytes,
                                                          std::string_view origin);

// An XBE as stored in a file: its sections at their raw addresses.
std::expected<LinkedImageFile, std::string> read_xbe_image(std::span<const std::uint8_t> bytes,
                                                           std::string_view origin);

} // namespace fendrel_author
