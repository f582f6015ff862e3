#include "pipeline/output_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ormolt {
namespace {

std::vector<std::string> split(std::string_view stream, std::size_t longest, std::size_t chunk) {
    std::vector<std::string> lines;
    const auto take = [&](std::string_view line) { lines.emplace_back(line); };
    OutputLines splitter(longest);
    for (std::size_t at = 0; at < stream.size(); at += chunk)
        splitter.feed(stream.substr(at, chunk), take);
    splitter.finish(take);
    return lines;
}

TEST(OutputLines, LinesAndOverlongPieces) {
    struct Case {
        std::string stream;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"abc\r\ndef", {"abc", "def"}},
        {"a\rb\n\n", {"a\rb", ""}},
        // Pieces of at most four bytes; the last line without a line end is one too.
        {"abcdefghij\n", {"abcd", "efgh", "ij"}},
        {"abcdefghi", {"abcd", "efgh", "i"}},
        {"abcde\n", {"abcd", "e"}},
        // A line of exactly the limit stays whole, even when its CR-LF comes later.
        {"abcd\r\nx", {"abcd", "x"}},
        // Never cut inside a character...
        {"abc\xc3\xa9z\n", {"abc", "\xc3\xa9z"}},
        {"ab\xe2\x82\xac\n", {"ab", "\xe2\x82\xac"}},
        // ...unless the bytes are not UTF-8 at all, and never right after a CR.
        {"a\x80\x80\x80\x80\x80\n", {"a\x80\x80\x80", "\x80\x80"}},
        {"abc\rdef\n", {"abc", "\rdef"}},
    };
    for (const auto &c : cases) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, c.stream.size()})
            EXPECT_EQ(split(c.stream, 4, chunk), c.expected)
                << c.stream << " in chunks of " << chunk;
    }
}

TEST(OutputLines, EndlessLineIsHeldOnePieceAtATime) {
    // Ten MiB without a line end, read as the runner reads: every byte comes out, in pieces
    // no longer than the default limit.
    const std::string stream(10 << 20, 'x');
    std::size_t bytes = 0, pieces = 0, longest = 0;
    OutputLines splitter;
    const auto take = [&](std::string_view piece) {
        bytes += piece.size();
        ++pieces;
        longest = std::max(longest, piece.size());
    };
    for (std::size_t at = 0; at < stream.size(); at += 8192)
        splitter.feed(std::string_view(stream).substr(at, 8192), take);
    splitter.finish(take);
    EXPECT_EQ(bytes, stream.size());
    EXPECT_EQ(pieces, 10u);
    EXPECT_EQ(longest, OutputLines::default_longest_line);
}

} // namespace
} // namespace ormolt
