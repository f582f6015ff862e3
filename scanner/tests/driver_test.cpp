// The scans that fill a context: the manual walk, library scans, the full scan in dependency
// order, and the final report of derived variables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/database/database_tools.h"
#include "lib/scan/signature_match.h"
#include "support/scan_recorder.h"
#include "support/synthetic_database.h"
#include "support/test_context.h"

namespace {

constexpr std::uint32_t kBase = 0x20000;

std::vector<std::uint8_t> pattern(std::uint8_t tag) {
    return {0x55, 0x8B, 0xEC, tag, 0x5D, 0xC3};
}

std::vector<OOVPAPair> pairs(std::uint8_t tag) {
    const std::vector<std::uint8_t> bytes = pattern(tag);
    std::vector<OOVPAPair> out;
    for (std::uint16_t i = 0; i < bytes.size(); ++i)
        out.push_back({i, bytes[i]});
    return out;
}

// Pattern `tag` followed by a call (E8 at +6) to symbol `callee`: the pairs and the bytes.
std::vector<OOVPAPair> calling_pairs(std::uint8_t tag, std::uint16_t callee) {
    std::vector<OOVPAPair> out = {{7, callee}};
    for (const OOVPAPair &pair : pairs(tag))
        out.push_back(pair);
    out.push_back({6, 0xE8});
    return out;
}

void place_call(std::vector<std::uint8_t> &bytes, std::uint32_t base, std::size_t at,
                std::uint8_t tag, std::uint32_t callee_address) {
    const std::vector<std::uint8_t> code = pattern(tag);
    std::copy(code.begin(), code.end(), bytes.begin() + at);
    bytes[at + 6] = 0xE8;
    put_u32(bytes, at + 7, callee_address - (base + static_cast<std::uint32_t>(at) + 11));
}

std::vector<std::string> starting_with(const std::vector<std::string> &texts,
                                       const std::string &prefix) {
    std::vector<std::string> out;
    for (const std::string &text : texts)
        if (text.rfind(prefix, 0) == 0)
            out.push_back(text);
    return out;
}

// DSOUND holds A, and B calling A (B first in the table, so it needs a second scan); XACTENG
// holds C calling B; XAPILIB holds D.
struct ChainDatabase {
    SyntheticDatabase db;
    ChainDatabase() {
        const std::uint32_t dsound = db.group(FENX_LIB_DSOUND, {"DSOUND"});
        db.entry(dsound, 701, FENX_SCAN_AUTOMATIC, "B",
                 {{3911, db.record(1, 0, calling_pairs(2, 700))}});
        db.entry(dsound, 700, FENX_SCAN_AUTOMATIC, "A", {{3911, db.record(0, 0, pairs(1))}});
        const std::uint32_t xact = db.group(FENX_LIB_XACTENG, {"XACTENG"});
        db.entry(xact, 702, FENX_SCAN_AUTOMATIC, "C",
                 {{3911, db.record(1, 0, calling_pairs(3, 701))}});
        const std::uint32_t xapi = db.group(FENX_LIB_XAPILIB, {".text"});
        db.entry(xapi, 703, FENX_SCAN_AUTOMATIC, "D", {{3911, db.record(0, 0, pairs(4))}});
    }

