// The command lines of both programs: the input is the arguments after the program name,
// separated by NUL bytes. Whatever is typed, parsing gives an answer or a usage error, and the
// message of an unknown command is valid UTF-8 in its event.
#include "cli/command_line.h"
#include "cli/command_table.h"
#include "cli/options.h"
#include "records/event_stream.h"
#include "records/message.h"
#include "scratch.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments;
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        arguments.push_back(text.substr(start, end - start));
        start = end + 1;
    }

    if (const auto line = ormolt::parse_command_line(arguments)) {
        if (line->options.command != arguments[0])
            fuzz::broken("the command word is not the first argument");
        for (const auto* path : {&line->options.source, &line->options.install_dir, &line->release})
            if (*path && !ormolt::is_valid_utf8(ormolt::path_text(**path)))
                fuzz::broken("a path's text is not valid UTF-8");
        (void)ormolt::choose_release_folder(*line);
        if (ormolt::find_command(line->options.command) == nullptr) {
            ormolt::Event event;
            event["event"] = "error";
            event["message"] = ormolt::message("unknown command {}", line->options.command);
            const std::string written = ormolt::event_line(event);
            if (!ormolt::is_valid_utf8(written) || written.empty() || written.back() != '\n')
                fuzz::broken("the error event is not one line of UTF-8");
        }
    }

    // FendrelCLI's argv: the program name, then each argument as a C string.
    std::vector<char*> argv;
    std::string program = "FendrelCLI";
    argv.push_back(program.data());
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    CliOptions options;
    const bool parsed = parse_cli_options(static_cast<int>(argv.size() - 1), argv.data(), &options);
    if (parsed && options.path == nullptr)
        fuzz::broken("options accepted without a path");
    return 0;
}
