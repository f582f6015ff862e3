#pragma once
// XBE images for both programs' tests, described by what they read: image type, base address,
// library version table, sections with names, flags and bytes, the kernel thunk table's address,
// and the certificate (title id, title name, game regions) anywhere in the file. Fields can be
// overridden and the file cut or padded afterwards to make broken images on purpose.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace testkit {

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
    bool executable = false;
};

// Certificate field offsets and the title's length in UTF-16 units.
inline constexpr std::size_t kXbeCertificateTitleId = 0x008;
inline constexpr std::size_t kXbeCertificateTitleName = 0x00C;
inline constexpr std::size_t kXbeTitleNameUnits = 40;
inline constexpr std::size_t kXbeCertificateRegions = 0x0A0;
inline constexpr std::size_t kXbeCertificateSize = 0x1D0;

struct TestXbe {
    TestXbeKind kind = TestXbeKind::Retail;
    std::uint32_t base_address = 0x00010000;
    std::vector<TestXbeLibrary> libraries;
    std::vector<TestXbeSection> sections;
    std::uint32_t kernel_thunk = 0; // virtual address of the thunk table

    // Without an address the certificate follows the other headers. With one it is written
    // there (only its title id, name and regions, so it may overlap the image header, as at the
    // base address itself); the file grows to hold it. An address below the base is stored
    // but nothing is written.
    std::optional<std::uint32_t> certificate_address;
    std::uint32_t title_id = 0;
    // The units as stored: 40 fill the field with no terminator, more are cut. Any unit may be
    // given, unpaired surrogates too.
    std::u16string title_name;
    std::uint32_t game_regions = 0;

    // Applied last, in order: 32-bit fields written at file offsets (the file grows to hold
    // them), then the file cut or zero-padded to this length.
    std::vector<std::pair<std::size_t, std::uint32_t>> field_overrides;
    std::optional<std::size_t> file_size;
};

// The file as stored.
std::vector<std::uint8_t> build_test_xbe(const TestXbe &xbe);

// Writes the built file, creating its folder.
std::error_code write_test_xbe(const std::filesystem::path &file, const TestXbe &xbe);
std::error_code write_bytes(const std::filesystem::path &file,
                            const std::vector<std::uint8_t> &bytes);

// Image header fields the tests read or break on purpose.
inline constexpr std::size_t kXbeBaseAddressField = 0x104;
inline constexpr std::size_t kXbeCertificateField = 0x118;
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

} // namespace testkit
