#pragma once
// The sample game the demo and the end-to-end tests build: a small valid XBE as default.xbe, a
// few data files and the disc's own UDATA save folder, as a folder and as a disc image.
#include <filesystem>
#include <system_error>
#include <vector>

#include "testkit/disc_image_writer.h"
#include "testkit/xbe_builder.h"

namespace testkit {

// The sample game's XBE: title "Sample Game", title id 0x51520001, North America and Japan,
// three sections.
TestXbe sample_xbe();

// The game's files as disc nodes (default.xbe from the given XBE).
std::vector<DiscNode> sample_game_nodes(const TestXbe& xbe);

// Writes the tree into a folder (created as needed).
std::error_code write_game_folder(const std::filesystem::path& folder,
                                  const std::vector<DiscNode>& nodes);

} // namespace testkit
