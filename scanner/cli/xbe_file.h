#pragma once
// Reading the whole XBE file, named by UTF-8 text, into one heap buffer.
#include <cstddef>
#include <cstdint>

struct XbeFile {
    std::uint8_t *data = nullptr;
    std::size_t size = 0;
    ~XbeFile();
};

enum class XbeFileStatus { Read, CannotOpen, CannotRead, TooLarge, OutOfMemory };

XbeFileStatus read_xbe_file(const char *path, XbeFile *file);
