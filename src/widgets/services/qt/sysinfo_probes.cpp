#include "widgets/services/qt/sysinfo_probes.h"

#include "platform/qt/lock_keys.h"
#include "widgets/services/sysinfo.h"
#include "widgets/painting/qt/image_list.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QStyle>
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
    probes.IconSize = [](bool large) {
        const QStyle* style = QApplication::style();
        return style ? style->pixelMetric(large ? QStyle::PM_LargeIconSize : QStyle::PM_SmallIconSize) : 0;
    };
    DUDSISetScreenProbes(std::move(probes));
}

const TDUDImageListItem& DUDSISystemIconList(bool large)
{
    static TDUDImageListItem lists[2];
    static bool made[2] = {false, false};
    const int k = large ? 1 : 0;
    if (!made[k]) {
        made[k] = true;
        const int size = large ? DUDSIIconWidth() : DUDSISmallIconWidth();
        TDUDImageListItem& list = lists[k];
        list.SetWidth(size);
        list.SetHeight(size);
        list.SetMasked(true);
        QStyle* style = QApplication::style();
        for (int sp = QStyle::SP_TitleBarMenuButton; sp <= QStyle::SP_TabCloseButton; ++sp) {
            QImage image(size, size, QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            if (style) {
                QPainter p(&image);
                style->standardIcon(static_cast<QStyle::StandardPixmap>(sp)).paint(&p, 0, 0, size, size);
            }
            // The icon on the window colour, and a mask (white where the icon
            // is transparent) to draw it on anything else.
            QImage flat(size, size, QImage::Format_RGB32);
            flat.fill(QApplication::palette().color(QPalette::Window));
            QPainter(&flat).drawImage(0, 0, image);
            QImage mask(size, size, QImage::Format_RGB32);
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    mask.setPixel(x, y, qAlpha(image.pixel(x, y)) < 128 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
            list.Add(flat, mask);
        }
    }
    return lists[k];
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
