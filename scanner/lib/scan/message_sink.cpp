// The message sink: threshold first, so that a filtered message costs no formatting.
#include "lib/scan/message_sink.h"

#include <cstdarg>
#include <cstdio>

namespace {

FenxiMessageSink library_sink{1, nullptr};

void deliver(const FenxiMessageSink &sink, std::uint32_t level, const char *format,
             std::va_list args) {
    if (sink.Callback == nullptr || level < sink.Level)
        return;
    char text[FENXI_MESSAGE_BUFFER_SIZE];
    // vsnprintf cuts at the buffer's end and always terminates.
    if (std::vsnprintf(text, sizeof text, format, args) < 0)
        text[0] = '\0';
    sink.Callback(level, text);
}

} // namespace

void Fenx_SetMessageCallback(FenxMessageCallback callback) {
    library_sink.Callback = callback;
}

bool Fenx_SetMessageLevel(std::uint32_t level) {
    if (level > FENX_MSG_ERROR)
        return false;
    library_sink.Level = level;
    return true;
}

FenxiMessageSink Fenxi_LibrarySink() {
    return library_sink;
}

void Fenxi_Post(const FenxiMessageSink &sink, std::uint32_t level, const char *format, ...) {
    std::va_list args;
    va_start(args, format);
    deliver(sink, level, format, args);
    va_end(args);
}

void Fenxi_PostLibrary(std::uint32_t level, const char *format, ...) {
    std::va_list args;
    va_start(args, format);
    deliver(library_sink, level, format, args);
    va_end(args);
}
