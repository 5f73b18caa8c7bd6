#include "skin/controls/sStatusBar.h"

#include <commctrl.h>

#include "skin/controls/sControlCache.h"
#include "skin/engine/SkinText.h"

namespace skin {

TsStatusBar::TsStatusBar(tw::TComponent* owner) : tw::TStatusBar(owner), SkinData(this, true)
{
    SkinData.COC = COC_TsStatusBar;
    SkinData.SetDefaultSection();
}

TsStatusBar::~TsStatusBar() { StopFadeEffect(fade_); }

void TsStatusBar::Loaded()
{
    tw::TStatusBar::Loaded();
    SkinData.Loaded();
}

void TsStatusBar::CreateWindowHandle(const tw::TCreateParams& p)
{
    tw::TStatusBar::CreateWindowHandle(p);
    SkinData.Loaded();
}

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
    const UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    const int border = SkinData.BorderMaxWidth();
    if (SimplePanel() || PanelCount() == 0) {
        DrawControlText(&c, SimpleText().c_str(), Enabled(), TRect(border + 4, 0, Width() - border - 4, Height()),
                        flags | DT_LEFT, &SkinData, false);
    } else {
        int x = 0;
        for (int i = 0; i < PanelCount(); ++i) {
            const tw::TStatusPanel& p = Panels(i);
            const int right = i == PanelCount() - 1 ? Width() : x + p.Width;
            const UINT align = p.Alignment == tw::taCenter ? DT_CENTER : p.Alignment == tw::taRightJustify ? DT_RIGHT : DT_LEFT;
            DrawControlText(&c, p.Text.c_str(), Enabled(), TRect(x + 4, 0, right - 4, Height()), flags | align,
                            &SkinData, false);
            x = right;
        }
    }
    BitBlt(dc, 0, 0, frame.Width(), frame.Height(), c.Handle(), 0, 0, SRCCOPY);
}

void TsStatusBar::WndProc(tw::TMessage& m)
{
    if (CommonWndProc(m, &SkinData)) return;
    if (AnswerControlCommand(m, SkinData, fade_)) return;
    if (SkinData.Skinned()) {
        switch (m.Msg) {
        case WM_ERASEBKGND:
            m.Result = 1;
            return;
        case WM_PAINT:
        case WM_PRINTCLIENT: {
            if (m.WParam) {
                PaintSkinned(reinterpret_cast<HDC>(m.WParam));
            } else {
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(Handle(), &ps);
                PaintSkinned(dc);
                EndPaint(Handle(), &ps);
            }
            m.Result = 0;
            return;
        }
        default:
            break;
        }
    }
    tw::TStatusBar::WndProc(m);
    // The native bar drew its new text at once; ours comes from the next paint.
    if (SkinData.Skinned() && (m.Msg == SB_SETTEXTW || m.Msg == SB_SIMPLE || m.Msg == SB_SETPARTS || m.Msg == WM_SETTEXT))
        Invalidate();
}

} // namespace skin
