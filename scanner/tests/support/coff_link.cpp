// A small linker for tests.
#include "support/coff_link.h"

#include <algorithm>

using fendrel_author::CoffObject;
using fendrel_author::CoffSection;
using fendrel_author::CoffSymbol;

namespace {

std::uint32_t aligned(std::size_t size) {
    return static_cast<std::uint32_t>((size + 15) & ~15u);
}

} // namespace

std::expected<LinkedImage, std::string> link_coff_objects(const std::vector<CoffObject> &objects,
                                                          std::uint32_t code_address,
                                                          std::uint32_t data_address,
                                                          std::uint32_t data_reserve) {
    LinkedImage image;
    image.data.assign(data_reserve, 0);
    // Where each section of each object went.
    std::vector<std::vector<std::uint32_t>> placed(objects.size());
    for (std::size_t o = 0; o < objects.size(); ++o) {
        for (const CoffSection &section : objects[o].sections) {
            std::vector<std::uint8_t> &out = section.is_code() ? image.code : image.data;
            const std::uint32_t base = section.is_code() ? code_address : data_address;
            out.resize(aligned(out.size()), section.is_code() ? 0xCC : 0x00);
            placed[o].push_back(base + static_cast<std::uint32_t>(out.size()));
            if (section.bytes.empty())
                out.resize(out.size() + section.size, 0); // uninitialised data
            else
                out.insert(out.end(), section.bytes.begin(), section.bytes.end());
        }
    }
    const auto address_of = [&](std::size_t o, const CoffSymbol &symbol) -> std::uint32_t {
        return placed[o][symbol.section - 1] + symbol.value;
    };
    for (std::size_t o = 0; o < objects.size(); ++o)
        for (const CoffSymbol &symbol : objects[o].symbols)
            if (symbol.storage_class == fendrel_author::kCoffClassExternal && symbol.section > 0)
                image.addresses.emplace(symbol.name, address_of(o, symbol));

    for (std::size_t o = 0; o < objects.size(); ++o) {
        for (std::size_t s = 0; s < objects[o].sections.size(); ++s) {
            const CoffSection &section = objects[o].sections[s];
            std::vector<std::uint8_t> &out = section.is_code() ? image.code : image.data;
            const std::uint32_t base = section.is_code() ? code_address : data_address;
            for (const auto &relocation : section.relocations) {
                const CoffSymbol &target = objects[o].symbols[relocation.symbol];
                std::uint32_t target_address = 0;
                if (target.section > 0) {
                    target_address = address_of(o, target);
                } else if (const auto it = image.addresses.find(target.name);
                           it != image.addresses.end()) {
                    target_address = it->second;
                } else {
                    return std::unexpected("undefined symbol " + target.name);
                }
                const std::uint32_t field = placed[o][s] + relocation.offset;
                std::uint8_t *at = out.data() + (field - base);
                std::uint32_t value =
                    at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
                if (relocation.type == fendrel_author::kCoffRelocDir32)
                    value += target_address;
                else if (relocation.type == fendrel_author::kCoffRelocRel32)
                    value += target_address - (field + 4);
                else
                    return std::unexpected("relocation type " + std::to_string(relocation.type));
                for (int k = 0; k < 4; ++k)
                    at[k] = static_cast<std::uint8_t>(value >> (8 * k));
            }
        }
    }
    return image;
}
