// Writes the sample game: <out>/sample-game (a folder of the disc's files) and
// <out>/sample-game.iso (the same files as a disc image). Used by the demo and release scripts.
// With --title-id, --title and --name it writes another game made up from the same code: the
// same files under that title, as <out>/<name> and <out>/<name>.iso, for trying a release of a
// game other than the sample.
// Usage: make-sample-game <out folder> [--title-id HEX] [--title NAME] [--name NAME]
#include "entry/program_entry.h"
#include "testkit/sample_game.h"
#include "testkit/tools/arguments.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int program_main(int argc, char **argv) {
    const char *usage =
        "usage: make-sample-game <out folder> [--title-id HEX] [--title NAME] [--name NAME]\n";
    if (auto status =
            testkit::check_tool_arguments(argc, argv, usage, {"--title-id", "--title", "--name"}))
        return *status;
    if (argc < 2 || argc % 2 != 0 || std::string(argv[1]).starts_with("--")) {
        std::fputs(usage, stderr);
        return 64;
    }
    const std::filesystem::path out = path_from_utf8(argv[1]);
    testkit::TestXbe xbe = testkit::sample_xbe();
    std::string name = "sample-game";
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--title-id") {
            char *end = nullptr;
            const unsigned long id = std::strtoul(value.c_str(), &end, 16);
            if (value.empty() || value.size() > 8 || *end != '\0') {
                std::fprintf(stderr,
                             "make-sample-game: not a title id of 8 hexadecimal digits: %s\n",
                             value.c_str());
                return 64;
            }
            xbe.title_id = static_cast<std::uint32_t>(id);
        } else if (option == "--title") {
            // The certificate holds the title in UTF-16; the made-up titles are plain ASCII.
            xbe.title_name.assign(value.begin(), value.end());
        } else if (option == "--name") {
            if (value.empty() || value.find_first_of("/\\") != std::string::npos) {
                std::fprintf(stderr, "make-sample-game: not a plain file name: %s\n",
                             value.c_str());
                return 64;
            }
            name = value;
        } else {
            std::fputs(usage, stderr);
            return 64;
        }
    }
    const auto nodes = testkit::sample_game_nodes(xbe);
    if (auto error = testkit::write_game_folder(out / name, nodes)) {
        std::fprintf(stderr, "make-sample-game: cannot write the folder: %s\n",
                     error.message().c_str());
        return 1;
    }
    if (auto error = testkit::write_disc_image(out / (name + ".iso"), nodes)) {
        std::fprintf(stderr, "make-sample-game: cannot write the image: %s\n",
                     error.message().c_str());
        return 1;
    }
    return 0;
}
