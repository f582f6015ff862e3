// The tool runner: one child at a time, standard output read on the calling thread and
// standard error on a second one, both into the same log and event stream.
#include "pipeline/tool_run.h"

#include "files/free_space.h"
#include "pipeline/command_line_text.h"
#include "pipeline/output_lines.h"
#include "platform/platform.h"
#include "records/event_stream.h"
#include "records/message.h"

#include <deque>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

namespace ormolt {

namespace {

constexpr std::size_t kept_line_count = 25;
constexpr std::size_t event_line_limit = 500; // Unicode scalar values
constexpr std::size_t read_buffer_size = 8 * 1024;

// What the two reader threads share: the open log and the child's last lines.
class RunOutput {
  public:
    explicit RunOutput(platform::NativeHandle log) : log_(log) {}

    // Logs, keeps and emits one line; returns it as it was logged.
    std::string take_line(std::string_view raw) {
        // A line in a legacy code page must not end the reading: the child would lose its
        // output stream for one harmless byte. It is shown with U+FFFD instead.
        const std::string line = utf8_replacing_invalid(raw);
        {
            std::lock_guard guard(log_lock_);
            std::string entry = line;
            entry += '\n';
            (void)platform::write_all(log_, entry);
        }
        {
            std::lock_guard guard(lines_lock_);
            last_lines_.push_back(line);
            if (last_lines_.size() > kept_line_count)
                last_lines_.pop_front();
        }
        Event event;
        event["event"] = "log";
        event["message"] = std::string(first_scalars(line, event_line_limit));
        emit_event(event);
        return line;
    }

    std::string joined_last_lines() {
        std::lock_guard guard(lines_lock_);
        std::string joined;
        for (std::size_t i = 0; i < last_lines_.size(); ++i) {
            if (i > 0)
                joined += '\n';
            joined += last_lines_[i];
        }
        return joined;
    }

  private:
    platform::NativeHandle log_;
    std::mutex log_lock_;
    std::mutex lines_lock_;
    std::deque<std::string> last_lines_;
};

// Splits one stream into lines until it ends or cannot be read; closes its pipe end.
void read_lines(platform::NativeHandle stream, RunOutput &output, const LineHook &hook) {
    std::string buffer(read_buffer_size, '\0');
    OutputLines lines;
    const auto take = [&](std::string_view raw) {
        const std::string line = output.take_line(raw);
        if (hook)
            hook(line);
    };
    for (;;) {
        auto read = platform::read_some(stream, buffer.data(), buffer.size());
        if (!read || *read == 0)
            break;
        lines.feed(std::string_view(buffer.data(), *read), take);
    }
    lines.finish(take);
    platform::close_handle(stream);
}

} // namespace

Result<> run_tool(const ToolRun &run) {
    auto log = platform::open_for_append(run.log_path);
    if (!log)
        return fail(message("cannot write {}: {}", path_text(run.log_path),
                            system_error_text(log.error())));
    struct LogCloser {
        platform::NativeHandle handle;
        ~LogCloser() { platform::close_handle(handle); }
    } log_closer{*log};

    (void)platform::write_all(*log,
                              "\n$ " + logged_command_line(run.program, run.arguments) + "\n");

    platform::ChildCommand command{run.program, run.arguments, run.working_folder, run.environment};
    auto child = platform::start_child(command);
    if (!child)
        return fail(
            message("cannot start {}: {}", run.step_name, system_error_text(child.error())));

    RunOutput output(*log);
    std::thread errors_reader;
    try {
        errors_reader = std::thread([&] { read_lines(child->errors, output, {}); });
    } catch (const std::system_error &error) {
        // Without the second reader the child could block on a full standard error pipe.
        platform::close_handle(child->output);
        platform::close_handle(child->errors);
        (void)platform::wait_for_child(child->process);
        return fail(message("cannot start {}: {}", run.step_name, system_error_text(error.code())));
    }
    read_lines(child->output, output, run.line_hook);
    errors_reader.join();

    auto code = platform::wait_for_child(child->process);
    if (!code)
        return fail(message("{}: {}", run.step_name, system_error_text(code.error())));
    if (*code == 0)
        return {};
    std::string failure =
        message("{} failed ({}). Its last lines:\n{}\n\nThe whole log is {}", run.step_name,
                exit_status_text(*code), output.joined_last_lines(), path_text(run.log_path));
    const std::filesystem::path folder = run.log_path.parent_path();
    return fail(with_full_disk_note(std::move(failure), folder, volume_free_space(folder)));
}

} // namespace ormolt
