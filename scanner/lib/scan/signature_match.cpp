// Matching one database entry in one section.
//
// The rules walk every position of the window and test every pair. The same hits, in the same
// ascending order, come from testing only the positions where the signature's rarest expected
// bytes occur: a memchr for its rarest byte, or, once a section is scanned often, a lookup in an
// index of the section's positions by byte pair. Every position found that way still has all of
// its pairs checked, so the result and the messages are those of the plain walk.
#include "lib/scan/signature_match.h"

#include <algorithm>
#include <cstring>

#include "lib/image/xbe_layout.h"

namespace {

// Below this many revision scans of a section, or below this size, building the pair index
// costs more than it saves.
constexpr std::uint32_t kScansBeforePairIndex = 32;
constexpr std::uint32_t kSmallestIndexedSection = 64 * 1024;

constexpr std::uint32_t kMaxPairs = 256;

// What the revision's references and the section size allow, decided before any byte is read.
struct RevisionPlan {
    const OOVPA *record = nullptr;
    std::uint32_t ref_count = 0;
    // Positions 0 to window - 1 can hit; at later ones some field would leave the section.
    std::uint32_t window = 0;
    bool learning = false;
    bool learn[kMaxPairs] = {};
};

bool plan_revision(const FenxContext *context, const FenxLibraryFilter *library,
                   const FenxSectionFilter *section, bool first_pass, const OOVPARevision &revision,
                   RevisionPlan &plan) {
    if (!context->IgnoreBuildLimit && revision.Version > library->BuildVersion)
        return false;
    const OOVPA *record = revision.Oovpa;
    // A record without pairs is a placeholder and never matched.
    if (record == nullptr || record->Count == 0 || record->Pairs == nullptr)
        return false;
    // After the first pass only a newly learned reference can change the outcome.
    if (!first_pass && record->XRefCount == 0)
        return false;
    plan.record = record;
    plan.ref_count = std::min<std::uint32_t>(record->XRefCount, record->Count);
    plan.learning = false;
    for (std::uint32_t k = 0; k < plan.ref_count; ++k) {
        const std::uint32_t slot = Fenxi_Slot(context, record->Pairs[k].Value);
        if (slot == XRefNotSet)
            return false;
        plan.learn[k] = slot == XRefDerive;
        plan.learning = plan.learning || plan.learn[k];
    }

    const std::uint32_t size = section->Size;
    const std::uint32_t last = record->Pairs[record->Count - 1].Offset;
    if (size <= last)
        return false;
    std::uint32_t window = size - last;
    for (std::uint32_t k = 0; k < record->Count; ++k) {
        const std::uint32_t end = record->Pairs[k].Offset + (k < plan.ref_count ? 4u : 1u);
        if (end > size)
            return false;
        window = std::min(window, size - end + 1);
    }
    plan.window = window;
    return true;
}

bool hit_at(const FenxContext *context, const FenxSectionFilter *section, const RevisionPlan &plan,
            std::uint32_t position) {
    const OOVPAPair *pairs = plan.record->Pairs;
    const std::uint8_t *data = section->Data + position;
    for (std::uint32_t k = plan.ref_count; k < plan.record->Count; ++k)
        if (data[pairs[k].Offset] != static_cast<std::uint8_t>(pairs[k].Value))
            return false;
    for (std::uint32_t k = 0; k < plan.ref_count; ++k) {
        const std::uint32_t slot = context->XRefs[pairs[k].Value];
        if (slot == XRefDerive)
            continue;
        const std::uint32_t value = Fenxi_ReadU32(data + pairs[k].Offset);
        // An absolute address, or a displacement from the end of the field (call, jump).
        const std::uint32_t field_end = section->VirtualAddress + position + pairs[k].Offset + 4;
        if (value != slot && value + field_end != slot)
            return false;
    }
    return true;
}

// The hits of one revision, numbered from 1, and the address it remembers.
class RevisionHits {
  public:
    RevisionHits(FenxContext *context, std::uint32_t library_type, const FenxSectionFilter *section,
                 const OOVPATable *entry, const OOVPARevision &revision, RevisionPlan &plan)
        : context_(context), library_type_(library_type), section_(section), entry_(entry),
          revision_(revision), plan_(plan) {}

