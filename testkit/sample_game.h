#pragma once
// The sample game the demo and the end-to-end tests build: a small valid XBE as default.xbe, a
// few data files and the disc's own UDATA save folder, as a folder and as a disc image.
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include "testkit/disc_image_writer.h"
#include "testkit/xbe_builder.h"

namespace testkit {

// The sample game's XBE: title "Sample Game", title id 0x51520001, North America and Japan,
// four sections. Its code carries XDK functions that the scanner's built-in database
// recognises, linked in as the XDK's libraries would be: sample_xdk_symbols lists them.
TestXbe sample_xbe();

struct SampleSymbol {
    const char *library;
    const char *name;
    std::uint32_t address;
};

// What a scan of the sample XBE finds, in the order the scanner reports it.
std::vector<SampleSymbol> sample_xdk_symbols();

// The game's files as disc nodes (default.xbe from the given XBE).
std::vector<DiscNode> sample_game_nodes(const TestXbe &xbe);

// Writes the tree into a folder (created as needed).
std::error_code write_game_folder(const std::filesystem::path &folder,
                                  const std::vector<DiscNode> &nodes);

} // namespace testkit
