// Every skinned control answers the skin sub-commands the engine leaves to
// the control in the same way, whatever class library control it is built
// on: panels, check boxes, buttons and bars alike.
#include <functional>
#include <string>
#include <vector>

#include "ControlWindows.h"
#include "SkinnedControls.h"
#include "skin/controls/sButton.h"
#include "skin/controls/sCheckBox.h"
#include "skin/controls/sEdit.h"
#include "skin/controls/sPanel.h"
#include "skin/controls/sScrollBar.h"

namespace skin {
namespace {

class SkinnedControlBaseTest : public test::ControlWindows {
protected:
    struct TEntry {
        std::string Name;
        tw::TWinControl* Control;
        TsCommonData* Data;
    };
    void SetUp() override
    {
        ControlWindows::SetUp();
        auto* panel = Add<TsPanel>(10, 10, 120, 60);
        auto* check = Add<TsCheckBox>(10, 80, 120, 20);
        check->SetCaption("Check");
        auto* button = Add<TsButton>(150, 10, 90, 26);
        button->SetCaption("Go");
        auto* bar = Add<TsScrollBar>(150, 80, 150, 18);
        controls = {{"panel", panel, &panel->SkinData},
                    {"check box", check, &check->SkinData},
                    {"button", button, &button->SkinData},
                    {"scroll bar", bar, &bar->SkinData}};
        edit = Add<TsEdit>(10, 120, 120, 24);
        ShowAll();
    }
    template <class T> T* Add(int x, int y, int w, int h)
    {
        auto* c = new T(form.get());
        c->SetParent(form.get());
        c->SetBounds(x, y, w, h);
        return c;
    }
    std::vector<TEntry> controls;
    TsEdit* edit = nullptr;
};

TEST_F(SkinnedControlBaseTest, SharedAnswersAreTheSameForEveryControl)
{
    for (const TEntry& e : controls) {
        SCOPED_TRACE(e.Name);
        ASSERT_TRUE(e.Data->Skinned());
        tw::TBitmap* cache = e.Data->CacheBmp();
        ASSERT_GT(cache->Width(), 2);
        // A reset cache is painted again at once.
        test::MarkCache(cache, 1, 1);
        EXPECT_EQ(Ask(e.Control, AC_RESETCACHE), 0);
        EXPECT_FALSE(test::CacheMarked(cache, 1, 1));
        // The active state is taken and the control painted in it.
        test::MarkCache(cache, 1, 1);
        EXPECT_EQ(SendMessageW(e.Control->Handle(), SM_ALPHACMD, SkinWParam(AC_SETACTIVESTATE, 1), 0), 0);
        EXPECT_TRUE(e.Data->ActiveState());
        EXPECT_FALSE(test::CacheMarked(cache, 1, 1));
        SendMessageW(e.Control->Handle(), SM_ALPHACMD, SkinWParam(AC_SETACTIVESTATE, 0), 0);
        EXPECT_FALSE(e.Data->ActiveState());
        // Refreshing the state paints again as well.
        test::MarkCache(cache, 1, 1);
        Ask(e.Control, AC_REFRESHSTATE);
        EXPECT_FALSE(test::CacheMarked(cache, 1, 1));
        // Frames of a fade are left to the fade timer.
        EXPECT_EQ(Ask(e.Control, AC_FADEFRAME), 0);
        EXPECT_EQ(Ask(e.Control, AC_STOPANIMATION), 0);
        // The picture covers the window: nothing is erased under it.
        HDC dc = GetDC(e.Control->Handle());
        EXPECT_EQ(SendMessageW(e.Control->Handle(), WM_ERASEBKGND, WPARAM(dc), 0), 1);
        ReleaseDC(e.Control->Handle(), dc);
        // Common handler answers stay the common handler's.
        EXPECT_EQ(Ask(e.Control, AC_QUERYSKINNED), 1);
        EXPECT_EQ(Ask(e.Control, AC_QUERYSKININDEX), e.Data->SkinIndex + 1);
    }
}

TEST_F(SkinnedControlBaseTest, SkinComesAndGoesForEveryControl)
{
    SwitchSkin(false);
    for (const TEntry& e : controls) {
        SCOPED_TRACE(e.Name);
        EXPECT_FALSE(e.Data->Skinned());
        EXPECT_EQ(e.Data->CacheBmp()->Width(), 0);
    }
    EXPECT_EQ(edit->Color(), tw::clWindow);
    SwitchSkin(true);
    RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    for (const TEntry& e : controls) {
        SCOPED_TRACE(e.Name);
        EXPECT_TRUE(e.Data->Skinned());
        EXPECT_EQ(e.Data->CacheBmp()->Width(), e.Control->Width());
    }
    EXPECT_EQ(edit->Color(), manager->gd[size_t(edit->SkinData.SkinIndex)].Color);
}

} // namespace
} // namespace skin
