// XAPI derivations: XGetSectionSize from the call in XapiMapLetterToDirectory, g_DeviceType_MU
// from the push before MU_Init's call of IUsbInit_GetMaxDeviceTypeCount, and the device-type
// variables from the device type table that the linker fills.
#include "lib/derive/derivation_facts.h"
#include "lib/derive/derivation_terms.h"
#include "lib/derive/derivations.h"
#include "lib/image/xbe_layout.h"
#include "lib/scan/signature_match.h"

namespace {

using namespace fenxi_derive;

constexpr std::uint16_t kDeviceTableBuild = 4242;

constexpr std::uint8_t kPushImmediate = 0x68;
constexpr std::uint8_t kCall = 0xE8;
constexpr std::uint8_t kLeave = 0xC9;
constexpr std::uint8_t kReturnPop = 0xC2;
constexpr std::uint8_t kReturnPopFour = 0x04;
// push imm32 (5 bytes), then call rel32 (5 bytes).
constexpr std::uint32_t kPushCallLength = 10;

struct DeviceType {
    std::uint8_t code;
    std::uint32_t index;
    std::uint16_t build;
    const char *missing;
};

constexpr DeviceType kDeviceTypes[] = {
    {1, kDeviceTypeGamepad, 0, "Unable to find g_DeviceType_Gamepad entry in database..."},
    {2, kDeviceTypeKeyboard, 0, "Unable to find g_DeviceType_Keyboard entry in database..."},
    {3, kDeviceTypeIRDongle, 0, "Unable to find g_DeviceType_IRDongle entry in database..."},
    {4, kDeviceTypeMouse, 0, "Unable to find g_DeviceType_Mouse entry in database..."},
    {0x80, kDeviceTypeSBC, kDeviceTableBuild,
     "Unable to find g_DeviceType_SBC entry in database..."},
};

// A device type record: its type code byte, then at +4 the address of the type's descriptor.
constexpr std::uint32_t kRecordLength = 8;
constexpr std::uint32_t kRecordDescriptor = 4;

class XapiDerivation {
  public:
    XapiDerivation(FenxContext *context, const FenxLibraryFilter *library,
                   const LibraryDatabase *group, const FenxSectionFilter *section)
        : context_(context), library_(library), group_(group), section_(section) {}

    bool run() {
        const bool section_size = derive_section_size();
        const bool mu = derive_memory_unit_type();
        const bool table = derive_device_table();
        return section_size && mu && table;
    }

  private:
    std::uint32_t slot(std::uint32_t index) const { return context_->XRefs[index]; }

    std::uint32_t find(std::uint32_t index, const OOVPATable **entry = nullptr,
                       const OOVPARevision **revision = nullptr) {
        return Fenxi_FindEntryBySymbol(context_, library_, group_, section_, index, true, true,
                                       entry, revision);
    }

    // XapiMapLetterToDirectory calls XGetSectionSize; its signature learns the raw call
    // displacement, which is turned into the address here.
    bool derive_section_size() {
        if (!Fenxi_IsUnresolved(slot(kMapLetterToDirectory)))
            return true;
        const OOVPATable *entry = nullptr;
        const OOVPARevision *revision = nullptr;
        const std::uint32_t caller = find(kMapLetterToDirectory, &entry, &revision);
        if (caller == 0)
            return true;
        const OOVPA *record = revision->Oovpa;
        const std::uint32_t displacement = slot(kGetSectionSize);
        if (Fenxi_IsUnresolved(displacement) || displacement == 0) {
            Fenxi_Post(context_->Sink, FENX_MSG_ERROR,
                       "Please verify %s (%hu) signature do contain %s's xref entry.", entry->Name,
                       revision->Version, "XGetSectionSize");
            return false;
        }
        if (record->XRefCount == 0) {
            Fenxi_Post(context_->Sink, FENX_MSG_ERROR,
                       "%s (%hu) signature cannot have zero XRefCount when calling %s!",
                       entry->Name, revision->Version,
                       "Fenxi_OOVPARevision_ConvertXRefRelativeAddrtToVirtAddr");
            return false;
        }
        // The record's first pair is the displacement the table says this entry's record teaches.
        if (record->Pairs[0].Value != derivation_fact(kMapLetterToDirectory)->reads.front()) {
            Fenxi_Post(context_->Sink, FENX_MSG_ERROR,
                       "%s (%hu) signature does not have %s's xref entry!", entry->Name,
                       revision->Version, "XGetSectionSize");
            return false;
        }
        // A displacement counts from the end of its 4-byte field.
        const std::uint32_t address = displacement + caller + record->Pairs[0].Offset + 4;
        if (address == 0)
            return false;
        context_->XRefs[kGetSectionSize] = address;
        if (Fenxi_IsUnresolved(address))
            return true;
        const OOVPATable *callee = Fenxi_ManualEntry(group_, kGetSectionSize);
        if (callee == nullptr) {
            Fenxi_Post(context_->Sink, FENX_MSG_ERROR,
                       "Unable to find XGetSectionSize entry in database...");
            return false;
        }
        Fenxi_ReportEntry(context_, library_, callee, address, revision->Version);
        return true;
    }

