#include "widgets/services/qt/form_utils.h"

#include "widgets/framework/canvas.h"
#include "widgets/services/application.h"
#include "widgets/painting/qt/bmp_draw.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QEventLoop>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QRawFont>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace kyd::widgets {

namespace {

QWidget* FirstMainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->parentWidget() && w->isWindow() && !w->testAttribute(Qt::WA_TransparentForMouseEvents))
            return w;
    return nullptr;
}

// Paints one dotted focus rectangle on a transparent background.
class ExplodeOverlay final : public QWidget {
public:
    ExplodeOverlay()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("DUDExplodeOverlay"));
    }
    QRect Frame; // in overlay coordinates

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(rect(), Qt::transparent);
        if (Frame.isEmpty())
            return;
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(Frame.adjusted(0, 0, -1, -1));
    }
};

} // namespace

int DUDShowModal(const std::function<QWidget*(QWidget* owner)>& formClass, QWidget* owner)
{
    if (!formClass)
        return 0;
    std::unique_ptr<QWidget> form(formClass(owner));
    if (!form)
        return 0;
    if (auto* dialog = qobject_cast<QDialog*>(form.get()))
        return dialog->exec();
    // A plain widget runs modally until it is closed.
    QEventLoop loop;
    form->setWindowModality(Qt::ApplicationModal);
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    QObject::connect(form.get(), &QObject::destroyed, &loop, &QEventLoop::quit);
    struct CloseWatch final : QObject {
        QEventLoop* loop;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Close || e->type() == QEvent::Hide)
                loop->quit();
            return false;
        }
    } watch;
    watch.loop = &loop;
    form->installEventFilter(&watch);
    form->show();
    if (form->isVisible())
        loop.exec();
    form->removeEventFilter(&watch);
    return 0;
}

void DUDCheckFormSysMenu(QWidget* form, TDUDSysMenuEntries entries)
{
    DUDCheckSystemMenu(entries, form, false);
}

void DUDCheckApplicationSysMenu(TDUDSysMenuEntries entries)
{
    if (QWidget* w = FirstMainWindow())
        DUDCheckSystemMenu(entries, w, false);
}

void DUDIcon2Bitmap(QImage& bitmap, const QIcon& icon, TColor background)
{
    QSize size;
    for (const QSize& s : icon.availableSizes())
        if (s.width() * s.height() > size.width() * size.height())
            size = s;
    if (icon.isNull() || size.isEmpty()) {
        bitmap = QImage();
        return;
    }
    bitmap = QImage(size, QImage::Format_RGB32);
    bitmap.fill(ToQColor(ColorToRGB(background)));
    QPainter p(&bitmap);
    icon.paint(&p, bitmap.rect());
}

void DUDCopyBmpSize(QImage& destination, const QImage& source)
{
    if (source.isNull()) {
        destination = QImage();
        return;
    }
    if (destination.size() == source.size())
        return;
    const QImage::Format format = destination.isNull() ? source.format() : destination.format();
    destination = QImage(source.size(), format);
    destination.fill(Qt::white);
}

void DUDBmpCreateMasksExt(const TQtCanvas& canvas, const TRect& r, QImage& mask, QImage& image, TColor transparent)
{
    const QRect area = ToQRect(r).intersected(canvas.Image().rect());
    if (area.isEmpty()) {
        mask = image = QImage();
        return;
    }
    DUDBmpCreateMasks(canvas.Image().copy(area), mask, image, transparent);
}

int DUDGetFontHeight(const TFont& font)
{
    // The line height a canvas gives the text (ascent and descent), not the
    // ink of the one letter: a control sized by it holds its text.
    QImage screen = MakeCanvasImage(1, 1);
    TQtCanvas canvas(screen);
    canvas.Font = font;
    return canvas.TextHeight("W");
}

TRect DUDDrawTextCalc(const std::string& text, TDUD3DCaption* caption, const TRect& r, const TFont& font,
                      bool wordWrap, bool accelChar)
{
    QImage screen = MakeCanvasImage(1, 1);
    TQtCanvas canvas(screen);
    canvas.Font = font;
    return DUDDrawTextCalcExt(canvas, text, caption, r, wordWrap, accelChar);
}

TRect DUDAlignTextRect(TDUDAlignment alignment, const std::string& text, TDUD3DCaption* caption, const TRect& area,
                       const TFont& font, bool wordWrap, bool accelChar)
{
    TRect measure = area;
    measure.Right -= 1;
    return DUDAlignRect(alignment, DUDDrawTextCalc(text, caption, measure, font, wordWrap, accelChar), area);
}

