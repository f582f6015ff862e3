#include "entry/program_entry.h"

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace {

// The system's own conversion: an unpaired surrogate becomes U+FFFD, and such a name matches
// no file.
std::string utf8_from_utf16(const wchar_t *text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back(); // the terminating NUL
    return out;
}

} // namespace

// The wide entry: the narrow one would get the arguments in the ANSI code page, which cannot
// hold every name that a path may carry.
int wmain(int argc, wchar_t **argv) {
    // The output is read by other programs: the same bytes as on other systems.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(utf8_from_utf16(argv[i]));
    std::vector<char *> pointers;
    for (std::string &argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr); // as argv ends
    return program_main(argc, pointers.data());
}

#else

int main(int argc, char **argv) {
    return program_main(argc, argv);
}

#endif