    // MU_Init pushes the memory unit's device type, then calls GetMaxDeviceTypeCount; the first
    // such pair before the function returns gives the variable.
    bool derive_memory_unit_type() {
        if (Fenxi_IsUnresolved(slot(kMUInit)))
            find(kMUInit);
        if (Fenxi_IsUnresolved(slot(kGetMaxDeviceTypeCount)))
            find(kGetMaxDeviceTypeCount);
        if (Fenxi_IsUnresolved(slot(kMUInit)) || Fenxi_IsUnresolved(slot(kGetMaxDeviceTypeCount)))
            return false;
        std::uint32_t device_type = 0;
        if (!find_pushed_device_type(&device_type))
            return false;
        if (Fenxi_HoldsAddress(slot(kDeviceTypeMU)))
            return true;
        const OOVPATable *entry = Fenxi_ManualEntry(group_, kDeviceTypeMU);
        if (entry == nullptr) {
            Fenxi_Post(context_->Sink, FENX_MSG_ERROR,
                       "Unable to find g_DeviceType_MU entry in database...");
            return false;
        }
        const std::uint16_t build = entry->RevisionCount > 0 ? entry->Revisions[0].Version : 0;
        Fenxi_StoreSlot(context_, library_, kDeviceTypeMU, device_type);
        Fenxi_ReportEntry(context_, library_, entry, device_type, build);
        return true;
    }

    bool find_pushed_device_type(std::uint32_t *device_type) {
        const std::uint32_t start = slot(kMUInit);
        // MU_Init may have been found in another section of the walk: its bytes are not here.
        if (!Fenxi_SectionHas(section_, start, 1))
            return false;
        const std::uint32_t callee = slot(kGetMaxDeviceTypeCount);
        const std::uint8_t *data = section_->Data;
        const std::uint32_t size = section_->Size;
        for (std::uint32_t at = start - section_->VirtualAddress; at < size; ++at) {
            if (size - at >= 3 && data[at] == kLeave && data[at + 1] == kReturnPop &&
                data[at + 2] == kReturnPopFour) {
                Fenxi_Post(context_->Sink, FENX_MSG_ERROR,
                           "Could not find g_DeviceType_MU from MU_Init!");
                return false;
            }
            if (size - at < kPushCallLength || data[at] != kPushImmediate || data[at + 5] != kCall)
                continue;
            const std::uint32_t target = Fenxi_ReadU32(data + at + 6);
            const std::uint32_t after_call = section_->VirtualAddress + at + kPushCallLength;
            if (target == callee || target + after_call == callee) {
                *device_type = Fenxi_ReadU32(data + at + 1);
                return true;
            }
        }
        return false;
    }