    // True when the revision's scan ends at this hit.
    bool take(std::uint32_t position) {
        ++hits_;
        const std::uint32_t here = section_->VirtualAddress + position;
        const std::uint8_t select = plan_.record->DetectSelect;
        // References are learned from the selected hit: the first one unless a later one is
        // selected.
        if (plan_.learning && hits_ == std::max<std::uint32_t>(select, 1))
            learn(position);
        if (select == 0) {
            if (remembered_) {
                Fenxi_Post(context_->Sink, FENX_MSG_WARNING,
                           "Duplicate symbol detection found for %s (%hu), 0x%08x vs 0x%08x",
                           entry_->Name, revision_.Version, address_, here);
                if (!context_->KeepFirstAddress)
                    address_ = here;
            } else {
                remembered_ = true;
                address_ = here;
            }
            return !context_->ScanWholeSection;
        }
        if (hits_ != select) {
            Fenxi_Post(context_->Sink, FENX_MSG_DETAIL,
                       "Skipped symbol detection found for %s (%hu), 0x%08x", entry_->Name,
                       revision_.Version, here);
            return false;
        }
        remembered_ = true;
        address_ = here;
        return !context_->ScanWholeSection;
    }

    bool remembered() const { return remembered_; }
    std::uint32_t address() const { return address_; }

  private:
    // Highest pair first, so that the lowest of two pairs naming one slot has the last word.
    void learn(std::uint32_t position) {
        const OOVPAPair *pairs = plan_.record->Pairs;
        for (std::uint32_t k = plan_.ref_count; k-- > 0;) {
            if (!plan_.learn[k])
                continue;
            Fenxi_LearnReference(context_, library_type_, pairs[k].Value,
                                 Fenxi_ReadU32(section_->Data + position + pairs[k].Offset));
            plan_.learn[k] = false;
        }
        plan_.learning = false;
    }

