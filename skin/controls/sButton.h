#pragma once
// Windows only. The skinned push button: the system button keeps the
// keyboard, the clicks and the focus; its face is the BUTTON section in the
// state the mouse gives (normal, hot, pressed) with the caption over it,
// built in the link's cache and drawn as the button's owner.
#include <functional>

#include "skin/controls/sControlBase.h"
#include "ui/StdCtrls.h"

namespace skin {

class TsButton : public TsSkinnedControl<tw::TButton> {
public:
    explicit TsButton(tw::TComponent* owner);
    // 0 normal, 1 hot, 2 pressed.
    int CurrentState() const;
    void WndProc(tw::TMessage& m) override;

protected:
    void CreateParams(tw::TCreateParams& p) override;
    bool SkinnedMessage(tw::TMessage& m) override;
    void SkinChanged() override
    {
        if (!SkinData.Skinned()) ClearButtonRegion(SkinData);
    }

private:
    void DrawFace(const DRAWITEMSTRUCT& di);
    // The cache in the current state, when it is out of date.
    void PaintFace();
    bool pressed_ = false;
};

// Whether a change of a button's face fades: the section asks for fading,
// the event is allowed, and the cache on screen is the one to fade from.
bool ButtonFadeWanted(TsCommonData& data, TacAnimatEvent event, TacAnimatEvents events);

// The skinned face of an owner-drawn button: where the skin asks, the face
// on screen fades into the new pressed state (the fade timer draws the
// frames), else paintFace builds the cache and it is drawn; the focus frame
// goes on top. pressedState is the button's own record of its state; events
// is the button's AnimatEvents.
void DrawOwnerButtonFace(const DRAWITEMSTRUCT& di, TsCommonData& data, TacAnimatEvents events, TsFadeTimer*& fade,
                         int paintedState, bool& pressedState, const std::function<void()>& paintFace);

// The plain face of an owner-drawn button while no skin is active.
void DrawPlainButton(const DRAWITEMSTRUCT& di, const std::string& caption, bool isDefault);

} // namespace skin
