#pragma once
// The skin provider of a form: it takes over the form's message procedure,
// draws the frame and title bar from the skin, answers the hit test for the
// drawn frame, runs the drawn caption buttons and keeps the window region in
// step with the size. Removing the skin gives the form its system frame back
// with nothing left subclassed.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "skin/engine/data/FormGeometry.h"
#include "skin/engine/link/SkinnedForms.h"
#include "ui/Forms.h"

namespace skin {

class TsSkinManager;

// A window or control with this Tag is never skinned from outside.
inline constexpr std::intptr_t acNoSkinTag = -98;

// What the provider asks of the system that tests must be able to set: Wine
// shows no desktop composition and answers an old Windows version.
struct TPlatformAnswers {
    std::function<bool()> CompositionEnabled;
    std::function<DWORD()> MajorVersion;
};
TPlatformAnswers& PlatformAnswers();
// True only on version 6 and later with the compositor running.
bool DwmCompositionEnabled();
// Sets DWMWA_TRANSITIONS_FORCEDISABLED while composition runs.
void SetDwmTransitions(HWND wnd, bool off);

// rmStandard: the system moves and sizes the form; rmBorder: the provider
// drags an outline and moves or sizes the window once, at the release.
enum TResizeMode { rmStandard, rmBorder };

class TsSkinProvider : public tw::TComponent, public TSkinnedFormLink {
public:
    // The owner is the form; anything else is left alone.
    explicit TsSkinProvider(tw::TComponent* owner);
    ~TsSkinProvider() override;

    tw::TCustomForm* Form() const { return form_; }
    TsSkinManager* SkinManager() const;
    void SetSkinManager(TsSkinManager* m) { manager_ = m; }
    // The form takes the skin's colour while skinned (its own comes back
    // with the system frame).
    bool UseGlobalColor() const { return useGlobalColor_; }
    void SetUseGlobalColor(bool u);
    bool DrawNonClientArea() const { return drawNonClient_; }
    void SetDrawNonClientArea(bool d);
    TResizeMode ResizeMode() const { return resizeMode_; }
    void SetResizeMode(TResizeMode m) { resizeMode_ = m; }
    // True while this provider drags an outline.
    bool Dragging() const;
    // True while the provider has the form's message procedure.
    bool Subclassed() const { return subclassed_; }
    // The hit code of the hot or pressed caption button (0 none).
    int HotCode() const { return hotCode_; }
    bool ButtonPressed() const { return pressed_; }
    // The caption buttons as last placed, in window coordinates.
    const TCaptionLayout& Buttons() const { return buttons_; }

    // Takes over the form (when the skin is there and the form is not
    // excluded) and paints its frame; Remove gives the form back.
    void ApplySkin();
    void RemoveSkin();

    // TSkinnedFormLink
    TsSkinManager* LinkManager() const override { return SkinManager(); }
    bool FormSkinned() const override { return subclassed_; }
    void SetSkinChangeLock(bool locked) override { changeLocked_ = locked; }
    bool HasBorderWindow() const override { return false; }
    void UpdateFormRegion() override;
    void UpdateBorderWindow(uint8_t) override {}

    // Paints the frame and title bar into the window's DC.
    void PaintNonClient();

private:
    struct TMeasures {
        int Width = 0, Height = 0;
        int Border = 0;      // frame width the system keeps around the client
        int Title = 0;       // title bar height below the top frame
        int Menu = 0;        // menu line
        TRect Client;        // in window coordinates
    };

    bool CanSkin() const;
    void TakeColor(bool take);
    void Subclass();
    void Unsubclass();
    void NewWndProc(tw::TMessage& m);
    void CallSaved(tw::TMessage& m);
    // Lets the saved procedure handle a message that would draw the system
    // caption, with the window marked invisible so it draws nothing.
    void CallSavedHidden(tw::TMessage& m);
    TMeasures Measure() const;
    TSysMenuState MenuState() const;
    TCaptionLayoutInput CaptionInput(const TMeasures& ms) const;
    THitTestInput HitInput(const TMeasures& ms) const;
    TRect IconRect(const TMeasures& ms) const;
    int HitTest(TPoint screen);
    void SetHotButton(int code);
    void ButtonUp(int code, LPARAM lp);
    int MaskIndex(const char* name) const;
    // The outline drag of rmBorder.
    void BeginOutline(int code, TPoint screen);
    void FollowOutline(TPoint screen);
    void EndOutline(bool apply);

    tw::TCustomForm* form_ = nullptr;
    TsSkinManager* manager_ = nullptr;
    tw::TWndMethod saved_;
    bool subclassed_ = false;
    bool drawNonClient_ = true;
    bool useGlobalColor_ = true;
    bool colorTaken_ = false;
    tw::TColor ownColor_ = 0;
    TResizeMode resizeMode_ = rmStandard;
    bool changeLocked_ = false;
    bool formActive_ = true;
    bool pressed_ = false;
    bool trackingLeave_ = false;
    int hotCode_ = 0;
    TCaptionLayout buttons_;
    SIZE regionSize_{-1, -1};
};

} // namespace skin
