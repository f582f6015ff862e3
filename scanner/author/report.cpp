// The summary of an authoring run.
#include <optional>

#include "author/author.h"
#include "lib/database/text_join.h"

using fenxi_text::join;

namespace fendrel_author {
namespace {

std::string label(const FunctionResult &function) {
    return join(function.entry, ": ", function.decorated, " (", function.origin, ")");
}

// The line of `function` in `listing`, or nothing when it is not listed there.
std::optional<std::string> line(const AuthorResult &result, const FunctionResult &function,
                                Listing listing) {
    switch (listing) {
    case Listing::Authored:
        if (function.outcome == Outcome::Authored || function.outcome == Outcome::ExtendedForOther)
            return join(label(function), ", ", function.bytes, " bytes");
        break;
    case Listing::Ambiguous:
        if (function.outcome == Outcome::Ambiguous)
            return join(label(function), ": ", function.detail);
        break;
    case Listing::TooSmall:
        if (function.outcome == Outcome::TooSmall)
            return join(label(function), ": too small to be told apart (information ",
                        function.information, ", at least ", result.information_floor, " needed)");
        break;
    case Listing::Placeholders:
        if (function.outcome == Outcome::Placeholder)
            return label(function);
        break;
    case Listing::Against:
        if (function.outcome == Outcome::LeftOutForOther)
            return join(label(function), ": left out, it matches ", function.detail);
        if (function.outcome == Outcome::ExtendedForOther)
            return join(label(function), ": extended to ", function.pairs,
                        " bytes so that it does not match other code");
        break;
    case Listing::Unmapped:
        if (function.outcome == Outcome::Unmapped)
            return join(printable(function.decorated), " (", function.detail, ")");
        break;
    case Listing::OtherLibrary:
        if (function.outcome == Outcome::OtherLibrary)
            return join(function.decorated, ": ", function.entry, " of group ", function.detail);
        break;
    }
    return std::nullopt;
}

void list(std::string &out, const char *title, const std::vector<std::string> &items) {
    out += join(title, ": ", items.size(), "\n");
    for (const std::string &item : items)
        out += join("  ", item, "\n");
}

} // namespace

std::vector<std::string> AuthorResult::lines(Listing listing) const {
    std::vector<std::string> out;
    for (const FunctionResult &function : functions)
        if (auto text = line(*this, function, listing))
            out.push_back(std::move(*text));
    return out;
}

std::vector<std::string> AuthorResult::all_notes() const {
    std::vector<std::string> out;
    for (const FunctionResult &function : functions)
        if (function.outcome == Outcome::SecondMapping)
            out.push_back(join(function.decorated, " (", function.origin, ") maps to ",
                               function.entry, " too; the first function, ", function.detail,
                               ", is the one authored"));
    out.insert(out.end(), notes.begin(), notes.end());
    return out;
}

std::string author_report(const AuthorResult &result, const AuthorInput &input) {
    std::string out;
    for (const auto &[file, count] : input.kernel_import_files)
        out += join("kernel imports learned: ", count, " from ", file, "\n");
    for (const LinkedProgram &program : input.programs) {
        const ProgramFigures &figures = program.figures;
        out +=
            join("program ", program.object.origin, ": ", figures.names, " names in its sections; ",
                 program.has_relocations ? "absolute fields from its base relocations"
                                         : "no base relocations: every value inside the "
                                           "image is taken for an address",
                 "\n");
        out += join("  address fields: ",
                    program.has_relocations ? figures.relocated : figures.address_values,
                    ", referring to a named place ", figures.to_named,
                    "; call or jump displacements leaving their function: ", figures.calls_named,
                    " to a named function, ", figures.calls_unknown, " unknown\n");
    }
    out += join("functions found: ", result.found, "\nmapped: ", result.mapped, "\n");
    list(out, "authored", result.lines(Listing::Authored));
    list(out, "ambiguous, left out", result.lines(Listing::Ambiguous));
    list(out, "too small to be told apart, left out", result.lines(Listing::TooSmall));
    list(out, "placeholder entries, found by derivations, no records",
         result.lines(Listing::Placeholders));
    list(out, "checked against other code", result.lines(Listing::Against));
    list(out, "unmapped", result.lines(Listing::Unmapped));
    list(out, "in other libraries' groups", result.lines(Listing::OtherLibrary));
    list(out, "skipped members", input.skipped);
    out += join("fields left unknown for an addend: ", result.addend_fields, "\n");
    list(out, "notes", result.all_notes());
    list(out, "self-check conflicts", result.conflicts);
    return out;
}

} // namespace fendrel_author
