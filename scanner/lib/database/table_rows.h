#pragma once
// Building blocks of the group tables, so that each entry reads as one row in the field order of
// OOVPATable: index, scan marks, type, name, calling convention, parameters, revisions.
#include <cstddef>
#include <cstdint>

#include "lib/database/catalogue.h"
#include "lib/oovpa.h"

namespace fenxi_db {

inline constexpr std::uint32_t kAuto = FENX_SCAN_AUTOMATIC;
inline constexpr std::uint32_t kManual = FENX_SCAN_MANUAL;
inline constexpr std::uint32_t kManualAndAuto = FENX_SCAN_MANUAL | FENX_SCAN_AUTOMATIC;

inline constexpr std::uint32_t kOther = FENX_SYMBOL_OTHER;
inline constexpr std::uint32_t kVariable = FENX_SYMBOL_VARIABLE;
inline constexpr std::uint32_t kFunction = FENX_SYMBOL_FUNCTION;

inline constexpr std::uint32_t kUnknown = FENX_CALL_UNKNOWN;
inline constexpr std::uint32_t kNone = FENX_CALL_NONE;
inline constexpr std::uint32_t kCdecl = FENX_CALL_CDECL;
inline constexpr std::uint32_t kStdcall = FENX_CALL_STDCALL;
inline constexpr std::uint32_t kThiscall = FENX_CALL_THISCALL;
inline constexpr std::uint32_t kFastcall = FENX_CALL_FASTCALL;

// Every entry has at least one parameter record; where the parameters are not known yet it is
// this one.
inline constexpr OOVPAParam kUnknownParams[] = {{FENX_PARAM_UNK, ""}};

// The record of a placeholder revision: no pairs, never matched. Placeholder entries exist so that
// derivations can report a symbol with the entry's name, type, convention and parameters.
inline constexpr OOVPA kPlaceholderRecord{0, 0, 0, nullptr};
inline constexpr OOVPARevision kPlaceholderBuild0[] = {{&kPlaceholderRecord, 0}};
inline constexpr OOVPARevision kPlaceholderBuild4831[] = {{&kPlaceholderRecord, 4831}};

struct ParamList {
    std::uint32_t count;
    const OOVPAParam *items;

    template <std::size_t N>
    constexpr ParamList(const OOVPAParam (&params)[N]) : count(N), items(params) {}
};

struct RevisionList {
    std::uint32_t count = 0;
    const OOVPARevision *items = nullptr;

    constexpr RevisionList() = default;
    template <std::size_t N>
    constexpr RevisionList(const OOVPARevision (&revisions)[N]) : count(N), items(revisions) {}
};

// A signature record; the pair count follows from the pair list.
template <std::size_t N>
constexpr OOVPA record(std::uint8_t xref_count, std::uint8_t detect_select,
                       const OOVPAPair (&pairs)[N]) {
    static_assert(N <= 255, "a record holds at most 255 pairs");
    return OOVPA{xref_count, detect_select, static_cast<std::uint8_t>(N), pairs};
}

constexpr OOVPATable row(std::uint16_t index, std::uint32_t marks, std::uint32_t type,
                         const char *name, std::uint32_t convention,
                         ParamList params = kUnknownParams, RevisionList revisions = {}) {
    return OOVPATable{index,        marks,           type,           name, convention, params.count,
                      params.items, revisions.count, revisions.items};
}

// An entry whose parameters are not known yet, with revisions.
constexpr OOVPATable row(std::uint16_t index, std::uint32_t marks, std::uint32_t type,
                         const char *name, std::uint32_t convention, RevisionList revisions) {
    return row(index, marks, type, name, convention, kUnknownParams, revisions);
}

} // namespace fenxi_db
