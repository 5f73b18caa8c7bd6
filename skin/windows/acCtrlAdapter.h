#pragma once
// The control adapter of a skinned form: it walks the form's controls and
// gives the windows that need it an adapter of their own (the skinned scroll
// bars of the memo, the lists and the grid; the skin's colours and frame for
// the controls of the class library that have no skin link). The provider
// makes it while the skin is on and frees it with the skin: every window
// then has its own procedure and the system's look back.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "skin/engine/link/sCommonData.h"
#include "skin/windows/acSBUtils.h"

namespace tw {
class TComponent;
class TControl;
class TWinControl;
class TCustomForm;
} // namespace tw

namespace skin {

class TsSkinManager;

// The colours a control that paints its own field wears while its form is
// skinned: those of the skin's edit fields, and the skin's highlight for
// what it marks.
struct TacFieldColors {
    TColor Color = 0;          // the field
    TColor FontColor = 0;      // its text
    TColor HotFontColor = 0;   // text that stands out from the rest
    TColor Highlight = 0;      // selected and marked parts
    TColor HighlightText = 0;  // text on them
    bool operator==(const TacFieldColors&) const = default;
};
// The field colours of the manager's skin; false when it has no edit
// section (the control keeps its own colours then).
bool FieldColorsOf(const TsSkinManager& manager, TacFieldColors& colors);

// A control that paints its field itself in colours of its own (the hex
// grid; the value list editor of the class library is handed its colours the
// same way, mixed for its parts): the control adapter hands it the skin's field colours while the
// form is skinned and after every skin change, and nullptr when the skin
// goes, so that it shows its own colours again.
class IacFieldColors {
public:
    virtual void SkinFieldColors(const TacFieldColors* colors) = 0;

protected:
    ~IacFieldColors() = default;
};

class TacCtrlAdapter {
public:
    TacCtrlAdapter(tw::TCustomForm* form, TsSkinManager* manager);
    ~TacCtrlAdapter();
    TacCtrlAdapter(const TacCtrlAdapter&) = delete;
    TacCtrlAdapter& operator=(const TacCtrlAdapter&) = delete;

    // Adapts one control (and its children), or with nullptr the whole form.
    // Adapters of windows that have ended are dropped first, so a window made
    // again (RecreateWnd) gets a new one.
    void AdaptControls(tw::TWinControl* control = nullptr);
    // Whether a control would get an adapter of its own now.
    bool CanAdapt(tw::TControl* control) const;
    // Gives one control its adapter (nothing when it has one or needs none).
    void AdaptControl(tw::TControl* control);
    // Controls made since the form was adapted get theirs (the form must
    // be alive and the skin on).
    void AdaptNewControls();
    // The skin changed: every adapted window shows the new one.
    void Refresh();
    // A skin message (SM_ALPHACMD) for every control adapted here: sent to
    // the adapters' windows, handed to the links of the controls that got
    // one. The provider sends AC_SKINREMOVED through it before it frees
    // the adapter, so the links drop the skin with the adapters.
    void SkinMessage(tw::TMessage& m);

    // Asked for each control before it gets its adapter (the form's skin
    // provider hands its OnSkinItem on): it may refuse the control.
    std::function<void(tw::TComponent* item, bool& canBeAdded, std::string& skinSection)> OnSkinItem;

    // The adapter of a window, nullptr when it has none from here.
    TacMainWnd* AdapterOf(HWND wnd) const;
    int Count() const;

    // The manager's list of foreign classes that names the control's class
    // (ThirdPartyList index), -1 when none does or the rule is off.
    int ThirdPartyKind(const tw::TControl* control) const;
    // The skin link given out to a foreign control, nullptr when it has none.
    TsCommonData* SkinLinkOf(const tw::TControl* control) const;

private:
    void Sweep();
    // Hands a self-painting field the skin's colours (remembered, so they
    // are taken back when the adapter goes).
    void GiveFieldColors(tw::TControl* control);
    void GiveSkinLink(tw::TWinControl* control, int kind);
    tw::TCustomForm* form_;
    TsSkinManager* manager_;
    std::vector<std::unique_ptr<TacMainWnd>> adapters_;
    struct TLink {
        tw::TWinControl* Control;
        HWND Wnd;
        std::unique_ptr<TsCommonData> Data;
    };
    std::vector<TLink> links_;
    struct TField {
        tw::TWinControl* Owner;
        HWND Wnd;
    };
    std::vector<TField> fields_;
};

} // namespace skin
