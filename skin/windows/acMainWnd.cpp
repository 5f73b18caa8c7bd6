// What every window adapter does when it takes a window over and what it
// answers of the skin's messages, whatever window it is.
#include <string>
#include <utility>

#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/ItemPainting.h"
#include "skin/windows/acDialogChildren.h"
#include "skin/windows/acDials.h"
#include "ui/Controls.h"
#include "ui/Forms.h"

namespace skin {

TacWndGeometry WndRectInParent(HWND wnd)
{
    TacWndGeometry g;
    if (!wnd || !IsWindow(wnd))
        return g;
    GetWindowRect(wnd, &g.WndRect);
    g.Parent = GetParent(wnd);
    if (g.Parent)
        GetWindowRect(g.Parent, &g.ParentRect);
    g.Size = {g.WndRect.right - g.WndRect.left, g.WndRect.bottom - g.WndRect.top};
    g.PosInParent = {g.WndRect.left, g.WndRect.top};
    if (g.Parent)
        ScreenToClient(g.Parent, &g.PosInParent);
    return g;
}

void TacMainWnd::UpdateGeometry() { Geometry = WndRectInParent(wnd_); }

void TacMainWnd::TakeOver()
{
    // The system's visual style would paint over the skin's picture; the
    // dialog's own frame is ours anyway.
    if (TSetWindowTheme setTheme = SetWindowThemeProc(); setTheme && section_ != "DIALOG")
        setTheme(wnd_, L" ", L" ");
    SaveColors();
    if (std::string text = tw::GetWindowTextUtf8(wnd_); !text.empty())
        Caption = std::move(text);
    UpdateGeometry();
    // The control is marked as skinned by an adapter: the skin link's owner
    // (the form of a provider, a frame) or the class library's control of
    // the window, which are one control whenever the link has an owner.
    // Whoever would put an adapter on it sees that it has one.
    if (tw::TWinControl* control = tw::TWinControl::FromHandle(wnd_))
        control->SetControlState(control->ControlState() | tw::csSkinAdapted);
}

void TacMainWnd::ReleaseMark()
{
    // Only while the window is there: the control is found through it (an
    // ended window took the mark with it).
    if (!IsWindow(wnd_) || (Of(wnd_) && Of(wnd_) != this))
        return;
    if (tw::TWinControl* control = tw::TWinControl::FromHandle(wnd_))
        control->SetControlState(control->ControlState() & ~tw::csSkinAdapted);
}

void TacMainWnd::PaintBackgroundPicture(HDC dc)
{
    if (manager_ && manager_->SkinIndexValid(manager_->GetSkinIndex(section_)))
        PaintSectionPicture(manager_, wnd_, section_, 0, dc);
    else
        PaintDialogBackground(manager_, wnd_, dc);
}

void TacMainWnd::SaveColors()
{
    // Only a control of the class library has colours of its own; the
    // system's windows ask their parent each time they paint.
    tw::TWinControl* c = tw::TWinControl::FromHandle(wnd_);
    if (!c || dynamic_cast<tw::TCustomForm*>(c))
        return;
    savedColor_ = int32_t(c->Color());
    savedFontColor_ = int32_t(c->Font().Color());
    colorsSaved_ = true;
}

void TacMainWnd::RestoreColors()
{
    if (!colorsSaved_)
        return;
    colorsSaved_ = false;
    tw::TWinControl* c = tw::TWinControl::FromHandle(wnd_);
    if (!c)
        return;
    if (c->Color() != tw::TColor(savedColor_))
        c->SetColor(tw::TColor(savedColor_));
    if (c->Font().Color() != tw::TColor(savedFontColor_))
        c->Font().SetColor(tw::TColor(savedFontColor_));
}

bool TacMainWnd::AnswerSkinCommand(uint16_t command, WPARAM wp, LPARAM lp, LRESULT& result)
{
    result = 0;
    switch (command) {
    case AC_PREPARECHILD:
    case AC_FADESTART:
        // Painting (or a cross-fade) follows: from where the window is now.
        UpdateGeometry();
        return true;
    case AC_QUERYCAPTIONHEIGHT:
        return true;
    case AC_QUERYBGINFO: {
        // An adapter without a section of its own (the scroll bars of a
        // skinned control) leaves the question to the window's own skin.
        if (section_.empty())
            return false;
        if (!lp)
            return true;
        auto& info = *reinterpret_cast<TacBGInfo*>(lp);
        info.OffsetX = info.OffsetY = 0;
        RECT cr{};
        GetClientRect(wnd_, &cr);
        if (!manager_ || !manager_->Active() || cr.right <= 0 || cr.bottom <= 0) {
            info.BgType = btFill;
            info.Color = manager_ && manager_->Active() ? manager_->GetGlobalColor() : TColor(GetSysColor(COLOR_BTNFACE));
            if (info.PleaseDraw && info.DrawDC)
                FillDC(HDC(info.DrawDC), info.R, info.Color);
            return true;
        }
        // The picture, not only its colour: a child on a panel with a frame,
        // a gradient or a texture shows what lies under it.
        if (!bgPicture_ || bgPicture_->Width() != cr.right || bgPicture_->Height() != cr.bottom)
            bgPicture_ = std::make_unique<tw::TBitmap>(cr.right, cr.bottom, tw::pf24bit);
        PaintBackgroundPicture(bgPicture_->Canvas().Handle());
        info.BgType = btCache;
        info.Bmp = bgPicture_->PixelView();
        if (info.PleaseDraw && info.DrawDC) {
            const TRect& r = info.R;
            BitBlt(HDC(info.DrawDC), r.Left, r.Top, r.Width(), r.Height(), bgPicture_->Canvas().Handle(), r.Left,
                   r.Top, SRCCOPY);
        }
        return true;
    }
    case AC_SCROLLPAINT:
        // The window's own handling (a skinned form's provider) hears it too.
        ++ScrollPaints;
        result = CallSaved(SM_ALPHACMD, wp, lp);
        return true;
    case AC_BEFORESCROLL:
        // Unless the window's own handling says otherwise, the scroll
        // message goes to the window as it is.
        result = CallSaved(SM_ALPHACMD, wp, lp);
        if (result == 0)
            result = 1;
        return true;
    case AC_AFTERSCROLL: {
        // The window's own handling may free the adapter: its window is
        // taken before.
        const HWND wnd = wnd_;
        result = CallSaved(SM_ALPHACMD, wp, lp);
        // What scrolled in is painted with the skin's bars.
        if (IsWindowVisible(wnd))
            RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
        return true;
    }
    default:
        return false;
    }
}

} // namespace skin
