// Reading and writing signature records as text.
#include "lib/database/records.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>
#include <map>
#include <tuple>

#include "lib/database/catalogue.h"
#include "lib/database/printable_text.h"
#include "lib/database/text_join.h"

using fenxi_text::Hex;
using fenxi_text::join;
using fenxi_text::printable;

namespace {

// The groups of the built-in layout, in scan order.
constexpr const char *kGroupKeys[] = {
    "d3d8",    "d3d8ltcg", "dsound-stream", "dsound",  "jvs",
    "xacteng", "xapilib",  "xgraphc",       "xonline", "xnet",
};

std::vector<std::string_view> split_words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r'))
            ++at;
        std::size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
            ++end;
        if (end > at)
            words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

bool parse_number(std::string_view word, std::uint32_t limit, std::uint32_t &value, int base = 10) {
    if (word.empty())
        return false;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    return error == std::errc{} && end == word.data() + word.size() && value <= limit;
}

// The symbol index of a reference target: a canonical name, or failing that any entry's own
// name (a variant).
std::uint32_t symbol_index(std::string_view name, const FenxDatabase &catalogue) {
    const std::string text(name);
    if (const std::uint32_t index = Fenxi_SymbolIndexByName(text.c_str()); index != 0)
        return index;
    for (std::uint32_t g = 0; g < catalogue.GroupCount; ++g) {
        const LibraryDatabase &group = catalogue.Groups[g];
        for (std::uint32_t e = 0; e < group.EntryCount; ++e)
            if (group.Entries[e].Name != nullptr && text == group.Entries[e].Name)
                return group.Entries[e].SymbolIndex;
    }
    return 0;
}

class RecordsReader {
  public:
    RecordsReader(std::string_view file_name, const FenxDatabase &catalogue)
        : file_name_(file_name), catalogue_(catalogue) {}

    void line(std::size_t number, std::string_view text) {
        line_ = number;
        if (const std::size_t hash = text.find('#'); hash != std::string_view::npos)
            text = text.substr(0, hash);
        const std::vector<std::string_view> words = split_words(text);
        if (words.empty())
            return;
        const std::string_view command = words[0];
        if (command == "group")
            group(words);
        else if (command == "revision")
            revision(words);
        else if (command == "detect")
            detect(words);
        else if (command == "ref")
            reference(words);
        else if (command == "lovp")
            lovp(words);
        else
            error(join("unknown line '", printable(command), "'"));
    }

    FenxiRecordsRead finish() {
        close_revision();
        return std::move(result_);
    }

  private:
    void error(const std::string &text) { keep_error(join(file_name_, ":", line_, ": ", text)); }

    void keep_error(std::string text) {
        if (result_.errors.size() < kFenxiMaxRecordErrors)
            result_.errors.push_back(std::move(text));
        else
            ++result_.errors_not_kept;
        revision_failed_ = true;
    }

    void group(const std::vector<std::string_view> &words) {
        close_revision();
        group_ = -1;
        if (words.size() != 2) {
            error("a group line is 'group KEY'");
            return;
        }
        for (std::uint32_t g = 0; g < std::size(kGroupKeys) && g < catalogue_.GroupCount; ++g)
            if (words[1] == kGroupKeys[g])
                group_ = static_cast<int>(g);
        if (group_ < 0)
            error(join("unknown group '", printable(words[1]), "'"));
        group_line_failed_ = group_ < 0;
    }

    void revision(const std::vector<std::string_view> &words) {
        close_revision();
        open_ = true;
        revision_failed_ = false;
        current_ = {};
        current_.source = join(file_name_, ":", line_);
        if (words.size() != 3) {
            error("a revision line is 'revision ENTRY BUILD'");
            return;
        }
        if (group_ < 0) {
            // An unknown group was reported where it was named.
            if (!group_line_failed_)
                error("a revision before any group line");
            revision_failed_ = true;
            return;
        }
        const LibraryDatabase &group = catalogue_.Groups[group_];
        std::uint32_t entry = group.EntryCount;
        for (std::uint32_t e = 0; e < group.EntryCount && entry == group.EntryCount; ++e)
            if (group.Entries[e].Name != nullptr && words[1] == group.Entries[e].Name)
                entry = e;
        if (entry == group.EntryCount)
            error(join("no entry '", printable(words[1]), "' in group ", kGroupKeys[group_]));
        std::uint32_t build = 0;
        if (!parse_number(words[2], 0xFFFF, build))
            error(join("build '", printable(words[2]), "' is not a number from 0 to 65535"));
        current_.group = static_cast<std::uint32_t>(group_);
        current_.entry = entry;
        current_.build = static_cast<std::uint16_t>(build);
    }

