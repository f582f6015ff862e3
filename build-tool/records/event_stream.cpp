#include "records/event_stream.h"

#include <cstdio>
#include <mutex>

namespace ormolt {

namespace {
std::mutex &stdout_lock() {
    static std::mutex lock;
    return lock;
}

EventSink &current_sink() {
    static EventSink sink;
    return sink;
}

bool closed = false;       // under the output lock
bool done_written = false; // under the output lock

void deliver(const Event &object) {
    if (closed)
        return;
    if (object.is_object() && object.value("event", "") == "done")
        done_written = true;
    if (current_sink()) {
        current_sink()(object);
        return;
    }
    const std::string line = event_line(object);
    (void)std::fwrite(line.data(), 1, line.size(), stdout);
    (void)std::fflush(stdout);
}
} // namespace

EventSink replace_event_sink(EventSink sink) {
    std::lock_guard guard(stdout_lock());
    std::swap(current_sink(), sink);
    return sink;
}

std::string event_line(const Event &object) {
    // Invalid UTF-8 in a value must never stop the stream: it is written as U+FFFD.
    std::string line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    line += '\n';
    return line;
}

void emit_event(const Event &object) {
    std::lock_guard guard(stdout_lock());
    deliver(object);
}

void emit_last_event(const Event &object) {
    std::lock_guard guard(stdout_lock());
    deliver(object);
    closed = true;
}

bool emit_last_event_unless_done(const Event &object) {
    std::lock_guard guard(stdout_lock());
    const bool written = !done_written;
    if (written)
        deliver(object);
    closed = true;
    return written;
}

} // namespace ormolt
