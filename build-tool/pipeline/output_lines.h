#pragma once
// Splits a child's output stream into lines as it arrives in chunks of any size: "\n" ends a
// line, one "\r" just before it is dropped, and what is left when the stream ends is a last
// line of its own.
#include <functional>
#include <string>
#include <string_view>

namespace ormolt {

class OutputLines {
  public:
    using Take = std::function<void(std::string_view line)>;

    // Gives each line the chunk completes, in order.
    void feed(std::string_view chunk, const Take &take);
    // Gives the unfinished last line, if there is one.
    void finish(const Take &take);

  private:
    std::string pending_;
};

} // namespace ormolt
