#pragma once
// i386 COFF objects and archives of them for the authoring tool's tests: what a compiler cannot be
// asked to make (MSVC-style C++ names, long member names, damaged headers) is written here. Long
// section and symbol names go to the string table; the bytes can be broken afterwards.
#include <cstdint>
#include <string>
#include <vector>

namespace testkit {

struct TestCoffRelocation {
    std::uint32_t offset;
    std::uint32_t symbol; // index in the symbol table as written (no auxiliary records)
    std::uint16_t type;   // 0x0006 absolute, 0x0014 relative
};

struct TestCoffSection {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::vector<TestCoffRelocation> relocations;
    std::uint32_t characteristics = 0x60500020; // code, 16-byte aligned, execute, read
};

struct TestCoffSymbol {
    std::string name;
    std::uint32_t value = 0;
    std::int16_t section = 1;       // 1-based; 0 undefined
    std::uint8_t storage_class = 2; // external
    std::uint16_t type = 0x20;      // function
};

struct TestCoff {
    std::uint16_t machine = 0x014C;
    std::vector<TestCoffSection> sections;
    std::vector<TestCoffSymbol> symbols;
    bool big_object = false; // the big-object header (32-bit section numbers, 20-byte symbols)
};

// Layout: file header, section headers, each section's data then its relocations, the symbol
// table, the string table.
std::vector<std::uint8_t> build_test_coff(const TestCoff &coff);

// Offsets into a built object, for breaking it on purpose.
inline constexpr std::size_t kCoffSectionHeaders = 20;
inline constexpr std::size_t kCoffSectionHeaderSize = 40;
inline constexpr std::size_t kCoffSymbolTableField = 8;
inline constexpr std::size_t kCoffSymbolCountField = 12;

struct TestArchiveMember {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

enum class TestArchiveStyle {
    Gnu,       // one "/" linker member; long names "name/\n" in "//" only when needed
    Microsoft, // two "/" linker members and always "//", names NUL-terminated
};

std::vector<std::uint8_t> build_test_archive(const std::vector<TestArchiveMember> &members,
                                             TestArchiveStyle style = TestArchiveStyle::Gnu);

} // namespace testkit
