#include "install/install_game.h"

#include "files/folder_sync.h"
#include "pipeline/progress.h"
#include "platform/platform.h"
#include "records/build_folders.h"
#include "records/message.h"
#include "records/release_folder.h"
#include "records/state_records.h"
#include "records/text_file.h"

namespace ormolt {

namespace fs = std::filesystem;

namespace {

bool is_folder(const fs::path &path) {
    std::error_code ignored;
    return fs::is_directory(path, ignored);
}

bool is_file(const fs::path &path) {
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

std::error_code copy_replacing(const fs::path &from, const fs::path &to) {
    return platform::copy_file_replacing(from, to);
}

// The new program is complete under ".part" before it replaces the old one, so a failure
// never leaves a half-written program under the real name.
Result<> install_program(const fs::path &compiled_program, const fs::path &installed) {
    fs::path partial = installed;
    partial += ".part";
    std::error_code error = copy_replacing(compiled_program, partial);
    if (!error)
        error = platform::replace_file(partial, installed);
    if (error)
        return fail(
            message("cannot install {}: {}", path_text(installed), system_error_text(error)));
    return {};
}

Result<> install_shader_compiler(const fs::path &release_dir, const fs::path &folder) {
    const fs::path source = release_dir / release_folder::shader_compiler;
    if (!is_file(source))
        return {};
    const fs::path target = folder / release_folder::shader_compiler_name;
    (void)platform::remove_file(target);
    if (auto error = copy_replacing(source, target))
        return fail(message("cannot copy the shader compiler: {}", system_error_text(error)));
    return {};
}

Result<> install_launcher(const Release &release, const fs::path &folder) {
    if (!release.launcher)
        return {};
    const std::string &name = *release.launcher;
    if (!is_bare_file_name(name))
        return fail("invalid launcher file name in release.json");
    const fs::path file = path_from_utf8(name);
    if (auto error = copy_replacing(release.release_dir / file, folder / file))
        return fail(message("cannot install launcher: {}", system_error_text(error)));
    return {};
}

Result<> install_optional_files(const fs::path &release_dir, const fs::path &folder) {
    for (const char *name : release_folder::optional_files) {
        const fs::path source = release_dir / name;
        if (!is_file(source))
            continue;
        if (auto error = copy_replacing(source, folder / name))
            return fail(message("cannot install {}: {}", name, system_error_text(error)));
    }
    return {};
}

// The game keeps its saves and settings in "user" beside it when the flag file is there.
Result<> enable_portable_installation(const fs::path &folder) {
    std::error_code error = platform::create_folders(folder / installation_entries::user_dir);
    if (!error)
        error = write_file(folder / installation_entries::portable_flag, "1\n");
    if (error)
        return fail(message("cannot enable portable installation: {}", system_error_text(error)));
    return {};
}

} // namespace

std::string installed_program_name(const Release &release) {
    return release.exe + installation_entries::installed_program_suffix;
}

bool is_bare_file_name(std::string_view name) {
    // Both platforms' separators are refused everywhere: a release means the same on each.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos ||
        !is_valid_utf8(name))
        return false;
    const fs::path path = path_from_utf8(name);
    return path.filename() == path && !path.has_root_path();
}

Result<fs::path> install_game(const Release &release, const fs::path &folder,
                              const fs::path &compiled_program, std::string_view xbe_sha1) {
    report_progress(Stage::Install, 0, 1, "");
    const fs::path &release_dir = release.release_dir;
    const std::string program_name = installed_program_name(release);
    const fs::path installed = folder / path_from_utf8(program_name);

    if (auto done = install_program(compiled_program, installed); !done)
        return std::unexpected(done.error());
    const fs::path runtime = release_dir / release_folder::runtime_dir;
    if (is_folder(runtime)) {
        if (auto done = sync_folder_tree(runtime, folder); !done)
            return std::unexpected(done.error());
    }
    if (auto done = install_shader_compiler(release_dir, folder); !done)
        return std::unexpected(done.error());
    if (auto done = install_launcher(release, folder); !done)
        return std::unexpected(done.error());
    if (auto done = install_optional_files(release_dir, folder); !done)
        return std::unexpected(done.error());
    if (auto done = enable_portable_installation(folder); !done)
        return std::unexpected(done.error());

    // Last: the stamp is what marks the folder as holding this finished build.
    const Stamp stamp{release.version, release.title_id, std::string(xbe_sha1), program_name};
    if (auto done = write_stamp(folder / installation_entries::stamp, stamp); !done)
        return std::unexpected(done.error());
    return installed;
}

} // namespace ormolt
