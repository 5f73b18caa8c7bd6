#include <algorithm>
#include <exception>
#include <vector>

#include "base/SysUtils.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "ui/Application.h"
#include "ui/ComCtrls.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace skin {

namespace {

tw::TWinControl* AsWin(tw::TControl* c) { return c && c->IsWindowed() ? static_cast<tw::TWinControl*>(c) : nullptr; }

bool Designing(const tw::TComponent* c) { return c && (c->ComponentState() & tw::csDesigning); }

void RedrawOwner(tw::TControl* c, UINT flags)
{
    if (tw::TWinControl* w = AsWin(c); w && w->HandleAllocated()) RedrawWindow(w->Handle(), nullptr, nullptr, flags);
}

// A sub-command with a low-word argument, to a control as the protocol
// delivers it (SendMessage to a window, Perform to a graphic control).
void SendWithArg(tw::TControl* c, WPARAM wparam)
{
    if (!c || c->IsDestroying()) return;
    if (tw::TWinControl* w = AsWin(c)) {
        if (w->HandleAllocated()) SendMessageW(w->HandleIfAllocated(), SM_ALPHACMD, wparam, 0);
    } else {
        c->Perform(SM_ALPHACMD, wparam, 0);
    }
}

TColor OwnColorRGB(const tw::TControl* c) { return c ? TColor(tw::ColorToRGB(c->Color())) : TColor(tw::ColorToRGB(tw::clBtnFace)); }

} // namespace

TsCommonData::TsCommonData(tw::TObject* owner, bool createCacheBmp)
    : ownerControl_(dynamic_cast<tw::TControl*>(owner)), ownerObject_(owner)
{
    if (createCacheBmp) cacheBmp_ = std::make_unique<tw::TBitmap>(0, 0, tw::pf24bit);
}

TsCommonData::~TsCommonData() { HideOwnGlow(); }

void TsCommonData::HideOwnGlow()
{
    if (GlowID < 0) return;
    // The list may have been cleared (a skin change) and the id given to
    // another control's halo since.
    if (GlowWindow(GlowID) == glowWnd_) HideGlow(GlowID);
    GlowID = -1;
    glowWnd_ = nullptr;
}

namespace {

// The window a control's halo belongs to: its form's parent window, else
// its form (the class library has no MDI children).
HWND GlowHost(tw::TControl* c)
{
    tw::TCustomForm* form = c->ParentForm();
    if (!form) return nullptr;
    if (form->Parent()) return form->Parent()->HandleIfAllocated();
    return form->HandleIfAllocated();
}

// The left button holds the control down: the window (or, for a graphic
// control, its parent) has the mouse captured.
bool HeldDown(tw::TControl* c)
{
    const HWND capture = GetCapture();
    if (!capture) return false;
    if (tw::TWinControl* w = AsWin(c)) return capture == w->HandleIfAllocated();
    return c->Parent() && capture == c->Parent()->HandleIfAllocated();
}

TRect ClipBoxOf(HDC dc)
{
    RECT r{};
    if (!dc || GetClipBox(dc, &r) == ERROR) return TRect();
    return TRect(r.left, r.top, r.right, r.bottom);
}

} // namespace

void TsCommonData::UpdateControlGlow(bool forced, HWND wnd)
{
    TsSkinManager* sm = SkinManager();
    const TsGeneralData* s = Section();
    if (!sm || !sm->AllowGlowing() || !s || s->GlowCount < 1) return;
    tw::TControl* c = ownerControl_;
    if (c) {
        if (MouseAbove && !HeldDown(c) && (!forced || GlowID < 0)) {
            TRect r, clip;
            if (tw::TWinControl* w = AsWin(c)) {
                if (!w->HandleAllocated()) return;
                RECT wr{};
                GetWindowRect(w->HandleIfAllocated(), &wr);
                r = TRect(wr.left, wr.top, wr.right, wr.bottom);
                HDC dc = GetWindowDC(w->HandleIfAllocated());
                clip = ClipBoxOf(dc);
                if (dc) ReleaseDC(w->HandleIfAllocated(), dc);
            } else {
                if (!c->Parent() || !c->Parent()->HandleAllocated()) return;
                const TPoint o = c->ClientOrigin();
                r = TRect(o.X, o.Y, o.X + c->Width(), o.Y + c->Height());
                const HWND pw = c->Parent()->HandleIfAllocated();
                HDC dc = GetDC(pw);
                const TRect pc = ClipBoxOf(dc);
                if (dc) ReleaseDC(pw, dc);
                // The part of the control its parent shows, in the control's coordinates.
                const TRect b = c->BoundsRect();
                clip = TRect(std::max(pc.Left, b.Left) - b.Left, std::max(pc.Top, b.Top) - b.Top,
                             std::min(pc.Right, b.Right) - b.Left, std::min(pc.Bottom, b.Bottom) - b.Top);
            }
            // A halo shown before goes: a second one would stay behind it.
            HideOwnGlow();
            GlowID = ShowGlow(r, clip, skinSection_, sm, GlowHost(c), s->GlowMargin, "GLOW");
            glowWnd_ = GlowWindow(GlowID);
        } else {
            HideOwnGlow();
        }
        return;
    }
    if (wnd) {
        RECT wr{};
        GetWindowRect(wnd, &wr);
        const TRect r(wr.left, wr.top, wr.right, wr.bottom);
        HDC dc = GetWindowDC(wnd);
        const TRect clip = ClipBoxOf(dc);
        if (dc) ReleaseDC(wnd, dc);
        HideOwnGlow();
        GlowID = ShowGlow(r, clip, skinSection_, sm, GetAncestor(wnd, GA_ROOT), s->GlowMargin, "GLOW");
        glowWnd_ = GlowWindow(GlowID);
    }
}

TsSkinManager* TsCommonData::SkinManager() const { return ownManager_ ? ownManager_ : DefaultManager; }

const TsGeneralData* TsCommonData::Section() const
{
    const TsSkinManager* m = SkinManager();
    return m && m->SkinIndexValid(SkinIndex) ? &m->gd[size_t(SkinIndex)] : nullptr;
}

