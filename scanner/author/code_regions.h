#pragma once
// Code as the authoring tool compares it: a run of bytes with what is known about each of them.
// In an object a relocated field is unknown (its bytes become an address when linked) and names
// its target; in a linked image every byte is as the game holds it and no target is known.
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "author/coff.h"
#include "author/input.h"
#include "author/program.h"

namespace fendrel_author {

struct CodeRegion {
    std::string origin; // "lib(member) section .text", "game.xbe section .text"
    std::span<const std::uint8_t> bytes;
    std::shared_ptr<const std::vector<std::uint8_t>> storage; // for image sections
    std::vector<bool> covered;                      // empty for images: every byte is known
    std::map<std::uint32_t, RelocatedField> fields; // by offset of the field
    std::map<std::uint32_t, std::string> starts;    // external symbols defined here, by offset
    const CoffObject *object = nullptr;             // null for images
    const CoffSection *section = nullptr;
    bool other = false; // not the library: `--against` code
    // Images only: where the bytes are loaded, and the slots of the kernel imports (from an XBE's
    // thunk table), so that a reference to a kernel export can be compared there.
    std::uint32_t virtual_address = 0;
    std::shared_ptr<const std::map<std::uint32_t, std::uint32_t>> kernel_slots;

    // A linked program: its bytes are what the game holds, only `covered` may differ in another
    // link.
    bool linked = false;

    bool unknown(std::size_t at) const { return !covered.empty() && covered[at]; }
    // Whether a record's byte may match there whatever it is: an object's field is patched when
    // linked; a program's bytes are already as linked.
    bool matches_any(std::size_t at) const { return !linked && unknown(at); }
};

// Every code section of the objects with bytes.
std::vector<CodeRegion> regions_of_objects(const std::vector<CoffObject> &objects, bool other);

// Every section with bytes of the linked program, with the fields placed in it.
std::vector<CodeRegion> regions_of_program(const LinkedProgram &program);

// Every section with bytes of the images (data too: the scanner searches some data sections).
std::vector<CodeRegion> regions_of_images(const std::vector<OtherCode::Image> &images);

} // namespace fendrel_author