    // GetTypeInformation refers to the table's two ends; every entry points at a device type
    // record whose code says which variable its descriptor is.
    bool derive_device_table() {
        if (Fenxi_HoldsAddress(slot(kGetTypeInformation)))
            return false;
        if (find(kGetTypeInformation) == 0 && find(kGetTypeInformation2) == 0) {
            if (!Fenxi_IsUnresolved(slot(kInputOpen)))
                return false;
            return find(kInputOpen) != 0;
        }
        if (!report_table_end(kDeviceTableBegin,
                              "Unable to find g_DeviceTypeInfoTableBegin entry in database...") ||
            !report_table_end(kDeviceTableEnd,
                              "Unable to find g_DeviceTypeInfoTableEnd entry in database..."))
            return false;
        return walk_device_table();
    }

    bool report_table_end(std::uint32_t index, const char *missing) {
        if (!Fenxi_HoldsAddress(slot(index)))
            return true;
        const OOVPATable *entry = Fenxi_ManualEntry(group_, index);
        if (entry == nullptr) {
            Fenxi_Post(context_->Sink, FENX_MSG_ERROR, "%s", missing);
            return false;
        }
        Fenxi_ReportEntry(context_, library_, entry, slot(index), kDeviceTableBuild);
        return true;
    }

    // The entries from Begin up to End, both in one section; none when the ends do not make a
    // table there.
    std::uint32_t table_entries(const FenxSectionFilter **table_section) const {
        const std::uint32_t begin = slot(kDeviceTableBegin);
        const std::uint32_t end = slot(kDeviceTableEnd);
        *table_section = nullptr;
        if (!Fenxi_HoldsAddress(begin) || !Fenxi_HoldsAddress(end) || end <= begin)
            return 0;
        const FenxSectionFilter *holder = Fenxi_SectionHolding(context_, begin, end - begin);
        if (holder == nullptr)
            return 0;
        *table_section = holder;
        return (end - begin) / 4;
    }

    bool walk_device_table() {
        const FenxSectionFilter *table = nullptr;
        const std::uint32_t count = table_entries(&table);
        Fenxi_Post(context_->Sink, FENX_MSG_DETAIL, "DeviceTypeInfoTable Entries: %u", count);
        const std::uint32_t begin = slot(kDeviceTableBegin);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t record_address = 0;
            Fenxi_ReadU32At(table, begin + 4 * i, &record_address);
            const FenxSectionFilter *holder =
                Fenxi_SectionHolding(context_, record_address, kRecordLength);
            if (holder == nullptr)
                continue;
            std::uint8_t code = 0;
            std::uint32_t descriptor = 0;
            Fenxi_ReadByteAt(holder, record_address, &code);
            Fenxi_ReadU32At(holder, record_address + kRecordDescriptor, &descriptor);
            if (!take_device_type(i, code, descriptor))
                return false;
        }
        return true;
    }

    bool take_device_type(std::uint32_t position, std::uint8_t code, std::uint32_t descriptor) {
        for (const DeviceType &type : kDeviceTypes) {
            if (type.code != code)
                continue;
            const OOVPATable *entry = Fenxi_ManualEntry(group_, type.index);
            if (entry == nullptr) {
                Fenxi_Post(context_->Sink, FENX_MSG_ERROR, "%s", type.missing);
                return false;
            }
            if (Fenxi_IsUnresolved(slot(type.index))) {
                Fenxi_StoreSlot(context_, library_, type.index, descriptor);
                Fenxi_ReportEntry(context_, library_, entry, descriptor, type.build);
            }
            return true;
        }
        Fenxi_Post(context_->Sink, FENX_MSG_WARNING,
                   "Unknown device type, DeviceTypeInfoTable[%hhu]:  ucType = %hhu, XppType = %08X",
                   static_cast<unsigned char>(position), code, descriptor);
        return true;
    }

    FenxContext *context_;
    const FenxLibraryFilter *library_;
    const LibraryDatabase *group_;
    const FenxSectionFilter *section_;
};

} // namespace

bool Fenxi_DeriveXapiLib(FenxContext *context, const FenxLibraryFilter *library,
                         const LibraryDatabase *group, const FenxSectionFilter *section) {
    return XapiDerivation(context, library, group, section).run();
}
