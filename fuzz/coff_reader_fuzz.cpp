// The authoring tool's readers on arbitrary bytes: as an archive and each of its members, as one
// COFF object, and as records text.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "author/coff.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (fendrel_author::is_archive(bytes)) {
        if (auto members = fendrel_author::read_archive(bytes, "fuzz.lib"))
            for (const auto &member : *members)
                (void)fendrel_author::read_coff_object(member.bytes, member.name);
    } else {
        (void)fendrel_author::read_coff_object(bytes, "fuzz.obj");
    }
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    (void)Fenxi_ReadRecords(text, "fuzz.records", Fenxi_CatalogueDatabase());
    return 0;
}
