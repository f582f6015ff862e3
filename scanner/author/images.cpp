// PE images and XBEs as sections of code.
#include "author/images.h"

#include <algorithm>
#include <cstring>
#include <optional>

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
constexpr std::size_t kXbeImageSizeField = 0x10C;

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

namespace {

constexpr std::uint16_t kRelocationsStripped = 0x0001;
constexpr std::size_t kImportDirectory = 1;
constexpr std::size_t kRelocationDirectory = 5;
constexpr std::uint16_t kBaseRelocationPadding = 0;
constexpr std::uint16_t kBaseRelocationHighLow = 3;
constexpr std::uint32_t kImportByOrdinal = 0x80000000;
constexpr std::uint32_t kPageSize = 0x1000;

struct PeSection {
    std::uint32_t rva;
    std::uint32_t raw;
    std::uint32_t raw_size;
};

// The file offset of `length` bytes at `rva`, when they lie in one section's stored data.
std::optional<std::uint64_t> file_offset(const std::vector<PeSection> &sections, std::uint32_t rva,
                                         std::uint32_t length) {
    for (const PeSection &section : sections)
        if (rva >= section.rva && rva - section.rva <= section.raw_size &&
            length <= section.raw_size - (rva - section.rva))
            return std::uint64_t{section.raw} + (rva - section.rva);
    return std::nullopt;
}

std::uint32_t page_end(std::uint64_t address) {
    const std::uint64_t end = (address + kPageSize - 1) / kPageSize * kPageSize;
    return end > 0xFFFFFFFF ? 0xFFFFF000 : static_cast<std::uint32_t>(end);
}

} // namespace

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
    const std::uint16_t characteristics = Fenxi_ReadU16(header + 18);
    const std::uint64_t optional = std::uint64_t{pe} + 4 + kCoffHeaderSize;
    if (optional_size < 60 || !fits(total, optional, optional_size))
        return fail("the optional header lies outside the file");
    const std::uint8_t *fields = bytes.data() + optional;
    if (Fenxi_ReadU16(fields) != kPe32Magic)
        return fail("not a 32-bit PE image");
    LinkedImageFile image;
    image.base_address = Fenxi_ReadU32(fields + 28);
    const std::uint32_t image_size = Fenxi_ReadU32(fields + 56);
    // The data directories present: the count is stored, and the header must hold them.
    const std::uint32_t directories =
        optional_size >= 96
            ? std::min<std::uint32_t>(Fenxi_ReadU32(fields + 92), (optional_size - 96) / 8)
            : 0;
    const auto directory = [&](std::size_t index) {
        return index < directories ? std::pair{Fenxi_ReadU32(fields + 96 + index * 8),
                                               Fenxi_ReadU32(fields + 100 + index * 8)}
                                   : std::pair{0u, 0u};
    };
    const std::uint64_t table = optional + optional_size;
    if (!fits(total, table, std::uint64_t{section_count} * kSectionHeaderSize))
        return fail("the section table runs past the end of the file");
    std::vector<PeSection> stored;
    std::uint64_t end = std::uint64_t{image.base_address} + image_size;
    for (std::uint32_t s = 0; s < section_count; ++s) {
        const std::uint8_t *at = bytes.data() + table + s * kSectionHeaderSize;
        ImageSection section;
        section.name = section_name(at, 8);
        const std::uint32_t virtual_size = Fenxi_ReadU32(at + 8);
        const std::uint32_t rva = Fenxi_ReadU32(at + 12);
        const std::uint32_t raw_size = Fenxi_ReadU32(at + 16);
        const std::uint32_t raw = Fenxi_ReadU32(at + 20);
        const std::uint32_t flags = Fenxi_ReadU32(at + 36);
        if (raw_size != 0 && !fits(total, raw, raw_size))
            return fail(join("the data of section ", s + 1, " (", section.name,
                             ") runs past the end of the file"));
        if (std::uint64_t{image.base_address} + rva + std::max(raw_size, virtual_size) > 0xFFFFFFFF)
            return fail(
                join("section ", s + 1, " (", section.name, ") lies beyond 4 GiB at its address"));
        section.virtual_address = image.base_address + rva;
        section.executable = (flags & (kSectionExecute | kSectionCode)) != 0;
        if (raw_size != 0)
            section.bytes.assign(bytes.begin() + raw, bytes.begin() + raw + raw_size);
        end = std::max<std::uint64_t>(end, std::uint64_t{section.virtual_address} +
                                               std::max(raw_size, virtual_size));
        stored.push_back({rva, raw, raw_size});
        image.sections.push_back(std::move(section));
    }
    image.end_address = page_end(end);

    const auto [relocations, relocations_size] = directory(kRelocationDirectory);
    image.has_relocations = (characteristics & kRelocationsStripped) == 0 && relocations_size != 0;
    if (image.has_relocations) {
        const auto at = file_offset(stored, relocations, relocations_size);
        if (!at)
            return fail("the base relocations lie outside the sections' data");
        for (std::uint32_t block = 0; block < relocations_size;) {
            const std::uint64_t offset = *at + block;
            if (relocations_size - block < 8)
                return fail(join("the base relocation block at file offset 0x",
                                 fenxi_text::Hex{offset, 0}, " is cut short"));
            const std::uint32_t page = Fenxi_ReadU32(bytes.data() + offset);
            const std::uint32_t size = Fenxi_ReadU32(bytes.data() + offset + 4);
            if (size < 8 || size % 2 != 0 || size > relocations_size - block)
                return fail(join("the base relocation block at file offset 0x",
                                 fenxi_text::Hex{offset, 0}, " has a size of ", size,
                                 ", which does not fit"));
            for (std::uint32_t k = 8; k < size; k += 2) {
                const std::uint16_t entry = Fenxi_ReadU16(bytes.data() + offset + k);
                const auto type = static_cast<std::uint16_t>(entry >> 12);
                if (type == kBaseRelocationPadding)
                    continue;
                if (type != kBaseRelocationHighLow)
                    return fail(join("the base relocation at file offset 0x",
                                     fenxi_text::Hex{offset + k, 0}, " has type ", type,
                                     ", not a 32-bit address"));
                image.relocated_fields.push_back(image.base_address + page + (entry & 0xFFF));
            }
            block += size;
        }
        std::sort(image.relocated_fields.begin(), image.relocated_fields.end());
    }

    // Imports by ordinal: the kernel's, since a program for the console imports from nothing
    // else. Each slot of the import address table is where the loader puts the export's address.
    const auto [imports, imports_size] = directory(kImportDirectory);
    for (std::uint32_t d = 0; imports_size != 0; ++d) {
        const auto at = file_offset(stored, imports + d * 20, 20);
        if (!at)
            return fail(join("import descriptor ", d + 1, " lies outside the sections' data"));
        const std::uint32_t lookup = Fenxi_ReadU32(bytes.data() + *at);
        const std::uint32_t slots = Fenxi_ReadU32(bytes.data() + *at + 16);
        if (lookup == 0 && slots == 0)
            break;
        const std::uint32_t names = lookup != 0 ? lookup : slots;
        for (std::uint32_t k = 0;; ++k) {
            const auto entry = file_offset(stored, names + k * 4, 4);
            if (!entry)
                return fail(join("the import table of descriptor ", d + 1,
                                 " runs past the sections' data"));
            const std::uint32_t value = Fenxi_ReadU32(bytes.data() + *entry);
            if (value == 0)
                break;
            if ((value & kImportByOrdinal) != 0)
                image.kernel_slots.emplace(value & 0xFFFF, image.base_address + slots + k * 4);
        }
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
    std::uint64_t end = header.BaseAddress;
    if (fits(bytes.size(), kXbeImageSizeField, 4))
        end += Fenxi_ReadU32(bytes.data() + kXbeImageSizeField);
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
        end = std::max<std::uint64_t>(end, std::uint64_t{stored.VirtualAddress} + stored.RawSize);
        image.sections.push_back(std::move(section));
    }
    image.end_address = page_end(end);
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
