#pragma once
// Text forms used by the tool runner: the logged command line, the exit status, a cut event line.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ormolt {

// The "$ " line of the log: the program and each argument, quoted and escaped as in a C string.
std::string logged_command_line(const std::filesystem::path &program,
                                const std::vector<std::string> &arguments);

// "exit code: 2", or "exit code: 0xc0000005" when the top bit is set.
std::string exit_status_text(std::uint32_t code);

// The first count Unicode scalar values of a valid UTF-8 text.
std::string_view first_scalars(std::string_view text, std::size_t count);

} // namespace ormolt
