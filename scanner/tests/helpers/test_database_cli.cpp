// FendrelCLI around the test database, so that end-to-end tests see every kind of symbol line.
#include "cli/cli_run.h"
#include "entry/program_entry.h"
#include "support/cli_test_database.h"

int program_main(int argc, char **argv) {
    return run_fendrel_cli(argc, argv, cli_test_database());
}
