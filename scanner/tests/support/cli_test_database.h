#pragma once
// The database of the test copy of FendrelCLI: one entry of every kind the symbol lines
// distinguish, each with a distinct code pattern that tests place into their images.
#include <cstdint>
#include <string>
#include <vector>

#include "lib/oovpa.h"

struct CliTestSymbol {
    std::string section;               // where its pattern goes
    std::vector<std::uint8_t> pattern; // the code the signature matches
};

// In the order the library scan reports them when all are present in their sections.
const std::vector<CliTestSymbol> &cli_test_symbols();

const FenxDatabase &cli_test_database();
