#include "skin/controls/sStatusBar.h"

#include <commctrl.h>

#include "skin/controls/sControlCache.h"
#include "skin/engine/link/SkinText.h"

namespace skin {

TsStatusBar::TsStatusBar(tw::TComponent* owner) : TsSkinnedControl(owner, COC_TsStatusBar) {}

void TsStatusBar::PaintSkinned(HDC dc)
{
    UpdateControlCache(SkinData, 0, paintedState_);
    tw::TBitmap* cache = SkinData.CacheBmp();
    if (!cache || cache->Empty()) return;
    // The texts change often; they go over a copy so the cache stays the background.
    tw::TBitmap frame(cache->Width(), cache->Height());
    BitBlt(frame.Canvas().Handle(), 0, 0, frame.Width(), frame.Height(), cache->Canvas().Handle(), 0, 0, SRCCOPY);
    tw::TCanvas& c = frame.Canvas();
    c.Font().Assign(Font());
    const UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    const int border = SkinData.BorderMaxWidth();
    // A text too long for its panel ends in dots, the same for every
    // contour pass.
    auto write = [&](const std::string& text, const TRect& r, UINT align) {
        const std::string shown = CutText(c, text, r.Width());
        WriteControlText(&c, shown.c_str(), Enabled(), r, flags | align, &SkinData, false);
    };
    if (SimplePanel() || PanelCount() == 0) {
        write(SimpleText(), TRect(border + 4, 0, Width() - border - 4, Height()), DT_LEFT);
    } else {
        int x = 0;
        for (int i = 0; i < PanelCount(); ++i) {
            const tw::TStatusPanel& p = Panels(i);
            const int right = i == PanelCount() - 1 ? Width() : x + p.Width;
            const UINT align = p.Alignment == tw::taCenter ? DT_CENTER : p.Alignment == tw::taRightJustify ? DT_RIGHT : DT_LEFT;
            write(p.Text, TRect(x + 4, 0, right - 4, Height()), align);
            x = right;
        }
    }
    BitBlt(dc, 0, 0, frame.Width(), frame.Height(), c.Handle(), 0, 0, SRCCOPY);
}

bool TsStatusBar::SkinnedMessage(tw::TMessage& m)
{
    if (!SkinData.Skinned()) return false;
    switch (m.Msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
        if (m.WParam) {
            PaintSkinned(reinterpret_cast<HDC>(m.WParam));
        } else {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(Handle(), &ps);
            PaintSkinned(dc);
            EndPaint(Handle(), &ps);
        }
        m.Result = 0;
        return true;
    case SB_SETTEXTW:
    case SB_SIMPLE:
    case SB_SETPARTS:
    case WM_SETTEXT:
        // The native bar drew its new text at once; ours comes from the next paint.
        tw::TStatusBar::WndProc(m);
        Invalidate();
        return true;
    default:
        return false;
    }
}

} // namespace skin
