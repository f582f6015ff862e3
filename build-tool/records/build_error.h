#pragma once
// The error value of every fallible operation of ormolt-build.
#include <cstdint>
#include <expected>
#include <string>
#include <utility>

namespace ormolt {

enum class ErrorKind : std::uint8_t {
    Ordinary = 1,    // any failure not listed below
    Unsupported = 2, // the game copy is not one that the release supports
    Rebuild = 3,     // the copy differs from the one the build was made from
};

struct BuildError {
    std::string message;
    ErrorKind kind = ErrorKind::Ordinary;
};

// Success with a value (or nothing) or one BuildError.
template <class T = void> using Result = std::expected<T, BuildError>;

inline std::unexpected<BuildError> fail(std::string message, ErrorKind kind = ErrorKind::Ordinary) {
    return std::unexpected(BuildError{std::move(message), kind});
}

} // namespace ormolt
