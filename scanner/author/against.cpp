// Telling a function's own code in other code from code that only looks like it.
#include "author/against.h"

namespace fendrel_author {

bool holds_same_code(const CodeRegion &own, std::uint32_t start, std::uint32_t end,
                     const CodeRegion &there, std::uint32_t at) {
    const std::uint32_t length = end - start;
    if (at > there.bytes.size() || length > there.bytes.size() - at)
        return false;
    for (std::uint32_t k = 0; k < length; ++k) {
        if (own.unknown(start + k) || there.unknown(at + k))
            continue;
        if (own.bytes[start + k] != there.bytes[at + k])
            return false;
    }
    if (there.covered.empty())
        return true; // an image: the addresses in it cannot be told from here
    for (auto it = own.fields.lower_bound(start); it != own.fields.end() && it->first < end; ++it) {
        const auto other = there.fields.find(at + (it->first - start));
        if (other == there.fields.end() || other->second.target != it->second.target ||
            other->second.addend != it->second.addend)
            return false;
    }
    return true;
}

bool defines_name(const CodeRegion &there, std::uint32_t at, const std::string &decorated) {
    const auto it = there.starts.find(at);
    return it != there.starts.end() && it->second == decorated;
}

} // namespace fendrel_author
