// The dialog adapter's caption buttons: their places and states, their
// pictures in the frame, their fades and halos.
#include "skin/windows/acDials.h"

#include <windowsx.h>
#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/WinText.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/engine/painting/ItemPainting.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acDialogChildren.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSkinProvider.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/Graphics.h"
#include "ui/Menus.h"
#include "skin/windows/acDialsInternal.h"

namespace skin {

using namespace dials_detail;

TRect TacDialogWnd::ButtonRect(int code) const
{
    TRect r;
    switch (code) {
    case htClose: r = buttons_.Close; break;
    case htMaxButton: r = buttons_.Max; break;
    case htMinButton: r = buttons_.Min; break;
    case htHelp: r = buttons_.Help; break;
    default: return TRect();
    }
    // Laid out on the frame; the frame lies inside the border's margins.
    return TRect(r.Left + frameOrg_.X, r.Top + frameOrg_.Y, r.Right + frameOrg_.X, r.Bottom + frameOrg_.Y);
}

int TacDialogWnd::ButtonState(int code) const { return hot_ != code ? 0 : pressed_ ? 2 : 1; }

TacButtonFx* TacDialogWnd::Fx(int code)
{
    const int slot = SystemButtonSlot(code);
    return slot < 0 ? nullptr : &fx_[slot];
}

const TacButtonFx* TacDialogWnd::ButtonFx(int code) const { return const_cast<TacDialogWnd*>(this)->Fx(code); }

TRect TacDialogWnd::DrawTitleButton(int code, int forced)
{
    if (!cache_ || !titleBg_)
        return TRect();
    const TCaptionLayoutInput& li = layout_;
    const TRect b = ButtonRect(code);
    const char* large = "BICONCLOSE";
    bool enabled = true;
    switch (code) {
    case htClose:
        enabled = CloseEnabled();
        break;
    case htMaxButton:
        large = li.Zoomed ? "BICONNORM" : "BICONMAX";
        enabled = li.Zoomed ? li.Menu.EnabledRestore : li.Menu.EnabledMax;
        break;
    case htMinButton:
        // A minimized dialog shows restore where minimize was.
        large = li.Iconic ? "BICONNORM" : "BICONMIN";
        enabled = li.Iconic ? li.Menu.EnabledRestore : li.Menu.EnabledMin;
        break;
    case htHelp:
        large = "BICONHELP";
        break;
    default:
        break;
    }
    if (b.Right <= b.Left || b.Bottom <= b.Top)
        return TRect();
    // The title strip behind it first, so a state drawn before leaves nothing.
    CopyPixels(cache_->PixelView(), titleBg_->PixelView(), b);
    int state = forced >= 0 ? forced : ButtonState(code);
    if (!enabled)
        state = 0;
    if (forced < 0)
        state = PaintedButtonState(Fx(code), state);
    // The restore picture is looked up as it is drawn; the others are the
    // ones LoadTitleButtonMasks found.
    int i = -1;
    if (std::strcmp(large, "BICONNORM") == 0)
        i = NormMask();
    else
        for (const TTitleButtonMask& m : titleMasks_)
            if (m.HitCode == code)
                i = m.Mask;
    if (manager_->MaskIndexValid(i)) {
        const TPixelView view = cache_->PixelView();
        // An inactive dialog's buttons and disabled ones look so in every state.
        const int row = active_ && enabled ? 1 : 2;
        DrawMaskGlyph(view, TPoint(b.Left, b.Top), state, row, manager_->ma[size_t(i)], MakeCacheInfo(view, 0, 0));
        // The border window shows what the glyph drew.
        OpaqueWhereChanged(view, titleBg_->PixelView(), b);
    }
    return b;
}

void TacDialogWnd::PutButton(const TRect& r)
{
    const HWND wnd = Handle();
    if (r.Right <= r.Left || r.Bottom <= r.Top || !cache_ || !IsWindowVisible(wnd))
        return;
    if (ExtendedActive()) {
        // The title lies on the border window (last: it may free the adapter).
        UpdateBorderWindow();
        return;
    }
    HDC dc = GetWindowDC(wnd);
    if (!dc)
        return;
    const int saved = SaveDC(dc);
    BitBlt(dc, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, cache_->Canvas().Handle(), r.Left, r.Top, SRCCOPY);
    RestoreDC(dc, saved);
    ReleaseDC(wnd, dc);
}

void TacDialogWnd::RepaintTitleButton(int code)
{
    TacButtonFx* fx = Fx(code);
    if (!fx)
        return;
    const HWND wnd = Handle();
    const int state = ButtonState(code);
    RECT wr;
    GetWindowRect(wnd, &wr);
    if (!cache_ || !titleBg_ || !IsWindowVisible(wnd) || !CacheFits()) {
        // The whole frame is drawn again: a fade would blend old pictures.
        FreeBtnAnimation(fx->Animation);
        fx->State = state;
        if (state == 0)
            HideCaptionGlow(*fx);
        // Last: painting may free the adapter.
        if (IsWindowVisible(wnd))
            PaintNonClient();
        return;
    }
    if (CaptionFadeAllowed(manager_, false, fx->State, state)) {
        fx->State = state;
        const TacSBAnimationOwner owner{tw::Application, this, nullptr, wnd, nullptr};
        // Hot in ten steps, pressed at once, and back without restarting.
        StartBtnAnimation(*fx, code, state, state == 2 ? 1 : 10, owner, state != 0);
        return;
    }
    FreeBtnAnimation(fx->Animation);
    fx->State = state;
    const TRect r = DrawTitleButton(code);
    if (state != 0)
        ButtonGlow(code, true);
    PutButton(r);
}

bool TacDialogWnd::ButtonPicture(int code, int state, tw::TBitmap& out)
{
    const TRect r = ButtonRect(code);
    if (!cache_ || r.Right <= r.Left || r.Bottom <= r.Top || r.Right > cache_->Width() || r.Bottom > cache_->Height())
        return false;
    const int w = r.Right - r.Left, h = r.Bottom - r.Top;
    // Drawn into the frame picture and taken out again; the picture keeps
    // what the title shows.
    TPixelImage keep(r.Right, r.Bottom, cache_->PixelView().BitsPerPixel);
    CopyPixels(keep.View(), cache_->PixelView(), r);
    DrawTitleButton(code, state);
    out.SetPixelFormat(tw::pf24bit);
    out.SetSize(w, h);
    BitBlt(out.Canvas().Handle(), 0, 0, w, h, cache_->Canvas().Handle(), r.Left, r.Top, SRCCOPY);
    CopyPixels(cache_->PixelView(), keep.View(), r);
    return true;
}

bool TacDialogWnd::ShownButtonPicture(int code, tw::TBitmap& out)
{
    const TRect r = ButtonRect(code);
    if (!cache_ || r.Right <= r.Left || r.Bottom <= r.Top || r.Right > cache_->Width() || r.Bottom > cache_->Height())
        return false;
    out.SetPixelFormat(tw::pf24bit);
    out.SetSize(r.Right - r.Left, r.Bottom - r.Top);
    BitBlt(out.Canvas().Handle(), 0, 0, out.Width(), out.Height(), cache_->Canvas().Handle(), r.Left, r.Top, SRCCOPY);
    return true;
}

void TacDialogWnd::ShowButtonPicture(int code, tw::TBitmap& picture)
{
    TRect r = ButtonRect(code);
    if (!cache_ || r.Right <= r.Left || r.Bottom <= r.Top || r.Right > cache_->Width() || r.Bottom > cache_->Height())
        return;
    r.Right = r.Left + std::min(r.Right - r.Left, picture.Width());
    r.Bottom = r.Top + std::min(r.Bottom - r.Top, picture.Height());
    BitBlt(cache_->Canvas().Handle(), r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, picture.Canvas().Handle(), 0,
           0, SRCCOPY);
    if (titleBg_)
        OpaqueWhereChanged(cache_->PixelView(), titleBg_->PixelView(), r);
    PutButton(r);
}

void TacDialogWnd::ButtonGlow(int code, bool show)
{
    TacButtonFx* fx = Fx(code);
    if (!fx)
        return;
    const HWND wnd = Handle();
    if (!show || !IsWindowVisible(wnd)) {
        HideCaptionGlow(*fx);
        return;
    }
    const TRect r = ButtonRect(code);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int x = wr.left - windowOrg_.X, y = wr.top - windowOrg_.Y;
    const TRect screen(x + r.Left, y + r.Top, x + r.Right, y + r.Bottom);
    ShowCaptionGlow(*fx, manager_, TCaptionGlyph{code, layout_.Large, layout_.Zoomed, layout_.Iconic}, screen,
                    GetAncestor(wnd, GA_ROOT));
}

void TacDialogWnd::ButtonFadeEnded(int code)
{
    if (cache_)
        PutButton(DrawTitleButton(code));
}

void TacDialogWnd::FreeButtonAnimations()
{
    for (TacButtonFx& fx : fx_) {
        FreeBtnAnimation(fx.Animation);
        HideCaptionGlow(fx);
        fx.State = 0;
    }
}

void TacDialogWnd::SetHotButton(int code, bool repaint)
{
    if (code == hot_)
        return;
    const int old = hot_;
    hot_ = code;
    pressed_ = false;
    // Only the buttons that change are drawn again. Repainting may free
    // the adapter (a new region reaches the dialog's procedure).
    if (repaint) {
        const TLife life(*this);
        RepaintTitleButton(old);
        if (life.Alive())
            RepaintTitleButton(code);
    }
}

void TacDialogWnd::SetPressedButton(int code)
{
    // Maximize is pressed only when it can run: maximizing, or restoring
    // a zoomed dialog. Otherwise it is only under the mouse.
    if (code == htMaxButton && !MaximizeEnabled() && !(IsZoomed(Handle()) && RestoreEnabled())) {
        SetHotButton(code);
        return;
    }
    const int old = hot_;
    hot_ = code;
    pressed_ = true;
    const TLife life(*this);
    if (old != hot_)
        RepaintTitleButton(old);
    if (life.Alive())
        RepaintTitleButton(hot_);
}

} // namespace skin