bool TsCommonData::Skinned(bool checkLoaded) const
{
    const TsSkinManager* m = SkinManager();
    if (!m || m->IsDestroying()) return false;
    if (auto* c = dynamic_cast<tw::TComponent*>(ownerObject_); c && c->IsDestroying()) return false;
    return m->SkinIndexValid(SkinIndex) && (!checkLoaded || m->SkinLoaded());
}

void TsCommonData::UpdateIndexes()
{
    BGChangedFlag = true;
    TsSkinManager* m = SkinManager();
    SkinIndex = m ? m->GetSkinIndex(skinSection_) : -1;
    UpdatePaintFlags();
    CtrlSkinState = 0;
    if (m && SkinIndex >= 0) {
        BorderIndex = m->gd[size_t(SkinIndex)].BorderIndex;
        Texture = m->GetTextureIndex(SkinIndex, skinSection_, "PATTERN");
        HotTexture = m->GetTextureIndex(SkinIndex, skinSection_, "HOTPATTERN");
        UpdateContainerFlag(false);
    } else {
        Texture = HotTexture = -1;
    }
}

void TsCommonData::SetDefaultSection()
{
    if (!skinSection_.empty()) {
        UpdateIndexes();
        return;
    }
    std::string s = DefaultSectionOfKind(COC);
    if (s.empty() && ownerObject_) s = tw::UpperCase(ownerObject_->ClassName());
    SetSkinSection(s);
    if (SkinIndex < 0) UpdateIndexes();
}

void TsCommonData::UpdatePaintFlags()
{
    PaintFlags = 0;
    const TsGeneralData* s = Section();
    if (!s) return;
    if (s->ImagePercent != 0) PaintFlags |= 4;
    if (s->GradientPercent != 0 && !s->GradientArray.empty()) {
        switch (s->GradientArray.front().Mode) {
        case 0: PaintFlags |= 2; break;
        case 1: PaintFlags |= 1; break;
        case 2: PaintFlags |= 3; break;
        default: break;
        }
    }
}

void TsCommonData::SetSkinSection(const std::string& value)
{
    const std::string v = value.empty() ? "UNKNOWN" : tw::UpperCase(value);
    if (v == skinSection_) return;
    skinSection_ = v;
    TsSkinManager* m = SkinManager();
    if (!m || m->gd.empty()) SkinIndex = -1;
    else UpdateIndexes();
    tw::TControl* c = ownerControl_;
    if (c && !c->IsLoading() && c->Parent() && !c->IsDestroying()) {
        const bool found = m && !m->gd.empty() && SkinIndex >= 0;
        c->Perform(SM_ALPHACMD, SkinWParam(found ? AC_SKINREFRESH : AC_SKINREMOVED), reinterpret_cast<LPARAM>(m));
    } else if (formProvider_) {
        BGChangedFlag = true;
        formProvider_->LinkSectionChanged();
    }
}

void TsCommonData::SetSkinManager(TsSkinManager* value)
{
    // The stored value is the link's own manager (none for the default):
    // setting what it holds changes nothing. Forgetting a manager the link
    // never had, while the default one goes, must not resolve the section
    // against the going manager and announce the removal again.
    TsSkinManager* own = value == DefaultManager ? nullptr : value;
    if (own == ownManager_) return;
    ownManager_ = own;
    tw::TControl* c = ownerControl_;
    if (c && c->IsLoading()) return;
    TsSkinManager* m = SkinManager();
    if (!m || m->gd.empty()) SkinIndex = -1;
    else UpdateIndexes();
    const uint16_t command = SkinIndex >= 0 ? AC_SKINREFRESH : AC_SKINREMOVED;
    if (formProvider_)
        formProvider_->LinkManagerChanged(command, m);
    else if (c && c->Parent() && !c->IsDestroying())
        c->Perform(SM_ALPHACMD, SkinWParam(command), reinterpret_cast<LPARAM>(m));
}

bool TsCommonData::OwnerIsEdit() const { return dynamic_cast<tw::TCustomEdit*>(ownerControl_) != nullptr || COC == 97; }

void TsCommonData::TakeSectionColors()
{
    const TsGeneralData* s = Section();
    tw::TControl* c = ownerControl_;
    if (!s || !c || c->IsLoading()) return;
    if (!customColor_ && c->Color() != s->Color) c->SetColor(s->Color);
    if (!customFont_ && c->Font().Color() != s->FontColor[0]) c->Font().SetColor(s->FontColor[0]);
}

void TsCommonData::SetCustomColor(bool value)
{
    customColor_ = value;
    if (Skinned() && OwnerIsEdit()) TakeSectionColors();
    InvalidateOwner();
}

void TsCommonData::SetCustomFont(bool value)
{
    customFont_ = value;
    InvalidateOwner();
}

void TsCommonData::Loaded()
{
    SetDefaultSection();
    tw::TControl* c = ownerControl_;
    if (Skinned() && c && c->Parent() && !c->IsLoading()) {
        if (c->IsWindowed()) NotifyParentForm(c);
        if (OwnerIsEdit()) TakeSectionColors();
    }
}

bool TsCommonData::ChildrenDrawOwnBG() const
{
    const TsSkinManager* m = SkinManager();
    const TsGeneralData* s = Section();
    if (!m || !s) return false;
    if (m->MaskIndexValid(BorderIndex)) {
        const TsMaskData& b = m->ma[size_t(BorderIndex)];
        if (b.WL + b.WR > 30 || b.WT + b.WB > 30) return false;
    }
    if (s->Transparency == 100) {
        if (!ownerControl_ || !ownerControl_->Parent()) return false;
        if (!(SendSkinCommandToControl(ownerControl_->Parent(), AC_CONTAINERFLAG) & 1)) return false;
    } else if (s->Transparency > 0) {
        return false;
    }
    return s->ImagePercent == 0 && s->GradientPercent == 0;
}

