#include "records/terminal_view.h"

#include "platform/platform.h"
#include "records/message.h"
#include "records/unicode_width.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace ormolt {

namespace {

constexpr std::string_view erase_to_end = "\x1b[K";
constexpr std::size_t bar_cells = 10;
constexpr std::string_view red = "\x1b[31m", green = "\x1b[32m", plain = "\x1b[0m";

std::string text_member(const Event &event, const char *key) {
    const auto found = event.find(key);
    if (found == event.end() || !found->is_string())
        return {};
    return found->get<std::string>();
}

bool has_text(const Event &event, const char *key) {
    const auto found = event.find(key);
    return found != event.end() && found->is_string();
}

// Text from events and child programs made safe for a terminal: invalid UTF-8 and control
// characters (which could move the cursor or recolour the screen) become U+FFFD. Line ends and
// tabs stay where a text may span lines.
std::string terminal_safe(std::string_view text, bool keep_lines) {
    return control_characters_replaced(utf8_replacing_invalid(text), keep_lines);
}

// The text cut to at most this many terminal cells, at a character boundary; an East Asian wide
// character takes two.
std::string fit_cells(std::string_view text, std::size_t cells) {
    return std::string(text.substr(0, bytes_fitting_cells(text, cells)));
}

std::string percent_text(double overall) {
    const auto percent = static_cast<unsigned>(std::floor(overall * 100.0 + 1e-9));
    std::string digits = std::to_string(std::min(percent, 100u));
    return "[" + std::string(3 - std::min<std::size_t>(digits.size(), 3), ' ') + digits + "%]";
}

std::string bar_text(double overall) {
    const auto filled =
        std::min(bar_cells, static_cast<std::size_t>(std::floor(overall * bar_cells + 1e-9)));
    std::string bar;
    for (std::size_t i = 0; i < bar_cells; ++i)
        bar += i < filled ? "\u2588" : "\u2591";
    return bar;
}

// A short label in a column, then its value: the form of the start and status lines.
std::string labelled(std::string_view label, std::string_view value) {
    std::string line = "  ";
    line += label;
    line.append(label.size() < 9 ? 9 - label.size() : 1, ' ');
    line += terminal_safe(value, false);
    line += '\n';
    return line;
}

} // namespace

std::string TerminalView::show(const Event &event, std::size_t width) {
    const std::string kind = text_member(event, "event");
    if (kind == "progress")
        return show_progress(event, width);
    if (kind == "start")
        return show_start(event);
    if (kind == "done")
        return show_done(event);
    if (kind == "error")
        return show_error(event);
    if (kind == "status")
        return show_status(event);
    return {}; // "log": child output stays in the build log
}

std::string TerminalView::finish() {
    if (status_line_.empty())
        return {};
    status_line_.clear();
    return "\n";
}

std::string TerminalView::clear_status() {
    if (status_line_.empty())
        return {};
    status_line_.clear();
    return "\r" + std::string(erase_to_end);
}

std::string TerminalView::coloured(std::string_view text, std::string_view colour) const {
    if (!style_.colour)
        return std::string(text);
    return std::string(colour) + std::string(text) + std::string(plain);
}

std::string TerminalView::end_stage(bool failed) {
    if (stage_.empty() || !style_.control_sequences)
        return {};
    std::string line = coloured(failed ? "\u2717" : "\u2713", failed ? red : green);
    line += ' ';
    line += terminal_safe(stage_label_, false);
    line += '\n';
    return line;
}

std::string TerminalView::show_start(const Event &event) {
    std::string out = clear_status();
    out += style_.relink ? "Relinking " : "Building ";
    out += terminal_safe(text_member(event, "title"), false);
    out += '\n';
    out += labelled("source", text_member(event, "source"));
    out += labelled("folder", text_member(event, "user_dir"));
    out += labelled("log", text_member(event, "log"));
    return out;
}

