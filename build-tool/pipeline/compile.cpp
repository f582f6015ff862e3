#include "pipeline/compile.h"

#include "files/folder_tree.h"
#include "pipeline/progress.h"
#include "pipeline/progress_lines.h"
#include "pipeline/tool_run.h"
#include "platform/platform.h"
#include "records/message.h"
#include "records/release_folder.h"
#include "records/text_file.h"
#include "records/unicode_case.h"


namespace ormolt {

namespace fs = std::filesystem;

namespace {

void report_compile_line(std::string_view line) {
    if (auto progress = parse_compile_progress(line))
        report_progress(Stage::Compile, progress->done, progress->total, progress->detail);
}

std::string marker_text(const Release& release) {
    return release.version + "\n" + path_text(release.release_dir) + "\n";
}

} // namespace

std::string cmake_path_text(const fs::path& path) {
    std::string text = path_text(path);
    for (char& c : text)
        if (c == '\\')
            c = '/';
    return text;
}

Result<fs::path> configure_and_compile(const Release& release, const fs::path& b,
                                       const fs::path& log_path) {
    const fs::path& r = release.release_dir;
    const fs::path build = b / "build";
    const fs::path marker = build / "ormolt-release.txt";
    const std::string expected_marker = marker_text(release);
    const std::vector<std::pair<std::string, std::string>> environment{
        {"ZIG_GLOBAL_CACHE_DIR", path_text(b / "zig-cache")},
        {"ZIG_LOCAL_CACHE_DIR", path_text(b / "zig-cache")}};
    const fs::path cmake = release_folder::cmake(r);

    report_progress(Stage::Configure, 0, 1, "");
    const auto found_marker = read_utf8_file(marker);
    if (!found_marker || *found_marker != expected_marker)
        if (auto removed = remove_if_present(build); !removed)
            return std::unexpected(removed.error());

    std::error_code error;
    if (!fs::is_regular_file(build / "CMakeCache.txt", error)) {
        const auto tool = [&](const char* name) {
            return cmake_path_text(release_folder::toolchain_program(r, name));
        };
        ToolRun configure{
            .program = cmake,
            .arguments = {"-S", path_text(b / "project"), "-B", path_text(build), "-G", "Ninja",
                          "-DCMAKE_MAKE_PROGRAM=" + cmake_path_text(release_folder::ninja(r)),
                          "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_C_COMPILER=" + tool("zcc"),
                          "-DCMAKE_CXX_COMPILER=" + tool("zc++"), "-DCMAKE_AR=" + tool("zar"),
                          "-DCMAKE_RANLIB=" + tool("zranlib"),
                          "-DORMOLT_DIR=" + cmake_path_text(r / release_folder::engine_dir),
                          "-DCMAKE_RC_COMPILER=" + tool("zrc")},
            .working_folder = b,
            .environment = environment,
            .step_name = "CMake",
            .log_path = log_path};
        if (auto configured = run_tool(configure); !configured)
            return std::unexpected(configured.error());
        // Only a configure that succeeded is marked, so a failed one is started afresh.
        (void)write_file(marker, expected_marker);
    }
    report_progress(Stage::Configure, 1, 1, "");
    report_progress(Stage::Compile, 0, 1, "");

    ToolRun compile{.program = cmake,
                    .arguments = {"--build", path_text(build), "--target", release.exe},
                    .working_folder = b,
                    .environment = environment,
                    .step_name = "the compile",
                    .log_path = log_path,
                    .line_hook = report_compile_line};
    if (auto compiled = run_tool(compile); !compiled)
        return std::unexpected(compiled.error());

    fs::path executable = build / path_from_utf8(release.exe);
    executable += platform::executable_suffix;
    if (!fs::is_regular_file(executable, error))
        return fail(message("the compile finished but made no {}", path_text(executable)));
    return executable;
}

} // namespace ormolt
