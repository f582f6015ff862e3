// The packs beside the program, read before anything is scanned: a pack with a fault ends the
// run before the first symbol line, so a scan never silently lacks part of its data.
#include "cli/signature_packs_cli.h"

#include <cstdio>
#include <vector>

#include "cli/cli_run.h"
#include "cli/program_folder.h"
#include "lib/database/signature_packs.h"

int run_fendrel_cli_with_packs(int argc, char **argv) {
    std::vector<std::string> errors;
    std::vector<FenxiPackFile> packs;
    if (const auto folder = running_program_folder())
        packs = Fenxi_ListSignaturePacks(*folder / "signatures", "signatures/", errors);
    if (errors.empty() && packs.empty())
        return run_fendrel_cli(argc, argv, Fenxi_BuiltinDatabase());

    FenxiSignaturePacks loaded;
    if (errors.empty())
        loaded = Fenxi_LoadSignaturePacks(packs);
    errors.insert(errors.end(), loaded.errors.begin(), loaded.errors.end());
    if (!errors.empty() || loaded.database == nullptr) {
        for (const std::string &error : errors)
            std::fprintf(stderr, "Fendrel: %s\n", error.c_str());
        std::fprintf(stderr, "Fendrel: the signature packs were refused; nothing is scanned\n");
        return 1;
    }
    return run_fendrel_cli(argc, argv, loaded.database->database());
}
