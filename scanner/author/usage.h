#pragma once
// What fendrel-author says about how to call it: the commands and the library names that
// --library takes, read from the library registry so the list never goes stale.
#include <string>

// The lines printed after the synopsis: the coverage command and the known library names.
std::string author_usage_details();

// True for the arguments that ask for the usage text itself ("--help", "-h").
bool asks_for_help(const char *argument);
