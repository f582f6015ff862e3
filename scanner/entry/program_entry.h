#pragma once
// The entry of the scanner's programs and of the testkit's: main (wmain on Windows, where the
// arguments arrive as UTF-16) hands the program its arguments as UTF-8, with standard output and
// standard error writing lines ended by "\n" alone on every system. A program links the entry
// and defines program_main instead of main.
#include "entry/system_path.h"

// The program's own main; every argument is UTF-8 text.
int program_main(int argc, char **argv);
