#include "platform/qt/qt_beep.h"

#include "platform/beep.h"

#include <QApplication>

namespace kyd::platform {

void installQtBeep()
{
    setBeeper([](BeepKind) { QApplication::beep(); });
}

} // namespace kyd::platform
