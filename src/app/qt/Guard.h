// Wraps a window's handler so that no exception leaves the Qt event handler:
// connect(button, &QPushButton::clicked, this, Guard("where", [this] { ... })).
#pragma once

#include "platform/exception_sink.h"

namespace kyd::app {

// The signal's arguments, if any, are ignored.
template <class F>
auto Guard(const char* where, F f)
{
    return [where, f](auto&&...) { platform::guarded(where, f); };
}

} // namespace kyd::app