    static std::vector<TestSection> sections() {
        std::vector<std::uint8_t> dsound(0x100, 0xCC);
        const std::vector<std::uint8_t> a = pattern(1);
        std::copy(a.begin(), a.end(), dsound.begin() + 0x10);
        place_call(dsound, kBase, 0x40, 2, kBase + 0x10);
        std::vector<std::uint8_t> xact(0x100, 0xCC);
        place_call(xact, kBase + 0x1000, 0x20, 3, kBase + 0x40);
        return {{"DSOUND", kBase, dsound},
                {"XACTENG", kBase + 0x1000, xact},
                {".text", kBase + 0x2000, section_bytes(0x100, {0x30}, pattern(4))}};
    }
};

TEST(ScanDriver, LibrariesWaitForTheirDependencies) {
    ChainDatabase chain;
    ScanRecorder recorder;
    TestContext context(chain.db.database(),
                        {test_library(FENX_LIB_XACTENG, 4627), test_library(FENX_LIB_DSOUND, 4627),
                         test_library(FENX_LIB_XAPILIB, 4627)},
                        ChainDatabase::sections());
    recorder.clear();
    FenxContext_ScanManual(context.get());
    FenxContext_ScanAll(context.get());
    // XACTENG, first in the list, comes in the second pass.
    const std::vector<std::string> expected_found = {"A@0x00020010", "B@0x00020040", "D@0x00022030",
                                                     "C@0x00021020"};
    EXPECT_EQ(recorder.found(), expected_found);
    // DSOUND until a scan finds nothing, then XACTENG; XAPILIB has no dependency.
    const std::vector<std::string> scans = {
        "Scanning DSOUND library in DSOUND section",
        "Scanning DSOUND library in DSOUND section",
        "Scanning DSOUND library in DSOUND section",
        "Scanning XAPILIB library in .text section",
        "Scanning XAPILIB library in .text section",
        "Scanning XACTENG library in XACTENG section",
        "Scanning XACTENG library in XACTENG section",
    };
    EXPECT_EQ(starting_with(recorder.texts(), "Scanning "), scans);
    EXPECT_TRUE(recorder.texts(FENX_MSG_WARNING).empty());
}

TEST(ScanDriver, AFilteredLibraryIsSkippedInEveryPassAndNeverScanned) {
    ChainDatabase chain;
    ScanRecorder recorder;
    TestContext context(chain.db.database(),
                        {test_library(FENX_LIB_XACTENG, 4627), test_library(FENX_LIB_DSOUND, 4627),
                         test_library(FENX_LIB_XAPILIB, 4361)},
                        ChainDatabase::sections());
    ASSERT_TRUE(FenxContext_SetLibraryFilter(context.get(), FENX_LIB_DSOUND | FENX_LIB_XACTENG));
    recorder.clear();
    FenxContext_ScanManual(context.get());
    FenxContext_ScanAll(context.get());
    EXPECT_EQ(recorder.found(),
              (std::vector<std::string>{"A@0x00020010", "B@0x00020040", "C@0x00021020"}));
    // Two passes: XACTENG waits for DSOUND in the first.
    EXPECT_EQ(starting_with(recorder.texts(), "Skipping "),
              (std::vector<std::string>{"Skipping XAPILIB (4361) scan.",
                                        "Skipping XAPILIB (4361) scan."}));
}

TEST(ScanDriver, PassesEndWhenADependencyNeverComes) {
    ChainDatabase chain;
    ScanRecorder recorder;
    TestContext context(chain.db.database(), {test_library(FENX_LIB_XACTENG, 4627)},
                        ChainDatabase::sections());
    recorder.clear();
    FenxContext_ScanManual(context.get());
    FenxContext_ScanAll(context.get());
    EXPECT_TRUE(recorder.symbols.empty());
    EXPECT_TRUE(starting_with(recorder.texts(), "Scanning ").empty());
}

TEST(ScanDriver, DependencyMasks) {
    struct Case {
        std::uint32_t flag;
        std::vector<std::uint32_t> listed;
        std::uint32_t expected;
    };
    const std::vector<Case> cases = {
        {FENX_LIB_XACTENG, {}, FENX_LIB_DSOUND},
        {FENX_LIB_XACTENG, {FENX_LIB_D3D8}, FENX_LIB_DSOUND},
        {FENX_LIB_D3DX8, {}, FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG},
        {FENX_LIB_D3DX8, {FENX_LIB_D3D8, FENX_LIB_DSOUND}, FENX_LIB_D3D8},
        {FENX_LIB_D3DX8, {FENX_LIB_D3D8LTCG, FENX_LIB_D3DX8}, FENX_LIB_D3D8LTCG},
        {FENX_LIB_D3DX8, {FENX_LIB_DSOUND}, 0},
        {FENX_LIB_DSOUND, {FENX_LIB_XACTENG}, 0},
        {FENX_LIB_D3D8, {FENX_LIB_D3DX8}, 0},
    };
    SyntheticDatabase db;
    db.group(FENX_LIB_DSOUND, {"DSOUND"});
    for (const Case &test : cases) {
        std::vector<FenxLibraryFilter> libraries;
        for (std::uint32_t flag : test.listed)
            libraries.push_back(test_library(flag, 4627));
        const FenxLibraryHeader header{static_cast<std::uint32_t>(libraries.size()),
                                       libraries.empty() ? nullptr : libraries.data()};
        EXPECT_EQ(Fenx_LibraryDependencyMask(test.flag, &header), test.expected) << test.flag;
        if (libraries.empty())
            continue;
        TestContext context(db.database(), libraries, {{"DSOUND", kBase, {0}}});
        EXPECT_EQ(FenxContext_LibraryDependencyMask(context.get(), test.flag), test.expected);
    }
}

TEST(ScanDriver, EachSymbolIsReportedOnceWithItsFirstAddress) {
    SyntheticDatabase db;
    const std::uint32_t group = db.group(FENX_LIB_XAPILIB, {".text", "XPP"});
    db.entry(group, 703, FENX_SCAN_AUTOMATIC, "D", {{3911, db.record(0, 0, pairs(4))}});
    db.entry(group, 703, FENX_SCAN_AUTOMATIC, "D_variant", {{3911, db.record(0, 0, pairs(5))}});
    ScanRecorder recorder;
    TestContext context(db.database(), {test_library(FENX_LIB_XAPILIB, 4627)},
                        {{"XPP", kBase, section_bytes(0x40, {0x08}, pattern(4))},
                         {".text", kBase + 0x1000, section_bytes(0x40, {0x10, 0x20}, pattern(5))}});
    recorder.clear();
    FenxContext_ScanManual(context.get());
    FenxContext_ScanAll(context.get());
    EXPECT_EQ(FenxContext_ScanLibrary(context.get(), context.library(0), true), 0u);
    EXPECT_EQ(recorder.found(), std::vector<std::string>{"D@0x00020008"});
    EXPECT_EQ(context->XRefs[703], kBase + 8);
}

TEST(ScanDriver, ALibraryScanCountsLearnedReferencesToo) {
    SyntheticDatabase db;
    db.entry(db.group(FENX_LIB_XAPILIB, {".text"}), 1127, FENX_SCAN_AUTOMATIC, "MapLetter",
             {{3911, db.record(1, 0, calling_pairs(6, 1139))}});
    std::vector<std::uint8_t> bytes(0x80, 0xCC);
    place_call(bytes, kBase, 0x20, 6, kBase + 0x70);
    ScanRecorder recorder;
    TestContext context(db.database(), {test_library(FENX_LIB_XAPILIB, 4627)},
                        {{".text", kBase, bytes}});
    FenxContext_ScanManual(context.get());
    EXPECT_EQ(FenxContext_ScanLibrary(context.get(), context.library(0), true), 2u);
    // The derived slot holds the raw displacement.
    EXPECT_EQ(context->XRefs[1139], 0x70u - 0x2Bu);
    EXPECT_EQ(FenxContext_ScanLibrary(context.get(), context.library(0), false), 0u);
}

TEST(ScanDriver, AMarkerValueIsNeitherLearnedNorRegisteredSoTheScansEnd) {
    // One automatic entry: byte AA, then a field that teaches XGetSectionSize (waiting to be
    // learned from the start). A slot left holding a marker would be "found" again by every
    // scan, and the full scan would repeat the library for ever.
    struct Case {
        const char *name;
        std::uint32_t base;  // the section's virtual address
        std::uint32_t field; // the bytes after AA
        std::uint32_t first_scan;
        std::uint32_t learned; // slot 1139 afterwards
        std::vector<std::string> found;
    };
    constexpr std::uint32_t kAt = 0x10;
    const std::vector<Case> cases = {
        {"an address", kBase, 0x00031234, 2, 0x00031234, {"Reader@0x00020010"}},
        {"the derive marker", kBase, XRefDerive, 1, XRefDerive, {"Reader@0x00020010"}},
        {"the not-set marker", kBase, XRefNotSet, 1, XRefDerive, {"Reader@0x00020010"}},
        // The match itself lands on the not-set marker: no slot can hold that as an address.
        {"a match at the not-set marker", XRefNotSet - kAt, 0x00031234, 1, 0x00031234, {}},
    };
    SyntheticDatabase db;
    db.entry(db.group(FENX_LIB_XAPILIB, {".text"}), 703, FENX_SCAN_AUTOMATIC, "Reader",
             {{3911, db.record(1, 0, {{1, 1139}, {0, 0xAA}})}});
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::uint8_t> bytes = section_bytes(0x20, {kAt}, {0xAA});
        put_u32(bytes, kAt + 1, test.field);
        {
            ScanRecorder recorder;
            TestContext context(db.database(), {test_library(FENX_LIB_XAPILIB, 4627)},
                                {{".text", test.base, bytes}});
            FenxContext_ScanManual(context.get());
            ASSERT_EQ(FenxContext_ScanLibrary(context.get(), context.library(0), true),
                      test.first_scan);
            ASSERT_EQ(FenxContext_ScanLibrary(context.get(), context.library(0), false), 0u);
            EXPECT_EQ(context->XRefs[1139], test.learned);
        }
        ScanRecorder recorder;
        TestContext context(db.database(), {test_library(FENX_LIB_XAPILIB, 4627)},
                            {{".text", test.base, bytes}});
        recorder.clear();
        FenxContext_ScanManual(context.get());
        FenxContext_ScanAll(context.get());
        EXPECT_EQ(recorder.found(), test.found);
        EXPECT_EQ(starting_with(recorder.texts(), "Scanning "),
                  std::vector<std::string>(2, "Scanning XAPILIB library in .text section"));
    }
}

