// Sleeps of the calling thread that end when asked: the kernel otherwise
// lets a sleep run up to 50 us long to bundle wake-ups, which the
// simulator's line pacing (about 1 ms per character) would show.
#pragma once

namespace kyd::platform {

// For the calling thread only; false when the system refused.
bool usePreciseSleepsOnThisThread();

} // namespace kyd::platform
