// FendrelCLI: prints one line per XDK library symbol found in an XBE file.
#include "cli/signature_packs_cli.h"
#include "cli/system_text.h"

#ifdef _WIN32
// The wide entry: the narrow one would get the arguments in the ANSI code page, which cannot
// hold every user name that a path may carry.
int wmain(int argc, wchar_t **argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(utf8_from_utf16(argv[i]));
    Utf8Arguments utf8(std::move(arguments));
    return run_fendrel_cli_with_packs(utf8.count(), utf8.values());
}
#else
int main(int argc, char **argv) {
    return run_fendrel_cli_with_packs(argc, argv);
}
#endif
