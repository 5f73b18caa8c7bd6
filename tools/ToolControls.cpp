#include "tools/ToolControls.h"

#include "analysis/SettingsStore.h"
#include "skin/controls/sControlCache.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "ui/ImageFormats.h"

namespace tw {

skin::TsBoundLabel* BoundLabelOf(TComponent* control)
{
    auto* bound = dynamic_cast<IBoundCaption*>(control);
    return bound ? &bound->BoundLabel() : nullptr;
}

void TakeSkinFontColor(skin::TsBoundLabel& bound)
{
    TLabel* label = bound.Label();
    if (!label)
        return;
    TColor color = clBlack;
    skin::TsSkinManager* manager = skin::DefaultManager;
    if (skin::ParentSkinFontColor(label, color)) {
        label->Font().SetColor(color);
    } else if (manager && manager->Active() && manager->SkinLoaded()) {
        // A form without a skin section of its own: the skin's text colour,
        // made for the skin's window colour the form takes.
        label->Font().SetColor(manager->GetGlobalFontColor());
    } else {
        label->SetParentFont(true);
    }
    label->Invalidate();
}

skin::TsBitBtn* PlaceButton(TComponent* owner, TWinControl* parent, const char* name, int left, int top,
                            const std::string& caption, TModalResult result)
{
    auto* b = Place<skin::TsBitBtn>(owner, parent, name, left, top, 90, 26, caption);
    b->SetModalResult(result);
    // The dialogs' Cancel buttons answer Escape: some of these dialogs have
    // no close button, and Escape is the keyboard's way out of them.
    b->SetCancel(result == mrCancel);
    return b;
}

bool SetButtonPicture(TBitBtn* button, const std::string& resource, TButtonLayout layout)
{
    TPicture picture;
    if (!LoadPngResource(picture, resource))
        return false;
    auto* png = dynamic_cast<TPngImage*>(picture.Graphic());
    if (!png || png->Empty())
        return false;
    button->Glyph().Assign(png->Bitmap());
    button->SetNumGlyphs(1);
    button->SetLayout(layout);
    button->Invalidate();
    return true;
}

void ToolMessage(const std::string& sound, const std::string& text, TMsgDlgType type)
{
    if (!sound.empty())
        PlayNotificationSound(sound);
    MessageDlg(text, type, mbOK);
}

} // namespace tw
