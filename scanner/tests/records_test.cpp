// Signature records as text, and the built-in database assembled from them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lib/database/database_tools.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records.h"
#include "lib/database/records_tables.h"
#include "lib/fendrel.h"
#include "support/run_program.h"

namespace {

const FenxDatabase &catalogue() {
    return Fenxi_CatalogueDatabase();
}

FenxiRecordsRead read(const std::string &text) {
    return Fenxi_ReadRecords(text, "test.records", catalogue());
}

const OOVPATable *entry_named(const FenxDatabase &database, std::uint32_t group,
                              const std::string &name) {
    const LibraryDatabase &g = database.Groups[group];
    for (std::uint32_t e = 0; e < g.EntryCount; ++e)
        if (name == g.Entries[e].Name)
            return &g.Entries[e];
    return nullptr;
}

std::vector<std::string> *g_messages = nullptr;
void collect(std::uint32_t, const char *text) {
    g_messages->push_back(text);
}

TEST(Records, ReadEveryFieldAndWriteTheSameRecords) {
    const std::string text = "# heading\n"
                             "group dsound   # DirectSound\n"
                             "revision IDirectSoundStream_SetVolume 4039\n"
                             "detect 2\n"
                             "ref 1 CDirectSoundStream_SetVolume\n"
                             "ref 9 kernel 187\n"
                             "lovp 0 E9\n"
                             "lovp 5 8b 44 24\r\n"
                             "group xapilib\n"
                             "revision XapiMapLetterToDirectory 3911\n"
                             "lovp 578 E8\n";
    const FenxiRecordsRead first = read(text);
    ASSERT_EQ(first.errors, std::vector<std::string>{});
    ASSERT_EQ(first.revisions.size(), 2u);
    const FenxiRecordedRevision &volume = first.revisions[0];
    EXPECT_EQ(std::string(catalogue().Groups[volume.group].Entries[volume.entry].Name),
              "IDirectSoundStream_SetVolume");
    EXPECT_EQ(volume.group, 3u);
    EXPECT_EQ(volume.build, 4039);
    EXPECT_EQ(volume.detect_select, 2);
    EXPECT_EQ(volume.xref_count, 2);
    const std::vector<std::pair<int, int>> pairs = {{1, 763},  {9, 187},  {0, 0xE9},
                                                    {5, 0x8B}, {6, 0x44}, {7, 0x24}};
    ASSERT_EQ(volume.pairs.size(), pairs.size());
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        EXPECT_EQ(volume.pairs[k].Offset, pairs[k].first) << k;
        EXPECT_EQ(volume.pairs[k].Value, pairs[k].second) << k;
    }
    EXPECT_EQ(volume.source, "test.records:3");

    const std::string written = Fenxi_WriteRecords(first.revisions, catalogue(), "again");
    const FenxiRecordsRead second = read(written);
    ASSERT_EQ(second.errors, std::vector<std::string>{}) << written;
    ASSERT_EQ(second.revisions.size(), first.revisions.size());
    for (std::size_t r = 0; r < first.revisions.size(); ++r) {
        const auto &a = first.revisions[r];
        const auto &b = second.revisions[r];
        EXPECT_EQ(std::tie(a.group, a.entry, a.build, a.detect_select, a.xref_count),
                  std::tie(b.group, b.entry, b.build, b.detect_select, b.xref_count));
        ASSERT_EQ(a.pairs.size(), b.pairs.size());
        for (std::size_t k = 0; k < a.pairs.size(); ++k)
            EXPECT_TRUE(a.pairs[k].Offset == b.pairs[k].Offset &&
                        a.pairs[k].Value == b.pairs[k].Value);
    }
}

