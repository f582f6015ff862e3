// Reading the library and the other code from files.
#include "author/input.h"

#include <fstream>
#include <iterator>

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
    case ObjectKind::Import:
        input.skipped.push_back(join(origin, ": an import member, no code"));
        return {};
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
    if (!is_archive(bytes))
        return add_object(bytes, name, input);
    auto members = read_archive(bytes, name);
    if (!members)
        return std::unexpected(members.error());
    for (const ArchiveMember &member : *members)
        if (auto added =
                add_object(member.bytes, join(name, "(", printable(member.name), ")"), input);
            !added)
            return added;
    return {};
}

std::expected<void, std::string> load_input(const std::filesystem::path &file, AuthorInput &input) {
    auto bytes = read_file(file);
    if (!bytes)
        return std::unexpected(bytes.error());
    return load_input_bytes(*bytes, file.filename().generic_string(), input);
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
