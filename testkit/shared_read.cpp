#include "testkit/shared_read.h"

#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace testkit {

#ifdef _WIN32

std::optional<std::string> read_letting_others_only_read(const std::filesystem::path &file) {
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string contents;
    char buffer[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(handle, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0)
        contents.append(buffer, got);
    CloseHandle(handle);
    if (!ok)
        return std::nullopt;
    return contents;
}

HeldOpenForReading::HeldOpenForReading(const std::filesystem::path &file) {
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    open_ = handle != INVALID_HANDLE_VALUE;
    handle_ = handle;
}

HeldOpenForReading::~HeldOpenForReading() {
    if (open_)
        CloseHandle(static_cast<HANDLE>(handle_));
}

#else

HeldOpenForReading::HeldOpenForReading(const std::filesystem::path &file) {
    auto *stream = new std::ifstream(file, std::ios::binary);
    open_ = stream->is_open();
    handle_ = stream;
}

HeldOpenForReading::~HeldOpenForReading() {
    delete static_cast<std::ifstream *>(handle_);
}

// POSIX has no sharing modes: any reader gets in.
std::optional<std::string> read_letting_others_only_read(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

#endif

} // namespace testkit
