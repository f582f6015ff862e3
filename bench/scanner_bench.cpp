// Scanner benchmark: the full scan of a synthetic image with a synthetic database the size and
// shape of the real one, by the engine and by the literal reference matcher, which must report
// exactly the same symbols and messages. Prints the engine's speed-up over the literal matcher
// and its cost in single memchr passes over the code section.
//
// scanner_bench [section MiB] [seed]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "lib/scan/context.h"

namespace {

constexpr std::uint32_t kRevisionCount = 1858; // as many as the real database holds
constexpr std::uint16_t kLibraryBuild = 4627;
constexpr std::uint16_t kBuilds[] = {3911, 4034, 4134, 4361, 4432, 4627, 5028, 5344};
constexpr std::uint32_t kSlotSize = 1024;  // one planted function per slot of the section
constexpr std::uint8_t kAbsentByte = 0xF1; // kept out of the copy the memchr pass reads
constexpr std::uint32_t kCodeAddress = 0x00011000;

using Clock = std::chrono::steady_clock;

// Bytes roughly as frequent as in x86 code: many zeros, ModRM and stack bytes, push/pop, calls.
class CodeBytes {
  public:
    explicit CodeBytes(std::mt19937 &rng) : rng_(rng) {
        const std::pair<std::uint8_t, int> common[] = {
            {0x00, 120}, {0xFF, 40}, {0x8B, 50}, {0x89, 30}, {0x24, 25}, {0x44, 20}, {0x45, 20},
            {0x08, 20},  {0x04, 25}, {0x0C, 15}, {0x10, 15}, {0x83, 20}, {0xE8, 15}, {0x0F, 15},
            {0x01, 15},  {0x50, 10}, {0x56, 10}, {0x57, 10}, {0x53, 10}, {0x5E, 10}, {0x5F, 10},
            {0x5B, 10},  {0xC3, 10}, {0xC0, 10}, {0x85, 10}, {0x74, 10}, {0x75, 10}, {0x33, 10},
            {0x6A, 10},  {0xC7, 10}, {0x46, 10}, {0x8D, 15}, {0x55, 8},  {0xEC, 8},  {0xE5, 5},
        };
        for (const auto &[byte, weight] : common)
            table_.insert(table_.end(), static_cast<std::size_t>(weight), byte);
        while (table_.size() < 1024) {
            const auto byte = static_cast<std::uint8_t>(rng_() & 0xFF);
            if (byte != kAbsentByte)
                table_.push_back(byte);
        }
    }
    std::uint8_t next() { return table_[rng_() & 1023]; }

