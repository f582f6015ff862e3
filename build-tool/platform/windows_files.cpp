// Windows side of the platform seam: folder work inside the folders the tool owns, canonical
// paths and the system's error texts.
#include "platform/platform.h"
#include "platform/windows_file_calls.h"

#include <windows.h>

#include <vector>

namespace ormolt::platform {

namespace fs = std::filesystem;

namespace windows {

namespace {

class SystemFileCalls final : public FileCalls {
  public:
    std::uint32_t attributes(const std::wstring &path) override {
        return GetFileAttributesW(path.c_str());
    }
    std::uint32_t reparse_tag(const std::wstring &path) override {
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW(path.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return 0;
        FindClose(search);
        // For a reparse point, dwReserved0 holds its tag.
        return found.dwReserved0;
    }
    std::uint32_t followed_attributes(const std::wstring &path) override {
        HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return windows::no_attributes;
        BY_HANDLE_FILE_INFORMATION information{};
        const bool read = GetFileInformationByHandle(handle, &information) != 0;
        const DWORD reason = GetLastError();
        CloseHandle(handle);
        SetLastError(reason);
        return read ? information.dwFileAttributes : windows::no_attributes;
    }
    bool set_attributes(const std::wstring &path, std::uint32_t attributes) override {
        return SetFileAttributesW(path.c_str(), attributes) != 0;
    }
    bool delete_file(const std::wstring &path) override { return DeleteFileW(path.c_str()) != 0; }
    bool remove_directory(const std::wstring &path) override {
        return RemoveDirectoryW(path.c_str()) != 0;
    }
    bool create_directory(const std::wstring &path) override {
        return CreateDirectoryW(path.c_str(), nullptr) != 0;
    }
    bool copy_file(const std::wstring &from, const std::wstring &to) override {
        return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
    }
    bool move(const std::wstring &from, const std::wstring &to) override {
        return MoveFileExW(from.c_str(), to.c_str(), 0) != 0;
    }
    std::uint32_t last_error() override { return GetLastError(); }
    void pause() override { Sleep(50); }
};

SystemFileCalls system_calls;
FileCalls *current_calls = &system_calls;

} // namespace

FileCalls &file_calls() {
    return *current_calls;
}

void use_file_calls(FileCalls *calls) {
    current_calls = calls != nullptr ? calls : &system_calls;
}

std::wstring system_path(const fs::path &path) {
    std::wstring text = path.native();
    if (text.size() < long_path_length || text.starts_with(L"\\\\?\\") ||
        text.starts_with(L"\\\\.\\"))
        return text;
    // The extended-length form is taken as it stands: no "/" is turned into "\", no "." or ".."
    // is resolved, nothing is relative. The full path does all of that first.
    const DWORD needed = GetFullPathNameW(text.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return text;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(text.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return text;
    full.resize(length);
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

} // namespace windows

using windows::file_calls;
using windows::system_path;

namespace {

std::error_code system_error(std::uint32_t code) {
    return std::error_code(static_cast<int>(code), std::system_category());
}

// Takes a read-only mark off a file (not a folder, where the mark means something else to
// Explorer). True when there was one and it is gone.
bool clear_readonly(const std::wstring &path) {
    auto &calls = file_calls();
    const std::uint32_t attributes = calls.attributes(path);
    if (attributes == windows::no_attributes || !(attributes & windows::readonly_attribute) ||
        (attributes & windows::directory_attribute))
        return false;
    return calls.set_attributes(path, attributes & ~windows::readonly_attribute);
}

// Tries an operation again for about two seconds while another program holds what it needs:
// virus scanners and indexers open fresh files for a moment.
template <class Operation> std::error_code with_retries(Operation operation) {
    auto &calls = file_calls();
    for (int attempt = 0;; ++attempt) {
        if (operation())
            return {};
        const std::uint32_t reason = calls.last_error();
        if ((reason != windows::access_denied && reason != windows::sharing_violation) ||
            attempt == 40)
            return system_error(reason);
        calls.pause();
    }
}

std::string utf8(const wchar_t *text, int length) {
    if (length <= 0)
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), bytes, nullptr, nullptr);
    return out;
}

} // namespace

std::error_code remove_file(const fs::path &path) {
    auto &calls = file_calls();
    const std::wstring target = system_path(path);
    if (calls.delete_file(target))
        return {};
    std::uint32_t reason = calls.last_error();
    // The system refuses to delete a read-only file; copies from a disc are.
    if (reason == windows::access_denied && clear_readonly(target)) {
        if (calls.delete_file(target))
            return {};
        reason = calls.last_error();
    }
    return system_error(reason);
}

std::error_code remove_empty_folder(const fs::path &path) {
    auto &calls = file_calls();
    // A junction or directory link is removed as a folder entry, whether or not its target is
    // still there; its target is never touched.
    if (calls.remove_directory(system_path(path)))
        return {};
    return system_error(calls.last_error());
}

std::error_code rename_path(const fs::path &from, const fs::path &to) {
    const std::wstring source = system_path(from), target = system_path(to);
    return with_retries([&] { return file_calls().move(source, target); });
}

std::error_code create_folders(const fs::path &path) {
    auto &calls = file_calls();
    const std::wstring folder = system_path(path);
    if (calls.create_directory(folder))
        return {};
    const std::uint32_t reason = calls.last_error();
    if (reason == windows::already_exists || reason == ERROR_ACCESS_DENIED) {
        // A drive's root answers access denied; anything that is a folder will do.
        const std::uint32_t attributes = calls.attributes(folder);
        if (attributes != windows::no_attributes && (attributes & windows::directory_attribute))
            return {};
        return system_error(reason == windows::already_exists ? ERROR_ALREADY_EXISTS : reason);
    }
    if (reason != windows::path_not_found)
        return system_error(reason);
    const fs::path parent = path.parent_path();
    if (parent.empty() || parent == path)
        return system_error(reason);
    if (auto error = create_folders(parent))
        return error;
    if (calls.create_directory(folder))
        return {};
    const std::uint32_t again = calls.last_error();
    if (again == windows::already_exists) {
        const std::uint32_t attributes = calls.attributes(folder);
        if (attributes != windows::no_attributes && (attributes & windows::directory_attribute))
            return {};
    }
    return system_error(again);
}

std::error_code copy_file_replacing(const fs::path &from, const fs::path &to) {
    auto &calls = file_calls();
    const std::wstring source = system_path(from), target = system_path(to);
    // The system refuses to copy over a read-only file.
    (void)clear_readonly(target);
    if (!calls.copy_file(source, target))
        return system_error(calls.last_error());
    // The copy keeps the source's attributes; in our folders nothing stays read-only, or the
    // next build could neither replace nor remove it.
    (void)clear_readonly(target);
    return {};
}

std::expected<EntryKind, std::error_code> entry_kind(const fs::path &path, Links links) {
    auto &calls = file_calls();
    const std::wstring target = system_path(path);
    // A classic path past the length limit also reads as "path not found": the extended-length
    // form keeps that answer for what is really missing.
    const auto kind_of =
        [&](std::uint32_t attributes) -> std::expected<EntryKind, std::error_code> {
        if (attributes == windows::no_attributes) {
            const std::uint32_t reason = calls.last_error();
            if (reason == windows::file_not_found || reason == windows::path_not_found)
                return EntryKind::None;
            return std::unexpected(system_error(reason));
        }
        if (attributes & windows::directory_attribute)
            return EntryKind::Folder;
        return (attributes & windows::device_attribute) ? EntryKind::Other : EntryKind::File;
    };
    const std::uint32_t attributes = calls.attributes(target);
    if (attributes == windows::no_attributes || !(attributes & windows::reparse_point_attribute))
        return kind_of(attributes);
    const std::uint32_t tag = calls.reparse_tag(target);
    if (tag == 0) // gone meanwhile, or not readable
        return kind_of(windows::no_attributes);
    // Other reparse points (deduplicated or cloud files) are what their attributes say.
    if (!(tag & windows::name_surrogate_tag))
        return kind_of(attributes);
    if (links == Links::NotFollowed)
        return EntryKind::Link;
    return kind_of(calls.followed_attributes(target));
}

std::expected<std::vector<FolderEntry>, std::error_code> list_folder(const fs::path &folder) {
    // FindFirstFileExW takes the extended-length form; the C runtime's listing copies the
    // pattern into a 260-character buffer.
    const std::wstring pattern = system_path(folder / L"*");
    // A folder that is not there (or a file) lists as an error, never as empty.
    const DWORD attributes = GetFileAttributesW(system_path(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::unexpected(system_error(GetLastError()));
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::unexpected(system_error(ERROR_DIRECTORY));
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    std::vector<FolderEntry> entries;
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD reason = GetLastError();
        if (reason == ERROR_FILE_NOT_FOUND || reason == ERROR_NO_MORE_FILES)
            return entries;
        return std::unexpected(system_error(reason));
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        FolderEntry entry;
        entry.name = fs::path(name);
        entry.directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // For a reparse point, dwReserved0 holds its tag.
        entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                     IsReparseTagNameSurrogate(found.dwReserved0);
        entries.push_back(std::move(entry));
    } while (FindNextFileW(search, &found));
    const DWORD reason = GetLastError();
    FindClose(search);
    if (reason != ERROR_NO_MORE_FILES)
        return std::unexpected(system_error(reason));
    return entries;
}

namespace {

fs::path without_prefix(const std::wstring &name) {
    if (name.starts_with(L"\\\\?\\UNC\\"))
        return fs::path(L"\\\\" + name.substr(8));
    if (name.starts_with(L"\\\\?\\"))
        return fs::path(name.substr(4));
    return fs::path(name);
}

} // namespace

std::expected<fs::path, std::error_code> canonical_path(const fs::path &path) {
    // The file system itself names what the handle reached: letter case as stored, long names
    // for short ones, junctions and substituted drives followed.
    const std::wstring target = system_path(path);
    HANDLE handle = CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::unexpected(system_error(GetLastError()));
    std::wstring name(32768, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    const DWORD reason = GetLastError();
    CloseHandle(handle);
    if (length > 0 && length < name.size()) {
        name.resize(length);
        return without_prefix(name);
    }
    if (reason != ERROR_MORE_DATA)
        return std::unexpected(system_error(reason));
    // Some systems (Wine) cannot name a long path this way: the parent is resolved, and the last
    // component takes the name the folder stores for it.
    const fs::path full = without_prefix(target);
    const fs::path parent = full.parent_path();
    if (parent.empty() || parent == full)
        return std::unexpected(system_error(reason));
    auto resolved = canonical_path(parent);
    if (!resolved)
        return resolved;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(target.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return std::unexpected(system_error(GetLastError()));
    FindClose(search);
    return *resolved / found.cFileName;
}

bool same_component(const fs::path &a, const fs::path &b) {
    const std::wstring &left = a.native(), &right = b.native();
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

std::string error_description(const std::error_code &error) {
    if (error.category() != std::system_category())
        return error.message();
    // The wide call: the narrow one gives the ANSI code page's bytes, and fails outright on a
    // message that has inserts ("%1 is not a valid Win32 application").
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error.value()), 0, reinterpret_cast<wchar_t *>(&text), 0,
        nullptr);
    if (length == 0 || text == nullptr)
        return "error " + std::to_string(static_cast<std::uint32_t>(error.value()));
    std::string described = utf8(text, static_cast<int>(length));
    LocalFree(text);
    return described;
}

} // namespace ormolt::platform
