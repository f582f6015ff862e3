#pragma once
// The parts of an authoring run, shared by its files: the run itself and the reading of names
// (author.cpp), the policy that makes a record from a function (record_policy.cpp) and the checks
// of a record against the rest of the input and other code (against.cpp). Internal to the tool.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "author/author.h"
#include "author/code_regions.h"
#include "author/reference_rules.h"

namespace fendrel_author::authoring {

// Longest stretch a record can describe: offsets are 16-bit.
constexpr std::size_t kMaxOffset = 0xFFFF;
// A reference compared with a known address is worth this many Lovp pairs.
constexpr std::size_t kReferenceInformation = 4;

struct Function {
    std::size_t region;
    const CoffSymbol *symbol;
    std::uint32_t start;
    std::uint32_t end;     // the function's own bytes end here: padding after it is not its own
    std::uint32_t raw_end; // the next symbol or the section's end
    std::vector<std::pair<std::size_t, std::uint32_t>> copies; // the same function elsewhere
};

struct EntryPlace {
    std::uint32_t group;
    std::uint32_t entry;
    const OOVPATable *table;
};

struct Reference {
    std::uint16_t offset;
    std::uint16_t index;
    std::string target; // decorated name, to compare with other code's fields
    ReferenceUse use;
};

struct Pick {
    std::vector<Reference> references; // in record order
    std::vector<std::uint32_t> lovp;   // offsets, ascending

    std::size_t information() const {
        std::size_t compared = 0;
        for (const Reference &reference : references)
            compared += reference.use == ReferenceUse::Compare;
        return lovp.size() + kReferenceInformation * compared;
    }
};

// A hit of a record's pattern: a region and a position in it.
using Place = std::pair<std::size_t, std::uint32_t>;

class Author {
  public:
    Author(const AuthorInput &input, const AuthorOptions &options, const FenxDatabase &catalogue,
           const std::vector<FenxiRecordedRevision> &existing, const OtherCode &other)
        : input_(input), options_(options), catalogue_(catalogue), existing_(existing),
          rules_(catalogue, existing), other_(other) {}

    std::expected<AuthorResult, std::string> run();

  private:
    // The catalogue entry a decorated name stands for, or the reason it has none.
    struct Mapping {
        std::optional<EntryPlace> place;     // in the library's groups
        std::optional<EntryPlace> elsewhere; // in another library's groups
        std::uint32_t ordinal = 0;           // a kernel export
        std::vector<std::string> tried;
    };

    const CodeRegion &region_of(const Function &function) const {
        return regions_[function.region];
    }
    // The functions of the input: the external symbols of its code sections.
    void collect_functions();
    Mapping map_name(const std::string &decorated) const;

    // Whether two functions of one name are one function (an inline function compiled into
    // several objects): the same own bytes, referring to the same symbols.
    bool same_function(const Function &a, const Function &b) const;
    void map_functions();
    static std::string joined(const std::vector<std::string> &items);

    // The symbol index a relocated field refers to, or 0.
    std::uint32_t reference_index(const RelocatedField &field) const;
    std::uint32_t index_of_name(const std::string &target) const;

    // The references a record of `entry` may hold, with the reason for each field left out.
    std::vector<Reference> usable_references(const Function &function, const OOVPATable &entry,
                                             const std::string &label);

    // At most four of them, by what they teach and what the derivations need, not by position.
    std::vector<Reference> choose_references(const std::vector<Reference> &usable,
                                             const OOVPATable &entry, const std::string &label);

    // Whether the record `pick` of `function` matches at `at` in `there`. Library code and
    // objects tell reference fields apart by their targets; in an image they could hold anything.
    bool matches(const Function &function, const Pick &pick, const CodeRegion &there,
                 std::uint32_t at) const;

    // Whether a hit is the function itself: its own place, a copy of it in the library, its own
    // code linked into other code.
    bool is_itself(const Function &function, std::size_t r, std::uint32_t at) const;

    // The hits that are not the function itself; in other code, more than one place holding the
    // function's own code means none of them can be told to be it.
    std::vector<Place> foreign_hits(const Function &function, const Pick &pick) const;

    // A byte of the function, not yet in the record, that differs at the other hit.
    std::optional<std::uint32_t> distinguishing_byte(const Function &function, const Pick &pick,
                                                     const Place &hit) const;

    // A usable reference of the function, not yet in the record, whose field at the other hit
    // refers elsewhere (SetEvent and PulseEvent calling different kernel exports).
    std::optional<Reference> distinguishing_reference(const Pick &pick,
                                                      const std::vector<Reference> &usable,
                                                      const Function &function,
                                                      const Place &hit) const;
    FunctionResult outcome(Outcome what, const EntryPlace &place, const Function &function,
                           std::string detail) const;
    void author(std::size_t function_index, const EntryPlace &place);
    void merge_pass();
    void check_against_database();

    const AuthorInput &input_;
    const AuthorOptions &options_;
    const FenxDatabase &catalogue_;
    const std::vector<FenxiRecordedRevision> &existing_;
    ReferenceRules rules_;
    const OtherCode &other_;
    std::vector<CodeRegion> regions_;
    std::size_t library_regions_ = 0;
    std::vector<Function> functions_;
    std::vector<std::pair<std::size_t, EntryPlace>> chosen_;
    std::set<std::uint32_t> known_; // entries expected to be authored in this pass
    AuthorResult pass_;
    AuthorResult result_;
};

} // namespace fendrel_author::authoring
