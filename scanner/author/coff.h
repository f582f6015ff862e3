#pragma once
// Reading i386 COFF objects (the classic and the big-object header) and the archives (static
// libraries) that hold them. Every offset and count read from the input is checked against the
// bytes before it is used; anything damaged is an error that names the member.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lib/database/printable_text.h"

namespace fendrel_author {

inline constexpr std::uint16_t kCoffMachineI386 = 0x014C;
inline constexpr std::uint32_t kCoffSectionCode = 0x00000020;
inline constexpr std::uint32_t kCoffSectionUninitialized = 0x00000080;
inline constexpr std::uint32_t kCoffSectionExecute = 0x20000000;
inline constexpr std::uint8_t kCoffClassExternal = 2;
inline constexpr std::uint8_t kCoffClassStatic = 3;
inline constexpr std::uint8_t kCoffClassFile = 103;
inline constexpr std::uint16_t kCoffRelocDir32 = 0x0006;
inline constexpr std::uint16_t kCoffRelocRel32 = 0x0014;

struct CoffRelocation {
    std::uint32_t offset; // in the section
    std::uint32_t symbol; // index in the symbol table
    std::uint16_t type;
};

// A field of code whose bytes are an address, unknown until linked (or differing between links).
struct RelocatedField {
    std::string target; // the decorated name of the symbol it refers to, if any is known
    std::uint16_t type = 0;
    std::uint32_t width = 0;
    bool addend = false;     // refers to a place beside the symbol, not to the symbol
    std::uint32_t index = 0; // a kernel export's ordinal, when known from the image itself
    std::vector<std::string> other_names; // more names of the target's place in a program
};

struct CoffSection {
    std::string name;
    std::uint32_t characteristics = 0;
    std::uint32_t size = 0;          // raw size
    std::vector<std::uint8_t> bytes; // empty for uninitialised data
    std::vector<CoffRelocation> relocations;

    bool is_code() const {
        return (characteristics & (kCoffSectionCode | kCoffSectionExecute)) != 0;
    }
};

struct CoffSymbol {
    std::string name;
    std::uint32_t value = 0;
    std::int32_t section = 0; // 1-based; 0 undefined, negative: absolute or debug
    std::uint16_t type = 0;
    std::uint8_t storage_class = 0;
};

struct CoffObject {
    std::string origin; // "file" or "library(member)"
    std::vector<CoffSection> sections;
    // Indexed like the file's symbol table; auxiliary records are empty symbols.
    std::vector<CoffSymbol> symbols;
};

// The number of bytes a relocation of this type patches (0 for types that patch none).
std::uint32_t coff_relocation_width(std::uint16_t type);

// What an object file (or archive member) holds, told by its first bytes.
enum class ObjectKind {
    Coff,         // the classic COFF header
    BigObject,    // the big-object header: more than 65,279 sections, 32-bit section numbers
    LinkTimeCode, // another anonymous-object header (whole-program optimisation) or LLVM bitcode
    Import,       // a short import-library member
    Other,        // anything else; reading it as COFF says what is wrong
};
ObjectKind classify_object(std::span<const std::uint8_t> bytes);

// Reads a classic or big-object COFF object.
std::expected<CoffObject, std::string> read_coff_object(std::span<const std::uint8_t> bytes,
                                                        std::string_view origin);

// Names from damaged input are shown with every byte outside printable ASCII as \xNN.
using fenxi_text::printable;

struct ArchiveMember {
    std::string name;
    std::span<const std::uint8_t> bytes;
};

bool is_archive(std::span<const std::uint8_t> bytes);

// The object members of an archive in order, linker members and the long-names member left
// out. `origin` names the archive in messages.
std::expected<std::vector<ArchiveMember>, std::string>
read_archive(std::span<const std::uint8_t> bytes, std::string_view origin);

// A short import member: the import symbol it defines ("__imp_" and the name) and the export's
// ordinal, or the hint beside its name.
struct ImportMember {
    std::string symbol;
    std::string library; // the DLL named
    std::uint16_t ordinal_or_hint = 0;
    bool by_ordinal = false;
};
std::expected<ImportMember, std::string> read_import_member(std::span<const std::uint8_t> bytes,
                                                            std::string_view origin);

// An import or anonymous object header (machine 0, 0xFFFF): not a classic COFF header.
bool is_import_object(std::span<const std::uint8_t> bytes);

} // namespace fendrel_author
