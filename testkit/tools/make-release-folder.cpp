// Lays out a small release folder: release.json for a sample title and the given programs under
// bin/. Used by the demo.
// Usage: make-release-folder <release folder> [--title-id ID] [--version V] [program...]
#include "entry/program_entry.h"
#include "testkit/release_folder.h"
#include "testkit/tools/arguments.h"

#include <cstdio>
#include <string>

int program_main(int argc, char **argv) {
    const char *usage =
        "usage: make-release-folder <release folder> [--title-id ID] [--version V] [program...]\n";
    if (auto status = testkit::check_tool_arguments(argc, argv, usage, {"--title-id", "--version"}))
        return *status;
    if (argc < 2 || std::string(argv[1]).starts_with("--")) {
        std::fputs(usage, stderr);
        return 64;
    }
    const std::filesystem::path release = path_from_utf8(argv[1]);
    testkit::ReleaseDescription description;
    std::vector<std::filesystem::path> programs;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--title-id" || argument == "--version") {
            if (i + 1 == argc) {
                std::fputs(usage, stderr);
                return 64;
            }
            (argument == "--title-id" ? description.title_id : description.version) = argv[++i];
        } else
            programs.push_back(path_from_utf8(argument));
    }
    if (auto error = testkit::write_release(release, description)) {
        std::fprintf(stderr, "make-release-folder: cannot write release.json: %s\n",
                     error.message().c_str());
        return 1;
    }
    for (const auto &program : programs) {
        if (auto error = testkit::place_program(release, program)) {
            std::fprintf(stderr, "make-release-folder: cannot place %s: %s\n",
                         program.string().c_str(), error.message().c_str());
            return 1;
        }
    }
    return 0;
}
