#pragma once
// Where the tool looks inside a release folder R. Every path below R is named here and nowhere
// else; programs carry the platform's executable suffix.
#include "platform/platform.h"

#include <filesystem>
#include <string>

namespace ormolt::release_folder {

inline constexpr const char *release_file = "release.json";
inline constexpr const char *toolkit_dir = "toolkit";
inline constexpr const char *recipe_dir = "recipe";
inline constexpr const char *engine_dir = "engine";
inline constexpr const char *runtime_dir = "runtime";
inline constexpr const char *recompile_script = "scripts/recompile.py"; // inside the toolkit
inline constexpr const char *shader_compiler = "dxc/libdxcompiler.so";
inline constexpr const char *shader_compiler_name = "libdxcompiler.so";
// Copied beside the game when present.
inline constexpr const char *optional_files[] = {"icon.ico", "icon.png", "LICENSE", "NOTICE.txt"};

inline std::filesystem::path program(const std::filesystem::path &release_dir,
                                     const std::filesystem::path &relative_without_suffix) {
    // Joined with the platform's own separator, as every path shown to a user or a child is.
    auto file = release_dir / std::filesystem::path(relative_without_suffix).make_preferred();
    file += platform::executable_suffix;
    return file;
}

inline std::filesystem::path fendrel_cli(const std::filesystem::path &r) {
    return program(r, "bin/FendrelCLI");
}
inline std::filesystem::path python(const std::filesystem::path &r) {
    return program(r, "python/python");
}
inline std::filesystem::path cmake(const std::filesystem::path &r) {
    return program(r, "toolchain/cmake/bin/cmake");
}
inline std::filesystem::path ninja(const std::filesystem::path &r) {
    return program(r, "toolchain/ninja/bin/ninja");
}
// The compiler wrappers: C, C++, archiver, ranlib, resource compiler.
inline std::filesystem::path toolchain_program(const std::filesystem::path &r, const char *name) {
    return program(r, std::filesystem::path("toolchain/bin") / name);
}

} // namespace ormolt::release_folder
