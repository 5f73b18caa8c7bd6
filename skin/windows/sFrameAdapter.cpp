#include "skin/windows/sFrameAdapter.h"

#include <algorithm>

#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/sSkinMenus.h"
#include "ui/Forms.h"
#include "ui/Guards.h"
#include "ui/Menus.h"

namespace skin {

namespace {

constexpr UINT kRedrawAll = RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME; // 0x585
constexpr UINT kRedrawNow = RDW_INVALIDATE | RDW_UPDATENOW | RDW_FRAME;                               // 0x581
constexpr UINT kRedrawChildren = RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW;        // 0x185

// The class a designer hosts a frame on while it is edited.
constexpr const char* kDesignHost = "TWinControlForm";

// The designer's host of the frame, nullptr where it has none.
tw::TWinControl* DesignHostOf(const tw::TWinControl* frame)
{
    tw::TWinControl* parent = frame->Parent();
    return parent && parent->ClassName() == kDesignHost ? parent : nullptr;
}

// A frame being edited shows on its host in the skin's global colour.
void TintDesignHost(const tw::TWinControl* frame, const TsSkinManager* sm)
{
    if (tw::TWinControl* host = DesignHostOf(frame); host && sm && sm->SkinIndexValid(sm->ConstData.IndexGlobalInfo))
        host->SetColor(sm->gd[size_t(sm->ConstData.IndexGlobalInfo)].Color);
}

// One channel of a partly transparent section over its parent's colour:
// the transparency weighs against 256.
int MixChannel(int transparency, int parent, int own)
{
    return std::clamp((transparency * (parent - own) + own * 256) / 256, 0, 255);
}

} // namespace

TsFrameAdapter::TsFrameAdapter(tw::TComponent* owner) : tw::TComponent(owner)
{
    // Only a frame is handled: an edit, a list or a form has a painting of
    // its own that a group box picture must not cover.
    tw::TFrame* frame = dynamic_cast<tw::TFrame*>(owner);
    skinData_ = std::make_unique<TsCommonData>(frame, false);
    if (skinData_->SkinSection().empty() || skinData_->SkinSection() == ClassName())
        skinData_->SetSkinSection("GROUPBOX");
    skinData_->COC = COC_TsFrameAdapter;
    frame_ = frame;
    if (!frame_) {
        // Dropped on the wrong control: the developer hears of it once, the
        // control keeps its own procedure.
        ShowError(kFrameAdapterMisplaced);
        return;
    }
    old_ = frame_->WindowProc;
    // What the frame's handlers throw goes on to the class library's window
    // procedure, which reports it as it does for a frame without adapter.
    frame_->WindowProc = [this](tw::TMessage& m) {
        if (m.Msg == SM_ALPHACMD && ForeignSkinPointer(m.WParam, m.LParam)) {
            m.Result = 0;
            return;
        }
        WndProc(m);
    };
    // Made on an already skinned form: the indexes now, not at the next
    // skin message.
    if (AskControl(frame_, AC_QUERYSKINNED) == 1 || !frame_->HandleAllocated())
        skinData_->UpdateIndexes();
}

TsFrameAdapter::~TsFrameAdapter()
{
    scroll_.reset();
    if (frame_ && old_)
        frame_->WindowProc = old_;
    frame_ = nullptr;
}

bool TsFrameAdapter::Designing() const
{
    return (ComponentState() & tw::csDesigning) != 0 || (frame_ && (frame_->ComponentState() & tw::csDesigning));
}

void TsFrameAdapter::Loaded()
{
    tw::TComponent::Loaded();
    skinData_->Loaded();
    if (!frame_ || AskControl(frame_, AC_QUERYSKINNED) != 1 || !skinData_->SkinManager())
        return;
    skinData_->UpdateIndexes();
    TsSkinManager* sm = skinData_->SkinManager();
    if (!sm->Active() || (ComponentState() & tw::csDesigning))
        return;
    if (frame_->ComponentState() & tw::csDesigning)
        TintDesignHost(frame_, sm);
    PreparePopups();
    NotifyThirdParty();
}

bool TsFrameAdapter::OwnManager(LPARAM lp) const
{
    return reinterpret_cast<TsSkinManager*>(lp) == skinData_->SkinManager();
}

void TsFrameAdapter::PreparePopups()
{
    TsSkinManager* sm = skinData_->SkinManager();
    if (!frame_ || !sm || !sm->SkinnedPopups())
        return;
    TsSkinableMenus* menus = TsSkinableMenus::Of(sm);
    if (!menus)
        return;
    for (int i = 0; i < frame_->ComponentCount(); ++i)
        if (auto* popup = dynamic_cast<tw::TPopupMenu*>(frame_->Components(i)))
            menus->PrepareMenu(popup, true);
}

void TsFrameAdapter::NotifyThirdParty()
{
    // The form's control adapter then gives the frame's foreign controls
    // (the ones the manager's lists name) their skin.
    const TsSkinManager* sm = skinData_->SkinManager();
    if (frame_ && sm && skinData_->Skinned() && (sm->SkinningRules & srThirdParty))
        NotifyParentForm(frame_);
}

void TsFrameAdapter::Broadcast(uint16_t command, uint16_t arg)
{
    if (!frame_)
        return;
    tw::TMessage msg{SM_ALPHACMD, SkinWParam(command, arg), reinterpret_cast<LPARAM>(skinData_->SkinManager()), 0};
    BroadcastToChildren(frame_, msg);
}

void TsFrameAdapter::Repaint(UINT flags)
{
    if (frame_ && frame_->HandleAllocated())
        RedrawWindow(frame_->Handle(), nullptr, nullptr, flags);
}

bool TsFrameAdapter::Working() const
{
    const TsSkinManager* sm = skinData_->SkinManager();
    return !IsDestroying() && frame_ && !frame_->IsDestroying() && skinData_->Skinned() && sm && sm->Active();
}

tw::TColor TsFrameAdapter::SkinColor() const
{
    const TsSkinManager* sm = skinData_->SkinManager();
    if (!sm || !sm->SkinIndexValid(skinData_->SkinIndex))
        return frame_ ? tw::ColorToRGB(frame_->Color()) : tw::ColorToRGB(tw::clBtnFace);
    const TsGeneralData& s = sm->gd[size_t(skinData_->SkinIndex)];
    const tw::TColor own = tw::ColorToRGB(s.Color) & 0xFFFFFF;
    if (s.Transparency <= 0)
        return own;
    tw::TWinControl* parent = frame_ ? frame_->Parent() : nullptr;
    if (!parent)
        return frame_ ? tw::ColorToRGB(frame_->Color()) : own;
    tw::TColor p = tw::TColor(parent->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYCOLOR), 0));
    if (p == tw::TColor(0xFF00FF))
        p = tw::ColorToRGB(parent->Color());
    if (s.Transparency >= 100)
        return p;
    const int t = s.Transparency;
    const int r = MixChannel(t, int(p & 0xFF), int(own & 0xFF));
    const int g = MixChannel(t, int((p >> 8) & 0xFF), int((own >> 8) & 0xFF));
    const int b = MixChannel(t, int((p >> 16) & 0xFF), int((own >> 16) & 0xFF));
    return tw::TColor(r | (g << 8) | (b << 16));
}