TEST(ScanDriver, DerivedVariablesAreReportedInTableOrderWhateverTheImageLists) {
    SyntheticDatabase db;
    db.group(FENX_LIB_DSOUND, {"DSOUND"});
    ScanRecorder recorder;
    TestContext context(db.database(), {test_library(FENX_LIB_DSOUND, 4627)},
                        {{"DSOUND", kBase, {0}}});
    context->XRefs[1130] = 0x30000;
    context->XRefs[1068] = 0x30004;
    context->XRefs[1027] = 0x30008;
    context->XRefs[422] = 0x0C;
    context->XRefs[1070] = 0;          // no address
    context->XRefs[1071] = XRefDerive; // still waiting
    context->XRefs[1075] = 0x3000C;
    recorder.clear();
    FenxContext_ReportDerived(context.get());
    const std::vector<RecordedSymbol> expected = {
        {"D3D8", 1, 422, "D3DDevice__m_VertexShader_OFFSET", 0x0C, 0, 1, 1, {}},
        {"JVS", 0x10, 1027, "JVS_g_pPINSB", 0x30008, 4831, 1, 1, {}},
        {"XAPILIB", 0x40, 1075, "g_DeviceType_SBC", 0x3000C, 4242, 1, 1, {}},
        {"XAPILIB", 0x40, 1068, "_tls_array", 0x30004, 0, 1, 1, {}},
        {"XAPILIB", 0x40, 1130, "XapiThreadNotifyRoutineList", 0x30000, 0, 1, 1, {}},
    };
    EXPECT_EQ(recorder.symbols, expected);
}

