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

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

void put(std::FILE* stream, std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

std::string from_hex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
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
            const char* found = std::getenv(std::string(value).c_str());
            put(stdout, found ? std::string(value) + "=" + found + "\n"
                              : std::string(value) + " unset\n");
        } else if (key == "cwd") {
            put(stdout, std::filesystem::current_path().string() + "\n");
        } else if (key == "args") {
            for (int k = i + 1; k < argc; ++k)
                put(stdout, "[" + std::string(argv[k]) + "]\n");
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
