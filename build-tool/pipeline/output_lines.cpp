#include "pipeline/output_lines.h"

namespace ormolt {

void OutputLines::feed(std::string_view chunk, const Take &take) {
    while (!chunk.empty()) {
        const std::size_t end = chunk.find('\n');
        if (end == std::string_view::npos) {
            pending_ += chunk;
            return;
        }
        pending_ += chunk.substr(0, end);
        chunk.remove_prefix(end + 1);
        if (!pending_.empty() && pending_.back() == '\r')
            pending_.pop_back();
        take(pending_);
        pending_.clear();
    }
}

void OutputLines::finish(const Take &take) {
    if (!pending_.empty())
        take(pending_);
    pending_.clear();
}

} // namespace ormolt
