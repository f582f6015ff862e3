#include "cli/entry.h"

#include "cli/build_lock.h"
#include "cli/command_line.h"
#include "cli/command_table.h"
#include "platform/platform.h"
#include "records/event_stream.h"
#include "records/message.h"
#include "records/release.h"
#include "records/terminal_view.h"

#include <cstdio>

namespace ormolt {

namespace {

Result<void> run_command(const CommandLine &line) {
    auto release = load_release(choose_release_folder(line));
    if (!release)
        return std::unexpected(release.error());
    const Command *command = find_command(line.options.command);
    if (command == nullptr)
        return fail(message("unknown command {}", line.options.command));
    return command->run(line.options, *release);
}

Event error_event(const BuildError &error) {
    Event event;
    event["event"] = "error";
    event["message"] = error.message;
    event["unsupported"] = error.kind == ErrorKind::Unsupported;
    event["rebuild"] = error.kind == ErrorKind::Rebuild;
    return event;
}

void emit_error(const BuildError &error) {
    emit_event(error_event(error));
}

} // namespace

int run_ormolt_build(const std::vector<std::string> &arguments) {
    const auto line = parse_command_line(arguments);
    if (!line || line->help) {
        // Asked for, the usage text is an answer, not an error: nothing else is read or said.
        (void)std::fputs(usage_text, stderr);
        (void)std::fflush(stderr);
        return line ? exit_success : exit_usage;
    }
    // A person at a terminal reads the same events through the view; a launcher's pipe gets
    // the event lines.
    TerminalOutput view(line->options.command);
    // Stopped (Ctrl-C, a closed terminal, a launcher ending us): the running child has been
    // ended; what was done so far stays, and the next run of the same command goes on from it.
    // Once "done" is out the build has succeeded, whatever stops it after that. The lock goes
    // only after the children have ended, so that the next run never meets them at work.
    const platform::StopHandling stop_handling({
        .last_words =
            [&view] {
                const bool stopped = emit_last_event_unless_done(
                    error_event(BuildError{stopped_message, ErrorKind::Ordinary}));
                view.restore_terminal();
                return stopped ? 1 : exit_success;
            },
        .once_children_ended = release_locks_of_this_process,
    });
    const auto outcome = run_command(*line);
    if (outcome)
        return exit_success;
    emit_error(outcome.error());
    return static_cast<int>(outcome.error().kind);
}

} // namespace ormolt
