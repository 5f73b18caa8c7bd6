#include "tools/ToolForms.h"

#include "tools/ToolControls.h"
#include "ui/Controls.h"

namespace tw {

std::function<void(TForm& form)> ToolFormShownHook;
std::function<void(TCustomForm* form)> JoinToolFormSkin;

void JoinToolForm(TCustomForm* form) {
    if (JoinToolFormSkin) JoinToolFormSkin(form);
}

void ApplyToolText(TForm& form, const TToolText& text, bool german) {
    const std::string s = german ? text.German : text.English;
    if (*text.Control == 0) {
        form.SetCaption(s);
        return;
    }
    TComponent* c = form.FindComponent(text.Control);
    if (skin::TsBoundLabel* bound = BoundLabelOf(c))
        bound->SetCaption(s);
    else if (auto* control = dynamic_cast<TControl*>(c))
        control->SetCaption(s);
}

void ToolFormShown(TForm& form) {
    if (ToolFormShownHook) ToolFormShownHook(form);
}

} // namespace tw
