#include "widgets/qt/dud_sysinfo_probes.h"

#include "widgets/dud_sysinfo.h"

#include <QGuiApplication>
#include <QScreen>

namespace kyd::widgets {

void DUDSIInstallQtProbes()
{
    TDUDSIScreenProbes probes;
    probes.ColorDepth = [] {
        const QScreen* s = QGuiApplication::primaryScreen();
        return s ? s->depth() : 24;
    };
    DUDSISetScreenProbes(std::move(probes));
}

} // namespace kyd::widgets
