#pragma once
// A linked program as authoring input: a PE image or an XBE with the names of its functions,
// from a linker map or a list of symbols (FendrelCLI's own output, or "address name" lines). The
// program becomes one object whose sections are the image's and whose symbols are the names;
// each section carries the fields whose bytes can differ between two links of the same code.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "author/coff.h"
#include "author/images.h"

namespace fendrel_author {

struct NamedAddress {
    std::string name;
    std::uint32_t address = 0;
    // A static symbol or a variable: it ends the function before it but is authored as nothing.
    bool boundary_only = false;
};

// A linker map in the "Publics by Value" layout (8- or 16-digit Rva+Base), with its static
// symbols. Errors name the file and line.
std::expected<std::vector<NamedAddress>, std::string> read_linker_map(std::string_view text,
                                                                      std::string_view file_name);

// FendrelCLI's symbol lines ("LIB__Name = 0x...", with or without the kind and parameters) or
// "address name" lines, the address in hexadecimal; "#" starts a comment. Errors name the file
// and line.
std::expected<std::vector<NamedAddress>, std::string> read_symbol_list(std::string_view text,
                                                                       std::string_view file_name);

struct SectionFields {
    std::vector<bool> unknown;                      // per byte
    std::map<std::uint32_t, RelocatedField> fields; // by offset, those with a known target or none
};

// How the fields were placed, for the summary.
struct ProgramFigures {
    std::size_t names = 0;          // named addresses inside the image's sections
    std::size_t relocated = 0;      // absolute fields from the base relocations
    std::size_t address_values = 0; // 4-byte values inside the image (no base relocations)
    std::size_t to_named = 0;       // of those two, referring to a named address or kernel slot
    std::size_t calls_named = 0;    // 32-bit call or jump displacements to a named function
    std::size_t calls_unknown = 0;  // displacements leaving their function to no named place
};

struct LinkedProgram {
    CoffObject object; // sections: the image's; symbols: the names, functions external
    std::vector<SectionFields> fields; // one per section of `object`
    std::uint32_t base_address = 0;
    std::vector<std::uint32_t> section_addresses; // one per section of `object`
    bool has_relocations = false;
    ProgramFigures figures;
};

// The program from its image and names. `origin` names the image in messages and records.
LinkedProgram link_program(const LinkedImageFile &image, const std::vector<NamedAddress> &names,
                           const std::string &origin);

} // namespace fendrel_author