void TsCommonData::UpdateContainerFlag(bool forward)
{
    CtrlSkinState &= uint16_t(~1u);
    tw::TControl* c = ownerControl_;
    const bool container = dynamic_cast<tw::TPanel*>(c) || dynamic_cast<tw::TPageControl*>(c) ||
                           dynamic_cast<tw::TCustomFrame*>(c) || dynamic_cast<tw::TCustomForm*>(c);
    if (container && !ChildrenDrawOwnBG()) CtrlSkinState |= 1;
    if (forward)
        if (tw::TWinControl* w = AsWin(c))
            for (int i = 0; i < w->ControlCount(); ++i) SendSkinCommandToControl(w->Controls(i), AC_CONTAINERFLAG, 1);
}

bool TsCommonData::ControlFocused() const
{
    tw::TControl* c = ownerControl_;
    if (!c || c->IsDestroying() || !c->Enabled() || Designing(c)) return false;
    if (Focused) return true;
    if (tw::TWinControl* w = AsWin(c); w && w->HandleAllocated() && GetFocus() == w->HandleIfAllocated()) return true;
    return MouseAbove && (COC > 255 || !IsNoHotKind(COC));
}

bool TsCommonData::HotStateAllowed() const
{
    if (WindowAnimating) return true;
    if (!(CtrlSkinState & 1)) return true;
    return ControlFocused();
}

bool TsCommonData::CalcActiveState() const
{
    if (!SkinManager() || Designing(ownerControl_)) return false;
    if (!HotStateAllowed()) return activeState_;
    if (!ownerControl_ || ownerControl_->IsDestroying()) return activeState_;
    if (activeState_) return true;
    if (ownerControl_->Parent()) return SendSkinCommandToControl(ownerControl_->Parent(), AC_QUERYACTIVE) == 1;
    return true;
}

bool TsCommonData::IsUpdating() const
{
    if (Updating || !Skinned()) return true;
    tw::TControl* c = ownerControl_;
    if (!c || c->ClassName() == "TsTabSheet" || c->IsLoading() || !c->Visible()) return true;
    const TsGeneralData* s = Section();
    if (!s) return false;
    if (!c->Enabled() || s->Transparency > 0) {
        tw::TWinControl* p = c->Parent();
        return p && p->HandleAllocated() && AskWindow(p->HandleIfAllocated(), AC_QUERYUPDATING);
    }
    return false;
}

void TsCommonData::InvalidateOwner()
{
    tw::TControl* c = ownerControl_;
    if (!c || c->IsDestroying() || c->IsLoading()) return;
    BGChangedFlag = true;
    if (ControlIsReady(c)) c->Repaint();
}

namespace {

// A form's link belongs to its provider, which listens on the form's window
// (it subclasses it); a control hears it directly.
void NotifyOwner(tw::TControl* c, uint16_t command)
{
    if (!c) return;
    auto* form = dynamic_cast<tw::TCustomForm*>(c);
    if (form && form->HandleAllocated())
        SendMessageW(form->Handle(), SM_ALPHACMD, SkinWParam(command), 0);
    else
        c->Perform(SM_ALPHACMD, SkinWParam(command), 0);
}

} // namespace

void TsCommonData::NotifyMouseEnter()
{
    activeState_ = true;
    NotifyOwner(ownerControl_, AC_MOUSEENTER);
}

void TsCommonData::NotifyMouseLeave()
{
    activeState_ = false;
    NotifyOwner(ownerControl_, AC_MOUSELEAVE);
}

void TsCommonData::InitCacheBmp()
{
    if (!cacheBmp_) cacheBmp_ = std::make_unique<tw::TBitmap>(0, 0, tw::pf24bit);
    if (ownerControl_ && (cacheBmp_->Width() != ownerControl_->Width() || cacheBmp_->Height() != ownerControl_->Height()))
        cacheBmp_->SetSize(ownerControl_->Width(), ownerControl_->Height());
}

void TsCommonData::InitCacheBmp24()
{
    InitCacheBmp();
    if (cacheBmp_->PixelFormat() != tw::pf24bit) cacheBmp_->SetPixelFormat(tw::pf24bit);
}

int TsCommonData::BorderMaxWidth() const
{
    const TsSkinManager* m = SkinManager();
    if (!m || !m->MaskIndexValid(BorderIndex)) return 0;
    const TsMaskData& b = m->ma[size_t(BorderIndex)];
    if (b.StretchMode & 2) return 0;
    return std::max({int(b.WL), int(b.WT), int(b.WR), int(b.WB)});
}

bool TsCommonData::HasTransparency() const
{
    const TsGeneralData* s = Section();
    return s && s->Transparency >= 1;
}

TColor TsCommonData::GetControlBGColor(bool hot, HWND wnd) const
{
    const TsGeneralData* s = Section();
    if (!Skinned() || !s) return OwnColorRGB(ownerControl_);
    const int t = hot ? s->HotTransparency : s->Transparency;
    const TColor c = hot ? s->HotColor : s->Color;
    if (t == 0) return customColor_ ? OwnColorRGB(ownerControl_) : c;
    if (t == 100) {
        if (ownerControl_ && ownerControl_->Parent()) return GetControlColor(ownerControl_->Parent());
        if (wnd) return GetWindowColor(GetParent(wnd));
        return TColor(tw::ColorToRGB(tw::clBtnFace));
    }
    if (!ownerControl_) return 0;
    const TColor parent = ownerControl_->Parent() ? GetControlColor(ownerControl_->Parent()) : OwnColorRGB(ownerControl_);
    return BlendColors(c, parent, (100 - t) / 100.0);
}

