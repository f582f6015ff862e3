#include "pipeline/output_lines.h"

#include <algorithm>

namespace ormolt {
namespace {

bool is_continuation_byte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Where to cut a piece of at most `limit` bytes off `text`: before a character's first byte
// (a UTF-8 character has at most three continuation bytes), and not right after a "\r", which
// may yet be the first half of a line end.
std::size_t piece_end(std::string_view text, std::size_t limit) {
    std::size_t cut = limit;
    for (int back = 0; back < 3 && cut > 1 && is_continuation_byte(text[cut]); ++back)
        --cut;
    if (is_continuation_byte(text[cut]))
        cut = limit; // not UTF-8 here anyway: the repair shows it as it is
    if (cut > 1 && text[cut - 1] == '\r')
        --cut;
    return cut;
}

} // namespace

OutputLines::OutputLines(std::size_t longest_line)
    : longest_line_(std::max<std::size_t>(longest_line, 2)) {}

void OutputLines::give_overlong_pieces(const Take &take) {
    // A "\r" at the end may be half of a line end still to come, so it does not count yet.
    const std::size_t held = pending_.size() - (pending_.ends_with('\r') ? 1 : 0);
    std::size_t given = 0;
    while (held - given > longest_line_) {
        const std::string_view rest = std::string_view(pending_).substr(given);
        const std::size_t cut = piece_end(rest, longest_line_);
        take(rest.substr(0, cut));
        given += cut;
    }
    pending_.erase(0, given);
}

void OutputLines::feed(std::string_view chunk, const Take &take) {
    while (!chunk.empty()) {
        const std::size_t end = chunk.find('\n');
        if (end == std::string_view::npos) {
            pending_ += chunk;
            give_overlong_pieces(take);
            return;
        }
        pending_ += chunk.substr(0, end);
        chunk.remove_prefix(end + 1);
        if (!pending_.empty() && pending_.back() == '\r')
            pending_.pop_back();
        give_overlong_pieces(take);
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
