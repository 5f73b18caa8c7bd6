// Building blocks of the tools' dialogs: a control made, named, placed and
// captioned in one call, as a window layout would hold it.
#pragma once

#include <string>

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

// A button that ends its modal form with `result` (mrNone: only its click).
TBitBtn* PlaceButton(TComponent* owner, TWinControl* parent, const char* name, int left, int top,
                     const std::string& caption, TModalResult result);

// Plays a sound of the program and shows a message box (the window tests
// answer both through the dialog seam).
void ToolMessage(const std::string& sound, const std::string& text, TMsgDlgType type);

} // namespace tw