// A handler that notes where it was called and reports success at the n-th call.
struct HandlerLog {
    static inline std::vector<std::string> calls;
    static inline int succeed_at = 0;
    static inline const LibraryDatabase *groups = nullptr;

    static bool handle(FenxContext *, const FenxLibraryFilter *library,
                       const LibraryDatabase *group, const FenxSectionFilter *section) {
        calls.push_back(std::string(library->Name, strnlen(library->Name, 8)) + " g" +
                        std::to_string(group - groups) + " " +
                        std::string(section->Name, strnlen(section->Name, 8)));
        return static_cast<int>(calls.size()) == succeed_at;
    }
};

TEST(ScanDriver, TheManualWalkVisitsGroupsAndSectionsInOrder) {
    struct Case {
        const char *name;
        bool walk_again;
        int succeed_at;
        std::vector<std::string> calls;
    };
    const std::vector<std::string> ltcg_walk = {"D3D8LTCG g0 D3D", "D3D8LTCG g0 FLASHROM",
                                                "D3D8LTCG g1 D3D"};
    const std::vector<std::string> dsound_walk = {"DSOUND g2 .rdata", "DSOUND g2 DSOUND"};
    auto twice = [](std::vector<std::string> walk) {
        std::vector<std::string> both = walk;
        both.insert(both.end(), walk.begin(), walk.end());
        return both;
    };
    std::vector<std::string> all_twice = twice(ltcg_walk);
    for (const std::string &call : twice(dsound_walk))
        all_twice.push_back(call);
    std::vector<std::string> all_once = ltcg_walk;
    all_once.insert(all_once.end(), dsound_walk.begin(), dsound_walk.end());
    const std::vector<Case> cases = {
        {"failing, walked again", true, 0, all_twice},
        {"failing, walked once", false, 0, all_once},
        {"done at the second call",
         true,
         2,
         {"D3D8LTCG g0 D3D", "D3D8LTCG g0 FLASHROM", "DSOUND g2 .rdata", "DSOUND g2 DSOUND",
          "DSOUND g2 .rdata", "DSOUND g2 DSOUND"}},
    };
    SyntheticDatabase db;
    db.group(FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG, {"D3D", "FLASHROM"});
    db.group(FENX_LIB_D3D8LTCG, {"D3D"});
    db.group(FENX_LIB_DSOUND, {"DSOUND", ".rdata"});
    const FenxDatabase &database = db.database();
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        const FenxiManualHandler handlers[] = {
            {FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG, &HandlerLog::handle, test.walk_again},
            {FENX_LIB_DSOUND, &HandlerLog::handle, test.walk_again},
            {0, nullptr, false},
        };
        HandlerLog::calls.clear();
        HandlerLog::succeed_at = test.succeed_at;
        HandlerLog::groups = database.Groups;
        ScanRecorder recorder;
        TestContext context(database,
                            {test_library(FENX_LIB_D3D8LTCG, 4627),
                             test_library(FENX_LIB_XAPILIB, 4627),
                             test_library(FENX_LIB_DSOUND, 4627)},
                            {{".text", kBase, {0}},
                             {"D3D", kBase + 0x100, {0}},
                             {"FLASHROM", kBase + 0x200, {0}},
                             {".rdata", kBase + 0x300, {0}},
                             {"DSOUND", kBase + 0x400, {0}}},
                            handlers);
        recorder.clear();
        FenxContext_ScanManual(context.get());
        EXPECT_EQ(HandlerLog::calls, test.calls);
        std::vector<std::string> announced;
        for (const std::string &call : test.calls) {
            const std::size_t first = call.find(' '), last = call.rfind(' ');
            announced.push_back("Scanning " + call.substr(0, first) + " library in " +
                                call.substr(last + 1) + " section");
        }
        EXPECT_EQ(starting_with(recorder.texts(), "Scanning "), announced);
    }
}

