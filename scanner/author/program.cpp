// Linked programs and their names.
#include "author/program.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "author/names.h"
#include "lib/database/records.h"
#include "lib/database/text_join.h"
#include "lib/image/xbe_layout.h"

using fenxi_text::join;

namespace fendrel_author {
namespace {

// The next whitespace-separated word of `text`, taken off it.
std::string_view next_word(std::string_view &text) {
    text = trim(text);
    std::size_t end = 0;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])))
        ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

// A hexadecimal number of at most 16 digits whose value fits 32 bits.
std::optional<std::uint32_t> hex_address(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    std::uint64_t value = 0;
    if (text.empty() || text.size() > 16)
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc{} || end != text.data() + text.size() || value > 0xFFFFFFFF)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// Calls `line` with each line and its number; stops at the first error.
template <typename Each>
std::expected<void, std::string> each_line(std::string_view text, Each line) {
    for (std::size_t number = 1; !text.empty(); ++number) {
        const std::size_t end = text.find('\n');
        std::string_view current = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (auto done = line(trim(current), number); !done)
            return done;
    }
    return {};
}

bool printable_name(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
}

} // namespace

std::expected<std::vector<NamedAddress>, std::string> read_linker_map(std::string_view text,
                                                                      std::string_view file_name) {
    std::vector<NamedAddress> names;
    enum class Table { Before, Publics, Statics, After } table = Table::Before;
    auto read = each_line(
        text, [&](std::string_view line, std::size_t number) -> std::expected<void, std::string> {
            const auto fail = [&](std::string_view what) {
                return std::unexpected(join(file_name, ":", number, ": ", what));
            };
            if (line.find("Publics by Value") != std::string_view::npos) {
                table = Table::Publics;
                return {};
            }
            if (table == Table::Publics && line == "Static symbols") {
                table = Table::Statics;
                return {};
            }
            if (table != Table::Publics && table != Table::Statics)
                return {};
            std::string_view rest = line;
            const std::string_view place = next_word(rest);
            // "0001:00000010": the section and offset; any other line ends the tables, except the
            // entry point's.
            const bool symbol_line = place.size() >= 6 && place.find(':') == 4 &&
                                     hex_address(place.substr(0, 4)) &&
                                     hex_address(place.substr(5));
            if (!symbol_line) {
                if (!line.empty() && !line.starts_with("entry point at"))
                    table = Table::After;
                return {};
            }
            const std::string_view name = next_word(rest);
            const std::string_view address_text = next_word(rest);
            const auto address = hex_address(address_text);
            if (!printable_name(name) || !address)
                return fail("not a symbol line of a linker map ('section:offset name address "
                            "object')");
            // Section 0 holds absolute symbols, which are no place in the image.
            if (place.starts_with("0000:"))
                return {};
            names.push_back({std::string(name), *address, table == Table::Statics});
            return {};
        });
    if (!read)
        return std::unexpected(read.error());
    if (table == Table::Before)
        return std::unexpected(
            join(file_name, ": no \"Publics by Value\" table: not a linker map"));
    return names;
}

std::expected<std::vector<NamedAddress>, std::string> read_symbol_list(std::string_view text,
                                                                       std::string_view file_name) {
    std::vector<NamedAddress> names;
    auto read = each_line(
        text, [&](std::string_view line, std::size_t number) -> std::expected<void, std::string> {
            const auto fail = [&](std::string_view what) {
                return std::unexpected(join(file_name, ":", number, ": ", what));
            };
            if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
                line = trim(line.substr(0, hash));
            // FendrelCLI's warning about long parameters precedes a symbol line.
            if (line.empty() || line.starts_with("ERROR:"))
                return {};
            const std::size_t equals = line.rfind(" = 0x");
            if (equals != std::string_view::npos && line.find("__") < equals) {
                // "LIB__Name", "LIB__VAR__Name", "LIB__UNK__Name", "LIB__FUN__conv__Name(params)".
                const auto address = hex_address(line.substr(equals + 3));
                std::string_view name = line.substr(0, equals);
                name.remove_prefix(name.find("__") + 2);
                bool variable = false;
                if (name.starts_with("VAR__") || name.starts_with("UNK__")) {
                    variable = true;
                    name.remove_prefix(5);
                } else if (name.starts_with("FUN__")) {
                    name.remove_prefix(5);
                    const std::size_t convention = name.find("__");
                    const std::size_t open = name.find('(');
                    if (convention == std::string_view::npos || open < convention ||
                        !name.ends_with(")"))
                        return fail("a FendrelCLI function line is 'LIB__FUN__convention__Name"
                                    "(parameters) = 0x...'");
                    name = name.substr(convention + 2, open - convention - 2);
                }
                if (!address || !printable_name(name))
                    return fail("a FendrelCLI symbol line is 'LIB__Name = 0x...'");
                names.push_back({std::string(name), *address, variable});
                return {};
            }
            std::string_view rest = line;
            const auto address = hex_address(next_word(rest));
            const std::string_view name = next_word(rest);
            if (!address || !printable_name(name) || !trim(rest).empty())
                return fail("neither a FendrelCLI symbol line nor 'address name'");
            names.push_back({std::string(name), *address, false});
            return {};
        });
    if (!read)
        return std::unexpected(read.error());
    return names;
}

