// FendrelCLI around the derivation test database, for end-to-end runs of the manual scan.
#include "cli/cli_run.h"
#include "entry/program_entry.h"
#include "support/derivation_cli_database.h"

int program_main(int argc, char **argv) {
    return run_fendrel_cli(argc, argv, derivation_cli_database());
}
