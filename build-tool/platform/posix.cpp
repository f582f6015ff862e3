// POSIX side of the platform seam.
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/types.h>
#include <unistd.h>

namespace ormolt::platform {

namespace fs = std::filesystem;

// ---- Process environment ----------------------------------------------------------------

std::optional<fs::path> running_program_path() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error || self.empty())
        return std::nullopt;
    return self;
}

std::optional<fs::path> environment_path(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return fs::path(value);
}

std::optional<fs::path> per_user_base() {
    for (const char* name : {"LOCALAPPDATA", "XDG_DATA_HOME"}) {
        auto value = environment_path(name);
        if (value && !value->empty())
            return value;
    }
    auto home = environment_path("HOME");
    if (home && !home->empty())
        return *home / ".local" / "share";
    return std::nullopt;
}

void prepare_standard_streams() {}

// ---- Processes: liveness (build lock) ---------------------------------------------------

std::uint32_t current_process_id() { return static_cast<std::uint32_t>(::getpid()); }

Liveness process_liveness(std::uint32_t pid) {
    // Ids that do not fit pid_t, and 0 (which would address our process group), name no
    // process we could be waiting for.
    if (pid == 0 || pid > static_cast<std::uint32_t>(INT32_MAX))
        return Liveness::NotRunning;
    if (::kill(static_cast<pid_t>(pid), 0) == 0)
        return Liveness::Running;
    return errno == EPERM ? Liveness::Denied : Liveness::NotRunning;
}

// ---- Child processes (tool runner) ------------------------------------------------------

// ---- Links and paths (translation, installation) ----------------------------------------

} // namespace ormolt::platform
