// Symbol lines, byte for byte as the symbol module of the translation toolkit parses them.
#include "cli/symbol_lines.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// The parameter text is gathered in a buffer of this size; each parameter is formatted into a
// scratch buffer of the smaller size and cut there.
constexpr std::size_t kParamOutputSize = 256;
constexpr std::size_t kParamPieceSize = 64;

SymbolLineOptions line_options;

[[gnu::format(gnu_printf, 2, 3)]] void append(std::string &out, const char *format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(length) + 1);
        std::vsnprintf(out.data() + at, static_cast<std::size_t>(length) + 1, format, again);
        out.resize(at + static_cast<std::size_t>(length));
    }
    va_end(again);
}

// The parameters up to the first "void", as "loc name, loc name"; the ERROR line goes to `out`
// when the next parameter would not fit.
std::string parameter_text(const SymbolReport &report, std::string &out) {
    char output[kParamOutputSize] = {};
    std::size_t count = 0;
    for (std::uint32_t i = 0; i < report.param_count && report.params != nullptr; ++i) {
        const OOVPAParam &param = report.params[i];
        if (param.Location == FENX_PARAM_VOID)
            break;
        char piece[kParamPieceSize];
        std::snprintf(piece, sizeof piece, i == 0 ? "%s %s" : ", %s %s",
                      Fenx_ParamLocationName(param.Location),
                      param.Name != nullptr ? param.Name : "");
        const std::size_t length = strnlen(piece, sizeof piece);
        if (count + length >= kParamOutputSize) {
            append(out,
                   "ERROR: param_size(%zu) + buffer_count(%zu) is too long to be stored in "
                   "param_output(%zu)\n",
                   count, length, kParamOutputSize);
            break;
        }
        std::memcpy(output + count, piece, length);
        count += length;
    }
    return std::string(output, count);
}

} // namespace

std::string symbol_lines(const SymbolReport &report, const SymbolLineOptions &options) {
    const char *name = report.symbol_name != nullptr ? report.symbol_name : "";
    if (options.demangle) {
        if (const char *canonical = Fenx_SymbolName(report.symbol_index))
            name = canonical;
    }
    std::string out;
    if (!options.extendinfo) {
        append(out, "%.8s__%s = 0x%08x\n", report.library_name, name, report.address);
    } else if (report.symbol_type == FENX_SYMBOL_VARIABLE) {
        append(out, "%.8s__VAR__%s = 0x%08x\n", report.library_name, name, report.address);
    } else if (report.symbol_type != FENX_SYMBOL_FUNCTION) {
        append(out, "%.8s__UNK__%s = 0x%08x\n", report.library_name, name, report.address);
    } else {
        const std::string params = parameter_text(report, out);
        append(out, "%.8s__FUN__%s__%s(%s) = 0x%08x\n", report.library_name,
               Fenx_CallConventionName(report.call_convention), name, params.c_str(),
               report.address);
    }
    return out;
}

void set_symbol_line_options(const SymbolLineOptions &options) {
    line_options = options;
}

void print_symbol(const char *library_name, std::uint32_t, std::uint32_t symbol_index,
                  const char *symbol_name, std::uint32_t address, std::uint32_t,
                  std::uint32_t symbol_type, std::uint32_t call_convention,
                  std::uint32_t param_count, const OOVPAParam *params) {
    const SymbolReport report{library_name, symbol_index,    symbol_name, address,
                              symbol_type,  call_convention, param_count, params};
    const std::string lines = symbol_lines(report, line_options);
    std::fwrite(lines.data(), 1, lines.size(), stdout);
}

void print_message(std::uint32_t, const char *text) {
    std::fprintf(stderr, "Fendrel: %s\n", text);
}
