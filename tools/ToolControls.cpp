#include "tools/ToolControls.h"

#include "app/engine/SettingsStore.h"

namespace tw {

TBitBtn* PlaceButton(TComponent* owner, TWinControl* parent, const char* name, int left, int top,
                     const std::string& caption, TModalResult result)
{
    auto* b = Place<TBitBtn>(owner, parent, name, left, top, 90, 26, caption);
    b->SetModalResult(result);
    return b;
}

void ToolMessage(const std::string& sound, const std::string& text, TMsgDlgType type)
{
    if (!sound.empty())
        PlayNotificationSound(sound);
    MessageDlg(text, type, mbOK);
}

} // namespace tw
