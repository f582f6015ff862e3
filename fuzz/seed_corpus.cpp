// Writes the starting corpus of every fuzz target from the testkit's builders: valid disc images
// and XBEs of several shapes, release files and records as the tool writes them, program
// output and command lines. Each input goes to <folder>/<target>/<name>.
// Usage: fuzz-seed-corpus <folder>
#include "records/state_records.h"
#include "testkit/coff_writer.h"
#include "testkit/disc_image_writer.h"
#include "testkit/release_folder.h"
#include "testkit/sample_game.h"
#include "testkit/xbe_builder.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;
using testkit::DiscNode;

namespace {

fs::path corpus;
int failures = 0;

void put(const std::string &target, const std::string &name, const std::string &bytes) {
    std::error_code error;
    fs::create_directories(corpus / target, error);
    std::ofstream out(corpus / target / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s/%s\n", target.c_str(), name.c_str());
        ++failures;
    }
}

std::string as_text(const std::vector<std::uint8_t> &bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string file_bytes(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The disc target reads its input from the volume descriptor on: the image without its first
// 0x10000 bytes, which a plain image leaves empty.
void put_image(const std::string &name, const std::vector<DiscNode> &root,
               const testkit::DiscImageOptions &options = {}) {
    const fs::path scratch = corpus / "image.tmp";
    if (auto error = testkit::write_disc_image(scratch, root, options)) {
        std::fprintf(stderr, "cannot write image %s: %s\n", name.c_str(), error.message().c_str());
        ++failures;
        return;
    }
    const std::string bytes = file_bytes(scratch);
    std::error_code ignored;
    fs::remove(scratch, ignored);
    if (bytes.size() > testkit::disc_descriptor_offset)
        put("disc_image_reader_fuzz", name, bytes.substr(testkit::disc_descriptor_offset));
}

void disc_images() {
    // The sample game without its XBE's bulk: the shapes matter, not the bytes.
    put_image("tree",
              {DiscNode::file("default.xbe", std::string(64, 'X')),
               DiscNode::folder("media", {DiscNode::file("intro.txt", "Welcome.\n"),
                                          DiscNode::file("level1.dat", "LEVEL")}),
               DiscNode::folder(
                   "UDATA", {DiscNode::folder("51520001", {DiscNode::file("save.dat", "SAVE")})})});
    put_image("empty-root", {});
    put_image("names", {DiscNode::file("caf\xE9.txt", "x"), DiscNode::file("a", ""),
                        DiscNode::file(std::string(255, 'n'), "y"), DiscNode::file("..", "z")});
    std::vector<DiscNode> wide;
    for (int i = 0; i < 40; ++i)
        wide.push_back(DiscNode::file("file" + std::to_string(i), std::string(i, 'w')));
    put_image("wide", wide);
    DiscNode deep = DiscNode::file("leaf", "deep");
    for (int i = 0; i < 12; ++i)
        deep = DiscNode::folder("d" + std::to_string(i), {deep});
    put_image("deep", {deep});
    DiscNode cycle = DiscNode::file("b", "1");
    cycle.left_link = testkit::LinkOverride::to("a");
    put_image("link-cycle", {DiscNode::file("a", "0"), cycle, DiscNode::file("c", "2")});
    DiscNode past = DiscNode::file("b", "1");
    past.right_link = testkit::LinkOverride::past_table_end(3);
    put_image("link-past-end", {DiscNode::file("a", "0"), past});
    DiscNode far = DiscNode::file("far", "data");
    far.stored_sector = 0x7FFFFFFF;
    far.stored_size = 0xFFFFFFFF;
    DiscNode hole = DiscNode::folder("hole");
    hole.empty_slot = true;
    put_image("damaged-entries", {far, hole, DiscNode::file("z", "ok")});
}

testkit::TestXbe referring_xbe() {
    // Patterns of the synthetic scanner database: a call learning a reference, a jump using it,
    // a plain prologue and an absolute operand.
    std::vector<std::uint8_t> code = {0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10, 0xC3, 0x90, 0xE8, 0x10,
                                      0x00, 0x00, 0x00, 0xC3, 0x90, 0x90, 0xE9, 0x00, 0x00, 0x00,
                                      0x00, 0xCC, 0x90, 0x90, 0xA1, 0x00, 0x20, 0x01, 0x00, 0xE8,
                                      0xD3, 0xFF, 0xFF, 0xFF, 0xC3, 0x8B, 0x0D, 0x00, 0x00, 0x00};
    testkit::TestXbe xbe;
    xbe.libraries = {{"DSOUND", 3911}, {"D3D8", 4627}, {"XAPILIB", 3911}};
    xbe.sections = {{"DSOUND", 0x00011000, code},
                    {"D3D", 0x00012000, {0xFF, 0x15, 0x08, 0x10, 0x01, 0x00, 0x56, 0x57}},
                    {".data", 0x00013000, std::vector<std::uint8_t>(64, 0)}};
    xbe.kernel_thunk = 0x00013000;
    xbe.title_id = 0x4D530042;
    xbe.title_name = u"Referring";
    return xbe;
}

void xbes() {
    const testkit::TestXbe sample = testkit::sample_xbe();
    testkit::TestXbe debug = sample;
    debug.kind = testkit::TestXbeKind::Debug;
    debug.game_regions = 0x80000000;
    testkit::TestXbe chihiro = sample;
    chihiro.kind = testkit::TestXbeKind::Chihiro;
    testkit::TestXbe odd = sample;
    odd.certificate_address = sample.base_address + 0x1F0;
    odd.title_name = std::u16string(40, u'\xD800');
    testkit::TestXbe bare;
    bare.title_name = u"Bare";
    const std::vector<std::pair<std::string, testkit::TestXbe>> shapes = {
        {"sample", sample},   {"debug", debug},
        {"chihiro", chihiro}, {"certificate-elsewhere", odd},
        {"bare", bare},       {"referring", referring_xbe()}};
    for (const auto &[name, xbe] : shapes) {
        const std::string bytes = as_text(testkit::build_test_xbe(xbe));
        put("xbe_summary_fuzz", name, bytes);
        // The scanner's first byte: database 0 (built-in), 1 (referring), 2 (derivations);
        // 0x80 adds detail messages.
        for (const char choice : {'\x00', '\x01', '\x02', '\x81'})
            put("scanner_fuzz", name + "-" + std::to_string(choice & 0xFF), choice + bytes);
    }
    std::vector<std::uint8_t> cut = testkit::build_test_xbe(sample);
    cut.resize(0x120);
    put("xbe_summary_fuzz", "cut", as_text(cut));
}

void records() {
    testkit::ReleaseDescription plain;
    testkit::ReleaseDescription full;
    full.images = {{"0123456789ABCDEF0123456789abcdef01234567", "Sample (USA)", "usa.json"}};
    full.xbe_sha1.clear();
    full.launcher = "launcher";
    full.xbe = "game/default.xbe";
    full.lift = std::vector<std::string>{"--fast", "--verbose"};
    put("records_fuzz", "release-plain", '\x00' + plain.to_json());
    put("records_fuzz", "release-full", '\x00' + full.to_json());

    // The records as the tool itself writes them.
    const fs::path scratch = corpus / "records.tmp";
    std::error_code ignored;
    fs::create_directories(scratch, ignored);
    if (ormolt::write_source_record(scratch / "source.json",
                                    {"/home/player/Sample Game.iso", 734003200, 1700000000}) &&
        ormolt::write_stamp(
            scratch / "build.json",
            {"1.0", "51520001", "0123456789abcdef0123456789abcdef01234567", "sample.exe"})) {
        put("records_fuzz", "source", '\x01' + file_bytes(scratch / "source.json"));
        put("records_fuzz", "stamp", '\x02' + file_bytes(scratch / "build.json"));
    } else {
        std::fprintf(stderr, "cannot write the records\n");
        ++failures;
    }
    fs::remove_all(scratch, ignored);
    put("records_fuzz", "location", "\x03/home/player/Games/Sample Game\n");
    put("records_fuzz", "location-relative", "\x03 games\\sample \r\n");
    // Signature packs: two files, the second referring to the first's entry.
    put("records_fuzz", "packs",
        "\x04group xapilib\nrevision SetEvent 4627\nlovp 0 55 8B EC 8B 45 08\n\0"
        "# authored\ngroup xapilib\nrevision PulseEvent 4627\nref 9 SetEvent\nref 20 kernel 187\n"
        "lovp 0 55 8B EC 56\nlovp 8 E8\n"s);
}

void program_output() {
    put("tool_output_fuzz", "translation",
        "\x07\x00"s +
            "  1/4 reading\n  2/4 naming\r\n  3/4 writing C\n  4/4 done\nWarning: \xE9t\xE9\n");
    put("tool_output_fuzz", "compile",
        "\x20\x90[1/3] Building C object CMakeFiles/game.dir/src/part_001.c.o\r\n"
        "[2/3] Building C object CMakeFiles/game.dir/src/part_002.c.obj\n[3/3] Linking C "
        "executable game\nunfinished \xF0\x9F\x98");
    put("tool_output_fuzz", "one-byte-chunks", "\x00\x81"s + "a\r\r\n\n\xC3\xA9\xC3\xA9\n");
}

void command_lines() {
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"build", "build\0--source\0/games/sample.iso\0--install-dir\0/opt/sample\0"
                  "--release\0rel"s},
        {"relink", "relink\0--source\0game folder"s},
        {"status", "status\0--release"s},
        {"scanner", "default.xbe\0-v\0-demangle\0-e\0-x"s},
        {"unknown", "r\xC3\xA9link\xFF"},
    };
    for (const auto &[name, text] : lines)
        put("command_line_fuzz", name, text);
}

// COFF objects and archives as libraries hold them, and a records file, for the authoring tool.
void coff_inputs() {
    testkit::TestCoff coff;
    coff.sections.push_back({".text$mn_CreateEventA",
                             {0x55, 0x8B, 0xEC, 0xA1, 0, 0, 0, 0, 0xE8, 0, 0, 0, 0, 0x5D, 0xC3},
                             {{4, 1, 0x0006}, {9, 2, 0x0014}}});
    coff.sections.push_back({".data", {1, 2, 3, 4}, {}, 0xC0300040});
    coff.symbols = {{"_CreateEventA@16", 0, 1}, {"__tls_index", 0, 2, 2, 0}, {"_SetEvent@4", 0, 0}};
    const std::vector<std::uint8_t> object = testkit::build_test_coff(coff);
    put("coff_reader_fuzz", "object", as_text(object));
    put("coff_reader_fuzz", "archive-long-names",
        as_text(testkit::build_test_archive(
            {{"a-rather-long-member-name.obj", object}, {"b.o", object}})));
    put("coff_reader_fuzz", "archive-other-style",
        as_text(
            testkit::build_test_archive({{"event.obj", object}, {"d3d8-device-clear.obj", object}},
                                        testkit::TestArchiveStyle::Microsoft)));
    // A big object, and an archive with a link-time-code member beside an ordinary one.
    testkit::TestCoff big = coff;
    big.big_object = true;
    put("coff_reader_fuzz", "big-object", as_text(testkit::build_test_coff(big)));
    put("coff_reader_fuzz", "archive-link-time-code",
        as_text(testkit::build_test_archive(
            {{"event.obj", object},
             {"whole-program.obj", {'B', 'C', 0xC0, 0xDE, 0x35, 0x14, 0, 0, 5, 0, 0, 0}},
             {"big.obj", testkit::build_test_coff(big)}},
            testkit::TestArchiveStyle::Microsoft)));
    put("coff_reader_fuzz", "records",
        "group dsound\nrevision IDirectSoundStream_SetVolume 4039\ndetect 1\n"
        "ref 1 CDirectSoundStream_SetVolume\nref 9 kernel 187\nlovp 0 E9 8B\n");
    // The names of a linked program: a linker map and a symbol list.
    put("coff_reader_fuzz", "linker-map",
        " Start         Length     Name                   Class\n"
        " 0001:00000000 00000298H .text                   CODE\n\n"
        "  Address         Publics by Value              Rva+Base               Lib:Object\n\n"
        " 0000:0000002c       __tls_array                000000000000002c     <absolute>\n"
        " 0001:00000000       _SetEvent@4                0000000000011000     x:events.obj\n"
        " 0001:00000020       _PulseEvent@4              00011020 f   x:events.obj\n\n"
        " entry point at         0001:00000070\n\n Static symbols\n\n"
        " 0001:00000040       _helper                    0000000000011040     x:events.obj\n");
    put("coff_reader_fuzz", "symbol-list",
        "XAPILIB__FUN__stdcall__SetEvent(unk ) = 0x00011000\n"
        "XAPILIB__VAR__g_DeviceType_MU = 0x00013070\nDSOUND__CMcpxBuffer_Play = 0x00011400\n"
        "00011020 _PulseEvent@4\n0x11040 ResetEvent # named by hand\n");
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-seed-corpus <folder>\n");
        return 2;
    }
    corpus = argv[1];
    std::error_code error;
    fs::create_directories(corpus, error);
    if (error) {
        std::fprintf(stderr, "cannot create %s: %s\n", argv[1], error.message().c_str());
        return 1;
    }
    disc_images();
    xbes();
    records();
    program_output();
    coff_inputs();
    command_lines();
    return failures == 0 ? 0 : 1;
}
