#pragma once
// A release folder whose Python and CMake are the fake_tool helper, for tests of the steps that
// run the release's programs. The fake records every call in <folder of the program>/calls.txt.
#include "platform/platform.h"
#include "records/release.h"
#include "records/release_folder.h"
#include "test_support.h"

namespace ormolt::test {

struct ToolCall {
    std::string program;
    std::string cwd;
    std::vector<std::string> environment; // "NAME=value"
    std::vector<std::string> arguments;
};

inline std::vector<ToolCall> read_calls(const fs::path &calls_file) {
    std::vector<ToolCall> calls;
    std::istringstream in(read_text(calls_file));
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("call "))
            calls.push_back({line.substr(5), {}, {}, {}});
        else if (line.starts_with("cwd "))
            calls.back().cwd = line.substr(4);
        else if (line.starts_with("env "))
            calls.back().environment.push_back(line.substr(4));
        else if (line.starts_with("arg "))
            calls.back().arguments.push_back(line.substr(4));
    }
    return calls;
}

class FakeRelease {
  public:
    explicit FakeRelease(const fs::path &release_dir) {
        release_.title_id = "51520001";
        release_.title_name = "Sample Game";
        release_.version = "1.0";
        release_.exe = "game";
        release_.images = {{std::string(40, 'a'), "Retail", std::nullopt}};
        release_.release_dir = release_dir;
        install(release_folder::python(release_dir));
        install(release_folder::cmake(release_dir));
        fs::create_directories(release_dir / "toolkit" / "scripts");
        fs::create_directories(release_dir / "engine");
        fs::create_directories(release_dir / "recipe");
    }
    Release &release() { return release_; }
    const fs::path &dir() const { return release_.release_dir; }
    fs::path python() const { return release_folder::python(dir()); }
    fs::path cmake() const { return release_folder::cmake(dir()); }
    // Files beside a fake program that steer it: ".out", ".exit", ".exit-next", ".no-output".
    void steer(const fs::path &program, const std::string &suffix, const std::string &text) {
        write_text(fs::path(program.string() + suffix), text);
    }
    std::vector<ToolCall> calls(const fs::path &program) const {
        return read_calls(program.parent_path() / "calls.txt");
    }

  private:
    static void install(const fs::path &target) {
        fs::create_directories(target.parent_path());
        fs::copy_file(HELPER_fake_tool, target, fs::copy_options::overwrite_existing);
    }
    Release release_;
};

} // namespace ormolt::test