void TsCommonData::GetOwnBGInfo(TacBGInfo& info, bool hot, HWND wnd)
{
    const TsGeneralData* s = Section();
    if (!Skinned() || !s || customColor_) {
        info.BgType = btFill;
        info.Color = OwnColorRGB(ownerControl_);
        return;
    }
    const int t = hot ? s->HotTransparency : s->Transparency;
    const int g = hot ? s->HotGradientPercent : s->GradientPercent;
    const int i = hot ? s->HotImagePercent : s->ImagePercent;
    bool ownPicture = false;
    if (t == 0) {
        if (g < 1 && i < 1) {
            info.BgType = btFill;
            info.Color = GetControlBGColor(hot, wnd);
            if (info.PleaseDraw && info.DrawDC) FillDC(HDC(info.DrawDC), info.R, info.Color);
            return;
        }
        ownPicture = true;
    } else if (t == 100) {
        const TsSkinManager* m = SkinManager();
        const TsMaskData* b = m->MaskIndexValid(BorderIndex) ? &m->ma[size_t(BorderIndex)] : nullptr;
        if (b && (b->WL + b->WR >= 25 || b->WT + b->WB >= 25)) {
            if (!cacheBmp_ || cacheBmp_->Empty()) {
                // Only this case reaches the own picture without one.
                info.BgType = btFill;
                info.Color = ownerControl_ && ownerControl_->Parent() ? GetControlColor(ownerControl_->Parent())
                                                                      : DefaultManager ? DefaultManager->GetGlobalColor()
                                                                                       : TColor(tw::ColorToRGB(tw::clBtnFace));
                return;
            }
            ownPicture = true;
        } else if (ownerControl_ && ownerControl_->Parent()) {
            GetBGInfo(info, ownerControl_->Parent(), info.PleaseDraw);
            if (info.BgType == btCache) {
                info.OffsetX += ownerControl_->Left();
                info.OffsetY += ownerControl_->Top();
            }
            return;
        } else if (wnd && GetParent(wnd)) {
            GetBGInfoWnd(info, GetParent(wnd), info.PleaseDraw);
            if (info.BgType == btCache) {
                RECT r{};
                GetWindowRect(wnd, &r);
                POINT p{r.left, r.top};
                ScreenToClient(GetParent(wnd), &p);
                info.OffsetX += p.x;
                info.OffsetY += p.y;
            }
            return;
        } else {
            info.BgType = btFill;
            info.Color = DefaultManager ? DefaultManager->GetGlobalColor() : TColor(tw::ColorToRGB(tw::clBtnFace));
            return;
        }
    } else {
        ownPicture = true;
    }
    if (ownPicture && cacheBmp_ && !cacheBmp_->Empty()) {
        info.BgType = btCache;
        if (!info.PleaseDraw) {
            info.Bmp = cacheBmp_->PixelView();
            info.OffsetX = info.OffsetY = 0;
        } else if (info.DrawDC) {
            BitBlt(HDC(info.DrawDC), info.R.Left, info.R.Top, info.R.Width(), info.R.Height(), cacheBmp_->Canvas().Handle(),
                   info.OffsetX, info.OffsetY, SRCCOPY);
        }
        return;
    }
    info.BgType = btFill;
    info.Color = clKeyColor;
}

TCacheInfo TsCommonData::GetParentCacheInfo()
{
    if (Skinned() && ownerControl_ && ownerControl_->Parent()) {
        TacBGInfo info;
        GetBGInfo(info, ownerControl_->Parent(), false);
        if (info.BgType == btCache) {
            info.OffsetX += ownerControl_->Left();
            info.OffsetY += ownerControl_->Top();
        }
        return BGInfoToCacheInfo(info);
    }
    TCacheInfo ci;
    ci.FillColor = GetControlBGColor(false);
    return ci;
}

int GetFontIndex(tw::TControl* control, int defaultIndex, TsSkinManager* manager)
{
    // A loop guard: a parent chain is never deeper than this.
    for (int depth = 0; control && control->Parent() && depth < 64; ++depth) {
        tw::TWinControl* parent = control->Parent();
        const LRESULT answer = SendSkinCommandToControl(parent, AC_QUERYSKININDEX);
        if (answer <= 0) return defaultIndex;
        const int index = int(answer) - 1;
        TsSkinManager* m = manager ? manager : DefaultManager;
        if (!m || !m->SkinIndexValid(index)) return defaultIndex;
        const TsGeneralData& s = m->gd[size_t(index)];
        if (s.Transparency > 50) {
            control = parent;
            continue;
        }
        return s.GiveOwnFont ? index : defaultIndex;
    }
    return defaultIndex;
}

namespace {

// The colour answer of AC_QUERYCOLOR for a skinned control.
TColor ColourAnswer(TsCommonData& d)
{
    tw::TControl* c = d.OwnerControl();
    const TsSkinManager* m = d.SkinManager();
    if (!d.Skinned() || !m) return TColor(tw::ColorToRGB(c->Color()));
    const TsGeneralData& s = m->gd[size_t(d.SkinIndex)];
    if (s.Transparency == 0) return s.Color;
    TColor parent = TColor(tw::ColorToRGB(c->Color()));
    if (c->Parent()) {
        const TColor p = TColor(SendSkinCommandToControl(c->Parent(), AC_QUERYCOLOR, clKeyColor));
        parent = p == clKeyColor ? TColor(tw::ColorToRGB(c->Parent()->Color())) : p;
    }
    if (s.Transparency == 100) return parent;
    return MixTransparentColor(parent, s.Color, s.Transparency);
}

bool UpdatingAnswer(TsCommonData& d)
{
    const TsSkinManager* m = d.SkinManager();
    const TsGeneralData& s = m->gd[size_t(d.SkinIndex)];
    tw::TControl* c = d.OwnerControl();
    if (s.Transparency == 100 && c && c->Parent()) return AskControl(c->Parent(), AC_QUERYUPDATING) == 1;
    if (s.GradientPercent + s.ImagePercent >= 1) return true;
    return d.IsUpdating();
}

void SkinRemoved(tw::TMessage& m, TsCommonData& d)
{
    if (reinterpret_cast<TsSkinManager*>(m.LParam) == d.SkinManager() && d.SkinManager() &&
        d.SkinManager()->IsDestroying())
        d.SetSkinManager(nullptr);
    d.SkinIndex = d.BorderIndex = d.Texture = d.HotTexture = -1;
    d.SetActiveState(true);
    if (d.CacheBmp()) d.CacheBmp()->SetSize(0, 0);
    tw::TControl* c = d.OwnerControl();
    if (!c) return;
    if (dynamic_cast<tw::TCustomEdit*>(c)) {
        if (!d.CustomColor()) c->SetColor(tw::clWindow);
        if (!d.CustomFont()) c->Font().SetColor(tw::clWindowText);
        RedrawOwner(c, RDW_INVALIDATE | RDW_FRAME);
    } else if (tw::TWinControl* w = AsWin(c)) {
        for (int i = 0; i < w->ControlCount(); ++i)
            if (auto* label = dynamic_cast<tw::TLabel*>(w->Controls(i))) label->Font().SetColor(tw::clWindowText);
    }
}

} // namespace

