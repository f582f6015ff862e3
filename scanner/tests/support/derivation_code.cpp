#include "support/derivation_code.h"

#include <algorithm>

namespace {

constexpr std::uint16_t kPatternLength = 6;

std::uint8_t pattern_byte(std::uint8_t tag, std::uint16_t offset) {
    static constexpr std::uint8_t kFixed[kPatternLength] = {0x8D, 0x00, 0x64, 0x24, 0x00, 0x55};
    return offset == 1 || offset == 4 ? static_cast<std::uint8_t>(tag + offset) : kFixed[offset];
}

bool is_free(const CodeSignature &signature, std::uint16_t offset) {
    return std::find(signature.free_offsets.begin(), signature.free_offsets.end(), offset) !=
           signature.free_offsets.end();
}

} // namespace

const OOVPA *CodeSignature::record(SyntheticDatabase &db) const {
    std::vector<OOVPAPair> pairs;
    for (const CodeReference &reference : references)
        pairs.push_back({reference.offset, reference.symbol_index});
    for (std::uint16_t offset = 0; offset < kPatternLength; ++offset)
        if (!is_free(*this, offset))
            pairs.push_back({offset, pattern_byte(tag, offset)});
    return db.record(static_cast<std::uint8_t>(references.size()), detect_select, std::move(pairs));
}

void CodeSignature::place(std::vector<std::uint8_t> &bytes, std::size_t at,
                          const std::vector<std::uint32_t> &values) const {
    for (std::uint16_t offset = 0; offset < kPatternLength; ++offset)
        if (!is_free(*this, offset))
            bytes.at(at + offset) = pattern_byte(tag, offset);
    for (std::size_t i = 0; i < references.size() && i < values.size(); ++i)
        put_u32(bytes, at + references[i].offset, values[i]);
}

std::vector<std::uint8_t> blank_code(std::size_t size) {
    return std::vector<std::uint8_t>(size, 0xCC);
}
