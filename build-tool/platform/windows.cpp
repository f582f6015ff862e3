// Windows side of the platform seam.
#include "platform/platform.h"
#include "platform/windows_file_calls.h"

#include <windows.h>

#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <utility>
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

std::optional<fs::path> environment_path(const char *name) {
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

namespace {

// The system's own error, so that messages give its own description, in the user's language.
std::error_code error_of(DWORD code) {
    return std::error_code(static_cast<int>(code), std::system_category());
}

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    HANDLE get() const { return handle_; }
    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

  private:
    HANDLE handle_;
};

// Reads to the end, or fails with file_too_large past limit bytes.
std::expected<std::string, std::error_code> read_up_to(HANDLE handle, std::size_t limit) {
    std::string bytes;
    char buffer[8192];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &n, nullptr))
            return std::unexpected(error_of(GetLastError()));
        if (n == 0)
            return bytes;
        if (bytes.size() + n > limit)
            return std::unexpected(std::make_error_code(std::errc::file_too_large));
        bytes.append(buffer, n);
    }
}

// Marks the open file for deletion when its last handle closes: removes exactly that file.
// Deletes the open file so that its name goes at once, even while other programs hold it open
// (POSIX semantics, where the system has them); elsewhere when the last handle closes, and
// until then the name stays taken.
bool delete_name_now(HANDLE handle) {
    struct {
        DWORD flags;
    } posix_disposition{0x1 | 0x2}; // FILE_DISPOSITION_FLAG_DELETE | _POSIX_SEMANTICS
    constexpr auto disposition_ex = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
    if (SetFileInformationByHandle(handle, disposition_ex, &posix_disposition,
                                   sizeof posix_disposition))
        return true;
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

} // namespace

std::expected<std::string, std::error_code> read_regular_file(const fs::path &file,
                                                              std::size_t limit) {
    const DWORD attributes = GetFileAttributesW(windows::system_path(file).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::unexpected(error_of(GetLastError()));
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return std::unexpected(std::make_error_code(std::errc::is_a_directory));
    // Sharing delete too, so that a writer may replace the file by rename while we read it.
    Handle handle(CreateFileW(windows::system_path(file).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE)
        return std::unexpected(error_of(GetLastError()));
    // Pipes, consoles and devices are no record.
    if (GetFileType(handle.get()) != FILE_TYPE_DISK)
        return std::unexpected(not_a_regular_file());
    return read_up_to(handle.get(), limit);
}

namespace {

// Renames with POSIX semantics: the target is replaced even while a reader has it open (with
// delete sharing, as our readers open). Not every system offers it.
bool replace_posix_style(const fs::path &from, const fs::path &to) {
    const std::wstring target = windows::system_path(to);
    Handle handle(CreateFileW(windows::system_path(from).c_str(), DELETE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE)
        return false;
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto *info = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
    info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), info->FileName);
    // FileRenameInfoEx, which these headers declare only for newer targets.
    constexpr auto rename_info_ex = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    return SetFileInformationByHandle(handle.get(), rename_info_ex, info,
                                      static_cast<DWORD>(buffer.size())) != 0;
}

} // namespace

std::error_code replace_file(const fs::path &from, const fs::path &to) {
    // Neither kind of rename replaces a read-only file.
    const DWORD old_attributes = GetFileAttributesW(windows::system_path(to).c_str());
    if (old_attributes != INVALID_FILE_ATTRIBUTES && (old_attributes & FILE_ATTRIBUTE_READONLY) &&
        !(old_attributes & FILE_ATTRIBUTE_DIRECTORY))
        (void)SetFileAttributesW(windows::system_path(to).c_str(),
                                 old_attributes & ~FILE_ATTRIBUTE_READONLY);
    if (replace_posix_style(from, to))
        return {};
    // The classic rename refuses a target that someone has open; readers of our small files
    // hold them only for a moment, so a few more tries get through.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(windows::system_path(from).c_str(), windows::system_path(to).c_str(),
                        MOVEFILE_REPLACE_EXISTING))
            return {};
        const DWORD reason = GetLastError();
        const DWORD attributes = GetFileAttributesW(windows::system_path(to).c_str());
        const bool busy = (reason == ERROR_ACCESS_DENIED || reason == ERROR_SHARING_VIOLATION) &&
                          attributes != INVALID_FILE_ATTRIBUTES &&
                          !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (!busy || attempt == 50)
            return std::error_code(static_cast<int>(reason), std::system_category());
        Sleep(1);
    }
}

// ---- Processes: liveness (build lock) ---------------------------------------------------

