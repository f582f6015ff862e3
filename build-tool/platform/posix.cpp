// POSIX side of the platform seam.
#include "platform/platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
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

std::optional<fs::path> environment_path(const char *name) {
    const char *value = std::getenv(name);
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
    // event to a closed pipe fails (and is ignored) instead of raising SIGPIPE. An ignored signal
    // stays ignored across exec, so child processes must be given the default action back.
    std::signal(SIGPIPE, SIG_IGN);
}

// ---- Files (records, lock) --------------------------------------------------------------

namespace {

std::error_code last_error() {
    return std::error_code(errno, std::generic_category());
}

// An open file descriptor, closed on every way out.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// Reads to the end, or fails with file_too_large past limit bytes.
std::expected<std::string, std::error_code> read_up_to(int fd, std::size_t limit) {
    std::string bytes;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::unexpected(last_error());
        if (n == 0)
            return bytes;
        if (bytes.size() + static_cast<std::size_t>(n) > limit)
            return std::unexpected(std::make_error_code(std::errc::file_too_large));
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

std::error_code kind_error(mode_t mode) {
    if (S_ISDIR(mode))
        return std::make_error_code(std::errc::is_a_directory);
    return S_ISREG(mode) ? std::error_code() : not_a_regular_file();
}

bool same_file(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Takes the advisory lock that marks a lock file as held. Where the file system has no such
// locks, holding falls back to the process id alone.
enum class Flock { Taken, Busy, Unsupported };
Flock take_flock(int fd, bool wait) {
    for (;;) {
        if (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0)
            return Flock::Taken;
        if (errno == EINTR)
            continue;
        return errno == EWOULDBLOCK ? Flock::Busy : Flock::Unsupported;
    }
}

} // namespace

std::expected<std::string, std::error_code> read_regular_file(const fs::path &file,
                                                              std::size_t limit) {
    // Look before opening: opening a device can have effects of its own.
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return std::unexpected(last_error());
    if (auto error = kind_error(info.st_mode))
        return std::unexpected(error);
    // Non-blocking, so that a FIFO put there meanwhile cannot hold the open.
    Descriptor fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return std::unexpected(last_error());
    if (::fstat(fd.get(), &info) != 0)
        return std::unexpected(last_error());
    if (auto error = kind_error(info.st_mode))
        return std::unexpected(error);
    return read_up_to(fd.get(), limit);
}

std::error_code copy_file_replacing(const fs::path &from, const fs::path &to) {
    // A copy keeps the source's permissions: one of a read-only file could not be written over
    // by the next copy, so the owner may always write ours.
    const auto writable = [&to] {
        std::error_code ignored;
        fs::permissions(to, fs::perms::owner_write, fs::perm_options::add, ignored);
    };
    std::error_code error;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    if (error == std::errc::permission_denied && ::access(to.c_str(), F_OK) == 0) {
        writable();
        error.clear();
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    }
    if (!error)
        writable();
    return error;
}

std::error_code replace_file(const fs::path &from, const fs::path &to) {
    if (std::rename(from.c_str(), to.c_str()) != 0)
        return std::error_code(errno, std::generic_category());
    return {};
}

// ---- Processes: liveness (build lock) ---------------------------------------------------

std::uint32_t current_process_id() {
    return static_cast<std::uint32_t>(::getpid());
}

namespace {

// A process that has ended but whose parent has not collected it yet (a zombie) still answers
// kill(); where /proc exists its state letter tells. Without /proc it counts as running.
bool has_exited(std::uint32_t pid) {
    auto stat = read_regular_file("/proc/" + std::to_string(pid) + "/stat", 4096);
    if (!stat)
        return false;
    // "pid (name) S ...": the name may hold anything, parentheses included, so take the last ')'.
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos || close + 2 >= stat->size())
        return false;
    const char state = (*stat)[close + 2];
    return state == 'Z' || state == 'X';
}

} // namespace

Liveness process_liveness(std::uint32_t pid) {
    // Ids that do not fit pid_t, and 0 (which would address our process group), name no
    // process we could be waiting for.
    if (pid == 0 || pid > static_cast<std::uint32_t>(INT32_MAX))
        return Liveness::NotRunning;
    if (::kill(static_cast<pid_t>(pid), 0) != 0)
        return errno == EPERM ? Liveness::Denied : Liveness::NotRunning;
    return has_exited(pid) ? Liveness::NotRunning : Liveness::Running;
}

// ---- Lock files (build lock) -------------------------------------------------------------

// A holder keeps an advisory lock on its lock file for as long as it lives; the system drops it
// when the process ends, however it ends. Whoever clears a stale lock file holds that advisory
// lock while it reads, decides and removes, and removes the file only while the path still
// names the very file it read, so no two processes can both clear and re-create the lock.

namespace {

void write_contents(int fd, std::string_view contents) {
    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
}

// Where the file system has no hard links: an exclusive create, then the advisory lock. Between
// the two another process may find the file empty, judge it stale and remove it, which the check
// at the end notices.
NewLock create_lock_file_in_place(const fs::path &file, std::string_view contents,
                                  NativeHandle &held, std::error_code &error) {
    Descriptor fd(::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        if (errno == EEXIST)
            return NewLock::AlreadyExists;
        error = last_error();
        return NewLock::Failed;
    }
    (void)take_flock(fd.get(), true);
    write_contents(fd.get(), contents);
    struct stat ours {
    }, named{};
    if (::fstat(fd.get(), &ours) != 0 || ::stat(file.c_str(), &named) != 0 ||
        !same_file(ours, named))
        return NewLock::AlreadyExists;
    held = fd.release();
    return NewLock::Created;
}

} // namespace

NewLock create_lock_file(const fs::path &file, std::string_view contents, NativeHandle &held,
                         std::error_code &error) {
    // The lock file appears whole: written and locked under a name of our own, then linked to
    // its name, which fails when that exists. Nobody ever sees it empty or unlocked.
    static std::atomic<std::uint64_t> counter{0};
    std::string suffix = ".";
    suffix += std::to_string(::getpid());
    suffix += '-';
    suffix += std::to_string(counter.fetch_add(1));
    suffix += ".new";
    fs::path own = file;
    own += suffix;
    Descriptor fd(::open(own.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        error = last_error();
        return NewLock::Failed;
    }
    (void)take_flock(fd.get(), false);
    write_contents(fd.get(), contents);
    const int linked = ::link(own.c_str(), file.c_str());
    const int reason = errno;
    (void)::unlink(own.c_str());
    if (linked == 0) {
        held = fd.release();
        return NewLock::Created;
    }
    if (reason == EEXIST)
        return NewLock::AlreadyExists;
    if (reason == EPERM || reason == EOPNOTSUPP || reason == EMLINK || reason == ENOSYS)
        return create_lock_file_in_place(file, contents, held, error);
    error = std::error_code(reason, std::generic_category());
    return NewLock::Failed;
}

void release_lock_file(const fs::path &file, NativeHandle held) {
    // Removed while the advisory lock is still ours, so nobody can be clearing it meanwhile.
    (void)::unlink(file.c_str());
    close_handle(held);
}

bool held_by_its_writer(const fs::path &file) {
    Descriptor fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    return fd.get() >= 0 && take_flock(fd.get(), false) == Flock::Busy;
}

ExistingLock
clear_stale_lock(const fs::path &file,
                 const std::function<bool(const std::optional<std::string> &)> &is_stale) {
    Descriptor fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return ExistingLock::Gone;
        // Nothing to hold while deciding: a file we may not read is stale all the same, but
        // one that this account may not remove either keeps the folder busy.
        if (!is_stale(std::nullopt))
            return ExistingLock::Held;
        if (::unlink(file.c_str()) != 0 && (errno == EACCES || errno == EPERM))
            return ExistingLock::Held;
        return ExistingLock::Cleared;
    }
    if (take_flock(fd.get(), false) == Flock::Busy)
        return ExistingLock::Held;
    struct stat read_from {};
    std::optional<std::string> contents;
    if (::fstat(fd.get(), &read_from) == 0 && S_ISREG(read_from.st_mode))
        if (auto bytes = read_up_to(fd.get(), small_file_limit))
            contents = std::move(*bytes);
    if (!is_stale(contents))
        return ExistingLock::Held;
    struct stat named {};
    if (::stat(file.c_str(), &named) != 0 || !same_file(read_from, named))
        return ExistingLock::Gone;
    if (S_ISDIR(named.st_mode))
        (void)::rmdir(file.c_str());
    else if (::unlink(file.c_str()) != 0 && (errno == EACCES || errno == EPERM))
        return ExistingLock::Held; // stale, but ours to clear it is not
    return ExistingLock::Cleared;
}

// ---- Child processes (tool runner) ------------------------------------------------------

// ---- Links and paths (translation, installation) ----------------------------------------

} // namespace ormolt::platform
