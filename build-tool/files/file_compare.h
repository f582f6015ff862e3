#pragma once
// Whether two files hold the same bytes, read chunk by chunk.
#include <filesystem>

namespace ormolt {

enum class Comparison { Equal, Different, NeitherReadable };

// The same answer as reading both files whole, without holding either in memory. One unreadable
// side makes them Different.
Comparison compare_files(const std::filesystem::path &a, const std::filesystem::path &b);

} // namespace ormolt
