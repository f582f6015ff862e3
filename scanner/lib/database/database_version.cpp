// The database version: a hash of everything that decides what a scan finds, so that two
// programs with the same version report the same symbols.
#include <cstdio>
#include <cstring>

#include "lib/database/database_tools.h"
#include "lib/fendrel.h"

namespace {

constexpr std::uint32_t kFnvOffsetBasis = 0x811C9DC5;
constexpr std::uint32_t kFnvPrime = 0x01000193;

class Fnv1a {
  public:
    void byte(std::uint8_t value) { hash_ = (hash_ ^ value) * kFnvPrime; }
    void u16(std::uint16_t value) {
        byte(static_cast<std::uint8_t>(value));
        byte(static_cast<std::uint8_t>(value >> 8));
    }
    void text(const char *value) {
        for (; value != nullptr && *value != '\0'; ++value)
            byte(static_cast<std::uint8_t>(*value));
    }
    std::uint32_t value() const { return hash_; }

  private:
    std::uint32_t hash_ = kFnvOffsetBasis;
};

// The packed form: reserved 0, XRefCount, DetectSelect, pair count, then each pair's offset and
// value as little-endian u16.
void hash_record(Fnv1a &hash, const OOVPA &record) {
    hash.byte(0);
    hash.byte(record.XRefCount);
    hash.byte(record.DetectSelect);
    hash.byte(record.Count);
    for (std::uint32_t k = 0; k < record.Count && record.Pairs != nullptr; ++k) {
        hash.u16(record.Pairs[k].Offset);
        hash.u16(record.Pairs[k].Value);
    }
}

} // namespace

std::uint32_t Fenxi_DatabaseVersion(const FenxDatabase &database) {
    Fnv1a hash;
    for (std::uint32_t g = 0; g < database.GroupCount; ++g) {
        const LibraryDatabase &group = database.Groups[g];
        for (std::uint32_t e = 0; e < group.EntryCount; ++e) {
            const OOVPATable &entry = group.Entries[e];
            hash.text(entry.Name);
            for (std::uint32_t r = 0; r < entry.RevisionCount; ++r) {
                hash.u16(entry.Revisions[r].Version);
                if (entry.Revisions[r].Oovpa != nullptr)
                    hash_record(hash, *entry.Revisions[r].Oovpa);
            }
        }
    }
    return hash.value();
}

std::uint32_t Fenx_DatabaseVersion() {
    static const std::uint32_t version = Fenxi_DatabaseVersion(Fenxi_BuiltinDatabase());
    return version;
}

std::uint32_t Fenxi_LibraryEntryCount(const FenxDatabase &database, std::uint32_t mask) {
    std::uint32_t count = 1;
    for (std::uint32_t g = 0; g < database.GroupCount; ++g)
        if ((database.Groups[g].LibraryFlags & mask) != 0)
            count += database.Groups[g].EntryCount;
    return count;
}

std::uint32_t Fenx_LibraryEntryCount(std::uint32_t mask) {
    return Fenxi_LibraryEntryCount(Fenxi_BuiltinDatabase(), mask);
}

std::string Fenxi_DatabaseVersionText(std::uint32_t version) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", version);
    return text;
}