TEST(Records, MistakesNameTheFileAndLine) {
    std::string many_pairs = "lovp 0";
    for (int k = 0; k < 256; ++k)
        many_pairs += " 90";
    struct Case {
        std::string text;
        std::string error;
    };
    const std::string head = "group dsound\nrevision CDirectSoundStream_SetVolume 3911\n";
    const std::vector<Case> cases = {
        {"group dsound\nrevision NoSuchEntry 3911\nlovp 0 90\n",
         "test.records:2: no entry 'NoSuchEntry' in group dsound"},
        // An entry of another group is unknown in this one.
        {"group dsound\nrevision XapiMapLetterToDirectory 3911\nlovp 0 90\n",
         "test.records:2: no entry 'XapiMapLetterToDirectory' in group dsound"},
        {"group sound\n", "test.records:1: unknown group 'sound'"},
        {"revision CDirectSoundStream_SetVolume 3911\n",
         "test.records:1: a revision before any group line"},
        {head + "lovp 4 8B\nlovp 4 44\n",
         "test.records:4: lovp offset 4 is not above the previous one, 4"},
        {head + "lovp 8 8B\nlovp 2 44 45\n",
         "test.records:4: lovp offset 2 is not above the previous one, 8"},
        {head + "ref 1 D3D_g_Stream\nref 2 D3D_g_Stream\nref 3 D3D_g_Stream\nref 4 "
                "D3D_g_Stream\nref 5 D3D_g_Stream\nlovp 0 90\n",
         "test.records:7: more than 4 references"},
        {head + many_pairs + "\n",
         "test.records:2: CDirectSoundStream_SetVolume 3911 has more than 255 pairs"},
        {head + "ref 1 NoSuchSymbol\nlovp 0 90\n",
         "test.records:3: no symbol named 'NoSuchSymbol'"},
        {head + "ref 1 kernel 379\nlovp 0 90\n",
         "test.records:3: kernel ordinal '379' is not from 1 to 378"},
        {head + "ref 1 kernel 0\nlovp 0 90\n",
         "test.records:3: kernel ordinal '0' is not from 1 to 378"},
        {head + "lovp 0 G1\n", "test.records:3: 'G1' is not a byte in two hexadecimal digits"},
        {head + "lovp 0 123\n", "test.records:3: '123' is not a byte in two hexadecimal digits"},
        {head + "lovp 65535 90 91\n", "test.records:3: an offset above 65535"},
        {"group dsound\nrevision CDirectSoundStream_SetVolume 70000\nlovp 0 90\n",
         "test.records:2: build '70000' is not a number from 0 to 65535"},
        {head + "ref 1 D3D_g_Stream\n",
         "test.records:2: CDirectSoundStream_SetVolume 3911 has no lovp pairs"},
        {"group dsound\ndetect 1\n",
         "test.records:2: a pair or detect line before any revision line"},
        {head + "detect 1\ndetect 2\nlovp 0 90\n",
         "test.records:4: a second detect line in one revision"},
        {head + "offset 1 90\n", "test.records:3: unknown line 'offset'"},
        // Quoted bytes of the file are shown printable: no terminal control, no NUL that would
        // end the message early.
        {"\x1B[2Jgroup dsound\n", "test.records:1: unknown line '\\x1B[2Jgroup'"},
        {std::string("group ds\0und\n", 13), "test.records:1: unknown group 'ds\\x00und'"},
        {head + "ref 1 a\\b\xC3\xA9\nlovp 0 90\n",
         "test.records:3: no symbol named 'a\\x5Cb\\xC3\\xA9'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const FenxiRecordsRead result = read(c.text);
        ASSERT_FALSE(result.errors.empty());
        EXPECT_EQ(result.errors.front(), c.error);
        EXPECT_TRUE(result.revisions.empty());
    }
}

TEST(Records, RepeatedRevisionsAndPlaceholdersAcrossFiles) {
    const std::string text =
        "group dsound\nrevision CDirectSoundStream_SetVolume 3911\nlovp 0 90\n";
    FenxiRecordsRead one = Fenxi_ReadRecords(text, "a.records", catalogue());
    FenxiRecordsRead two = Fenxi_ReadRecords(text, "b.records", catalogue());
    FenxiRecordsRead placeholder = Fenxi_ReadRecords(
        "group d3d8\nrevision D3D_g_pDevice 4627\nlovp 0 A1\n", "c.records", catalogue());
    std::vector<FenxiRecordedRevision> all = one.revisions;
    all.insert(all.end(), two.revisions.begin(), two.revisions.end());
    all.insert(all.end(), placeholder.revisions.begin(), placeholder.revisions.end());
    EXPECT_EQ(Fenxi_CheckRecordSet(all, catalogue()),
              (std::vector<std::string>{
                  "b.records:2: CDirectSoundStream_SetVolume has a revision for build 3911 "
                  "already, at a.records:2",
                  "c.records:2: D3D_g_pDevice is a placeholder entry and takes no records"}));
    // The database leaves them out rather than storing two revisions of one build.
    const FenxiRecordedDatabase database(catalogue(), all);
    EXPECT_EQ(database.problems().size(), 2u);
    EXPECT_EQ(entry_named(database.database(), 3, "CDirectSoundStream_SetVolume")->RevisionCount,
              1u);
}

TEST(Records, RevisionsAreStoredInBuildOrderWhateverTheFileOrder) {
    const FenxiRecordsRead records =
        read("group dsound\n"
             "revision CDirectSoundStream_SetVolume 5344\nlovp 0 90\n"
             "revision CDirectSoundStream_SetVolume 3911\nlovp 0 91\n"
             "revision CDirectSoundStream_SetVolume 4627\nlovp 0 92\n");
    ASSERT_TRUE(records.errors.empty());
    const FenxiRecordedDatabase database(catalogue(), records.revisions);
    const OOVPATable *entry = entry_named(database.database(), 3, "CDirectSoundStream_SetVolume");
    ASSERT_EQ(entry->RevisionCount, 3u);
    EXPECT_EQ(entry->Revisions[0].Version, 3911);
    EXPECT_EQ(entry->Revisions[0].Oovpa->Pairs[0].Value, 0x91);
    EXPECT_EQ(entry->Revisions[1].Version, 4627);
    EXPECT_EQ(entry->Revisions[2].Version, 5344);
}

TEST(BuiltinDatabase, PassesItsSelfCheck) {
    std::vector<std::string> messages;
    g_messages = &messages;
    Fenx_SetMessageCallback(collect);
    const std::uint32_t problems = Fenx_TestDatabase();
    Fenx_SetMessageCallback(nullptr);
    g_messages = nullptr;
    EXPECT_EQ(problems, 0u);
    EXPECT_EQ(messages, std::vector<std::string>{});
    const FenxiRecordedDatabase database(catalogue(), Fenxi_BuiltinRecords());
    EXPECT_EQ(database.problems(), std::vector<std::string>{});
}

TEST(BuiltinDatabase, EveryEntrysRevisionsAscendByBuild) {
    const FenxDatabase &database = Fenxi_BuiltinDatabase();
    std::size_t revisions = 0;
    for (std::uint32_t g = 0; g < database.GroupCount; ++g)
        for (std::uint32_t e = 0; e < database.Groups[g].EntryCount; ++e) {
            const OOVPATable &entry = database.Groups[g].Entries[e];
            for (std::uint32_t r = 1; r < entry.RevisionCount; ++r)
                EXPECT_LT(entry.Revisions[r - 1].Version, entry.Revisions[r].Version) << entry.Name;
            for (std::uint32_t r = 0; r < entry.RevisionCount; ++r)
                revisions += entry.Revisions[r].Oovpa->Count != 0;
        }
    EXPECT_EQ(revisions, Fenxi_RecordedRowCount);
}

// The records that moved from code to data keep every byte.
TEST(BuiltinDatabase, KeepsTheSignaturesThatMovedIntoRecords) {
    struct Row {
        std::uint32_t group;
        const char *name;
        std::uint16_t build;
        std::uint8_t xrefs;
        std::uint8_t detect;
        std::vector<std::pair<int, int>> pairs;
    };
    const std::vector<Row> rows = {
        {0,
         "D3DDevice_SetRenderState_Simple",
         3911,
         0,
         0,
         {{0, 0xA1},
          {5, 0x83},
          {6, 0xC0},
          {7, 0x08},
          {21, 0x89},
          {22, 0x48},
          {23, 0xF8},
          {24, 0x89},
          {25, 0x50},
          {26, 0xFC},
          {28, 0x52},
          {29, 0x51}}},
        {0,
         "D3DDevice_SetRenderStateNotInline",
         3911,
         2,
         0,
         {{25, 598},
          {32, 382},
          {0, 0x56},
          {8, 0x7D},
          {10, 0x8B},
          {11, 0x0C},
          {12, 0xB5},
          {24, 0xE8}}},
        {3,
         "CDirectSoundStream_SetVolume",
         3911,
         1,
         1,
         {{13, 793},
          {4, 0x8B},
          {5, 0x44},
          {6, 0x24},
          {7, 0x08},
          {8, 0x83},
          {9, 0xC0},
          {10, 0x04},
          {17, 0xC2},
          {18, 0x08}}},
        {3,
         "IDirectSoundStream_SetVolume",
         3911,
         1,
         2,
         {{13, 793},
          {4, 0x8B},
          {5, 0x44},
          {6, 0x24},
          {7, 0x08},
          {8, 0x83},
          {9, 0xC0},
          {10, 0x04},
          {17, 0xC2},
          {18, 0x08}}},
        {3, "IDirectSoundStream_SetVolume", 4039, 1, 0, {{1, 763}, {0, 0xE9}}},
        {6,
         "XapiMapLetterToDirectory",
         3911,
         1,
         0,
         {{579, 1139},
          {0, 0x55},
          {1, 0x8B},
          {2, 0xEC},
          {3, 0x81},
          {4, 0xEC},
          {5, 0x84},
          {6, 0x02},
          {7, 0x00},
          {20, 0x6A},
          {21, 0x03},
          {22, 0x6A},
          {23, 0x03},
          {24, 0xBF},
          {25, 0x80},
          {26, 0x00},
          {578, 0xE8}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const OOVPATable *entry = entry_named(Fenxi_BuiltinDatabase(), row.group, row.name);
        ASSERT_NE(entry, nullptr);
        const OOVPA *record = nullptr;
        for (std::uint32_t r = 0; r < entry->RevisionCount; ++r)
            if (entry->Revisions[r].Version == row.build)
                record = entry->Revisions[r].Oovpa;
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->XRefCount, row.xrefs);
        EXPECT_EQ(record->DetectSelect, row.detect);
        ASSERT_EQ(record->Count, row.pairs.size());
        for (std::size_t k = 0; k < row.pairs.size(); ++k)
            EXPECT_TRUE(record->Pairs[k].Offset == row.pairs[k].first &&
                        record->Pairs[k].Value == row.pairs[k].second)
                << k;
    }
}

TEST(BuiltinDatabase, VersionFollowsTheRecords) {
    std::vector<FenxiRecordedRevision> records = Fenxi_BuiltinRecords();
    const FenxiRecordedDatabase same(catalogue(), records);
    EXPECT_EQ(Fenxi_DatabaseVersion(same.database()), Fenx_DatabaseVersion());
    FenxiRecordsRead more = read("group xnet\nrevision socket 4627\nlovp 0 55\n");
    records.insert(records.end(), more.revisions.begin(), more.revisions.end());
    const FenxiRecordedDatabase grown(catalogue(), records);
    EXPECT_NE(Fenxi_DatabaseVersion(grown.database()), Fenx_DatabaseVersion());
}

TEST(BuiltinDatabase, GeneratedTablesAgreeWithTheRecordsFiles) {
#ifndef FENDREL_RECORDS_FOLDER
    GTEST_SKIP() << "the records folder is read by the native build only";
#else
    const std::filesystem::path folder = FENDREL_RECORDS_FOLDER;
    const FenxiRecordsRead records = Fenxi_ReadRecordsFolder(folder, catalogue());
    ASSERT_EQ(records.errors, std::vector<std::string>{});
    std::ifstream in(folder / "generated.cpp", std::ios::binary);
    std::ostringstream committed;
    committed << in.rdbuf();
    EXPECT_EQ(committed.str(), Fenxi_GenerateRecordTables(records.revisions, catalogue()))
        << "run scripts/records.sh";
    const FenxiRecordedDatabase database(catalogue(), records.revisions);
    EXPECT_EQ(Fenxi_DatabaseVersion(database.database()), Fenx_DatabaseVersion());
#endif
}

TEST(BuiltinDatabase, AFolderWithAMistakeIsRefusedWithTheFile) {
    const TemporaryFolder temporary;
    const std::filesystem::path &folder = temporary.path();
    std::ofstream(folder / "a.records")
        << "group dsound\nrevision CDirectSoundStream_SetVolume 3911\nlovp 0 90\n";
    std::ofstream(folder / "b.records") << "group dsound\nrevision Nothing 3911\nlovp 0 90\n";
    std::ofstream(folder / "notes.txt") << "not read";
    const FenxiRecordsRead records = Fenxi_ReadRecordsFolder(folder, catalogue());
    ASSERT_EQ(records.errors.size(), 1u);
    EXPECT_NE(records.errors[0].find("b.records:2: no entry 'Nothing' in group dsound"),
              std::string::npos);
    EXPECT_EQ(records.revisions.size(), 1u);

    // A file of nothing but mistakes: the first ones reported, the rest counted.
    std::string junk;
    for (std::size_t k = 0; k < kFenxiMaxRecordErrors + 7; ++k)
        junk += "nonsense\n";
    std::ofstream(folder / "c.records") << junk;
    const FenxiRecordsRead flooded = Fenxi_ReadRecordsFolder(folder, catalogue());
    ASSERT_EQ(flooded.errors.size(), 1 + kFenxiMaxRecordErrors + 1);
    EXPECT_EQ(flooded.errors.back(), "and 7 more problems");
}

} // namespace
