#include "skin/windows/acSBAnimation.h"

#include <algorithm>

#include "skin/engine/data/FormGeometry.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/effects/sFade.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/GlyphDrawing.h"

namespace skin {

namespace {

bool SameSize(const tw::TBitmap& a, const tw::TBitmap& b)
{
    return a.Width() == b.Width() && a.Height() == b.Height() && a.Width() > 0 && a.Height() > 0;
}

} // namespace

// A frame that fails ends the fade (TickFailed), and the button is drawn in
// its state.
TacSBAnimation::TacSBAnimation(tw::TComponent* owner) : TsTickTimer(owner) { SetInterval(SBAnimationInterval); }

uint8_t TacSBAnimation::Alpha() const
{
    if (frames_ <= 0)
        return 0;
    return static_cast<uint8_t>(std::clamp(255 - (step_ * 256) / frames_, 0, 255));
}

void TacSBAnimation::Stop()
{
    // An animated show no longer has to tell this window of its frames.
    if (Wnd && FadeWindow == Wnd)
        FadeWindow = nullptr;
    SetEnabled(false);
    from_.reset();
    to_.reset();
}

void TacSBAnimation::StartAnimation()
{
    const bool turning = Running() && !Restart;
    const int shown = step_ - 1;
    auto from = std::make_unique<tw::TBitmap>();
    auto to = std::make_unique<tw::TBitmap>();
    if (!Host || !Wnd || !IsWindow(Wnd) || !Host->ShownButtonPicture(Button, *from) ||
        !Host->ButtonPicture(Button, NewState, *to) || !SameSize(*from, *to)) {
        // Nothing to fade between: the button just shows its state.
        Stop();
        if (Host)
            Host->ButtonFadeEnded(Button);
        return;
    }
    from_ = std::move(from);
    to_ = std::move(to);
    frames_ = std::max(1, Steps);
    // The way back from a fade that had not got far is as short.
    if (turning)
        frames_ = std::clamp(shown, 1, frames_);
    step_ = 1;
    SetInterval(SBAnimationInterval);
    SetEnabled(true);
}

void TacSBAnimation::RebuildFrames()
{
    from_.reset();
    to_.reset();
    auto to = std::make_unique<tw::TBitmap>();
    if (!Host || !Wnd || !IsWindow(Wnd) || !Host->ButtonPicture(Button, NewState, *to) || to->Empty()) {
        Stop();
        if (Host)
            Host->ButtonFadeEnded(Button);
        return;
    }
    auto from = std::make_unique<tw::TBitmap>();
    from->Assign(*to);
    from_ = std::move(from);
    to_ = std::move(to);
    frames_ = std::max(1, Steps);
    // Shown at once: the next tick only ends the fade.
    step_ = frames_ + 1;
    SetInterval(SBAnimationInterval);
    SetEnabled(true);
    Host->ShowButtonPicture(Button, *to_);
    Host->ButtonGlow(Button, NewState != 0);
}

void TacSBAnimation::Tick()
{
    if (!Host || IsDestroying())
        return;
    if (!Wnd || !IsWindow(Wnd)) {
        Stop();
        return;
    }
    if (step_ > frames_ || !from_ || !to_) {
        Stop();
        Host->ButtonFadeEnded(Button);
        return;
    }
    // While the fade runs its window repaints over an animated show.
    FadeWindow = Wnd;
    Host->ButtonGlow(Button, NewState != 0);
    // Showing a halo makes a window; whatever that set off may have ended
    // this fade meanwhile.
    if (!Host || !from_ || !to_)
        return;
    tw::TBitmap frame;
    frame.Assign(*from_);
    SumBitmaps(frame.PixelView(), to_->PixelView(), Alpha());
    Host->ShowButtonPicture(Button, frame);
    ++step_;
}

void StartBtnAnimation(TacButtonFx& button, int code, int newState, int steps, const TacSBAnimationOwner& owner,
                       bool restart)
{
    if (!owner.Owner || !owner.Host)
        return;
    TacSBAnimation* a = button.Animation;
    if (!a) {
        a = new TacSBAnimation(owner.Owner);
        button.Animation = a;
    }
    a->BorderForm = owner.BorderForm;
    a->Wnd = owner.Wnd;
    a->SkinData = owner.SkinData;
    a->Host = owner.Host;
    a->Button = code;
    // The fade always ends at the state asked for last: a way back that
    // kept the old target would leave a button hot after the mouse left.
    a->NewState = newState;
    a->Steps = steps;
    a->Restart = restart;
    if (newState == 2) {
        a->RebuildFrames();
        return;
    }
    if (newState == 0)
        owner.Host->ButtonGlow(code, false);
    a->StartAnimation();
}

void FreeBtnAnimation(TacSBAnimation*& animation)
{
    TacSBAnimation* a = animation;
    if (!a)
        return;
    animation = nullptr;
    if (a->IsDestroying())
        return;
    a->Stop();
    a->Host = nullptr;
    TsTickTimer::Release(a);
}

bool CaptionFadeAllowed(const TsSkinManager* sm, bool borderWindow, int oldState, int newState)
{
    if (!sm || sm->Loading() || (!sm->AllowGlowing() && !borderWindow))
        return false;
    const TacAnimatEvent event = newState == 2   ? aeMouseDown
                                 : newState == 1 ? (oldState == 2 ? aeMouseUp : aeMouseEnter)
                                                 : aeMouseLeave;
    return AnimEventAllowed(event, DefaultAnimatEvents, sm);
}

void ShowCaptionGlow(TacButtonFx& fx, TsSkinManager* sm, const TCaptionGlyph& glyph, const tw::TRect& screen,
                     HWND host)
{
    if (!sm || !sm->AllowGlowing())
        return;
    if (fx.GlowId >= 0 && fx.GlowWnd && GlowWindow(fx.GlowId) == fx.GlowWnd)
        return;
    fx.GlowId = -1;
    fx.GlowWnd = nullptr;
    const TsSkinData& d = sm->SkinData;
    int glow = 0, margin = 0;
    const char* name = nullptr;
    switch (glyph.Code) {
    case htClose:
        glow = d.BICloseGlow, margin = d.BICloseGlowMargin, name = glyph.Large ? "BICONCLOSE" : "SICONCLOSE";
        break;
    case htMaxButton:
        glow = d.BIMaxGlow, margin = d.BIMaxGlowMargin;
        name = glyph.Zoomed ? "BICONNORM" : glyph.Large ? "BICONMAX" : "SICONMAX";
        break;
    case htMinButton:
        glow = d.BIMinGlow, margin = d.BIMinGlowMargin;
        name = glyph.Iconic ? "BICONNORM" : glyph.Large ? "BICONMIN" : "SICONMIN";
        break;
    default:
        return;
    }
    if (glow < 1 || screen.Right <= screen.Left || screen.Bottom <= screen.Top)
        return;
    const TRect clip(0, 0, screen.Right - screen.Left, screen.Bottom - screen.Top);
    fx.GlowId = ShowGlow(screen, clip, "GLOBALINFO", sm, host, margin, std::string(name) + "GLOW");
    fx.GlowWnd = GlowWindow(fx.GlowId);
}

void HideCaptionGlow(TacButtonFx& fx)
{
    // The list may have been cleared (a skin change) and the id given to
    // another halo since.
    if (fx.GlowId >= 0 && fx.GlowWnd && GlowWindow(fx.GlowId) == fx.GlowWnd)
        HideGlow(fx.GlowId);
    fx.GlowId = -1;
    fx.GlowWnd = nullptr;
}

int PaintedButtonState(TacButtonFx* fx, int state)
{
    if (!fx)
        return state;
    if (fx->Animation && fx->Animation->Running())
        return 0;
    if (state == 0)
        HideCaptionGlow(*fx);
    return state;
}

} // namespace skin