    FenxContext *context_;
    std::uint32_t library_type_;
    const FenxSectionFilter *section_;
    const OOVPATable *entry_;
    const OOVPARevision &revision_;
    RevisionPlan &plan_;
    std::uint32_t hits_ = 0;
    bool remembered_ = false;
    std::uint32_t address_ = 0;
};

void walk_every_position(const FenxContext *context, const FenxSectionFilter *section,
                         const RevisionPlan &plan, RevisionHits &hits) {
    for (std::uint32_t position = 0; position < plan.window; ++position)
        if (hit_at(context, section, plan, position) && hits.take(position))
            return;
}

// The expected byte that occurs least often in the section (the first expected byte when the
// section has no histogram).
std::uint32_t rarest_byte_pair_index(const RevisionPlan &plan, const FenxiSectionIndex *index) {
    std::uint32_t best = plan.ref_count;
    if (index == nullptr || !index->HistogramReady)
        return best;
    for (std::uint32_t k = plan.ref_count + 1; k < plan.record->Count; ++k) {
        const auto byte = [&](std::uint32_t i) {
            return static_cast<std::uint8_t>(plan.record->Pairs[i].Value);
        };
        if (index->Histogram[byte(k)] < index->Histogram[byte(best)])
            best = k;
    }
    return best;
}

void search_rarest_byte(const FenxContext *context, const FenxSectionFilter *section,
                        const RevisionPlan &plan, const FenxiSectionIndex *index,
                        RevisionHits &hits) {
    const OOVPAPair &anchor = plan.record->Pairs[rarest_byte_pair_index(plan, index)];
    const auto wanted = static_cast<unsigned char>(anchor.Value);
    // Candidate p holds the anchor byte at p + anchor offset.
    const std::uint8_t *base = section->Data + anchor.Offset;
    std::uint32_t position = 0;
    while (position < plan.window) {
        const void *found = std::memchr(base + position, wanted, plan.window - position);
        if (found == nullptr)
            return;
        position = static_cast<std::uint32_t>(static_cast<const std::uint8_t *>(found) - base);
        if (hit_at(context, section, plan, position) && hits.take(position))
            return;
        ++position;
    }
}

// Two expected bytes at neighbouring offsets whose pair occurs least often; false when the
// signature has no such neighbours.
bool rarest_neighbours(const RevisionPlan &plan, const FenxiSectionIndex &index,
                       std::uint32_t *offset, std::uint32_t *key) {
    const OOVPAPair *pairs = plan.record->Pairs;
    std::uint32_t best_count = 0;
    bool found = false;
    for (std::uint32_t k = plan.ref_count; k + 1 < plan.record->Count; ++k) {
        if (pairs[k + 1].Offset != pairs[k].Offset + 1)
            continue;
        const std::uint32_t candidate =
            Fenxi_PairKey(static_cast<std::uint8_t>(pairs[k].Value),
                          static_cast<std::uint8_t>(pairs[k + 1].Value));
        const std::uint32_t count = index.PairStarts[candidate + 1] - index.PairStarts[candidate];
        if (!found || count < best_count) {
            found = true;
            best_count = count;
            *offset = pairs[k].Offset;
            *key = candidate;
        }
    }
    return found;
}

// False when the signature has no neighbouring expected bytes to look up.
bool search_pair_index(const FenxContext *context, const FenxSectionFilter *section,
                       const RevisionPlan &plan, const FenxiSectionIndex &index,
                       RevisionHits &hits) {
    std::uint32_t offset = 0;
    std::uint32_t key = 0;
    if (!rarest_neighbours(plan, index, &offset, &key))
        return false;
    const std::uint32_t *first = index.PairPositions + index.PairStarts[key];
    const std::uint32_t *last = index.PairPositions + index.PairStarts[key + 1];
    // The pair sits at p + offset: positions below the offset belong to no candidate.
    for (const std::uint32_t *at = std::lower_bound(first, last, offset); at != last; ++at) {
        const std::uint32_t position = *at - offset;
        if (position >= plan.window)
            break;
        if (hit_at(context, section, plan, position) && hits.take(position))
            break;
    }
    return true;
}

void find_hits(FenxContext *context, const FenxSectionFilter *section, const RevisionPlan &plan,
               FenxiSectionIndex *index, RevisionHits &hits) {
    // Only references to compare: nothing to search for.
    if (plan.ref_count == plan.record->Count) {
        walk_every_position(context, section, plan, hits);
        return;
    }
    bool use_pair_index = false;
    if (index != nullptr) {
        ++index->Scans;
        use_pair_index =
            context->Strategy == FenxiMatchStrategy::PairIndex ||
            (context->Strategy == FenxiMatchStrategy::Automatic &&
             index->Scans > kScansBeforePairIndex && section->Size >= kSmallestIndexedSection);
        if (use_pair_index && !index->PairIndexTried)
            Fenxi_BuildPairIndex(*index, section->Data, section->Size);
        if (use_pair_index && index->PairStarts != nullptr &&
            search_pair_index(context, section, plan, *index, hits))
            return;
        if (!index->HistogramReady)
            Fenxi_BuildHistogram(*index, section->Data, section->Size);
    }
    search_rarest_byte(context, section, plan, index, hits);
}

} // namespace

FenxiMatch Fenxi_MatchEntry(FenxContext *context, const FenxLibraryFilter *library,
                            std::uint32_t library_type, const FenxSectionFilter *section,
                            bool first_pass, const OOVPATable *entry) {
    if (context->Strategy == FenxiMatchStrategy::Literal)
        return Fenxi_MatchEntryLiteral(context, library, library_type, section, first_pass, entry);

    FenxiSectionIndex *index = Fenxi_SectionIndexOf(context, section);
    FenxiMatch result{nullptr, 0};
    std::uint32_t result_index = 0;
    RevisionPlan plan;
    for (std::uint32_t i = 0; i < entry->RevisionCount; ++i) {
        const OOVPARevision &revision = entry->Revisions[i];
        if (!plan_revision(context, library, section, first_pass, revision, plan))
            continue;
        RevisionHits hits(context, library_type, section, entry, revision, plan);
        find_hits(context, section, plan, index, hits);
        if (!hits.remembered())
            continue;
        // Two neighbouring revisions that find the same code: the database holds a duplicate.
        if (result.Revision != nullptr && result_index + 1 == i && result.Address == hits.address())
            Fenxi_Post(context->Sink, FENX_MSG_WARNING,
                       "Duplicate OOVPA signature found for %s, %hu vs %hu!", entry->Name,
                       entry->Revisions[i - 1].Version, revision.Version);
        if (revision.Version > library->BuildVersion)
            Fenxi_Post(context->Sink, FENX_MSG_WARNING, "OOVPA signature is too high for [%hu] %s!",
                       revision.Version, entry->Name);
        result = FenxiMatch{&revision, hits.address()};
        result_index = i;
    }
    return result;
}
