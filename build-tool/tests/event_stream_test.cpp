#include "records/event_stream.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ormolt {
namespace {

// The last words of a stopped run: once "done" is out the run has succeeded, and a stop after it
// must neither add an error nor turn the outcome into a failure. Each case runs in a process of
// its own, since the last words close the stream for good.
TEST(EventStreamDeathTest, AStopAfterDoneSaysNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char *name;
        const char *earlier_event; // written before the stop
        int status;                // 1: the stop's error was written
        const char *written;
    };
    const Case cases[] = {
        {"stopped during the work", "progress", 1, "error"},
        {"stopped after done", "done", 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                replace_event_sink([](const Event &event) {
                    if (event.value("event", "") != "progress" && event.value("event", "") != "done")
                        (void)std::fputs(event.value("event", "").c_str(), stderr);
                });
                emit_event(Event{{"event", c.earlier_event}});
                const bool written = emit_last_event_unless_done(Event{{"event", "error"}});
                emit_event(Event{{"event", "late"}}); // dropped: the stream is closed
                std::_Exit(written ? 1 : 0);
            },
            ::testing::ExitedWithCode(c.status), std::string("^") + c.written + "$");
    }
}

} // namespace
} // namespace ormolt
