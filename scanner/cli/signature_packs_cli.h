#pragma once
// FendrelCLI with the signature packs of its release: the built-in records plus every
// signatures/*.records beside the program.
int run_fendrel_cli_with_packs(int argc, char **argv);
