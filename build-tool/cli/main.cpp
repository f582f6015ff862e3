// Entry of ormolt-build: decodes the arguments and hands them to the run.
#include "cli/entry.h"
#include "platform/platform.h"
#include "records/message.h"

#include <string>
#include <vector>

#ifdef _WIN32
int wmain(int argc, wchar_t **argv) {
    ormolt::platform::prepare_standard_streams();
    std::vector<std::string> arguments;
    // Unpaired surrogates in an argument become U+FFFD.
    for (int i = 1; i < argc; ++i)
        arguments.push_back(ormolt::path_text(std::filesystem::path(argv[i])));
    return ormolt::run_ormolt_build(arguments);
}
#else
int main(int argc, char **argv) {
    ormolt::platform::prepare_standard_streams();
    return ormolt::run_ormolt_build(
        std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#endif