TEST(ScanDriver, ScansAndOptionsKeepTheirOrder) {
    SyntheticDatabase db;
    db.group(FENX_LIB_DSOUND, {"DSOUND"});
    ScanRecorder recorder;
    {
        TestContext context(db.database(), {test_library(FENX_LIB_DSOUND, 4627)},
                            {{"DSOUND", kBase, {0}}});
        recorder.clear();
        const std::string must_manual =
            "FenxContext_ScanManual must be call first before scan for library's symbols.";
        EXPECT_EQ(FenxContext_ScanLibrary(context.get(), context.library(0), true), 0u);
        FenxContext_ScanAll(context.get());
        EXPECT_EQ(recorder.texts(FENX_MSG_ERROR),
                  (std::vector<std::string>{must_manual, must_manual}));

        EXPECT_FALSE(FenxContext_SetLibraryFilter(context.get(), 0x8000));
        EXPECT_TRUE(FenxContext_SetLibraryFilter(context.get(), FENX_LIB_DSOUND));
        FenxContext_SetScanWholeSection(context.get(), true);
        recorder.clear();
        FenxContext_ScanManual(context.get());
        FenxContext_ScanManual(context.get());
        FenxContext_SetIgnoreBuildLimit(context.get(), true);
        FenxContext_SetScanWholeSection(context.get(), false);
        FenxContext_SetKeepFirstAddress(context.get(), true);
        EXPECT_FALSE(FenxContext_SetLibraryFilter(context.get(), 0));
        const std::string refused = "Cannot set parameter value after first and during scan call.";
        EXPECT_EQ(recorder.texts(FENX_MSG_ERROR),
                  (std::vector<std::string>{"Manual rescan request is skip.", refused, refused,
                                            refused, refused}));
        EXPECT_FALSE(context->IgnoreBuildLimit);
        EXPECT_TRUE(context->ScanWholeSection);
        EXPECT_FALSE(context->KeepFirstAddress);
        EXPECT_EQ(context->LibraryFilter, FENX_LIB_DSOUND);
        context->Active[4] = true;
        recorder.clear();
    }
    // A type still marked active is mentioned when the context is released.
    EXPECT_EQ(recorder.texts(), std::vector<std::string>{"Library type is currently active: 4"});
}

