#pragma once
// Which references a record may hold. The scan matches manual entries when a derivation asks for
// them, early in the manual scan, so their references can use only what is known then (kernel
// imports) and what the derivation itself reads from them; the automatic entries are matched
// after the derivations and can compare with what they found. A reference to a slot that is still
// to be learned stores the raw field, so it must be an absolute address, never a displacement.
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "lib/database/records.h"
#include "lib/oovpa.h"

namespace fendrel_author {

enum class ReferenceUse {
    None,    // left out: the field stays unknown
    Compare, // compared with an address the scan knows when the record is matched
    Learn,   // the record teaches the symbol's address
};

struct ReferenceVerdict {
    ReferenceUse use = ReferenceUse::None;
    std::string reason; // why it is left out
};

class ReferenceRules {
  public:
    ReferenceRules(const FenxDatabase &catalogue,
                   const std::vector<FenxiRecordedRevision> &existing);

    // The references a derivation reads from an entry's record, in the order it reads them
    // (XapiMapLetterToDirectory's first pair must refer to XGetSectionSize): the derivations'
    // own table.
    std::span<const std::uint32_t> required(std::uint32_t entry_index) const;

    // How a reference of `entry` to `target` can be used; `authored` are the entries this run
    // writes records for.
    ReferenceVerdict verdict(const OOVPATable &entry, std::uint32_t target, bool relative,
                             const std::set<std::uint32_t> &authored) const;

  private:
    bool known(std::uint32_t index, const std::set<std::uint32_t> &authored) const;
    // Whether a derivation fills `target` when the entries it reads are found.
    bool filled_by_derivation(std::uint32_t target, const std::set<std::uint32_t> &authored) const;

    std::set<std::uint32_t> derived_at_start_;
    std::set<std::uint32_t> existing_;
};

} // namespace fendrel_author
