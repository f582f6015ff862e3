#pragma once
// The event stream on standard output: one compact JSON object per line, keys in ascending
// byte order, written whole and flushed under one process-wide lock.
#include <nlohmann/json.hpp>

#include <functional>
#include <string_view>

namespace ormolt {

// nlohmann::json keeps object members in a std::map, so keys come out in byte order.
using Event = nlohmann::json;

// Writes one event line to standard output and flushes it. Output errors are ignored.
void emit_event(const Event& object);

// Where event lines go (each with its "\n"); standard output unless replaced. Tests replace it
// to read the events a step emits. Returns the previous sink; an empty sink restores stdout.
using EventSink = std::function<void(std::string_view line)>;
EventSink replace_event_sink(EventSink sink);

} // namespace ormolt