TEST(ScanDriver, FindEntryBySymbolMatchesManualEntriesAndRegistersOnce) {
    SyntheticDatabase db;
    const std::uint32_t group = db.group(FENX_LIB_DSOUND, {"DSOUND"});
    db.entry(group, 710, FENX_SCAN_AUTOMATIC, "Automatic", {{3911, db.record(0, 0, pairs(7))}});
    db.entry(group, 710, FENX_SCAN_MANUAL, "Missing", {{3911, db.record(0, 0, pairs(9))}});
    db.entry(group, 710, FENX_SCAN_MANUAL, "Manual",
             {{3911, db.record(0, 0, pairs(8))}, {4034, db.record(0, 0, pairs(6))}},
             FENX_SYMBOL_FUNCTION, 4, {{12, "this"}, {3, "pValue"}});
    const FenxDatabase &database = db.database();
    struct Case {
        const char *name;
        std::uint32_t slot;
        bool register_symbol;
        std::uint32_t slot_after;
        std::size_t reported;
    };
    const std::uint32_t manual_at = kBase + 0x30;
    const std::vector<Case> cases = {
        {"look only", XRefNotSet, false, XRefNotSet, 0},
        {"register", XRefNotSet, true, manual_at, 1},
        {"register a derived slot", XRefDerive, true, manual_at, 1},
        {"already known", 0x12345, true, 0x12345, 0},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        ScanRecorder recorder;
        TestContext context(database, {test_library(FENX_LIB_DSOUND, 3911)},
                            {{"DSOUND", kBase, section_bytes(0x60, {0x10}, pattern(7))}});
        std::vector<std::uint8_t> more = pattern(8);
        // Both patterns in one section: the automatic entry must not be the one found.
        std::copy(more.begin(), more.end(),
                  const_cast<std::uint8_t *>(context.section(0)->Data) + 0x30);
        context->XRefs[710] = test.slot;
        const OOVPATable *entry = nullptr;
        const OOVPARevision *revision = nullptr;
        EXPECT_EQ(Fenxi_FindEntryBySymbol(context.get(), context.library(0), &database.Groups[0],
                                          context.section(0), 710, true, test.register_symbol,
                                          &entry, &revision),
                  manual_at);
        ASSERT_NE(entry, nullptr);
        EXPECT_STREQ(entry->Name, "Manual");
        ASSERT_NE(revision, nullptr);
        EXPECT_EQ(revision->Version, 3911);
        EXPECT_EQ(context->XRefs[710], test.slot_after);
        ASSERT_EQ(recorder.symbols.size(), test.reported);
        EXPECT_EQ(context->FoundCount[2], test.reported);
        if (test.reported == 1) {
            const RecordedSymbol expected{"DSOUND",
                                          FENX_LIB_DSOUND,
                                          710,
                                          "Manual",
                                          manual_at,
                                          3911,
                                          2,
                                          4,
                                          {{12, "this"}, {3, "pValue"}}};
            EXPECT_EQ(recorder.symbols[0], expected);
        }
    }
}

TEST(ScanDriver, EntryCountsCoverTheGroupsOfTheMask) {
    SyntheticDatabase db;
    const std::uint32_t both = db.group(FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG, {"D3D"});
    const std::uint32_t ltcg = db.group(FENX_LIB_D3D8LTCG, {"D3D"});
    const std::uint32_t dsound = db.group(FENX_LIB_DSOUND, {"DSOUND"});
    for (int i = 0; i < 3; ++i)
        db.entry(both, 700, FENX_SCAN_AUTOMATIC, "x", {});
    for (int i = 0; i < 2; ++i)
        db.entry(ltcg, 700, FENX_SCAN_AUTOMATIC, "x", {});
    db.entry(dsound, 700, FENX_SCAN_AUTOMATIC, "x", {});
    const FenxDatabase &database = db.database();
    EXPECT_EQ(Fenxi_LibraryEntryCount(database, 0), 1u);
    EXPECT_EQ(Fenxi_LibraryEntryCount(database, FENX_LIB_D3D8LTCG), 6u);
    EXPECT_EQ(Fenxi_LibraryEntryCount(database, FENX_LIB_D3D8 | FENX_LIB_DSOUND), 5u);
    EXPECT_EQ(Fenxi_LibraryEntryCount(database, FENX_LIB_XNET), 1u);
}

} // namespace
