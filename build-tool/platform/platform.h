#pragma once
// Everything that differs between Windows and POSIX. One header, one implementation per
// platform (posix.cpp, windows.cpp); no other file includes <windows.h> or <unistd.h>.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace ormolt::platform {

// ---- Names ------------------------------------------------------------------------------

// Suffix of the programs the tool runs and of the compile output: ".exe" on Windows, none
// elsewhere. The installed program is always <exe>.exe (see install/).
#ifdef _WIN32
inline constexpr const char* executable_suffix = ".exe";
#else
inline constexpr const char* executable_suffix = "";
#endif

// ---- Process environment ----------------------------------------------------------------

// Full path of the running program file, when the platform can tell.
std::optional<std::filesystem::path> running_program_path();

// The value of an environment variable as a path; nullopt when it is not set (an empty value
// is set).
std::optional<std::filesystem::path> environment_path(const char* name);

// Per-user base folder for default builds: %LOCALAPPDATA% on Windows (set and not empty); on
// other systems LOCALAPPDATA when set and not empty, else $XDG_DATA_HOME, else
// $HOME/.local/share. nullopt when none is available.
std::optional<std::filesystem::path> per_user_base();

// Makes standard output carry bytes unchanged (no CR-LF translation on Windows) and makes writing
// to a closed standard output an ignorable error rather than the end of the process (POSIX).
void prepare_standard_streams();

// ---- Files (records, lock) --------------------------------------------------------------

enum class NewFile { Created, AlreadyExists, Failed };

// Creates a file that must not exist yet (an exclusive create) and writes the contents into it.
// A failure to write after the create is not reported: the file exists all the same. On Failed,
// error holds the reason.
NewFile create_new_file(const std::filesystem::path& file, std::string_view contents,
                        std::error_code& error);

// Moves a file over another, replacing an existing target in one step.
std::error_code replace_file(const std::filesystem::path& from, const std::filesystem::path& to);

// ---- Processes: liveness (build lock) ---------------------------------------------------

std::uint32_t current_process_id();

enum class Liveness { Running, NotRunning, Denied };

// Whether the process with this id is running. Denied: it exists but we may not ask, which the
// lock treats as alive.
Liveness process_liveness(std::uint32_t pid);

// ---- Child processes (tool runner) ------------------------------------------------------

// ---- Links and paths (translation, installation) ----------------------------------------

} // namespace ormolt::platform
