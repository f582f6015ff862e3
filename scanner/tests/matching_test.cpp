// Matching one entry in one section: revisions by build, references, learning, hit selection,
// and the window at the section's end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lib/scan/signature_match.h"
#include "support/scan_recorder.h"
#include "support/synthetic_database.h"
#include "support/test_context.h"

namespace {

constexpr std::uint32_t kBase = 0x10000;
constexpr std::uint16_t kVoice = 700; // a function other signatures call
constexpr std::uint16_t kTarget = 701;
constexpr std::uint16_t kOther = 702;

const std::vector<OOVPAPair> kPrologue = {{0, 0x55}, {1, 0x8B}, {2, 0xEC}, {3, 0x83}, {4, 0xEC}};

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

struct Matched {
    std::uint16_t build = 0; // of the matching revision; 0 when none
    std::uint32_t address = 0;
};

Matched match(const TestContext &context, const FenxDatabase &database, std::uint32_t entry,
              bool first_pass = true) {
    const FenxiMatch found = Fenxi_MatchEntry(
        context.get(), context.library(0), Fenx_LibraryType(context.library(0)->Flag),
        context.section(0), first_pass, &database.Groups[0].Entries[entry]);
    return Matched{found.Revision != nullptr ? found.Revision->Version : std::uint16_t{0},
                   found.Address};
}

TEST(Matching, RevisionsAreTriedUpToTheLibraryBuild) {
    struct Case {
        std::uint16_t library_build;
        bool ignore_build_limit;
        std::uint16_t expected_build;
        std::vector<std::string> warnings;
    };
    const std::vector<Case> cases = {
        {3911, false, 0, {}},
        {4034, false, 4034, {}},
        {5849, false, 4034, {}},
        {3911, true, 4034, {"OOVPA signature is too high for [4034] Foo!"}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(testing::Message() << "library " << test.library_build);
        SyntheticDatabase db;
        db.entry(db.group(FENX_LIB_DSOUND, {"DSOUND"}), kTarget, FENX_SCAN_AUTOMATIC, "Foo",
                 {{4034, db.record(0, 0, kPrologue)}});
        const FenxDatabase &database = db.database();
        ScanRecorder recorder;
        TestContext context(
            database, {test_library(FENX_LIB_DSOUND, test.library_build)},
            {{"DSOUND", kBase, section_bytes(64, {16}, {0x55, 0x8B, 0xEC, 0x83, 0xEC})}});
        recorder.clear(); // the context's own start-up messages
        context->IgnoreBuildLimit = test.ignore_build_limit;
        const Matched found = match(context, database, 0);
        EXPECT_EQ(found.build, test.expected_build);
        EXPECT_EQ(found.address, test.expected_build != 0 ? kBase + 16 : 0u);
        EXPECT_EQ(recorder.texts(FENX_MSG_WARNING), test.warnings);
    }
}

TEST(Matching, TheLastMatchingRevisionWinsAndNeighboursAtOneAddressAreReported) {
    struct Case {
        const char *name;
        std::vector<std::uint16_t> builds_matching; // in stored order; 0: a record that misses
        std::uint16_t expected_build;
        std::vector<std::string> warnings;
    };
    const std::vector<Case> cases = {
        {"two neighbours",
         {3911, 4034},
         4034,
         {"Duplicate OOVPA signature found for Foo, 3911 vs 4034!"}},
        {"three neighbours",
         {3911, 4034, 4627},
         4627,
         {"Duplicate OOVPA signature found for Foo, 3911 vs 4034!",
          "Duplicate OOVPA signature found for Foo, 4034 vs 4627!"}},
        {"a miss between", {3911, 0, 4627}, 4627, {}},
        {"only the first", {3911, 0}, 3911, {}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        SyntheticDatabase db;
        std::vector<SyntheticRevision> revisions;
        std::uint16_t build = 3900;
        for (std::uint16_t matching : test.builds_matching) {
            std::vector<OOVPAPair> pairs = kPrologue;
            if (matching == 0)
                pairs.push_back({5, 0x77}); // the code has 0x10 there
            build = matching != 0 ? matching : static_cast<std::uint16_t>(build + 1);
            revisions.push_back({build, db.record(0, 0, pairs)});
        }
        db.entry(db.group(FENX_LIB_DSOUND, {"DSOUND"}), kTarget, FENX_SCAN_AUTOMATIC, "Foo",
                 revisions);
        const FenxDatabase &database = db.database();
        ScanRecorder recorder;
        TestContext context(
            database, {test_library(FENX_LIB_DSOUND, 5849)},
            {{"DSOUND", kBase, section_bytes(64, {8}, {0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10})}});
        recorder.clear(); // the context's own start-up messages
        const Matched found = match(context, database, 0);
        EXPECT_EQ(found.build, test.expected_build);
        EXPECT_EQ(found.address, kBase + 8);
        EXPECT_EQ(recorder.texts(FENX_MSG_WARNING), test.warnings);
    }
}

// A call to kVoice at offset 1: E8 and a displacement, then a return.
struct ReferenceCase {
    const char *name;
    std::uint32_t slot;  // of kVoice before matching
    std::uint32_t field; // the 32 bits after E8
    bool hit;
    std::uint32_t slot_after;
    std::uint32_t found_count; // of the library's type after matching
};

TEST(Matching, ReferencesCompareAbsoluteOrRelativeAndLearnDerivedSlots) {
    constexpr std::uint32_t kPosition = 32;
    constexpr std::uint32_t kFieldEnd = kBase + kPosition + 1 + 4;
    constexpr std::uint32_t kVoiceAddress = 0x00012340;
    const std::vector<ReferenceCase> cases = {
        {"absolute address", kVoiceAddress, kVoiceAddress, true, kVoiceAddress, 0},
        {"call displacement", kVoiceAddress, kVoiceAddress - kFieldEnd, true, kVoiceAddress, 0},
        {"displacement off by one", kVoiceAddress, kVoiceAddress - kFieldEnd + 1, false,
         kVoiceAddress, 0},
        {"other address", kVoiceAddress, 0x00054321, false, kVoiceAddress, 0},
        {"not set: not tried", XRefNotSet, kVoiceAddress, false, XRefNotSet, 0},
        // Learned raw, without turning the displacement into an address.
        {"derived: learned", XRefDerive, 0x0000ABCD, true, 0x0000ABCD, 1},
        // A marker would leave the slot waiting to learn it again at every scan; 0 is stored but
        // is no address to count.
        {"derived: the field holds the derive marker", XRefDerive, XRefDerive, true, XRefDerive, 0},
        {"derived: the field holds the not-set marker", XRefDerive, XRefNotSet, true, XRefDerive,
         0},
        {"derived: the field holds 0", XRefDerive, 0, true, 0, 0},
    };
    for (const ReferenceCase &test : cases) {
        SCOPED_TRACE(test.name);
        SyntheticDatabase db;
        db.entry(db.group(FENX_LIB_DSOUND, {"DSOUND"}), kTarget, FENX_SCAN_AUTOMATIC, "Caller",
                 {{3911, db.record(1, 0, {{1, kVoice}, {0, 0xE8}, {5, 0xC3}})}});
        const FenxDatabase &database = db.database();
        std::vector<std::uint8_t> bytes = section_bytes(96, {kPosition}, {0xE8, 0, 0, 0, 0, 0xC3});
        put_u32(bytes, kPosition + 1, test.field);
        ScanRecorder recorder;
        TestContext context(database, {test_library(FENX_LIB_DSOUND, 3911)},
                            {{"DSOUND", kBase, bytes}});
        recorder.clear(); // the context's own start-up messages
        // The fast search and the literal walk learn alike.
        for (const FenxiMatchStrategy strategy :
             {FenxiMatchStrategy::Automatic, FenxiMatchStrategy::Literal}) {
            SCOPED_TRACE(strategy == FenxiMatchStrategy::Literal ? "literal walk" : "fast search");
            context->Strategy = strategy;
            context->XRefs[kVoice] = test.slot;
            context->FoundCount[2] = 0;
            const Matched found = match(context, database, 0);
            EXPECT_EQ(found.address, test.hit ? kBase + kPosition : 0u);
            EXPECT_EQ(context->XRefs[kVoice], test.slot_after);
            EXPECT_EQ(context->FoundCount[2], test.found_count);
        }
    }
}

TEST(Matching, SecondPassTriesOnlyRevisionsWithReferences) {
    SyntheticDatabase db;
    const std::uint32_t group = db.group(FENX_LIB_DSOUND, {"DSOUND"});
    db.entry(group, kTarget, FENX_SCAN_AUTOMATIC, "Plain", {{3911, db.record(0, 0, kPrologue)}});
    db.entry(group, kOther, FENX_SCAN_AUTOMATIC, "Referring",
             {{3911, db.record(1, 0, {{6, kVoice}, {0, 0x55}, {1, 0x8B}, {2, 0xEC}, {5, 0xE8}})}});
    const FenxDatabase &database = db.database();
    std::vector<std::uint8_t> bytes = section_bytes(64, {0}, {0x55, 0x8B, 0xEC, 0x83, 0xEC, 0xE8});
    put_u32(bytes, 6, 0x00020000);
    ScanRecorder recorder;
    TestContext context(database, {test_library(FENX_LIB_DSOUND, 3911)},
                        {{"DSOUND", kBase, bytes}});
    recorder.clear(); // the context's own start-up messages
    context->XRefs[kVoice] = 0x00020000;
    EXPECT_EQ(match(context, database, 0, true).address, kBase);
    EXPECT_EQ(match(context, database, 0, false).address, 0u);
    EXPECT_EQ(match(context, database, 1, false).address, kBase);
}

TEST(Matching, ASharedPatternGivesOneSymbolPerSelectedHit) {
    // One pattern, twice in the section: the first hit is one method, the second the other.
    const std::vector<OOVPAPair> pairs = {{13, kVoice}, {4, 0x8B}, {5, 0x44}, {6, 0x24},
                                          {7, 0x08},    {8, 0x83}, {9, 0xC0}, {10, 0x04},
                                          {17, 0xC2},   {18, 0x08}};
    SyntheticDatabase db;
    const std::uint32_t group = db.group(FENX_LIB_DSOUND, {"DSOUND"});
    db.entry(group, kTarget, FENX_SCAN_AUTOMATIC, "CDirectSoundStream_SetVolume",
             {{3911, db.record(1, 1, pairs)}});
    db.entry(group, kOther, FENX_SCAN_AUTOMATIC, "IDirectSoundStream_SetVolume",
             {{3911, db.record(1, 2, pairs)}});
    const FenxDatabase &database = db.database();

    constexpr std::uint32_t kVoiceAddress = kBase + 0x200;
    const std::vector<std::uint8_t> method = {0x90, 0x90, 0x90, 0x90, 0x8B, 0x44, 0x24,
                                              0x08, 0x83, 0xC0, 0x04, 0x50, 0xE8, 0,
                                              0,    0,    0,    0xC2, 0x08, 0x00};
    std::vector<std::uint8_t> bytes = section_bytes(0x240, {0x40, 0x80}, method);
    for (std::uint32_t at : {0x40u, 0x80u})
        put_u32(bytes, at + 13, kVoiceAddress - (kBase + at + 17));
    ScanRecorder recorder;
    TestContext context(database, {test_library(FENX_LIB_DSOUND, 3911)},
                        {{"DSOUND", kBase, bytes}});
    recorder.clear(); // the context's own start-up messages
    context->XRefs[kVoice] = kVoiceAddress;

    EXPECT_EQ(match(context, database, 0).address, kBase + 0x40);
    EXPECT_TRUE(recorder.texts().empty());
    EXPECT_EQ(match(context, database, 1).address, kBase + 0x80);
    EXPECT_EQ(recorder.texts(), std::vector<std::string>{"Skipped symbol detection found for "
                                                         "IDirectSoundStream_SetVolume (3911), " +
                                                         hex(kBase + 0x40)});
}

TEST(Matching, ScanWholeSectionReportsDuplicatesAndKeepsTheChosenAddress) {
    struct Case {
        bool whole;
        bool keep_first;
        std::uint8_t detect_select;
        std::uint32_t expected;
        std::vector<std::string> messages;
    };
    const std::uint32_t a = kBase + 0x10, b = kBase + 0x40, c = kBase + 0x70;
    const std::string dup = "Duplicate symbol detection found for Foo (3911), ";
    const std::string skip = "Skipped symbol detection found for Foo (3911), ";
    const std::vector<Case> cases = {
        {false, false, 0, a, {}},
        {false, true, 0, a, {}},
        {true, false, 0, c, {dup + hex(a) + " vs " + hex(b), dup + hex(b) + " vs " + hex(c)}},
        {true, true, 0, a, {dup + hex(a) + " vs " + hex(b), dup + hex(a) + " vs " + hex(c)}},
        {false, false, 2, b, {skip + hex(a)}},
        {true, false, 2, b, {skip + hex(a), skip + hex(c)}},
        {true, false, 4, 0, {skip + hex(a), skip + hex(b), skip + hex(c)}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(testing::Message() << "whole " << test.whole << " keep " << test.keep_first
                                        << " select " << int(test.detect_select));
        SyntheticDatabase db;
        db.entry(db.group(FENX_LIB_DSOUND, {"DSOUND"}), kTarget, FENX_SCAN_AUTOMATIC, "Foo",
                 {{3911, db.record(0, test.detect_select, kPrologue)}});
        const FenxDatabase &database = db.database();
        ScanRecorder recorder;
        TestContext context(
            database, {test_library(FENX_LIB_DSOUND, 3911)},
            {{"DSOUND", kBase,
              section_bytes(0x100, {0x10, 0x40, 0x70}, {0x55, 0x8B, 0xEC, 0x83, 0xEC})}});
        recorder.clear(); // the context's own start-up messages
        context->ScanWholeSection = test.whole;
        context->KeepFirstAddress = test.keep_first;
        EXPECT_EQ(match(context, database, 0).address, test.expected);
        EXPECT_EQ(recorder.texts(), test.messages);
    }
}

TEST(Matching, DerivedReferencesAreLearnedFromTheSelectedHitOnly) {
    struct Case {
        std::uint8_t detect_select;
        bool whole;
        std::uint32_t second_field; // the first occurrence holds 0x1111
        std::uint32_t learned;
        std::uint32_t expected;
        std::size_t messages;
    };
    const std::vector<Case> cases = {
        // Once learned, the slot is compared at later positions like any other reference.
        {0, true, 0x1111, 0x1111, kBase + 0x40, 1},
        {0, true, 0x2222, 0x1111, kBase + 0x10, 0},
        {1, false, 0x2222, 0x1111, kBase + 0x10, 0},
        // A later hit that is selected is the symbol: its field is the one to learn.
        {2, false, 0x2222, 0x2222, kBase + 0x40, 1},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(testing::Message()
                     << "select " << int(test.detect_select) << " whole " << test.whole);
        SyntheticDatabase db;
        db.entry(db.group(FENX_LIB_DSOUND, {"DSOUND"}), kTarget, FENX_SCAN_AUTOMATIC, "Foo",
                 {{3911, db.record(1, test.detect_select,
                                   {{6, kVoice}, {0, 0x55}, {1, 0x8B}, {2, 0xEC}, {5, 0xA1}})}});
        const FenxDatabase &database = db.database();
        std::vector<std::uint8_t> bytes =
            section_bytes(0x80, {0x10, 0x40}, {0x55, 0x8B, 0xEC, 0x90, 0x90, 0xA1});
        put_u32(bytes, 0x10 + 6, 0x1111);
        put_u32(bytes, 0x40 + 6, test.second_field);
        ScanRecorder recorder;
        TestContext context(database, {test_library(FENX_LIB_DSOUND, 3911)},
                            {{"DSOUND", kBase, bytes}});
        recorder.clear(); // the context's own start-up messages
        context->XRefs[kVoice] = XRefDerive;
        context->ScanWholeSection = test.whole;
        EXPECT_EQ(match(context, database, 0).address, test.expected);
        EXPECT_EQ(context->XRefs[kVoice], test.learned);
        EXPECT_EQ(context->FoundCount[2], 1u);
        EXPECT_EQ(recorder.messages.size(), test.messages);
    }
}

TEST(Matching, TheWindowAndEveryFieldStayInsideTheSection) {
    // A jump (E9) whose displacement field follows the last expected byte.
    struct Case {
        const char *name;
        std::size_t size;
        std::vector<std::size_t> jumps; // positions of E9 with a displacement to kVoice after it
        std::uint32_t slot;
        std::uint32_t expected; // offset of the hit, or ~0 for none
    };
    const std::vector<Case> cases = {
        {"empty section", 0, {}, 0x5000, ~0u},
        {"field cut by the end", 8, {5}, 0x5000, ~0u},
        {"field cut, learning", 8, {5}, XRefDerive, ~0u},
        {"field just fits", 8, {3}, 0x5000, 3},
        {"only a cut one", 16, {12}, 0x5000, ~0u},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        SyntheticDatabase db;
        db.entry(db.group(FENX_LIB_DSOUND, {"DSOUND"}), kTarget, FENX_SCAN_AUTOMATIC, "Foo",
                 {{4039, db.record(1, 0, {{1, kVoice}, {0, 0xE9}})}});
        const FenxDatabase &database = db.database();
        std::vector<std::uint8_t> bytes(test.size, 0xCC);
        for (std::size_t at : test.jumps) {
            bytes[at] = 0xE9;
            for (std::size_t i = 0; i < 4 && at + 1 + i < bytes.size(); ++i)
                bytes[at + 1 + i] = static_cast<std::uint8_t>(0x5000 >> (8 * i));
        }
        ScanRecorder recorder;
        TestContext context(database, {test_library(FENX_LIB_DSOUND, 4039)},
                            {{"DSOUND", kBase, bytes}});
        recorder.clear(); // the context's own start-up messages
        context->XRefs[kVoice] = test.slot;
        for (FenxiMatchStrategy strategy :
             {FenxiMatchStrategy::Literal, FenxiMatchStrategy::ByteSearch,
              FenxiMatchStrategy::PairIndex}) {
            context->Strategy = strategy;
            EXPECT_EQ(match(context, database, 0).address,
                      test.expected == ~0u ? 0 : kBase + test.expected);
        }
    }
}

TEST(Matching, ASectionNoLongerThanTheLastOffsetIsNotScanned) {
    const std::vector<OOVPAPair> pairs = {{0, 0x55}, {20, 0xC3}};
    for (std::size_t size : {std::size_t{19}, std::size_t{20}, std::size_t{21}}) {
        SCOPED_TRACE(size);
        SyntheticDatabase db;
        db.entry(db.group(FENX_LIB_DSOUND, {"DSOUND"}), kTarget, FENX_SCAN_AUTOMATIC, "Foo",
                 {{3911, db.record(0, 0, pairs)}});
        const FenxDatabase &database = db.database();
        std::vector<std::uint8_t> bytes(size, 0xC3);
        bytes[0] = 0x55;
        ScanRecorder recorder;
        TestContext context(database, {test_library(FENX_LIB_DSOUND, 3911)},
                            {{"DSOUND", kBase, bytes}});
        recorder.clear(); // the context's own start-up messages
        EXPECT_EQ(match(context, database, 0).address, size > 20 ? kBase : 0u);
    }
}

TEST(Matching, PlaceholderAndEmptyEntriesNeverMatch) {
    SyntheticDatabase db;
    const std::uint32_t group = db.group(FENX_LIB_DSOUND, {"DSOUND"});
    db.entry(group, kTarget, FENX_SCAN_MANUAL, "Placeholder", {{0, db.record(0, 0, {})}});
    db.entry(group, kOther, FENX_SCAN_AUTOMATIC, "NoRevisions", {});
    db.entry(group, 1500, FENX_SCAN_AUTOMATIC, "IndexBeyondTable",
             {{3911, db.record(1, 0, {{4, 1500}, {0, 0xCC}})}});
    const FenxDatabase &database = db.database();
    ScanRecorder recorder;
    TestContext context(database, {test_library(FENX_LIB_DSOUND, 3911)},
                        {{"DSOUND", kBase, std::vector<std::uint8_t>(64, 0xCC)}});
    recorder.clear(); // the context's own start-up messages
    for (std::uint32_t entry = 0; entry < 3; ++entry)
        EXPECT_EQ(match(context, database, entry).address, 0u) << entry;
}

} // namespace
