#pragma once
// The program, given the database to scan with: the installed program uses the built-in one,
// the tests their own.
#include "lib/oovpa.h"

int run_fendrel_cli(int argc, char **argv, const FenxDatabase &database);
