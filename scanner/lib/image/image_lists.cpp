// The library list and the section list of an image, and the check that both can be made.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "lib/fendrel.h"
#include "lib/image/xbe_layout.h"
#include "lib/scan/message_sink.h"

namespace {

// Sections scanned whatever they hold; any other preloaded section only when it holds the kernel
// thunk table.
constexpr const char *kScannedSectionNames[] = {
    ".text", "FLASHROM", ".rdata",   "D3D",   "D3DX",    "DSOUND", "XACTENG",
    ".XID",  "XPP",      ".XPP&Dat", "XGRPH", "XONLINE", "XNET",
};

// D3D8 builds 5558 to 5659 with QFE 2 or more are the same library as 5788.
constexpr std::uint16_t kAliasFirstBuild = 5558;
constexpr std::uint16_t kAliasLastBuild = 5659;
constexpr std::uint16_t kAliasMinimumQfe = 2;
constexpr std::uint16_t kAliasBuild = 5788;

constexpr std::uint16_t kQfeMask = 0x1FFF;

// Appends to the caller's array while it has room and counts every entry.
template <typename Filter> class Listing {
  public:
    Listing(Filter *out, std::uint32_t capacity) : out_(out), capacity_(out ? capacity : 0) {}

    void append(const Filter &filter) {
        if (count_ < capacity_)
            out_[count_] = filter;
        ++count_;
    }
    std::uint32_t count() const { return count_; }
    Filter *begin() const { return out_; }
    Filter *end() const { return out_ + std::min(count_, capacity_); }

  private:
    Filter *out_;
    std::uint32_t capacity_;
    std::uint32_t count_ = 0;
};

FenxLibraryFilter library_filter(std::uint16_t build, std::uint16_t qfe, std::uint32_t flag,
                                 const char *name) {
    FenxLibraryFilter filter{build, qfe, flag, {}};
    std::memcpy(filter.Name, name, std::min(std::strlen(name), sizeof filter.Name));
    return filter;
}

bool is_d3d8(std::uint32_t flag) {
    return flag == FENX_LIB_D3D8 || flag == FENX_LIB_D3D8LTCG;
}

// A later D3D8 or D3D8LTCG entry joins the one already listed: LTCG wins, and so do the higher
// build and the higher QFE.
void merge_d3d8(Listing<FenxLibraryFilter> &listing, const FenxLibraryFilter &later) {
    if (later.Flag == FENX_LIB_D3D8LTCG) {
        for (FenxLibraryFilter &listed : listing)
            if (listed.Flag == FENX_LIB_D3D8)
                listed = library_filter(listed.BuildVersion, listed.QfeVersion, FENX_LIB_D3D8LTCG,
                                        "D3D8LTCG");
    }
    for (FenxLibraryFilter &listed : listing) {
        if (!is_d3d8(listed.Flag))
            continue;
        if (listed.BuildVersion < later.BuildVersion) {
            listed.BuildVersion = later.BuildVersion;
            listed.QfeVersion = later.QfeVersion;
        } else if (listed.QfeVersion < later.QfeVersion) {
            listed.QfeVersion = later.QfeVersion;
        }
    }
}

bool has_sections(const FenxiXbeHeader &header) {
    return header.SectionHeadersAddress != 0 && header.SectionCount != 0;
}

const char *list_libraries(const FenxiXbeImage &image, Listing<FenxLibraryFilter> &listing,
                           bool post_alias) {
    FenxiXbeHeader header{};
    if (const char *problem = image.read_header(&header))
        return problem;
    if (header.LibraryTableAddress == 0)
        return nullptr;

    std::uint16_t max_build = 0;
    bool d3d8_listed = false;
    bool dsound_listed = false;
    for (std::uint32_t i = 0; i < header.LibraryCount; ++i) {
        FenxiXbeLibrary entry{};
        if (const char *problem = image.read_library(header, i, &entry))
            return problem;
        max_build = std::max(max_build, entry.BuildVersion);
        const std::uint32_t flag = Fenx_LibraryFlag(entry.Name);
        if (flag == 0)
            continue;
        FenxLibraryFilter filter{
            entry.BuildVersion, static_cast<std::uint16_t>(entry.Flags & kQfeMask), flag, {}};
        std::memcpy(filter.Name, entry.Name, sizeof filter.Name);

        if (flag == FENX_LIB_DSOUND) {
            dsound_listed = true;
        } else if (is_d3d8(flag)) {
            if (d3d8_listed) {
                merge_d3d8(listing, filter);
                continue;
            }
            d3d8_listed = true;
            if (filter.BuildVersion >= kAliasFirstBuild && filter.BuildVersion <= kAliasLastBuild &&
                filter.QfeVersion >= kAliasMinimumQfe) {
                if (post_alias)
                    Fenxi_PostLibrary(FENX_MSG_WARNING,
                                      "D3D8 version 1.0.%d.%d Title Detected: This game uses an "
                                      "alias version 1.0.5788",
                                      filter.BuildVersion, filter.QfeVersion);
                filter.BuildVersion = kAliasBuild;
            }
        }
        listing.append(filter);
    }

    // Some titles carry DirectSound only as a section, without a library version entry.
    if (!dsound_listed && has_sections(header)) {
        for (std::uint32_t i = 0; i < header.SectionCount; ++i) {
            FenxiXbeSection section{};
            if (const char *problem = image.read_section(header, i, &section))
                return problem;
            if (Fenxi_SameName8(section.Name, "DSOUND")) {
                listing.append(library_filter(max_build, 0, FENX_LIB_DSOUND, "DSOUND"));
                break;
            }
        }
    }
    if (Fenxi_XbeType(header) != FENX_XBE_RETAIL)
        listing.append(library_filter(max_build, 0, FENX_LIB_JVS, "JVS"));
    return nullptr;
}

bool is_scanned_name(const char *name) {
    return std::any_of(std::begin(kScannedSectionNames), std::end(kScannedSectionNames),
                       [name](const char *scanned) { return Fenxi_SameName8(name, scanned); });
}

const char *list_sections(const FenxiXbeImage &image, Listing<FenxSectionFilter> &listing,
                          bool raw_file) {
    FenxiXbeHeader header{};
    if (const char *problem = image.read_header(&header))
        return problem;
    if (!has_sections(header))
        return nullptr;
    const std::uint32_t thunk = Fenxi_KernelThunkAddress(header);
    for (std::uint32_t i = 0; i < header.SectionCount; ++i) {
        FenxiXbeSection section{};
        if (const char *problem = image.read_section(header, i, &section))
            return problem;
        if ((section.Flags & FENXI_SECTION_PRELOAD) == 0)
            continue;
        const bool holds_thunk =
            section.VirtualAddress <= thunk &&
            std::uint64_t{thunk} < std::uint64_t{section.VirtualAddress} + section.RawSize;
        if (!is_scanned_name(section.Name) && !holds_thunk)
            continue;
        FenxSectionFilter filter{{}, section.VirtualAddress, section.RawSize, nullptr};
        std::memcpy(filter.Name, section.Name, sizeof filter.Name);
        if (const char *problem = image.section_data(header, section, raw_file, &filter.Data))
            return problem;
        listing.append(filter);
    }
    return nullptr;
}

} // namespace

