#pragma once
// The actions of the StopHandling alive now, shared by the two platforms' stop handling; none
// once it has gone. Held while a stop is carried out, so that the run cannot return past them.
#include "platform/platform.h"

#include <mutex>
#include <optional>

namespace ormolt::platform {

struct StopState {
    std::mutex lock;
    std::optional<StopActions> actions;
};

inline StopState &stop_state() {
    static StopState state;
    return state;
}

} // namespace ormolt::platform
