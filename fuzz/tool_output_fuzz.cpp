// The tool runner's handling of a child's output: the stream cut into chunks of sizes the input
// chooses, split into lines, each line repaired to UTF-8 and shortened for its event, and read
// for progress as the translation and the build steps read it.
#include "pipeline/command_line_text.h"
#include "pipeline/output_lines.h"
#include "pipeline/progress_lines.h"
#include "records/message.h"
#include "scratch.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return 0;
    // First byte: the chunk size the pipe delivers (1 to 256 bytes). Second byte: below 128 the
    // runner's own line limit, else a limit of 2 to 129 bytes, so long lines are cut in pieces.
    const std::size_t chunk_size = static_cast<std::size_t>(data[0]) + 1;
    const bool small_limit = data[1] >= 128;
    const std::size_t limit =
        small_limit ? (data[1] & 0x7Fu) + 2u : ormolt::OutputLines::default_longest_line;
    const std::string_view stream(reinterpret_cast<const char *>(data + 2), size - 2);

    std::string rejoined, pieces_joined;
    std::size_t line_count = 0;
    const auto take = [&](std::string_view raw) {
        if (raw.find('\n') != std::string_view::npos)
            fuzz::broken("a line holds a line feed");
        // One more byte only for a "\r" that belongs to the line's content.
        if (raw.size() > limit + 1)
            fuzz::broken("a line is longer than the limit");
        pieces_joined += raw;
        if (line_count++ > 0)
            rejoined += '\n';
        rejoined += raw;
        const std::string line = ormolt::utf8_replacing_invalid(raw);
        if (!ormolt::is_valid_utf8(line))
            fuzz::broken("a repaired line is not valid UTF-8");
        if (ormolt::is_valid_utf8(raw) && line != raw)
            fuzz::broken("a valid line was changed by the repair");
        const std::string_view shown = ormolt::first_scalars(line, 500);
        if (line.substr(0, shown.size()) != shown || !ormolt::is_valid_utf8(shown))
            fuzz::broken("the event's part of a line is not a whole-character prefix");
        if (const auto lift = ormolt::parse_lift_progress(line)) {
            if (lift->count < 1 || lift->count > 4)
                fuzz::broken("a translation step outside 1 to 4");
        }
        if (const auto compile = ormolt::parse_compile_progress(line)) {
            if (!ormolt::is_valid_utf8(compile->detail))
                fuzz::broken("a build progress detail is not valid UTF-8");
        }
    };

    ormolt::OutputLines lines(limit);
    for (std::size_t at = 0; at < stream.size(); at += chunk_size)
        lines.feed(stream.substr(at, chunk_size), take);
    lines.finish(take);

    // Apart from the line ends (and a carriage return before each), nothing is lost or added.
    std::string expected, expected_joined;
    std::size_t start = 0;
    std::size_t expected_count = 0;
    while (start < stream.size()) {
        std::size_t end = stream.find('\n', start);
        const bool ended = end != std::string_view::npos;
        if (!ended)
            end = stream.size();
        std::string_view line = stream.substr(start, end - start);
        if (ended && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (expected_count++ > 0)
            expected += '\n';
        expected += line;
        expected_joined += line;
        start = end + 1;
    }
    if (small_limit) {
        // Pieces of long lines: more takes than lines, but the same bytes in the same order.
        if (line_count < expected_count || pieces_joined != expected_joined)
            fuzz::broken("the pieces are not the stream's lines");
    } else if (expected_count != line_count || expected != rejoined) {
        fuzz::broken("the lines are not the stream's lines");
    }
    return 0;
}
