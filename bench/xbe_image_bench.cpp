// Writes a synthetic XBE of the given size for timing FendrelCLI on a file the size of a retail
// image (bench/xbe_read.sh): XAPILIB and D3D8 listed, one code section of x86-like bytes, an
// empty kernel thunk table.
//
// xbe_image_bench <out.xbe> [MiB]
#include <cstdio>
#include <cstdlib>
#include <random>

#include "testkit/xbe_builder.h"

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::fputs("usage: xbe_image_bench <out.xbe> [MiB]\n", stderr);
        return 64;
    }
    const double mib = argc == 3 ? std::atof(argv[2]) : 2.7;
    if (!(mib > 0.01 && mib < 64)) {
        std::fputs("xbe_image_bench: the size is from 0.01 to 64 MiB\n", stderr);
        return 64;
    }
    std::mt19937 rng(1);
    std::vector<std::uint8_t> code(static_cast<std::size_t>(mib * 1024 * 1024));
    constexpr std::uint8_t kCommon[] = {0x00, 0x8B, 0x89, 0xFF, 0x24, 0x44, 0x08, 0x83,
                                        0xE8, 0x50, 0x56, 0xC3, 0x85, 0x74, 0x33, 0x6A};
    for (std::uint8_t &byte : code)
        byte = rng() % 3 == 0 ? static_cast<std::uint8_t>(rng()) : kCommon[rng() % 16];
    std::fill(code.begin() + 0x100, code.begin() + 0x104, 0); // the thunk table's terminator
    testkit::TestXbe xbe;
    xbe.libraries = {{"XAPILIB", 5849}, {"D3D8", 5849}};
    xbe.sections = {{".text", 0x00011000, code}};
    xbe.kernel_thunk = 0x00011100;
    if (auto error = testkit::write_test_xbe(argv[1], xbe)) {
        std::fprintf(stderr, "xbe_image_bench: %s: %s\n", argv[1], error.message().c_str());
        return 1;
    }
    return 0;
}
