#include "scratch.h"

#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

namespace fuzz {
namespace {

struct ScratchFolder {
    std::filesystem::path path;
    ScratchFolder() {
        std::error_code error;
        path = std::filesystem::temp_directory_path(error) /
               ("ormolt-fuzz-" + std::to_string(ormolt::platform::current_process_id()));
        std::filesystem::remove_all(path, error);
        std::filesystem::create_directories(path, error);
        if (error)
            broken("cannot make the scratch folder");
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

const std::filesystem::path &scratch_folder() {
    static const ScratchFolder folder;
    return folder.path;
}

void write_input(const std::filesystem::path &file, const std::uint8_t *data, std::size_t size) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out)
        broken("cannot write the input file");
}

void broken(const char *what) {
    std::fprintf(stderr, "fuzz target: %s\n", what);
    std::abort();
}

} // namespace fuzz
