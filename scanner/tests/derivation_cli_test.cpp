// FendrelCLI end to end on an image where the three derivations, the library scans and the
// derived-variable report all contribute: the whole standard output, in order, duplicates
// included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/derivation_cli_database.h"
#include "support/run_program.h"
#include "support/synthetic_database.h"
#include "testkit/xbe_builder.h"

using namespace testkit;

namespace {

const std::string kCli = FENDREL_DERIVATION_CLI_EXE;

constexpr std::uint32_t kText = 0x00011000;
constexpr std::uint32_t kD3D = 0x00012000;
constexpr std::uint32_t kDSound = 0x00013000;
constexpr std::uint32_t kRData = 0x00014000;
constexpr std::uint32_t kXpp = 0x00015000;

constexpr std::uint32_t stream_method(std::uint32_t i) {
    return 0x00013100 + 0x10 * i;
}

std::vector<std::uint8_t> derivation_image() {
    const DerivationCliCode &code = derivation_cli_code();
    std::vector<std::uint8_t> text = blank_code(0x80);
    code.get_type_information.place(text, 0x00, {kXpp, kXpp + 8});
    code.input_get_state.place(text, 0x40);

    std::vector<std::uint8_t> d3d = blank_code(0x100);
    code.debug_registers.place(d3d, 0x00, {0x00090000, 0x00080290, 0x00080294, 0x00080298});
    code.render_state_simple.place(d3d, 0x40);
    code.get_viewport.place(d3d, 0x80);

    // The constructor's stream table lies in .rdata, beside the kernel thunk table.
    std::vector<std::uint8_t> dsound = blank_code(0x60);
    code.stream_constructor.place(dsound, 0x10);
    put_u32(dsound, 0x10 + 0x14, 0x00014F00);
    put_u32(dsound, 0x10 + 0x1B, kRData);
    std::vector<std::uint8_t> rdata(0x60, 0);
    for (std::uint32_t i = 0; i < 7; ++i)
        put_u32(rdata, 4 * i, stream_method(i));
    put_u32(rdata, 0x40, 0x80000001);
    put_u32(rdata, 0x44, 0x80000031);

    // Two device records: a gamepad and a mouse.
    std::vector<std::uint8_t> xpp(0x60, 0);
    put_u32(xpp, 0, kXpp + 0x20);
    put_u32(xpp, 4, kXpp + 0x30);
    xpp[0x20] = 1;
    put_u32(xpp, 0x24, 0x00016100);
    xpp[0x30] = 4;
    put_u32(xpp, 0x34, 0x00016400);

    TestXbe xbe;
    xbe.libraries = {{"D3D8", 4627}, {"DSOUND", 4627}, {"XAPILIB", 4627}};
    xbe.sections = {{".text", kText, text},
                    {"D3D", kD3D, d3d},
                    {"DSOUND", kDSound, dsound},
                    {".rdata", kRData, rdata},
                    {"XPP", kXpp, xpp}};
    xbe.kernel_thunk = kRData + 0x40;
    return build_test_xbe(xbe);
}

TEST(FendrelCliDerivations, ManualScanLibraryScansAndDerivedReportInOrder) {
    TemporaryFolder folder;
    const std::string path = folder.write("game.xbe", derivation_image()).string();
    const ProgramRun run = run_program(kCli, {"-e", path}, folder.path());
    const std::string expected =
        // D3D8: the device pointer and the setter; the render states need more code.
        "D3D8__FUN__stdcall__D3D_CommonSetDebugRegisters() = 0x00012000\n"
        "D3D8__VAR__D3D_g_pDevice = 0x00090000\n"
        "D3D8__FUN__fastcall__D3DDevice_SetRenderState_Simple(ecx Method, edx Value) = "
        "0x00012040\n"
        // DSOUND: the constructor in its section, the methods once .rdata is reached.
        "DSOUND__FUN__thiscall__CDirectSoundStream_Constructor(ecx this) = 0x00013010\n"
        "DSOUND__FUN__stdcall__CDirectSoundStream_AddRef(psh pThis) = 0x00013100\n"
        "DSOUND__FUN__stdcall__CDirectSoundStream_Release(psh pThis) = 0x00013110\n"
        "DSOUND__FUN__stdcall__CDirectSoundStream_GetInfo(psh pThis) = 0x00013120\n"
        "DSOUND__FUN__stdcall__CDirectSoundStream_GetStatus__r2(psh pThis) = 0x00013130\n"
        "DSOUND__FUN__stdcall__CDirectSoundStream_Process(psh pThis) = 0x00013140\n"
        "DSOUND__FUN__stdcall__CDirectSoundStream_Discontinuity(psh pThis) = 0x00013150\n"
        "DSOUND__FUN__stdcall__CDirectSoundStream_Flush(psh pThis) = 0x00013160\n"
        // XAPILIB: the device type table.
        "XAPILIB__FUN__fastcall__GetTypeInformation(ecx pDeviceType) = 0x00011000\n"
        "XAPILIB__VAR__g_DeviceTypeInfoTableBegin = 0x00015000\n"
        "XAPILIB__VAR__g_DeviceTypeInfoTableEnd = 0x00015008\n"
        "XAPILIB__VAR__g_DeviceType_Gamepad = 0x00016100\n"
        "XAPILIB__VAR__g_DeviceType_Mouse = 0x00016400\n"
        // Library scans.
        "D3D8__FUN__stdcall__D3DDevice_GetViewport(psh pViewport) = 0x00012080\n"
        "XAPILIB__FUN__stdcall__XInputGetState(psh hDevice, psh pState) = 0x00011040\n"
        // The derived variables, reported again.
        "XAPILIB__VAR__g_DeviceType_Gamepad = 0x00016100\n"
        "XAPILIB__VAR__g_DeviceType_Mouse = 0x00016400\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_code, 0);

    // Canonical names drop the revision suffix the derivation reports.
    const ProgramRun demangled = run_program(kCli, {path, "-d"}, folder.path());
    EXPECT_NE(demangled.out.find("DSOUND__CDirectSoundStream_GetStatus = 0x00013130\n"),
              std::string::npos);
    EXPECT_EQ(demangled.out.find("__r2"), std::string::npos);
}

} // namespace
