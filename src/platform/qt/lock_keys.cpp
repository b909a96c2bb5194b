#include "platform/qt/lock_keys.h"

#ifdef KYD_HAVE_X11
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#endif

namespace kyd::platform {

std::optional<bool> lockKeyState(LockKey key)
{
#ifdef KYD_HAVE_X11
    // A connection of its own for the one question: the answer does not
    // depend on which display connection the GUI uses.
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return std::nullopt;
    const char* name = key == LockKey::CapsLock ? "Caps Lock" : key == LockKey::NumLock ? "Num Lock" : "Scroll Lock";
    std::optional<bool> result;
    int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(display, &opcode, &event, &error, &major, &minor)) {
        const Atom atom = XInternAtom(display, name, False);
        Bool on = False;
        if (atom != None && XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr))
            result = on != False;
        else
            result = false; // the keyboard has no such indicator: the lock is off
    }
    XCloseDisplay(display);
    return result;
#else
    (void)key;
    return std::nullopt;
#endif
}

} // namespace kyd::platform
