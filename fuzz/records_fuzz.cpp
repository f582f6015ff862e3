// The readers of the files the tool keeps or is given: release.json, source.json, build.json,
// install-location.txt (whose bytes also serve as a temporary's name), and the scanner's
// signature packs. The first byte chooses the reader, the rest is the file (for the packs: up to
// three files, split at NUL bytes).
#include "lib/database/database_tools.h"
#include "lib/database/signature_packs.h"
#include "records/build_folders.h"
#include "records/leftover_temporaries.h"
#include "records/message.h"
#include "records/release.h"
#include "records/state_records.h"
#include "scratch.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check_text(const std::string &text) {
    if (ormolt::is_valid_utf8(text))
        return;
    std::fprintf(stderr, "text: %s\n", text.c_str());
    fuzz::broken("a message or value is not valid UTF-8");
}

void read_packs(const std::filesystem::path &folder, const std::uint8_t *data, std::size_t size) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    const char *names[] = {"a.records", "b.records", "c.records"};
    for (std::size_t file = 0; file < 3 && (size != 0 || file == 0); ++file) {
        std::size_t length = 0;
        while (length < size && (file == 2 || data[length] != 0))
            ++length;
        fuzz::write_input(folder / names[file], data, length);
        data += length;
        size -= length;
        if (size != 0) {
            ++data;
            --size;
        }
    }
    std::vector<std::string> errors;
    const auto packs = Fenxi_ListSignaturePacks(folder, "signatures/", errors);
    if (!errors.empty())
        fuzz::broken("a folder of packs could not be listed");
    const FenxiSignaturePacks loaded = Fenxi_LoadSignaturePacks(packs);
    if ((loaded.database != nullptr) == !loaded.errors.empty())
        fuzz::broken("packs were both refused and merged, or neither");
    // Bounded: a message per problem up to the limit, then one that counts the rest.
    if (loaded.errors.size() > 3 * (kFenxiMaxRecordErrors + 1) + kFenxiMaxPackRevisions)
        fuzz::broken("more messages than the packs can hold problems");
    for (const std::string &error : loaded.errors)
        if (!error.starts_with("signatures/") && !error.starts_with("and ") &&
            !error.starts_with("built-in "))
            fuzz::broken("a refusal does not name its pack");
    if (loaded.database != nullptr)
        (void)Fenxi_DatabaseVersion(loaded.database->database());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto &scratch = fuzz::scratch_folder();
    const std::uint8_t choice = data[0] % 5;
    ++data;
    --size;
    switch (choice) {
    case 0: {
        const auto release_dir = scratch / "release";
        fuzz::write_input(release_dir / "release.json", data, size);
        const auto release = ormolt::load_release(release_dir);
        if (!release) {
            check_text(release.error().message);
            break;
        }
        if (release->images.empty())
            fuzz::broken("a loaded release has no image");
        for (const auto &image : release->images)
            check_text(image.sha1);
        check_text(release->title_id);
        break;
    }
    case 1: {
        const auto file = scratch / "source.json";
        fuzz::write_input(file, data, size);
        if (const auto record = ormolt::read_source_record(file))
            check_text(record->path);
        break;
    }
    case 2: {
        const auto file = scratch / "build.json";
        fuzz::write_input(file, data, size);
        if (const auto stamp = ormolt::read_stamp(file))
            check_text(stamp->exe);
        break;
    }
    case 4:
        read_packs(scratch / "signatures", data, size);
        break;
    default: {
        // The remembered installation folder of title "T" under the build folder base.
        static const bool base_set = setenv("ORMOLT_BUILD_DIR", scratch.c_str(), 1) == 0;
        if (!base_set)
            fuzz::broken("cannot set ORMOLT_BUILD_DIR");
        fuzz::write_input(scratch / "T" / "install-location.txt", data, size);
        const auto folder = ormolt::installation_folder("T");
        if (!folder)
            fuzz::broken("the installation folder is unknown although the base is set");
        if (!folder->is_absolute())
            fuzz::broken("the installation folder is not absolute");
        // The same bytes as the name of a temporary beside it: a writer is found only in a name
        // as a writer makes it.
        const std::string name(reinterpret_cast<const char *>(data), size);
        if (const auto writer = ormolt::temporary_writer(name, "install-location.txt", ".part"))
            if (!name.starts_with("install-location.txt." + std::to_string(*writer) + "-") ||
                !name.ends_with(".part"))
                fuzz::broken("a temporary's writer is not the process id in its name");
        break;
    }
    }
    return 0;
}
