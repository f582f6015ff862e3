// Under Wine, stands in for one of the release's programs (python.exe, cmake.exe) by running the
// Linux program of the same name beside it (python, cmake): the whole sample build can then run
// with the Windows ormolt-build.exe while the release's toolkit and toolchain stay the sample
// release's Linux ones. Wine starts a Linux program from a Windows one but neither waits for it
// nor reports its exit code, so the Linux side runs through a small shell script that records
// the exit code in a file, for which this program waits.
//
// On the way, Windows paths in the arguments and in the tool's variables become Linux paths; a
// program named "<x>.exe" becomes "<x>" when that exists beside it (the toolchain
// wrappers, each with this bridge as its .exe); the scanner given to the symbol module after
// "--cli" is run through Wine again; and after "cmake --build <folder> --target <t>" the program
// <t> is also placed as <t>.exe, which is what a Windows build leaves. Windows only; elsewhere it
// says so.
#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string utf8(const std::wstring &text) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string &text) {
    if (text.empty())
        return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// Wine's own mapping of a Windows path to the Linux one (drive letters, the prefix's drive_c).
std::string unix_path(const std::wstring &windows_path) {
    using Mapper = char *(CDECL *)(LPCWSTR);
    static const auto mapper = reinterpret_cast<Mapper>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (mapper == nullptr)
        return utf8(windows_path);
    char *mapped = mapper(windows_path.c_str());
    if (mapped == nullptr)
        return utf8(windows_path);
    std::string out(mapped);
    HeapFree(GetProcessHeap(), 0, mapped);
    return out;
}

bool is_windows_path(const std::wstring &text) {
    return text.size() >= 3 && iswalpha(text[0]) && text[1] == L':' &&
           (text[2] == L'\\' || text[2] == L'/');
}

bool exists(const std::wstring &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A Windows path as the Linux program needs it; "<x>.exe" whose "<x>" exists beside it is "<x>"
// (a toolchain program: this bridge, with the Linux program beside it).
std::string translated_path(std::wstring path) {
    if (path.size() > 4 && _wcsicmp(path.c_str() + path.size() - 4, L".exe") == 0 &&
        exists(path.substr(0, path.size() - 4)))
        path.resize(path.size() - 4);
    return unix_path(path);
}

// Arguments: a path, or "-DNAME=<path>".
std::string translated(const std::wstring &argument) {
    if (is_windows_path(argument))
        return translated_path(argument);
    const std::size_t equals = argument.find(L'=');
    if (argument.starts_with(L"-D") && equals != std::wstring::npos &&
        is_windows_path(argument.substr(equals + 1)))
        return utf8(argument.substr(0, equals + 1)) + translated_path(argument.substr(equals + 1));
    return utf8(argument);
}

std::string quoted(const std::string &text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::wstring variable(const wchar_t *name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0)
        return {};
    std::wstring value(needed, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), needed));
    return value;
}

std::wstring module_path() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    std::wstring self = module_path();
    if (self.size() < 4)
        return 127;
    const std::wstring program = self.substr(0, self.size() - 4);
    const std::string name = utf8(program.substr(program.find_last_of(L"\\/") + 1));

    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring stem = std::wstring(temp) + L"bridge-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount64());
    const std::wstring script = stem + L".sh", exit_file = stem + L".exit";
    const std::wstring shim = stem + L"-scanner.sh";
    const std::wstring output = stem + L".out", errors = stem + L".err";

    std::string text = "#!/bin/sh\n";
    std::wstring folder(32768, L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    text += "cd " + quoted(unix_path(folder)) + " || exit 127\n";
    text += "export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin\n";
    for (const wchar_t *passed : {L"PYTHONDONTWRITEBYTECODE", L"PYTHONUNBUFFERED", L"TMPDIR",
                                  L"ZIG_GLOBAL_CACHE_DIR", L"ZIG_LOCAL_CACHE_DIR", L"WINEPREFIX",
                                  L"WINEDEBUG", L"WINEARCH", L"WINEDLLOVERRIDES", L"HOME"}) {
        const std::wstring value = variable(passed);
        if (!value.empty())
            text += "export " + utf8(passed) + "=" + quoted(translated(value)) + "\n";
    }
    std::string command = quoted(unix_path(program));
    std::wstring build_folder, target;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--cli" && i + 1 < argc) {
            // The scanner is a Windows program: the Linux toolkit runs it through Wine.
            std::ofstream out(shim.c_str(), std::ios::binary);
            // Another temporary folder would make Wine start a server of its own there.
            out << "#!/bin/sh\nunset TMPDIR\nexec wine " << quoted(unix_path(argv[i + 1]))
                << " \"$@\"\n";
            text += "chmod +x " + quoted(unix_path(shim)) + "\n";
            command += " --cli " + quoted(unix_path(shim));
            ++i;
            continue;
        }
        if (argument == L"--build" && i + 1 < argc)
            build_folder = argv[i + 1];
        if (argument == L"--target" && i + 1 < argc)
            target = argv[i + 1];
        command += " " + quoted(translated(argument));
    }
    // The Linux program's streams do not reach our handles through Wine: they are passed on
    // when it has ended.
    text += command + " >" + quoted(unix_path(output)) + " 2>" + quoted(unix_path(errors)) +
            " </dev/null\ncode=$?\n";
    if (name == "cmake" && !build_folder.empty() && !target.empty()) {
        const std::string made = unix_path(build_folder) + "/" + utf8(target);
        text +=
            "[ $code -ne 0 ] || cp " + quoted(made) + " " + quoted(made + ".exe") + " || code=$?\n";
    }
    const std::string exit_unix = unix_path(exit_file);
    text += "printf '%s' $code > " + quoted(exit_unix + ".part") + " && mv " +
            quoted(exit_unix + ".part") + " " + quoted(exit_unix) + "\n";
    {
        std::ofstream out(script.c_str(), std::ios::binary);
        out << text;
    }

    // Our own standard handles are the ones the Linux program writes to.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring shell = L"Z:\\bin\\sh";
    std::wstring line = L"\"" + shell + L"\" \"" + wide(unix_path(script)) + L"\"";
    if (!CreateProcessW(shell.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "wine-unix-bridge: cannot start /bin/sh: error %lu\n", GetLastError());
        return 127;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine does not let us wait for a Linux process: the script says when it is done.
    for (;;) {
        std::ifstream in(exit_file.c_str(), std::ios::binary);
        int code = 0;
        if (in && (in >> code)) {
            in.close();
            for (const auto &[file, handle] :
                 {std::pair{output, STD_OUTPUT_HANDLE}, std::pair{errors, STD_ERROR_HANDLE}}) {
                std::ifstream captured(file.c_str(), std::ios::binary);
                std::string bytes((std::istreambuf_iterator<char>(captured)),
                                  std::istreambuf_iterator<char>());
                DWORD written = 0;
                if (!bytes.empty())
                    WriteFile(GetStdHandle(handle), bytes.data(), static_cast<DWORD>(bytes.size()),
                              &written, nullptr);
                captured.close();
                DeleteFileW(file.c_str());
            }
            DeleteFileW(exit_file.c_str());
            DeleteFileW(script.c_str());
            DeleteFileW(shim.c_str());
            return code;
        }
        Sleep(50);
    }
}

#else

int main() {
    std::fputs("wine-unix-bridge: a Windows program, for the sample build under Wine\n", stderr);
    return 2;
}

#endif
