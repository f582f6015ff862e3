#pragma once
// The event stream on standard output: one compact JSON object per line, keys in ascending
// byte order, written whole and flushed under one process-wide lock.
#include <nlohmann/json.hpp>

namespace ormolt {

// nlohmann::json keeps object members in a std::map, so keys come out in byte order.
using Event = nlohmann::json;

// Writes one event line to standard output and flushes it. Output errors are ignored.
void emit_event(const Event& object);

} // namespace ormolt
