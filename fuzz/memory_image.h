#pragma once
// An in-memory disc image behind the platform's positioned-read seam. A program that links this
// file gets its open_for_reading, read_at and file_size instead of the system's: every opened
// path reads the one image set here, so a fuzz input never touches the disk.
#include <cstdint>
#include <span>

namespace fuzz {

// The image reads as zero bytes up to `at`, then `bytes`, then ends. The bytes must stay alive
// while a reader uses them.
void set_memory_image(std::uint64_t at, std::span<const std::uint8_t> bytes);

} // namespace fuzz
