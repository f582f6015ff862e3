// The file is read in growing chunks rather than sized by seeking, so the size never passes
// through a 32-bit type; anything of 2 GiB or more is refused.
#include "cli/xbe_file.h"

#include "cli/system_text.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::size_t kFirstChunk = 1 << 20;
constexpr std::size_t kLargestFile = 0x7FFFFFFF; // sizes are signed 32-bit in image headers

} // namespace

XbeFile::~XbeFile() {
    std::free(data);
}

XbeFileStatus read_xbe_file(const char *path, XbeFile *file) {
    std::FILE *stream = open_for_reading_utf8(path);
    if (stream == nullptr)
        return XbeFileStatus::CannotOpen;
    XbeFileStatus status = XbeFileStatus::Read;
    std::size_t capacity = 0;
    for (;;) {
        if (file->size == capacity) {
            if (capacity > kLargestFile) {
                status = XbeFileStatus::TooLarge;
                break;
            }
            const std::size_t grown = capacity == 0 ? kFirstChunk : capacity * 2;
            void *bigger = std::realloc(file->data, grown);
            if (bigger == nullptr) {
                status = XbeFileStatus::OutOfMemory;
                break;
            }
            file->data = static_cast<std::uint8_t *>(bigger);
            capacity = grown;
        }
        const std::size_t got =
            std::fread(file->data + file->size, 1, capacity - file->size, stream);
        file->size += got;
        if (got == 0) {
            if (std::ferror(stream))
                status = XbeFileStatus::CannotRead;
            break;
        }
    }
    std::fclose(stream);
    if (status == XbeFileStatus::Read && file->size > kLargestFile)
        status = XbeFileStatus::TooLarge;
    return status;
}
