#pragma once
// Image reading: the XBE fields the scanner reads, each checked against the buffer before it is
// read. An image whose header, tables, names or section data do not lie inside the buffer is
// unusable; the readers say so with a short text instead of reading past the end.
#include <cstddef>
#include <cstdint>

struct FenxiXbeHeader {
    std::uint32_t BaseAddress;
    std::uint32_t SectionCount;
    std::uint32_t SectionHeadersAddress;
    std::uint32_t EntryPointField;  // as stored (XOR-keyed)
    std::uint32_t KernelThunkField; // as stored (XOR-keyed)
    std::uint32_t LibraryCount;
    std::uint32_t LibraryTableAddress;
};

struct FenxiXbeSection {
    std::uint32_t Flags;
    std::uint32_t VirtualAddress;
    std::uint32_t RawAddress;
    std::uint32_t RawSize;
    char Name[8]; // NUL-padded
};

struct FenxiXbeLibrary {
    char Name[8];
    std::uint16_t BuildVersion;
    std::uint16_t Flags;
};

inline constexpr std::uint32_t FENXI_SECTION_PRELOAD = 0x2;

class FenxiXbeImage {
  public:
    FenxiXbeImage(const std::uint8_t *image, std::size_t size) : image_(image), size_(size) {}

    // nullptr on success, else what is wrong.
    const char *read_header(FenxiXbeHeader *header) const;
    const char *read_section(const FenxiXbeHeader &header, std::uint32_t index,
                             FenxiXbeSection *section) const;
    const char *read_library(const FenxiXbeHeader &header, std::uint32_t index,
                             FenxiXbeLibrary *library) const;
    // The section's bytes: at its raw address in a file, at its virtual address in a loaded image.
    const char *section_data(const FenxiXbeHeader &header, const FenxiXbeSection &section,
                             bool raw_file, const std::uint8_t **data) const;

  private:
    // Buffer offset of `length` bytes at virtual address `address`; false when not all inside.
    bool locate(const FenxiXbeHeader &header, std::uint32_t address, std::uint64_t length,
                std::size_t *offset) const;
    bool fits(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }

    const std::uint8_t *image_;
    std::size_t size_;
};

// The image type from the stored entry point and kernel thunk fields.
std::uint32_t Fenxi_XbeType(const FenxiXbeHeader &header);
std::uint32_t Fenxi_KernelThunkAddress(const FenxiXbeHeader &header);

// 8-character name comparison, as the tables store names: equal up to the first NUL or 8.
bool Fenxi_SameName8(const char *stored, const char *name);

inline std::uint32_t Fenxi_ReadU32(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint16_t Fenxi_ReadU16(const std::uint8_t *p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