bool DUDIsTrueTypeFont(const TFont& font)
{
    const QRawFont raw = QRawFont::fromFont(ToQFont(font));
    return raw.isValid() && !raw.fontTable("glyf").isEmpty();
}

bool DUDIsTrueTypeFontCheck(const TCanvas& canvas)
{
    return DUDIsTrueTypeFont(canvas.Font);
}

bool DUDActivatePrevInstance()
{
    TDUDApplication* app = DUDApplication();
    return app && app->ActivatePrevInstance();
}

void DUDBringMainWindowForward()
{
    QWidget* w = FirstMainWindow();
    if (!w)
        return;
    if (w->isMinimized()) {
        w->showNormal();
        return;
    }
    w->raise();
    w->activateWindow();
}

std::vector<TRect> DUDExplodeRects(TPoint from, const TRect& target, int steps)
{
    std::vector<TRect> out;
    if (steps < 1)
        return out;
    out.reserve(static_cast<std::size_t>(steps));
    auto lerp = [steps](int a, int b, int i) { return a + static_cast<int>(static_cast<long long>(b - a) * i / steps); };
    for (int i = 1; i <= steps; ++i)
        out.push_back({lerp(from.X, target.Left, i), lerp(from.Y, target.Top, i), lerp(from.X, target.Right, i),
                       lerp(from.Y, target.Bottom, i)});
    return out;
}

TDUDExplodeAnimation::TDUDExplodeAnimation(QWidget* form, TPoint from, int steps, int delay, bool reverse)
    : interval_(std::max(0, delay) / 10)
{
    if (!form || !QApplication::instance())
        return;
    const TRect target = FromQRect(form->frameGeometry());
    rects_ = DUDExplodeRects(from, target, steps);
    if (reverse)
        std::reverse(rects_.begin(), rects_.end());
    if (rects_.empty())
        return;
    QRect all;
    for (const TRect& r : rects_)
        all = all.united(ToQRect(r).adjusted(0, 0, 1, 1)); // even empty ones count
    auto* overlay = new ExplodeOverlay;
    overlay->setGeometry(all);
    overlay_ = overlay;
}

TDUDExplodeAnimation::~TDUDExplodeAnimation()
{
    delete overlay_.data();
}

bool TDUDExplodeAnimation::Step()
{
    if (current_ >= static_cast<int>(rects_.size()))
        return false;
    ++current_;
    auto* overlay = static_cast<ExplodeOverlay*>(overlay_.data());
    if (current_ >= static_cast<int>(rects_.size()) || !overlay) {
        current_ = static_cast<int>(rects_.size());
        delete overlay_.data();
        return false;
    }
    overlay->Frame = ToQRect(rects_[static_cast<std::size_t>(current_)]).translated(-overlay->pos());
    // Only the frame's ring belongs to the window, so nothing else is
    // covered even where the desktop doesn't do transparency.
    const QRect ring = overlay->Frame.isEmpty() ? QRect(overlay->Frame.topLeft(), QSize(1, 1)) : overlay->Frame;
    overlay->setMask(QRegion(ring).subtracted(QRegion(ring.adjusted(1, 1, -1, -1))));
    if (!overlay->isVisible())
        overlay->show();
    overlay->update();
    return true;
}

void TDUDExplodeAnimation::Run()
{
    if (!Step())
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(interval_);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (!Step())
            loop.quit();
    });
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    timer.start();
    loop.exec();
    timer.stop();
    delete overlay_.data();
}

namespace {

void Explode(QWidget* form, TPoint from, int steps, int delay, bool reverse)
{
    if (from.X < 0 || from.Y < 0) {
        const QPoint m = QCursor::pos();
        from = {m.x(), m.y()};
    }
    TDUDExplodeAnimation(form, from, steps, delay, reverse).Run();
}

int DefaultSteps()
{
    const TDUDApplication* app = DUDApplication();
    return app ? app->ExplodeSteps : 10;
}

} // namespace

void DUDExplodeForm(QWidget* form) { Explode(form, {-1, -1}, DefaultSteps(), 40, false); }
void DUDExplodeFormExt(QWidget* form, TPoint from, int steps, int delay) { Explode(form, from, steps, delay, false); }
void DUDExplodeForm2(QWidget* form) { Explode(form, {-1, -1}, DefaultSteps(), 40, true); }
void DUDExplodeFormExt2(QWidget* form, TPoint from, int steps, int delay) { Explode(form, from, steps, delay, true); }

} // namespace kyd::widgets