void TsFrameAdapter::PrepareFrameCache()
{
    if (frame_ && skinData_->HotStateAllowed() && frame_->Width() > 0 && frame_->Height() > 0) {
        skinData_->InitCacheBmp();
        tw::TBitmap* cache = skinData_->CacheBmp();
        if (cache->Width() != frame_->Width() || cache->Height() != frame_->Height())
            cache->SetSize(frame_->Width(), frame_->Height());
        cache->Canvas().Font().Assign(frame_->Font());
        // Gradient, texture, the border mask and the corners, over what the
        // parent shows where the frame lies.
        PaintItemOnParentBG(*skinData_, frame_->Parent(), true, 0, TRect(0, 0, frame_->Width(), frame_->Height()),
                            TPoint(frame_->Left(), frame_->Top()), *cache, true);
    }
    skinData_->BGChangedFlag = false;
}

void TsFrameAdapter::PaintFrame(HDC dc)
{
    if (!dc || !frame_)
        return;
    // An animated show paints its own picture: nothing else goes on screen.
    if (AnimPaintDC && dc != AnimPaintDC)
        return;
    if (skinData_->HotStateAllowed()) {
        // The graphic children's painting may throw: the context goes back
        // as it came whatever happens.
        tw::TSavedDCState keep(dc);
        skinData_->SetActiveState(skinData_->CalcActiveState());
        if (!skinData_->ActiveState()) {
            if (skinData_->Updating && frame_->Parent()) {
                const TRect pc = frame_->Parent()->ClientRect();
                const auto inside = [&](int x, int y) {
                    return x >= pc.Left && y >= pc.Top && x < pc.Right && y < pc.Bottom;
                };
                outOfParent_ = !inside(frame_->Left() + 1, frame_->Top() + 1) ||
                               !inside(frame_->Left() + frame_->Width() - 1, frame_->Top() + frame_->Height() - 1);
            }
            skinData_->BGChangedFlag = skinData_->BGChangedFlag || outOfParent_;
        }
        if (skinData_->BGChangedFlag && !skinData_->Updating)
            PrepareFrameCache();
        if (tw::TBitmap* cache = skinData_->CacheBmp(); cache && !cache->Empty()) {
            BlitControlCache(frame_, *skinData_, 0, 0, TPoint(0, 0), false, dc,
                             TRect(0, 0, frame_->Width(), frame_->Height()));
            PaintGraphicChildren(dc, frame_, TPoint(0, 0));
        }
        return;
    }
    // A container whose children take its picture and that is not focused:
    // the parent's background, the section's border and the frame's colour
    // inside it, without keeping a cache.
    skinData_->SetActiveState(false);
    const int w = frame_->Width(), h = frame_->Height();
    if (w <= 0 || h <= 0)
        return;
    tw::TBitmap tmp(w, h, tw::pf24bit);
    PaintItemOnParentBG(*skinData_, frame_->Parent(), true, 0, TRect(0, 0, w, h), TPoint(frame_->Left(), frame_->Top()),
                        tmp, true);
    const int b = std::max(0, skinData_->BorderMaxWidth());
    if (w > 2 * b && h > 2 * b)
        FillDC(tmp.Canvas().Handle(), TRect(b, b, w - b, h - b), SkinColor());
    BitBlt(dc, 0, 0, w, h, tmp.Canvas().Handle(), 0, 0, SRCCOPY);
    PaintGraphicChildren(dc, frame_, TPoint(0, 0));
}

