// PE images and XBEs as sections of code.
#include "author/images.h"

#include <cstring>

#include "lib/database/text_join.h"
#include "lib/image/xbe_layout.h"

using fenxi_text::join;

namespace fendrel_author {
namespace {

constexpr std::size_t kPeSignatureField = 0x3C;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kPe32Magic = 0x010B;
constexpr std::uint32_t kSectionExecute = 0x20000000;
constexpr std::uint32_t kSectionCode = 0x00000020;
// XBE section flag: the section holds code.
constexpr std::uint32_t kXbeSectionExecutable = 0x4;

bool fits(std::size_t total, std::uint64_t offset, std::uint64_t length) {
    return offset <= total && length <= total - offset;
}

std::string section_name(const std::uint8_t *at, std::size_t width) {
    std::size_t length = 0;
    while (length < width && at[length] != 0)
        ++length;
    return std::string(reinterpret_cast<const char *>(at), length);
}

} // namespace

bool is_pe_image(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z';
}

bool is_xbe_image(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "XBEH", 4) == 0;
}

std::expected<LinkedImageFile, std::string> read_pe_image(std::span<const std::uint8_t> bytes,
                                                          std::string_view origin) {
    const auto fail = [&](std::string_view what) {
        return std::unexpected(join(origin, ": ", what));
    };
    const std::size_t total = bytes.size();
    if (!fits(total, kPeSignatureField, 4))
        return fail("too short for a PE image");
    const std::uint32_t pe = Fenxi_ReadU32(bytes.data() + kPeSignatureField);
    if (!fits(total, pe, 4 + kCoffHeaderSize) || std::memcmp(bytes.data() + pe, "PE\0\0", 4) != 0)
        return fail("the PE header lies outside the file");
    const std::uint8_t *header = bytes.data() + pe + 4;
    const std::uint16_t machine = Fenxi_ReadU16(header);
    if (machine != 0x014C)
        return fail(join("not an i386 image (machine 0x", fenxi_text::Hex{machine, 4}, ")"));
    const std::uint16_t section_count = Fenxi_ReadU16(header + 2);
    const std::uint16_t optional_size = Fenxi_ReadU16(header + 16);
    const std::uint64_t optional = std::uint64_t{pe} + 4 + kCoffHeaderSize;
    if (optional_size < 32 || !fits(total, optional, optional_size))
        return fail("the optional header lies outside the file");
    if (Fenxi_ReadU16(bytes.data() + optional) != kPe32Magic)
        return fail("not a 32-bit PE image");
    LinkedImageFile image;
    image.base_address = Fenxi_ReadU32(bytes.data() + optional + 28);
    const std::uint64_t table = optional + optional_size;
    if (!fits(total, table, std::uint64_t{section_count} * kSectionHeaderSize))
        return fail("the section table runs past the end of the file");
    for (std::uint32_t s = 0; s < section_count; ++s) {
        const std::uint8_t *at = bytes.data() + table + s * kSectionHeaderSize;
        ImageSection section;
        section.name = section_name(at, 8);
        const std::uint32_t rva = Fenxi_ReadU32(at + 12);
        const std::uint32_t raw_size = Fenxi_ReadU32(at + 16);
        const std::uint32_t raw = Fenxi_ReadU32(at + 20);
        const std::uint32_t characteristics = Fenxi_ReadU32(at + 36);
        if (raw_size != 0 && !fits(total, raw, raw_size))
            return fail(join("the data of section ", s + 1, " (", section.name,
                             ") runs past the end of the file"));
        section.virtual_address = image.base_address + rva;
        section.executable = (characteristics & (kSectionExecute | kSectionCode)) != 0;
        if (raw_size != 0)
            section.bytes.assign(bytes.begin() + raw, bytes.begin() + raw + raw_size);
        image.sections.push_back(std::move(section));
    }
    return image;
}

std::expected<LinkedImageFile, std::string> read_xbe_image(std::span<const std::uint8_t> bytes,
                                                           std::string_view origin) {
    const FenxiXbeImage xbe(bytes.data(), bytes.size());
    FenxiXbeHeader header{};
    if (const char *problem = xbe.read_header(&header))
        return std::unexpected(join(origin, ": ", problem));
    LinkedImageFile image;
    image.base_address = header.BaseAddress;
    for (std::uint32_t s = 0; s < header.SectionCount; ++s) {
        FenxiXbeSection stored{};
        if (const char *problem = xbe.read_section(header, s, &stored))
            return std::unexpected(join(origin, ": ", problem));
        const std::uint8_t *data = nullptr;
        if (const char *problem = xbe.section_data(header, stored, true, &data))
            return std::unexpected(join(origin, ": ", problem));
        ImageSection section;
        section.name = section_name(reinterpret_cast<const std::uint8_t *>(stored.Name), 8);
        section.virtual_address = stored.VirtualAddress;
        section.executable = (stored.Flags & kXbeSectionExecutable) != 0;
        section.bytes.assign(data, data + stored.RawSize);
        image.sections.push_back(std::move(section));
    }
    // The thunk table: ordinals with the top bit set, up to a zero entry, in whichever section
    // holds it.
    const std::uint32_t thunk = Fenxi_KernelThunkAddress(header);
    for (const ImageSection &section : image.sections) {
        if (thunk < section.virtual_address ||
            thunk - section.virtual_address >= section.bytes.size())
            continue;
        for (std::size_t at = thunk - section.virtual_address; at + 4 <= section.bytes.size();
             at += 4) {
            const std::uint32_t entry = Fenxi_ReadU32(section.bytes.data() + at);
            if (entry == 0)
                break;
            image.kernel_slots.emplace(entry & 0x7FFFFFFF,
                                       section.virtual_address + static_cast<std::uint32_t>(at));
        }
        break;
    }
    return image;
}

} // namespace fendrel_author
