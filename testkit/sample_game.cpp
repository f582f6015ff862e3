#include "testkit/sample_game.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace testkit {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kText = 0x00011000;
constexpr std::uint32_t kD3D = 0x00012000;
constexpr std::uint32_t kData = 0x00013000;
constexpr std::uint32_t kRData = 0x00014000;

// Where the XDK's functions were linked.
constexpr std::uint32_t kMapLetterToDirectory = kText + 0x100;
constexpr std::uint32_t kGetSectionSize = kText + 0x400;
constexpr std::uint32_t kSetRenderStateSimple = kD3D + 0x00;
constexpr std::uint32_t kSetRenderStateNotInline = kD3D + 0x40;
constexpr std::uint32_t kMakeSpace = kD3D + 0x80;
// The graphics library's variables in .data.
constexpr std::uint32_t kPushBuffer = kData + 0x000;
constexpr std::uint32_t kPushBufferLimit = kData + 0x004;
constexpr std::uint32_t kRenderState = kData + 0x040;
constexpr std::uint32_t kRenderStateMethods = kData + 0x1C0;
// The simple render states: the byte the derivation of the deferred states reads.
constexpr std::uint8_t kSimpleRenderStates = 0x5C;

using Bytes = std::vector<std::uint8_t>;

void put_u32(Bytes &code, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        code[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A call's displacement: from the end of its 4-byte field to the target.
void put_call(Bytes &section, std::uint32_t section_address, std::size_t at, std::uint32_t target) {
    section[at] = 0xE8;
    put_u32(section, at + 1, target - (section_address + static_cast<std::uint32_t>(at) + 5));
}

void place(Bytes &section, std::uint32_t section_address, std::uint32_t address,
           const Bytes &code) {
    std::copy(code.begin(), code.end(), section.begin() + (address - section_address));
}

// XAPI's XapiMapLetterToDirectory, which calls XGetSectionSize near its end.
void place_xapi(Bytes &text) {
    Bytes map(592, 0x90);
    const Bytes prologue = {
        0x55,                               // push ebp
        0x8B, 0xEC,                         // mov ebp, esp
        0x81, 0xEC, 0x84, 0x02, 0x00, 0x00, // sub esp, 0x284
        0x53, 0x56, 0x57,                   // push ebx; push esi; push edi
        0x8B, 0x7D, 0x08,                   // mov edi, [ebp+8]
        0x8B, 0x75, 0x0C,                   // mov esi, [ebp+0xC]
        0x33, 0xDB,                         // xor ebx, ebx
        0x6A, 0x03, 0x6A, 0x03,             // push 3; push 3
        0xBF, 0x80, 0x00, 0x00, 0x00,       // mov edi, 0x80
    };
    std::copy(prologue.begin(), prologue.end(), map.begin());
    const std::size_t call = 578;
    put_call(map, kMapLetterToDirectory, call, kGetSectionSize);
    const Bytes epilogue = {0x5F, 0x5E, 0x5B, 0xC9, 0xC2, 0x18, 0x00}; // pops; leave; ret 0x18
    std::copy(epilogue.begin(), epilogue.end(), map.begin() + call + 5);
    place(text, kText, kMapLetterToDirectory, map);

    place(text, kText, kGetSectionSize,
          {0x8B, 0x44, 0x24, 0x04, // mov eax, [esp+4]
           0x8B, 0x40, 0x08,       // mov eax, [eax+8]
           0xC2, 0x04, 0x00});     // ret 4
}

// Direct3D's render-state setters: the simple one writes a method and its value into the push
// buffer; the other looks the method up and passes it on.
Bytes d3d_section() {
    Bytes d3d(0x100, 0xCC);
    Bytes simple = {
        0xA1, 0,    0,    0, 0,    // mov eax, [push buffer]
        0x83, 0xC0, 0x08,          // add eax, 8
        0x3B, 0x05, 0,    0, 0, 0, // cmp eax, [limit]
        0x72, 0x05,                // jb +5
        0,    0,    0,    0, 0,    // call MakeSpace
        0x89, 0x48, 0xF8,          // mov [eax-8], ecx
        0x89, 0x50, 0xFC,          // mov [eax-4], edx
        0x90, 0x52, 0x51,          // nop; push edx; push ecx
        0xA3, 0,    0,    0, 0,    // mov [push buffer], eax
        0x59, 0x5A, 0xC3,          // pop ecx; pop edx; ret
    };
    put_u32(simple, 1, kPushBuffer);
    put_u32(simple, 10, kPushBufferLimit);
    put_call(simple, kSetRenderStateSimple, 16, kMakeSpace);
    put_u32(simple, 31, kPushBuffer);
    place(d3d, kD3D, kSetRenderStateSimple, simple);

    Bytes not_inline = {
        0x56, // push esi
        0x8B, 0x74, 0x24,
        0x08,                            // mov esi, [esp+8]
        0x83, 0xFE, kSimpleRenderStates, // cmp esi, simple states
        0x7D, 0x13,                      // jge +0x13
        0x8B, 0x0C, 0xB5,
        0,    0,    0,
        0, // mov ecx, [esi*4 + methods]
        0x8B, 0x54, 0x24,
        0x0C,             // mov edx, [esp+0xC]
        0x5E, 0x90, 0x90, // pop esi; nop; nop
        0,    0,    0,
        0,    0, // call D3DDevice_SetRenderState_Simple
        0x89, 0x04, 0xB5,
        0,    0,    0,
        0,                // mov [esi*4 + D3D_g_RenderState], eax
        0x5E,             // pop esi
        0xC2, 0x08, 0x00, // ret 8
    };
    put_u32(not_inline, 13, kRenderStateMethods);
    put_call(not_inline, kSetRenderStateNotInline, 24, kSetRenderStateSimple);
    put_u32(not_inline, 32, kRenderState);
    place(d3d, kD3D, kSetRenderStateNotInline, not_inline);
    place(d3d, kD3D, kMakeSpace, {0xC3});
    return d3d;
}

} // namespace

TestXbe sample_xbe() {
    TestXbe xbe;
    xbe.title_id = 0x51520001;
    xbe.title_name = u"Sample Game";
    xbe.game_regions = 0x00000001 | 0x00000002; // North America, Japan
    xbe.libraries = {{"XAPILIB", 5849}, {"D3D8", 5849}, {"DSOUND", 5849}};
    Bytes code(4096);
    for (std::size_t i = 0; i < code.size(); ++i)
        code[i] = static_cast<std::uint8_t>(i * 7 + 3);
    code[0] = 0x55; // push ebp
    code[1] = 0x8B; // mov ebp, esp
    code[2] = 0xEC;
    code[3] = 0xC3; // ret
    place_xapi(code);
    // The kernel imports follow the title in .rdata: by ordinal (top bit set), ended by zero.
    Bytes rdata = {'S', 'a', 'm', 'p', 'l', 'e', 0, 0};
    rdata.resize(8 + 4 * 4, 0);
    for (std::uint32_t i = 0; const std::uint32_t ordinal : {49u, 102u, 187u})
        put_u32(rdata, 8 + 4 * i++, 0x80000000u | ordinal);
    xbe.sections = {{".text", kText, code},
                    {"D3D", kD3D, d3d_section()},
                    {".data", kData, Bytes(512, 0x2A)},
                    {".rdata", kRData, rdata}};
    xbe.kernel_thunk = kRData + 8;
    return xbe;
}

std::vector<SampleSymbol> sample_xdk_symbols() {
    // The manual scan reports them library by library, in the order of the library list.
    return {{"XAPILIB", "XapiMapLetterToDirectory", kMapLetterToDirectory},
            {"XAPILIB", "XGetSectionSize", kGetSectionSize},
            {"D3D8", "D3DDevice_SetRenderState_Simple", kSetRenderStateSimple},
            {"D3D8", "D3DDevice_SetRenderStateNotInline", kSetRenderStateNotInline}};
}

std::vector<DiscNode> sample_game_nodes(const TestXbe &xbe) {
    const auto bytes = build_test_xbe(xbe);
    std::string level(64 * 1024, '\0');
    for (std::size_t i = 0; i < level.size(); ++i)
        level[i] = static_cast<char>((i * 31) & 0xFF);
    // The disc's own save folder is named after the title id, as a game's saves are.
    char title_id[16];
    std::snprintf(title_id, sizeof title_id, "%08X", xbe.title_id);
    return {
        DiscNode::file("default.xbe", std::string(bytes.begin(), bytes.end())),
        DiscNode::folder("media", {DiscNode::file("intro.txt", "Welcome to the sample game.\n"),
                                   DiscNode::file("level1.dat", level)}),
        DiscNode::folder(
            "UDATA", {DiscNode::folder(title_id, {DiscNode::file("TitleMeta.xbx", "disc save")})}),
    };
}

std::error_code write_game_folder(const fs::path &folder, const std::vector<DiscNode> &nodes) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        return error;
    for (const auto &node : nodes) {
        const fs::path target = folder / node.name;
        if (node.directory) {
            if (auto failed = write_game_folder(target, node.children))
                return failed;
            continue;
        }
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(node.data.data(), static_cast<std::streamsize>(node.data.size()));
        if (!out)
            return std::make_error_code(std::errc::io_error);
    }
    return {};
}

} // namespace testkit
