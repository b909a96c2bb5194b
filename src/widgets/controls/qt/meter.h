// The meter and progress bar: a value between MinValue and MaxValue shown
// as a bar growing in one of four directions, with an optional caption. The
// value setters draw the bar at once (through an off-screen bitmap copied in
// one piece), since a caller busy with a long job pumps messages rarely.
#pragma once

#include "widgets/painting/caption3d.h"
#include "widgets/controls/meter_values.h"
#include "widgets/controls/qt/control.h"

#include <QString>

namespace kyd::widgets {

class TDUDBaseMeter : public TDUDGraphicControl {
public:
    explicit TDUDBaseMeter(QWidget* parent = nullptr);
    ~TDUDBaseMeter() override;

    TDUD3DCaption& Font3D() { return font3D_; }
    void Set3DCaption(const TDUD3DCaption& c) { font3D_.Assign(c); }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a);
    TDUDMeterDirection Direction() const { return direction_; }
    void SetDirection(TDUDMeterDirection d);
    TDUDMeterTextOptions OptionsText() const { return optionsText_; }
    void SetTextOptions(TDUDMeterTextOptions o);
    bool UseFontColor() const { return useFontColor_; }
    void SetUseFontColor(bool v);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& text);

    std::int32_t MaxValue() const { return values_.MaxValue(); }
    std::int32_t MinValue() const { return values_.MinValue(); }
    std::int32_t UserValue() const { return values_.UserValue(); }
    int Position() const { return values_.Position(); }
    int Step() const { return step_; }
    int Delta() const { return delta_; }
    void SetMaxValue(std::int32_t v);
    void SetMinValue(std::int32_t v);
    void SetPercentValue(int p);
    void SetPosition(int p) { SetPercentValue(p); }
    void SetUserValue(std::int32_t v);
    void SetStep(std::uint8_t v) { step_ = v; }
    void SetDelta(std::uint8_t v) { delta_ = v; }
    void Add(int n);
    void Sub(int n);
    void StepAdd() { Add(step_); }
    void StepSub() { Sub(step_); }

    // Draws the bar at once onto the screen.
    void Draw();
    // The area inside the bevel at the last paint.
    TRect InnerRect() const { return inner_; }
    int LastDrawn() const { return lastDrawn_; }

protected:
    // Corrects the size to the settings; true when it changed.
    virtual bool CorrectBounds() { return false; }
    // Paints the bar into the bitmap of the inner area: `bar` is the part
    // the value fills, `rest` the remainder of `full`; p is the drawn percent.
    virtual void DrawBar(TCanvas& canvas, const TRect& bar, const TRect& full, const TRect& rest, int p);
    virtual int GetDrawValue() const { return Position(); }
    // The caption over the bar: in the control's colour inside `bar`, in
    // `color` (clNone: the font colour) inside `rest`.
    void DrawCaption(TCanvas& canvas, const TRect& bar, const TRect& rest, TColor color, int p);
    void Paint(TCanvas& canvas) override;
    void GetChange(void* sender) override;
    // A new size may need correcting to the settings.
    void BoundsChange(TDUDBoundsChangeStates changed) override;
    // A paint message after a change too small to draw paints the bar.
    bool SurfaceStale() const override
    {
        return GetDrawValue() != lastDrawn_ || TDUDGraphicControl::SurfaceStale();
    }
    bool Correcting() const { return correcting_; }
    void SetCorrecting(bool v) { correcting_ = v; }
    void SetDeltaValue(int d) { delta_ = d; }

private:
    bool WantsDraw(bool force) const;
    bool DrawOn(TCanvas& canvas, bool force); // true when it drew

    TDUD3DCaption font3D_;
    TAlignment alignment_ = TAlignment::taCenter;
    TDUDMeterDirection direction_ = TDUDMeterDirection::mdHorizontal;
    TDUDMeterValues values_;
    int lastDrawn_ = 0;
    int step_ = 10;
    TRect inner_;
    TDUDMeterTextOptions optionsText_ = TDUDMeterTextOptions::toNoText;
    bool useFontColor_ = false;
    int delta_ = 1;
    bool correcting_ = false;
    bool drawing_ = false;
    QString caption_;
    std::unique_ptr<TDUDBitmap> bitmap_;
};

class TDUDCustomProgress : public TDUDBaseMeter {
public:
    explicit TDUDCustomProgress(QWidget* parent = nullptr);
    ~TDUDCustomProgress() override;

    // Owner drawing of the bar (pgOwnerDraw).
    std::function<void(TDUDCustomProgress*, TCanvas&, const TRect& bar, const TRect& full, const TRect& rest)> OnPaint;
    // The colour of small bar `index` (pgSmallBarColor); gets the default.
    std::function<TColor(TDUDCustomProgress*, int index, TColor color)> OnGetColor;

    TColor BarColor() const { return barColor_; }
    void SetBarColor(TColor c);
    TDUDBorderStyle Bar3D() const { return bar3D_; }
    void SetBar3D(TDUDBorderStyle s);
    TDUDSmallBar& SmallBar() { return smallBar_; }
    void SetSmBarOptions(const TDUDSmallBar& s) { smallBar_.Assign(s); }
    TDUDProgressStyle Style() const { return style_; }
    void SetStyle(TDUDProgressStyle s);

protected:
    bool CorrectBounds() override;
    void DrawBar(TCanvas& canvas, const TRect& bar, const TRect& full, const TRect& rest, int p) override;
    void GetChange(void* sender) override;

private:
    TColor barColor_ = clNavy;
    TDUDBorderStyle bar3D_ = TDUDBorderStyle::lsNone;
    TDUDSmallBar smallBar_;
    TDUDProgressStyle style_ = TDUDProgressStyle::pgSmallBar;
};

class TDUDProgress : public TDUDCustomProgress {
public:
    using TDUDCustomProgress::TDUDCustomProgress;
};

} // namespace kyd::widgets
