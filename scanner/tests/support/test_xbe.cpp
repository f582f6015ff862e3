#include "support/test_xbe.h"

#include <cstring>
#include <stdexcept>

std::uint32_t read_field(const std::vector<std::uint8_t> &image, std::size_t at) {
    return static_cast<std::uint32_t>(image.at(at)) |
           static_cast<std::uint32_t>(image.at(at + 1)) << 8 |
           static_cast<std::uint32_t>(image.at(at + 2)) << 16 |
           static_cast<std::uint32_t>(image.at(at + 3)) << 24;
}

void write_field(std::vector<std::uint8_t> &image, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        image.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

ExactImage::ExactImage(const std::vector<std::uint8_t> &bytes, std::size_t size)
    : data(new std::uint8_t[size == 0 ? 1 : size]), size(size) {
    if (size > bytes.size())
        throw std::invalid_argument("an image cannot be longer than its bytes");
    if (size != 0)
        std::memcpy(data, bytes.data(), size);
}

ExactImage::~ExactImage() {
    delete[] data;
}

std::vector<std::uint8_t> build_test_xbe(const TestXbe &) {
    throw std::logic_error("the testkit XBE builder is not there yet");
}
