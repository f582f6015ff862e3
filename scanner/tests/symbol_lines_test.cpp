// The program's parts: its arguments and the exact text of its symbol lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/symbol_lines.h"

namespace {

TEST(CliOptions, ArgumentsInAnyOrderAndUnknownWordsIgnored) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        const char *path;
        bool verbose, demangle, extendinfo;
    };
    const std::vector<Case> cases = {
        {{}, false, nullptr, false, false, false},
        {{"-v"}, false, nullptr, true, false, false},
        {{"a.xbe"}, true, "a.xbe", false, false, false},
        {{"-verbose", "a.xbe", "-d", "-e"}, true, "a.xbe", true, true, true},
        {{"a.xbe", "-demangle", "-extendinfo", "-v"}, true, "a.xbe", true, true, true},
        {{"-d", "a.xbe", "-d"}, true, "a.xbe", false, true, false},
        {{"--verbose", "-V", "-ve", "-", "-x", "-Demangle", "a.xbe"},
         true,
         "a.xbe",
         false,
         false,
         false},
        {{"a.xbe", "b.xbe"}, false, nullptr, false, false, false},
    };
    for (const Case &test : cases) {
        std::vector<char *> argv = {const_cast<char *>("FendrelCLI")};
        for (const std::string &arg : test.args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        CliOptions options;
        const bool ok = parse_cli_options(static_cast<int>(argv.size()), argv.data(), &options);
        SCOPED_TRACE(testing::PrintToString(test.args));
        EXPECT_EQ(ok, test.ok);
        if (!ok)
            continue;
        EXPECT_STREQ(options.path, test.path);
        EXPECT_EQ(options.verbose, test.verbose);
        EXPECT_EQ(options.demangle, test.demangle);
        EXPECT_EQ(options.extendinfo, test.extendinfo);
    }
}

// A library name field with all 8 characters used, and bytes after it that must not print.
struct FullName {
    char name[8] = {'D', '3', 'D', '8', 'L', 'T', 'C', 'G'};
    char after[4] = {'X', 'Y', 'Z', '\0'};
};

struct LineCase {
    const char *name;
    const char *library;
    std::uint32_t index;
    const char *symbol;
    std::uint32_t type;
    std::uint32_t convention;
    std::vector<OOVPAParam> params;
    bool demangle, extendinfo;
    std::string expected;
};

TEST(SymbolLines, EachFormByteForByte) {
    static const FullName ltcg;
    const std::uint32_t draw = Fenxi_SymbolIndexByName("D3DDevice_DrawVertices");
    ASSERT_NE(draw, 0u);
    const std::vector<LineCase> cases = {
        {"short function",
         "D3D8",
         500,
         "D3DDevice_GetViewport",
         2,
         3,
         {{3, "pViewport"}},
         false,
         false,
         "D3D8__D3DDevice_GetViewport = 0x0001a2b0\n"},
        {"short variable",
         "XAPILIB",
         1069,
         "_tls_index",
         1,
         1,
         {{0, ""}},
         false,
         false,
         "XAPILIB___tls_index = 0x0001a2b0\n"},
        {"short other",
         "D3D8",
         380,
         "Fragment",
         0,
         1,
         {{0, ""}},
         false,
         false,
         "D3D8__Fragment = 0x0001a2b0\n"},
        {"function",
         "D3D8",
         500,
         "D3DDevice_GetViewport",
         2,
         3,
         {{3, "pViewport"}},
         false,
         true,
         "D3D8__FUN__stdcall__D3DDevice_GetViewport(psh pViewport) = 0x0001a2b0\n"},
        {"variable",
         "XAPILIB",
         1069,
         "_tls_index",
         1,
         1,
         {{0, ""}},
         false,
         true,
         "XAPILIB__VAR___tls_index = 0x0001a2b0\n"},
        {"neither",
         "D3D8",
         380,
         "Fragment",
         0,
         1,
         {{0, ""}},
         false,
         true,
         "D3D8__UNK__Fragment = 0x0001a2b0\n"},
        {"unknown type",
         "D3D8",
         380,
         "Fragment",
         7,
         1,
         {{0, ""}},
         false,
         true,
         "D3D8__UNK__Fragment = 0x0001a2b0\n"},
        {"void first",
         "D3D8",
         460,
         "D3D_UpdateProjectionViewportTransform",
         2,
         3,
         {{1, ""}},
         false,
         true,
         "D3D8__FUN__stdcall__D3D_UpdateProjectionViewportTransform() = 0x0001a2b0\n"},
        {"void later ends the list",
         "D3D8",
         460,
         "F",
         2,
         5,
         {{16, "a"}, {1, ""}, {3, "b"}},
         false,
         true,
         "D3D8__FUN__fastcall__F(edx a) = 0x0001a2b0\n"},
        {"no parameters",
         "D3D8",
         460,
         "F",
         2,
         2,
         {},
         false,
         true,
         "D3D8__FUN__cdecl__F() = 0x0001a2b0\n"},
        {"register variant",
         "D3D8",
         draw,
         "D3DDevice_DrawVertices_4__LTCG_ecx2_eax3",
         2,
         0,
         {{3, "PrimitiveType"}, {12, "StartVertex"}, {4, "VertexCount"}},
         false,
         true,
         "D3D8__FUN__unknown__D3DDevice_DrawVertices_4__LTCG_ecx2_eax3(psh PrimitiveType, ecx "
         "StartVertex, eax VertexCount) = 0x0001a2b0\n"},
        {"canonical name",
         "D3D8",
         draw,
         "D3DDevice_DrawVertices_4__LTCG_ecx2_eax3",
         2,
         0,
         {{3, "a"}},
         true,
         false,
         "D3D8__D3DDevice_DrawVertices = 0x0001a2b0\n"},
        {"canonical name, extended",
         "D3D8",
         draw,
         "D3DDevice_DrawVertices_4__LTCG_ecx2_eax3",
         2,
         9,
         {{23, "a"}},
         true,
         true,
         "D3D8__FUN__unknown__D3DDevice_DrawVertices(unk a) = 0x0001a2b0\n"},
        {"kernel index keeps its name",
         "D3D8",
         5,
         "Own",
         2,
         3,
         {{3, "a"}},
         true,
         false,
         "D3D8__Own = 0x0001a2b0\n"},
        {"eight-character library",
         ltcg.name,
         500,
         "F",
         2,
         4,
         {{12, "this"}},
         false,
         true,
         "D3D8LTCG__FUN__thiscall__F(ecx this) = 0x0001a2b0\n"},
    };
    for (const LineCase &test : cases) {
        SCOPED_TRACE(test.name);
        const SymbolReport report{test.library,
                                  test.index,
                                  test.symbol,
                                  0x0001A2B0,
                                  test.type,
                                  test.convention,
                                  static_cast<std::uint32_t>(test.params.size()),
                                  test.params.empty() ? nullptr : test.params.data()};
        EXPECT_EQ(symbol_lines(report, SymbolLineOptions{test.demangle, test.extendinfo}),
                  test.expected);
    }
}

