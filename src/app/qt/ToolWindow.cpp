#include "app/qt/ToolWindow.h"

#include "platform/ini_file.h"
#include "platform/qt/ui_scale.h"

#include <QCloseEvent>
#include <QPalette>

#include <algorithm>

namespace kyd::app {

ToolWindow::ToolWindow(platform::IniFile& ini, std::string section, bool sizeable, QWidget* parent)
    // A top-level window with a tool window's decoration (a title and a
    // close button), but not a transient one: the main window can be
    // raised above it. Stay-on-top windows change their flags themselves.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ini_(ini), section_(std::move(section)), sizeable_(sizeable)
{
}

void ToolWindow::RestoreFromIni(int top, int left, int height, int width)
{
    // The size is settled before the move: only then does the window come
    // back with its frame where it was saved (pos() is the frame's corner).
    if (sizeable_) {
        const platform::UiScale scale = platform::UiScale::For(this);
        const int h = ini_.readInteger(section_, "Height", scale.Y(height));
        const int w = ini_.readInteger(section_, "Width", scale.X(width));
        resize(std::max(w, minimumWidth()), std::max(h, minimumHeight()));
    } else {
        adjustSize();
    }
    move(ini_.readInteger(section_, "Left", left), ini_.readInteger(section_, "Top", top));
    setVisible(ini_.readBool(section_, "Visible", false));
}

void ToolWindow::SaveGeometry()
{
    const QPoint p = pos();
    ini_.writeInteger(section_, "Top", p.y());
    ini_.writeInteger(section_, "Left", p.x());
    if (sizeable_) {
        ini_.writeInteger(section_, "Height", height());
        ini_.writeInteger(section_, "Width", width());
    }
}

void ToolWindow::SaveVisibility()
{
    ini_.writeBool(section_, "Visible", isVisible());
}

void ToolWindow::closeEvent(QCloseEvent* e)
{
    ini_.writeBool(section_, "Visible", false);
    QWidget::closeEvent(e);
}

void ToolWindow::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (!e->spontaneous())
        emit VisibilityChanged(true);
}

void ToolWindow::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    if (!e->spontaneous())
        emit VisibilityChanged(false);
}

void PaintLimeOnBlack(QWidget* w)
{
    QPalette p = w->palette();
    for (QPalette::ColorRole r : {QPalette::Base, QPalette::Window, QPalette::Button})
        p.setColor(r, Qt::black);
    for (QPalette::ColorRole r : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        p.setColor(r, QColor(0, 255, 0));
    p.setColor(QPalette::Highlight, QColor(0, 96, 0));
    p.setColor(QPalette::HighlightedText, QColor(0, 255, 0));
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

} // namespace kyd::app
