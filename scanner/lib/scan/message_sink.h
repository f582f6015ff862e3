#pragma once
// Where the library's diagnostics go: one callback with a level, filtered by a threshold. The
// library-wide sink is process-wide; each context keeps the copy taken when it was created.
#include <cstddef>
#include <cstdint>

#include "lib/fendrel.h"

struct FenxiMessageSink {
    std::uint32_t Level;          // messages at or above it are delivered
    FenxMessageCallback Callback; // none: nothing is delivered
};

// A formatted message never exceeds this buffer; longer text is cut.
inline constexpr std::size_t FENXI_MESSAGE_BUFFER_SIZE = 2048;

FenxiMessageSink Fenxi_LibrarySink();

[[gnu::format(gnu_printf, 3, 4)]] void Fenxi_Post(const FenxiMessageSink &sink, std::uint32_t level,
                                                  const char *format, ...);
[[gnu::format(gnu_printf, 2, 3)]] void Fenxi_PostLibrary(std::uint32_t level, const char *format,
                                                         ...);
