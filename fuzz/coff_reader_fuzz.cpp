// The authoring tool on arbitrary bytes: read as an archive and each of its members, or as one
// object (classic or big-object header, link-time code and import members skipped), then
// authored into records for a library of the catalogue, with the same bytes as other code (an
// image when they read as one); the same bytes read as records text, as a linker map and as a
// symbol list; and an image authored as a linked program, named by its section starts.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "author/author.h"
#include "author/coff.h"
#include "author/images.h"
#include "author/input.h"
#include "author/program.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records.h"
#include "lib/fendrel.h"

namespace {

void author(const fendrel_author::AuthorInput &input, const fendrel_author::OtherCode &other) {
    if (input.objects.empty() && input.programs.empty())
        return;
    fendrel_author::AuthorOptions options;
    options.library_flag = Fenx_LibraryFlag("XAPILIB");
    options.build = 5849;
    static const auto existing = Fenxi_BuiltinRecords();
    (void)fendrel_author::author_records(input, options, Fenxi_CatalogueDatabase(), existing,
                                         other);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    fendrel_author::AuthorInput input;
    (void)fendrel_author::load_input_bytes(bytes, "fuzz.lib", input);
    fendrel_author::OtherCode other;
    if (fendrel_author::is_pe_image(bytes)) {
        if (auto image = fendrel_author::read_pe_image(bytes, "fuzz.exe"))
            other.images.push_back({"fuzz.exe", std::move(*image)});
    } else if (fendrel_author::is_xbe_image(bytes)) {
        if (auto image = fendrel_author::read_xbe_image(bytes, "fuzz.xbe"))
            other.images.push_back({"fuzz.xbe", std::move(*image)});
    } else {
        other.objects = input.objects;
    }
    author(input, other);
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    (void)Fenxi_ReadRecords(text, "fuzz.records", Fenxi_CatalogueDatabase());
    (void)fendrel_author::read_linker_map(text, "fuzz.map");
    (void)fendrel_author::read_symbol_list(text, "fuzz.symbols");
    if (!other.images.empty()) {
        const fendrel_author::LinkedImageFile &image = other.images.front().image;
        std::vector<fendrel_author::NamedAddress> names;
        for (const fendrel_author::ImageSection &section : image.sections)
            names.push_back({"_SetEvent@4", section.virtual_address, false});
        fendrel_author::AuthorInput program;
        program.programs.push_back(fendrel_author::link_program(image, names, "fuzz.exe"));
        author(program, {});
    }
    return 0;
}