namespace {

constexpr std::uint8_t kCallRel32 = 0xE8;
constexpr std::uint8_t kJumpRel32 = 0xE9;
constexpr std::uint8_t kTwoByteOpcode = 0x0F;

// The named places of one section, by offset; functions and boundaries alike.
struct Places {
    std::map<std::uint32_t, std::vector<std::string>> named; // by offset in the section
    std::map<std::uint32_t, std::string> functions;          // by offset in the section
};

class ProgramLinker {
  public:
    ProgramLinker(const LinkedImageFile &image, const std::vector<NamedAddress> &names,
                  const std::string &origin)
        : image_(image), names_(names) {
        program_.object.origin = origin;
        program_.base_address = image.base_address;
        program_.has_relocations = image.has_relocations;
        for (const auto &[ordinal, slot] : image.kernel_slots)
            slots_.emplace(slot, ordinal);
    }

    LinkedProgram run() {
        for (const ImageSection &section : image_.sections) {
            if (section.bytes.empty())
                continue;
            CoffSection coff;
            coff.name = section.name;
            coff.characteristics = section.executable ? kCoffSectionCode | kCoffSectionExecute : 0;
            coff.size = static_cast<std::uint32_t>(section.bytes.size());
            coff.bytes = section.bytes;
            program_.object.sections.push_back(std::move(coff));
            program_.section_addresses.push_back(section.virtual_address);
        }
        place_names();
        for (std::size_t s = 0; s < program_.object.sections.size(); ++s) {
            SectionFields fields;
            fields.unknown.assign(program_.object.sections[s].bytes.size(), false);
            program_.fields.push_back(std::move(fields));
        }
        for (std::size_t s = 0; s < program_.object.sections.size(); ++s) {
            if (image_.has_relocations)
                place_relocated(s);
            else
                place_address_values(s);
        }
        for (std::size_t s = 0; s < program_.object.sections.size(); ++s)
            if (program_.object.sections[s].is_code())
                place_displacements(s);
        return std::move(program_);
    }

  private:
    // The section holding `address`, and the offset there.
    std::optional<std::pair<std::size_t, std::uint32_t>> locate(std::uint32_t address) const {
        for (std::size_t s = 0; s < program_.object.sections.size(); ++s) {
            const std::uint32_t start = program_.section_addresses[s];
            if (address >= start && address - start < program_.object.sections[s].bytes.size())
                return std::pair{s, address - start};
        }
        return std::nullopt;
    }

    void place_names() {
        places_.resize(program_.object.sections.size());
        for (const NamedAddress &name : names_) {
            const auto where = locate(name.address);
            if (!where)
                continue;
            const auto [s, offset] = *where;
            ++program_.figures.names;
            const bool function = program_.object.sections[s].is_code() && !name.boundary_only;
            CoffSymbol symbol;
            symbol.name = name.name;
            symbol.value = offset;
            symbol.section = static_cast<std::int32_t>(s + 1);
            symbol.storage_class = function ? kCoffClassExternal : kCoffClassStatic;
            program_.object.symbols.push_back(std::move(symbol));
            places_[s].named[offset].push_back(name.name);
            if (function)
                places_[s].functions.emplace(offset, name.name);
        }
    }

    // The field a 4-byte address value makes: a reference to a named place or a kernel slot, a
    // reference beside a named place, or a field with no known target.
    RelocatedField field_for(std::uint32_t value, std::uint16_t type) const {
        RelocatedField field;
        field.type = type;
        field.width = 4;
        if (const auto slot = slots_.find(value); slot != slots_.end()) {
            field.index = slot->second;
            field.target = join("kernel ", slot->second);
        }
        const auto where = locate(value);
        if (!where)
            return field;
        const Places &places = places_[where->first];
        auto named = places.named.upper_bound(where->second);
        if (named == places.named.begin())
            return field;
        --named;
        if (field.index == 0) {
            field.target = named->second.front();
            field.other_names.assign(named->second.begin() + 1, named->second.end());
        }
        field.addend = field.index == 0 && named->first != where->second;
        return field;
    }

    void set_field(std::size_t s, std::uint32_t offset, RelocatedField field) {
        SectionFields &fields = program_.fields[s];
        for (std::uint32_t b = 0; b < 4; ++b)
            fields.unknown[offset + b] = true;
        if (!field.target.empty() && !field.addend)
            ++program_.figures.to_named;
        fields.fields[offset] = std::move(field);
    }

