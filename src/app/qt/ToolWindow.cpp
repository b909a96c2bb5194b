#include "app/qt/ToolWindow.h"

#include "app/ToolPlacement.h"
#include "platform/ini_file.h"
#include "platform/qt/ui_scale.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <vector>

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
    // A place saved earlier is kept as it is; without one (the first start)
    // the window goes beside the main window, not over its controls.
    // A place saved on a bigger or a second monitor is brought back onto
    // the screens, as the main window's is.
    if (ini_.valueExists(section_, "Left") || ini_.valueExists(section_, "Top") || !PlaceBesideOwner()) {
        move(ini_.readInteger(section_, "Left", left), ini_.readInteger(section_, "Top", top));
        KeepOnScreens(this);
    }
    placed_ = true;
    setVisible(ini_.readBool(section_, "Visible", false));
}

namespace {

// The decoration the window manager adds around a window: the real one once
// the window is framed, else an estimate from the style's title bar height.
QMargins FrameMargins(const QWidget* w)
{
    const QRect frame = w->frameGeometry();
    const QRect client = w->geometry();
    if (w->isVisible() && frame != client)
        return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                frame.bottom() - client.bottom()};
    const int border = platform::UiScale::For(w).X(4);
    const int title = w->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, w);
    return {border, title + 2 * border, border, border};
}

} // namespace

FrameBox FrameOf(const QWidget* w)
{
    const QMargins m = FrameMargins(w);
    // pos() of a window is its frame's corner.
    return {w->pos().x(), w->pos().y(), w->width() + m.left() + m.right(), w->height() + m.top() + m.bottom()};
}

void KeepOnScreens(QWidget* w)
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    auto box = [](const QRect& r) { return FrameBox{r.x(), r.y(), r.width(), r.height()}; };
    std::vector<FrameBox> areas;
    for (const QScreen* s : QGuiApplication::screens())
        areas.push_back(box(s->availableGeometry()));
    const FrameBox frame = FrameOf(w);
    const FrameBox placed = OntoScreens(frame, areas, box(primary->availableGeometry()));
    if (placed.W != frame.W || placed.H != frame.H)
        w->resize(w->width() - (frame.W - placed.W), w->height() - (frame.H - placed.H));
    w->move(placed.X, placed.Y);
}

bool ToolWindow::PlaceBesideOwner()
{
    const QWidget* owner = parentWidget();
    const QScreen* screen = owner ? owner->screen() : nullptr;
    if (!screen)
        return false;
    const QRect a = screen->availableGeometry();
    std::vector<FrameBox> taken;
    for (const ToolWindow* t : owner->findChildren<ToolWindow*>(Qt::FindDirectChildrenOnly))
        if (t != this && t->placed_)
            taken.push_back(FrameOf(t));
    const FrameBox mine = FrameOf(this);
    const FrameBox place = PlaceBesideMain({a.x(), a.y(), a.width(), a.height()}, FrameOf(owner), taken, mine.W,
                                           mine.H, platform::UiScale::For(this).X(8));
    move(place.X, place.Y);
    return true;
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
