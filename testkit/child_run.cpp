#include "testkit/child_run.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace testkit {

namespace fs = std::filesystem;

#ifdef _WIN32

namespace {

std::wstring wide(const std::string &text) {
    if (text.empty())
        return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

void append_quoted(std::wstring &line, const std::wstring &argument) {
    line += L'"';
    std::size_t slashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        line.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        line += c;
    }
    line.append(slashes * 2, L'\\');
    line += L'"';
}

std::wstring command_line(const fs::path &program, const std::vector<std::string> &arguments) {
    std::wstring line;
    append_quoted(line, program.native());
    for (const auto &argument : arguments) {
        line += L' ';
        append_quoted(line, wide(argument));
    }
    return line;
}

std::wstring environment_block(const std::map<std::string, std::string> &environment) {
    std::wstring block;
    for (const auto &[name, value] : environment) {
        block += wide(name + "=" + value);
        block += L'\0';
    }
    block += L'\0';
    return block;
}

HANDLE null_input() {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A pipe whose writing end the child inherits and whose reading end stays ours alone.
bool capture_pipe(HANDLE &read_end, HANDLE &write_end) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    if (!CreatePipe(&read_end, &write_end, &inherit, 0))
        return false;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    return true;
}

// Reads a pipe to its end on a thread of its own, so that neither stream can block the other.
class PipeDrain {
  public:
    explicit PipeDrain(HANDLE pipe) : pipe_(pipe) {
        thread_ = CreateThread(nullptr, 0, &PipeDrain::run, this, 0, nullptr);
    }
    ~PipeDrain() { finish(); }
    PipeDrain(const PipeDrain &) = delete;
    PipeDrain &operator=(const PipeDrain &) = delete;

    // Waits for the end of the stream. A grandchild that outlived the child may still hold the
    // writing end; after a generous grace the read is cancelled rather than waited on for ever.
    std::string finish() {
        if (thread_ != nullptr) {
            if (WaitForSingleObject(thread_, 60'000) == WAIT_TIMEOUT) {
                CancelSynchronousIo(thread_);
                WaitForSingleObject(thread_, INFINITE);
            }
            CloseHandle(thread_);
            thread_ = nullptr;
        } else {
            drain();
        }
        if (pipe_ != nullptr) {
            CloseHandle(pipe_);
            pipe_ = nullptr;
        }
        return std::move(text_);
    }

  private:
    static DWORD WINAPI run(void *self) {
        static_cast<PipeDrain *>(self)->drain();
        return 0;
    }
    void drain() {
        char buffer[16384];
        DWORD got = 0;
        while (pipe_ != nullptr && ReadFile(pipe_, buffer, sizeof(buffer), &got, nullptr) &&
               got > 0)
            text_.append(buffer, got);
    }

    HANDLE pipe_;
    HANDLE thread_ = nullptr;
    std::string text_;
};

} // namespace

// The streams come back through pipes, never files: under Wine, reading back and removing a
// capture file the child had just written could stall the test program indefinitely.
ChildResult run_child(const fs::path &program, const std::vector<std::string> &arguments,
                      const ChildOptions &options) {
    ChildResult result;
    HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
    if (!capture_pipe(out_read, out_write))
        return result;
    if (!capture_pipe(err_read, err_write)) {
        CloseHandle(out_read);
        CloseHandle(out_write);
        return result;
    }
    if (options.reader_gone) {
        // Nobody listens: the child's first write fails as it would with a departed launcher.
        CloseHandle(out_read);
        out_read = nullptr;
    }
    HANDLE in = null_input();

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;
    PROCESS_INFORMATION process{};
    std::wstring line = command_line(program, arguments);
    std::wstring block;
    if (options.environment)
        block = environment_block(*options.environment);
    result.started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                    CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT,
                                    options.environment ? block.data() : nullptr,
                                    options.working_folder.c_str(), &startup, &process);
    // Only the child may hold the writing ends now, so the drains see the end of each stream.
    CloseHandle(in);
    CloseHandle(out_write);
    CloseHandle(err_write);
    PipeDrain out_drain(out_read);
    PipeDrain err_drain(err_read);
    if (result.started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.exit_code = code;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    result.out = out_drain.finish();
    result.err = err_drain.finish();
    return result;
}

void set_environment(const std::string &name, const std::optional<std::string> &value) {
    // The runtime's copy cannot hold an empty value; the system's copy, which programs read
    // through GetEnvironmentVariableW, can.
    _putenv_s(name.c_str(), value ? value->c_str() : "");
    SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
}

BackgroundChild::BackgroundChild(const fs::path &program) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring line = command_line(program, {});
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        handle_ = reinterpret_cast<std::intptr_t>(process.hProcess);
        pid_ = process.dwProcessId;
    }
}

