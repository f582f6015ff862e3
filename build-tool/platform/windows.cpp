// Windows side of the platform seam.
#include "platform/platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <cstdlib>
#include <vector>

namespace ormolt::platform {

namespace fs = std::filesystem;

// ---- Process environment ----------------------------------------------------------------

std::optional<fs::path> running_program_path() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::nullopt;
        if (length < buffer.size())
            return fs::path(std::wstring(buffer.data(), length));
        if (buffer.size() >= 32768)
            return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<fs::path> environment_path(const char* name) {
    const std::wstring wide_name(name, name + std::char_traits<char>::length(name));
    const DWORD needed = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
    if (needed == 0) {
        // Set but empty also returns 0; only ERROR_ENVVAR_NOT_FOUND means unset.
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return std::nullopt;
        return fs::path();
    }
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), value.data(), needed);
    value.resize(length);
    return fs::path(value);
}

std::optional<fs::path> per_user_base() {
    auto value = environment_path("LOCALAPPDATA");
    if (value && !value->empty())
        return value;
    return std::nullopt;
}

void prepare_standard_streams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

// ---- Files (records, lock) --------------------------------------------------------------

NewFile create_new_file(const fs::path& file, std::string_view contents, std::error_code& error) {
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD reason = GetLastError();
        if (reason == ERROR_FILE_EXISTS || reason == ERROR_ALREADY_EXISTS)
            return NewFile::AlreadyExists;
        error = std::error_code(static_cast<int>(reason), std::system_category());
        return NewFile::Failed;
    }
    DWORD written = 0;
    (void)WriteFile(handle, contents.data(), static_cast<DWORD>(contents.size()), &written,
                    nullptr);
    CloseHandle(handle);
    return NewFile::Created;
}

std::error_code copy_file_replacing(const fs::path& from, const fs::path& to) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        return std::error_code(static_cast<int>(GetLastError()), std::system_category());
    return {};
}

std::error_code replace_file(const fs::path& from, const fs::path& to) {
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return std::error_code(static_cast<int>(GetLastError()), std::system_category());
    return {};
}

// ---- Processes: liveness (build lock) ---------------------------------------------------

std::uint32_t current_process_id() { return GetCurrentProcessId(); }

Liveness process_liveness(std::uint32_t pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED ? Liveness::Denied : Liveness::NotRunning;
    DWORD status = 0;
    const BOOL read = GetExitCodeProcess(process, &status);
    CloseHandle(process);
    return read && status == STILL_ACTIVE ? Liveness::Running : Liveness::NotRunning;
}

// ---- Child processes (tool runner) ------------------------------------------------------

// ---- Links and paths (translation, installation) ----------------------------------------

} // namespace ormolt::platform
