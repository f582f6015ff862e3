// Checking a record against the rest of the input and other code: where it matches, whether a
// hit is the function itself, and what tells it apart from a hit that is not.
#include "author/against.h"

#include <algorithm>

#include "author/authoring.h"
#include "lib/image/xbe_layout.h"

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

namespace fendrel_author::authoring {

bool Author::matches(const Function &function, const Pick &pick, const CodeRegion &there,
                     std::uint32_t at) const {
    const CodeRegion &own = region_of(function);
    const std::size_t size = there.bytes.size();
    for (std::uint32_t offset : pick.lovp) {
        if (at + std::size_t{offset} >= size)
            return false;
        // A patched byte there becomes an address in the image: it may match.
        if (!there.matches_any(at + offset) &&
            there.bytes[at + offset] != own.bytes[function.start + offset])
            return false;
    }
    for (const Reference &reference : pick.references) {
        if (at + std::size_t{reference.offset} + 4 > size)
            return false;
        if (reference.use != ReferenceUse::Compare)
            continue;
        if (there.covered.empty()) {
            // In an image only a kernel import's slot is known; the scan takes the field as
            // the address itself or as a displacement to it.
            if (!there.kernel_slots || reference.index > kFenxiKernelOrdinalLast)
                continue;
            const auto slot = there.kernel_slots->find(reference.index);
            if (slot == there.kernel_slots->end())
                continue;
            const std::uint32_t field = at + reference.offset;
            const std::uint32_t value = Fenxi_ReadU32(there.bytes.data() + field);
            if (value != slot->second && value + there.virtual_address + field + 4 != slot->second)
                return false;
            continue;
        }
        const auto field = there.fields.find(at + reference.offset);
        if (field == there.fields.end() || field->second.addend ||
            (field->second.target != reference.target &&
             reference_index(field->second) != reference.index))
            return false;
    }
    return true;
}

bool Author::is_itself(const Function &function, std::size_t r, std::uint32_t at) const {
    if (r == function.region && at == function.start)
        return true;
    for (const Place &copy : function.copies)
        if (copy == Place{r, at})
            return true;
    const CodeRegion &there = regions_[r];
    if (!there.other)
        return false;
    // Objects name their functions; in a linked image only the code itself can tell.
    if (!there.covered.empty())
        return defines_name(there, at, function.symbol->name);
    return holds_same_code(region_of(function), function.start, function.end, there, at);
}

std::vector<Place> Author::foreign_hits(const Function &function, const Pick &pick) const {
    std::vector<Place> found;
    std::uint32_t reach = pick.lovp.empty() ? 0 : pick.lovp.back() + 1;
    for (const Reference &reference : pick.references)
        reach = std::max<std::uint32_t>(reach, reference.offset + 4u);
    std::map<std::size_t, std::vector<std::uint32_t>> own_code_in_other; // by region origin
    for (std::size_t r = 0; r < regions_.size(); ++r) {
        const CodeRegion &there = regions_[r];
        if (there.bytes.size() < reach)
            continue;
        for (std::uint32_t at = 0; at + reach <= there.bytes.size(); ++at) {
            if (!matches(function, pick, there, at))
                continue;
            if (!is_itself(function, r, at))
                found.emplace_back(r, at);
            else if (there.other && there.covered.empty())
                own_code_in_other[r].push_back(at);
        }
    }
    for (const auto &[r, places] : own_code_in_other)
        if (places.size() > 1)
            for (std::uint32_t at : places)
                found.emplace_back(r, at);
    return found;
}

std::optional<std::uint32_t> Author::distinguishing_byte(const Function &function, const Pick &pick,
                                                         const Place &hit) const {
    const CodeRegion &own = region_of(function);
    const CodeRegion &there = regions_[hit.first];
    for (std::uint32_t offset = 0; offset < function.end - function.start; ++offset) {
        if (offset > kMaxOffset)
            break;
        if (own.unknown(function.start + offset) ||
            std::binary_search(pick.lovp.begin(), pick.lovp.end(), offset))
            continue;
        const std::size_t at = hit.second + std::size_t{offset};
        if (at >= there.bytes.size() ||
            (!there.matches_any(at) && there.bytes[at] != own.bytes[function.start + offset]))
            return offset;
    }
    return std::nullopt;
}

std::optional<Reference> Author::distinguishing_reference(const Pick &pick,
                                                          const std::vector<Reference> &usable,
                                                          const Function &function,
                                                          const Place &hit) const {
    if (pick.references.size() >= kFenxiMaxRecordReferences || regions_[hit.first].covered.empty())
        return std::nullopt;
    for (const Reference &reference : usable) {
        if (reference.use != ReferenceUse::Compare)
            continue;
        if (std::any_of(pick.references.begin(), pick.references.end(),
                        [&](const Reference &r) { return r.offset == reference.offset; }))
            continue;
        Pick trial = pick;
        trial.references.push_back(reference);
        if (!matches(function, trial, regions_[hit.first], hit.second))
            return reference;
    }
    return std::nullopt;
}

} // namespace fendrel_author::authoring
