// FendrelCLI: prints one line per XDK library symbol found in an XBE file.
#include "cli/cli_run.h"

int main(int argc, char **argv) {
    return run_fendrel_cli(argc, argv, Fenxi_BuiltinDatabase());
}
