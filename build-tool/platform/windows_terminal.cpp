// Windows side of the platform seam: standard output's console.
#include "platform/platform.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace ormolt::platform {

namespace {

HANDLE output_handle() {
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

bool is_console(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

} // namespace

bool standard_output_is_terminal() {
    return is_console(output_handle());
}

Terminal::Terminal() {
    const HANDLE handle = output_handle();
    DWORD mode = 0;
    if (!is_console(handle) || !GetConsoleMode(handle, &mode))
        return;
    saved_mode_ = mode;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) {
        control_sequences_ = true;
        return;
    }
    // Older consoles refuse the flag: the view then takes its plain form.
    if (SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        control_sequences_ = true;
        restore_mode_ = true;
    }
}

Terminal::~Terminal() {
    restore();
}

void Terminal::restore() {
    if (restore_mode_)
        (void)SetConsoleMode(output_handle(), saved_mode_);
    restore_mode_ = false;
}

std::size_t Terminal::width() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(output_handle(), &info))
        return 0;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<std::size_t>(columns) : 0;
}

void Terminal::write(std::string_view text) {
    const HANDLE handle = output_handle();
    if (text.empty())
        return;
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            units);
    // The console takes UTF-16 whatever its code page, in pieces it can hold (a long error
    // message quotes whole lines), never splitting a surrogate pair.
    constexpr std::size_t piece = 8192;
    std::size_t at = 0;
    while (units > 0 && at < wide.size()) {
        std::size_t count = std::min(piece, wide.size() - at);
        if (at + count < wide.size() && IS_HIGH_SURROGATE(wide[at + count - 1]))
            --count;
        DWORD written = 0;
        if (!WriteConsoleW(handle, wide.data() + at, static_cast<DWORD>(count), &written,
                           nullptr) ||
            written == 0)
            break;
        at += written;
    }
    if (units > 0 && at == wide.size())
        return;
    if (at > 0)
        return; // part of it reached the console; repeating it as bytes would garble it
    (void)std::fwrite(text.data(), 1, text.size(), stdout);
    (void)std::fflush(stdout);
}

} // namespace ormolt::platform
