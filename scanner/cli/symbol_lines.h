#pragma once
// The text of the symbol lines and the two callbacks the program gives the library.
#include <cstdint>
#include <string>

#include "lib/fendrel.h"

struct SymbolLineOptions {
    bool demangle = false;   // print the canonical name of the symbol index
    bool extendinfo = false; // print kind, calling convention and parameters
};

struct SymbolReport {
    const char *library_name; // up to 8 characters, not terminated when all 8 are used
    std::uint32_t symbol_index;
    const char *symbol_name;
    std::uint32_t address;
    std::uint32_t symbol_type;
    std::uint32_t call_convention;
    std::uint32_t param_count;
    const OOVPAParam *params;
};

// The standard output text for one reported symbol: its line, preceded by the ERROR line when
// the parameters do not fit.
std::string symbol_lines(const SymbolReport &report, const SymbolLineOptions &options);

// The options the symbol callback reads; set once after the arguments are parsed.
void set_symbol_line_options(const SymbolLineOptions &options);

// Writes the symbol's lines to standard output.
void print_symbol(const char *library_name, std::uint32_t library_flag, std::uint32_t symbol_index,
                  const char *symbol_name, std::uint32_t address, std::uint32_t build_version,
                  std::uint32_t symbol_type, std::uint32_t call_convention,
                  std::uint32_t param_count, const OOVPAParam *params);

// Writes a library message to standard error after "Fendrel: ".
void print_message(std::uint32_t level, const char *text);
