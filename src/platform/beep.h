// Message beeps. The kinds are the desktop's sounds for the message types;
// where the desktop has only its bell, every kind rings it.
#pragma once

#include <functional>

namespace kyd::platform {

enum class BeepKind { Default, Asterisk, Exclamation, Hand };

// Sounds the beep through the installed beeper; nothing sounds without one.
void messageBeep(BeepKind kind);
// The program installs the desktop's (platform/qt/qt_beep.h), tests a
// recorder; an empty function uninstalls.
void setBeeper(std::function<void(BeepKind)> beeper);

} // namespace kyd::platform
