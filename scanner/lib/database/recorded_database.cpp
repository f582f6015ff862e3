// Assembling a database from the catalogue and recorded revisions.
#include "lib/database/recorded_database.h"
#include "lib/database/text_join.h"

#include <string_view>
#include <utility>

using fenxi_text::Hex;
using fenxi_text::join;

std::vector<FenxiRecordedRevision> Fenxi_BuiltinRecords() {
    std::vector<FenxiRecordedRevision> revisions;
    revisions.reserve(Fenxi_RecordedRowCount);
    const FenxDatabase &catalogue = Fenxi_CatalogueDatabase();
    for (std::size_t r = 0; r < Fenxi_RecordedRowCount; ++r) {
        const FenxiRecordedRow &row = Fenxi_RecordedRows[r];
        FenxiRecordedRevision revision;
        revision.group = row.Group;
        revision.entry = row.Entry;
        revision.build = row.Build;
        revision.detect_select = row.DetectSelect;
        revision.xref_count = row.XRefCount;
        revision.pairs.assign(Fenxi_RecordedPairs + row.FirstPair,
                              Fenxi_RecordedPairs + row.FirstPair + row.PairCount);
        revision.source = join("built-in ", row.Name, " ", row.Build);
        // A catalogue edited without regenerating the tables must not attach a signature to
        // the wrong entry.
        const bool in_catalogue =
            row.Group < catalogue.GroupCount &&
            row.Entry < catalogue.Groups[row.Group].EntryCount &&
            std::string_view(row.Name) == catalogue.Groups[row.Group].Entries[row.Entry].Name;
        if (!in_catalogue)
            revision.group = catalogue.GroupCount;
        revisions.push_back(std::move(revision));
    }
    return revisions;
}

FenxiRecordedDatabase::FenxiRecordedDatabase(const FenxDatabase &catalogue,
                                             std::vector<FenxiRecordedRevision> revisions)
    : revisions_(std::move(revisions)) {
    Fenxi_SortRecords(revisions_);
    entries_.resize(catalogue.GroupCount);
    for (std::uint32_t g = 0; g < catalogue.GroupCount; ++g)
        entries_[g].assign(catalogue.Groups[g].Entries,
                           catalogue.Groups[g].Entries + catalogue.Groups[g].EntryCount);

    // Every OOVPA first, so that the revision lists can point into a vector that no longer
    // grows.
    std::vector<const FenxiRecordedRevision *> kept;
    for (const FenxiRecordedRevision &revision : revisions_) {
        if (revision.group >= catalogue.GroupCount ||
            revision.entry >= catalogue.Groups[revision.group].EntryCount) {
            problems_.push_back(join(revision.source, ": no such catalogue entry"));
            continue;
        }
        const OOVPATable &entry = entries_[revision.group][revision.entry];
        if (entry.RevisionCount != 0) {
            problems_.push_back(join(revision.source, ": ", entry.Name, " is a placeholder entry"));
            continue;
        }
        if (!kept.empty() && kept.back()->group == revision.group &&
            kept.back()->entry == revision.entry && kept.back()->build == revision.build) {
            problems_.push_back(
                join(revision.source, ": a second revision for build ", revision.build));
            continue;
        }
        kept.push_back(&revision);
    }
    records_.reserve(kept.size());
    for (const FenxiRecordedRevision *revision : kept)
        records_.push_back(OOVPA{revision->xref_count, revision->detect_select,
                                 static_cast<std::uint8_t>(revision->pairs.size()),
                                 revision->pairs.data()});

    // Records go to entries that have no revisions of their own.
    for (std::size_t k = 0; k < kept.size();) {
        const std::uint32_t g = kept[k]->group;
        const std::uint32_t e = kept[k]->entry;
        OOVPATable &entry = entries_[g][e];
        std::vector<OOVPARevision> list;
        for (; k < kept.size() && kept[k]->group == g && kept[k]->entry == e; ++k)
            list.push_back(OOVPARevision{&records_[k], kept[k]->build});
        entry_revisions_.push_back(std::move(list));
        entry.RevisionCount = static_cast<std::uint32_t>(entry_revisions_.back().size());
        entry.Revisions = entry_revisions_.back().data();
    }

    groups_.assign(catalogue.Groups, catalogue.Groups + catalogue.GroupCount);
    for (std::uint32_t g = 0; g < catalogue.GroupCount; ++g)
        groups_[g].Entries = entries_[g].data();
    database_ = FenxDatabase{catalogue.GroupCount, groups_.data()};
}
