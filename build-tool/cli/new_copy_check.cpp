#include "cli/new_copy_check.h"

#include "identity/file_sha1.h"
#include "identity/game_identity.h"
#include "identity/xbe_summary.h"
#include "intake/disc_file.h"
#include "records/disc_names.h"
#include "records/message.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

// Decides on the digest of the copy's XBE; describe tells what that XBE is.
using DigestCheck = std::function<Result<>(const std::string &digest,
                                           const std::function<std::string()> &describe)>;

Result<> check_copy_xbe(const Release &release, const fs::path &source, const DigestCheck &check) {
    std::error_code error;
    const fs::file_status status = fs::status(source, error);
    std::string digest;
    std::function<std::string()> describe;
    std::optional<DiscFile> inside_image;
    if (fs::is_directory(status)) {
        const fs::path xbe = xbe_in_folder(release, source);
        if (!fs::is_regular_file(xbe, error))
            return std::unexpected(missing_xbe_error(release));
        auto hashed = file_sha1_hex(xbe);
        if (!hashed)
            return std::unexpected(hashed.error());
        digest = std::move(*hashed);
        describe = [xbe] { return describe_xbe(xbe); };
    } else if (fs::is_regular_file(status)) {
        auto opened = DiscFile::open(source, release.xbe_name());
        if (!opened)
            return std::unexpected(opened.error());
        if (!*opened)
            return std::unexpected(missing_xbe_error(release));
        inside_image = std::move(**opened);
        const DiscFile &file = *inside_image;
        std::uint64_t position = 0;
        auto hashed = stream_sha1_hex(
            [&](char *buffer, std::size_t size) -> std::expected<std::size_t, std::error_code> {
                const auto length =
                    static_cast<std::size_t>(std::min<std::uint64_t>(size, file.size() - position));
                if (auto failed = file.read(position, {buffer, length}))
                    return std::unexpected(failed);
                position += length;
                return length;
            },
            path_text(source));
        if (!hashed)
            return std::unexpected(hashed.error());
        digest = std::move(*hashed);
        describe = [&file] {
            return describe_xbe(file.size(),
                                [&file](std::uint64_t at, std::size_t size, std::uint8_t *out) {
                                    return !file.read(at, {reinterpret_cast<char *>(out), size});
                                });
        };
    } else {
        return {};
    }
    return check(digest, describe);
}

} // namespace

Result<> check_supported_copy(const Release &release, const fs::path &source) {
    return check_copy_xbe(
        release, source,
        [&](const std::string &digest, const std::function<std::string()> &describe) -> Result<> {
            if (auto supported = match_release_image(release, digest, describe); !supported)
                return std::unexpected(supported.error());
            return {};
        });
}

Result<> check_new_copy(const Release &release, const fs::path &source, const Stamp &stamp) {
    return check_copy_xbe(
        release, source,
        [&](const std::string &digest, const std::function<std::string()> &describe) -> Result<> {
            if (digest == stamp.xbe_sha1)
                return {};
            if (auto supported = match_release_image(release, digest, describe); !supported)
                return std::unexpected(supported.error());
            return std::unexpected(different_copy_error(release, digest, stamp.xbe_sha1));
        });
}

} // namespace ormolt
