// The XAPI derivation through the manual scan: XGetSectionSize from a learned call displacement
// and the signatures it refuses, g_DeviceType_MU from MU_Init's push-then-call, and the device
// type table with known, unknown and unreachable records.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/derivation_code.h"
#include "support/scan_recorder.h"
#include "support/synthetic_database.h"
#include "support/test_context.h"

namespace {

constexpr std::uint32_t kTextBase = 0x00011000;
constexpr std::uint32_t kXppBase = 0x00020000;

constexpr std::size_t kAtMapLetter = 0x000;
constexpr std::size_t kAtMUInit = 0x040;
constexpr std::size_t kAtMaxDeviceTypes = 0x100;
constexpr std::size_t kAtTypeInformation = 0x140;
constexpr std::uint32_t kSectionSize = kTextBase + 0x200; // XGetSectionSize
constexpr std::uint32_t kMUDeviceType = kXppBase + 0xC0;

const CodeSignature kMUInit{0x31, {}};
const CodeSignature kMaxDeviceTypes{0x32, {}};
const CodeSignature kTypeInformation{0x33, {{8, 1076}, {12, 1077}}};
const CodeSignature kTypeInformation2{0x34, {{8, 1076}, {12, 1077}}};
const CodeSignature kInputOpen{0x35, {}};
constexpr std::size_t kAtInputOpen = 0x180;

// Which of the two table readers the image holds.
enum class TypeInformation { First, Second, Neither };

struct Scene {
    // The call to XGetSectionSize is at +8 unless the signature says otherwise.
    CodeSignature map_letter{0x30, {{8, 1139}}};
    std::optional<std::uint32_t> section_size_before; // slot 1139 when the scan starts
    std::vector<std::uint8_t> mu_body;                // MU_Init's code after its pattern
    // Device records in table order (code, descriptor); a code of 0 puts the entry's record
    // outside every section.
    std::vector<std::pair<std::uint8_t, std::uint32_t>> records;
    bool table_outside = false;
    TypeInformation type_information = TypeInformation::First;
    bool input_open = false;
    std::uint16_t missing_placeholder = 0;
    std::vector<std::uint8_t> text_tail; // the last bytes of the .text section
};

// push imm32; call rel32 to `target`, as bytes at `at` of the .text section.
std::vector<std::uint8_t> push_call(std::size_t at, std::uint32_t pushed, std::uint32_t target,
                                    bool absolute = false) {
    const std::uint32_t after = kTextBase + static_cast<std::uint32_t>(at) + 10;
    const std::uint32_t operand = absolute ? target : target - after;
    std::vector<std::uint8_t> bytes = {0x68, 0, 0, 0, 0, 0xE8, 0, 0, 0, 0};
    put_u32(bytes, 1, pushed);
    put_u32(bytes, 6, operand);
    return bytes;
}

constexpr std::uint32_t kMaxDeviceTypesAddress = kTextBase + kAtMaxDeviceTypes;
constexpr std::size_t kBodyAt = kAtMUInit + 6;

// A push of another value calling another function, then the wanted pair.
std::vector<std::uint8_t> mu_body_with(std::vector<std::uint8_t> between, bool absolute = false) {
    std::vector<std::uint8_t> body = push_call(kBodyAt, 0x11111111, kTextBase + 0x1F0);
    body.insert(body.end(), between.begin(), between.end());
    const std::vector<std::uint8_t> wanted =
        push_call(kBodyAt + body.size(), kMUDeviceType, kMaxDeviceTypesAddress, absolute);
    body.insert(body.end(), wanted.begin(), wanted.end());
    return body;
}

const std::vector<std::pair<std::uint8_t, std::uint32_t>> kAllRecords = {
    {1, 0x00030100}, {2, 0x00030200},    {3, 0x00030300}, {0, 0},
    {4, 0x00030400}, {0x80, 0x00030800}, {5, 0x00030500},
};

struct SceneResult {
    std::vector<std::string> reports; // "name@address/build"
    std::vector<std::string> errors;
    std::vector<std::string> messages;
    std::uint32_t section_size;
};

SceneResult run_scene(const Scene &scene) {
    SyntheticDatabase db;
    const std::uint32_t group = db.group(FENX_LIB_XAPILIB, {".text", "XPP"});
    const auto placeholder = [&](std::uint16_t index, const char *name, std::uint16_t build) {
        if (index != scene.missing_placeholder)
            db.entry(group, index, FENX_SCAN_MANUAL, name, {{build, db.record(0, 0, {})}},
                     FENX_SYMBOL_VARIABLE, FENX_CALL_NONE);
    };
    placeholder(1070, "g_DeviceType_Gamepad", 0);
    placeholder(1071, "g_DeviceType_IRDongle", 0);
    placeholder(1072, "g_DeviceType_Keyboard", 0);
    placeholder(1073, "g_DeviceType_Mouse", 0);
    placeholder(1074, "g_DeviceType_MU", 4242);
    placeholder(1075, "g_DeviceType_SBC", 0);
    placeholder(1076, "g_DeviceTypeInfoTableBegin", 0);
    placeholder(1077, "g_DeviceTypeInfoTableEnd", 0);
    if (scene.missing_placeholder != 1139)
        db.entry(group, 1139, FENX_SCAN_MANUAL, "XGetSectionSize", {{0, db.record(0, 0, {})}});
    db.entry(group, 1127, FENX_SCAN_MANUAL, "XapiMapLetterToDirectory",
             {{3911, scene.map_letter.record(db)}});
    db.entry(group, 1085, FENX_SCAN_MANUAL, "MU_Init", {{3911, kMUInit.record(db)}});
    db.entry(group, 1084, FENX_SCAN_MANUAL | FENX_SCAN_AUTOMATIC, "IUsbInit_GetMaxDeviceTypeCount",
             {{3911, kMaxDeviceTypes.record(db)}});
    db.entry(group, 1100, FENX_SCAN_MANUAL, "GetTypeInformation",
             {{3911, kTypeInformation.record(db)}});
    db.entry(group, 1101, FENX_SCAN_MANUAL, "GetTypeInformation2",
             {{3911, kTypeInformation2.record(db)}});
    db.entry(group, 1146, FENX_SCAN_MANUAL, "XInputOpen", {{3911, kInputOpen.record(db)}});

    std::vector<std::uint8_t> text = blank_code(0x200);
    std::vector<std::uint8_t> xpp(0x100, 0);
    // The call's displacement, and for a signature that refers elsewhere first, that field too.
    std::vector<std::uint32_t> map_values;
    for (const CodeReference &reference : scene.map_letter.references)
        map_values.push_back(reference.symbol_index == 1139
                                 ? kSectionSize - (kTextBase + kAtMapLetter + reference.offset + 4)
                                 : 0x00020F00);
    scene.map_letter.place(text, kAtMapLetter, map_values);
    kMUInit.place(text, kAtMUInit);
    std::copy(scene.mu_body.begin(), scene.mu_body.end(), text.begin() + kBodyAt);
    kMaxDeviceTypes.place(text, kAtMaxDeviceTypes);

    const std::uint32_t begin = scene.table_outside ? 0x00090000 : kXppBase;
    const std::uint32_t end = begin + 4 * static_cast<std::uint32_t>(scene.records.size());
    if (scene.type_information == TypeInformation::First)
        kTypeInformation.place(text, kAtTypeInformation, {begin, end});
    else if (scene.type_information == TypeInformation::Second)
        kTypeInformation2.place(text, kAtTypeInformation, {begin, end});
    if (scene.input_open)
        kInputOpen.place(text, kAtInputOpen);
    std::copy(scene.text_tail.begin(), scene.text_tail.end(),
              text.end() - static_cast<std::ptrdiff_t>(scene.text_tail.size()));
    for (std::size_t i = 0; i < scene.records.size(); ++i) {
        const auto [code, descriptor] = scene.records[i];
        const std::uint32_t at = 0x40 + 8 * static_cast<std::uint32_t>(i);
        put_u32(xpp, 4 * i, code == 0 ? 0x00090000 : kXppBase + at);
        xpp[at] = code;
        put_u32(xpp, at + 4, descriptor);
    }

    ScanRecorder recorder;
    TestContext context(db.database(), {test_library(FENX_LIB_XAPILIB, 4627)},
                        {{".text", kTextBase, text}, {"XPP", kXppBase, xpp}},
                        Fenxi_BuiltinManualHandlers());
    if (scene.section_size_before)
        context->XRefs[1139] = *scene.section_size_before;
    recorder.clear();
    FenxContext_ScanManual(context.get());
    SceneResult result{{}, recorder.texts(2), recorder.texts(0), context->XRefs[1139]};
    for (const RecordedSymbol &symbol : recorder.symbols) {
        char line[96];
        std::snprintf(line, sizeof line, "%s@%x/%u", symbol.name.c_str(), symbol.address,
                      symbol.build);
        result.reports.push_back(line);
    }
    return result;
}

bool has(const std::vector<std::string> &list, const std::string &item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

Scene complete_scene() {
    Scene scene;
    scene.mu_body = mu_body_with({});
    scene.records = kAllRecords;
    return scene;
}

TEST(XapiDerivation, SectionSizeFromTheCallDisplacementOrARefusal) {
    struct Case {
        const char *name;
        CodeSignature map_letter;
        std::optional<std::uint32_t> before;
        std::vector<std::string> errors;
        std::uint32_t after;
    };
    const std::vector<Case> cases = {
        {"converted", {0x30, {{8, 1139}}}, {}, {}, kSectionSize},
        {"at another offset", {0x30, {{20, 1139}}}, {}, {}, kSectionSize},
        {"signature without the reference",
         {0x30, {}},
         {},
         {"Please verify XapiMapLetterToDirectory (3911) signature do contain XGetSectionSize's "
          "xref entry."},
         XRefDerive},
        {"known elsewhere, signature without references",
         {0x30, {}},
         0x00011234,
         {"XapiMapLetterToDirectory (3911) signature cannot have zero XRefCount when calling "
          "Fenxi_OOVPARevision_ConvertXRefRelativeAddrtToVirtAddr!"},
         0x00011234},
        {"first reference elsewhere",
         {0x30, {{8, 1130}, {12, 1139}}},
         {},
         {"XapiMapLetterToDirectory (3911) signature does not have XGetSectionSize's xref "
          "entry!"},
         // The raw displacement stays: it is not an address.
         kSectionSize - (kTextBase + 12 + 4)},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        Scene scene = complete_scene();
        scene.map_letter = test.map_letter;
        scene.section_size_before = test.before;
        const SceneResult result = run_scene(scene);
        std::vector<std::string> expected_errors = test.errors;
        expected_errors.push_back(
            "Unknown device type, DeviceTypeInfoTable[6]:  ucType = 5, XppType = 00030500");
        EXPECT_EQ(result.errors, expected_errors);
        EXPECT_EQ(result.section_size, test.after);
        EXPECT_EQ(has(result.reports, "XGetSectionSize@11200/3911"), test.errors.empty());
    }
}

TEST(XapiDerivation, MemoryUnitTypeFromTheFirstPushBeforeTheCall) {
    struct Case {
        const char *name;
        std::vector<std::uint8_t> body;
        bool found;
        bool error;
        std::vector<std::uint8_t> tail = {}; // the last bytes of the section
    };
    const std::vector<Case> cases = {
        {"relative call", mu_body_with({}), true, false},
        {"absolute call", mu_body_with({}, true), true, false},
        {"after other code", mu_body_with({0x33, 0xC0, 0xC2, 0x08, 0x00}), true, false},
        {"returns first", mu_body_with({0x5F, 0xC9, 0xC2, 0x04, 0x00}), false, true},
        // Only leave followed by a return popping 4 bytes ends the search.
        {"return 4 without leave", mu_body_with({0x33, 0xC2, 0x04, 0x00}), true, false},
        {"leave, return 8", mu_body_with({0xC9, 0xC2, 0x08, 0x00}), true, false},
        // Without the pair and the return the search runs to the section's end.
        {"no pair at all", {0x90, 0x90}, false, false},
        {"no pair, the return in the section's last bytes",
         {0x90, 0x90},
         false,
         true,
         {0xC9, 0xC2, 0x04}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        Scene scene = complete_scene();
        scene.mu_body = test.body;
        scene.text_tail = test.tail;
        const SceneResult result = run_scene(scene);
        EXPECT_EQ(has(result.reports, "g_DeviceType_MU@200c0/4242"), test.found);
        EXPECT_EQ(has(result.errors, "Could not find g_DeviceType_MU from MU_Init!"), test.error);
    }
}

TEST(XapiDerivation, DeviceTypeTableGivesTheKnownTypes) {
    {
        SCOPED_TRACE("every kind of record");
        const SceneResult result = run_scene(complete_scene());
        const std::vector<std::string> expected = {
            "XapiMapLetterToDirectory@11000/3911",
            "XGetSectionSize@11200/3911",
            "MU_Init@11040/3911",
            "IUsbInit_GetMaxDeviceTypeCount@11100/3911",
            "g_DeviceType_MU@200c0/4242",
            "GetTypeInformation@11140/3911",
            "g_DeviceTypeInfoTableBegin@20000/4242",
            "g_DeviceTypeInfoTableEnd@2001c/4242",
            "g_DeviceType_Gamepad@30100/0",
            "g_DeviceType_Keyboard@30200/0",
            "g_DeviceType_IRDongle@30300/0",
            "g_DeviceType_Mouse@30400/0",
            "g_DeviceType_SBC@30800/4242",
        };
        EXPECT_EQ(result.reports, expected);
        EXPECT_EQ(result.errors,
                  std::vector<std::string>{"Unknown device type, DeviceTypeInfoTable[6]:  ucType "
                                           "= 5, XppType = 00030500"});
        EXPECT_TRUE(has(result.messages, "DeviceTypeInfoTable Entries: 7"));
    }
    {
        SCOPED_TRACE("a table outside every section");
        Scene scene = complete_scene();
        scene.table_outside = true;
        const SceneResult result = run_scene(scene);
        EXPECT_TRUE(has(result.messages, "DeviceTypeInfoTable Entries: 0"));
        EXPECT_TRUE(has(result.reports, "g_DeviceTypeInfoTableBegin@90000/4242"));
        EXPECT_FALSE(has(result.reports, "g_DeviceType_Gamepad@30100/0"));
        EXPECT_EQ(result.errors, std::vector<std::string>{});
    }
}

TEST(XapiDerivation, TheTableComesFromEitherReaderElseXInputOpenIsLookedFor) {
    struct Case {
        const char *name;
        TypeInformation reader;
        bool input_open;
        std::vector<std::string> reported;
        std::vector<std::string> unreported;
        bool complete; // the handler's work ends in the first section
    };
    const std::vector<Case> cases = {
        {"the first reader",
         TypeInformation::First,
         true,
         {"GetTypeInformation@11140/3911", "g_DeviceTypeInfoTableBegin@20000/4242"},
         {"XInputOpen@11180/3911"},
         true},
        {"the second reader",
         TypeInformation::Second,
         false,
         {"GetTypeInformation2@11140/3911", "g_DeviceTypeInfoTableBegin@20000/4242",
          "g_DeviceType_SBC@30800/4242"},
         {},
         true},
        {"neither, XInputOpen instead",
         TypeInformation::Neither,
         true,
         {"XInputOpen@11180/3911"},
         {"g_DeviceTypeInfoTableBegin@20000/4242"},
         true},
        {"neither, nor XInputOpen",
         TypeInformation::Neither,
         false,
         {},
         {"g_DeviceTypeInfoTableBegin@20000/4242"},
         false},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        Scene scene = complete_scene();
        scene.type_information = test.reader;
        scene.input_open = test.input_open;
        const SceneResult result = run_scene(scene);
        for (const std::string &report : test.reported)
            EXPECT_TRUE(has(result.reports, report)) << report;
        for (const std::string &report : test.unreported)
            EXPECT_FALSE(has(result.reports, report)) << report;
        EXPECT_EQ(has(result.messages, "Scanning XAPILIB library in XPP section"), !test.complete);
    }
}

TEST(XapiDerivation, MissingPlaceholdersAreNamedAndStopTheirPart) {
    const std::string unknown =
        "Unknown device type, DeviceTypeInfoTable[6]:  ucType = 5, XppType = 00030500";
    struct Case {
        std::uint16_t missing;
        std::vector<std::string> errors;
        std::vector<std::string> unreported;
    };
    const std::vector<Case> cases = {
        {1139,
         {"Unable to find XGetSectionSize entry in database...", unknown},
         {"XGetSectionSize@11200/3911"}},
        {1074, {"Unable to find g_DeviceType_MU entry in database...", unknown}, {}},
        {1076,
         {"Unable to find g_DeviceTypeInfoTableBegin entry in database..."},
         {"g_DeviceTypeInfoTableEnd@2001c/4242", "g_DeviceType_Gamepad@30100/0"}},
        {1077,
         {"Unable to find g_DeviceTypeInfoTableEnd entry in database..."},
         {"g_DeviceType_Gamepad@30100/0"}},
        // The walk of the table stops at the first record it cannot name.
        {1072,
         {"Unable to find g_DeviceType_Keyboard entry in database..."},
         {"g_DeviceType_IRDongle@30300/0", "g_DeviceType_SBC@30800/4242"}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.missing);
        Scene scene = complete_scene();
        scene.missing_placeholder = test.missing;
        const SceneResult result = run_scene(scene);
        EXPECT_EQ(result.errors, test.errors);
        for (const std::string &report : test.unreported)
            EXPECT_FALSE(has(result.reports, report)) << report;
        // The parts that do not need the missing entry still do their work.
        EXPECT_TRUE(has(result.reports, "MU_Init@11040/3911"));
    }
    // The records before the missing one are taken.
    Scene scene = complete_scene();
    scene.missing_placeholder = 1072;
    EXPECT_TRUE(has(run_scene(scene).reports, "g_DeviceType_Gamepad@30100/0"));
}

} // namespace
