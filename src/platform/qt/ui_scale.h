// The windows' pixel sizes were laid out for an 8-point sans-serif font at
// 96 DPI (text height 13 px, average character width 6 px). These helpers
// turn such a design size into one for the font in use, so that captions,
// headers and messages fit whatever font and resolution the desktop has.
// Every window scales its design sizes through here and nowhere else.
#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace kyd::platform {

struct UiScale {
    double x = 1.0; // horizontal factor (average character width)
    double y = 1.0; // vertical factor (text height)

    // Factors for a font; never below 1, so nothing shrinks below its
    // design size.
    static UiScale ForFont(const QFont& font);
    // Factors for the widget's font, or the application font when null.
    static UiScale For(const QWidget* w = nullptr);

    // Widens the horizontal factor, when needed, so that text drawn in font
    // plus padding fits into what the design width becomes: the window then
    // keeps its proportions and none of its captions is cut off. The
    // average character width does not promise that for every text.
    void FitText(const QFont& font, const QString& text, int designPx, int padding = 0);
    // The whole pixels text takes in font.
    static int TextWidth(const QFont& font, const QString& text);
    // The width a window needs for its title bar to show title in full: the
    // text in the window's font, bold as title bars often draw it, and room
    // for the window's icon and buttons.
    static int TitleWidth(const QWidget* window, const QString& title);
    // The width a push button needs to show caption with air on both sides.
    static int ButtonWidth(const QWidget* button, const QString& caption);

    int X(int designPx) const;
    int Y(int designPx) const;
    QPoint Point(QPoint design) const { return {X(design.x()), Y(design.y())}; }
    QSize Size(QSize design) const { return {X(design.width()), Y(design.height())}; }
    QRect Rect(QRect design) const { return {Point(design.topLeft()), Size(design.size())}; }
};

} // namespace kyd::platform
