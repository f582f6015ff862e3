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

std::string marker_text(const Release &release) {
    return release.version + "\n" + path_text(release.release_dir) + "\n";
}

} // namespace

Result<> remove_build_tree(const fs::path &b) {
    if (auto removed = remove_if_present(b / "build" / "ormolt-release.txt"); !removed)
        return removed;
    return remove_if_present(b / "build");
}

std::string cmake_path_text(const fs::path &path) {
    std::string text = path_text(path);
    for (char &c : text)
        if (c == '\\')
            c = '/';
    return text;
}

Result<fs::path> configure_and_compile(const Release &release, const fs::path &b,
                                       const fs::path &log_path) {
    const fs::path &r = release.release_dir;
    const fs::path build = b / "build";
    const fs::path marker = build / "ormolt-release.txt";
    const fs::path unfinished = build / "ormolt-compiling.txt";
    const std::string expected_marker = marker_text(release);
    const std::vector<std::pair<std::string, std::string>> environment{
        {"ZIG_GLOBAL_CACHE_DIR", path_text(b / "zig-cache")},
        {"ZIG_LOCAL_CACHE_DIR", path_text(b / "zig-cache")}};
    const fs::path cmake = release_folder::cmake(r);

    const auto tool = [&](const char *name) {
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
    // A configure that fails part way leaves a tree that must not be reused, so the marker goes
    // before configuring and comes back only after a configure that succeeded.
    const auto configure_tree = [&]() -> Result<> {
        if (auto removed = remove_if_present(marker); !removed)
            return removed;
        if (auto configured = run_tool(configure); !configured)
            return configured;
        (void)write_file(marker, expected_marker);
        return {};
    };

    report_progress(Stage::Configure, 0, 1, "");
    const auto found_marker = read_utf8_file(marker);
    if (!found_marker || *found_marker != expected_marker)
        if (auto removed = remove_if_present(build); !removed)
            return std::unexpected(removed.error());

    std::error_code error;
    if (!fs::is_regular_file(build / "CMakeCache.txt", error)) {
        if (auto configured = configure_tree(); !configured)
            return std::unexpected(configured.error());
    } else if (fs::exists(unfinished, error) || error) {
        // The last compile never came to its end (killed, or stopped with the tool), perhaps
        // while CMake was rewriting its generated files. Configuring again over the tree makes
        // them whole and keeps what was already compiled (a repair that is itself killed leaves
        // the tree marked and unfinished, so the next build repairs it again); a tree that
        // cannot even be configured again is discarded and made afresh.
        if (!run_tool(configure)) {
            if (auto removed = remove_if_present(build); !removed)
                return std::unexpected(removed.error());
            if (auto configured = configure_tree(); !configured)
                return std::unexpected(configured.error());
        }
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
    // Stays only when the compile did not come back to us: the next build then repairs the tree.
    if (const auto written = write_file(unfinished, "compile started\n"); written)
        return fail(
            message("cannot write {}: {}", path_text(unfinished), system_error_text(written)));
    const auto compiled = run_tool(compile);
    (void)remove_if_present(unfinished);
    if (!compiled)
        return std::unexpected(compiled.error());

    fs::path executable = build / path_from_utf8(release.exe);
    executable += platform::executable_suffix;
    if (!fs::is_regular_file(executable, error))
        return fail(message("the compile finished but made no {}", path_text(executable)));
    return executable;
}

} // namespace ormolt
