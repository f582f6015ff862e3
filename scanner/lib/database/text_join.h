#pragma once
// Joins text pieces and numbers into one string: the compilers we build with have no
// std::format yet.
#include <concepts>
#include <cstdio>
#include <string>
#include <string_view>

namespace fenxi_text {

// A number in hexadecimal with at least `digits` digits, upper case.
struct Hex {
    unsigned long long value;
    int digits = 2;
};

inline void append(std::string &out, std::string_view piece) {
    out += piece;
}
inline void append(std::string &out, const char *piece) {
    out += piece != nullptr ? piece : "";
}
inline void append(std::string &out, const std::string &piece) {
    out += piece;
}
inline void append(std::string &out, char piece) {
    out += piece;
}
inline void append(std::string &out, Hex number) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%0*llX", number.digits, number.value);
    out += buffer;
}
template <std::integral T>
requires(!std::same_as<T, char> && !std::same_as<T, bool>) void append(std::string &out, T number) {
    out += std::to_string(number);
}

template <typename... Pieces> std::string join(const Pieces &...pieces) {
    std::string out;
    (append(out, pieces), ...);
    return out;
}

} // namespace fenxi_text
