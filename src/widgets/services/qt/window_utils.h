// Window helpers over the pure placement rules of painting/utils.h: centring,
// positioning in a target area, centring a child over its parent, waiting
// while events are handled, and a copy of part of the screen.
#pragma once

#include "widgets/painting/utils.h"

#include <QImage>
#include <QWidget>
#include <QWindow>

namespace kyd::widgets {

enum class TDUDDlgPosRel { brScreen, brScreenWorkArea, brMainForm, brActiveWindow };

// The screen, its work area, the main window's or the active window's
// frame; the screen when that window doesn't exist.
TRect DUDDlgGetTargetRect(TDUDDlgPosRel rel);
// Moves w (its frame) without resizing it.
void DUDCenterWindow(QWidget* w, bool upperThird);
void DUDCenterForm(QWidget* w);
void DUDPositionWindow(QWidget* w, const TRect& target, TDUDDlgPosition position);
// Centres child over parent, inside the screen; with showModal runs it as a
// dialog and returns its result (else 0).
int DUDCenterChild(QWidget* parent, QWidget* child, bool showModal);
// The same for windows that have no widget (a QWindow): centred over the
// parent window, inside the screen; with `show` it is shown application
// modal (the call does not wait for it).
void DUDCenterChildWindow(QWindow* window, QWindow* parent, bool show);
// True when parent is control itself or one of its parents.
bool DUDIsChild(const QWidget* control, const QWidget* parent);
// Handles events for ms milliseconds, or until the application quits.
void DUDWait(int ms);
// That part of the screen (null where the platform gives none).
QImage DUDBmpFromDesktop(const TRect& r);

} // namespace kyd::widgets