bool SkinCommandCarriesPointer(uint16_t command)
{
    return command == AC_QUERYBGINFO || command == AC_CONTROLLOADED;
}

namespace {

// The pointers this thread is handing in skin sub-commands right now, the
// innermost last.
thread_local std::vector<const void*> g_ownSkinPointers;

} // namespace

TOwnSkinPointer::TOwnSkinPointer(const void* pointer) { g_ownSkinPointers.push_back(pointer); }

TOwnSkinPointer::~TOwnSkinPointer() { g_ownSkinPointers.pop_back(); }

bool ForeignSkinPointer(uintptr_t wparam, intptr_t lparam)
{
    if (!SkinCommandCarriesPointer(SkinCommandOf(wparam)))
        return false;
    // The system says "sent from another thread" for the whole time the
    // thread serves such a message, also for what the thread sends itself
    // meanwhile: a pointer it marked is its own.
    if ((InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_NOTIFY | ISMEX_CALLBACK)) == 0)
        return false;
    const auto* p = reinterpret_cast<const void*>(lparam);
    return std::find(g_ownSkinPointers.begin(), g_ownSkinPointers.end(), p) == g_ownSkinPointers.end();
}

bool CommonMessage(tw::TMessage& m, TsCommonData* d)
{
    if (!d || m.Msg != SM_ALPHACMD) return false;
    const uint16_t cmd = SkinCommandOf(m.WParam);
    if (cmd > AC_LASTCOMMON) return false;
    if (ForeignSkinPointer(m.WParam, m.LParam)) {
        // Taken unanswered: passed on, the control's own handling would
        // follow the pointer just the same.
        m.Result = 0;
        return true;
    }
    tw::TControl* c = d->OwnerControl();
    const bool ownManager = reinterpret_cast<TsSkinManager*>(m.LParam) == d->SkinManager();
    switch (cmd) {
    case AC_SKINLOADED:
        // Another manager's announcement is not for this link, and neither
        // is the state of its broadcast.
        if (!ownManager) return false;
        SendingNewSkin = false;
        d->UpdateIndexes();
        return false;
    case AC_SKINREMOVED:
        if (ownManager) SkinRemoved(m, *d);
        return false;
    case AC_SKINREFRESH:
        // Only the link's own manager refreshes it; a refresh without one
        // (as the fade timers send it) is for the control's own handling.
        if (!ownManager) return false;
        d->BGChangedFlag = true;
        d->SetActiveState(false);
        if (d->Skinned() && dynamic_cast<tw::TCustomEdit*>(c)) {
            const TsGeneralData& s = d->SkinManager()->gd[size_t(d->SkinIndex)];
            if (!d->CustomColor() && c->Color() != s.Color) c->SetColor(s.Color);
            if (!d->CustomFont() && c->Font().Color() != s.FontColor[0]) c->Font().SetColor(s.FontColor[0]);
            RedrawOwner(c, RDW_INVALIDATE | RDW_FRAME);
        }
        d->UpdateContainerFlag(false);
        return false;
    case AC_QUERYSKINNED:
        m.Result = 1;
        return true;
    case AC_SETACTIVESTATE:
        d->SetActiveState(SkinArgOf(m.WParam) == 1);
        return false;
    case AC_SETUPDATING:
        d->Updating = SkinArgOf(m.WParam) == 1;
        return false;
    case AC_QUERYACTIVE:
        m.Result = d->BGChangedFlag || d->ActiveState() ? 1 : 0;
        return true;
    case AC_QUERYSPECIAL:
        m.Result = d->Special ? 1 : 0;
        return true;
    case AC_PARENTBGCHANGED:
        if (SkinArgOf(m.WParam) == 1 && d->HasTransparency()) d->BGChangedFlag = true;
        return false;
    case AC_INVALIDATE:
        // Only the controls of the library's section filter repaint.
        if (tw::UpperCase(d->SkinSection()) == SectionFilter) {
            SendingNewSkin = false;
            d->InvalidateOwner();
        }
        return false;
    case AC_BGCHANGED:
        d->BGChangedFlag = true;
        return false;
    case AC_QUERYUPDATING:
        if (!d->Skinned()) return false;
        m.Result = UpdatingAnswer(*d) ? 1 : 0;
        return true;
    case AC_ENDUPDATE: {
        const bool updating = d->IsUpdating();
        d->BGChangedFlag = d->BGChangedFlag || updating;
        if (SkinArgOf(m.WParam) == 1)
            RedrawOwner(c, RDW_INVALIDATE | RDW_NOINTERNALPAINT | RDW_NOERASE | RDW_ALLCHILDREN);
        if (updating)
            if (tw::TWinControl* w = AsWin(c))
                for (int i = 0; i < w->ControlCount(); ++i)
                    if (!w->Controls(i)->IsDestroying()) SendSkinCommandToControl(w->Controls(i), AC_ENDUPDATE);
        return false;
    }
    case AC_QUERYCOLOR:
        if (!c) return false;
        m.Result = LRESULT(uint32_t(ColourAnswer(*d)));
        return true;
    case AC_SETSPECIAL:
        d->Special = true;
        return false;
    case AC_QUERYSKININDEX:
        m.Result = d->SkinIndex + 1;
        return true;
    case AC_QUERYBGINFO:
        if (m.LParam) d->GetOwnBGInfo(*reinterpret_cast<TacBGInfo*>(m.LParam), false);
        return false;
    case AC_CONTAINERFLAG:
        if (m.LParam == 1) d->UpdateContainerFlag(true);
        else m.Result = d->CtrlSkinState;
        return true;
    case AC_QUERYAPPLICATION:
        m.Result = reinterpret_cast<LRESULT>(tw::Application);
        return true;
    default:
        return false;
    }
}

