// Generating the record tables and reading a records folder.
#include "lib/database/records_tables.h"
#include "lib/database/text_join.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

using fenxi_text::Hex;
using fenxi_text::join;

std::string Fenxi_GenerateRecordTables(const std::vector<FenxiRecordedRevision> &revisions,
                                       const FenxDatabase &catalogue) {
    std::string pairs;
    std::string rows;
    std::size_t first_pair = 0;
    for (const FenxiRecordedRevision &revision : revisions) {
        const char *name = catalogue.Groups[revision.group].Entries[revision.entry].Name;
        pairs += join("    // ", name, " ", revision.build, "\n   ");
        for (std::size_t k = 0; k < revision.pairs.size(); ++k) {
            if (k != 0 && k % 8 == 0)
                pairs += "\n   ";
            pairs += join(" {", revision.pairs[k].Offset, ", ",
                          k < revision.xref_count ? join(revision.pairs[k].Value)
                                                  : join("0x", Hex{revision.pairs[k].Value}),
                          "},");
        }
        pairs += "\n";
        rows += join("    {", revision.group, ", ", revision.entry, ", \"", name, "\", ",
                     revision.build, ", ", revision.detect_select, ", ", revision.xref_count, ", ",
                     revision.pairs.size(), ", ", first_pair, "},\n");
        first_pair += revision.pairs.size();
    }
    std::string text =
        "// Generated from records/*.records by fendrel-records (scripts/records.sh): edit the\n"
        "// records, not this file. Rows: group, entry, name, build, DetectSelect, XRefCount, "
        "pair\n"
        "// count, first pair.\n"
        "// clang-format off\n"
        "#include <cstddef>\n"
        "#include <iterator>\n\n"
        "#include \"lib/database/recorded_database.h\"\n\n";
    if (revisions.empty()) {
        text += "const FenxiRecordedRow *const Fenxi_RecordedRows = nullptr;\n"
                "const std::size_t Fenxi_RecordedRowCount = 0;\n"
                "const OOVPAPair *const Fenxi_RecordedPairs = nullptr;\n";
        return text;
    }
    text += "namespace {\n\nconstexpr OOVPAPair kPairs[] = {\n" + pairs + "};\n\n" +
            "constexpr FenxiRecordedRow kRows[] = {\n" + rows + "};\n\n} // namespace\n\n" +
            "const FenxiRecordedRow *const Fenxi_RecordedRows = kRows;\n"
            "const std::size_t Fenxi_RecordedRowCount = std::size(kRows);\n"
            "const OOVPAPair *const Fenxi_RecordedPairs = kPairs;\n";
    return text;
}

FenxiRecordsRead Fenxi_ReadRecordsFolder(const std::filesystem::path &folder,
                                         const FenxDatabase &catalogue) {
    FenxiRecordsRead all;
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        if (it->path().extension() == ".records")
            files.push_back(it->path());
    if (error) {
        all.errors.push_back(join(folder.generic_string(), ": ", error.message()));
        return all;
    }
    std::sort(files.begin(), files.end());
    std::size_t errors_not_kept = 0;
    for (const std::filesystem::path &file : files) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) {
            all.errors.push_back(join(file.generic_string(), ": cannot be read"));
            continue;
        }
        FenxiRecordsRead read = Fenxi_ReadRecords(text.str(), file.generic_string(), catalogue);
        std::move(read.revisions.begin(), read.revisions.end(), std::back_inserter(all.revisions));
        std::move(read.errors.begin(), read.errors.end(), std::back_inserter(all.errors));
        errors_not_kept += read.errors_not_kept;
    }
    std::vector<std::string> set_errors = Fenxi_CheckRecordSet(all.revisions, catalogue);
    std::move(set_errors.begin(), set_errors.end(), std::back_inserter(all.errors));
    if (errors_not_kept != 0)
        all.errors.push_back(join("and ", errors_not_kept, " more problems"));
    Fenxi_SortRecords(all.revisions);
    return all;
}
