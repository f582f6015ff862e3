#pragma once
// Links COFF objects the way a release's game was linked, for tests: code sections one after the
// other at a chosen address, the other sections at another, every relocation applied. The result
// goes into a synthetic XBE with the testkit.
#include <cstdint>
#include <expected>
#include <map>
#include <string>
#include <vector>

#include "author/coff.h"

struct LinkedImage {
    std::vector<std::uint8_t> code;
    std::vector<std::uint8_t> data;
    std::map<std::string, std::uint32_t> addresses; // external symbols
};

// Sections start on 16-byte boundaries; the gaps in code are 0xCC. `data` starts with
// `data_reserve` zero bytes (room for a kernel thunk table).
std::expected<LinkedImage, std::string>
link_coff_objects(const std::vector<fendrel_author::CoffObject> &objects,
                  std::uint32_t code_address, std::uint32_t data_address,
                  std::uint32_t data_reserve = 16);