  private:
    std::mt19937 &rng_;
    std::vector<std::uint8_t> table_;
};

struct Planted {
    std::uint32_t group = 0;
    std::uint32_t entry = 0;
    std::uint32_t offset = 0; // in the section
};

// Owns everything the database points at.
struct BenchDatabase {
    std::deque<std::vector<OOVPAPair>> pairs;
    std::deque<OOVPA> records;
    std::deque<std::vector<OOVPARevision>> revisions;
    std::deque<std::string> names;
    std::vector<std::vector<OOVPATable>> entries;
    std::vector<LibraryDatabase> groups;
    FenxDatabase database{};
};

// Offsets of one signature: runs of neighbouring bytes with gaps, as real signatures pick
// prologues and distinctive instructions; references in 4-byte fields the runs leave free.
struct Shape {
    std::vector<std::uint16_t> lovp;
    std::vector<std::uint16_t> refs;
    std::uint32_t length = 0; // bytes of code it spans
};

Shape random_shape(std::mt19937 &rng) {
    auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    Shape shape;
    const std::uint32_t pair_count = 8 + pick(31);
    const std::uint32_t roll = pick(10);
    const std::uint32_t ref_count = std::min<std::uint32_t>(roll < 6   ? 0
                                                            : roll < 8 ? 1
                                                            : roll < 9 ? 2
                                                                       : 3 + pick(2),
                                                            pair_count - 4);
    std::vector<bool> used(640, false);
    std::uint32_t at = 0;
    while (shape.lovp.size() < pair_count - ref_count && at < 600) {
        for (std::uint32_t run = 1 + pick(8);
             run > 0 && shape.lovp.size() < pair_count - ref_count && at < 600; --run, ++at) {
            shape.lovp.push_back(static_cast<std::uint16_t>(at));
            used[at] = true;
        }
        at += 1 + pick(pick(4) == 0 ? 60 : 12);
    }
    const std::uint32_t last = shape.lovp.back();
    for (std::uint32_t tries = 0; shape.refs.size() < ref_count && tries < 200; ++tries) {
        const std::uint32_t field = pick(last + 8);
        if (field + 4 > used.size() || used[field] || used[field + 1] || used[field + 2] ||
            used[field + 3])
            continue;
        for (std::uint32_t i = 0; i < 4; ++i)
            used[field + i] = true;
        shape.refs.push_back(static_cast<std::uint16_t>(field));
    }
    shape.length = last + 1;
    for (std::uint16_t field : shape.refs)
        shape.length = std::max<std::uint32_t>(shape.length, field + 4u);
    return shape;
}

struct Workload {
    BenchDatabase db;
    std::vector<std::uint8_t> code;
    std::vector<FenxLibraryFilter> libraries;
    std::size_t planted = 0;
};

FenxLibraryFilter library(std::uint32_t flag) {
    FenxLibraryFilter filter{kLibraryBuild, 0, flag, {}};
    const char *name = Fenx_LibraryName(flag);
    std::memcpy(filter.Name, name, std::min<std::size_t>(std::strlen(name), 8));
    return filter;
}

void make_workload(Workload &work, std::size_t section_size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    CodeBytes bytes(rng);
    work.code.resize(section_size);
    for (std::uint8_t &byte : work.code)
        byte = bytes.next();

    // The real database's groups and entry counts; every group searches the code section.
    const FenxDatabase &real = Fenxi_BuiltinDatabase();
    std::uint32_t entry_total = 0;
    for (std::uint32_t g = 0; g < real.GroupCount; ++g)
        entry_total += real.Groups[g].EntryCount;
    std::vector<std::uint32_t> revision_counts(entry_total, 1);
    for (std::uint32_t extra = entry_total; extra < kRevisionCount; ++extra)
        ++revision_counts[pick(entry_total)];

    std::vector<std::uint32_t> free_slots(section_size / kSlotSize);
    std::iota(free_slots.begin(), free_slots.end(), 0u);
    std::shuffle(free_slots.begin(), free_slots.end(), rng);

    struct PendingRef {
        std::vector<std::uint8_t> *unused;
        std::uint32_t field;  // offset in the section
        std::uint32_t target; // index into planted
        bool relative;
    };
    std::vector<Planted> planted;
    std::vector<PendingRef> pending;
    std::vector<std::uint32_t> symbol_of_planted;

    work.db.entries.resize(real.GroupCount);
    std::uint32_t flat = 0;
    std::uint16_t next_symbol = 380;
    for (std::uint32_t g = 0; g < real.GroupCount; ++g) {
        const std::size_t group_first_planted = planted.size();
        for (std::uint32_t e = 0; e < real.Groups[g].EntryCount; ++e, ++flat) {
            const std::uint16_t symbol = next_symbol;
            next_symbol = next_symbol == 1200 ? 380 : static_cast<std::uint16_t>(next_symbol + 1);
            // Builds ascending; the last one not above the library's build is the one present.
            std::vector<std::uint16_t> builds;
            std::uint32_t from = pick(4);
            for (std::uint32_t r = 0; r < revision_counts[flat]; ++r) {
                from = std::min<std::uint32_t>(from, std::size(kBuilds) - 1);
                builds.push_back(kBuilds[from]);
                from += 1 + pick(2);
            }
            std::int32_t present = -1;
            for (std::uint32_t r = 0; r < builds.size(); ++r)
                if (builds[r] <= kLibraryBuild)
                    present = static_cast<std::int32_t>(r);
            const bool plant = present >= 0 && pick(100) < 45 && !free_slots.empty();

            std::vector<OOVPARevision> &revisions = work.db.revisions.emplace_back();
            for (std::uint32_t r = 0; r < builds.size(); ++r) {
                const Shape shape = random_shape(rng);
                const bool here = plant && static_cast<std::int32_t>(r) == present;
                std::uint32_t base = 0;
                std::vector<std::uint8_t> chunk(shape.length);
                if (here) {
                    base = free_slots.back() * kSlotSize + pick(kSlotSize - shape.length);
                    free_slots.pop_back();
                    std::copy(work.code.begin() + base, work.code.begin() + base + shape.length,
                              chunk.begin());
                } else {
                    for (std::uint8_t &byte : chunk)
                        byte = bytes.next();
                }
                std::vector<OOVPAPair> &pairs = work.db.pairs.emplace_back();
                // References go to functions planted earlier in this group: found in an earlier
                // scan of the same library, as real call chains are.
                std::uint32_t ref_count = 0;
                for (std::uint16_t field : shape.refs) {
                    if (planted.size() == group_first_planted)
                        break;
                    const std::uint32_t target =
                        group_first_planted +
                        pick(static_cast<std::uint32_t>(planted.size() - group_first_planted));
                    pairs.push_back({field, static_cast<std::uint16_t>(symbol_of_planted[target])});
                    if (here)
                        pending.push_back({nullptr, base + field, target, pick(4) != 0});
                    ++ref_count;
                }
                for (std::uint16_t offset : shape.lovp)
                    pairs.push_back({offset, chunk[offset]});
                const OOVPA &record = work.db.records.emplace_back(
                    OOVPA{static_cast<std::uint8_t>(ref_count), 0,
                          static_cast<std::uint8_t>(pairs.size()), pairs.data()});
                revisions.push_back(OOVPARevision{&record, builds[r]});
                if (here) {
                    planted.push_back(Planted{g, e, base});
                    symbol_of_planted.push_back(symbol);
                }
            }
            const std::string &name =
                work.db.names.emplace_back("Symbol_" + std::to_string(g) + "_" + std::to_string(e));
            work.db.entries[g].push_back(OOVPATable{
                symbol, FENX_SCAN_AUTOMATIC, FENX_SYMBOL_FUNCTION, name.c_str(), 3, 0, nullptr,
                static_cast<std::uint32_t>(revisions.size()), revisions.data()});
        }
    }
    // Fields referring to other planted functions: a call displacement or an absolute address.
    for (const PendingRef &ref : pending) {
        const std::uint32_t target = kCodeAddress + planted[ref.target].offset;
        const std::uint32_t value = ref.relative ? target - (kCodeAddress + ref.field + 4) : target;
        for (std::uint32_t i = 0; i < 4; ++i)
            work.code[ref.field + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    work.planted = planted.size();

    std::uint32_t flags = 0;
    for (std::uint32_t g = 0; g < real.GroupCount; ++g) {
        LibraryDatabase group = real.Groups[g];
        group.SectionCount = 1;
        group.SectionNames[0] = ".text";
        group.EntryCount = static_cast<std::uint32_t>(work.db.entries[g].size());
        group.Entries = work.db.entries[g].data();
        work.db.groups.push_back(group);
        flags |= group.LibraryFlags;
    }
    work.db.database =
        FenxDatabase{static_cast<std::uint32_t>(work.db.groups.size()), work.db.groups.data()};
    // One library per group family, as an image links them: D3D8LTCG for both Direct3D groups,
    // one network and one online library.
    flags &= ~(FENX_LIB_D3D8 | FENX_LIB_XNETN | FENX_LIB_XNETS | FENX_LIB_XONLINEN |
               FENX_LIB_XONLINES | FENX_LIB_XONLINLS);
    for (std::uint32_t bit = 1; bit <= FENX_LIB_ALL; bit <<= 1)
        if ((flags & bit) != 0)
            work.libraries.push_back(library(bit));
}

struct Report {
    std::vector<std::string> lines;
    std::size_t symbols = 0;
    std::size_t messages = 0;
};

Report *report = nullptr;

void on_symbol(const char *library_name, std::uint32_t, std::uint32_t index, const char *name,
               std::uint32_t address, std::uint32_t build, std::uint32_t, std::uint32_t,
               std::uint32_t, const OOVPAParam *) {
    char line[256];
    std::snprintf(line, sizeof line, "%.8s %u %s 0x%08x %u", library_name, index, name, address,
                  build);
    report->lines.push_back(line);
    ++report->symbols;
}

void on_message(std::uint32_t level, const char *text) {
    report->lines.push_back(std::to_string(level) + " " + text);
    ++report->messages;
}

// One full scan of the code section, as FendrelCLI runs it; returns the seconds it took.
double full_scan(const Workload &work, FenxiMatchStrategy strategy, Report &out) {
    report = &out;
    FenxLibraryHeader libraries{static_cast<std::uint32_t>(work.libraries.size()),
                                const_cast<FenxLibraryFilter *>(work.libraries.data())};
    FenxSectionFilter text{".text", kCodeAddress, static_cast<std::uint32_t>(work.code.size()),
                           work.code.data()};
    FenxSectionHeader sections{1, &text};

    const Clock::time_point start = Clock::now();
    FenxContext *context = nullptr;
    if (!Fenxi_CreateContext(&context, on_symbol, &libraries, &sections, 0, work.db.database,
                             Fenxi_BuiltinManualHandlers())) {
        std::fprintf(stderr, "scanner_bench: no scan context\n");
        std::exit(1);
    }
    context->Strategy = strategy;
    FenxContext_ScanManual(context);
    FenxContext_ScanAll(context);
    FenxContext_ReportDerived(context);
    FenxContext_Release(context);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The cost of reading the whole section once: memchr for a byte it does not hold.
double memchr_pass(std::vector<std::uint8_t> code) {
    std::replace(code.begin(), code.end(), kAbsentByte, static_cast<std::uint8_t>(kAbsentByte - 1));
    double best = 1e9;
    for (int i = 0; i < 50; ++i) {
        const Clock::time_point start = Clock::now();
        const void *found = std::memchr(code.data(), kAbsentByte, code.size());
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (found != nullptr)
            std::exit(1);
        best = std::min(best, seconds);
    }
    return best;
}

} // namespace

int main(int argc, char **argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4;
    const std::uint32_t seed =
        argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;
    Workload work;
    make_workload(work, mib << 20, seed);
    Fenx_SetMessageCallback(on_message);
    Fenx_SetMessageLevel(0);

    std::size_t revisions = 0, entries = 0;
    for (std::uint32_t g = 0; g < work.db.database.GroupCount; ++g) {
        entries += work.db.database.Groups[g].EntryCount;
        for (std::uint32_t e = 0; e < work.db.database.Groups[g].EntryCount; ++e)
            revisions += work.db.database.Groups[g].Entries[e].RevisionCount;
    }
    std::printf("scanner benchmark: %zu revisions in %zu entries, %zu planted; %zu-byte code "
                "section, %zu libraries\n",
                revisions, entries, work.planted, work.code.size(), work.libraries.size());

    Report engine;
    double engine_seconds = 1e9;
    for (int run = 0; run < 3; ++run) {
        Report this_run;
        engine_seconds =
            std::min(engine_seconds, full_scan(work, FenxiMatchStrategy::Automatic, this_run));
        engine = std::move(this_run);
    }
    std::printf("  engine:                 %10.4f s\n", engine_seconds);
    std::fflush(stdout);
    Report literal;
    const double literal_seconds = full_scan(work, FenxiMatchStrategy::Literal, literal);
    std::printf("  literal matcher:        %10.4f s\n", literal_seconds);
    const double memchr_seconds = memchr_pass(work.code);
    std::printf("  one memchr pass:        %10.6f s\n", memchr_seconds);

    if (engine.lines != literal.lines) {
        std::printf("REPORTS DIFFER: engine %zu symbols, %zu messages; literal %zu symbols, %zu "
                    "messages\n",
                    engine.symbols, engine.messages, literal.symbols, literal.messages);
        return 1;
    }
    std::printf("  reports identical:      %zu symbols, %zu messages\n", engine.symbols,
                engine.messages);
    std::printf("engine vs literal matcher: %.1fx faster\n", literal_seconds / engine_seconds);
    std::printf("engine vs one memchr pass: %.1fx the time of one pass\n",
                engine_seconds / memchr_seconds);
    return 0;
}
