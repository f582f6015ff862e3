#pragma once
// The event stream on standard output: one compact JSON object per line, keys in ascending
// byte order, written whole and flushed under one process-wide lock.
#include <nlohmann/json.hpp>

#include <functional>
#include <string>

namespace ormolt {

// nlohmann::json keeps object members in a std::map, so keys come out in byte order.
using Event = nlohmann::json;

// Writes one event line to standard output and flushes it. Output errors are ignored.
void emit_event(const Event &object);

// Writes one last event, as emit_event does; every event after it is dropped. For the words of
// a process that is about to end while another thread may still be reporting.
void emit_last_event(const Event &object);

// The same, unless a "done" event has been written: the command's outcome is then success, and
// nothing more is said. Whether it wrote the event.
bool emit_last_event_unless_done(const Event &object);

// The event as its line on the stream, "\n" included.
std::string event_line(const Event &object);

// Where events go instead of standard output's lines: the terminal view, or a test reading the
// events a step emits. Called under the output lock, so one event is handled whole before the
// next. Returns the previous sink; an empty sink restores the event lines on stdout.
using EventSink = std::function<void(const Event &event)>;
EventSink replace_event_sink(EventSink sink);

} // namespace ormolt
