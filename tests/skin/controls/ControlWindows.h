#pragma once
// A form with our own skin for the skinned-control tests, and the real
// messages the tests drive the controls with.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "OwnSkin.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/sVclUtils.h"
#include "ui/Forms.h"

namespace skin::test {

class ControlWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager = MakeOwnSkinManager();
        ASSERT_TRUE(manager);
        form = std::make_unique<tw::TForm>(nullptr);
        form->SetBounds(10, 10, 400, 300);
    }
    void TearDown() override
    {
        form.reset();
        manager.reset();
    }
    // Shows the form and lets every control paint.
    void ShowAll()
    {
        form->Show();
        RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    }
    static void PaintNow(tw::TWinControl* c)
    {
        RedrawWindow(c->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_FRAME);
    }
    // The skin switched off or on, told to the form's controls as the form's
    // skin provider tells them.
    void SwitchSkin(bool on)
    {
        manager->SetActive(on);
        tw::TMessage m{SM_ALPHACMD, SkinWParam(on ? AC_SKINLOADED : AC_SKINREMOVED), reinterpret_cast<LPARAM>(manager.get()),
                       0};
        BroadcastToChildren(form.get(), m);
    }
    static void MouseDown(tw::TWinControl* c, int x, int y)
    {
        SendMessageW(c->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    }
    static void MouseUp(tw::TWinControl* c, int x, int y)
    {
        SendMessageW(c->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    static LRESULT Ask(tw::TWinControl* c, uint16_t cmd, LPARAM lp = 0)
    {
        return SendMessageW(c->Handle(), SM_ALPHACMD, SkinWParam(cmd), lp);
    }
    std::unique_ptr<TsSkinManager> manager;
    std::unique_ptr<tw::TForm> form;
};

} // namespace skin::test
