#pragma once
// A database assembled from the catalogue (the group tables: names, indices, marks, types,
// conventions, parameters) and signature revisions recorded as data. The built-in database is
// one; the authoring tool and the tests make others from records read at run time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lib/database/records.h"
#include "lib/oovpa.h"

// The group tables as written, with no recorded revisions (placeholders only).
const FenxDatabase &Fenxi_CatalogueDatabase();

// One revision in the generated tables (lib/database/records/generated.cpp).
struct FenxiRecordedRow {
    std::uint16_t Group;
    std::uint16_t Entry;
    const char *Name; // the entry's name when generated, checked against the catalogue
    std::uint16_t Build;
    std::uint8_t DetectSelect;
    std::uint8_t XRefCount;
    std::uint16_t PairCount;
    std::uint32_t FirstPair; // into Fenxi_RecordedPairs
};
extern const FenxiRecordedRow *const Fenxi_RecordedRows;
extern const std::size_t Fenxi_RecordedRowCount;
extern const OOVPAPair *const Fenxi_RecordedPairs;

// The built-in revisions as records.
std::vector<FenxiRecordedRevision> Fenxi_BuiltinRecords();

class FenxiRecordedDatabase {
  public:
    // Revisions are stored per entry in ascending build order. A revision whose place is not in
    // the catalogue, or whose entry carries placeholder revisions, is left out as a problem.
    FenxiRecordedDatabase(const FenxDatabase &catalogue,
                          std::vector<FenxiRecordedRevision> revisions);
    FenxiRecordedDatabase(const FenxiRecordedDatabase &) = delete;
    FenxiRecordedDatabase &operator=(const FenxiRecordedDatabase &) = delete;

    const FenxDatabase &database() const { return database_; }
    const std::vector<std::string> &problems() const { return problems_; }

  private:
    std::vector<FenxiRecordedRevision> revisions_;
    std::vector<OOVPA> records_;
    std::vector<std::vector<OOVPARevision>> entry_revisions_;
    std::vector<std::vector<OOVPATable>> entries_;
    std::vector<LibraryDatabase> groups_;
    std::vector<std::string> problems_;
    FenxDatabase database_{};
};
