#include "tools/ToolForms.h"

#include "ui/Controls.h"

namespace tw {

std::function<void(TForm& form)> ToolFormShownHook;

void ApplyToolText(TForm& form, const TToolText& text, bool german) {
    const std::string s = german ? text.German : text.English;
    if (*text.Control == 0) {
        form.SetCaption(s);
        return;
    }
    if (auto* c = dynamic_cast<TControl*>(form.FindComponent(text.Control))) c->SetCaption(s);
}

void ToolFormShown(TForm& form) {
    if (ToolFormShownHook) ToolFormShownHook(form);
}

} // namespace tw
