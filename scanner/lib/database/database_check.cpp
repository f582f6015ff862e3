// The database self-check: unset indices, Lovp offsets out of order, and signatures so close to
// another one that they are likely the same code (identical, or one only a few pairs longer).
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "lib/database/database_tools.h"
#include "lib/fendrel.h"
#include "lib/scan/message_sink.h"

namespace {

// Two records that agree on at least this many offsets and disagree on none are suspicious...
constexpr int kCloseEqualPairs = 5;
// ...when neither has more than this many pairs the other lacks.
constexpr int kCloseExtraPairs = 5;

struct RecordPlace {
    std::uint32_t group;
    std::uint32_t entry;
    std::uint32_t revision;
    const OOVPATable *table;
    const OOVPA *record;
};

// Builds one message in a buffer of the sink's size, cutting what does not fit.
class MessageText {
  public:
    [[gnu::format(gnu_printf, 2, 3)]] void add(const char *format, ...) {
        std::va_list args;
        va_start(args, format);
        add_list(format, args);
        va_end(args);
    }
    [[gnu::format(gnu_printf, 2, 0)]] void add_list(const char *format, std::va_list args) {
        if (length_ + 1 >= sizeof text_)
            return;
        const int written = std::vsnprintf(text_ + length_, sizeof text_ - length_, format, args);
        if (written > 0)
            length_ = std::min(sizeof text_ - 1, length_ + static_cast<std::size_t>(written));
    }
    void describe(const RecordPlace &place) {
        const std::uint16_t build = place.revision < place.table->RevisionCount
                                        ? place.table->Revisions[place.revision].Version
                                        : 0;
        add("OOVPATable db=%2u, i=[%4u], b=%4hu s=%s[%4u]", place.group, place.entry, build,
            place.table->Name, place.revision);
    }
    const char *c_str() const { return text_; }

  private:
    char text_[FENXI_MESSAGE_BUFFER_SIZE] = {};
    std::size_t length_ = 0;
};

class Checker {
  public:
    std::uint32_t problems() const { return problems_; }

    [[gnu::format(gnu_printf, 3, 4)]] void report(const RecordPlace &place, const char *format,
                                                  ...) {
        MessageText text;
        text.describe(place);
        text.add(" : ");
        std::va_list args;
        va_start(args, format);
        text.add_list(format, args);
        va_end(args);
        post(text);
    }

    [[gnu::format(gnu_printf, 4, 5)]] void
    report_pair(const RecordPlace &left, const RecordPlace &right, const char *format, ...) {
        MessageText text;
        text.describe(left);
        text.add(", comparing against ");
        text.describe(right);
        text.add(" : ");
        std::va_list args;
        va_start(args, format);
        text.add_list(format, args);
        va_end(args);
        post(text);
    }

  private:
    void post(const MessageText &text) {
        ++problems_;
        Fenxi_PostLibrary(FENX_MSG_ERROR, "%s", text.c_str());
    }

    std::uint32_t problems_ = 0;
};

void check_entry(Checker &checker, const RecordPlace &place) {
    const std::uint32_t index = place.table->SymbolIndex;
    if (index == 0xFFFF || index == XRefDerive)
        checker.report(place, "%s cannot have unset xref.", place.table->Name);
    else if (index >= FENX_XREF_SLOT_COUNT)
        checker.report(place, "%s has xref index %u outside the table.", place.table->Name, index);
}

void check_record_order(Checker &checker, const RecordPlace &place) {
    const OOVPA &record = *place.record;
    for (std::uint32_t k = 0; k < record.Count && k < record.XRefCount; ++k)
        if (record.Pairs[k].Value >= FENX_XREF_SLOT_COUNT)
            checker.report(place, "XRef[%2u] : index (%u) lies outside the xref table", k,
                           record.Pairs[k].Value);
    for (std::uint32_t k = record.XRefCount + 1u; k < record.Count; ++k)
        if (record.Pairs[k].Offset <= record.Pairs[k - 1].Offset)
            checker.report(place,
                           "Lovp[%2u] : Offset (0x%03x) must be larger then previous offset "
                           "(0x%03x)",
                           k, record.Pairs[k].Offset, record.Pairs[k - 1].Offset);
}

// Merges both pair lists by offset in stored order and reports a record that another one only
// repeats or extends by a few pairs.
void compare_records(Checker &checker, const RecordPlace &left, const RecordPlace &right) {
    const OOVPA &a = *left.record;
    const OOVPA &b = *right.record;
    int only_left = 0;
    int only_right = 0;
    int equal = 0;
    int differ = 0;
    std::uint32_t i = 0;
    std::uint32_t j = 0;
    while (i < a.Count && j < b.Count) {
        const OOVPAPair &x = a.Pairs[i];
        const OOVPAPair &y = b.Pairs[j];
        if (x.Offset == y.Offset) {
            (static_cast<std::uint8_t>(x.Value) == static_cast<std::uint8_t>(y.Value) ? equal
                                                                                      : differ)++;
            ++i;
            ++j;
        } else if (x.Offset < y.Offset) {
            ++only_left;
            ++i;
        } else {
            ++only_right;
            ++j;
        }
    }
    only_left += static_cast<int>(a.Count - i);
    only_right += static_cast<int>(b.Count - j);
    if (differ != 0 || equal < kCloseEqualPairs)
        return;
    if (only_left + only_right > 0) {
        if (only_left <= kCloseExtraPairs && only_right <= kCloseExtraPairs)
            checker.report_pair(left, right, "OOVPA's are expanded (left +%d, right +%d)",
                                only_left, only_right);
        return;
    }
    // Two selections of one shared pattern are meant to be identical.
    if (a.DetectSelect != 0 && b.DetectSelect != 0 && a.DetectSelect != b.DetectSelect)
        return;
    checker.report_pair(left, right, "OOVPA's are identical");
}

} // namespace

std::uint32_t Fenxi_TestDatabase(const FenxDatabase &database) {
    std::vector<RecordPlace> records;
    for (std::uint32_t g = 0; g < database.GroupCount; ++g) {
        const LibraryDatabase &group = database.Groups[g];
        for (std::uint32_t e = 0; e < group.EntryCount; ++e)
            for (std::uint32_t r = 0; r < group.Entries[e].RevisionCount; ++r)
                if (group.Entries[e].Revisions[r].Oovpa != nullptr &&
                    (group.Entries[e].Revisions[r].Oovpa->Count == 0 ||
                     group.Entries[e].Revisions[r].Oovpa->Pairs != nullptr))
                    records.push_back(RecordPlace{g, e, r, &group.Entries[e],
                                                  group.Entries[e].Revisions[r].Oovpa});
    }

    Checker checker;
    std::size_t next = 0;
    for (std::uint32_t g = 0; g < database.GroupCount; ++g) {
        const LibraryDatabase &group = database.Groups[g];
        for (std::uint32_t e = 0; e < group.EntryCount; ++e) {
            check_entry(checker, RecordPlace{g, e, 0, &group.Entries[e], nullptr});
            for (; next < records.size() && records[next].group == g && records[next].entry == e;
                 ++next) {
                const RecordPlace &left = records[next];
                check_record_order(checker, left);
                for (std::size_t other = 0; other < records.size(); ++other)
                    if (other != next)
                        compare_records(checker, left, records[other]);
            }
        }
    }
    return checker.problems();
}

std::uint32_t Fenx_TestDatabase() {
    return Fenxi_TestDatabase(Fenxi_BuiltinDatabase());
}
