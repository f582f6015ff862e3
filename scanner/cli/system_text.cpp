#include "cli/system_text.h"

#ifdef _WIN32
#include <windows.h>

#include <stdio.h>
#endif

Utf8Arguments::Utf8Arguments(std::vector<std::string> arguments)
    : arguments_(std::move(arguments)) {
    for (auto &argument : arguments_)
        pointers_.push_back(argument.data());
    pointers_.push_back(nullptr);
}

#ifdef _WIN32

// The conversions are the system's own: without WC_ERR_INVALID_CHARS and MB_ERR_INVALID_CHARS
// they put U+FFFD where the text is not valid, and such a name matches no file.
std::string utf8_from_utf16(const wchar_t *text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back(); // the terminating NUL
    return out;
}

std::FILE *open_for_reading_utf8(const char *path) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
    if (size <= 0)
        return nullptr;
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), size);
    return _wfopen(wide.c_str(), L"rb");
}

#else

std::FILE *open_for_reading_utf8(const char *path) {
    return std::fopen(path, "rb");
}

#endif
