#pragma once
// Where a function's own code ends: the bytes between it and the next symbol are often alignment
// padding (int3 runs, one- and multi-byte no-ops) that belong to no function and must not be
// compared.
#include <cstdint>
#include <span>
#include <vector>

namespace fendrel_author {

// `end` moved back over trailing padding, never into a relocated byte and never to `start`.
std::uint32_t end_before_padding(std::span<const std::uint8_t> bytes,
                                 const std::vector<bool> &covered, std::uint32_t start,
                                 std::uint32_t end);

} // namespace fendrel_author
