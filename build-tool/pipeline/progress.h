#pragma once
// The stages of a build and the "progress" events that report them.
#include <array>
#include <cstdint>
#include <string_view>

namespace ormolt {

enum class Stage { Game, Check, Lift, Configure, Compile, Install };

struct StageInfo {
    std::string_view name;
    std::string_view label;
    double weight;
    double base; // the sum of the weights above; stored so that base + weight is exact
};

inline constexpr std::array<StageInfo, 6> stage_table{{
    {"game", "Preparing the game files", 0.12, 0.0},
    {"check", "Checking the disc", 0.01, 0.12},
    {"lift", "Translating the game to C", 0.35, 0.13},
    {"configure", "Setting up the build", 0.02, 0.48},
    {"compile", "Compiling", 0.48, 0.5},
    {"install", "Finishing", 0.02, 0.98},
}};

const StageInfo &stage_info(Stage stage);

// Emits a "progress" event: done of total units of the stage, with the share of the whole
// build that is complete.
void report_progress(Stage stage, std::uint64_t done, std::uint64_t total, std::string_view detail);

} // namespace ormolt
