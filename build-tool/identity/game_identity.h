#pragma once
// Proves that the extracted game is a copy the release was made for, by the SHA-1 of its XBE.
#include "records/build_error.h"
#include "records/release.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace ormolt {

// The XBE the identity rests on: the XBE of the release's name in <installation folder>/game.
std::filesystem::path game_xbe_path(const Release &release,
                                    const std::filesystem::path &installation_folder);

// The first image of the release whose sha1 equals the digest of the game's XBE. Refusals are
// Unsupported and say what the copy is and what the release was made for.
Result<Image> check_game_identity(const Release &release,
                                  const std::filesystem::path &installation_folder);

// The first image of the release whose sha1 is the digest. Otherwise the Unsupported refusal,
// which says what the copy is (describe is asked only then) and what the release was made for.
Result<Image> match_release_image(const Release &release, std::string_view digest,
                                  const std::function<std::string()> &describe);

// The Unsupported refusal of a copy that has no XBE of the release's name.
BuildError missing_xbe_error(const Release &release);

// The relink refusal (kind Rebuild): the new copy's XBE digest differs from the one recorded
// in build.json.
BuildError different_copy_error(const Release &release, std::string_view new_digest,
                                std::string_view recorded_digest);

} // namespace ormolt
