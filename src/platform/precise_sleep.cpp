#include "platform/precise_sleep.h"

#include <sys/prctl.h>

namespace kyd::platform {

bool usePreciseSleepsOnThisThread()
{
    return ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
}

} // namespace kyd::platform
