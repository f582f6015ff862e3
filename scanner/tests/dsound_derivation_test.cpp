// The DirectSound derivation through the manual scan: the two virtual tables from the stream
// constructor, the stream methods from the stream table wherever it lies, GetStatus by build,
// duplicates, and tables or operands outside the image.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/derivation_code.h"
#include "support/scan_recorder.h"
#include "support/synthetic_database.h"
#include "support/test_context.h"

namespace {

constexpr std::uint32_t kCodeBase = 0x00050000;
constexpr std::uint32_t kDataBase = 0x00060000;
constexpr std::uint32_t kVoiceTable = 0x00061000; // never read

const CodeSignature kConstructor{0x20, {}}; // table operands at +0x14 and +0x1B

// In stream table order.
const std::vector<std::pair<std::uint16_t, std::string>> kMethods = {
    {725, "CDirectSoundStream_AddRef"},  {736, "CDirectSoundStream_Release"},
    {730, "CDirectSoundStream_GetInfo"}, {731, "CDirectSoundStream_GetStatus"},
    {735, "CDirectSoundStream_Process"}, {727, "CDirectSoundStream_Discontinuity"},
    {728, "CDirectSoundStream_Flush"},
};

struct DSoundDatabase {
    SyntheticDatabase db;
    explicit DSoundDatabase(std::uint16_t without = 0) {
        const std::uint32_t group = db.group(FENX_LIB_DSOUND, {"DSOUND", ".rdata"});
        for (const auto &[index, name] : kMethods)
            if (index != without)
                db.entry(group, index, FENX_SCAN_MANUAL, name, {{0, db.record(0, 0, {})}},
                         FENX_SYMBOL_FUNCTION, FENX_CALL_STDCALL, {{FENX_PARAM_PSH, "pThis"}});
        db.entry(group, 726, FENX_SCAN_MANUAL, "CDirectSoundStream_Constructor",
                 {{3911, kConstructor.record(db)}}, FENX_SYMBOL_FUNCTION, FENX_CALL_THISCALL);
    }
};

enum class TableIn { Code, Data, Nowhere };

struct Scene {
    std::uint16_t build = 4134;
    TableIn table = TableIn::Code;
    std::size_t constructor_at = 0x20;
    std::optional<std::uint32_t> voice_table_before; // slot 677 when the scan starts
    bool keep_first_address = false;
    std::uint16_t database_without = 0;
};

constexpr std::uint32_t method_address(std::size_t i) {
    return kCodeBase + 0x100 + 0x10 * static_cast<std::uint32_t>(i);
}

struct SceneResult {
    std::vector<RecordedSymbol> symbols;
    std::vector<std::string> errors;
    std::uint32_t voice_table;
    std::uint32_t stream_table;
};

SceneResult run_scene(const Scene &scene) {
    DSoundDatabase database(scene.database_without);
    std::vector<std::uint8_t> code = blank_code(0x180);
    std::vector<std::uint8_t> data = blank_code(0x40);
    // The table after the constructor in the code section, or at the start of the data one.
    std::uint32_t stream_table = 0x00070000; // in no section
    std::vector<std::uint8_t> &table_bytes = scene.table == TableIn::Data ? data : code;
    const std::size_t table_at = scene.table == TableIn::Data ? 0x20 : 0xA0;
    if (scene.table != TableIn::Nowhere)
        stream_table = (scene.table == TableIn::Data ? kDataBase : kCodeBase) +
                       static_cast<std::uint32_t>(table_at);
    for (std::size_t i = 0; i < kMethods.size(); ++i)
        put_u32(table_bytes, table_at + 4 * i, method_address(i));
    kConstructor.place(code, scene.constructor_at);
    // Operands the image cuts off are simply not there.
    if (scene.constructor_at + 0x1B + 4 <= code.size()) {
        put_u32(code, scene.constructor_at + 0x14, kVoiceTable);
        put_u32(code, scene.constructor_at + 0x1B, stream_table);
    }

    ScanRecorder recorder;
    TestContext context(database.db.database(), {test_library(FENX_LIB_DSOUND, scene.build)},
                        {{"DSOUND", kCodeBase, code}, {".rdata", kDataBase, data}},
                        Fenxi_BuiltinManualHandlers());
    if (scene.voice_table_before)
        context->XRefs[677] = *scene.voice_table_before;
    FenxContext_SetKeepFirstAddress(context.get(), scene.keep_first_address);
    recorder.clear();
    FenxContext_ScanManual(context.get());
    return {recorder.symbols, recorder.texts(2), context->XRefs[677], context->XRefs[678]};
}

std::vector<std::string> method_reports(const SceneResult &result) {
    std::vector<std::string> out;
    for (const RecordedSymbol &symbol : result.symbols) {
        if (symbol.index == 726)
            continue;
        char line[96];
        std::snprintf(line, sizeof line, "%s@%x/%u", symbol.name.c_str(), symbol.address,
                      symbol.build);
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> expected_methods(const char *get_status, std::uint32_t build) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < kMethods.size(); ++i) {
        char line[96];
        const bool status = kMethods[i].first == 731;
        std::snprintf(line, sizeof line, "%s@%x/%u",
                      status ? get_status : kMethods[i].second.c_str(), method_address(i),
                      status ? build : 3911u);
        out.push_back(line);
    }
    return out;
}

TEST(DSoundDerivation, StreamMethodsComeFromTheStreamTable) {
    struct Case {
        const char *name;
        std::uint16_t build;
        TableIn table;
        std::vector<std::string> methods;
    };
    const std::vector<Case> cases = {
        {"4133, table beside the code", 4133, TableIn::Code,
         expected_methods("CDirectSoundStream_GetStatus__r1", 3911)},
        {"4134, table beside the code", 4134, TableIn::Code,
         expected_methods("CDirectSoundStream_GetStatus__r2", 4134)},
        {"table in the next section", 4134, TableIn::Data,
         expected_methods("CDirectSoundStream_GetStatus__r2", 4134)},
        {"table in no section", 4134, TableIn::Nowhere, {}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        Scene scene;
        scene.build = test.build;
        scene.table = test.table;
        const SceneResult result = run_scene(scene);
        EXPECT_EQ(method_reports(result), test.methods);
        EXPECT_EQ(result.errors, std::vector<std::string>{});
        EXPECT_EQ(result.voice_table, kVoiceTable);
        // The constructor is reported once, whichever section completes the table.
        ASSERT_FALSE(result.symbols.empty());
        EXPECT_EQ(result.symbols[0].name, "CDirectSoundStream_Constructor");
        EXPECT_EQ(result.symbols[0].address, kCodeBase + 0x20);
        if (!test.methods.empty()) {
            // Type, convention and parameters come from the method's entry, GetStatus too.
            for (const RecordedSymbol &symbol : result.symbols) {
                EXPECT_EQ(symbol.library, "DSOUND");
                if (symbol.index == 726)
                    continue;
                EXPECT_EQ(symbol.convention, FENX_CALL_STDCALL);
                EXPECT_EQ(symbol.params.size(), 1u);
            }
        }
    }
}

TEST(DSoundDerivation, AVirtualTableLearnedAgainWarnsAndKeepsTheChosenAddress) {
    struct Case {
        const char *name;
        bool keep_first;
        std::uint32_t after;
    };
    const std::uint32_t old = 0x00062000;
    for (const Case &test :
         std::vector<Case>{{"latest wins", false, kVoiceTable}, {"keeping the first", true, old}}) {
        SCOPED_TRACE(test.name);
        Scene scene;
        scene.voice_table_before = old;
        scene.keep_first_address = test.keep_first;
        const SceneResult result = run_scene(scene);
        EXPECT_EQ(result.errors,
                  std::vector<std::string>{
                      "Duplicate XREF address found for DSS_VOICE_VTABLE (3911), 00062000 vs "
                      "00061000!"});
        EXPECT_EQ(result.voice_table, test.after);
        EXPECT_EQ(method_reports(result).size(), kMethods.size());
    }
}

TEST(DSoundDerivation, MissingEntriesAndCutOperandsReportNothing) {
    {
        SCOPED_TRACE("a method without a database entry");
        Scene scene;
        scene.database_without = 730;
        const SceneResult result = run_scene(scene);
        // Once per walk; no method is half reported.
        EXPECT_EQ(result.errors,
                  std::vector<std::string>(
                      2, "Unable to find CDirectSoundStream_GetInfo entry in database..."));
        EXPECT_EQ(method_reports(result), std::vector<std::string>{});
    }
    {
        SCOPED_TRACE("a constructor at the very end of its section");
        Scene scene;
        scene.constructor_at = 0x180 - 0x10;
        const SceneResult result = run_scene(scene);
        EXPECT_EQ(result.voice_table, XRefNotSet);
        EXPECT_EQ(result.stream_table, XRefNotSet);
        EXPECT_EQ(method_reports(result), std::vector<std::string>{});
    }
}

} // namespace
