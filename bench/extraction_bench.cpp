// Extraction benchmark program.
//   extraction_bench write-image <image> <MiB of file data>
//       writes a disc image holding a few large files and many small ones, with the data made
//       while writing, so the image can be far larger than memory
//   extraction_bench extract <image> <installation folder>
//       runs the whole game preparation on it and prints the seconds it took; progress events go
//       nowhere
#include "intake/game_files.h"
#include "records/event_stream.h"
#include "testkit/disc_image_writer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using testkit::DiscNode;

int write_image(const std::filesystem::path &image, std::uint64_t mib) {
    const std::uint64_t total = mib * 1024 * 1024;
    // Three quarters in large files of 512 MiB at most, the rest in 64 KiB files spread over
    // folders of 200.
    const std::uint64_t large_total = total / 4 * 3;
    std::vector<DiscNode> root{DiscNode::file("default.xbe", std::string(64 * 1024, 'x'))};
    std::vector<DiscNode> large;
    std::uint32_t seed = 1;
    for (std::uint64_t left = large_total; left > 0;) {
        const std::uint32_t size =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(left, 512u * 1024 * 1024));
        large.push_back(DiscNode::generated_file("movie" + std::to_string(seed) + ".bik", size,
                                                 testkit::pattern_source(seed)));
        ++seed;
        left -= size;
    }
    root.push_back(DiscNode::folder("movies", std::move(large)));
    const std::uint32_t small_size = 64 * 1024;
    std::uint64_t small_count = (total - large_total) / small_size;
    std::vector<DiscNode> folders;
    for (std::uint64_t folder = 0; small_count > 0; ++folder) {
        std::vector<DiscNode> files;
        for (int i = 0; i < 200 && small_count > 0; ++i, --small_count)
            files.push_back(DiscNode::generated_file("tex" + std::to_string(i) + ".xpr", small_size,
                                                     testkit::pattern_source(seed++)));
        folders.push_back(DiscNode::folder("set" + std::to_string(folder), std::move(files)));
    }
    root.push_back(DiscNode::folder("textures", std::move(folders)));
    if (auto error = testkit::write_disc_image(image, root)) {
        std::fprintf(stderr, "cannot write %s: %s\n", image.string().c_str(),
                     error.message().c_str());
        return 1;
    }
    return 0;
}

int extract(const std::filesystem::path &image, const std::filesystem::path &folder) {
    ormolt::replace_event_sink([](const ormolt::Event &) {});
    const auto start = std::chrono::steady_clock::now();
    const auto prepared = ormolt::prepare_game_files(image, folder);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    if (!prepared) {
        std::fprintf(stderr, "%s\n", prepared.error().message.c_str());
        return 1;
    }
    std::printf("%.3f\n", seconds.count());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write-image" && argc == 4)
        return write_image(argv[2], std::strtoull(argv[3], nullptr, 10));
    if (mode == "extract" && argc == 4)
        return extract(argv[2], argv[3]);
    std::fputs("usage: extraction_bench write-image <image> <MiB> | extract <image> <folder>\n",
               stderr);
    return 64;
}
