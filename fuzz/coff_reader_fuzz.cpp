// The authoring tool on arbitrary bytes: read as an archive and each of its members, or as one
// COFF object, then authored into records for a library of the catalogue; and the same bytes
// read as records text.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "author/author.h"
#include "author/coff.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records.h"
#include "lib/fendrel.h"

namespace {

void author(const fendrel_author::AuthorInput &input) {
    if (input.objects.empty())
        return;
    fendrel_author::AuthorOptions options;
    options.library_flag = Fenx_LibraryFlag("XAPILIB");
    options.build = 5849;
    static const auto existing = Fenxi_BuiltinRecords();
    (void)fendrel_author::author_records(input, options, Fenxi_CatalogueDatabase(), existing);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    fendrel_author::AuthorInput input;
    if (fendrel_author::is_archive(bytes)) {
        if (auto members = fendrel_author::read_archive(bytes, "fuzz.lib"))
            for (auto &member : *members) {
                if (fendrel_author::is_import_object(member.bytes))
                    continue;
                if (auto object = fendrel_author::read_coff_object(member.bytes, member.name))
                    input.objects.push_back(std::move(*object));
            }
    } else if (auto object = fendrel_author::read_coff_object(bytes, "fuzz.obj")) {
        input.objects.push_back(std::move(*object));
    }
    author(input);
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    (void)Fenxi_ReadRecords(text, "fuzz.records", Fenxi_CatalogueDatabase());
    return 0;
}
