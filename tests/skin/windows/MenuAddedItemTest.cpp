// An item added to the menu of a skinned form while it is shown: the system
// measures it through the form, which must answer with the skin's measure,
// and the dropdown opened by a real click shows it in the skin's look.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "ModalProbe.h"
#include "SkinTestForms.h"
#include "TitlePictures.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Menus.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

class MenuAddedItemTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::StartFormSkinning(manager)); }
    void TearDown() override
    {
        test::TModalProbe::EndModalLoops();
        delete form;
        test::EndFormSkinning();
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
};

TEST_F(MenuAddedItemTest, AnItemAddedWhileTheFormIsShownIsMeasuredAndDrawnByTheSkin)
{
    form = new tw::TForm(tw::Application);
    form->SetText("Menus");
    form->SetBounds(80, 80, 420, 260);
    auto* menu = new tw::TMainMenu(form);
    auto* file = new tw::TMenuItem(form);
    file->SetCaption("&File");
    menu->Items()->Add(file);
    file->AddItem("&Open...");
    form->SetMenu(menu);
    form->Show();
    tw::Application->ProcessMessages();
    const HWND wnd = form->Handle();
    SetForegroundWindow(wnd);
    tw::Application->ProcessMessages();

    tw::TMenuItem* added = file->AddItem("A much longer item added later");
    // What the skin's painter measures for it: the expected answer.
    tw::TCanvas canvas;
    HDC dc = CreateCompatibleDC(nullptr);
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
    HFONT font = CreateFontIndirectW(&ncm.lfMenuFont);
    SelectObject(dc, font);
    canvas.SetHandle(dc);
    int w = 0, h = 0;
    TsSkinableMenus::Of(&manager)->MeasureItem(added, canvas, w, h);
    canvas.SetHandle(nullptr);
    DeleteDC(dc);
    DeleteObject(font);

    // As the system asks when the dropdown opens.
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_MENU;
    mis.itemID = added->Command();
    mis.itemData = reinterpret_cast<ULONG_PTR>(added);
    SendMessageW(wnd, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis));
    EXPECT_EQ(int(mis.itemWidth), w);
    EXPECT_EQ(int(mis.itemHeight), h);
    EXPECT_TRUE(added->OnAdvancedDrawItem) << "the item is not drawn by the skin";
}

} // namespace
} // namespace skin

#endif
