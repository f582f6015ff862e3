// Code regions from objects and images.
#include "author/code_regions.h"

#include "lib/database/text_join.h"
#include "lib/image/xbe_layout.h"

using fenxi_text::join;

namespace fendrel_author {

std::vector<CodeRegion> regions_of_objects(const std::vector<CoffObject> &objects, bool other) {
    std::vector<CodeRegion> regions;
    for (const CoffObject &object : objects) {
        for (std::size_t s = 0; s < object.sections.size(); ++s) {
            const CoffSection &section = object.sections[s];
            if (!section.is_code() || section.bytes.empty())
                continue;
            CodeRegion region;
            region.origin = join(object.origin, " section ", printable(section.name));
            region.bytes = section.bytes;
            region.covered.assign(section.bytes.size(), false);
            region.object = &object;
            region.section = &section;
            region.other = other;
            for (const CoffRelocation &relocation : section.relocations) {
                const std::uint32_t width = coff_relocation_width(relocation.type);
                for (std::uint32_t b = 0; b < width; ++b)
                    region.covered[relocation.offset + b] = true;
                RelocatedField field;
                field.target = object.symbols[relocation.symbol].name;
                field.type = relocation.type;
                field.width = width;
                // The stored bytes are added to the target's address: anything but zero makes
                // the field refer beside the symbol.
                field.addend =
                    width == 4 && Fenxi_ReadU32(section.bytes.data() + relocation.offset) != 0;
                region.fields[relocation.offset] = std::move(field);
            }
            const auto number = static_cast<std::int32_t>(s + 1);
            for (const CoffSymbol &symbol : object.symbols)
                if (symbol.storage_class == kCoffClassExternal && symbol.section == number &&
                    symbol.value < section.bytes.size())
                    region.starts.emplace(symbol.value, symbol.name);
            regions.push_back(std::move(region));
        }
    }
    return regions;
}

std::vector<CodeRegion> regions_of_program(const LinkedProgram &program) {
    std::vector<CodeRegion> regions;
    const CoffObject &object = program.object;
    for (std::size_t s = 0; s < object.sections.size(); ++s) {
        const CoffSection &section = object.sections[s];
        CodeRegion region;
        region.origin = join(object.origin, " section ", printable(section.name));
        region.bytes = section.bytes;
        region.covered = program.fields[s].unknown;
        region.linked = true;
        region.fields = program.fields[s].fields;
        region.object = &object;
        region.section = &section;
        region.virtual_address = program.section_addresses[s];
        const auto number = static_cast<std::int32_t>(s + 1);
        for (const CoffSymbol &symbol : object.symbols)
            if (symbol.storage_class == kCoffClassExternal && symbol.section == number)
                region.starts.emplace(symbol.value, symbol.name);
        regions.push_back(std::move(region));
    }
    return regions;
}

std::vector<CodeRegion> regions_of_images(const std::vector<OtherCode::Image> &images) {
    std::vector<CodeRegion> regions;
    for (const OtherCode::Image &image : images) {
        const auto kernel = std::make_shared<const std::map<std::uint32_t, std::uint32_t>>(
            image.image.kernel_slots);
        for (const ImageSection &section : image.image.sections) {
            if (section.bytes.empty())
                continue;
            CodeRegion region;
            region.origin = join(image.origin, " section ", printable(section.name));
            auto storage = std::make_shared<const std::vector<std::uint8_t>>(section.bytes);
            region.bytes = *storage;
            region.storage = std::move(storage);
            region.other = true;
            region.virtual_address = section.virtual_address;
            region.kernel_slots = kernel;
            regions.push_back(std::move(region));
        }
    }
    return regions;
}

} // namespace fendrel_author
