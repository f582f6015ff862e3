#pragma once
// Code for the derivation tests: a signature is six tagged bytes that no other signature shares,
// plus reference fields at chosen offsets; the same description gives the database record and
// the bytes placed into a section with the values the references should hold there.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/synthetic_database.h"

struct CodeReference {
    std::uint16_t offset;
    std::uint16_t symbol_index;
};

struct CodeSignature {
    std::uint8_t tag;
    std::vector<CodeReference> references;
    // Offsets among the first six left out of the pattern (bytes the derivation reads).
    std::vector<std::uint16_t> free_offsets = {};
    std::uint8_t detect_select = 0;

    // References first, then the tagged bytes.
    const OOVPA *record(SyntheticDatabase &db) const;
    // Writes the tagged bytes at `at`, then each reference field with its value, in order.
    void place(std::vector<std::uint8_t> &bytes, std::size_t at,
               const std::vector<std::uint32_t> &values = {}) const;
};

// A section of `size` bytes that matches none of the signatures until code is placed.
std::vector<std::uint8_t> blank_code(std::size_t size);
