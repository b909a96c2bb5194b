// Keeps the second click of a double-click from landing on what lay under a
// box or dialog that the first click closed.
//
// An operator who double-clicks a box's OK or Close button closes the box
// with the first click; the second one then falls on whatever window lies
// under the pointer (the main window's command buttons, the dialog that
// opened the box) and would start a command nobody asked for. So after a
// modal box or dialog closed on a mouse click, a press anywhere else within
// the double-click interval of that click (as the window system stamps the
// events) is dropped, with its double-click and its release. A later press
// works as always; so do the keys.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace kyd::app {

class StrayClickGuard final : public QObject {
public:
    // Watches every window of the application while it lives.
    explicit StrayClickGuard(QObject* parent = nullptr);
    ~StrayClickGuard() override;

    // How many presses it has dropped (for the log of a test).
    int Dropped() const { return dropped_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The last mouse press or release: when (event time) and in which
    // window.
    quint64 lastClickAt_ = 0;
    QPointer<QWidget> lastClickWindow_;
    // The box the last click closed (only compared, never used), and when.
    bool boxClosed_ = false;
    quint64 closedAt_ = 0;
    const QWidget* closedBox_ = nullptr;
    // Buttons whose press was dropped: their release goes too.
    Qt::MouseButtons dropping_;
    int dropped_ = 0;
};

} // namespace kyd::app
