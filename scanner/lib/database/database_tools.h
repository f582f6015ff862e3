#pragma once
// Whole-database operations, on any database: its version, its self-check, entry counts.
#include <cstdint>
#include <string>

#include "lib/oovpa.h"

// 32-bit FNV-1a over each entry's name and each revision's build and packed record.
std::uint32_t Fenxi_DatabaseVersion(const FenxDatabase &database);
// The version as every report shows it: lower-case hexadecimal without leading zeros.
std::string Fenxi_DatabaseVersionText(std::uint32_t version);

// Posts each problem through the library-wide sink at level 3; returns their number.
std::uint32_t Fenxi_TestDatabase(const FenxDatabase &database);

std::uint32_t Fenxi_LibraryEntryCount(const FenxDatabase &database, std::uint32_t mask);
