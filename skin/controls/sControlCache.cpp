#include "skin/controls/sControlCache.h"

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/link/BorderPaintingWin.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/AlphaPrimitives.h"

namespace skin {

bool AnswerControlCommand(tw::TMessage& m, TsCommonData& data, TsFadeTimer*& fade, bool& skinChanged)
{
    skinChanged = false;
    if (m.Msg != SM_ALPHACMD) return false;
    switch (SkinCommandOf(m.WParam)) {
    case AC_REFRESHSTATE:
    case AC_SETACTIVESTATE:   // the common handler has taken the new state
    case AC_RESETCACHE:
        data.BGChangedFlag = true;
        data.InvalidateOwner();
        m.Result = 0;
        return true;
    case AC_STOPANIMATION:
        // The fade is over: the cache in the new state stands alone.
        StopFadeEffect(fade);
        data.InvalidateOwner();
        m.Result = 0;
        return true;
    case AC_FADESTART:
    case AC_FADEFRAME:
        // Windowed controls leave the frames to the fade timer.
        m.Result = 0;
        return true;
    case AC_SKINLOADED:
    case AC_SKINREFRESH:
    case AC_SKINREMOVED:
        StopFadeEffect(fade);
        data.BGChangedFlag = true;
        if (data.OwnerControl()) data.OwnerControl()->Invalidate();
        skinChanged = true;
        return false;
    default:
        return false;
    }
}

bool UpdateControlCache(TsCommonData& data, int state, int& paintedState)
{
    tw::TControl* c = data.OwnerControl();
    tw::TBitmap* cache = data.CacheBmp();
    if (!c || !cache || !data.Skinned() || c->Width() <= 0 || c->Height() <= 0) return false;
    if (!data.BGChangedFlag && paintedState == state && cache->Width() == c->Width() && cache->Height() == c->Height())
        return false;
    if (cache->Width() != c->Width() || cache->Height() != c->Height()) cache->SetSize(c->Width(), c->Height());
    const TRect r(0, 0, c->Width(), c->Height());
    PaintItemOnParentBG(data, c->Parent(), true, state, r, TPoint{c->Left(), c->Top()}, *cache, true);
    data.BGChangedFlag = false;
    paintedState = state;
    return true;
}

namespace {

// Sets the window's region unless it already has that outline; a region
// that cuts nothing is no region at all. Takes rgn.
void SetButtonRegion(HWND wnd, HRGN rgn, int w, int h)
{
    TGdiObject whole(CreateRectRgn(0, 0, w, h));
    TGdiObject current(CreateRectRgn(0, 0, 0, 0));
    const bool hasRegion = GetWindowRgn(wnd, static_cast<HRGN>(current.Get())) != ERROR;
    const bool cutsNothing = EqualRgn(rgn, static_cast<HRGN>(whole.Get()));
    if (cutsNothing || (hasRegion && EqualRgn(rgn, static_cast<HRGN>(current.Get())))) {
        if (cutsNothing && hasRegion) SetWindowRgn(wnd, nullptr, FALSE);
        DeleteObject(rgn);
        return;
    }
    // The window owns the region from here on.
    if (SetWindowRgn(wnd, rgn, FALSE) == 0) DeleteObject(rgn);
}

} // namespace

bool UpdateButtonCache(TsCommonData& data, int state, int& paintedState)
{
    TsSkinManager* sm = data.SkinManager();
    auto* win = dynamic_cast<tw::TWinControl*>(data.OwnerControl());
    tw::TBitmap* cache = data.CacheBmp();
    if (!sm || !win || !cache || !data.Skinned() || !sm->MaskIndexValid(data.BorderIndex)) {
        const bool painted = UpdateControlCache(data, state, paintedState);
        // A skin without a mask for buttons leaves no outline behind.
        if (painted && win && win->HandleAllocated()) {
            TGdiObject current(CreateRectRgn(0, 0, 0, 0));
            if (GetWindowRgn(win->Handle(), static_cast<HRGN>(current.Get())) != ERROR)
                SetWindowRgn(win->Handle(), nullptr, FALSE);
        }
        return painted;
    }
    const int w = win->Width(), h = win->Height();
    if (w <= 0 || h <= 0) return false;
    if (!data.BGChangedFlag && paintedState == state && cache->Width() == w && cache->Height() == h) return false;
    if (cache->Width() != w || cache->Height() != h) cache->SetSize(w, h);
    const TsMaskData& mask = sm->ma[size_t(data.BorderIndex)];
    const TCacheInfo parent = data.GetParentCacheInfo();
    PaintControlBG(data, parent, state, TRect(0, 0, w, h), TPoint{0, 0}, *cache);
    // The corners are laid over what lies under the button, so that their
    // transparent parts show it.
    const TPixelView v = cache->PixelView();
    GdiFlush();
    const int l = std::min<int>(mask.WL, w), t = std::min<int>(mask.WT, h);
    const int r = std::min<int>(mask.WR, w), b = std::min<int>(mask.WB, h);
    const TRect corners[4] = {{0, 0, l, t}, {0, h - b, l, h}, {w - r, 0, w, t}, {w - r, h - b, w, h}};
    for (const TRect& c : corners) {
        if (c.Width() <= 0 || c.Height() <= 0) continue;
        if (parent.Ready && !parent.Bmp.Empty())
            CopyRectPixels(v, c, parent.Bmp, {parent.X + c.Left, parent.Y + c.Top});
        else if (parent.FillColor != clKeyColor)
            FillRectPixels(v, c, parent.FillColor);
    }
    HRGN rgn = CreateRectRgn(0, 0, w, h);
    DrawButtonMask(*cache, rgn, true, mask, state);
    if (win->HandleAllocated())
        SetButtonRegion(win->Handle(), rgn, w, h);
    else
        DeleteObject(rgn);
    data.BGChangedFlag = false;
    paintedState = state;
    return true;
}

void ClearButtonRegion(TsCommonData& data)
{
    auto* win = dynamic_cast<tw::TWinControl*>(data.OwnerControl());
    if (win && win->HandleAllocated()) SetWindowRgn(win->Handle(), nullptr, TRUE);
}

void NoteCacheLook(TsCommonData& data, const std::string& look, std::string& paintedLook)
{
    if (look == paintedLook) return;
    paintedLook = look;
    data.BGChangedFlag = true;
}

void PaintDisabledCache(TsCommonData& data, unsigned disabledKind)
{
    tw::TControl* c = data.OwnerControl();
    tw::TBitmap* cache = data.CacheBmp();
    if (!c || c->Enabled() || !cache || cache->Empty() || !data.Skinned() || disabledKind == 0) return;
    // The parent's cache info already holds where the control lies in it.
    PaintDisabledState(cache->PixelView(), disabledKind, GetControlColor(c->Parent()), data.GetParentCacheInfo(),
                       TPoint{0, 0});
}

void DrawControlCache(TsCommonData& data, HDC dc, int x, int y)
{
    tw::TBitmap* cache = data.CacheBmp();
    if (!cache || cache->Empty()) return;
    BitBlt(dc, x, y, cache->Width(), cache->Height(), cache->Canvas().Handle(), 0, 0, SRCCOPY);
}

bool ParentSkinFontColor(tw::TControl* control, TColor& color)
{
    TsSkinManager* manager = DefaultManager;
    if (!control || !manager || !manager->Active() || !manager->SkinLoaded()) return false;
    // Without a parent section that gives its own font: the section of the
    // parent itself. A parent without a skin (a form still in its system
    // frame) keeps the label's own colour: the skin's text colours are made
    // for the skin's backgrounds.
    if (!control->Parent()) return false;
    const int fallback = int(SendSkinCommandToControl(control->Parent(), AC_QUERYSKININDEX)) - 1;
    if (!manager->SkinIndexValid(fallback)) return false;
    const int index = GetFontIndex(control, fallback, manager);
    if (!manager->SkinIndexValid(index)) return false;
    color = manager->gd[size_t(index)].FontColor[0];
    return true;
}

} // namespace skin
