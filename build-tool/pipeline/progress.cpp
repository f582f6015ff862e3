#include "pipeline/progress.h"

#include "records/event_stream.h"

#include <cmath>
#include <string>

namespace ormolt {

const StageInfo &stage_info(Stage stage) {
    return stage_table[static_cast<std::size_t>(stage)];
}

void report_progress(Stage stage, std::uint64_t done, std::uint64_t total,
                     std::string_view detail) {
    const StageInfo &info = stage_info(stage);
    double fraction = 0.0;
    if (total != 0)
        fraction = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
    const double overall = info.base + fraction * info.weight;

    Event event;
    event["event"] = "progress";
    event["stage"] = info.name;
    event["label"] = info.label;
    event["done"] = done;
    event["total"] = total;
    event["detail"] = std::string(detail);
    event["overall"] = std::isfinite(overall) ? Event(overall) : Event(nullptr);
    emit_event(event);
}

} // namespace ormolt
