// A form whose provider is given another skin manager while it runs:
// skinned again by a manager with a skin, its own frame back without one.
#include <gtest/gtest.h>

#include "SkinTestControls.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {

TEST(ProviderManagerChange, TheFormReskinsOrUnskinsWhenItsManagerChanges)
{
    tw::Application->Initialize();
    TsSkinManager manager;
    ASSERT_TRUE(test::LoadOwnSkin(manager));
    TsSkinManager none;   // no skin at all
    none.SetActive(false);
    auto* form = new tw::TForm(tw::Application);
    form->SetText("Manager change");
    form->SetBounds(60, 60, 320, 200);
    auto* provider = new TsSkinProvider(form);
    form->Show();
    tw::Application->ProcessMessages();
    ASSERT_TRUE(provider->Skinned());

    provider->SetSkinManager(&none);
    tw::Application->ProcessMessages();
    EXPECT_FALSE(provider->Skinned());
    EXPECT_NE(GetWindowLongPtrW(form->Handle(), GWL_STYLE) & WS_CAPTION, 0);   // the system frame is back

    provider->SetSkinManager(&manager);
    tw::Application->ProcessMessages();
    EXPECT_TRUE(provider->Skinned());
    delete form;
    DefaultManager = nullptr;
}

} // namespace skin
#endif
