// POSIX side of the platform seam.
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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
    auto local = environment_path("LOCALAPPDATA");
    if (local && !local->empty())
        return local;
    // A relative XDG_DATA_HOME is invalid and to be ignored.
    auto data_home = environment_path("XDG_DATA_HOME");
    if (data_home && data_home->is_absolute())
        return data_home;
    auto home = environment_path("HOME");
    if (home && !home->empty())
        return *home / ".local" / "share";
    return std::nullopt;
}

void prepare_standard_streams() {
    // A launcher that stops reading must not end the tool in the middle of a build: writing an
    // event to a closed pipe fails (and is ignored) instead of raising SIGPIPE. An ignored signal stays
    // ignored across exec, so child processes must be given the default action back.
    std::signal(SIGPIPE, SIG_IGN);
}

// ---- Files (records, lock) --------------------------------------------------------------

NewFile create_new_file(const fs::path& file, std::string_view contents, std::error_code& error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int reason = errno;
        if (reason == EEXIST)
            return NewFile::AlreadyExists;
        error = std::error_code(reason, std::generic_category());
        return NewFile::Failed;
    }
    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return NewFile::Created;
}

std::error_code copy_file_replacing(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    return error;
}

std::error_code replace_file(const fs::path& from, const fs::path& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0)
        return std::error_code(errno, std::generic_category());
    return {};
}

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
