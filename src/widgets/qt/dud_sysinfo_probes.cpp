#include "widgets/qt/dud_sysinfo_probes.h"

#include "platform/qt/lock_keys.h"
#include "widgets/dud_sysinfo.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace kyd::widgets {

void DUDSIInstallQtProbes()
{
    TDUDSIScreenProbes probes;
    probes.ColorDepth = [] {
        const QScreen* s = QGuiApplication::primaryScreen();
        return s ? s->depth() : 24;
    };
    probes.KeyLocked = [](int vk) -> std::optional<bool> {
        using K = kyd::platform::LockKey;
        switch (vk) {
        case 144: return kyd::platform::lockKeyState(K::NumLock);
        case 20: return kyd::platform::lockKeyState(K::CapsLock);
        case 145: return kyd::platform::lockKeyState(K::ScrollLock);
        default: return std::nullopt;
        }
    };
    DUDSISetScreenProbes(std::move(probes));
}


TDUDNCWindow DUDNCWindowFromWidget(const QWidget& window)
{
    TDUDNCWindow w;
    const Qt::WindowFlags f = window.windowFlags();
    if (f & Qt::WindowSystemMenuHint)
        w.Style |= WS_SYSMENU;
    if (f & Qt::WindowMinimizeButtonHint)
        w.Style |= WS_MINIMIZEBOX;
    if (f & Qt::WindowMaximizeButtonHint)
        w.Style |= WS_MAXIMIZEBOX;
    const bool fixed = (f & Qt::MSWindowsFixedSizeDialogHint) || window.minimumSize() == window.maximumSize();
    w.Style |= fixed ? WS_DLGFRAME : WS_THICKFRAME;
    if (window.isMinimized())
        w.Style |= WS_MINIMIZE;
    if ((f & Qt::WindowType_Mask) == Qt::Tool)
        w.ExStyle |= WS_EX_TOOLWINDOW;
    if (f & Qt::WindowContextHelpButtonHint)
        w.ExStyle |= WS_EX_CONTEXTHELP;
    const QRect frame = window.frameGeometry();
    w.Width = frame.width();
    w.Height = frame.height();
    return w;
}

} // namespace kyd::widgets
