// The coverage command: the game, the packs the release maker has so far, one report.
#include "author/coverage_command.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "author/coverage.h"
#include "author/usage.h"
#include "entry/system_path.h"
#include "lib/database/signature_packs.h"
#include "lib/fendrel.h"

namespace {

// Larger than any XBE: the scanner's own limit for a file it reads whole.
constexpr std::uintmax_t kMaxXbeBytes = 0x7FFFFFFF;

int usage(const char *problem) {
    if (problem != nullptr)
        std::fprintf(stderr, "fendrel-author: %s\n", problem);
    std::fputs("usage: fendrel-author coverage [--json] <game.xbe> [pack.records...]\n", stderr);
    return 2;
}

bool read_xbe(const std::string &path, std::vector<std::uint8_t> &bytes) {
    std::error_code error;
    const std::filesystem::path file = path_from_utf8(path);
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) {
        std::fprintf(stderr, "fendrel-author: %s: %s\n", path.c_str(), error.message().c_str());
        return false;
    }
    if (size > kMaxXbeBytes) {
        std::fprintf(stderr, "fendrel-author: %s is too large for an xbe file\n", path.c_str());
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    bytes.resize(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in || static_cast<std::uintmax_t>(in.gcount()) != size) {
        std::fprintf(stderr, "fendrel-author: %s: cannot be read\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int run_coverage_command(int argc, char **argv) {
    bool json = false;
    std::string xbe;
    std::vector<FenxiPackFile> packs;
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--json")
            json = true;
        else if (asks_for_help(argv[i]))
            return usage(nullptr);
        else if (argument.starts_with("--"))
            return usage("unknown option");
        else if (xbe.empty())
            xbe = argument;
        else
            packs.push_back({path_from_utf8(argument), std::string(argument)});
    }
    if (xbe.empty())
        return usage("no game to look at");

    // The packs as FendrelCLI would take them: any fault refuses them all.
    const FenxDatabase *database = &Fenxi_BuiltinDatabase();
    FenxiSignaturePacks loaded;
    if (!packs.empty()) {
        loaded = Fenxi_LoadSignaturePacks(packs);
        for (const std::string &error : loaded.errors)
            std::fprintf(stderr, "fendrel-author: %s\n", error.c_str());
        if (loaded.database == nullptr)
            return 1;
        database = &loaded.database->database();
    }

    std::vector<std::uint8_t> bytes;
    if (!read_xbe(xbe, bytes))
        return 1;
    // Warnings of the scan would only repeat what the report says.
    Fenx_SetMessageCallback(nullptr);
    fendrel_author::CoverageResult result =
        fendrel_author::game_coverage(bytes.data(), bytes.size(), *database);
    if (!result.error.empty()) {
        std::fprintf(stderr, "fendrel-author: %s: %s\n", xbe.c_str(), result.error.c_str());
        return 1;
    }
    fendrel_author::add_pack_coverage(result.coverage, *database, loaded);
    const std::string report = json ? fendrel_author::coverage_json(result.coverage, xbe)
                                    : fendrel_author::coverage_text(result.coverage, xbe);
    std::fputs(report.c_str(), stdout);
    return 0;
}