// The sub-commands answered in every state; true when done.
bool TsFrameAdapter::UnskinnedCommand(tw::TMessage& m)
{
    TsSkinManager* sm = skinData_->SkinManager();
    switch (SkinCommandOf(m.WParam)) {
    case AC_SKINLOADED:
        if (!OwnManager(m.LParam))
            return false;
        Broadcast(AC_SKINLOADED);
        CommonWndProc(m, skinData_.get());
        PreparePopups();
        if (Designing())
            TintDesignHost(frame_, sm);
        if (frame_->HandleAllocated()) {
            AttachScrollAdapter(skinData_.get(), frame_->Handle(), scroll_);
            Repaint(kRedrawAll);
        }
        return true;
    case AC_SKINREMOVED:
        if (!OwnManager(m.LParam))
            return false;
        scroll_.reset();
        CommonWndProc(m, skinData_.get());
        if (tw::TWinControl* host = DesignHostOf(frame_); host && Designing())
            host->SetColor(tw::clBtnFace);
        Broadcast(AC_SKINREMOVED);
        if (frame_->HandleAllocated()) {
            SetWindowPos(frame_->Handle(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
            Repaint(kRedrawAll);
        }
        return true;
    case AC_SKINREFRESH:
        if (!OwnManager(m.LParam))
            return false;
        CommonWndProc(m, skinData_.get());
        skinData_->UpdateIndexes();
        if (Designing())
            TintDesignHost(frame_, sm);
        Broadcast(AC_SKINREFRESH);
        Repaint(kRedrawAll);
        if (frame_->HandleAllocated())
            AttachScrollAdapter(skinData_.get(), frame_->Handle(), scroll_);
        return true;
    case AC_QUERYSKINNED:
        m.Result = 1;
        return true;
    case AC_STOPANIMATION:
        Broadcast(AC_STOPANIMATION);
        return false;
    case AC_QUERYSKININDEX:
        m.Result = skinData_->SkinIndex + 1;
        return true;
    case AC_QUERYBGINFO:
        if (m.LParam)
            skinData_->GetOwnBGInfo(*reinterpret_cast<TacBGInfo*>(m.LParam), false);
        return true;
    case AC_BEFORESCROLL:
        if ((frame_->HandleAllocated() && AskWindow(frame_->Handle(), AC_QUERYUPDATING)) || skinData_->Updating)
            frame_->Perform(WM_SETREDRAW, 0, 0);
        return true;
    case AC_AFTERSCROLL:
        if ((frame_->HandleAllocated() && AskWindow(frame_->Handle(), AC_QUERYUPDATING)) || skinData_->Updating) {
            frame_->Perform(WM_SETREDRAW, 1, 0);
            Repaint(kRedrawNow);
        }
        return true;
    case AC_QUERYAPPLICATION:
        return CommonWndProc(m, skinData_.get());
    default:
        return false;
    }
}

// The sub-commands of a skinned frame; true when done.
bool TsFrameAdapter::SkinCommand(tw::TMessage& m)
{
    switch (SkinCommandOf(m.WParam)) {
    case AC_REFRESHSTATE:
        if (skinData_->ActiveState()) {
            skinData_->SetActiveState(false);
            Repaint(kRedrawChildren);
        }
        return true;
    case AC_SETACTIVESTATE: {
        skinData_->SetActiveState((m.WParam & 0xFFFF) == 1);
        for (int i = 0; i < frame_->ControlCount(); ++i)
            frame_->Controls(i)->Perform(m.Msg, m.WParam, m.LParam);
        return true;
    }
    case AC_QUERYACTIVE:
        m.Result = !(skinData_->CtrlSkinState & 1) && skinData_->ActiveState() ? 1 : 0;
        return true;
    case AC_PARENTBGCHANGED:
        skinData_->BGChangedFlag = true;
        return true;
    case AC_QUERYUPDATING: {
        const TsSkinManager* sm = skinData_->SkinManager();
        const TsGeneralData* s = sm && sm->SkinIndexValid(skinData_->SkinIndex) ? &sm->gd[size_t(skinData_->SkinIndex)]
                                                                               : nullptr;
        m.Result = s && (s->GradientPercent + s->ImagePercent > 0 || skinData_->Updating) ? 1 : 0;
        m.LParam = m.Result;
        return true;
    }
    case AC_QUERYCOLOR:
        m.Result = LRESULT(SkinColor());
        return true;
    default:
        return CommonWndProc(m, skinData_.get());
    }
}

void TsFrameAdapter::WndProc(tw::TMessage& m)
{
    if (Designing()) {
        old_(m);
        return;
    }
    if (m.Msg == SM_ALPHACMD && UnskinnedCommand(m))
        return;
    if (!Working()) {
        if ((m.Msg == tw::CM_VISIBLECHANGED || m.Msg == tw::CM_SHOWINGCHANGED) && frame_ && frame_->HandleAllocated()) {
            skinData_->UpdateIndexes();
            Broadcast(AC_SKINLOADED, 1);
        }
        old_(m);
        return;
    }
    if (m.Msg == SM_ALPHACMD) {
        if (!SkinCommand(m))
            old_(m);
        return;
    }
    switch (m.Msg) {
    case tw::CM_MOUSEENTER: {
        old_(m);
        // Speed buttons of the frame that still look hot leave that look.
        for (int i = 0; i < frame_->ControlCount(); ++i) {
            tw::TControl* c = frame_->Controls(i);
            if (reinterpret_cast<LPARAM>(c) == m.LParam || c->ClassName() != "TsSpeedButton")
                continue;
            if (SendSkinCommandToControl(c, AC_QUERYACTIVE) == 1)
                c->Perform(tw::CM_MOUSELEAVE, 0, 0);
        }
        if (TsSkinManager* sm = skinData_->SkinManager(); sm && frame_->HandleAllocated())
            SetManagerActiveControl(*sm, frame_->Handle());
        return;
    }
    case tw::CM_VISIBLECHANGED:
        skinData_->BGChangedFlag = true;
        old_(m);
        if (frame_->HandleAllocated())
            SendMessageW(frame_->Handle(), SM_ALPHACMD, SkinWParam(AC_SKINREFRESH),
                         reinterpret_cast<LPARAM>(skinData_->SkinManager()));
        return;
    case WM_MOVE:
    case WM_SIZE:
        // Moving shows a new part of a patterned parent only while updating.
        skinData_->BGChangedFlag = skinData_->BGChangedFlag || m.Msg == WM_SIZE || skinData_->Updating;
        if (skinData_->BGChangedFlag) {
            // Low word 1: it is the parent's picture that changed.
            for (int i = 0; i < frame_->ControlCount(); ++i) {
                tw::TControl* c = frame_->Controls(i);
                auto* win = dynamic_cast<tw::TWinControl*>(c);
                if (!win)
                    c->Perform(SM_ALPHACMD, SkinWParam(AC_BGCHANGED, 1), 0);
                else if (!win->IsDestroying() && win->HandleAllocated())
                    SendMessageW(win->Handle(), SM_ALPHACMD, SkinWParam(AC_BGCHANGED, 1), 0);
            }
            if (m.Msg == WM_SIZE && frame_->HandleAllocated())
                InvalidateRect(frame_->Handle(), nullptr, TRUE);
        }
        old_(m);
        return;
    case WM_PARENTNOTIFY: {
        const WORD event = LOWORD(m.WParam);
        // While the frame's own window is being made its children's windows
        // come with it; the skin reaches them once the frame is whole.
        if ((event != WM_CREATE && event != WM_DESTROY) || frame_->IsLoading() ||
            (frame_->ControlState() & tw::csCreating)) {
            old_(m);
            return;
        }
        if (event == WM_CREATE && frame_->HandleAllocated()) {
            skinData_->UpdateIndexes();
            Broadcast(AC_SKINLOADED, 1);
        }
        if (event == WM_CREATE)
            NotifyThirdParty();
        old_(m);
        // A child made now gets the skinned bars at once.
        UpdateScrollState(scroll_.get(), true);
        return;
    }
    case tw::CM_SHOWINGCHANGED:
        old_(m);
        if (frame_->HandleAllocated())
            AttachScrollAdapter(skinData_.get(), frame_->Handle(), scroll_);
        NotifyThirdParty();
        return;
    case WM_PAINT: {
        if (!frame_->Parent() || IsDestroying() || !frame_->HandleAllocated()) {
            old_(m);
            return;
        }
        const HWND wnd = frame_->Handle();
        if (!skinData_->HotStateAllowed())
            InvalidateRect(wnd, nullptr, TRUE);
        tw::TPaintDC paint(wnd);
        // The update region's DC clips to what needs it.
        HDC dc = m.WParam ? reinterpret_cast<HDC>(m.WParam) : paint.Handle();
        if (dc) {
            tw::TSavedDCState keep(dc);
            if (skinData_->HotStateAllowed()) {
                skinData_->SetActiveState(skinData_->CalcActiveState());
                if (!skinData_->ActiveState())
                    PaintFrame(dc);
            }
        }
        m.Result = 0;
        return;
    }
    case WM_ERASEBKGND:
        if (!EraseSkinned) {
            old_(m);
            return;
        }
        if (AnimPaintDC && reinterpret_cast<HDC>(m.WParam) != AnimPaintDC) {
            m.Result = 1;
            return;
        }
        // Painted whenever asked: a caller's DC (a print, an animation)
        // would otherwise keep whatever it held when the cache is good.
        skinData_->SetActiveState(skinData_->CalcActiveState());
        if (!skinData_->ActiveState())
            PaintFrame(reinterpret_cast<HDC>(m.WParam));
        m.Result = 1;
        return;
    case WM_NCPAINT:
        skinData_->SetActiveState(skinData_->CalcActiveState());
        m.Result = 0;
        return;
    case WM_PRINT:
        skinData_->SetActiveState(false);
        if (ControlIsReady(frame_)) {
            PaintFrame(reinterpret_cast<HDC>(m.WParam));
            PaintNCScrollBars(scroll_.get(), reinterpret_cast<HDC>(m.WParam));
        }
        return;
    default:
        old_(m);
        return;
    }
}

} // namespace skin
