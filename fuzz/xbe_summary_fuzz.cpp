// The XBE summary reader: from bytes in memory, and from the same bytes as a file, where it reads
// only the header and the certificate. Both must agree, and the title must be valid UTF-8.
#include "identity/xbe_summary.h"
#include "records/message.h"
#include "scratch.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const auto summary = ormolt::read_xbe_summary({data, size});
    std::string described = "an unreadable XBE";
    if (summary) {
        if (!ormolt::is_valid_utf8(summary->xbe_title_name))
            fuzz::broken("the title is not valid UTF-8");
        described = ormolt::describe_summary(*summary);
    }
    const auto file = fuzz::scratch_folder() / "default.xbe";
    fuzz::write_input(file, data, size);
    if (ormolt::describe_xbe(file) != described)
        fuzz::broken("the file and the bytes in memory are described differently");
    return 0;
}