namespace {

// The popup menu a right click on the control opens: a graphic child's under
// the mouse (the class library hands the click on to it), else its own.
tw::TPopupMenu* ContextMenuOf(tw::TControl* c, LPARAM pos)
{
    if (!c) return nullptr;
    if (tw::TWinControl* w = AsWin(c); w && pos != -1) {
        const TPoint at = w->ScreenToClient(TPoint(short(LOWORD(pos)), short(HIWORD(pos))));
        if (tw::TControl* child = w->ControlAtPos(at, false); child && child->PopupMenu()) return child->PopupMenu();
    }
    return c->PopupMenu();
}

// Buttons (kinds 92 to 94) show and hide their halo with their own fades.
bool GlowsFromCommonHandler(int32_t kind) { return !IsNoGlowKind(kind) && (kind < 92 || kind > 94); }

// Whether the control's parent lays a picture (a gradient or a texture)
// under its children rather than one colour.
bool ParentHasPicture(tw::TControl* c)
{
    tw::TWinControl* p = c ? c->Parent() : nullptr;
    return p && p->HandleAllocated() && AskWindow(p->HandleIfAllocated(), AC_QUERYUPDATING);
}

bool CommonWndProcBody(tw::TMessage& m, TsCommonData* d)
{
    if (m.Msg == SM_ALPHACMD) return CommonMessage(m, d);
    tw::TControl* c = d->OwnerControl();
    tw::TWinControl* w = AsWin(c);
    switch (m.Msg) {
    case WM_UPDATEUISTATE:
        if (d->Skinned()) {
            m.Result = 0;
            return true;
        }
        if (w && w->HandleAllocated())
            if (TSetWindowTheme setTheme = SetWindowThemeProc()) setTheme(w->HandleIfAllocated(), nullptr, nullptr);
        return false;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (w && w->CanFocus()) {
            d->BGChangedFlag = true;
            d->Focused = m.Msg == WM_SETFOCUS;
            if (IsRepaintOnHoverKind(d->COC) && (m.Msg == WM_SETFOCUS || w->Visible()))
                RedrawOwner(c, RDW_INVALIDATE | RDW_FRAME);
        }
        return false;
    case WM_MOVE:
        // What the control shows of its parent (a caption strip, the corners
        // its mask leaves open, a see-through section) is the parent's
        // picture at its place; moved over a picture that is not one colour
        // that piece is another, while the system only copies the old pixels
        // along: the control takes its background again and is painted.
        if (d->IsUpdating() || (d->Skinned() && ParentHasPicture(c))) {
            d->BGChangedFlag = true;
            if (c) c->Perform(SM_ALPHACMD, SkinWParam(AC_ENDUPDATE, 1), 0);
        }
        // A halo stays where it was made: it would hang beside the control.
        d->HideOwnGlow();
        return false;
    case WM_SIZE:
        if (d->Skinned()) {
            d->BGChangedFlag = true;
            const TsGeneralData& s = d->SkinManager()->gd[size_t(d->SkinIndex)];
            if (w && s.GradientPercent > 0)
                for (int i = 0; i < w->ControlCount(); ++i)
                    SendWithArg(w->Controls(i), SkinWParam(AC_ENDUPDATE, 1));
        }
        d->HideOwnGlow();
        return false;
    case WM_FONTCHANGE:
    case tw::CM_VISIBLECHANGED:
        d->Focused = false;
        d->MouseAbove = false;
        // No halo around a control that can no longer be hot or is gone from view.
        if (c && (!c->Enabled() || !c->Visible())) d->HideOwnGlow();
        return false;
    case WM_CONTEXTMENU:
        // The menu that is about to open takes the skin whoever made it: the
        // form's provider only knows the menus the form owns.
        if (PreparePopupMenu)
            if (tw::TPopupMenu* menu = ContextMenuOf(c, m.LParam)) PreparePopupMenu(menu, d->SkinManager());
        return false;
    case WM_PARENTNOTIFY:
        if (w && LOWORD(m.WParam) == WM_CREATE) NotifyParentForm(c);
        return false;
    case tw::CM_ENABLEDCHANGED:
        if (d->CacheBmp()) {
            if (m.WParam != 0) {
                d->SetActiveState(false);
                d->BGChangedFlag = true;
            } else {
                d->CacheBmp()->SetSize(0, 0);
            }
        }
        return false;
    case tw::CM_MOUSEENTER:
        if (Designing(c)) return false;
        if (w && DefaultManager) {
            for (int i = 0; i < w->ControlCount(); ++i) {
                tw::TControl* child = w->Controls(i);
                if (child == c || child == reinterpret_cast<tw::TControl*>(m.LParam)) continue;
                if (child->ClassName() == "TsSpeedButton" && child->MouseInControl()) child->Perform(tw::CM_MOUSELEAVE, 0, 0);
            }
            if (!IsNoHotKind(d->COC)) d->MouseAbove = true;
            if (w->HandleAllocated()) SetManagerActiveControl(*DefaultManager, w->HandleIfAllocated());
            if (GlowsFromCommonHandler(d->COC)) d->UpdateControlGlow(false);
            if (IsRepaintOnHoverKind(d->COC)) {
                d->BGChangedFlag = true;
                RedrawOwner(c, RDW_INVALIDATE | RDW_UPDATENOW | RDW_FRAME);
            }
        } else if (!IsNoHotKind(d->COC)) {
            d->MouseAbove = true;
        }
        return false;
    case tw::CM_MOUSELEAVE:
        if (Designing(c)) return false;
        if (!IsNoHotKind(d->COC)) d->MouseAbove = false;
        if (GlowsFromCommonHandler(d->COC)) {
            ClearGlows();
            d->HideOwnGlow();
        }
        if (IsRepaintOnHoverKind(d->COC) && c && c->Visible()) {
            d->BGChangedFlag = true;
            RedrawOwner(c, RDW_INVALIDATE | RDW_UPDATENOW | RDW_FRAME);
        }
        return false;
    default:
        return false;
    }
}

} // namespace

