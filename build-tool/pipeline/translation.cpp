#include "pipeline/translation.h"

#include "files/folder_sync.h"
#include "pipeline/progress.h"
#include "pipeline/progress_lines.h"
#include "pipeline/tool_run.h"
#include "platform/platform.h"
#include "records/disc_names.h"
#include "records/message.h"
#include "records/plain_path.h"
#include "records/release_folder.h"
#include "records/unicode_case.h"

#include <algorithm>
#include <vector>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

// Every script run gets these on top of the tool's own environment.
// The scripts' output is read as UTF-8: without PYTHONIOENCODING, Python on Windows writes to
// a pipe in the ANSI code page and fails on a path that it cannot hold.
std::vector<std::pair<std::string, std::string>> script_environment(const fs::path &tmp) {
    return {{"PYTHONDONTWRITEBYTECODE", "1"},
            {"PYTHONIOENCODING", "utf-8"},
            {"PYTHONUNBUFFERED", "1"},
            {"TMPDIR", path_text(tmp)}};
}

void report_lift_line(std::string_view line) {
    if (auto progress = parse_lift_progress(line))
        report_progress(Stage::Lift, progress->count, 5, progress->detail);
}

bool is_file(const fs::path &path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// Puts the game's XBE into B/pipe/xbe for the scripts: a hard link when possible, else a copy.
Result<> place_xbe(const fs::path &installation_folder, const Release &release) {
    const std::string xbe_name = release.xbe_name();
    const fs::path xbe_dir = installation_folder / "pipe" / "xbe";
    if (auto error = platform::create_folders(xbe_dir))
        return fail(message("cannot create {}: {}", path_text(xbe_dir), system_error_text(error)));
    const fs::path linked = xbe_dir / path_from_utf8(xbe_name);
    (void)platform::remove_file(linked);
    std::error_code error;
    const fs::path game_xbe =
        canonical_plain(xbe_in_folder(release, installation_folder / "game"), error);
    if (error)
        return fail(message("cannot find {}: {}", xbe_name, system_error_text(error)));
    fs::create_hard_link(game_xbe, linked, error);
    if (error) {
        error.clear();
        error = platform::copy_file_replacing(game_xbe, linked);
        if (error)
            return fail(message("cannot copy {}: {}", xbe_name, system_error_text(error)));
    }
    return {};
}

Result<> standard_translation(const Release &release, const Image &image, const fs::path &b,
                              const fs::path &log_path) {
    const fs::path &r = release.release_dir;
    const std::string xbe_name = release.xbe_name();
    const fs::path config = b / "project" / path_from_utf8(image.config.value_or("config"));
    const fs::path xbe = b / "pipe" / "xbe" / path_from_utf8(xbe_name);
    const fs::path symbols = b / "pipe" / "xbe" / path_from_utf8(symbols_file_name(xbe_name));
    const auto environment = script_environment(b / "tmp");
    const fs::path toolkit = r / release_folder::toolkit_dir;

    report_progress(Stage::Lift, 0, 5, "naming the XDK functions");
    if (is_file(config / "xdk_symbols.json")) {
        const std::error_code error =
            platform::copy_file_replacing(config / "xdk_symbols.json", symbols);
        if (error)
            return fail(message("cannot copy the XDK symbols: {}", system_error_text(error)));
    } else {
        ToolRun scan{.program = release_folder::python(r),
                     .arguments = {"-m", "tools.xdk_symbols", path_text(xbe), "--cli",
                                   path_text(release_folder::fendrel_cli(r)), "--out",
                                   path_text(symbols)},
                     .working_folder = toolkit,
                     .environment = environment,
                     .step_name = "Fendrel",
                     .log_path = log_path};
        if (auto scanned = run_tool(scan); !scanned)
            return scanned;
    }

    std::vector<std::string> arguments{
        path_text(toolkit / fs::path(release_folder::recompile_script).make_preferred()),
        path_text(xbe),
        "--work-dir",
        path_text(b / "pipe" / "out"),
        "--project",
        path_text(b / "project")};
    if (is_file(config / "seeds.json")) {
        arguments.push_back("--seeds");
        arguments.push_back(path_text(config / "seeds.json"));
    }
    if (is_file(config / "xbe_patches.json")) {
        arguments.push_back("--xbe-patches");
        arguments.push_back(path_text(config / "xbe_patches.json"));
    } else if (image.config) {
        arguments.push_back("--no-xbe-patches");
    }
    ToolRun translate{.program = release_folder::python(r),
                      .arguments = arguments,
                      .working_folder = toolkit,
                      .environment = environment,
                      .step_name = "the translation to C",
                      .log_path = log_path,
                      .line_hook = report_lift_line};
    if (auto translated = run_tool(translate); !translated)
        return translated;
    report_progress(Stage::Lift, 5, 5, "");
    return {};
}

// B/project/ormolt must reach the toolkit; an existing link to it is kept.
Result<> link_toolkit(const fs::path &toolkit, const fs::path &link) {
    if (auto target = platform::read_directory_link(link);
        target && std::ranges::equal(*target, toolkit))
        return {};
    // A file, or an empty folder or a link (also one whose target has gone), never what a
    // link points at.
    if (platform::is_link(link))
        (void)platform::remove_link(link);
    else if (platform::remove_file(link))
        (void)platform::remove_empty_folder(link);
    if (auto error = platform::make_directory_link(link, toolkit))
        return fail(
            message("cannot link the pipeline into the project: {}", system_error_text(error)));
    return {};
}

std::string replace_all(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

Result<> custom_translation(const Release &release, const Image &image, const fs::path &b,
                            const fs::path &log_path) {
    const fs::path &r = release.release_dir;
    const fs::path project = b / "project";
    if (auto linked = link_toolkit(r / release_folder::toolkit_dir, project / "ormolt"); !linked)
        return linked;
    const std::vector<std::string> &lift = *release.lift;
    if (lift.empty())
        return fail("release.json's lift names no script");
    report_progress(Stage::Lift, 0, 5, image.name);

    const std::string xbe_dir = path_text(b / "pipe" / "xbe");
    std::vector<std::string> arguments{path_text(project / path_from_utf8(lift.front()))};
    for (std::size_t i = 1; i < lift.size(); ++i)
        arguments.push_back(replace_all(lift[i], "{xbe_dir}", xbe_dir));
    ToolRun run{.program = release_folder::python(r),
                .arguments = arguments,
                .working_folder = project,
                .environment = script_environment(b / "tmp"),
                .step_name = "the translation to C",
                .log_path = log_path,
                .line_hook = report_lift_line};
    if (auto translated = run_tool(run); !translated)
        return translated;
    report_progress(Stage::Lift, 5, 5, "");
    return {};
}

} // namespace

Result<> translate_game(const Release &release, const Image &image,
                        const fs::path &installation_folder, const fs::path &log_path) {
    const fs::path &r = release.release_dir;
    if (auto synced =
            sync_folder_tree(r / release_folder::recipe_dir, installation_folder / "project");
        !synced)
        return synced;
    if (auto placed = place_xbe(installation_folder, release); !placed)
        return placed;
    (void)platform::create_folders(installation_folder / "tmp");
    if (release.lift)
        return custom_translation(release, image, installation_folder, log_path);
    return standard_translation(release, image, installation_folder, log_path);
}

} // namespace ormolt
