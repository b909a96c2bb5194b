// The main window's busy indicator as a state machine, apart from the
// widgets it switches.
//
// States: 0 idle, 1 busy, 2 start of a batch, 3 end of a batch. Busy from a 1
// or a 2 until a 0 or a 3: while a batch is open every state but 3 is
// ignored; a 3 always acts as 0. A 1 or a 2 restarts the elapsed time.
#pragma once

#include <cstdint>
#include <string>

namespace kyd::app {

class BusyIndicator {
public:
    enum class Change { Ignored, Busy, Idle };

    // Takes a state at the process clock's time nowMs.
    Change Set(int state, std::int64_t nowMs);

    int State() const { return state_; }
    bool Busy() const { return state_ != 0; }
    std::int64_t StartMs() const { return startMs_; }
    // Elapsed time since the start as "h:mm:ss" (whole hours, any number).
    std::string Elapsed(std::int64_t nowMs) const;

private:
    int state_ = 0;
    std::int64_t startMs_ = 0;
};

// ms as "h:mm:ss"; negative values count as 0.
std::string FormatElapsed(std::int64_t ms);

} // namespace kyd::app
