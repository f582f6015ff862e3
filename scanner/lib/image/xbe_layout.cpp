// Bounds-checked reading of the XBE image header, section headers and library version table.
#include "lib/image/xbe_layout.h"

#include <cstring>

#include "lib/fendrel.h"

namespace {

// Image header fields, by offset.
constexpr std::size_t kBaseAddress = 0x104;
constexpr std::size_t kSectionCount = 0x11C;
constexpr std::size_t kSectionHeaders = 0x120;
constexpr std::size_t kEntryPoint = 0x128;
constexpr std::size_t kKernelThunk = 0x158;
constexpr std::size_t kLibraryCount = 0x160;
constexpr std::size_t kLibraryTable = 0x164;
constexpr std::size_t kHeaderFieldsEnd = kLibraryTable + 4;

constexpr std::uint64_t kSectionHeaderSize = 56;
constexpr std::uint64_t kLibraryEntrySize = 16;

constexpr std::uint32_t kRetailThunkKey = 0x5B6D40B6;
constexpr std::uint32_t kDebugThunkKey = 0xEFB1F152;
constexpr std::uint32_t kChihiroThunkKey = 0x2290059D;

} // namespace

bool FenxiXbeImage::locate(const FenxiXbeHeader &header, std::uint32_t address,
                           std::uint64_t length, std::size_t *offset) const {
    if (address < header.BaseAddress)
        return false;
    const std::uint64_t at = address - header.BaseAddress;
    if (!fits(at, length))
        return false;
    *offset = static_cast<std::size_t>(at);
    return true;
}

const char *FenxiXbeImage::read_header(FenxiXbeHeader *header) const {
    if (image_ == nullptr || size_ < kHeaderFieldsEnd)
        return "the file is too short for the image header";
    header->BaseAddress = Fenxi_ReadU32(image_ + kBaseAddress);
    header->SectionCount = Fenxi_ReadU32(image_ + kSectionCount);
    header->SectionHeadersAddress = Fenxi_ReadU32(image_ + kSectionHeaders);
    header->EntryPointField = Fenxi_ReadU32(image_ + kEntryPoint);
    header->KernelThunkField = Fenxi_ReadU32(image_ + kKernelThunk);
    header->LibraryCount = Fenxi_ReadU32(image_ + kLibraryCount);
    header->LibraryTableAddress = Fenxi_ReadU32(image_ + kLibraryTable);
    return nullptr;
}

const char *FenxiXbeImage::read_section(const FenxiXbeHeader &header, std::uint32_t index,
                                        FenxiXbeSection *section) const {
    std::size_t table = 0;
    if (!locate(header, header.SectionHeadersAddress, header.SectionCount * kSectionHeaderSize,
                &table))
        return "the section headers lie outside the file";
    const std::uint8_t *entry = image_ + table + index * kSectionHeaderSize;
    section->Flags = Fenxi_ReadU32(entry);
    section->VirtualAddress = Fenxi_ReadU32(entry + 4);
    section->RawAddress = Fenxi_ReadU32(entry + 12);
    section->RawSize = Fenxi_ReadU32(entry + 16);
    const std::uint32_t name_address = Fenxi_ReadU32(entry + 20);

    // The name ends at its NUL or after 8 characters; every byte read must be in the buffer.
    std::memset(section->Name, 0, sizeof section->Name);
    std::size_t name_at = 0;
    if (!locate(header, name_address, 1, &name_at))
        return "a section name lies outside the file";
    for (std::size_t i = 0; i < sizeof section->Name; ++i) {
        if (name_at + i >= size_)
            return "a section name lies outside the file";
        const char c = static_cast<char>(image_[name_at + i]);
        if (c == '\0')
            break;
        section->Name[i] = c;
    }
    return nullptr;
}

const char *FenxiXbeImage::read_library(const FenxiXbeHeader &header, std::uint32_t index,
                                        FenxiXbeLibrary *library) const {
    std::size_t table = 0;
    if (!locate(header, header.LibraryTableAddress, header.LibraryCount * kLibraryEntrySize,
                &table))
        return "the library version table lies outside the file";
    const std::uint8_t *entry = image_ + table + index * kLibraryEntrySize;
    std::memcpy(library->Name, entry, sizeof library->Name);
    library->BuildVersion = Fenxi_ReadU16(entry + 12);
    library->Flags = Fenxi_ReadU16(entry + 14);
    return nullptr;
}

const char *FenxiXbeImage::section_data(const FenxiXbeHeader &header,
                                        const FenxiXbeSection &section, bool raw_file,
                                        const std::uint8_t **data) const {
    std::size_t at = 0;
    if (raw_file) {
        if (!fits(section.RawAddress, section.RawSize))
            return "the data of a section lies outside the file";
        at = section.RawAddress;
    } else if (!locate(header, section.VirtualAddress, section.RawSize, &at)) {
        return "the data of a section lies outside the image";
    }
    *data = image_ + at;
    return nullptr;
}

std::uint32_t Fenxi_XbeType(const FenxiXbeHeader &header) {
    if ((header.EntryPointField >> 28) == 0x4)
        return FENX_XBE_CHIHIRO;
    return (header.KernelThunkField >> 31) != 0 ? FENX_XBE_DEBUG : FENX_XBE_RETAIL;
}

std::uint32_t Fenxi_KernelThunkAddress(const FenxiXbeHeader &header) {
    switch (Fenxi_XbeType(header)) {
    case FENX_XBE_CHIHIRO:
        return header.KernelThunkField ^ kChihiroThunkKey;
    case FENX_XBE_DEBUG:
        return header.KernelThunkField ^ kDebugThunkKey;
    default:
        return header.KernelThunkField ^ kRetailThunkKey;
    }
}

bool Fenxi_SameName8(const char *stored, const char *name) {
    return std::strncmp(stored, name, 8) == 0;
}

std::uint32_t Fenx_XbeType(const std::uint8_t *image, std::size_t image_size) {
    FenxiXbeHeader header{};
    if (FenxiXbeImage(image, image_size).read_header(&header) != nullptr)
        return FENX_XBE_RETAIL;
    return Fenxi_XbeType(header);
}

const char *Fenx_XbeTypeName(std::uint32_t type) {
    switch (type) {
    case FENX_XBE_DEBUG:
        return "DEBUG";
    case FENX_XBE_CHIHIRO:
        return "CHIHIRO";
    default:
        return "RETAIL";
    }
}

std::uint32_t Fenx_KernelThunkAddress(const std::uint8_t *image, std::size_t image_size) {
    FenxiXbeHeader header{};
    if (FenxiXbeImage(image, image_size).read_header(&header) != nullptr)
        return 0;
    return Fenxi_KernelThunkAddress(header);
}
