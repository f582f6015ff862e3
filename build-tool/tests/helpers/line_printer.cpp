// A child for the tool runner's tests: each argument is one instruction, done in order.
//   out=TEXT / err=TEXT    TEXT and "\n" to standard output / standard error
//   outraw=HEX / errraw=HEX  the bytes given in hexadecimal, nothing added
//   lines=N                "line 1" ... "line N" on standard output
//   long=N:TEXT            TEXT N times and "\n" on standard output
//   env=NAME               "NAME=value" or "NAME unset" on standard output
//   cwd                    the working folder on standard output
//   args                   every later argument as "[argument]" on standard output, then ends
//   crash                  ends with an access violation (Windows) or SIGSEGV
//   signal=N               raises signal N (POSIX)
//   exit=N                 ends with exit code N (decimal or 0x...)
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>
#endif

namespace {

void put(std::FILE *stream, std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

std::string from_hex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

// The arguments as UTF-8: on Windows from the UTF-16 command line, since argv is in the ANSI
// code page there.
std::vector<std::string> utf8_arguments(int argc, char **argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), n, nullptr, nullptr);
        arguments.push_back(text);
    }
    LocalFree(wide);
    return arguments;
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
}

} // namespace

int main(int raw_argc, char **raw_argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const std::vector<std::string> args = utf8_arguments(raw_argc, raw_argv);
    const int argc = static_cast<int>(args.size());
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = args[i];
        const std::size_t equals = arg.find('=');
        const std::string_view key = arg.substr(0, equals);
        const std::string_view value = equals == arg.npos ? "" : arg.substr(equals + 1);
        if (key == "out")
            put(stdout, std::string(value) + "\n");
        else if (key == "err")
            put(stderr, std::string(value) + "\n");
        else if (key == "outraw")
            put(stdout, from_hex(value));
        else if (key == "errraw")
            put(stderr, from_hex(value));
        else if (key == "lines") {
            for (int n = 1; n <= std::atoi(std::string(value).c_str()); ++n)
                put(stdout, "line " + std::to_string(n) + "\n");
        } else if (key == "long") {
            const std::size_t colon = value.find(':');
            const int count = std::atoi(std::string(value.substr(0, colon)).c_str());
            std::string line;
            for (int n = 0; n < count; ++n)
                line += value.substr(colon + 1);
            put(stdout, line + "\n");
        } else if (key == "env") {
            const char *found = std::getenv(std::string(value).c_str());
            put(stdout,
                found ? std::string(value) + "=" + found + "\n" : std::string(value) + " unset\n");
        } else if (key == "cwd") {
            put(stdout, std::filesystem::current_path().string() + "\n");
        } else if (key == "args") {
            for (int k = i + 1; k < argc; ++k)
                put(stdout, "[" + args[k] + "]\n");
            return 0;
        } else if (key == "crash") {
#ifdef _WIN32
            RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
#else
            std::raise(SIGSEGV);
#endif
        } else if (key == "signal") {
            std::raise(std::atoi(std::string(value).c_str()));
        } else if (key == "exit") {
            return static_cast<int>(std::strtoul(std::string(value).c_str(), nullptr, 0));
        }
    }
    return 0;
}