    bool in_revision() {
        if (!open_)
            error("a pair or detect line before any revision line");
        return open_;
    }

    void detect(const std::vector<std::string_view> &words) {
        if (!in_revision())
            return;
        std::uint32_t value = 0;
        if (words.size() != 2 || !parse_number(words[1], 0xFF, value))
            error("a detect line is 'detect N' with N from 0 to 255");
        else if (detect_seen_)
            error("a second detect line in one revision");
        detect_seen_ = true;
        current_.detect_select = static_cast<std::uint8_t>(value);
    }

    void reference(const std::vector<std::string_view> &words) {
        if (!in_revision())
            return;
        std::uint32_t offset = 0;
        std::uint32_t index = 0;
        if (words.size() == 4 && words[2] == "kernel") {
            if (!parse_number(words[3], kFenxiKernelOrdinalLast, index) || index == 0) {
                error(join("kernel ordinal '", printable(words[3]), "' is not from 1 to ",
                           kFenxiKernelOrdinalLast));
                return;
            }
        } else if (words.size() == 3) {
            index = symbol_index(words[2], catalogue_);
            if (index == 0) {
                error(join("no symbol named '", printable(words[2]), "'"));
                return;
            }
        } else {
            error("a ref line is 'ref OFFSET SYMBOL' or 'ref OFFSET kernel ORDINAL'");
            return;
        }
        if (!parse_number(words[1], 0xFFFF, offset)) {
            error(join("offset '", printable(words[1]), "' is not a number from 0 to 65535"));
            return;
        }
        references_.push_back(
            {static_cast<std::uint16_t>(offset), static_cast<std::uint16_t>(index)});
        if (references_.size() == kFenxiMaxRecordReferences + 1)
            error(join("more than ", kFenxiMaxRecordReferences, " references"));
    }

    void lovp(const std::vector<std::string_view> &words) {
        if (!in_revision())
            return;
        std::uint32_t offset = 0;
        if (words.size() < 3) {
            error("a lovp line is 'lovp OFFSET BYTE...'");
            return;
        }
        if (!parse_number(words[1], 0xFFFF, offset)) {
            error(join("offset '", printable(words[1]), "' is not a number from 0 to 65535"));
            return;
        }
        for (std::size_t k = 2; k < words.size(); ++k, ++offset) {
            std::uint32_t value = 0;
            if (words[k].size() != 2 || !parse_number(words[k], 0xFF, value, 16)) {
                error(join("'", printable(words[k]), "' is not a byte in two hexadecimal digits"));
                return;
            }
            if (offset > 0xFFFF) {
                error("an offset above 65535");
                return;
            }
            if (!lovps_.empty() && offset <= lovps_.back().Offset) {
                error(join("lovp offset ", offset, " is not above the previous one, ",
                           lovps_.back().Offset));
                return;
            }
            lovps_.push_back(
                {static_cast<std::uint16_t>(offset), static_cast<std::uint16_t>(value)});
        }
    }

    void close_revision() {
        if (open_) {
            // Reported at the revision's own line.
            const auto whole_revision_error = [&](const std::string &text) {
                keep_error(join(current_.source, ": ", text));
            };
            const auto name = [&] {
                return catalogue_.Groups[current_.group].Entries[current_.entry].Name;
            };
            if (!revision_failed_ && lovps_.empty())
                whole_revision_error(join(name(), " ", current_.build, " has no lovp pairs"));
            if (!revision_failed_ && references_.size() + lovps_.size() > kFenxiMaxRecordPairs)
                whole_revision_error(join(name(), " ", current_.build, " has more than ",
                                          kFenxiMaxRecordPairs, " pairs"));
            if (!revision_failed_) {
                current_.xref_count = static_cast<std::uint8_t>(references_.size());
                current_.pairs = references_;
                current_.pairs.insert(current_.pairs.end(), lovps_.begin(), lovps_.end());
                result_.revisions.push_back(std::move(current_));
            }
        }
        open_ = false;
        detect_seen_ = false;
        references_.clear();
        lovps_.clear();
    }

