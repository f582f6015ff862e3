#pragma once
// Records what the library reports through its two callbacks. The callbacks are plain function
// pointers, so the recorder that is alive is the one they write to; it also sets the message
// threshold to 0 for its lifetime and puts back the defaults afterwards.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lib/fendrel.h"

struct RecordedSymbol {
    std::string library;
    std::uint32_t flag = 0;
    std::uint32_t index = 0;
    std::string name;
    std::uint32_t address = 0;
    std::uint32_t build = 0;
    std::uint32_t type = 0;
    std::uint32_t convention = 0;
    std::vector<std::pair<std::uint32_t, std::string>> params;

    bool operator==(const RecordedSymbol &) const = default;
};

struct RecordedMessage {
    std::uint32_t level = 0;
    std::string text;

    bool operator==(const RecordedMessage &) const = default;
};

class ScanRecorder {
  public:
    ScanRecorder();
    ~ScanRecorder();
    ScanRecorder(const ScanRecorder &) = delete;
    ScanRecorder &operator=(const ScanRecorder &) = delete;

    static void on_symbol(const char *library_name, std::uint32_t library_flag,
                          std::uint32_t symbol_index, const char *symbol_name,
                          std::uint32_t address, std::uint32_t build_version,
                          std::uint32_t symbol_type, std::uint32_t call_convention,
                          std::uint32_t param_count, const OOVPAParam *params);
    static void on_message(std::uint32_t level, const char *text);

    // Messages at `level` or above, texts only.
    std::vector<std::string> texts(std::uint32_t level = 0) const;
    // "name@address" for each reported symbol, in order.
    std::vector<std::string> found() const;
    void clear();

    std::vector<RecordedSymbol> symbols;
    std::vector<RecordedMessage> messages;
};
