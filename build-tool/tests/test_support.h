#pragma once
// Shared by the build tool's tests: temporary folders, environment changes, small files, and
// running a program as a child with its own environment and captured output.
#include "platform/platform.h"
#include "records/event_stream.h"
#include "records/message.h"
#include "testkit/child_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace ormolt::test {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it at the end of the test.
class TempFolder {
  public:
    TempFolder() {
        std::random_device seed;
        const fs::path base = fs::temp_directory_path();
        for (;;) {
            path_ = base / ("ormolt-test-" + std::to_string(seed()));
            std::error_code error;
            if (fs::create_directory(path_, error))
                break;
        }
        path_ = fs::canonical(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const fs::path &path() const { return path_; }
    fs::path operator/(const fs::path &relative) const { return path_ / relative; }

  private:
    fs::path path_;
};

// Sets or unsets environment variables for the life of the object.
class ScopedEnvironment {
  public:
    ScopedEnvironment(std::map<std::string, std::optional<std::string>> changes) {
        for (const auto &[name, value] : changes) {
            const char *old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
            apply(name, value);
        }
    }
    ~ScopedEnvironment() {
        for (const auto &[name, value] : saved_)
            apply(name, value);
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

  private:
    static void apply(const std::string &name, const std::optional<std::string> &value) {
        testkit::set_environment(name, value);
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

// Collects the event lines emitted while it lives, instead of writing them to stdout.
class EventCapture {
  public:
    EventCapture() {
        previous_ =
            replace_event_sink([this](const Event &event) { lines_.push_back(event_line(event)); });
    }
    ~EventCapture() { replace_event_sink(std::move(previous_)); }
    EventCapture(const EventCapture &) = delete;
    EventCapture &operator=(const EventCapture &) = delete;

    // The lines so far, each with its "\n". Only read it when no other thread emits.
    const std::vector<std::string> &lines() const { return lines_; }
    // The events of one kind, parsed.
    std::vector<Event> of_kind(std::string_view kind) const {
        std::vector<Event> found;
        for (const auto &line : lines_) {
            Event event = Event::parse(line);
            if (event.value("event", "") == kind)
                found.push_back(std::move(event));
        }
        return found;
    }

  private:
    EventSink previous_;
    std::vector<std::string> lines_;
};

// What a terminal shows after this output, line by line: a carriage return goes back to the
// start of the line, "ESC [ K" erases to its end, colour sequences change nothing, other
// characters overwrite one cell each. Trailing empty lines are dropped.
inline std::string screen_of(std::string_view output) {
    std::vector<std::vector<std::string>> lines(1);
    std::size_t column = 0;
    for (std::size_t i = 0; i < output.size();) {
        const char c = output[i];
        if (c == '\r') {
            column = 0;
            ++i;
        } else if (c == '\n') {
            lines.emplace_back();
            column = 0;
            ++i;
        } else if (c == '\x1b' && i + 1 < output.size() && output[i + 1] == '[') {
            std::size_t end = i + 2;
            while (end < output.size() && !(output[end] >= '@' && output[end] <= '~'))
                ++end;
            if (end < output.size() && output[end] == 'K')
                lines.back().resize(std::min(lines.back().size(), column));
            i = end + 1;
        } else {
            const auto lead = static_cast<unsigned char>(c);
            const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            auto &line = lines.back();
            if (line.size() <= column)
                line.resize(column + 1, " ");
            line[column++] = std::string(output.substr(i, n));
            i += n;
        }
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    std::string screen;
    for (const auto &line : lines) {
        for (const auto &cell : line)
            screen += cell;
        screen += '\n';
    }
    return screen;
}

// Makes a symbolic link; false when this system cannot (Wine does not implement them).
inline bool make_symlink(const fs::path &target, const fs::path &link) {
    std::error_code error;
    if (fs::is_directory(target))
        fs::create_directory_symlink(target, link, error);
    else
        fs::create_symlink(target, link, error);
    return !error;
}

inline constexpr const char *no_symlinks = "symbolic links cannot be created on this system";

inline void write_text(const fs::path &file, const std::string &text) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << file;
}

inline std::string read_text(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The system's text for a path at which nothing is (its folder missing too, or not), as the
// platform reports it: "No such file or directory" on POSIX, the system's own on Windows.
inline std::string nothing_at(const fs::path &path) {
    const auto read = platform::read_regular_file(path, 1);
    return read ? std::string("(something is there)") : system_error_text(read.error());
}

struct ProgramRun {
    int exit_status = -1; // -1 when it could not be started
    std::string out;
    std::string err;
};

// Runs the program in the folder with exactly this environment; both streams are captured so
// that neither can block the other (through files in scratch on POSIX, pipes on Windows). With
// reader_gone, standard output is a pipe whose reading end is already closed, as when a launcher
// stops listening.
inline ProgramRun run_program(const fs::path &program, const std::vector<std::string> &arguments,
                              const fs::path &working_folder,
                              const std::map<std::string, std::string> &environment,
                              const fs::path &scratch, bool reader_gone = false) {
    const auto run = testkit::run_child(
        program, arguments, {working_folder, environment, scratch, reader_gone, std::nullopt});
    return {run.started ? static_cast<int>(run.exit_code) : -1, run.out, run.err};
}

// Runs the program with standard output on a pseudo-terminal of this many columns (POSIX);
// out is what the terminal received, line ends as the terminal sends them ("\r\n").
inline ProgramRun run_on_terminal(const fs::path &program,
                                  const std::vector<std::string> &arguments,
                                  const fs::path &working_folder,
                                  const std::map<std::string, std::string> &environment,
                                  const fs::path &scratch, std::uint16_t columns) {
    const testkit::ChildOptions options{working_folder, environment, scratch, false, columns};
    const auto run = testkit::run_child(program, arguments, options);
    return {run.started ? static_cast<int>(run.exit_code) : -1, run.out, run.err};
}

// A child that idles until it is ended; ends and reaps it when destroyed.
using IdleChild = testkit::BackgroundChild;

} // namespace ormolt::test
