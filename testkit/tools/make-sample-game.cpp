// Writes the sample game: <out>/sample-game (a folder of the disc's files) and
// <out>/sample-game.iso (the same files as a disc image). Used by the demo and release scripts.
// Usage: make-sample-game <out folder>
#include "testkit/sample_game.h"
#include "testkit/tools/arguments.h"

#include <cstdio>

int main(int argc, char **argv) {
    const char *usage = "usage: make-sample-game <out folder>\n";
    if (auto status = testkit::check_tool_arguments(argc, argv, usage))
        return *status;
    if (argc != 2) {
        std::fputs(usage, stderr);
        return 64;
    }
    const std::filesystem::path out = argv[1];
    const auto nodes = testkit::sample_game_nodes(testkit::sample_xbe());
    if (auto error = testkit::write_game_folder(out / "sample-game", nodes)) {
        std::fprintf(stderr, "make-sample-game: cannot write the folder: %s\n",
                     error.message().c_str());
        return 1;
    }
    if (auto error = testkit::write_disc_image(out / "sample-game.iso", nodes)) {
        std::fprintf(stderr, "make-sample-game: cannot write the image: %s\n",
                     error.message().c_str());
        return 1;
    }
    return 0;
}
