#include "testkit/release_folder.h"

#include <cstdio>
#include <fstream>

namespace testkit {

namespace fs = std::filesystem;

std::string json_quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string ReleaseDescription::to_json() const {
    std::string text = "{\n";
    const auto member = [&](std::string_view name, const std::string &value) {
        if (text.size() > 2)
            text += ",\n";
        text += "  " + json_quote(name) + ": " + value;
    };
    member("title_id", json_quote(title_id));
    member("title_name", json_quote(title_name));
    member("version", json_quote(version));
    member("exe", json_quote(exe));
    if (!images.empty()) {
        std::string list = "[";
        for (const ReleaseImage &image : images) {
            if (list.size() > 1)
                list += ", ";
            list += "{\"sha1\": " + json_quote(image.sha1);
            if (image.name)
                list += ", \"name\": " + json_quote(*image.name);
            if (image.config)
                list += ", \"config\": " + json_quote(*image.config);
            list += "}";
        }
        member("images", list + "]");
    }
    if (!xbe_sha1.empty()) {
        std::string list = "[";
        for (const std::string &digest : xbe_sha1)
            list += (list.size() > 1 ? ", " : "") + json_quote(digest);
        member("xbe_sha1", list + "]");
    }
    if (launcher)
        member("launcher", json_quote(*launcher));
    if (xbe)
        member("xbe", json_quote(*xbe));
    if (lift) {
        std::string list = "[";
        for (const std::string &entry : *lift)
            list += (list.size() > 1 ? ", " : "") + json_quote(entry);
        member("lift", list + "]");
    }
    return text + "\n}\n";
}

std::error_code write_release_text(const fs::path &release_dir, std::string_view text) {
    std::error_code error;
    fs::create_directories(release_dir, error);
    if (error)
        return error;
    std::ofstream out(release_dir / "release.json", std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return out ? std::error_code() : std::make_error_code(std::errc::io_error);
}

std::error_code write_release(const fs::path &release_dir, const ReleaseDescription &description) {
    return write_release_text(release_dir, description.to_json());
}

std::error_code place_program(const fs::path &release_dir, const fs::path &program,
                              std::optional<std::string> name) {
    const fs::path bin = release_dir / "bin";
    std::error_code error;
    fs::create_directories(bin, error);
    if (error)
        return error;
    const fs::path target = bin / (name ? fs::path(*name) : program.filename());
    fs::copy_file(program, target, fs::copy_options::overwrite_existing, error);
    if (error)
        return error;
    fs::permissions(target, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, error);
    return error;
}

} // namespace testkit
