// The fast search against the literal walk: random sections, records, slots and options, and
// every search strategy must give the same result, the same messages and the same learned slots.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lib/image/xbe_layout.h"
#include "lib/scan/signature_match.h"
#include "support/scan_recorder.h"
#include "support/synthetic_database.h"
#include "support/test_context.h"

namespace {

constexpr std::uint32_t kBase = 0x10000;
constexpr std::uint16_t kFirstSlot = 700;
constexpr std::uint16_t kSlotCount = 3;

struct Outcome {
    std::int64_t revision = -1;
    std::uint32_t address = 0;
    std::vector<RecordedMessage> messages;
    std::vector<std::uint32_t> slots;
    std::uint32_t found = 0;

    bool operator==(const Outcome &) const = default;
};

struct Trial {
    std::vector<std::uint8_t> bytes;
    std::uint16_t library_build;
    bool first_pass, ignore_build_limit, whole, keep_first;
    std::vector<std::uint32_t> slots;
};

// A small alphabet makes hits, near misses and repeated patterns common.
constexpr std::uint8_t kAlphabet[] = {0x55, 0x8B, 0xE8, 0x00};

OOVPA const *random_record(std::mt19937 &rng, SyntheticDatabase &db) {
    auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    std::vector<OOVPAPair> pairs;
    const std::uint32_t refs = pick(3);
    for (std::uint32_t k = 0; k < refs; ++k)
        pairs.push_back({static_cast<std::uint16_t>(pick(24)),
                         static_cast<std::uint16_t>(kFirstSlot + pick(kSlotCount))});
    std::uint16_t offset = static_cast<std::uint16_t>(pick(4));
    const std::uint32_t lovps = pick(5) + (refs == 0 ? 1 : 0);
    for (std::uint32_t k = 0; k < lovps; ++k) {
        pairs.push_back({offset, kAlphabet[pick(4)]});
        offset = static_cast<std::uint16_t>(offset + 1 + (pick(3) == 0 ? pick(6) : 0));
    }
    return db.record(static_cast<std::uint8_t>(refs), static_cast<std::uint8_t>(pick(4)), pairs);
}

Outcome run(const FenxDatabase &database, const Trial &trial, FenxiMatchStrategy strategy) {
    ScanRecorder recorder;
    TestContext context(database, {test_library(FENX_LIB_DSOUND, trial.library_build)},
                        {{"DSOUND", kBase, trial.bytes}});
    context->Strategy = strategy;
    context->IgnoreBuildLimit = trial.ignore_build_limit;
    context->ScanWholeSection = trial.whole;
    context->KeepFirstAddress = trial.keep_first;
    for (std::uint16_t i = 0; i < kSlotCount; ++i)
        context->XRefs[kFirstSlot + i] = trial.slots[i];
    recorder.clear(); // the context's own start-up messages
    const OOVPATable *entry = &database.Groups[0].Entries[0];
    const FenxiMatch found = Fenxi_MatchEntry(context.get(), context.library(0), 2,
                                              context.section(0), trial.first_pass, entry);
    Outcome outcome;
    outcome.revision = found.Revision != nullptr ? found.Revision - entry->Revisions : -1;
    outcome.address = found.Address;
    outcome.messages = recorder.messages;
    for (std::uint16_t i = 0; i < kSlotCount; ++i)
        outcome.slots.push_back(context->XRefs[kFirstSlot + i]);
    outcome.found = context->FoundCount[2];
    return outcome;
}

TEST(MatchingEquivalence, EveryStrategyReportsWhatTheLiteralWalkReports) {
    std::mt19937 rng(20240611);
    auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    int trials_with_hits = 0;
    int trials_with_messages = 0;
    for (int trial_number = 0; trial_number < 1500; ++trial_number) {
        SyntheticDatabase db;
        std::vector<SyntheticRevision> revisions;
        const std::uint16_t builds[] = {3911, 4034, 4627};
        for (std::uint32_t r = 0, n = 1 + pick(3); r < n; ++r)
            revisions.push_back({builds[r], random_record(rng, db)});
        db.entry(db.group(FENX_LIB_DSOUND, {"DSOUND"}), 701, FENX_SCAN_AUTOMATIC, "Foo", revisions);
        const FenxDatabase &database = db.database();

        Trial trial;
        trial.bytes.resize(pick(300));
        for (std::uint8_t &byte : trial.bytes)
            byte = kAlphabet[pick(4)];
        trial.library_build = builds[pick(3)];
        trial.first_pass = pick(4) != 0;
        trial.ignore_build_limit = pick(4) == 0;
        trial.whole = pick(2) == 0;
        trial.keep_first = pick(2) == 0;
        for (std::uint16_t i = 0; i < kSlotCount; ++i) {
            // Not set, derived, or the value of some field of the section (absolute or relative).
            const std::uint32_t kind = pick(4);
            std::uint32_t value = kind == 0 ? XRefNotSet : XRefDerive;
            if (kind >= 2 && trial.bytes.size() >= 4) {
                const std::uint32_t at = pick(static_cast<std::uint32_t>(trial.bytes.size() - 3));
                value = Fenxi_ReadU32(trial.bytes.data() + at);
                if (kind == 3)
                    value += kBase + at + 4;
            }
            trial.slots.push_back(value);
        }

        const Outcome expected = run(database, trial, FenxiMatchStrategy::Literal);
        trials_with_hits += expected.address != 0;
        trials_with_messages += !expected.messages.empty();
        for (FenxiMatchStrategy strategy :
             {FenxiMatchStrategy::ByteSearch, FenxiMatchStrategy::PairIndex,
              FenxiMatchStrategy::Automatic}) {
            ASSERT_EQ(run(database, trial, strategy), expected)
                << "trial " << trial_number << " strategy " << static_cast<int>(strategy);
        }
    }
    // The trials must exercise hits, not only misses.
    EXPECT_GT(trials_with_hits, 300);
    EXPECT_GT(trials_with_messages, 100);
}

} // namespace
