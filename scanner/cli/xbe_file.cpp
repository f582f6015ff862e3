// A regular file is sized before anything is read, so one that no image can be is refused at
// once, and then read with one call into a block of that size; anything else (a pipe) is read in
// growing chunks up to the same limit. The size never passes through a 32-bit type.
#include "cli/xbe_file.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

#include "entry/system_path.h"

namespace {

constexpr std::size_t kFirstChunk = 1 << 20;
constexpr std::uintmax_t kLargestFile = 0x7FFFFFFF; // sizes are signed 32-bit in image headers

XbeFileStatus read_growing(std::ifstream &in, XbeFile *file) {
    std::size_t capacity = 0;
    for (;;) {
        if (file->size == capacity) {
            if (capacity > kLargestFile)
                return XbeFileStatus::TooLarge;
            const std::size_t grown = capacity == 0 ? kFirstChunk : capacity * 2;
            void *bigger = std::realloc(file->data, grown);
            if (bigger == nullptr)
                return XbeFileStatus::OutOfMemory;
            file->data = static_cast<std::uint8_t *>(bigger);
            capacity = grown;
        }
        in.read(reinterpret_cast<char *>(file->data + file->size),
                static_cast<std::streamsize>(capacity - file->size));
        file->size += static_cast<std::size_t>(in.gcount());
        if (in.bad())
            return XbeFileStatus::CannotRead;
        if (in.eof())
            return file->size > kLargestFile ? XbeFileStatus::TooLarge : XbeFileStatus::Read;
    }
}

} // namespace

XbeFile::~XbeFile() {
    std::free(data);
}

XbeFileStatus read_xbe_file(const char *path, XbeFile *file) {
    const std::filesystem::path name = path_from_utf8(path);
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return XbeFileStatus::CannotOpen;
    std::error_code error;
    const bool regular = std::filesystem::is_regular_file(name, error);
    const std::uintmax_t size = regular ? std::filesystem::file_size(name, error) : 0;
    if (!regular || error)
        return read_growing(in, file);
    if (size > kLargestFile)
        return XbeFileStatus::TooLarge;
    // Not zeroed first: the read fills it, and each page is touched once.
    file->data = static_cast<std::uint8_t *>(std::malloc(size == 0 ? 1 : size));
    if (file->data == nullptr)
        return XbeFileStatus::OutOfMemory;
    in.read(reinterpret_cast<char *>(file->data), static_cast<std::streamsize>(size));
    if (in.bad())
        return XbeFileStatus::CannotRead;
    // A file that shrank since it was sized is what could be read; one that grew, what it was.
    file->size = static_cast<std::size_t>(in.gcount());
    return XbeFileStatus::Read;
}
