#include "skin/controls/sButton.h"

#include "base/WinText.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/GraphicsUtils.h"

namespace skin {

bool ButtonFadeWanted(TsCommonData& data, TacAnimatEvent event, TacAnimatEvents events)
{
    TsSkinManager* sm = data.SkinManager();
    if (!data.Skinned() || !sm || sm->Loading() || !data.CacheBmp() || data.BGChangedFlag) return false;
    if (!sm->gd[size_t(data.SkinIndex)].FadingEnabled) return false;
    return AnimEventAllowed(event, events, sm);
}

void DrawOwnerButtonFace(const DRAWITEMSTRUCT& di, TsCommonData& data, TacAnimatEvents events, TsFadeTimer*& fade,
                         int paintedState, bool& pressedState, const std::function<void()>& paintFace)
{
    const bool pressed = (di.itemState & ODS_SELECTED) != 0;
    bool fading = false;
    if (pressed != pressedState && paintedState >= 0 && ButtonFadeWanted(data, pressed ? aeMouseDown : aeMouseUp, events)) {
        // The face on screen fades into the new one; the timer draws the frames.
        pressedState = pressed;
        StartFadeEffect(fade, &data, false, pressed ? 1 : 2, true);
        fading = fade && fade->Enabled();
    }
    pressedState = pressed;
    paintFace();
    if (!fading) DrawControlCache(data, di.hDC, 0, 0);
    if ((di.itemState & ODS_FOCUS) != 0 && (di.itemState & ODS_NOFOCUSRECT) == 0) {
        // Black dots with a white shadow show on any face the skin gives.
        tw::TCanvas canvas;
        canvas.SetHandle(di.hDC);
        const RECT& r = di.rcItem;
        PaintFocusDots(canvas, TRect(r.left + 3, r.top + 3, r.right - 4, r.bottom - 4));
        canvas.SetHandle(nullptr);
    }
}

void DrawPlainButton(const DRAWITEMSTRUCT& di, const std::string& caption, bool isDefault)
{
    HDC dc = di.hDC;
    RECT r = di.rcItem;
    const bool pressed = (di.itemState & ODS_SELECTED) != 0;
    const bool disabled = (di.itemState & ODS_DISABLED) != 0;
    if (isDefault) {
        FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        InflateRect(&r, -1, -1);
    }
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0u) | (disabled ? DFCS_INACTIVE : 0u));
    RECT text = r;
    if (pressed) OffsetRect(&text, 1, 1);
    const std::wstring w = tw::Utf8ToWide(caption);
    const int mode = SetBkMode(dc, TRANSPARENT);
    const COLORREF color = SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    DrawTextW(dc, w.c_str(), int(w.size()), &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SetTextColor(dc, color);
    SetBkMode(dc, mode);
    if ((di.itemState & ODS_FOCUS) != 0 && (di.itemState & ODS_NOFOCUSRECT) == 0) {
        RECT focus = di.rcItem;
        InflateRect(&focus, -4, -4);
        DrawFocusRect(dc, &focus);
    }
}

TsButton::TsButton(tw::TComponent* owner) : TsSkinnedControl(owner, COC_TsButton) {}

void TsButton::CreateParams(tw::TCreateParams& p)
{
    TsSkinnedControl::CreateParams(p);
    // We draw the face, skinned or not; Default stays the class library's
    // (the form's Enter key), not the system's style.
    p.Style = (p.Style & ~static_cast<DWORD>(BS_TYPEMASK)) | BS_OWNERDRAW;
}

int TsButton::CurrentState() const
{
    if (pressed_) return 2;
    return MouseInControl() ? 1 : 0;
}

void TsButton::WndProc(tw::TMessage& m)
{
    // SetDefault asks the system for a (default) push button style, which
    // would end our drawing.
    if (m.Msg == BM_SETSTYLE) m.WParam = (m.WParam & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW;
    if (m.Msg == tw::CN_DRAWITEM && !SkinData.Skinned()) {
        const auto& di = *reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
        pressed_ = (di.itemState & ODS_SELECTED) != 0;
        DrawPlainButton(di, Caption(), Default());
        m.Result = 1;
        return;
    }
    TsSkinnedControl::WndProc(m);
}

void TsButton::PaintFace()
{
    const int state = CurrentState();
    NoteCacheLook(SkinData, Caption() + '\n' + std::to_string(Enabled()) + ',' + std::to_string(Font().Color()),
                  paintedLook_);
    if (!UpdateButtonCache(SkinData, state, paintedState_)) return;
    tw::TCanvas& c = SkinData.CacheBmp()->Canvas();
    c.Font().Assign(Font());
    TRect text(0, 0, Width(), Height());
    if (state == 2) text.Offset(1, 1);
    const std::string caption = Caption();
    if (!caption.empty())
        DrawControlText(&c, caption.c_str(), Enabled(), text, DT_SINGLELINE | DT_CENTER | DT_VCENTER, &SkinData, state > 0);
    PaintDisabledCache(SkinData, DisabledKind());
}

void TsButton::DrawFace(const DRAWITEMSTRUCT& di)
{
    DrawOwnerButtonFace(di, SkinData, AnimatEvents, fade_, paintedState_, pressed_, [this] { PaintFace(); });
}

bool TsButton::SkinnedMessage(tw::TMessage& m)
{
    switch (m.Msg) {
    case SM_ALPHACMD:
        if (SkinCommandOf(m.WParam) != AC_FADESTART) return false;
        PaintFace();   // the new state, for the fade to blend towards
        m.Result = 0;
        return true;
    case tw::CN_DRAWITEM:
        DrawFace(*reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam));
        m.Result = 1;
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        // No halo while the button is held down.
        tw::TButton::WndProc(m);
        SkinData.UpdateControlGlow(false);
        return true;
    case tw::CM_MOUSEENTER:
    case tw::CM_MOUSELEAVE: {
        // The system button repaints for its pushed state only; hot comes from us.
        tw::TButton::WndProc(m);
        const bool entering = m.Msg == tw::CM_MOUSEENTER;
        StartFadeEffect(fade_, &SkinData, false, entering ? 1 : 2,
                        AnimEventAllowed(entering ? aeMouseEnter : aeMouseLeave, AnimatEvents,
                                         SkinData.SkinManager()));
        return true;
    }
    default:
        return false;
    }
}

} // namespace skin
