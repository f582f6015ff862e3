#include "cli/entry.h"

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
    platform::stop_children_and_exit_on_request([&view] {
        emit_last_event(error_event(BuildError{stopped_message, ErrorKind::Ordinary}));
        view.restore_terminal();
    });
    const auto outcome = run_command(*line);
    if (outcome)
        return exit_success;
    emit_error(outcome.error());
    return static_cast<int>(outcome.error().kind);
}

} // namespace ormolt
