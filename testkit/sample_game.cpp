#include "testkit/sample_game.h"

#include <fstream>

namespace testkit {

namespace fs = std::filesystem;

TestXbe sample_xbe() {
    TestXbe xbe;
    xbe.title_id = 0x51520001;
    xbe.title_name = u"Sample Game";
    xbe.game_regions = 0x00000001 | 0x00000002; // North America, Japan
    xbe.libraries = {{"XAPILIB", 5849}, {"D3D8", 5849}, {"DSOUND", 5849}};
    std::vector<std::uint8_t> code(4096);
    for (std::size_t i = 0; i < code.size(); ++i)
        code[i] = static_cast<std::uint8_t>(i * 7 + 3);
    code[0] = 0x55; // push ebp
    code[1] = 0x8B; // mov ebp, esp
    code[2] = 0xEC;
    code[3] = 0xC3; // ret
    xbe.sections = {{".text", 0x00011000, code},
                    {".data", 0x00013000, std::vector<std::uint8_t>(512, 0x2A)},
                    {".rdata", 0x00014000,
                     std::vector<std::uint8_t>{'S', 'a', 'm', 'p', 'l', 'e', 0, 0}}};
    return xbe;
}

std::vector<DiscNode> sample_game_nodes(const TestXbe& xbe) {
    const auto bytes = build_test_xbe(xbe);
    std::string level(64 * 1024, '\0');
    for (std::size_t i = 0; i < level.size(); ++i)
        level[i] = static_cast<char>((i * 31) & 0xFF);
    return {
        DiscNode::file("default.xbe", std::string(bytes.begin(), bytes.end())),
        DiscNode::folder("media", {DiscNode::file("intro.txt", "Welcome to the sample game.\n"),
                                   DiscNode::file("level1.dat", level)}),
        DiscNode::folder("UDATA", {DiscNode::folder("51520001", {DiscNode::file(
                                                                  "TitleMeta.xbx", "disc save")})}),
    };
}

std::error_code write_game_folder(const fs::path& folder, const std::vector<DiscNode>& nodes) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        return error;
    for (const auto& node : nodes) {
        const fs::path target = folder / node.name;
        if (node.directory) {
            if (auto failed = write_game_folder(target, node.children))
                return failed;
            continue;
        }
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(node.data.data(), static_cast<std::streamsize>(node.data.size()));
        if (!out)
            return std::make_error_code(std::errc::io_error);
    }
    return {};
}

} // namespace testkit
