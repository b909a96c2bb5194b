#include "widgets/shapes/qt/form_region.h"

namespace kyd::widgets {

TDUDFormRegion DUDFormReRegion(const TDUDFormRegionInput& in, const TDUDFormMetrics& m)
{
    using B = TFormBorderStyle;
    TDUDFormRegion out;
    const bool sizeable = in.Border == B::bsSizeable || in.Border == B::bsSizeToolWin;
    out.FrameX = sizeable ? m.CxFrame : m.CxDlgFrame;
    out.FrameY = sizeable ? m.CyFrame : m.CyDlgFrame;
    switch (in.Border) {
    case B::bsNone: out.CaptionHeight = 0; break;
    case B::bsSingle:
    case B::bsSizeable:
    case B::bsDialog: out.CaptionHeight = m.CyCaption; break;
    case B::bsToolWindow:
    case B::bsSizeToolWin: out.CaptionHeight = m.CySmCaption; break;
    }
    if (in.Border == B::bsNone && !in.DesignTime)
        out.FrameX = out.FrameY = 0;
    const int fx = out.FrameX, fy = out.FrameY, cap = out.CaptionHeight;

    int w = in.Width, h = in.Height;
    if (!in.Minimized && in.Region.Shape == TDUDRegionShape::rsBitmap && !in.BorderBitmap.isEmpty()) {
        w = in.BorderBitmap.width() + in.ShadowDepthSetting + 2 * fx;
        h = in.BorderBitmap.height() + cap + 2 * fy + in.ShadowDepthSetting;
        out.NewSize = QSize(w, h);
    }
    const QRegion strip(0, 0, w, fy + cap);
    if (in.Minimized) {
        out.Region = strip;
        return out;
    }
    // The outline and the border painted along it take the same rectangle,
    // the client area itself, so that no pixel of the body shows outside
    // the border.
    out.ClientRect = {0, 0, w - 2 * fx, h - 2 * fy - cap};
    QRegion result;
    if (const auto body = DUDCreateShapeRegion(out.ClientRect, in.Region))
        result = DUDWindowRegion(body->translated(fx, fy + cap), in.Region.ShadowDepth);
    if ((in.ShowFormCaption && in.Border != B::bsNone) || in.DesignTime)
        result += strip;
    else
        result -= strip;
    // An empty outline leaves the form unmasked rather than invisible.
    if (!result.isEmpty())
        out.Region = result;
    return out;
}

} // namespace kyd::widgets
