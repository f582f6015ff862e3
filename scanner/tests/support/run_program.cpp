#include "support/run_program.h"

#include "testkit/child_run.h"

#include <atomic>
#include <fstream>
#include <random>
#include <stdexcept>

ProgramRun run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::filesystem::path &folder) {
    const auto run =
        testkit::run_child(program, args, {folder, std::nullopt, folder, false, std::nullopt});
    return {run.started ? static_cast<int>(run.exit_code) : -1, run.out, run.err};
}

TemporaryFolder::TemporaryFolder() {
    std::random_device seed;
    for (;;) {
        path_ = std::filesystem::temp_directory_path() / ("fendrel-test-" + std::to_string(seed()));
        std::error_code error;
        if (std::filesystem::create_directory(path_, error))
            break;
    }
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TemporaryFolder::write(const std::string &name,
                                             const std::vector<std::uint8_t> &bytes) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
    return file;
}
