#pragma once
// fendrel-author coverage [--json] <game.xbe> [pack.records...]
int run_coverage_command(int argc, char **argv);
