#pragma once
// Tables generated from the Unicode Character Database by scripts/generate-unicode-case.py.
#include <cstddef>
#include <cstdint>

namespace ormolt::unicode_tables {

// A code point and its full mapping: up to three code points, unused ones 0.
struct CaseMapping {
    std::uint32_t code;
    std::uint32_t mapped[3];
};

// Closed range of code points.
struct CodeRange {
    std::uint32_t first;
    std::uint32_t last;
};

// Sorted by code point.
extern const CaseMapping upper_mappings[];
extern const std::size_t upper_mappings_size;
extern const CaseMapping lower_mappings[];
extern const std::size_t lower_mappings_size;
extern const CodeRange white_space[];
extern const std::size_t white_space_size;

} // namespace ormolt::unicode_tables
