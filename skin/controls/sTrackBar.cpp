#include "skin/controls/sTrackBar.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "skin/controls/sScrollBar.h"
#include "skin/controls/sWindowSkin.h"
#include "skin/engine/painting/ItemPainting.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/data/sSkinManager.h"

namespace skin {

namespace {

// The channel is a thin sunken strip; the ticks are short lines beside it.
constexpr int kChannelThickness = 4;
constexpr int kTickLength = 3;

} // namespace

TsTrackBar::TsTrackBar(tw::TComponent* owner) : TsSkinnedControl(owner, COC_TsTrackBar) {}

TRect TsTrackBar::ThumbRect() const
{
    RECT r{};
    if (HandleAllocated()) SendMessageW(HandleIfAllocated(), TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&r));
    return TRect(r.left, r.top, r.right, r.bottom);
}

TRect TsTrackBar::ChannelRect() const
{
    RECT r{};
    if (HandleAllocated()) SendMessageW(HandleIfAllocated(), TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&r));
    TRect c(r.left, r.top, r.right, r.bottom);
    // A vertical bar reports its channel as if it lay across.
    if (orientation_ == tw::trVertical && c.Width() > c.Height()) c = TRect(c.Top, c.Left, c.Bottom, c.Right);
    return c;
}

int TsTrackBar::ThumbState() const
{
    if (!Enabled()) return 0;
    if (HandleAllocated() && GetCapture() == HandleIfAllocated()) return 2;
    return thumbHot_ ? 1 : 0;
}

void TsTrackBar::SetThumbHot(bool hot)
{
    if (hot == thumbHot_) return;
    thumbHot_ = hot;
    SkinData.BGChangedFlag = true;
    if (HandleAllocated()) InvalidateRect(Handle(), nullptr, FALSE);
}

bool TsTrackBar::SkinnedMessage(tw::TMessage& m)
{
    if (OwnPaintMessage(m)) return true;
    switch (m.Msg) {
    case WM_MOUSEMOVE:
        tw::TTrackBar::WndProc(m);
        SetThumbHot(Enabled() && ThumbRect().Contains(TPoint(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam))));
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
    case WM_ENABLE:
        // Pressed follows the system bar's capture of the thumb.
        tw::TTrackBar::WndProc(m);
        SkinData.BGChangedFlag = true;
        InvalidateRect(Handle(), nullptr, FALSE);
        return true;
    case tw::CM_MOUSELEAVE:
        SetThumbHot(false);
        return false;
    default:
        return false;
    }
}

void TsTrackBar::PaintSkin(HDC dc)
{
    const int w = Width(), h = Height();
    const TRect thumb = ThumbRect();
    const int state = ThumbState();
    NoteCacheLook(SkinData,
                  std::to_string(thumb.Left) + ',' + std::to_string(thumb.Top) + ',' + std::to_string(state) + ',' +
                      std::to_string(Enabled()) + ',' + std::to_string(Position()),
                  paintedLook_);
    PaintThroughCache(SkinData, w, h, dc, [&](tw::TBitmap& cache) {
        TsSkinManager& sm = *SkinData.SkinManager();
        PaintItemOnParentBG(SkinData, Parent(), true, 0, TRect(0, 0, w, h), TPoint{Left(), Top()}, cache, true);
        const bool vertical = orientation_ == tw::trVertical;
        TRect channel = ChannelRect();
        // The channel as a thin strip through the thumb's middle.
        if (vertical) {
            const int mid = (thumb.Left + thumb.Right) / 2;
            channel.Left = mid - kChannelThickness / 2;
            channel.Right = channel.Left + kChannelThickness;
        } else {
            const int mid = (thumb.Top + thumb.Bottom) / 2;
            channel.Top = mid - kChannelThickness / 2;
            channel.Bottom = channel.Top + kChannelThickness;
        }
        const int low = sm.GetSkinIndex("PANEL_LOW");
        if (sm.SkinIndexValid(low) && !channel.IsEmpty())
            PaintItem(&sm, low, "PANEL_LOW", MakeCacheInfo(cache.PixelView()), true, 0, channel, TPoint{0, 0},
                      cache.PixelView());
        if (tickStyle_ != tw::tsNone && HandleAllocated()) {
            const TColor color = sm.gd[size_t(SkinData.SkinIndex)].FontColor[0];
            const int count = int(SendMessageW(Handle(), TBM_GETNUMTICS, 0, 0));
            std::vector<int> at;
            // The two ends, then the ticks between them as the system bar places them.
            at.push_back(vertical ? channel.Top : channel.Left);
            at.push_back((vertical ? channel.Bottom : channel.Right) - 1);
            for (int i = 0; i + 2 < count; ++i) {
                const int pos = int(SendMessageW(Handle(), TBM_GETTICPOS, WPARAM(i), 0));
                if (pos >= 0) at.push_back(pos);
            }
            const int edge = vertical ? thumb.Right + 1 : thumb.Bottom + 1;
            for (int a : at) {
                TRect tick = vertical ? TRect(edge, a, edge + kTickLength, a + 1) : TRect(a, edge, a + 1, edge + kTickLength);
                tick = TRect(std::max(tick.Left, 0), std::max(tick.Top, 0), std::min(tick.Right, w), std::min(tick.Bottom, h));
                if (!tick.IsEmpty()) FillRectPixels(cache.PixelView(), tick, color);
            }
        }
        const TsConstData& cd = sm.ConstData;
        PaintScrollPart(cache, sm, vertical ? cd.ScrollSliderH : cd.ScrollSliderV, state, thumb);
        PaintDisabledCache(SkinData, DisabledKind());
    });
}

} // namespace skin