void BackgroundChild::end() {
    if (handle_ == 0)
        return;
    HANDLE process = reinterpret_cast<HANDLE>(handle_);
    TerminateProcess(process, 1);
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
    handle_ = 0;
}

#else

namespace {

std::string slurp(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Where a child's stream is captured: in the scratch folder, else the working folder.
fs::path capture_file(const ChildOptions &options, const char *name) {
    return (options.scratch.empty() ? options.working_folder : options.scratch) / name;
}

// Reads the captured streams into the result and removes their files.
void collect_output(ChildResult &result, const ChildOptions &options) {
    const fs::path out_file = capture_file(options, ".child.out");
    const fs::path err_file = capture_file(options, ".child.err");
    if (!options.reader_gone)
        result.out = slurp(out_file);
    result.err = slurp(err_file);
    std::error_code ignored;
    fs::remove(out_file, ignored);
    fs::remove(err_file, ignored);
}

} // namespace

ChildResult run_child(const fs::path &program, const std::vector<std::string> &arguments,
                      const ChildOptions &options) {
    const fs::path out_file = capture_file(options, ".child.out");
    const fs::path err_file = capture_file(options, ".child.err");
    std::vector<std::string> argv_text{program.string()};
    argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env_text;
    if (options.environment)
        for (const auto &[name, value] : *options.environment)
            env_text.push_back(name + "=" + value);
    const auto pointers = [](std::vector<std::string> &texts) {
        std::vector<char *> result;
        for (std::string &text : texts)
            result.push_back(text.data());
        result.push_back(nullptr);
        return result;
    };
    std::vector<char *> argv = pointers(argv_text);
    std::vector<char *> envp = pointers(env_text);

    int gone[2] = {-1, -1};
    if (options.reader_gone && ::pipe(gone) != 0)
        return {};
    int terminal = -1, terminal_side = -1;
    if (options.terminal_columns) {
        winsize size{};
        size.ws_row = 40;
        size.ws_col = *options.terminal_columns;
        if (::openpty(&terminal, &terminal_side, nullptr, nullptr, &size) != 0)
            return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (terminal >= 0) {
        posix_spawn_file_actions_adddup2(&actions, terminal_side, 1);
        posix_spawn_file_actions_addclose(&actions, terminal_side);
        posix_spawn_file_actions_addclose(&actions, terminal);
    } else if (options.reader_gone) {
        ::close(gone[0]);
        posix_spawn_file_actions_adddup2(&actions, gone[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addchdir_np(&actions, options.working_folder.c_str());
    // As a launcher's child would have it, whatever this test program does with SIGPIPE.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    pid_t child = 0;
    ChildResult result;
    result.started = ::posix_spawn(&child, argv[0], &actions, &attributes, argv.data(),
                                   options.environment ? envp.data() : environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (options.reader_gone)
        ::close(gone[1]);
    std::string shown;
    if (terminal >= 0) {
        // Read while the child runs, or it blocks once the terminal's buffer is full. The read
        // fails (EIO) once no process holds the terminal's other side any more.
        ::close(terminal_side);
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(terminal, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            if (shown.size() < (16u << 20)) // bounded: a runaway child cannot fill the memory
                shown.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(terminal);
    }
    if (result.started) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        result.exit_code = WIFEXITED(status) ? static_cast<std::uint32_t>(WEXITSTATUS(status))
                                             : 128u + static_cast<std::uint32_t>(WTERMSIG(status));
    }
    collect_output(result, options);
    if (terminal >= 0)
        result.out = std::move(shown);
    return result;
}

void set_environment(const std::string &name, const std::optional<std::string> &value) {
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
}

BackgroundChild::BackgroundChild(const fs::path &program) {
    const std::string path = program.string();
    char *argv[] = {const_cast<char *>(path.c_str()), nullptr};
    pid_t child = 0;
    if (::posix_spawn(&child, path.c_str(), nullptr, nullptr, argv, environ) == 0)
        pid_ = static_cast<std::uint32_t>(child);
}

void BackgroundChild::end() {
    if (pid_ == 0)
        return;
    ::kill(static_cast<pid_t>(pid_), SIGKILL);
    int status = 0;
    ::waitpid(static_cast<pid_t>(pid_), &status, 0);
    pid_ = 0;
}

#endif

BackgroundChild::~BackgroundChild() {
    end();
}

} // namespace testkit