    void place_relocated(std::size_t s) {
        const std::uint32_t start = program_.section_addresses[s];
        const std::vector<std::uint8_t> &bytes = program_.object.sections[s].bytes;
        const auto &relocated = image_.relocated_fields;
        for (auto it = std::lower_bound(relocated.begin(), relocated.end(), start);
             it != relocated.end() && *it - start < bytes.size(); ++it) {
            const std::uint32_t offset = *it - start;
            if (bytes.size() - offset < 4)
                continue;
            ++program_.figures.relocated;
            set_field(s, offset, field_for(Fenxi_ReadU32(bytes.data() + offset), kCoffRelocDir32));
        }
    }

    // Without base relocations any 4 bytes whose value is an address in the image may be one.
    void place_address_values(std::size_t s) {
        const std::vector<std::uint8_t> &bytes = program_.object.sections[s].bytes;
        std::uint32_t last_field_end = 0;
        for (std::uint32_t offset = 0; offset + 4 <= bytes.size(); ++offset) {
            const std::uint32_t value = Fenxi_ReadU32(bytes.data() + offset);
            if (value < image_.base_address || value >= image_.end_address)
                continue;
            ++program_.figures.address_values;
            RelocatedField field = field_for(value, kCoffRelocDir32);
            // Overlapping values: only the first is a field that can be compared.
            if (offset < last_field_end) {
                for (std::uint32_t b = 0; b < 4; ++b)
                    program_.fields[s].unknown[offset + b] = true;
                continue;
            }
            if (field.target.empty() || field.addend) {
                for (std::uint32_t b = 0; b < 4; ++b)
                    program_.fields[s].unknown[offset + b] = true;
                continue;
            }
            last_field_end = offset + 4;
            set_field(s, offset, std::move(field));
        }
    }

    // The start of the function holding `offset`, and where the next named place begins.
    std::pair<std::uint32_t, std::uint32_t> extent(std::size_t s, std::uint32_t offset) const {
        const Places &places = places_[s];
        auto next = places.named.upper_bound(offset);
        const std::uint32_t end =
            next == places.named.end()
                ? static_cast<std::uint32_t>(program_.object.sections[s].bytes.size())
                : next->first;
        const std::uint32_t start = next == places.named.begin() ? 0 : std::prev(next)->first;
        return {start, end};
    }

    // 32-bit call and jump displacements, found by their opcodes: one that leaves its function is
    // a reference when it lands on a named function and unknown otherwise, since the linker
    // places its target. An opcode byte inside another instruction whose "target" lies inside
    // some code is taken as one too: a byte less compared, never a byte wrongly compared.
    void place_displacements(std::size_t s) {
        const std::vector<std::uint8_t> &bytes = program_.object.sections[s].bytes;
        SectionFields &fields = program_.fields[s];
        const std::uint32_t start = program_.section_addresses[s];
        for (std::uint32_t at = 0; at + 5 <= bytes.size(); ++at) {
            std::uint32_t field = 0;
            if (bytes[at] == kCallRel32 || bytes[at] == kJumpRel32)
                field = at + 1;
            else if (bytes[at] == kTwoByteOpcode && at + 6 <= bytes.size() &&
                     (bytes[at + 1] & 0xF0) == 0x80)
                field = at + 2;
            else
                continue;
            if (fields.unknown[field] || fields.unknown[field + 3])
                continue;
            const std::uint32_t next = start + field + 4;
            const std::uint32_t target = next + Fenxi_ReadU32(bytes.data() + field);
            const auto where = locate(target);
            if (!where || !program_.object.sections[where->first].is_code())
                continue;
            const auto [own_start, own_end] = extent(s, at);
            if (where->first == s && where->second >= own_start && where->second < own_end)
                continue; // inside the function: the same in every link
            const auto function = places_[where->first].functions.find(where->second);
            RelocatedField displacement;
            displacement.type = kCoffRelocRel32;
            displacement.width = 4;
            if (function != places_[where->first].functions.end()) {
                displacement.target = function->second;
                ++program_.figures.calls_named;
            } else {
                ++program_.figures.calls_unknown;
            }
            for (std::uint32_t b = 0; b < 4; ++b)
                fields.unknown[field + b] = true;
            fields.fields[field] = std::move(displacement);
        }
    }

    const LinkedImageFile &image_;
    const std::vector<NamedAddress> &names_;
    LinkedProgram program_;
    std::map<std::uint32_t, std::uint32_t> slots_; // slot address -> ordinal
    std::vector<Places> places_;
};

} // namespace

LinkedProgram link_program(const LinkedImageFile &image, const std::vector<NamedAddress> &names,
                           const std::string &origin) {
    return ProgramLinker(image, names, origin).run();
}

} // namespace fendrel_author
