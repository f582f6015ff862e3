#include "support/run_program.h"

#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace {

std::string quoted(const std::string &text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string slurp(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

ProgramRun run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::filesystem::path &folder) {
    const std::filesystem::path out = folder / ".run.out";
    const std::filesystem::path err = folder / ".run.err";
    std::string command = "cd " + quoted(folder.string()) + " && exec " + quoted(program);
    for (const std::string &arg : args)
        command += " " + quoted(arg);
    command += " >" + quoted(out.string()) + " 2>" + quoted(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = slurp(out);
    run.err = slurp(err);
    std::error_code ignored;
    std::filesystem::remove(out, ignored);
    std::filesystem::remove(err, ignored);
    return run;
}

TemporaryFolder::TemporaryFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("fendrel-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
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