TEST(SymbolLines, ParameterTextStopsBefore256BytesWithAnErrorLine) {
    struct Case {
        const char *name;
        std::vector<std::size_t>
            name_lengths;           // of the parameters, all "psh", then one "unk" with no name
        std::string expected_error; // empty: none
        std::size_t kept;           // parameters in the text
    };
    const std::vector<Case> cases = {
        // 63 + 63 + 63 + 60 + 6 = 255 fits.
        {"255 bytes fit", {59, 57, 57, 54}, "", 5},
        // 63 + 63 + 63 + 61 + 6 = 256 does not.
        {"256 bytes do not",
         {59, 57, 57, 55},
         "ERROR: param_size(250) + buffer_count(6) is too long to be stored in param_output(256)\n",
         4},
        {"many parameters",
         {40, 40, 40, 40, 40, 40, 40},
         "ERROR: param_size(228) + buffer_count(46) is too long to be stored in "
         "param_output(256)\n",
         5},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::string> names;
        for (std::size_t length : test.name_lengths)
            names.push_back(std::string(length, static_cast<char>('a' + names.size())));
        std::vector<OOVPAParam> params;
        for (const std::string &name : names)
            params.push_back({3, name.c_str()});
        params.push_back({0, ""});
        std::string text;
        for (std::size_t i = 0; i < test.kept; ++i)
            text += (i == 0 ? "" : ", ") + std::string(Fenx_ParamLocationName(params[i].Location)) +
                    " " + params[i].Name;
        const SymbolReport report{
            "D3D8", 500, "F", 0x10, 2, 3, static_cast<std::uint32_t>(params.size()), params.data()};
        EXPECT_EQ(symbol_lines(report, SymbolLineOptions{false, true}),
                  test.expected_error + "D3D8__FUN__stdcall__F(" + text + ") = 0x00000010\n");
    }
}

TEST(SymbolLines, AParameterLongerThanItsScratchBufferIsCut) {
    const std::string long_name(100, 'p');
    const std::vector<OOVPAParam> params = {{3, long_name.c_str()}, {12, "this"}};
    const SymbolReport report{"D3D8", 500, "F", 0x10, 2, 3, 2, params.data()};
    EXPECT_EQ(symbol_lines(report, SymbolLineOptions{false, true}),
              "D3D8__FUN__stdcall__F(psh " + std::string(59, 'p') + ", ecx this) = 0x00000010\n");
}

} // namespace
