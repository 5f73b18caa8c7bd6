#pragma once
// Cross-fades of skinned controls between two states: the control saves its
// picture, repaints its cache in the new state, and a 10 ms timer shows
// blends of the two until the new picture stands alone. The step and
// weight arithmetic is portable; the timers are on the Windows side.
#include <cstdint>

#ifdef _WIN32
#include <memory>

#include "ui/ExtCtrls.h"
#include "ui/Graphics.h"
#endif

namespace skin {

class TsSkinManager;

// The events a control fades on (a set of bits, 1 << event).
enum TacAnimatEvent { aeMouseEnter, aeMouseLeave, aeMouseDown, aeMouseUp, aeGlobalDef };
using TacAnimatEvents = unsigned;
inline constexpr TacAnimatEvents DefaultAnimatEvents = 1u << aeGlobalDef;

// Whether the control fades on the event: its own set decides, or with
// aeGlobalDef the manager's button events (nullptr: the default manager).
bool AnimEventAllowed(TacAnimatEvent event, TacAnimatEvents events, const TsSkinManager* manager);

// Where a fade stands: direction 0 idle, 1 in, 2 out.
struct TFadeSteps {
    uint8_t Direction = 0;
    int32_t FrameCount = 0;
    int32_t CurrentStep = 0;

    // Sets up a new fade of `iterations` frames (halved when fast). A fade
    // that replaces a running one continues from where that one stood.
    void Begin(bool running, int iterations, bool fast, uint8_t direction);
    // The fade is over once the step leaves 0..FrameCount.
    bool Ended() const { return CurrentStep < 0 || CurrentStep > FrameCount; }
    // The weight of the old picture in the current frame.
    uint8_t Alpha() const;
};

inline constexpr unsigned FadeInterval = 10;

#ifdef _WIN32

// What a fade needs of a control's skin link.
class TFadeLink {
public:
    virtual tw::TControl* FadeOwner() const = 0;
    virtual bool FadeSkinned() const = 0;
    virtual TsSkinManager* FadeManager() const = 0;
    virtual int FadeSkinIndex() const = 0;
    // The control's painted picture; nullptr before the first paint.
    virtual tw::TBitmap* FadeCache() const = 0;
    virtual bool BGChanged() const = 0;
    virtual void SetBGChanged(bool changed) = 0;
    virtual void UpdateControlGlow(bool forced) = 0;
    // The control's cache is out of date: it paints itself anew.
    virtual void InvalidateOwner() = 0;

protected:
    ~TFadeLink() = default;
};

// A fade's timer, which its own tick may end: an exception out of a tick
// goes to TickFailed (nothing unwinds through the timer's window procedure),
// and a timer released inside its own tick is freed once the tick returned.
class TsTickTimer : public tw::TTimer {
public:
    explicit TsTickTimer(tw::TComponent* owner);
    ~TsTickTimer() override;
    // Frees the timer, or, from inside its own tick, once the tick is over.
    static void Release(TsTickTimer* timer);

private:
    virtual void Tick() = 0;
    virtual void TickFailed() = 0;
    bool ticking_ = false;
};

// The fade of a windowed control, painted straight onto its window.
class TsFadeTimer : public TsTickTimer {
public:
    explicit TsFadeTimer(tw::TComponent* owner) : TsTickTimer(owner) {}

    TFadeSteps Steps;
    TFadeLink* Link = nullptr;
    std::unique_ptr<tw::TBitmap> Saved;   // the picture before the change

private:
    void Tick() override;
    void TickFailed() override;
};

// Starts (or restarts) the control's fade towards the new state; without a
// fade the control just repaints. Allowed is the caller's AnimEventAllowed.
void StartFadeEffect(TsFadeTimer*& timer, TFadeLink* link, bool fast, uint8_t direction, bool allowed);
// Ends the fade and frees its timer. From inside the timer's own tick the
// timer is only stopped and freed once the tick is over.
void StopFadeEffect(TsFadeTimer*& timer);

// Blended frames for controls that paint them themselves (speed buttons):
// the owner sets Saved, calls Start and paints Frame whenever it is told to
// drop its cache.
class TsAnimTimer : public tw::TTimer {
public:
    explicit TsAnimTimer(tw::TComponent* owner);
    ~TsAnimTimer() override;
    void Start(TFadeLink* link);

    TFadeSteps Steps;
    TFadeLink* Link = nullptr;
    std::unique_ptr<tw::TBitmap> Saved, Frame;

private:
    void Tick();
    bool busy_ = false;
};

#endif

} // namespace skin
