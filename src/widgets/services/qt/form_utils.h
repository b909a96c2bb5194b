// Helpers around forms and small bitmaps: modal forms, the system-menu
// checks of a form and of the application, icons and canvas areas as
// bitmaps, the font height, and the opening ("explode") animation of a form.
#pragma once

#include "widgets/painting/utils.h"
#include "widgets/framework/graphics.h"
#include "widgets/services/qt/system_menu.h"

#include <QIcon>
#include <QImage>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace kyd::widgets {

struct TFont;
class TQtCanvas;

// Creates the form with the owner as parent, runs it modally, frees it and
// returns its result (0 when no form was made).
int DUDShowModal(const std::function<QWidget*(QWidget* owner)>& formClass, QWidget* owner);

// The system-menu check for a form, or for the application's main window
// (the first visible top-level window; nothing without one).
void DUDCheckFormSysMenu(QWidget* form, TDUDSysMenuEntries entries);
void DUDCheckApplicationSysMenu(TDUDSysMenuEntries entries);

// The icon painted on a bitmap of its size filled with the background
// colour (the icon's largest size; a null bitmap for a null icon).
void DUDIcon2Bitmap(QImage& bitmap, const QIcon& icon, TColor background);
// The destination gets the source's size (its pixels are not kept).
void DUDCopyBmpSize(QImage& destination, const QImage& source);
// DUDBmpCreateMasks on the canvas area r (clipped to the canvas).
void DUDBmpCreateMasksExt(const TQtCanvas& canvas, const TRect& r, QImage& mask, QImage& image, TColor transparent);
// The height of "W" in the font on the screen.
int DUDGetFontHeight(const TFont& font);
// DUDDrawTextCalcExt on a screen canvas with the font.
TRect DUDDrawTextCalc(const std::string& text, TDUD3DCaption* caption, const TRect& r, const TFont& font,
                      bool wordWrap, bool accelChar);
// The text measured in the area less one pixel at the right, placed in the
// area by the alignment.
TRect DUDAlignTextRect(TDUDAlignment alignment, const std::string& text, TDUD3DCaption* caption, const TRect& area,
                       const TFont& font, bool wordWrap, bool accelChar);
// Whether the font the system gives for `font` has TrueType outlines (a
// bitmap font or one of PostScript outlines has not).
bool DUDIsTrueTypeFont(const TFont& font);
// The same for the canvas's current font.
bool DUDIsTrueTypeFontCheck(const TCanvas& canvas);

// Asks a running earlier instance to come forward (only when the
// application object saw one; see TDUDApplication::ActivatePrevInstance);
// false when there is none or it doesn't listen.
bool DUDActivatePrevInstance();
// The first instance's answer to such a request (a handler for
// TDUDApplication::OnActivateRequest): the main window is restored when
// minimised, else raised and activated.
void DUDBringMainWindowForward();

// The rectangles of an explode animation: `steps` rectangles growing from
// the point to `target`, the last one `target` itself (none for steps < 1).
std::vector<TRect> DUDExplodeRects(TPoint from, const TRect& target, int steps);

// A focus rectangle that grows in steps from a point to a window's frame,
// drawn in a transparent overlay that lets the mouse through. Each step
// waits delay / 10 ms on the event loop. Reverse runs the steps backwards
// (the form closing towards the point).
class TDUDExplodeAnimation {
public:
    TDUDExplodeAnimation(QWidget* form, TPoint from, int steps, int delay, bool reverse = false);
    ~TDUDExplodeAnimation();
    TDUDExplodeAnimation(const TDUDExplodeAnimation&) = delete;
    TDUDExplodeAnimation& operator=(const TDUDExplodeAnimation&) = delete;

    const std::vector<TRect>& Rects() const { return rects_; }
    int StepInterval() const { return interval_; }
    // The step being shown (-1 before the first, Rects().size() when done).
    int Current() const { return current_; }
    // The overlay (null when finished).
    QWidget* Overlay() const { return overlay_; }
    // Shows the next rectangle; false (and the overlay gone) after the last.
    bool Step();
    // Runs every step on the event loop and returns when done.
    void Run();

private:
    std::vector<TRect> rects_;
    int interval_;
    int current_ = -1;
    QPointer<QWidget> overlay_;
};

// Defaults: from the mouse position (when x or y is negative), the
// application object's step count and a delay of 40. The "2" forms close.
void DUDExplodeForm(QWidget* form);
void DUDExplodeFormExt(QWidget* form, TPoint from, int steps, int delay);
void DUDExplodeForm2(QWidget* form);
void DUDExplodeFormExt2(QWidget* form, TPoint from, int steps, int delay);

} // namespace kyd::widgets
