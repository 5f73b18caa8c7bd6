// Building blocks of the tools' dialogs: a control made, named, placed and
// captioned in one call, as a window layout would hold it. The dialogs are
// built from the skinned controls, so they wear the program's skin.
#pragma once

#include <string>

#include "skin/controls/sButtons.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/link/sCommonData.h"
#include "ui/Buttons.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/StdCtrls.h"

namespace tw {

// Creates a control of type T owned by `owner`, parented to `parent`.
template <class T>
T* Place(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int width, int height,
         const std::string& caption = std::string())
{
    T* c = new T(owner);
    c->SetName(name);
    c->SetParent(parent);
    c->SetBounds(left, top, width, height);
    if (!caption.empty())
        c->SetCaption(caption);
    return c;
}

// A control whose caption is a label bound to it: the label is the
// control's, sits beside or above it and follows its caption.
class IBoundCaption {
public:
    virtual ~IBoundCaption() = default;
    virtual skin::TsBoundLabel& BoundLabel() = 0;
};

// A bound label's text in the skin's font colour for what lies under it
// (the label itself paints as a plain label); its own colour without a skin.
void TakeSkinFontColor(skin::TsBoundLabel& bound);

template <class T> class TBound final : public T, public IBoundCaption {
public:
    explicit TBound(TComponent* owner) : T(owner), bound_(this, &this->SkinData) {}
    skin::TsBoundLabel& BoundLabel() override { return bound_; }
    // The caption goes where its control goes (a window that anchors its
    // controls moves them when it is resized).
    void SetBounds(int left, int top, int width, int height) override
    {
        T::SetBounds(left, top, width, height);
        if (bound_.Active()) bound_.UpdatePosition();
    }
    void WndProc(TMessage& m) override
    {
        T::WndProc(m);
        if (m.Msg != skin::SM_ALPHACMD) return;
        const uint16_t command = skin::SkinCommandOf(m.WParam);
        if (command == skin::AC_SKINLOADED || command == skin::AC_SKINREMOVED || command == skin::AC_SKINREFRESH)
            TakeSkinFontColor(bound_);
    }

protected:
    void HandleCreated() override
    {
        T::HandleCreated();
        TakeSkinFontColor(bound_);
    }

private:
    skin::TsBoundLabel bound_;
};

// The bound label of a control made by PlaceBound; nullptr for any other.
skin::TsBoundLabel* BoundLabelOf(TComponent* control);

// A skinned edit-type control (T: TsEdit, TsSpinEdit, TsAlphaListBox, ...)
// with its caption in a bound label. The label is placed once the control
// has its bounds, so both are in their final place.
template <class T>
T* PlaceBound(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int width, int height,
              const std::string& caption, skin::TsCaptionLayout layout = skin::sclLeft)
{
    auto* c = Place<TBound<T>>(owner, parent, name, left, top, width, height);
    c->BoundLabel().SetLayout(layout);
    c->BoundLabel().SetCaption(caption);
    c->BoundLabel().SetActive(true);
    TakeSkinFontColor(c->BoundLabel());
    return c;
}

// A skinned button that ends its modal form with `result` (mrNone: only its
// click); with mrCancel it is the form's cancel button, pressed by Escape.
skin::TsBitBtn* PlaceButton(TComponent* owner, TWinControl* parent, const char* name, int left, int top,
                            const std::string& caption, TModalResult result);

// Gives a button the program's picture `resource` (a PNG with alpha) beside
// its caption, on the side the layout names; false, with the button left as
// it was, when the picture cannot be loaded.
bool SetButtonPicture(TBitBtn* button, const std::string& resource, TButtonLayout layout);

// Plays a sound of the program and shows a message box (the window tests
// answer both through the dialog seam).
void ToolMessage(const std::string& sound, const std::string& text, TMsgDlgType type);

} // namespace tw
