// Reading the library and the other code from files.
#include "author/input.h"

#include <fstream>
#include <iterator>

#include "lib/database/records.h"
#include "lib/database/text_join.h"

using fenxi_text::join;

namespace fendrel_author {
namespace {

std::expected<std::vector<std::uint8_t>, std::string> read_file(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::unexpected(join(file.generic_string(), ": cannot be opened"));
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad())
        return std::unexpected(join(file.generic_string(), ": cannot be read"));
    return bytes;
}

// One object or member: read, or skipped with its reason.
std::expected<void, std::string> add_object(std::span<const std::uint8_t> bytes,
                                            const std::string &origin, AuthorInput &input) {
    switch (classify_object(bytes)) {
    case ObjectKind::Import: {
        // The kernel's import library: each member names an export's ordinal (the hint of a
        // member imported by name is the ordinal the library was made with).
        auto member = read_import_member(bytes, origin);
        if (!member)
            return std::unexpected(member.error());
        if (member->ordinal_or_hint == 0 || member->ordinal_or_hint > kFenxiKernelOrdinalLast)
            input.skipped.push_back(join(origin, ": an import member of ",
                                         printable(member->library), " whose ordinal ",
                                         member->ordinal_or_hint, " no kernel export has"));
        else
            input.kernel_imports.emplace(member->symbol, member->ordinal_or_hint);
        return {};
    }
    case ObjectKind::LinkTimeCode:
        input.skipped.push_back(join(origin, ": ", kLinkTimeCodeReason));
        ++input.link_time_code;
        return {};
    case ObjectKind::Coff:
    case ObjectKind::BigObject:
    case ObjectKind::Other:
        break;
    }
    auto object = read_coff_object(bytes, origin);
    if (!object)
        return std::unexpected(object.error());
    input.objects.push_back(std::move(*object));
    return {};
}

} // namespace

std::expected<void, std::string> load_input_bytes(std::span<const std::uint8_t> bytes,
                                                  const std::string &name, AuthorInput &input) {
    const std::size_t kernel_imports = input.kernel_imports.size();
    if (!is_archive(bytes)) {
        if (auto added = add_object(bytes, name, input); !added)
            return added;
    } else {
        auto members = read_archive(bytes, name);
        if (!members)
            return std::unexpected(members.error());
        for (const ArchiveMember &member : *members)
            if (auto added =
                    add_object(member.bytes, join(name, "(", printable(member.name), ")"), input);
                !added)
                return added;
    }
    if (input.kernel_imports.size() != kernel_imports)
        input.kernel_import_files.emplace_back(name, input.kernel_imports.size() - kernel_imports);
    return {};
}

std::expected<void, std::string> load_program_bytes(std::span<const std::uint8_t> image,
                                                    const std::string &image_name,
                                                    std::string_view names,
                                                    const std::string &names_name, NamesKind kind,
                                                    AuthorInput &input) {
    if (!is_xbe_image(image) && !is_pe_image(image))
        return std::unexpected(join(image_name,
                                    ": neither a PE image nor an XBE; --map and "
                                    "--symbols name the functions of a linked program"));
    auto linked =
        is_xbe_image(image) ? read_xbe_image(image, image_name) : read_pe_image(image, image_name);
    if (!linked)
        return std::unexpected(linked.error());
    auto named = kind == NamesKind::Map ? read_linker_map(names, names_name)
                                        : read_symbol_list(names, names_name);
    if (!named)
        return std::unexpected(named.error());
    input.programs.push_back(link_program(*linked, *named, image_name));
    if (input.programs.back().figures.names == 0)
        return std::unexpected(
            join(names_name, ": names no address inside ", image_name, "'s sections"));
    return {};
}

std::expected<void, std::string> load_input(const std::filesystem::path &file, AuthorInput &input) {
    auto bytes = read_file(file);
    if (!bytes)
        return std::unexpected(bytes.error());
    return load_input_bytes(*bytes, file.filename().generic_string(), input);
}

std::expected<void, std::string> load_inputs(const std::vector<std::filesystem::path> &files,
                                             const std::filesystem::path &program_names,
                                             NamesKind kind, AuthorInput &input) {
    std::string names_text;
    if (!program_names.empty()) {
        auto names = read_file(program_names);
        if (!names)
            return std::unexpected(names.error());
        names_text.assign(names->begin(), names->end());
    }
    const std::string names_name = program_names.filename().generic_string();
    std::size_t images = 0;
    for (const std::filesystem::path &file : files) {
        auto bytes = read_file(file);
        if (!bytes)
            return std::unexpected(bytes.error());
        const std::string name = file.filename().generic_string();
        const bool image = is_xbe_image(*bytes) || is_pe_image(*bytes);
        if (!program_names.empty() && image) {
            if (++images > 1)
                return std::unexpected(join(name, ": a second linked image; ", names_name,
                                            " names the functions of one"));
            if (auto loaded = load_program_bytes(*bytes, name, names_text, names_name, kind, input);
                !loaded)
                return loaded;
            continue;
        }
        if (image)
            return std::unexpected(join(name, ": a linked image: give --map or --symbols with "
                                              "the names of its functions"));
        if (auto loaded = load_input_bytes(*bytes, name, input); !loaded)
            return loaded;
    }
    if (!program_names.empty() && images == 0)
        return std::unexpected(
            join(names_name, " names the functions of a linked program, but no PE image or XBE "
                             "is among the inputs"));
    return {};
}

std::expected<void, std::string> load_other_code(const std::filesystem::path &file,
                                                 OtherCode &other) {
    auto bytes = read_file(file);
    if (!bytes)
        return std::unexpected(bytes.error());
    const std::string name = file.filename().generic_string();
    if (is_xbe_image(*bytes) || is_pe_image(*bytes)) {
        auto image =
            is_xbe_image(*bytes) ? read_xbe_image(*bytes, name) : read_pe_image(*bytes, name);
        if (!image)
            return std::unexpected(image.error());
        other.images.push_back({name, std::move(*image)});
        return {};
    }
    AuthorInput objects;
    if (auto loaded = load_input_bytes(*bytes, name, objects); !loaded)
        return loaded;
    for (CoffObject &object : objects.objects)
        other.objects.push_back(std::move(object));
    return {};
}

} // namespace fendrel_author