bool CommonWndProc(tw::TMessage& m, TsCommonData* d)
{
    if (!d) return false;
    // Called from window procedures: nothing may unwind through user32.
    try {
        return CommonWndProcBody(m, d);
    } catch (...) {
        // Reported; the control's own handling still answers the message.
        tw::Application->HandleException(d->OwnerControl());
        return false;
    }
}

bool GetBGInfo(TacBGInfo& info, tw::TControl* control, bool pleaseDraw)
{
    if (!control) return false;
    const bool callerDraw = info.PleaseDraw;
    info.BgType = btUnknown;
    info.PleaseDraw = pleaseDraw;
    {
        const TOwnSkinPointer own(&info);
        SendSkinCommandToControl(control, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
    }
    if (info.BgType != btUnknown) return true;
    tw::TWinControl* w = AsWin(control);
    if (callerDraw && w && w->HandleAllocated() && info.DrawDC) {
        const HDC dc = HDC(info.DrawDC);
        const int saved = SaveDC(dc);
        POINT old{};
        OffsetViewportOrgEx(dc, -info.OffsetX, -info.OffsetY, &old);
        TRect r = info.R;
        r.Left += info.OffsetX;
        r.Right += info.OffsetX;
        r.Top += info.OffsetY;
        r.Bottom += info.OffsetY;
        IntersectClipRect(dc, r.Left, r.Top, r.Right, r.Bottom);
        SendMessageW(w->HandleIfAllocated(), WM_ERASEBKGND, WPARAM(dc), 0);
        SendMessageW(w->HandleIfAllocated(), WM_PAINT, WPARAM(dc), 0);
        RestoreDC(dc, saved);
        return false;
    }
    info.BgType = btFill;
    const TColor answer = TColor(SendSkinCommandToControl(control, AC_QUERYCOLOR, 0));
    info.Color = answer != 0 ? answer : TColor(tw::ColorToRGB(control->Color()));
    if (info.PleaseDraw && !info.Bmp.Empty() && info.DrawDC) FillDC(HDC(info.DrawDC), info.R, info.Color);
    return false;
}

bool GetBGInfoWnd(TacBGInfo& info, HWND wnd, bool pleaseDraw)
{
    const bool callerDraw = info.PleaseDraw;
    info.BgType = btUnknown;
    info.PleaseDraw = pleaseDraw;
    {
        const TOwnSkinPointer own(&info);
        SendSkinCommand(wnd, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
    }
    if (info.BgType != btUnknown) return true;
    if (callerDraw && info.DrawDC) {
        const HDC dc = HDC(info.DrawDC);
        const int saved = SaveDC(dc);
        POINT old{};
        OffsetViewportOrgEx(dc, -info.OffsetX, -info.OffsetY, &old);
        IntersectClipRect(dc, info.R.Left + info.OffsetX, info.R.Top + info.OffsetY, info.R.Right + info.OffsetX,
                          info.R.Bottom + info.OffsetY);
        SendMessageW(wnd, WM_ERASEBKGND, WPARAM(dc), 0);
        SendMessageW(wnd, WM_PAINT, WPARAM(dc), 0);
        RestoreDC(dc, saved);
        return false;
    }
    info.BgType = btFill;
    info.Color = DefaultManager ? DefaultManager->GetGlobalColor() : TColor(tw::ColorToRGB(tw::clBtnFace));
    return false;
}

} // namespace skin

namespace skin {

void PaintCacheBorder(TsCommonData& data, int state)
{
    tw::TBitmap* cache = data.CacheBmp();
    TsSkinManager* sm = data.SkinManager();
    if (!cache || cache->Empty() || !sm || !sm->MaskIndexValid(data.BorderIndex)) return;
    PaintCacheBorderSides(cache->PixelView(), sm->ma[size_t(data.BorderIndex)], state, 15, data.GetParentCacheInfo());
}

void BlitControlCache(tw::TControl* control, TsCommonData& data, int srcX, int srcY, TPoint shift, bool paintBorder,
                      HDC dc, const TRect& r)
{
    tw::TBitmap* cache = data.CacheBmp();
    if (!cache || cache->Empty() || !dc) return;
    TsSkinManager* sm = data.SkinManager();
    if (paintBorder && sm && sm->MaskIndexValid(data.BorderIndex))
        PaintCacheBorderSides(cache->PixelView(), sm->ma[size_t(data.BorderIndex)], data.CalcActiveState() ? 1 : 0, 15,
                              data.GetParentCacheInfo());
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, r.Left, r.Top, r.Right, r.Bottom);
    if (tw::TWinControl* w = AsWin(control)) {
        for (int i = 0; i < w->ControlCount(); ++i) {
            tw::TControl* c = w->Controls(i);
            if (!c->Visible()) continue;
            // Graphic children that draw over a see-through background stay
            // in; an opaque one (its control style says so) paints its own.
            if (!c->IsWindowed() && !Designing(c) && !(c->ControlStyle() & tw::csOpaque)) continue;
            const TRect b = c->BoundsRect();
            if (b.Right <= r.Left || b.Left >= r.Right || b.Bottom <= r.Top || b.Top >= r.Bottom) continue;
            ExcludeClipRect(dc, b.Left + shift.X, b.Top + shift.Y, b.Right + shift.X, b.Bottom + shift.Y);
        }
    }
    BitBlt(dc, r.Left, r.Top, r.Width(), r.Height(), cache->Canvas().Handle(), srcX, srcY, SRCCOPY);
    RestoreDC(dc, saved);
}

TCacheInfo GetParentCacheInfoWnd(HWND wnd)
{
    const HWND parent = wnd ? GetParent(wnd) : nullptr;
    if (!parent) return EmptyCacheInfo();
    TacBGInfo info;
    GetBGInfoWnd(info, parent, false);
    if (info.BgType == btCache) {
        RECT r{};
        GetWindowRect(wnd, &r);
        POINT p{r.left, r.top};
        ScreenToClient(parent, &p);
        info.OffsetX += p.x;
        info.OffsetY += p.y;
    }
    return BGInfoToCacheInfo(info);
}

TsEditLabel::TsEditLabel(tw::TWinControl* owner, TsBoundLabel* bound) : tw::TLabel(owner), bound_(bound) {}

TsBoundLabel::TsBoundLabel(tw::TWinControl* control, TsCommonData* data) : control_(control), data_(data) {}

TsBoundLabel::~TsBoundLabel() { SetActive(false); }

void TsBoundLabel::SetActive(bool value)
{
    if (!value) {
        TsEditLabel* label = label_;
        label_ = nullptr;
        if (label && control_ && !control_->IsDestroying()) delete label;
        return;
    }
    if (!control_) return;
    if (!label_) label_ = new TsEditLabel(control_, this);
    label_->SetVisible(false);
    label_->SetParent(control_->Parent());
    label_->SetFocusControl(control_);
    switch (layout_) {
    case sclLeft: label_->SetAlignment(tw::taRightJustify); break;
    case sclTopLeft: label_->SetAlignment(tw::taLeftJustify); break;
    case sclTopCenter: label_->SetAlignment(tw::taCenter); break;
    case sclTopRight: label_->SetAlignment(tw::taRightJustify); break;
    }
    label_->SetName(control_->Name() + "Label");
    if (caption_.empty()) caption_ = control_->Name();
    label_->SetCaption(caption_);
    label_->SetEnabled(control_->Enabled());
    label_->SetVisible(control_->Visible() || Designing(control_));
    UpdatePosition();
}

void TsBoundLabel::UpdatePosition()
{
    if (!label_ || !label_->Visible() || !control_) return;
    label_->SetAutoSize(true);
    label_->AdjustBounds();
    const TRect c = control_->BoundsRect();
    const int lw = label_->Width(), lh = label_->Height();
    switch (layout_) {
    case sclLeft: label_->SetBounds(c.Left - lw - 4 - indent_, c.Top + (c.Height() - lh) / 2 - 1, lw, lh); break;
    case sclTopLeft: label_->SetBounds(c.Left, c.Top - lh - indent_, lw, lh); break;
    case sclTopCenter: label_->SetBounds(c.Left + (c.Width() - lw) / 2, c.Top - lh - indent_, lw, lh); break;
    case sclTopRight: label_->SetBounds(c.Left + c.Width() - lw, c.Top - lh - indent_, lw, lh); break;
    }
    if (maxWidth_ != 0) {
        label_->SetAutoSize(false);
        label_->SetWordWrap(true);
        label_->SetBounds(label_->Left(), label_->Top(), maxWidth_, std::max(lh, c.Height()));
    }
}

void TsBoundLabel::SetCaption(const std::string& value)
{
    caption_ = value;
    if (label_) {
        label_->SetCaption(value);
        UpdatePosition();
    }
}

void TsBoundLabel::SetIndent(int value)
{
    if (value == indent_) return;
    indent_ = value;
    if (label_) UpdatePosition();
}

void TsBoundLabel::SetLayout(TsCaptionLayout value)
{
    if (value == layout_) return;
    layout_ = value;
    if (label_) SetActive(true);
}

void TsBoundLabel::SetMaxWidth(int value)
{
    if (value == maxWidth_) return;
    maxWidth_ = value;
    if (label_) UpdatePosition();
}

tw::TFont& TsBoundLabel::Font() { return label_ ? label_->Font() : font_; }

void TsBoundLabel::SetFont(const tw::TFont& font)
{
    font_.Assign(font);
    if (label_) {
        label_->SetParentFont(false);
        label_->Font().Assign(font);
    }
    UpdatePosition();
}

} // namespace skin

