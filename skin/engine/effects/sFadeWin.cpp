#include <set>

#include "base/Sync.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/sFade.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "ui/Application.h"

namespace skin {

namespace {

const TsGeneralData* Section(const TFadeLink* link)
{
    const TsSkinManager* m = link->FadeManager();
    if (!m || !m->SkinIndexValid(link->FadeSkinIndex()))
        return nullptr;
    return &m->gd[static_cast<size_t>(link->FadeSkinIndex())];
}

bool OwnerAlive(tw::TControl* owner)
{
    return owner && !owner->IsDestroying() && !tw::Application->Terminated();
}

// The old picture blended with the new one by the fade's current weight.
std::unique_ptr<tw::TBitmap> BlendedFrame(const tw::TBitmap& saved, tw::TBitmap* cache, uint8_t alpha)
{
    auto frame = std::make_unique<tw::TBitmap>();
    frame->Assign(saved);
    if (cache)
        SumBitmaps(frame->PixelView(), cache->PixelView(), alpha);
    return frame;
}

// Timers released inside their own tick, freed once the tick has returned;
// one that goes with its owner before that leaves the set itself.
std::set<TsTickTimer*>& PendingFrees()
{
    static std::set<TsTickTimer*> pending;
    return pending;
}

} // namespace

TsTickTimer::TsTickTimer(tw::TComponent* owner) : tw::TTimer(owner)
{
    SetEnabled(false);
    OnTimer = [this](tw::TObject*) {
        ticking_ = true;
        try {
            Tick();
        } catch (...) {
            // The fade stops where it is, and the failure is reported.
            TickFailed();
            tw::Application->HandleException(this);
        }
        ticking_ = false;
    };
}

TsTickTimer::~TsTickTimer() { PendingFrees().erase(this); }

void TsTickTimer::Release(TsTickTimer* timer)
{
    if (!timer->ticking_) {
        delete timer;
        return;
    }
    // Freeing the timer now would pull its tick out from under itself.
    PendingFrees().insert(timer);
    tw::Queue([timer] {
        if (PendingFrees().erase(timer))
            delete timer;
    });
}

// A failed frame ends the fade and the control shows its new picture.
void TsFadeTimer::TickFailed()
{
    SetEnabled(false);
    Steps.Direction = 0;
    if (Link && Link->FadeOwner())
        Link->FadeOwner()->Invalidate();
}

void TsFadeTimer::Tick()
{
    if (!Link || IsDestroying())
        return;
    tw::TControl* owner = Link->FadeOwner();
    if (!OwnerAlive(owner)) {
        Steps.Direction = 0;
        return;
    }
    if (Steps.Ended()) {
        owner->Perform(SM_ALPHACMD, SkinWParam(AC_STOPANIMATION), 0);
        return;
    }
    if (Steps.Direction != 1 && Steps.Direction != 2)
        return;
    if (!owner->Enabled()) {
        // The cache still shows the enabled state the fade was heading for:
        // the control builds its disabled picture at once.
        SetEnabled(false);
        Steps.FrameCount = 0;
        Link->InvalidateOwner();
        return;
    }
    if (Saved) {
        auto frame = BlendedFrame(*Saved, Link->FadeCache(), Steps.Alpha());
        if (Steps.FrameCount != 0 &&
            owner->Perform(SM_ALPHACMD, SkinWParam(AC_FADEFRAME), reinterpret_cast<LPARAM>(frame.get())) == 0 &&
            owner->IsWindowed()) {
            auto* win = static_cast<tw::TWinControl*>(owner);
            if (win->HandleAllocated()) {
                TWindowDC dc(win->Handle());
                BitBlt(dc.Handle(), 0, 0, frame->Width(), frame->Height(), frame->Canvas().Handle(), 0, 0, SRCCOPY);
            }
        }
    }
    ++Steps.CurrentStep;
}

void StartFadeEffect(TsFadeTimer*& timer, TFadeLink* link, bool fast, uint8_t direction, bool allowed)
{
    if (!link || !link->FadeSkinned())
        return;
    tw::TControl* owner = link->FadeOwner();
    const TsGeneralData* section = Section(link);
    const TsSkinManager* manager = link->FadeManager();
    if (section && section->FadingEnabled && allowed && !SkinLoading && !(manager && manager->Loading()) && link->FadeCache() &&
        !link->BGChanged()) {
        link->SetBGChanged(true);
        const bool running = timer != nullptr;
        if (!timer)
            timer = new TsFadeTimer(owner);
        timer->Link = link;
        // Taken now, before the control paints its new state into the cache.
        timer->Saved = std::make_unique<tw::TBitmap>();
        timer->Saved->Assign(*link->FadeCache());
        timer->SetInterval(FadeInterval);
        timer->Steps.Begin(running, section->FadingIterations, fast, direction);
        owner->Perform(SM_ALPHACMD, SkinWParam(AC_FADESTART), 0);
        timer->SetEnabled(direction != 0);
    } else {
        link->SetBGChanged(true);
        StopFadeEffect(timer);
        if (owner)
            owner->Repaint();
    }
    link->UpdateControlGlow(fast);
}

void StopFadeEffect(TsFadeTimer*& timer)
{
    TsFadeTimer* t = timer;
    if (!t || t->IsDestroying())
        return;
    timer = nullptr;
    t->SetEnabled(false);
    t->Steps.Direction = 0;
    TsTickTimer::Release(t);
}

TsAnimTimer::TsAnimTimer(tw::TComponent* owner) : tw::TTimer(owner)
{
    SetEnabled(false);
    OnTimer = [this](tw::TObject*) {
        try {
            Tick();
        } catch (...) {
            SetEnabled(false);
            busy_ = false;
            tw::Application->HandleException(this);
        }
    };
}

TsAnimTimer::~TsAnimTimer() = default;

void TsAnimTimer::Start(TFadeLink* link)
{
    Link = link;
    SetInterval(FadeInterval);
    const TsGeneralData* section = link ? Section(link) : nullptr;
    Steps.FrameCount = section ? section->FadingIterations : 0;
}

void TsAnimTimer::Tick()
{
    if (!Link || IsDestroying())
        return;
    tw::TControl* owner = Link->FadeOwner();
    if (!OwnerAlive(owner))
        return;
    if (Steps.Ended()) {
        SetEnabled(false);
        owner->Perform(SM_ALPHACMD, SkinWParam(AC_STOPANIMATION), 0);
        return;
    }
    if (!busy_ && Steps.FrameCount != 0 && Saved) {
        busy_ = true;
        Frame = BlendedFrame(*Saved, Link->FadeCache(), Steps.Alpha());
        owner->Perform(SM_ALPHACMD, SkinWParam(AC_SETACTIVESTATE, 0), 0);
        owner->Perform(SM_ALPHACMD, SkinWParam(AC_RESETCACHE), 0);
        busy_ = false;
    }
    ++Steps.CurrentStep;
}

} // namespace skin
