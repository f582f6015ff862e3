// Where the running program lies: asked of the system, since the first argument may be a bare
// name found on the search path or a link.
#include "cli/program_folder.h"

#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

std::optional<fs::path> running_program_folder() {
#ifdef _WIN32
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::nullopt;
        if (length < buffer.size())
            return fs::path(std::wstring(buffer.data(), length)).parent_path();
        if (buffer.size() >= 32768)
            return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
#else
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error || self.empty())
        return std::nullopt;
    return self.parent_path();
#endif
}
