#include "support/scan_recorder.h"

#include <cstdio>
#include <cstring>

namespace {

ScanRecorder *active = nullptr;

} // namespace

ScanRecorder::ScanRecorder() {
    active = this;
    Fenx_SetMessageCallback(&ScanRecorder::on_message);
    Fenx_SetMessageLevel(0);
}

ScanRecorder::~ScanRecorder() {
    active = nullptr;
    Fenx_SetMessageCallback(nullptr);
    Fenx_SetMessageLevel(1);
}

void ScanRecorder::on_symbol(const char *library_name, std::uint32_t library_flag,
                             std::uint32_t symbol_index, const char *symbol_name,
                             std::uint32_t address, std::uint32_t build_version,
                             std::uint32_t symbol_type, std::uint32_t call_convention,
                             std::uint32_t param_count, const OOVPAParam *params) {
    if (active == nullptr)
        return;
    RecordedSymbol symbol;
    symbol.library.assign(library_name, strnlen(library_name, 8));
    symbol.flag = library_flag;
    symbol.index = symbol_index;
    symbol.name = symbol_name;
    symbol.address = address;
    symbol.build = build_version;
    symbol.type = symbol_type;
    symbol.convention = call_convention;
    for (std::uint32_t i = 0; i < param_count; ++i)
        symbol.params.emplace_back(params[i].Location, params[i].Name);
    active->symbols.push_back(std::move(symbol));
}

void ScanRecorder::on_message(std::uint32_t level, const char *text) {
    if (active != nullptr)
        active->messages.push_back(RecordedMessage{level, text});
}

std::vector<std::string> ScanRecorder::texts(std::uint32_t level) const {
    std::vector<std::string> out;
    for (const RecordedMessage &message : messages)
        if (message.level >= level)
            out.push_back(message.text);
    return out;
}

std::vector<std::string> ScanRecorder::found() const {
    std::vector<std::string> out;
    for (const RecordedSymbol &symbol : symbols) {
        char address[16];
        std::snprintf(address, sizeof address, "@0x%08x", symbol.address);
        out.push_back(symbol.name + address);
    }
    return out;
}

void ScanRecorder::clear() {
    symbols.clear();
    messages.clear();
}
