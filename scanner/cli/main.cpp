// FendrelCLI: prints one line per XDK library symbol found in an XBE file.
#include "cli/signature_packs_cli.h"
#include "entry/program_entry.h"

int program_main(int argc, char **argv) {
    return run_fendrel_cli_with_packs(argc, argv);
}
