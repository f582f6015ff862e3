// POSIX side of the platform seam: child processes, pipes and the append-only log file.
#include "platform/platform.h"
#include "platform/stop_state.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace ormolt::platform {

namespace fs = std::filesystem;

namespace {

std::error_code last_error() {
    return std::error_code(errno, std::generic_category());
}
std::error_code error_of(int code) {
    return std::error_code(code, std::generic_category());
}

// The inherited environment with the command's variables added or replaced.
std::vector<std::string> child_environment(const ChildCommand &command) {
    std::vector<std::string> entries;
    for (char **entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto &[added, value] : command.environment)
            replaced = replaced || added == name;
        if (!replaced)
            entries.emplace_back(text);
    }
    for (const auto &[name, value] : command.environment)
        entries.push_back(name + "=" + value);
    return entries;
}

struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

// The running child, which leads a process group of its own; 0 when none runs. A stop request
// ends that group; the lock keeps a child from starting once the tool is being stopped.
struct Children {
    std::mutex lock;
    pid_t running = 0;
    bool stopping = false;
};
Children &children() {
    static Children state;
    return state;
}

} // namespace

StopHandling::StopHandling(StopActions actions) {
    {
        std::lock_guard guard(stop_state().lock);
        stop_state().actions = std::move(actions);
    }
    // The three signals go to one thread that waits for them; every other thread, started
    // later, inherits the blocked mask. Children get an empty mask (see start_child).
    static const bool started = [] {
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        sigaddset(&stops, SIGHUP);
        if (pthread_sigmask(SIG_BLOCK, &stops, nullptr) != 0)
            return false;
        std::thread([stops] {
            for (;;) {
                int signal = 0;
                while (sigwait(&stops, &signal) != 0) {
                }
                std::unique_lock guard(stop_state().lock);
                if (!stop_state().actions)
                    continue; // the run has returned and the process is ending by itself
                // First the last words, so that the child's end cannot be reported as a
                // failure of its own before them.
                const int status = stop_state().actions->last_words();
                pid_t child = 0;
                {
                    std::lock_guard children_guard(children().lock);
                    children().stopping = true;
                    child = children().running;
                }
                if (child > 0) {
                    // The whole group: what the child started goes too. Waited for without
                    // collecting it (the waiting thread may do that), so that nothing of it runs
                    // on once we end.
                    ::kill(-child, SIGKILL);
                    siginfo_t info{};
                    while (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) !=
                               0 &&
                           errno == EINTR) {
                    }
                }
                if (stop_state().actions->once_children_ended)
                    stop_state().actions->once_children_ended();
                ::_exit(status);
            }
        }).detach();
        return true;
    }();
    (void)started;
}

StopHandling::~StopHandling() {
    std::lock_guard guard(stop_state().lock);
    stop_state().actions.reset();
}

void close_handle(NativeHandle handle) {
    if (handle != no_handle)
        ::close(static_cast<int>(handle));
}

std::expected<NativeHandle, std::error_code> open_for_append(const fs::path &file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::unexpected(last_error());
    return fd;
}

std::expected<NativeHandle, std::error_code> open_for_writing(const fs::path &file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::unexpected(last_error());
    return fd;
}

std::error_code write_all(NativeHandle handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(static_cast<int>(handle), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? last_error() : error_of(EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

std::expected<std::size_t, std::error_code> read_some(NativeHandle handle, char *buffer,
                                                      std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(handle), buffer, size);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            return std::unexpected(last_error());
    }
}

std::expected<StartedChild, std::error_code> start_child(const ChildCommand &command) {
    int output[2];
    int errors[2];
    if (::pipe2(output, O_CLOEXEC) != 0)
        return std::unexpected(last_error());
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        const auto error = last_error();
        ::close(output[0]);
        ::close(output[1]);
        return std::unexpected(error);
    }
    auto close_all = [&] {
        for (int fd : {output[0], output[1], errors[0], errors[1]})
            ::close(fd);
    };

    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&setup.actions, errors[1], 2);
    if (command.working_folder)
        posix_spawn_file_actions_addchdir_np(&setup.actions, command.working_folder->c_str());
    // We ignore SIGPIPE for ourselves; the child gets the usual action back.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    // A process group of its own, which a stop request ends whole.
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK |
                                                    POSIX_SPAWN_SETPGROUP);

    std::vector<std::string> arguments;
    arguments.push_back(command.program.string());
    arguments.insert(arguments.end(), command.arguments.begin(), command.arguments.end());
    std::vector<char *> argv;
    for (auto &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = child_environment(command);
    std::vector<char *> envp;
    for (auto &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    std::unique_lock guard(children().lock);
    if (children().stopping) {
        close_all();
        return std::unexpected(error_of(ECANCELED));
    }
    const int spawned = ::posix_spawn(&pid, command.program.c_str(), &setup.actions,
                                      &setup.attributes, argv.data(), envp.data());
    if (spawned == 0)
        children().running = pid;
    guard.unlock();
    if (spawned != 0) {
        close_all();
        return std::unexpected(error_of(spawned));
    }
    ::close(output[1]);
    ::close(errors[1]);
    return StartedChild{pid, output[0], errors[0]};
}

std::expected<std::uint32_t, std::error_code> wait_for_child(NativeHandle process) {
    int status = 0;
    for (;;) {
        if (::waitpid(static_cast<pid_t>(process), &status, 0) >= 0)
            break;
        if (errno != EINTR)
            return std::unexpected(last_error());
    }
    {
        std::lock_guard guard(children().lock);
        if (children().running == static_cast<pid_t>(process))
            children().running = 0;
    }
    if (WIFEXITED(status))
        return static_cast<std::uint32_t>(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return static_cast<std::uint32_t>(128 + WTERMSIG(status));
    return static_cast<std::uint32_t>(status);
}

} // namespace ormolt::platform
