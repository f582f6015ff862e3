// Database version, the self-check, and the message sink the check reports through.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/database/database_tools.h"
#include "lib/fendrel.h"
#include "lib/scan/message_sink.h"
#include "support/scan_recorder.h"
#include "support/synthetic_database.h"
#include "support/test_context.h"

namespace {

std::uint32_t fnv1a(const std::vector<std::uint8_t> &bytes) {
    std::uint32_t hash = 0x811C9DC5;
    for (std::uint8_t byte : bytes)
        hash = (hash ^ byte) * 0x01000193;
    return hash;
}

TEST(DatabaseVersion, HashesNamesBuildsAndPackedRecordsInOrder) {
    SyntheticDatabase db;
    const std::uint32_t first = db.group(FENX_LIB_D3D8, {"D3D"});
    db.entry(first, 700, FENX_SCAN_AUTOMATIC, "Ab",
             {{0x0F4B, db.record(1, 2, {{0x0102, 0x0380}, {0x0005, 0x00E8}})}});
    db.entry(first, 701, FENX_SCAN_AUTOMATIC, "C", {});
    db.entry(db.group(FENX_LIB_DSOUND, {"DSOUND"}), 702, FENX_SCAN_MANUAL, "D",
             {{0, db.record(0, 0, {})}});
    const std::vector<std::uint8_t> packed = {
        'A',  'b',                                      // name
        0x4B, 0x0F,                                     // build, low byte first
        0x00, 0x01, 0x02, 0x02,                         // reserved, XRefCount, DetectSelect, pairs
        0x02, 0x01, 0x80, 0x03, 0x05, 0x00, 0xE8, 0x00, // the two pairs
        'C',                                            // no revisions
        'D',  0x00, 0x00, 0x00, 0x00, 0x00, 0x00,       // a placeholder: build 0, empty record
    };
    EXPECT_EQ(Fenxi_DatabaseVersion(db.database()), fnv1a(packed));

    SyntheticDatabase empty;
    EXPECT_EQ(Fenxi_DatabaseVersion(empty.database()), 0x811C9DC5u);
}

TEST(DatabaseVersion, ThePublicValueIsTheBuiltInDatabasesAndStaysTheSame) {
    const std::uint32_t version = Fenx_DatabaseVersion();
    EXPECT_EQ(version, Fenxi_DatabaseVersion(Fenxi_BuiltinDatabase()));
    EXPECT_EQ(Fenx_DatabaseVersion(), version);
}

std::vector<OOVPAPair> run_of(std::uint16_t first_offset, std::uint16_t count) {
    std::vector<OOVPAPair> pairs;
    for (std::uint16_t i = 0; i < count; ++i)
        pairs.push_back(
            {static_cast<std::uint16_t>(first_offset + i), static_cast<std::uint16_t>(i + 1)});
    return pairs;
}

TEST(DatabaseCheck, ReportsUnsetIndicesDisorderAndNearDuplicates) {
    SyntheticDatabase db;
    const std::uint32_t g = db.group(FENX_LIB_D3D8, {"D3D"});
    db.entry(g, 0xFFFF, FENX_SCAN_AUTOMATIC, "Unset",
             {{3911, db.record(0, 0, {{0, 0x10}, {1, 0x11}})}});
    db.entry(g, 700, FENX_SCAN_AUTOMATIC, "Disordered",
             {{4034, db.record(0, 0, {{0, 0x20}, {5, 0x21}, {3, 0x22}})}});
    db.entry(g, 701, FENX_SCAN_AUTOMATIC, "Base", {{3911, db.record(0, 0, run_of(0, 5))}});
    db.entry(g, 702, FENX_SCAN_AUTOMATIC, "Same", {{3911, db.record(0, 0, run_of(0, 5))}});
    db.entry(g, 703, FENX_SCAN_AUTOMATIC, "Longer", {{4034, db.record(0, 0, run_of(0, 7))}});
    // One pattern with two selected hits is meant to repeat itself.
    db.entry(g, 704, FENX_SCAN_AUTOMATIC, "SelectA", {{3911, db.record(0, 1, run_of(10, 5))}});
    db.entry(g, 705, FENX_SCAN_AUTOMATIC, "SelectB", {{3911, db.record(0, 2, run_of(10, 5))}});
    // Six extra pairs are too many to call it an expansion.
    db.entry(g, 706, FENX_SCAN_AUTOMATIC, "Far", {{3911, db.record(0, 0, run_of(10, 11))}});
    db.entry(db.group(FENX_LIB_DSOUND, {"DSOUND"}), 1300, FENX_SCAN_AUTOMATIC, "Beyond", {});

    ScanRecorder recorder;
    const std::uint32_t problems = Fenxi_TestDatabase(db.database());
    const std::string base = "OOVPATable db= 0, i=[   2], b=3911 s=Base[   0]";
    const std::string same = "OOVPATable db= 0, i=[   3], b=3911 s=Same[   0]";
    const std::string longer = "OOVPATable db= 0, i=[   4], b=4034 s=Longer[   0]";
    const std::string against = ", comparing against ";
    const std::vector<std::string> expected = {
        "OOVPATable db= 0, i=[   0], b=3911 s=Unset[   0] : Unset cannot have unset xref.",
        "OOVPATable db= 0, i=[   1], b=4034 s=Disordered[   0] : Lovp[ 2] : Offset (0x003) must be "
        "larger then previous offset (0x005)",
        base + against + same + " : OOVPA's are identical",
        base + against + longer + " : OOVPA's are expanded (left +0, right +2)",
        same + against + base + " : OOVPA's are identical",
        same + against + longer + " : OOVPA's are expanded (left +0, right +2)",
        longer + against + base + " : OOVPA's are expanded (left +2, right +0)",
        longer + against + same + " : OOVPA's are expanded (left +2, right +0)",
        "OOVPATable db= 1, i=[   0], b=   0 s=Beyond[   0] : Beyond has xref index 1300 outside "
        "the table.",
    };
    EXPECT_EQ(recorder.texts(FENX_MSG_ERROR), expected);
    EXPECT_EQ(recorder.messages.size(), expected.size());
    EXPECT_EQ(problems, expected.size());
}

TEST(DatabaseCheck, ProblemsCountWhenNoOneListens) {
    SyntheticDatabase db;
    db.entry(db.group(FENX_LIB_D3D8, {"D3D"}), 1, FENX_SCAN_AUTOMATIC, "Derived", {});
    EXPECT_EQ(Fenxi_TestDatabase(db.database()), 1u);
}

TEST(Messages, TheThresholdFiltersAndRefusesUnknownLevels) {
    ScanRecorder recorder;
    ASSERT_TRUE(Fenx_SetMessageLevel(2));
    EXPECT_FALSE(Fenx_SetMessageLevel(4));
    for (std::uint32_t level : {0u, 2u, 3u})
        Fenxi_PostLibrary(level, "level %u", level);
    EXPECT_EQ(recorder.texts(), (std::vector<std::string>{"level 2", "level 3"}));
    EXPECT_EQ(recorder.messages[1].level, 3u);
}

TEST(Messages, AContextKeepsTheSinkItWasCreatedWith) {
    SyntheticDatabase db;
    db.group(FENX_LIB_DSOUND, {"DSOUND"});
    ScanRecorder recorder;
    TestContext context(db.database(), {test_library(FENX_LIB_DSOUND, 4627)},
                        {{"DSOUND", 0x1000, {0}}});
    recorder.clear();
    Fenx_SetMessageLevel(3);
    Fenxi_Post(context->Sink, 0, "detail");
    Fenxi_PostLibrary(0, "filtered");
    EXPECT_EQ(recorder.texts(), std::vector<std::string>{"detail"});
}

TEST(Messages, LongTextIsCutToTheBuffer) {
    ScanRecorder recorder;
    const std::string name(5000, 'n');
    Fenxi_PostLibrary(3, "Duplicate symbol detection found for %s", name.c_str());
    SyntheticDatabase db;
    db.entry(db.group(FENX_LIB_D3D8, {"D3D"}), 0xFFFF, FENX_SCAN_AUTOMATIC, name, {});
    EXPECT_EQ(Fenxi_TestDatabase(db.database()), 1u);
    ASSERT_EQ(recorder.messages.size(), 2u);
    for (const RecordedMessage &message : recorder.messages) {
        EXPECT_EQ(message.text.size(), FENXI_MESSAGE_BUFFER_SIZE - 1);
    }
    EXPECT_EQ(recorder.messages[0].text,
              ("Duplicate symbol detection found for " + name).substr(0, 2047));
    EXPECT_EQ(recorder.messages[1].text,
              ("OOVPATable db= 0, i=[   0], b=   0 s=" + name).substr(0, 2047));
}

} // namespace

namespace {

TEST(DatabaseCheck, TheBuiltInDatabasePassesItsOwnCheck) {
    ScanRecorder recorder;
    EXPECT_EQ(Fenx_TestDatabase(), 0u);
    EXPECT_TRUE(recorder.texts().empty());
}

} // namespace
