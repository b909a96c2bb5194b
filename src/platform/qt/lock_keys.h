// The state of the keyboard's lock keys as the display server keeps it.
#pragma once

#include <optional>

namespace kyd::platform {

enum class LockKey { CapsLock, NumLock, ScrollLock };

// Whether the key's lock is on, read from the X server's keyboard
// indicators; nothing where there is no X server to ask (no display, or a
// build without X11).
std::optional<bool> lockKeyState(LockKey key);

} // namespace kyd::platform
