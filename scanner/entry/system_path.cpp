#include "entry/system_path.h"

#include <algorithm>
#include <string>

#ifdef _WIN32
#include <windows.h>

// The system's own conversion: without MB_ERR_INVALID_CHARS it never fails on bad input.
std::filesystem::path path_from_utf8(std::string_view text) {
    if (text.empty())
        return {};
    const int length = static_cast<int>(std::min<std::size_t>(text.size(), 0x7FFFFFFF));
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
    return std::filesystem::path(std::move(wide));
}

#else

std::filesystem::path path_from_utf8(std::string_view text) {
    return std::filesystem::path(std::string(text));
}

#endif
