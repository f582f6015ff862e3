#include "support/synthetic_database.h"

#include <algorithm>
#include <cstring>

const OOVPA *SyntheticDatabase::record(std::uint8_t xref_count, std::uint8_t detect_select,
                                       std::vector<OOVPAPair> pairs) {
    const std::vector<OOVPAPair> &stored = pairs_.emplace_back(std::move(pairs));
    return &records_.emplace_back(OOVPA{xref_count, detect_select,
                                        static_cast<std::uint8_t>(stored.size()),
                                        stored.empty() ? nullptr : stored.data()});
}

std::uint32_t SyntheticDatabase::group(std::uint32_t library_flags,
                                       std::vector<std::string> section_names) {
    groups_.push_back(GroupData{library_flags, std::move(section_names), {}});
    return static_cast<std::uint32_t>(groups_.size() - 1);
}

void SyntheticDatabase::entry(std::uint32_t group, std::uint16_t symbol_index,
                              std::uint32_t scan_marks, const std::string &name,
                              std::vector<SyntheticRevision> revisions, std::uint32_t symbol_type,
                              std::uint32_t call_convention, std::vector<OOVPAParam> params) {
    std::vector<OOVPARevision> &stored = revisions_.emplace_back();
    for (const SyntheticRevision &revision : revisions)
        stored.push_back(OOVPARevision{revision.record, revision.build});
    if (params.empty())
        params.push_back(OOVPAParam{0, ""});
    const std::vector<OOVPAParam> &stored_params = params_.emplace_back(std::move(params));
    const std::string &stored_name = names_.emplace_back(name);
    groups_[group].entries.push_back(OOVPATable{
        symbol_index, scan_marks, symbol_type, stored_name.c_str(), call_convention,
        static_cast<std::uint32_t>(stored_params.size()), stored_params.data(),
        static_cast<std::uint32_t>(stored.size()), stored.empty() ? nullptr : stored.data()});
}

const FenxDatabase &SyntheticDatabase::database() {
    built_.clear();
    for (const GroupData &group : groups_) {
        LibraryDatabase built{group.flags,
                              static_cast<std::uint32_t>(group.sections.size()),
                              {},
                              static_cast<std::uint32_t>(group.entries.size()),
                              group.entries.data()};
        for (std::size_t i = 0; i < group.sections.size() && i < 4; ++i)
            built.SectionNames[i] = group.sections[i].c_str();
        built_.push_back(built);
    }
    database_ = FenxDatabase{static_cast<std::uint32_t>(built_.size()), built_.data()};
    return database_;
}

std::vector<std::uint8_t> section_bytes(std::size_t size, std::initializer_list<std::size_t> at,
                                        const std::vector<std::uint8_t> &pattern,
                                        std::uint8_t filler) {
    std::vector<std::uint8_t> bytes(size, filler);
    for (std::size_t offset : at)
        for (std::size_t i = 0; i < pattern.size() && offset + i < size; ++i)
            bytes[offset + i] = pattern[i];
    return bytes;
}

std::vector<std::uint8_t> lovp_pattern(const OOVPA &record, std::uint8_t filler) {
    std::size_t length = 0;
    for (std::uint32_t k = record.XRefCount; k < record.Count; ++k)
        length = std::max<std::size_t>(length, record.Pairs[k].Offset + 1u);
    std::vector<std::uint8_t> pattern(length, filler);
    for (std::uint32_t k = record.XRefCount; k < record.Count; ++k)
        pattern[record.Pairs[k].Offset] = static_cast<std::uint8_t>(record.Pairs[k].Value);
    return pattern;
}

void put_u32(std::vector<std::uint8_t> &bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}
