#pragma once
// Checking a record against code that is not the library (`--against`): the game that will be
// scanned, other images, other objects. A hit there is the function itself when the code there
// is the function's own code byte for byte (the library linked into the game), or when an object
// defines the function's own name there; any other hit is code the record must not name.
#include <cstdint>
#include <string>

#include "author/code_regions.h"

namespace fendrel_author {

// Whether `there` at `at` holds the same code as `own` from `start` to `end`: every byte known on
// both sides equal, and in objects every relocated field referring to the same symbol.
bool holds_same_code(const CodeRegion &own, std::uint32_t start, std::uint32_t end,
                     const CodeRegion &there, std::uint32_t at);

// Whether an object defines `decorated` at `at`.
bool defines_name(const CodeRegion &there, std::uint32_t at, const std::string &decorated);

} // namespace fendrel_author