namespace skin {

void PaintGroupBox(HWND wnd, HDC dc)
{
    TsSkinManager* sm = DefaultManager;
    if (!sm || !wnd || !dc) return;
    const int index = sm->GetSkinIndex("GROUPBOX");
    const int mask = sm->GetMaskIndex(index, "GROUPBOX", "BORDERSMASK");
    if (!sm->MaskIndexValid(mask)) return;
    RECT client{};
    GetClientRect(wnd, &client);
    const int caption = int(SendSkinCommand(wnd, AC_QUERYCAPTIONHEIGHT));
    const int w = client.right, h = client.bottom - caption;
    if (w < 2 || h < 2) return;
    tw::TBitmap frame(w, h, tw::pf24bit);
    TCacheInfo bg = GetParentCacheInfoWnd(wnd);
    if (bg.Ready) bg.Y += caption;
    // What lies under the frame shows where the mask is see-through.
    FillRectPixels(frame.PixelView(), {0, 0, w, h}, bg.Ready ? clKeyColor : bg.FillColor);
    if (bg.Ready) CopyRectPixels(frame.PixelView(), {0, 0, w, h}, bg.Bmp, {bg.X, bg.Y});
    DrawMaskRect(frame.PixelView(), {0, 0, w, h}, false, bg, sm->ma[size_t(mask)], 0, true);
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, 0, 0, w, caption);
    const int l = sm->ma[size_t(mask)].WL, t = sm->ma[size_t(mask)].WT, r = sm->ma[size_t(mask)].WR,
              b = sm->ma[size_t(mask)].WB;
    // Only the border strips: the box's own painting keeps its inside.
    ExcludeClipRect(dc, l, caption + t, w - r, caption + h - b);
    BitBlt(dc, 0, caption, w, h, frame.Canvas().Handle(), 0, 0, SRCCOPY);
    RestoreDC(dc, saved);
}

} // namespace skin
