// What the tools' window tests check about the skin: that a window is built
// from the skinned controls only, each with its section in the loaded skin,
// and where a bound label sits beside its control.
#pragma once

#include <string>
#include <vector>

#include "skin/controls/sAlphaListBox.h"
#include "skin/controls/sButton.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sCheckBox.h"
#include "skin/controls/sCheckListBox.h"
#include "skin/controls/sComboBox.h"
#include "skin/controls/sEdit.h"
#include "skin/controls/sFileNameEdit.h"
#include "skin/controls/sGauge.h"
#include "skin/controls/sGroupBox.h"
#include "skin/controls/sHeaderControl.h"
#include "skin/controls/sLabel.h"
#include "skin/controls/sMaskEdit.h"
#include "skin/controls/sPageControl.h"
#include "skin/controls/sPanel.h"
#include "skin/controls/sScrollBar.h"
#include "skin/controls/sSpinEdit.h"
#include "skin/controls/sStatusBar.h"
#include "skin/controls/sTrackBar.h"
#include "ui/Forms.h"

namespace tw::test {

// The skin link of a skinned control; nullptr for anything else.
inline skin::TsCommonData* SkinLinkOf(TComponent* c)
{
#define TW_SKIN_LINK(T)                                                                                            \
    if (auto* s = dynamic_cast<T*>(c)) return &s->SkinData;
    TW_SKIN_LINK(skin::TsEdit)
    TW_SKIN_LINK(skin::TsSpinEdit)
    TW_SKIN_LINK(skin::TsFilenameEdit)
    TW_SKIN_LINK(skin::TsAlphaListBox)
    TW_SKIN_LINK(skin::TsCheckListBox)
    TW_SKIN_LINK(skin::TsCheckBox)
    TW_SKIN_LINK(skin::TsBitBtn)
    TW_SKIN_LINK(skin::TsGauge)
    TW_SKIN_LINK(skin::TsGroupBox)
    TW_SKIN_LINK(skin::TsHeaderControl)
    TW_SKIN_LINK(skin::TsStatusBar)
    TW_SKIN_LINK(skin::TsPageControl)
    TW_SKIN_LINK(skin::TsTabSheet)
    TW_SKIN_LINK(skin::TsPanel)
    TW_SKIN_LINK(skin::TsButton)
    TW_SKIN_LINK(skin::TsMaskEdit)
    TW_SKIN_LINK(skin::TsComboBox)
    TW_SKIN_LINK(skin::TsScrollBar)
    TW_SKIN_LINK(skin::TsTrackBar)
#undef TW_SKIN_LINK
    return nullptr;
}

// The controls of a window (its components and theirs, such as bound
// labels) that are neither skinned controls with a section of the loaded
// skin nor skinned labels, by name and section; `plain` names the controls
// the window may keep unskinned (its own drawing, like the hex view).
inline std::vector<std::string> UnskinnedControls(TComponent& owner, const std::vector<std::string>& plain = {})
{
    std::vector<std::string> out;
    for (int i = 0; i < owner.ComponentCount(); ++i) {
        TComponent* c = owner.Components(i);
        if (!dynamic_cast<TControl*>(c)) continue;
        bool allowed = false;
        for (const std::string& p : plain) allowed = allowed || p == c->Name();
        if (allowed) continue;
        if (skin::TsCommonData* link = SkinLinkOf(c)) {
            if (link->SkinIndex < 0) out.push_back(c->Name() + " (no section " + link->SkinSection() + ")");
        } else if (!dynamic_cast<skin::TsLabel*>(c) && !dynamic_cast<skin::TsEditLabel*>(c)) {
            out.push_back(c->Name());
        }
        for (const std::string& inner : UnskinnedControls(*c, plain)) out.push_back(inner);
    }
    return out;
}

// What is wrong with a window's layout, one line per fault: a shown control
// reaching out of its parent's client area, or two shown controls of one
// parent overlapping (bound labels included: they are their control's
// siblings). Empty when every control can be seen whole.
inline std::vector<std::string> LayoutFaults(TWinControl& parent)
{
    auto name = [](TControl* c) {
        if (!c->Name().empty()) return c->Name();
        if (auto* l = dynamic_cast<TLabel*>(c)) return "label \"" + l->Caption() + "\"";
        return std::string("(unnamed)");
    };
    auto text = [](const TRect& r) {
        return "(" + std::to_string(r.Left) + "," + std::to_string(r.Top) + ")-(" + std::to_string(r.Right) + "," +
               std::to_string(r.Bottom) + ")";
    };
    std::vector<std::string> out;
    const TRect client = parent.ClientRect();
    std::vector<TControl*> shown;
    for (int i = 0; i < parent.ControlCount(); ++i)
        if (parent.Controls(i)->Visible()) shown.push_back(parent.Controls(i));
    for (size_t i = 0; i < shown.size(); ++i) {
        const TRect r = shown[i]->BoundsRect();
        if (r.Left < client.Left || r.Top < client.Top || r.Right > client.Right || r.Bottom > client.Bottom)
            out.push_back(name(shown[i]) + " " + text(r) + " outside " + name(&parent) + " " + text(client));
        for (size_t j = i + 1; j < shown.size(); ++j) {
            const TRect o = shown[j]->BoundsRect();
            if (r.Left < o.Right && o.Left < r.Right && r.Top < o.Bottom && o.Top < r.Bottom)
                out.push_back(name(shown[i]) + " " + text(r) + " overlaps " + name(shown[j]) + " " + text(o));
        }
        if (auto* w = dynamic_cast<TWinControl*>(shown[i]))
            for (const std::string& inner : LayoutFaults(*w)) out.push_back(inner);
    }
    return out;
}

} // namespace tw::test
