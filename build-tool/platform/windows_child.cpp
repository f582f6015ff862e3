// Windows side of the platform seam: child processes, pipes and the append-only log file.
#include "platform/platform.h"
#include "platform/stop_state.h"
#include "platform/windows_file_calls.h"

#include <windows.h>

#include <atomic>
#include <cwctype>
#include <map>
#include <mutex>
#include <optional>

namespace ormolt::platform {

namespace fs = std::filesystem;

namespace {

std::error_code last_error() {
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

HANDLE as_handle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
NativeHandle as_native(HANDLE handle) {
    return reinterpret_cast<NativeHandle>(handle);
}

std::wstring wide(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                        length);
    return text;
}

// Quotes one argument so that the child's command-line parser gives it back unchanged:
// backslashes double only where they precede a quote or the closing quote.
void append_quoted(std::wstring &line, const std::wstring &argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            line.append(backslashes * 2 + 1, L'\\');
        else
            line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

std::wstring upper(std::wstring text) {
    for (auto &c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// The inherited environment with the command's variables added or replaced (names compare
// without regard to case, as Windows does), as a sorted block.
std::wstring environment_block(const ChildCommand &command) {
    std::map<std::wstring, std::wstring> entries; // upper-cased name -> "Name=value"
    if (wchar_t *block = GetEnvironmentStringsW()) {
        for (const wchar_t *entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
            const std::wstring text(entry);
            // Entries such as "=C:=C:\\" start with '='; the name ends at the next one.
            const std::size_t equals = text.find(L'=', 1);
            entries[upper(text.substr(0, equals))] = text;
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto &[name, value] : command.environment)
        entries[upper(wide(name))] = wide(name) + L"=" + wide(value);
    std::wstring block;
    for (const auto &[key, text] : entries) {
        block += text;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

// Every child runs in this job, which ends all of its processes when its last handle closes: when
// the tool ends, however it ends (a launcher's TerminateProcess included), the system closes it.
HANDLE children_job() {
    static const HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr); // not inheritable
        if (created == nullptr)
            return created;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                     sizeof limits)) {
            CloseHandle(created);
            return HANDLE(nullptr);
        }
        return created;
    }();
    return job;
}

BOOL WINAPI on_console_control(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    static std::atomic_flag stopping = ATOMIC_FLAG_INIT;
    if (stopping.test_and_set()) {
        Sleep(INFINITE); // the first request is ending the process
        return TRUE;
    }
    std::unique_lock guard(stop_state().lock);
    if (!stop_state().actions)
        return TRUE; // the run has returned and the process is ending by itself
    const int status = stop_state().actions->last_words();
    if (HANDLE job = children_job())
        (void)TerminateJobObject(job, 1);
    if (stop_state().actions->once_children_ended)
        stop_state().actions->once_children_ended();
    // At once: the command's own thread may hold locks that an orderly exit would wait on.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    return TRUE;
}

} // namespace

StopHandling::StopHandling(StopActions actions) {
    {
        std::lock_guard guard(stop_state().lock);
        stop_state().actions = std::move(actions);
    }
    (void)children_job();
    static const bool registered = SetConsoleCtrlHandler(on_console_control, TRUE) != FALSE;
    (void)registered;
}

StopHandling::~StopHandling() {
    std::lock_guard guard(stop_state().lock);
    stop_state().actions.reset();
}

void close_handle(NativeHandle handle) {
    if (handle != no_handle && handle != 0)
        CloseHandle(as_handle(handle));
}

std::expected<NativeHandle, std::error_code> open_for_append(const fs::path &file) {
    HANDLE handle = CreateFileW(windows::system_path(file).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::unexpected(last_error());
    return as_native(handle);
}

std::expected<NativeHandle, std::error_code> open_for_writing(const fs::path &file) {
    HANDLE handle = CreateFileW(windows::system_path(file).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::unexpected(last_error());
    return as_native(handle);
}

std::error_code write_all(NativeHandle handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(as_handle(handle), bytes.data(), chunk, &written, nullptr))
            return last_error();
        if (written == 0)
            return std::make_error_code(std::errc::io_error);
        bytes.remove_prefix(written);
    }
    return {};
}

std::expected<std::size_t, std::error_code> read_some(NativeHandle handle, char *buffer,
                                                      std::size_t size) {
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(as_handle(handle), buffer, wanted, &read, nullptr)) {
        if (GetLastError() == ERROR_BROKEN_PIPE)
            return 0;
        return std::unexpected(last_error());
    }
    return read;
}

std::expected<StartedChild, std::error_code> start_child(const ChildCommand &command) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE null_input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inheritable, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (null_input == INVALID_HANDLE_VALUE)
        return std::unexpected(last_error());
    HANDLE output_read = nullptr, output_write = nullptr;
    HANDLE errors_read = nullptr, errors_write = nullptr;
    auto close_all = [&] {
        for (HANDLE h : {null_input, output_read, output_write, errors_read, errors_write})
            if (h != nullptr && h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
    };
    if (!CreatePipe(&output_read, &output_write, &inheritable, 0) ||
        !CreatePipe(&errors_read, &errors_write, &inheritable, 0)) {
        const auto error = last_error();
        close_all();
        return std::unexpected(error);
    }
    // Our ends must not be inherited, or the child would keep its own pipes open.
    SetHandleInformation(output_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errors_read, HANDLE_FLAG_INHERIT, 0);

    std::wstring line;
    append_quoted(line, command.program.native());
    for (const auto &argument : command.arguments) {
        line += L' ';
        append_quoted(line, wide(argument));
    }
    std::wstring environment = environment_block(command);
    // A process's current folder must stay below the classic limit; a deeper one is given by
    // its short (8.3) name where the volume keeps those.
    std::wstring folder;
    if (command.working_folder) {
        folder = command.working_folder->native();
        if (folder.size() >= MAX_PATH - 1) {
            const std::wstring full = windows::system_path(*command.working_folder);
            std::wstring short_name(32768, L'\0');
            const DWORD length = GetShortPathNameW(full.c_str(), short_name.data(),
                                                   static_cast<DWORD>(short_name.size()));
            short_name.resize(length < short_name.size() ? length : 0);
            if (short_name.starts_with(L"\\\\?\\UNC\\"))
                short_name = L"\\\\" + short_name.substr(8);
            else if (short_name.starts_with(L"\\\\?\\"))
                short_name = short_name.substr(4);
            if (short_name.empty() || short_name.size() >= MAX_PATH - 1) {
                close_all();
                return std::unexpected(
                    std::error_code(ERROR_FILENAME_EXCED_RANGE, std::system_category()));
            }
            folder = short_name;
        }
    }

    // The child inherits exactly its three standard handles, nothing else that happens to be
    // inheritable at the moment.
    HANDLE inherited[] = {null_input, output_write, errors_write};
    SIZE_T list_size = 0;
    (void)InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
    std::vector<char> list_memory(list_size);
    auto *attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_memory.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &list_size)) {
        const auto error = last_error();
        close_all();
        return std::unexpected(error);
    }
    struct ListEnd {
        LPPROC_THREAD_ATTRIBUTE_LIST list;
        ~ListEnd() { DeleteProcThreadAttributeList(list); }
    } list_end{attributes};
    if (!UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                   sizeof inherited, nullptr, nullptr)) {
        const auto error = last_error();
        close_all();
        return std::unexpected(error);
    }

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = null_input;
    startup.StartupInfo.hStdOutput = output_write;
    startup.StartupInfo.hStdError = errors_write;
    startup.lpAttributeList = attributes;
    PROCESS_INFORMATION process{};
    // Suspended until it is in the job, so that nothing it starts escapes the job.
    const BOOL started =
        CreateProcessW(command.program.c_str(), line.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED |
                           EXTENDED_STARTUPINFO_PRESENT,
                       environment.data(), command.working_folder ? folder.c_str() : nullptr,
                       &startup.StartupInfo, &process);
    if (!started) {
        const auto error = last_error();
        close_all();
        return std::unexpected(error);
    }
    if (HANDLE job = children_job())
        (void)AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    CloseHandle(null_input);
    CloseHandle(output_write);
    CloseHandle(errors_write);
    return StartedChild{as_native(process.hProcess), as_native(output_read),
                        as_native(errors_read)};
}

std::expected<std::uint32_t, std::error_code> wait_for_child(NativeHandle process) {
    HANDLE handle = as_handle(process);
    if (WaitForSingleObject(handle, INFINITE) != WAIT_OBJECT_0) {
        const auto error = last_error();
        CloseHandle(handle);
        return std::unexpected(error);
    }
    DWORD code = 0;
    const BOOL read = GetExitCodeProcess(handle, &code);
    const auto error = last_error();
    CloseHandle(handle);
    if (!read)
        return std::unexpected(error);
    return static_cast<std::uint32_t>(code);
}

} // namespace ormolt::platform
