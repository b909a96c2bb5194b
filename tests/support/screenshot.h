// Writes a picture of a window into the build tree's screenshots folder, so
// anyone can look at what a window shows: `ctest -L screenshots`, then open
// build/screenshots/*.png.
#pragma once

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <string>

namespace kyd::test {

inline QString ScreenshotDir()
{
#ifdef KYD_SCREENSHOT_DIR
    return QString::fromUtf8(KYD_SCREENSHOT_DIR);
#else
    return QDir::currentPath() + "/screenshots";
#endif
}

// Lays the window out, grabs it (with its children, as the screen shows it)
// and writes <name>.png; returns the path, or an empty string on failure.
inline QString SaveScreenshot(QWidget* w, const std::string& name)
{
    QDir().mkpath(ScreenshotDir());
    if (!w->isVisible())
        w->show();
    QApplication::processEvents();
    const QString path = ScreenshotDir() + "/" + QString::fromStdString(name) + ".png";
    return w->grab().save(path, "PNG") ? path : QString();
}

} // namespace kyd::test
