// The desktop's beep for messageBeep(): the X bell, whatever the kind.
#pragma once

namespace kyd::platform {

void installQtBeep();

} // namespace kyd::platform
