// Extraction benchmark program.
//   extraction_bench write-tree <folder> <MiB of file data>
//       writes a game's files: default.xbe, three quarters of the data in files of at most
//       512 MiB, the rest in 64 KiB files spread over folders of 200 (make-disc-image turns the
//       folder into an image)
//   extraction_bench write-small-tree <folder> <files>
//       writes a game of many small files: default.xbe and <files> files of 100 to 4,000 bytes
//       in folders of 200 (what most entries of a real disc look like)
//   extraction_bench extract <image> <installation folder>
//       runs the whole game preparation on it; progress events go nowhere
#include "intake/game_files.h"
#include "records/event_stream.h"
#include "testkit/disc_image_writer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool write_file(const fs::path &file, std::uint64_t size, std::uint32_t seed) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::vector<char> chunk(1 << 20);
    for (std::uint64_t position = 0; position < size && out;) {
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - position, chunk.size()));
        testkit::pattern_source(seed)(position, {chunk.data(), length});
        out.write(chunk.data(), static_cast<std::streamsize>(length));
        position += length;
    }
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", file.string().c_str());
        return false;
    }
    return true;
}

int write_tree(const fs::path &folder, std::uint64_t mib) {
    const std::uint64_t total = mib * 1024 * 1024;
    const std::uint64_t large_total = total / 4 * 3;
    std::error_code error;
    fs::create_directories(folder / "movies", error);
    if (error || !write_file(folder / "default.xbe", 64 * 1024, 0))
        return 1;
    std::uint32_t seed = 1;
    for (std::uint64_t left = large_total; left > 0; ++seed) {
        const std::uint64_t size = std::min<std::uint64_t>(left, 512u * 1024 * 1024);
        if (!write_file(folder / "movies" / ("movie" + std::to_string(seed) + ".bik"), size, seed))
            return 1;
        left -= size;
    }
    const std::uint64_t small_size = 64 * 1024;
    std::uint64_t small_count = (total - large_total) / small_size;
    for (std::uint64_t set = 0; small_count > 0; ++set) {
        const fs::path sub = folder / "textures" / ("set" + std::to_string(set));
        fs::create_directories(sub, error);
        if (error)
            return 1;
        for (int i = 0; i < 200 && small_count > 0; ++i, --small_count)
            if (!write_file(sub / ("tex" + std::to_string(i) + ".xpr"), small_size, seed++))
                return 1;
    }
    return 0;
}

int write_small_tree(const fs::path &folder, std::uint64_t files) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !write_file(folder / "default.xbe", 64 * 1024, 0))
        return 1;
    std::uint32_t seed = 1;
    for (std::uint64_t set = 0; files > 0; ++set) {
        const fs::path sub = folder / "data" / ("set" + std::to_string(set));
        fs::create_directories(sub, error);
        if (error)
            return 1;
        for (int i = 0; i < 200 && files > 0; ++i, --files, ++seed)
            if (!write_file(sub / ("f" + std::to_string(i) + ".bin"), 100 + seed * 7919 % 3901,
                            seed))
                return 1;
    }
    return 0;
}

int extract(const fs::path &image, const fs::path &folder) {
    ormolt::replace_event_sink([](const ormolt::Event &) {});
    const auto prepared = ormolt::prepare_game_files(image, folder);
    if (!prepared) {
        std::fprintf(stderr, "%s\n", prepared.error().message.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write-tree" && argc == 4)
        return write_tree(argv[2], std::strtoull(argv[3], nullptr, 10));
    if (mode == "write-small-tree" && argc == 4)
        return write_small_tree(argv[2], std::strtoull(argv[3], nullptr, 10));
    if (mode == "extract" && argc == 4)
        return extract(argv[2], argv[3]);
    std::fputs("usage: extraction_bench write-tree <folder> <MiB> | write-small-tree <folder> "
               "<files> | extract <image> <folder>\n",
               stderr);
    return 64;
}
