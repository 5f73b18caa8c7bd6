#include "skin/controls/sControlCache.h"

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
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
