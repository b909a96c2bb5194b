// The state machine and its states as widgets that draw themselves.
//
// TSioStateMachine is a framed window holding TSioState children: it fills
// itself with its colour, writes its caption, draws every transition as a
// connectoid line with an arrowhead and its caption (highlighted ones in
// red, with a hint box when the click style asks for it) and lets the user
// select connectoids with the mouse. Each TSioState draws itself as a box
// with its caption and glyph cell, in ActiveColor while it is current. States
// can be dragged when Movable or when the machine has MovableStates.
//
// Sizes are design sizes for the 8-point font at 96 DPI, scaled through
// UiScale when the widgets are created.
#pragma once

#include "serial/SioStMach.h"

#include <QFrame>
#include <QPixmap>
#include <QPoint>
#include <QWidget>

namespace sio {

QColor ToQColor(TColor c);

class TSioStateMachine : public QFrame, public TSioCustomStateMachine {
public:
    // owner: where the port component and the states are found (may be
    // null); the widget is named "SioStateMachine1" unless renamed.
    explicit TSioStateMachine(QWidget* parent = nullptr, TSioBaseComponent* owner = nullptr);
    ~TSioStateMachine() override;

    void SetName(const std::string& name);
    void Invalidate() override { update(); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    void PaintConnectoids(class QPainter& p);
};

class TSioState : public QWidget, public TSioCustomState {
public:
    // Placed in machine (when given) at its default size, 75 x 50.
    explicit TSioState(TSioStateMachine* machine = nullptr, TSioBaseComponent* owner = nullptr);
    ~TSioState() override;

    void SetName(const std::string& name);
    const QPixmap& Glyph() const { return glyph_; }
    void SetGlyph(const QPixmap& glyph);

    void SetMachine(TSioCustomStateMachine* machine) override;
    void SetBounds(int left, int top, int width, int height) override;
    void Invalidate() override { update(); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool CanDrag() const;
    QPixmap glyph_;
    bool dragging_ = false;
    QPoint dragFrom_; // global position of the last drag step
};

} // namespace sio