    std::string_view file_name_;
    const FenxDatabase &catalogue_;
    std::size_t line_ = 0;
    int group_ = -1;
    bool group_line_failed_ = false;
    bool open_ = false;
    bool revision_failed_ = false;
    bool detect_seen_ = false;
    FenxiRecordedRevision current_;
    std::vector<OOVPAPair> references_;
    std::vector<OOVPAPair> lovps_;
    FenxiRecordsRead result_;
};

std::string reference_target(std::uint16_t index) {
    if (index >= 1 && index <= kFenxiKernelOrdinalLast)
        return join("kernel ", index);
    const char *name = Fenx_SymbolName(index);
    return name != nullptr ? std::string(name) : join("kernel ", index);
}

} // namespace

const char *Fenxi_RecordGroupKey(std::uint32_t group) {
    return group < std::size(kGroupKeys) ? kGroupKeys[group] : nullptr;
}

FenxiRecordsRead Fenxi_ReadRecords(std::string_view text, std::string_view file_name,
                                   const FenxDatabase &catalogue) {
    RecordsReader reader(file_name, catalogue);
    std::size_t number = 1;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        reader.line(number++, text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return reader.finish();
}

std::vector<std::string> Fenxi_CheckRecordSet(const std::vector<FenxiRecordedRevision> &revisions,
                                              const FenxDatabase &catalogue) {
    std::vector<std::string> errors;
    std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint16_t>, const std::string *> seen;
    for (const FenxiRecordedRevision &revision : revisions) {
        if (revision.group >= catalogue.GroupCount ||
            revision.entry >= catalogue.Groups[revision.group].EntryCount) {
            errors.push_back(join(revision.source, ": no such catalogue entry"));
            continue;
        }
        const OOVPATable &entry = catalogue.Groups[revision.group].Entries[revision.entry];
        if (entry.RevisionCount != 0)
            errors.push_back(join(revision.source, ": ", entry.Name,
                                  " is a placeholder entry and takes no records"));
        const auto [at, inserted] = seen.emplace(
            std::tuple{revision.group, revision.entry, revision.build}, &revision.source);
        if (!inserted)
            errors.push_back(join(revision.source, ": ", entry.Name, " has a revision for build ",
                                  revision.build, " already, at ", *at->second));
    }
    return errors;
}

void Fenxi_SortRecords(std::vector<FenxiRecordedRevision> &revisions) {
    std::stable_sort(revisions.begin(), revisions.end(), [](const auto &a, const auto &b) {
        return std::tie(a.group, a.entry, a.build) < std::tie(b.group, b.entry, b.build);
    });
}

std::string Fenxi_WriteRecords(const std::vector<FenxiRecordedRevision> &revisions,
                               const FenxDatabase &catalogue, std::string_view heading) {
    std::string text;
    for (std::string_view rest = heading; !rest.empty();) {
        const std::size_t end = rest.find('\n');
        text += join("# ", rest.substr(0, end), "\n");
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    }
    std::uint32_t group = ~0u;
    for (const FenxiRecordedRevision &revision : revisions) {
        const OOVPATable &entry = catalogue.Groups[revision.group].Entries[revision.entry];
        if (revision.group != group) {
            group = revision.group;
            const char *key = Fenxi_RecordGroupKey(group);
            text += join("\ngroup ", key != nullptr ? key : "?", "\n");
        }
        text += "\n";
        for (std::string_view rest = revision.comment; !rest.empty();) {
            const std::size_t end = rest.find('\n');
            text += join("# ", rest.substr(0, end), "\n");
            rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        }
        text += join("revision ", entry.Name, " ", revision.build, "\n");
        if (revision.detect_select != 0)
            text += join("detect ", revision.detect_select, "\n");
        for (std::size_t k = 0; k < revision.xref_count && k < revision.pairs.size(); ++k)
            text += join("ref ", revision.pairs[k].Offset, " ",
                         reference_target(revision.pairs[k].Value), "\n");
        // Consecutive offsets share a line, sixteen bytes at most.
        for (std::size_t k = revision.xref_count; k < revision.pairs.size();) {
            text += join("lovp ", revision.pairs[k].Offset);
            std::size_t run = 0;
            do {
                text += join(" ", Hex{revision.pairs[k].Value & 0xFFu});
                ++k;
                ++run;
            } while (k < revision.pairs.size() && run < 16 &&
                     revision.pairs[k].Offset == revision.pairs[k - 1].Offset + 1);
            text += "\n";
        }
    }
    return text;
}
