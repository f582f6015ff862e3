// POSIX side of the platform seam: standard output's terminal.
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ormolt::platform {

bool standard_output_is_terminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

Terminal::Terminal() {
    // Without TERM nothing says what the terminal understands; the plain form is safe.
    const char *term = std::getenv("TERM");
    control_sequences_ = term != nullptr && *term != '\0';
}

Terminal::~Terminal() = default;

void Terminal::restore() {}

std::size_t Terminal::width() const {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

void Terminal::write(std::string_view text) {
    (void)std::fwrite(text.data(), 1, text.size(), stdout);
    (void)std::fflush(stdout);
}

} // namespace ormolt::platform
