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
    // The kernel imports: the address of each ordinal's slot in an XBE's kernel thunk table, or
    // in a PE image's import address table for the imports by ordinal.
    std::map<std::uint32_t, std::uint32_t> kernel_slots;
    std::uint32_t end_address = 0; // past the highest byte the image loads, page aligned
    // A PE image's base relocations: the addresses of its absolute 32-bit fields. An XBE, or a PE
    // image linked without them, has none and cannot tell an address from other bytes.
    bool has_relocations = false;
    std::vector<std::uint32_t> relocated_fields;
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
