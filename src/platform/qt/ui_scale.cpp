#include "platform/qt/ui_scale.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace kyd::platform {

namespace {
constexpr double kDesignTextHeight = 13.0;
constexpr double kDesignCharWidth = 6.0;
constexpr const char* kSample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
} // namespace

UiScale UiScale::ForFont(const QFont& font)
{
    const QFontMetricsF fm(font);
    const double avg = fm.horizontalAdvance(QString::fromLatin1(kSample)) / 52.0;
    UiScale s;
    s.x = std::max(1.0, avg / kDesignCharWidth);
    s.y = std::max(1.0, fm.height() / kDesignTextHeight);
    return s;
}

UiScale UiScale::For(const QWidget* w)
{
    return ForFont(w ? w->font() : QApplication::font());
}

int UiScale::TextWidth(const QFont& font, const QString& text)
{
    return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text)));
}

int UiScale::TitleWidth(const QWidget* window, const QString& title)
{
    constexpr int kTitleBarExtras = 110; // icon, minimise, maximise and close buttons, margins
    QFont font = window ? window->font() : QApplication::font();
    font.setBold(true);
    return TextWidth(font, title) + For(window).X(kTitleBarExtras);
}

int UiScale::ButtonWidth(const QWidget* button, const QString& caption)
{
    constexpr int kButtonAir = 24; // frame and margins on both sides of the caption
    return TextWidth(button ? button->font() : QApplication::font(), caption) + For(button).X(kButtonAir);
}

void UiScale::FitText(const QFont& font, const QString& text, int designPx, int padding)
{
    if (designPx <= 0)
        return;
    const int needed = TextWidth(font, text) + padding;
    while (X(designPx) < needed)
        x = std::max(x + 1e-3, static_cast<double>(needed) / designPx);
}

int UiScale::X(int designPx) const { return static_cast<int>(std::lround(designPx * x)); }
int UiScale::Y(int designPx) const { return static_cast<int>(std::lround(designPx * y)); }

} // namespace kyd::platform