std::uint32_t Fenx_BuildLibraryHeader(const std::uint8_t *image, std::size_t image_size,
                                      FenxLibraryHeader *header) {
    Listing<FenxLibraryFilter> listing(header ? header->Filters : nullptr,
                                       header ? header->Count : 0);
    // The alias warning belongs to the call that fills the list, not to the counting call.
    if (const char *problem =
            list_libraries(FenxiXbeImage(image, image_size), listing, header != nullptr)) {
        Fenxi_PostLibrary(FENX_MSG_ERROR, "unusable xbe image: %s", problem);
        return 0;
    }
    return listing.count();
}

std::uint32_t Fenx_BuildSectionHeader(const std::uint8_t *image, std::size_t image_size,
                                      FenxSectionHeader *header, bool raw_file) {
    Listing<FenxSectionFilter> listing(header ? header->Filters : nullptr,
                                       header ? header->Count : 0);
    if (const char *problem = list_sections(FenxiXbeImage(image, image_size), listing, raw_file)) {
        Fenxi_PostLibrary(FENX_MSG_ERROR, "unusable xbe image: %s", problem);
        return 0;
    }
    return listing.count();
}

const char *Fenx_CheckXbe(const std::uint8_t *image, std::size_t image_size, bool raw_file) {
    const FenxiXbeImage xbe(image, image_size);
    FenxiXbeHeader header{};
    if (const char *problem = xbe.read_header(&header))
        return problem;
    // Every section header and name, whether or not the section is scanned: the library list
    // looks at all names.
    if (has_sections(header)) {
        for (std::uint32_t i = 0; i < header.SectionCount; ++i) {
            FenxiXbeSection section{};
            if (const char *problem = xbe.read_section(header, i, &section))
                return problem;
        }
    }
    Listing<FenxLibraryFilter> libraries(nullptr, 0);
    if (const char *problem = list_libraries(xbe, libraries, false))
        return problem;
    Listing<FenxSectionFilter> sections(nullptr, 0);
    return list_sections(xbe, sections, raw_file);
}
