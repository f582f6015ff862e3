// Stands in for the release's programs (Python, CMake) in the build tool's tests. Copied into a
// test release under the program's name; next to it:
//   calls.txt        each call appends a block: "call", the working folder, "env NAME=value" for
//                    the variables the tool sets, then "arg <argument>" per argument, then "end"
//   <name>.out       printed on standard output, if present
//   <name>.exit      the exit code, if present (else 0)
//   <name>.exit-next the exit code of the next call only (the file goes with that call)
//   <name>.no-output a build makes no program
// Like CMake it writes <build>/CMakeCache.txt after "-B <build>", and <build>/<target> (with
// the platform's executable suffix) after "--build <build> --target <target>"; like the symbol
// module it writes "{}" to the file after "--out".
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace fs = std::filesystem;

namespace {

bool present(const fs::path &file) {
    std::error_code error;
    return fs::exists(file, error);
}

std::string read(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void touch(const fs::path &file, const std::string &text) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    std::ofstream(file, std::ios::binary) << text;
}

} // namespace

int main(int argc, char **argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    const char *suffix = ".exe";
#else
    const char *suffix = "";
#endif
    const fs::path self = fs::absolute(argv[0]);
    const std::string name = self.filename().string();
    const fs::path folder = self.parent_path();
    std::vector<std::string> args(argv + 1, argv + argc);

    {
        std::ofstream calls(folder / "calls.txt", std::ios::binary | std::ios::app);
        calls << "call " << name << "\n"
              << "cwd " << fs::current_path().string() << "\n";
        for (const char *variable :
             {"PYTHONDONTWRITEBYTECODE", "PYTHONIOENCODING", "PYTHONUNBUFFERED", "TMPDIR",
              "ZIG_GLOBAL_CACHE_DIR", "ZIG_LOCAL_CACHE_DIR"})
            if (const char *value = std::getenv(variable))
                calls << "env " << variable << "=" << value << "\n";
        for (const auto &arg : args)
            calls << "arg " << arg << "\n";
        calls << "end\n";
    }

    const fs::path out = folder / (name + ".out");
    if (present(out))
        std::cout << read(out) << std::flush;

    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-B")
            touch(fs::path(args[i + 1]) / "CMakeCache.txt", "");
        if (args[i] == "--out")
            touch(args[i + 1], "{}");
        if (args[i] == "--build" && i + 3 < args.size() && args[i + 2] == "--target" &&
            !present(folder / (name + ".no-output")))
            touch(fs::path(args[i + 1]) / (args[i + 3] + suffix), "program");
    }
    const fs::path next_exit_file = folder / (name + ".exit-next");
    if (present(next_exit_file)) {
        const int code = std::atoi(read(next_exit_file).c_str());
        std::error_code error;
        fs::remove(next_exit_file, error);
        return code;
    }
    const fs::path exit_file = folder / (name + ".exit");
    return present(exit_file) ? std::atoi(read(exit_file).c_str()) : 0;
}
