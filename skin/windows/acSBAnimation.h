#pragma once
// The fade of one drawn caption button: when the button changes state, the
// picture on the title does not jump to the new one; a 12 ms timer shows
// blends from the picture that was on screen to the picture of the new
// state, and shows the button's halo on the way. The window that owns the
// button draws the pictures; the fade only blends and hands them back.
#include <windows.h>

#include <memory>

#include "skin/engine/effects/sFade.h"
#include "ui/ExtCtrls.h"
#include "ui/Graphics.h"

namespace skin {

class TacBorderForm;
class TacSBAnimation;
class TsCommonData;
class TsSkinManager;

// The fade and the halo of one caption button, kept beside its record.
struct TacButtonFx {
    TacSBAnimation* Animation = nullptr; // nullptr until the first fade; owned by the window's provider
    int GlowId = -1;                     // -1 while no halo is shown
    HWND GlowWnd = nullptr;              // the halo's window: an id reused after a skin change is not ours
    int State = 0;                       // the state last drawn or faded to
};

// What a fade needs of the window that draws the button.
class TacSBAnimationHost {
public:
    // The picture of the button in a state as the title shows it (the title
    // behind it included), sized as the button; false while the button is
    // not on the title.
    virtual bool ButtonPicture(int code, int state, tw::TBitmap& out) = 0;
    // What the title shows of the button now.
    virtual bool ShownButtonPicture(int code, tw::TBitmap& out) = 0;
    // Puts a picture of the button onto the title.
    virtual void ShowButtonPicture(int code, tw::TBitmap& picture) = 0;
    // The button's halo on or off.
    virtual void ButtonGlow(int code, bool show) = 0;
    // The fade is over: the button is drawn in its state as without a fade.
    virtual void ButtonFadeEnded(int code) = 0;

protected:
    ~TacSBAnimationHost() = default;
};

inline constexpr unsigned SBAnimationInterval = 12;

class TacSBAnimation : public TsTickTimer {
public:
    explicit TacSBAnimation(tw::TComponent* owner);

    // Set by StartBtnAnimation.
    TacBorderForm* BorderForm = nullptr;
    HWND Wnd = nullptr;
    TsCommonData* SkinData = nullptr;
    TacSBAnimationHost* Host = nullptr;
    int Button = 0;     // the button's hit code
    int NewState = 0;   // 0 normal, 1 hot, 2 pressed
    int Steps = 0;      // the frames of a whole fade
    bool Restart = false;

    // The frame shown next (1-based) and the frames of this fade.
    int CurrentStep() const { return step_; }
    int FrameCount() const { return frames_; }
    // True while frames are still to be shown; the painters then draw the
    // button's first frame and leave the rest to the timer.
    bool Running() const { return Enabled(); }
    // The weight of the old picture in the frame of the current step.
    uint8_t Alpha() const;

    // Begins the fade towards NewState from what the title shows now. A
    // fade without Restart that turns a running one back takes as many
    // frames as the running one had shown.
    void StartAnimation();
    // Both pictures drawn again; a press is put on the title at once.
    void RebuildFrames();
    void Stop();

private:
    void Tick() override;
    void TickFailed() override { Stop(); }
    std::unique_ptr<tw::TBitmap> from_, to_;
    int step_ = 0;
    int frames_ = 0;
};

// Who starts a fade: the component that owns the timer and the window the
// button is drawn on. Without an owner or a host nothing happens.
struct TacSBAnimationOwner {
    tw::TComponent* Owner = nullptr;
    TacSBAnimationHost* Host = nullptr;
    TacBorderForm* BorderForm = nullptr;
    HWND Wnd = nullptr;
    TsCommonData* SkinData = nullptr;
};

// Starts (or turns) the fade of one button towards a state. A running fade
// takes the new state and steps; a press (state 2) shows at once.
void StartBtnAnimation(TacButtonFx& button, int code, int newState, int steps, const TacSBAnimationOwner& owner,
                       bool restart);
// Stops and frees a button's fade. From inside the fade's own tick the
// timer is only stopped, and freed once the tick is over.
void FreeBtnAnimation(TacSBAnimation*& animation);

// Whether a caption button's change from one state to another runs as a
// fade: as the controls' fades, not while a skin loads and only on the
// mouse events the manager lets buttons fade on; and only with glowing
// allowed (which needs layered windows) or an extended border.
bool CaptionFadeAllowed(const TsSkinManager* sm, bool borderWindow, int oldState, int newState);

// What a caption button is drawn with, for its halo.
struct TCaptionGlyph {
    int Code = 0;        // hit code: close, maximize, minimize, help
    bool Large = true;   // the BICON set, else SICON
    bool Zoomed = false; // maximize shows restore
    bool Iconic = false; // minimize shows restore
};
// Shows the halo of a caption button (its picture's mask name followed by
// "GLOW") around its screen rectangle, unless one is shown already. The
// skin gives halos to close, maximize and minimize only.
void ShowCaptionGlow(TacButtonFx& fx, TsSkinManager* sm, const TCaptionGlyph& glyph, const tw::TRect& screen,
                     HWND host);
void HideCaptionGlow(TacButtonFx& fx);

// The state the painters draw a caption button in: while its fade runs, the
// first frame (the timer puts its frames over it); a button drawn normal
// loses its halo.
int PaintedButtonState(TacButtonFx* fx, int state);

} // namespace skin