std::string TerminalView::show_progress(const Event &event, std::size_t width) {
    const auto overall = event.find("overall");
    if (overall != event.end() && overall->is_number()) {
        const double value = overall->get<double>();
        if (std::isfinite(value))
            overall_ = std::clamp(value, 0.0, 1.0);
    }
    std::string out;
    const std::string stage = text_member(event, "stage");
    if (stage != stage_) {
        out += clear_status();
        out += end_stage(false);
        stage_ = stage;
        stage_label_ = text_member(event, "label");
        if (!style_.control_sequences)
            out += percent_text(overall_) + " " + terminal_safe(stage_label_, false) + "\n";
    }
    if (!style_.control_sequences)
        return out;

    std::string line = percent_text(overall_) + " " + bar_text(overall_) + " " +
                       terminal_safe(stage_label_, false);
    const std::string detail = text_member(event, "detail");
    if (!detail.empty())
        line += "  " + terminal_safe(detail, false);
    // One cell short of the width: a line that fills the last column wraps on some terminals,
    // and a wrapped line can no longer be rewritten in place.
    line =
        fit_cells(line, std::max<std::size_t>(width == 0 ? style_.fallback_width : width, 2) - 1);
    if (line != status_line_) {
        out += "\r" + line + std::string(erase_to_end);
        status_line_ = line;
    }
    return out;
}

std::string TerminalView::show_done(const Event &event) {
    std::string out = clear_status();
    out += end_stage(false);
    stage_.clear();
    const std::string exe = terminal_safe(text_member(event, "exe"), false);
    if (style_.relink)
        out += "Relinked " + exe + " to the game files in " +
               terminal_safe(text_member(event, "game_dir"), false) + "\n";
    else
        out += "Installed " + exe + "\n";
    return out;
}

std::string TerminalView::show_error(const Event &event) {
    std::string out = clear_status();
    out += end_stage(true);
    stage_.clear();
    out += style_.control_sequences ? coloured("Error:", red) + " " : "Error: ";
    out += terminal_safe(text_member(event, "message"), true);
    out += '\n';
    return out;
}

std::string TerminalView::show_status(const Event &event) {
    std::string out = clear_status();
    out += labelled("state", text_member(event, "state"));
    out += labelled("folder", text_member(event, "user_dir"));
    if (has_text(event, "source"))
        out += labelled("source", text_member(event, "source"));
    if (has_text(event, "built_version"))
        out += labelled("built", "with release " + text_member(event, "built_version"));
    if (has_text(event, "exe"))
        out += labelled("program", text_member(event, "exe"));
    return out;
}

std::size_t fallback_width(const char *columns) {
    constexpr std::size_t assumed = 80;
    if (columns == nullptr)
        return assumed;
    const std::string_view text(columns);
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0)
        return assumed;
    return value;
}

bool terminal_view_wanted() {
    const char *output = std::getenv("ORMOLT_OUTPUT");
    if (output != nullptr && std::string_view(output) == "json")
        return false;
    return platform::standard_output_is_terminal();
}

struct TerminalOutput::State {
    platform::Terminal terminal;
    TerminalView view;
    EventSink previous;

    explicit State(bool relink) : view(style(terminal, relink)) {}

    static ViewStyle style(const platform::Terminal &terminal, bool relink) {
        const char *term = std::getenv("TERM");
        const bool dumb = term != nullptr && std::string_view(term) == "dumb";
        const char *no_colour = std::getenv("NO_COLOR");
        return {.control_sequences = terminal.control_sequences() && !dumb,
                .relink = relink,
                .colour = no_colour == nullptr || *no_colour == '\0',
                .fallback_width = fallback_width(std::getenv("COLUMNS"))};
    }
};

TerminalOutput::TerminalOutput(std::string_view command) {
    if (!terminal_view_wanted())
        return;
    state_ = std::make_unique<State>(command == "relink");
    State *state = state_.get();
    state_->previous = replace_event_sink([state](const Event &event) {
        try {
            state->terminal.write(state->view.show(event, state->terminal.width()));
        } catch (...) {
            // Showing an event never ends the run, as a failed write to the stream never does.
        }
    });
}

void TerminalOutput::restore_terminal() {
    if (state_)
        state_->terminal.restore();
}

TerminalOutput::~TerminalOutput() {
    if (!state_)
        return;
    (void)replace_event_sink(std::move(state_->previous));
    try {
        state_->terminal.write(state_->view.finish());
    } catch (...) {
    }
}

} // namespace ormolt
