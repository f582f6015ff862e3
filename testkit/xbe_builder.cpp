#include "testkit/xbe_builder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace testkit {

std::uint32_t read_field(const std::vector<std::uint8_t> &image, std::size_t at) {
    return static_cast<std::uint32_t>(image.at(at)) |
           static_cast<std::uint32_t>(image.at(at + 1)) << 8 |
           static_cast<std::uint32_t>(image.at(at + 2)) << 16 |
           static_cast<std::uint32_t>(image.at(at + 3)) << 24;
}

void write_field(std::vector<std::uint8_t> &image, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        image.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

ExactImage::ExactImage(const std::vector<std::uint8_t> &bytes, std::size_t size)
    : data(new std::uint8_t[size == 0 ? 1 : size]), size(size) {
    if (size > bytes.size())
        throw std::invalid_argument("an image cannot be longer than its bytes");
    if (size != 0)
        std::memcpy(data, bytes.data(), size);
}

ExactImage::~ExactImage() {
    delete[] data;
}

namespace {

// The image header's fields the scanner reads, and a few a loader needs to take the file for an
// image at all.
constexpr std::size_t kHeadersSizeField = 0x108;
constexpr std::size_t kImageSizeField = 0x10C;
constexpr std::size_t kImageHeaderSizeField = 0x110;
constexpr std::size_t kEntryPointField = 0x128;
constexpr std::size_t kKernelThunkField = 0x158;
constexpr std::size_t kImageHeaderSize = 0x178;

constexpr std::size_t kSectionHeaderSize = 56;
constexpr std::size_t kLibraryEntrySize = 16;
constexpr std::size_t kNameSize = 12; // 8 characters, a terminator, padding
constexpr std::size_t kDataAlignment = 0x1000;

struct Keys {
    std::uint32_t entry;
    std::uint32_t thunk;
};

Keys keys_of(TestXbeKind kind) {
    switch (kind) {
    case TestXbeKind::Debug:
        return {0x94859D4B, 0xEFB1F152};
    case TestXbeKind::Chihiro:
        return {0x40B5C16E, 0x2290059D};
    default:
        return {0xA8FC57AB, 0x5B6D40B6};
    }
}

void put16(std::vector<std::uint8_t> &image, std::size_t at, std::uint16_t value) {
    image.at(at) = static_cast<std::uint8_t>(value);
    image.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

// Grows the image so that [at, at + size) lies inside it.
void reach(std::vector<std::uint8_t> &image, std::size_t at, std::size_t size) {
    if (image.size() < at + size)
        image.resize(at + size, 0);
}

// Title id, name and regions at file offset `at`; the rest of the certificate is left alone.
void write_certificate_fields(std::vector<std::uint8_t> &image, std::size_t at,
                              const TestXbe &xbe) {
    reach(image, at, kXbeCertificateSize);
    write_field(image, at + kXbeCertificateTitleId, xbe.title_id);
    const std::size_t units = std::min(xbe.title_name.size(), kXbeTitleNameUnits);
    for (std::size_t i = 0; i < kXbeTitleNameUnits; ++i)
        put16(image, at + kXbeCertificateTitleName + 2 * i,
              i < units ? static_cast<std::uint16_t>(xbe.title_name[i]) : 0);
    write_field(image, at + kXbeCertificateRegions, xbe.game_regions);
}

} // namespace

// The file as stored: image header, library version table, section headers and section names
// in the headers (loaded at the base address), then each section's bytes at its raw
// address.
std::vector<std::uint8_t> build_test_xbe(const TestXbe &xbe) {
    const std::uint32_t base = xbe.base_address;
    const std::size_t libraries = kImageHeaderSize;
    const std::size_t section_headers = libraries + kLibraryEntrySize * xbe.libraries.size();
    const std::size_t names = section_headers + kSectionHeaderSize * xbe.sections.size();
    const std::size_t certificate = names + kNameSize * xbe.sections.size();
    const std::size_t headers_end = certificate + kXbeCertificateSize;

    std::vector<std::uint32_t> raw_addresses;
    std::size_t file_size = (headers_end + kDataAlignment - 1) / kDataAlignment * kDataAlignment;
    for (const TestXbeSection &section : xbe.sections) {
        raw_addresses.push_back(static_cast<std::uint32_t>(file_size));
        file_size += (section.bytes.size() + kDataAlignment - 1) / kDataAlignment * kDataAlignment;
    }
    std::vector<std::uint8_t> image(file_size, 0);
    std::memcpy(image.data(), "XBEH", 4);
    const Keys keys = keys_of(xbe.kind);
    write_field(image, kXbeBaseAddressField, base);
    write_field(image, kHeadersSizeField, static_cast<std::uint32_t>(headers_end));
    write_field(image, kImageSizeField, static_cast<std::uint32_t>(file_size));
    write_field(image, kImageHeaderSizeField, static_cast<std::uint32_t>(kImageHeaderSize));
    write_field(image, kXbeSectionCountField, static_cast<std::uint32_t>(xbe.sections.size()));
    write_field(image, kXbeSectionHeadersField, base + static_cast<std::uint32_t>(section_headers));
    write_field(image, kEntryPointField, (base + 0x1000) ^ keys.entry);
    write_field(image, kKernelThunkField, xbe.kernel_thunk ^ keys.thunk);
    write_field(image, kXbeLibraryCountField, static_cast<std::uint32_t>(xbe.libraries.size()));
    write_field(image, kXbeLibraryTableField,
                xbe.libraries.empty() ? 0 : base + static_cast<std::uint32_t>(libraries));

    for (std::size_t i = 0; i < xbe.sections.size(); ++i) {
        const TestXbeSection &section = xbe.sections[i];
        const std::size_t header = section_headers + kSectionHeaderSize * i;
        const std::size_t name = names + kNameSize * i;
        const auto size = static_cast<std::uint32_t>(section.bytes.size());
        write_field(image, header,
                    (section.preload ? 0x2 : 0x0) | (section.executable ? 0x4 : 0x0));
        write_field(image, header + 4, section.virtual_address);
        write_field(image, header + 8, size);
        write_field(image, header + 12, raw_addresses[i]);
        write_field(image, header + 16, size);
        write_field(image, header + 20, base + static_cast<std::uint32_t>(name));
        std::memcpy(image.data() + name, section.name.data(),
                    std::min<std::size_t>(section.name.size(), 8));
        std::copy(section.bytes.begin(), section.bytes.end(), image.begin() + raw_addresses[i]);
    }
    for (std::size_t i = 0; i < xbe.libraries.size(); ++i) {
        const TestXbeLibrary &library = xbe.libraries[i];
        const std::size_t entry = libraries + kLibraryEntrySize * i;
        std::memcpy(image.data() + entry, library.name.data(),
                    std::min<std::size_t>(library.name.size(), 8));
        put16(image, entry + 8, 1);
        put16(image, entry + 12, library.build);
        put16(image, entry + 14, library.flags);
    }

    if (!xbe.certificate_address) {
        write_field(image, kXbeCertificateField, base + static_cast<std::uint32_t>(certificate));
        write_field(image, certificate, static_cast<std::uint32_t>(kXbeCertificateSize));
        write_certificate_fields(image, certificate, xbe);
    } else {
        write_field(image, kXbeCertificateField, *xbe.certificate_address);
        if (*xbe.certificate_address >= base)
            write_certificate_fields(image, *xbe.certificate_address - base, xbe);
    }

    for (const auto &[at, value] : xbe.field_overrides) {
        reach(image, at, 4);
        write_field(image, at, value);
    }
    if (xbe.file_size)
        image.resize(*xbe.file_size, 0);
    return image;
}

std::error_code write_bytes(const std::filesystem::path &file,
                            const std::vector<std::uint8_t> &bytes) {
    std::error_code error;
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), error);
    if (error)
        return error;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return out ? std::error_code() : std::make_error_code(std::errc::io_error);
}

std::error_code write_test_xbe(const std::filesystem::path &file, const TestXbe &xbe) {
    return write_bytes(file, build_test_xbe(xbe));
}

} // namespace testkit
