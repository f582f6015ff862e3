#pragma once
// The event stream as a person at a terminal sees it: one status line rewritten in place (share
// of the whole build, a bar, the stage and its detail), a line per finished stage, and the end
// of the run. Child output ("log" events) stays in the build log. Pipes and files keep the
// event lines; this is only another sink for the same events.
#include "records/event_stream.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace ormolt {

struct ViewStyle {
    // Without them (TERM=dumb, a console without virtual-terminal processing) every stage gets
    // one plain line and nothing is rewritten.
    bool control_sequences = true;
    // The "done" event ends a relink, which installs nothing.
    bool relink = false;
    // Colour escapes around the stage marks and "Error:"; NO_COLOR turns them off.
    bool colour = true;
    // Columns assumed when the terminal reports none: COLUMNS, else 80.
    std::size_t fallback_width = 80;
};

// The width assumed for a terminal that reports 0 columns, from the COLUMNS variable (nullptr
// when unset): its value when it is a positive decimal number, else 80.
std::size_t fallback_width(const char *columns);

// Turns events into terminal text. Holds what is on the screen: the stage under way and the
// status line standing at the bottom.
class TerminalView {
  public:
    explicit TerminalView(ViewStyle style) : style_(style) {}

    // The text to write for this event on a terminal this many columns wide (0: unknown).
    std::string show(const Event &event, std::size_t width);
    // The text that leaves the terminal tidy when the run stops: a standing status line ends.
    std::string finish();

  private:
    std::string show_start(const Event &event);
    std::string show_progress(const Event &event, std::size_t width);
    std::string show_done(const Event &event);
    std::string show_error(const Event &event);
    std::string show_status(const Event &event);
    // Takes the status line off the screen so that a lasting line can take its place.
    std::string clear_status();
    std::string end_stage(bool failed);
    std::string coloured(std::string_view text, std::string_view colour) const;

    ViewStyle style_;
    std::string stage_;       // name of the stage under way; empty before the first
    std::string stage_label_; // its label
    double overall_ = 0.0;    // the last finite share of the whole build
    std::string status_line_; // the status line on the screen; empty when none stands
};

// Whether events are shown through the view: standard output is a terminal and ORMOLT_OUTPUT
// does not ask for the event stream ("json").
bool terminal_view_wanted();

// While it lives, events go to standard output's terminal through the view, when
// terminal_view_wanted(); otherwise it changes nothing. The terminal is restored afterwards.
class TerminalOutput {
  public:
    explicit TerminalOutput(std::string_view command);
    ~TerminalOutput();
    TerminalOutput(const TerminalOutput &) = delete;
    TerminalOutput &operator=(const TerminalOutput &) = delete;

    // Gives the terminal its earlier mode back at once, for a process that ends without
    // unwinding (it is being stopped). Events shown afterwards still appear.
    void restore_terminal();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace ormolt
