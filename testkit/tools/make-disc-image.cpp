// Writes an Xbox disc image of a host folder: every file and subfolder, names in windows-1252,
// each table's entries ordered by upper-cased name as authoring tools order them. Used by the
// demo to turn a folder of game files into an image.
// Usage: make-disc-image <folder> <image> [--base HEX]
#include "entry/program_entry.h"
#include "testkit/disc_image_writer.h"
#include "testkit/tools/arguments.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

bool read_failed = false; // set by a file source; its data would be wrong

std::string upper_ascii(std::string text) {
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The folder's entries as disc nodes; file data is read from the host file while writing.
bool collect(const fs::path &folder, std::vector<testkit::DiscNode> &nodes) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const fs::path path = it->path();
        const std::u8string utf8 = path.filename().u8string();
        auto name = testkit::encode_windows_1252(std::string(utf8.begin(), utf8.end()));
        if (!name || name->size() > 255) {
            std::fprintf(stderr, "make-disc-image: %s: name cannot be stored on a disc\n",
                         path.string().c_str());
            return false;
        }
        if (it->is_directory(error)) {
            auto node = testkit::DiscNode::folder(*name);
            if (!collect(path, node.children))
                return false;
            nodes.push_back(std::move(node));
            continue;
        }
        const auto size = it->file_size(error);
        if (error || size > 0xFFFFFFFFu) {
            std::fprintf(stderr, "make-disc-image: %s: cannot store this file\n",
                         path.string().c_str());
            return false;
        }
        // Opened when its data is written and closed after its last byte, so a folder of many
        // thousand files never holds them all open.
        auto in = std::make_shared<std::ifstream>();
        nodes.push_back(testkit::DiscNode::generated_file(
            *name, static_cast<std::uint32_t>(size),
            [in, path, size](std::uint64_t position, std::span<char> out) {
                if (!in->is_open())
                    in->open(path, std::ios::binary);
                in->seekg(static_cast<std::streamoff>(position));
                in->read(out.data(), static_cast<std::streamsize>(out.size()));
                if (in->gcount() != static_cast<std::streamsize>(out.size()))
                    read_failed = true;
                if (position + out.size() >= size)
                    in->close();
            }));
    }
    if (error) {
        std::fprintf(stderr, "make-disc-image: cannot list %s: %s\n", folder.string().c_str(),
                     error.message().c_str());
        return false;
    }
    std::stable_sort(nodes.begin(), nodes.end(), [](const auto &a, const auto &b) {
        return upper_ascii(a.name) < upper_ascii(b.name);
    });
    return true;
}

} // namespace

int program_main(int argc, char **argv) {
    const char *usage = "usage: make-disc-image <folder> <image> [--base HEX]\n";
    if (auto status = testkit::check_tool_arguments(argc, argv, usage, {"--base"}))
        return *status;
    if (argc != 3 && !(argc == 5 && std::string(argv[3]) == "--base")) {
        std::fputs(usage, stderr);
        return 64;
    }
    testkit::DiscImageOptions options;
    if (argc == 5) {
        char *end = nullptr;
        options.base = std::strtoull(argv[4], &end, 16);
        if (end == argv[4] || *end != '\0') {
            std::fprintf(stderr, "make-disc-image: not a hexadecimal base: %s\n", argv[4]);
            return 64;
        }
    }
    std::vector<testkit::DiscNode> root;
    if (!collect(path_from_utf8(argv[1]), root))
        return 1;
    if (auto error = testkit::write_disc_image(path_from_utf8(argv[2]), root, options)) {
        std::fprintf(stderr, "make-disc-image: cannot write %s: %s\n", argv[2],
                     error.message().c_str());
        return 1;
    }
    if (read_failed) {
        std::fputs("make-disc-image: a file could not be read in full\n", stderr);
        return 1;
    }
    return 0;
}
