// The skin library's message boxes (Windows only): kind, caption, buttons and
// the position handed to the dialog skinning, seen through the class
// library's dialog hook.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/common/SkinUtils.h"
#include "ui/Dialogs.h"

namespace skin {
namespace {

struct THookScope {
    tw::TDialogHook Previous;
    explicit THookScope(tw::TDialogHook hook) : Previous(tw::SetDialogHook(std::move(hook))) {}
    ~THookScope() { tw::SetDialogHook(Previous); }
};

TEST(SkinMessage, KindsCaptionsButtonsAndPosition)
{
    std::vector<tw::TDialogRequest> seen;
    TPoint posDuring;
    THookScope hook([&](tw::TDialogRequest& rq) -> std::optional<int> {
        seen.push_back(rq);
        posDuring = DialogPos;
        return tw::mrOk;
    });
    EXPECT_EQ(ShowError("Broken skin"), tw::mrOk);
    ShowWarning("Careful");
    ShowAlert();
    EXPECT_EQ(ShowSkinMessage("Sure?", 3, tw::mbYesNo), tw::mrOk);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].Caption, "Error");
    EXPECT_EQ(seen[0].DlgType, tw::mtError);
    EXPECT_EQ(seen[0].Buttons, tw::mbOK);
    EXPECT_EQ(seen[1].Caption, "Warning");
    EXPECT_EQ(seen[2].Text, "Alert");
    EXPECT_EQ(seen[3].Caption, "Confirm");
    EXPECT_EQ(seen[3].Buttons, tw::mbYesNo);
    EXPECT_EQ(posDuring, TPoint(-1, -1));

    ShowSkinMessageAt("Here", 2, tw::mbOK, 120, 80);
    EXPECT_EQ(seen.back().Caption, "Information");
    EXPECT_EQ(posDuring, TPoint(120, 80));
    EXPECT_EQ(DialogPos, TPoint(-1, -1));
}

} // namespace
TEST(SkinMessage, TheNameIsRegisteredAtStartAndTheFixedNumberUsed)
{
    // Registered numbers lie in 0xC000..0xFFFF; the same name gives the
    // same number again, so this one was registered before the test ran.
    EXPECT_GE(RegisteredSkinMessage, 0xC000u);
    EXPECT_EQ(RegisteredSkinMessage, RegisterWindowMessageA("SM_ALPHACMD"));
    EXPECT_NE(RegisteredSkinMessage, SM_ALPHACMD);
}

} // namespace skin
#endif