std::uint32_t current_process_id() {
    return GetCurrentProcessId();
}

Liveness process_liveness(std::uint32_t pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED ? Liveness::Denied : Liveness::NotRunning;
    DWORD status = 0;
    const BOOL read = GetExitCodeProcess(process, &status);
    CloseHandle(process);
    return read && status == STILL_ACTIVE ? Liveness::Running : Liveness::NotRunning;
}

// ---- Lock files (build lock) -------------------------------------------------------------

// A holder keeps its lock file open without sharing delete for as long as it lives; the system
// closes it when the process ends, however it ends. Whoever clears a stale lock file opens it
// for deletion, which fails while a holder lives, and deletes through that handle, so exactly
// the file that was read is removed. The holder itself asks no delete access, so that anyone
// may still read the file while it is held.

NewLock create_lock_file(const fs::path &file, std::string_view contents, NativeHandle &held,
                         std::error_code &error) {
    Handle handle(CreateFileW(windows::system_path(file).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) {
        const DWORD reason = GetLastError();
        if (reason == ERROR_FILE_EXISTS || reason == ERROR_ALREADY_EXISTS)
            return NewLock::AlreadyExists;
        // A lock file that another process is deleting refuses access until it is gone.
        if (reason == ERROR_ACCESS_DENIED &&
            (GetFileAttributesW(windows::system_path(file).c_str()) != INVALID_FILE_ATTRIBUTES ||
             GetLastError() == ERROR_ACCESS_DENIED))
            return NewLock::AlreadyExists;
        error = std::error_code(static_cast<int>(reason), std::system_category());
        return NewLock::Failed;
    }
    DWORD written = 0;
    (void)WriteFile(handle.get(), contents.data(), static_cast<DWORD>(contents.size()), &written,
                    nullptr);
    // Held from now on by a handle that only reads and lets others read and write, so that any
    // reader gets in, also one that refuses writers (as .NET's File.ReadAllText does); it
    // still shares no delete, so nobody can clear the file while we live.
    HANDLE reading = CreateFileW(windows::system_path(file).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (reading != INVALID_HANDLE_VALUE) {
        held = reinterpret_cast<NativeHandle>(reading);
        return NewLock::Created;
    }
    held = reinterpret_cast<NativeHandle>(handle.release());
    return NewLock::Created;
}

void release_lock_file(const fs::path &file, NativeHandle held) {
    if (held != no_handle)
        CloseHandle(reinterpret_cast<HANDLE>(held));
    (void)DeleteFileW(windows::system_path(file).c_str());
}

bool held_by_its_writer(const fs::path &file) {
    Handle handle(CreateFileW(windows::system_path(file).c_str(), DELETE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return handle.get() == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
}

ExistingLock
clear_stale_lock(const fs::path &file,
                 const std::function<bool(const std::optional<std::string> &)> &is_stale) {
    // Sharing read only: a second process clearing the same file meanwhile is refused and
    // answers busy, as the lock will be taken.
    Handle handle(CreateFileW(windows::system_path(file).c_str(), GENERIC_READ | DELETE,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) {
        const DWORD reason = GetLastError();
        if (reason == ERROR_FILE_NOT_FOUND || reason == ERROR_PATH_NOT_FOUND)
            return ExistingLock::Gone;
        if (reason == ERROR_SHARING_VIOLATION)
            return ExistingLock::Held;
        // A folder, a file being deleted, or one this account may not delete: judged on what
        // can still be read of it.
        std::optional<std::string> contents;
        if (auto bytes = read_regular_file(file, small_file_limit))
            contents = std::move(*bytes);
        if (!is_stale(contents))
            return ExistingLock::Held;
        if (DeleteFileW(windows::system_path(file).c_str()))
            return ExistingLock::Cleared;
        // A stale lock that we may not remove keeps the folder busy: its owner's account must
        // clear it, and it is no error of ours.
        const DWORD refusal = GetLastError();
        const DWORD attributes = GetFileAttributesW(windows::system_path(file).c_str());
        if (refusal == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return ExistingLock::Held;
        return ExistingLock::Cleared;
    }
    std::optional<std::string> contents;
    if (GetFileType(handle.get()) == FILE_TYPE_DISK)
        if (auto bytes = read_up_to(handle.get(), small_file_limit))
            contents = std::move(*bytes);
    if (!is_stale(contents))
        return ExistingLock::Held;
    (void)delete_name_now(handle.get());
    return ExistingLock::Cleared;
}

// ---- Child processes (tool runner) ------------------------------------------------------

// ---- Links and paths (translation, installation) ----------------------------------------

} // namespace ormolt::platform
