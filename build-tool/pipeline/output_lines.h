#pragma once
// Splits a child's output stream into lines as it arrives in chunks of any size: "\n" ends a
// line, one "\r" just before it is dropped, and what is left when the stream ends is a last
// line of its own. A line longer than the limit is given in pieces of at most the limit, cut
// between characters, so a child that prints without ever ending a line cannot make the
// runner hold more than one piece.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ormolt {

class OutputLines {
  public:
    using Take = std::function<void(std::string_view line)>;

    // Far beyond any line a compiler or script prints, small enough that 25 kept lines stay
    // a few tens of MiB.
    static constexpr std::size_t default_longest_line = std::size_t{1} << 20;

    explicit OutputLines(std::size_t longest_line = default_longest_line);

    // Gives each line (or piece of an overlong line) the chunk completes, in order.
    void feed(std::string_view chunk, const Take &take);
    // Gives the unfinished last line, if there is one.
    void finish(const Take &take);

  private:
    void give_overlong_pieces(const Take &take);

    std::size_t longest_line_;
    std::string pending_;
};

} // namespace ormolt
