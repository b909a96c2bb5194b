// What the three tool windows share: a small top-level window that keeps its
// position (and size) and its visibility in its own ini section, and that
// reports every change of its visibility so the View menu's check marks can
// follow it.
#pragma once

#include "app/ToolPlacement.h"

#include <QWidget>

#include <string>

namespace kyd::platform {
class IniFile;
}

namespace kyd::app {

class ToolWindow : public QWidget {
    Q_OBJECT
public:
    // Nothing is read yet; the subclass builds its contents, then calls
    // RestoreFromIni().
    ToolWindow(platform::IniFile& ini, std::string section, bool sizeable, QWidget* parent);

    const std::string& Section() const { return section_; }
    // Writes the position (and size) into the ini object (FormDestroy).
    void SaveGeometry();
    // Writes Visible = the window's visibility (the View menu's part).
    void SaveVisibility();

signals:
    void VisibilityChanged(bool visible);

protected:
    // Position (and size) from the ini with these defaults (the size a
    // design size, scaled for the font), then visibility (default false).
    // Without a saved position the window is placed beside its owner (the
    // main window) and the windows placed before it, within the screen's
    // available area; the default position serves only without a screen.
    void RestoreFromIni(int top, int left, int height = 0, int width = 0);

    // Closed by the operator: Visible = false.
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

    platform::IniFile& ini_;

private:
    // First start: beside the owner; false when there is no screen to fit.
    bool PlaceBesideOwner();

    std::string section_;
    bool sizeable_;
    bool placed_ = false; // positioned by RestoreFromIni
};

// A top-level window's frame in screen coordinates: the window manager's
// decoration once it is framed, else an estimate from the style.
FrameBox FrameOf(const QWidget* w);

// Brings a top-level window whose restored place lies mostly off the
// screens back onto one (keeping its size where that fits): a place saved
// on a bigger or a second monitor would open it where the operator cannot
// reach it.
void KeepOnScreens(QWidget* w);

// Lime text on black, as all three windows show their lines.
void PaintLimeOnBlack(QWidget* w);

} // namespace kyd::app
