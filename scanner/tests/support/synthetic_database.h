#pragma once
// Small signature databases for tests, built from readable lists. Everything a FenxDatabase
// points at is owned here and stays put until the builder is destroyed; call database() after
// the last group and entry are added.
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "lib/oovpa.h"

struct SyntheticRevision {
    std::uint16_t build;
    const OOVPA *record;
};

class SyntheticDatabase {
  public:
    // A record: `xref_count` reference pairs first (value = symbol index), then Lovp pairs.
    const OOVPA *record(std::uint8_t xref_count, std::uint8_t detect_select,
                        std::vector<OOVPAPair> pairs);

    // Returns the group number.
    std::uint32_t group(std::uint32_t library_flags, std::vector<std::string> section_names);

    void entry(std::uint32_t group, std::uint16_t symbol_index, std::uint32_t scan_marks,
               const std::string &name, std::vector<SyntheticRevision> revisions,
               std::uint32_t symbol_type = FENX_SYMBOL_FUNCTION, std::uint32_t call_convention = 3,
               std::vector<OOVPAParam> params = {});

    const FenxDatabase &database();

  private:
    struct GroupData {
        std::uint32_t flags;
        std::vector<std::string> sections;
        std::vector<OOVPATable> entries;
    };

    std::deque<std::vector<OOVPAPair>> pairs_;
    std::deque<OOVPA> records_;
    std::deque<std::vector<OOVPARevision>> revisions_;
    std::deque<std::vector<OOVPAParam>> params_;
    std::deque<std::string> names_;
    std::deque<GroupData> groups_;
    std::vector<LibraryDatabase> built_;
    FenxDatabase database_{};
};

// Bytes of a section with `pattern` copied in at each offset of `at`, the rest `filler`.
std::vector<std::uint8_t> section_bytes(std::size_t size, std::initializer_list<std::size_t> at,
                                        const std::vector<std::uint8_t> &pattern,
                                        std::uint8_t filler = 0xCC);

// The pattern a record's Lovp pairs describe, bytes between them `filler`.
std::vector<std::uint8_t> lovp_pattern(const OOVPA &record, std::uint8_t filler = 0x90);

void put_u32(std::vector<std::uint8_t> &bytes, std::size_t at, std::uint32_t value);
