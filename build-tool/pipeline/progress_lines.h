#pragma once
// Progress recognised in the output lines of the translation script and of the build.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ormolt {

struct LiftProgress {
    std::uint64_t count; // 1 to 4 of the script's four steps
    std::string detail;
};

// A translation script's progress line such as "  2/4 naming"; nullopt for any other line.
std::optional<LiftProgress> parse_lift_progress(std::string_view line);

struct CompileProgress {
    std::uint64_t done;
    std::uint64_t total;
    std::string detail;
};

// A build status line such as "[3/120] Building C object .../part_003.c.obj"; nullopt for any
// other line.
std::optional<CompileProgress> parse_compile_progress(std::string_view line);

} // namespace ormolt
