#pragma once
// XBE images for the scanner's tests, described by what the scanner reads: image type, base
// address, library version table, sections with names, flags and bytes, and the kernel thunk
// table's address.
#include <cstdint>
#include <string>
#include <vector>

enum class TestXbeKind { Retail, Debug, Chihiro };

struct TestXbeLibrary {
    std::string name; // up to 8 characters
    std::uint16_t build;
    std::uint16_t flags = 0; // QFE in the low 13 bits
};

struct TestXbeSection {
    std::string name;
    std::uint32_t virtual_address;
    std::vector<std::uint8_t> bytes;
    bool preload = true;
};

struct TestXbe {
    TestXbeKind kind = TestXbeKind::Retail;
    std::uint32_t base_address = 0x00010000;
    std::vector<TestXbeLibrary> libraries;
    std::vector<TestXbeSection> sections;
    std::uint32_t kernel_thunk = 0; // virtual address of the thunk table
};

// The file as stored.
std::vector<std::uint8_t> build_test_xbe(const TestXbe &xbe);

// Image header fields the tests break on purpose.
inline constexpr std::size_t kXbeSectionCountField = 0x11C;
inline constexpr std::size_t kXbeSectionHeadersField = 0x120;
inline constexpr std::size_t kXbeLibraryCountField = 0x160;
inline constexpr std::size_t kXbeLibraryTableField = 0x164;

std::uint32_t read_field(const std::vector<std::uint8_t> &image, std::size_t at);
void write_field(std::vector<std::uint8_t> &image, std::size_t at, std::uint32_t value);

// A heap copy of the first `size` bytes and nothing more, so that the sanitizer catches any read
// past the end.
struct ExactImage {
    ExactImage(const std::vector<std::uint8_t> &bytes, std::size_t size);
    explicit ExactImage(const std::vector<std::uint8_t> &bytes) : ExactImage(bytes, bytes.size()) {}
    std::uint8_t *data;
    std::size_t size;
    ~ExactImage();
    ExactImage(const ExactImage &) = delete;
    ExactImage &operator=(const ExactImage &) = delete;
};
