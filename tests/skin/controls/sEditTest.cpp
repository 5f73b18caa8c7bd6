// Skinned edits, memo and combo box with real windows: the skin's frame
// over the system edge, hot when focused, and the system frame again when
// the skin is off; the file-name edit's check.
#include "ControlWindows.h"

#include <commctrl.h>

#include <vector>

#include "base/Exceptions.h"
#include "skin/controls/sComboBox.h"
#include "skin/controls/sEdit.h"
#include "skin/controls/sFileNameEdit.h"
#include "skin/controls/sMemo.h"
#include "skin/controls/sSpinEdit.h"
#include "skin/engine/data/sSkinManager.h"

namespace skin {
namespace {

class TsEditTest : public test::ControlWindows {
protected:
    void SetUp() override
    {
        ControlWindows::SetUp();
        edit = new TsEdit(form.get());
        edit->SetParent(form.get());
        edit->SetBounds(10, 10, 120, 22);
        other = new TsEdit(form.get());
        other->SetParent(form.get());
        other->SetBounds(10, 50, 120, 22);
        ShowAll();
    }
    TColor FramePixel() { return edit->SkinData.CacheBmp()->Canvas().Pixels(0, 11); }
    TsEdit* edit = nullptr;
    TsEdit* other = nullptr;
};

TEST_F(TsEditTest, FrameComesFromTheSkinAndLightsUpWithFocus)
{
    EXPECT_EQ(edit->SkinData.SkinIndex, manager->GetSkinIndex("EDIT"));
    ASSERT_TRUE(PaintEditFrame(*edit, edit->SkinData));
    EXPECT_EQ(edit->SkinData.CacheBmp()->Width(), 120);
    other->SetFocus();   // the form gave the first edit the focus
    PaintNow(edit);
    const TColor normal = FramePixel();
    edit->SetFocus();
    EXPECT_TRUE(edit->SkinData.Focused);
    PaintNow(edit);
    EXPECT_NE(FramePixel(), normal);
    other->SetFocus();
    PaintNow(edit);
    EXPECT_EQ(FramePixel(), normal);
}

TEST_F(TsEditTest, NoFrameWithoutAnEdgeOrWithoutTheSkin)
{
    edit->SetBorderStyle(tw::bsNone);
    EXPECT_FALSE(PaintEditFrame(*edit, edit->SkinData));
    SwitchSkin(false);
    EXPECT_FALSE(PaintEditFrame(*other, other->SkinData));
    EXPECT_EQ(other->Color(), tw::clWindow);
    SwitchSkin(true);
    EXPECT_TRUE(PaintEditFrame(*other, other->SkinData));
}

TEST_F(TsEditTest, EditKindsTakeTheirSections)
{
    auto* memo = new TsMemo(form.get());
    memo->SetParent(form.get());
    memo->SetBounds(150, 10, 200, 100);
    auto* spin = new TsSpinEdit(form.get());
    spin->SetParent(form.get());
    spin->SetBounds(150, 120, 80, 22);
    auto* combo = new TsComboBox(form.get());
    combo->SetParent(form.get());
    combo->SetBounds(150, 160, 120, 22);
    ShowAll();
    EXPECT_EQ(memo->SkinData.SkinSection(), "EDIT");
    EXPECT_EQ(spin->SkinData.SkinSection(), "EDIT");
    EXPECT_EQ(combo->SkinData.SkinSection(), "COMBOBOX");
    EXPECT_TRUE(PaintEditFrame(*memo, memo->SkinData));
    EXPECT_TRUE(PaintEditFrame(*spin, spin->SkinData));
    EXPECT_TRUE(PaintClientFrame(*combo, combo->SkinData, 2));
    EXPECT_EQ(combo->SkinData.CacheBmp()->Width(), combo->ClientWidth());
    // Lists and the memo paint themselves in the section's colours, and in
    // the system's again without the skin.
    const TsGeneralData& edit = manager->gd[size_t(manager->GetSkinIndex("EDIT"))];
    const TColor editColor = edit.Color;   // the tables are filled anew by the switch below
    EXPECT_EQ(memo->Color(), editColor);
    EXPECT_EQ(memo->Font().Color(), edit.FontColor[0]);
    EXPECT_EQ(combo->Color(), manager->gd[size_t(manager->GetSkinIndex("COMBOBOX"))].Color);
    SwitchSkin(false);
    EXPECT_EQ(memo->Color(), tw::clWindow);
    EXPECT_EQ(combo->Font().Color(), tw::clWindowText);
    SwitchSkin(true);
    EXPECT_EQ(memo->Color(), editColor);
}

TEST_F(TsEditTest, SpinValueIsLimitedAndSurvivesAHalfTypedEntry)
{
    auto* spin = new TsSpinEdit(form.get());
    spin->SetParent(form.get());
    spin->SetMinValue(-5);
    spin->SetMaxValue(10);
    spin->SetValue(40);
    EXPECT_EQ(spin->Text(), "10");
    spin->SetValue(-9);
    EXPECT_EQ(spin->Value(), -5);
    spin->SetText("");
    EXPECT_EQ(spin->Value(), -5);   // the value last set
    spin->SetText("7x");
    EXPECT_EQ(spin->Value(), -5);
    spin->SetText(" 12 ");
    EXPECT_EQ(spin->Value(), 12);   // typed beyond the limits: read as typed
    spin->SetMaxValue(-5);          // equal limits: no limit
    spin->SetValue(123456);
    EXPECT_EQ(spin->Value(), 123456);
    spin->BeginLoading();
    spin->SetValue(3);
    EXPECT_EQ(spin->Text(), "123456");
    spin->Loaded();
    EXPECT_EQ(spin->Value(), 3);
}

TEST_F(TsEditTest, SpinButtonsComeFromTheSkin)
{
    auto* spin = new TsSpinEdit(form.get());
    spin->SetParent(form.get());
    spin->SetBounds(150, 120, 80, 22);
    ShowAll();
    HWND buttons = FindWindowExW(spin->Handle(), nullptr, UPDOWN_CLASSW, nullptr);
    ASSERT_TRUE(buttons);
    const int section = manager->GetSkinIndex("SPEEDBUTTON_SMALL");
    ASSERT_GE(section, 0);
    const COLORREF arrow = COLORREF(manager->gd[size_t(section)].FontColor[0]) & 0xFFFFFF;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    ASSERT_NE(arrow, face);
    // The buttons' pixels in the section's font colour (the arrows) and in
    // the system's face colour (the system's own buttons).
    auto count = [&](int& arrows, int& faces) {
        arrows = faces = 0;
        RedrawWindow(buttons, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        RECT cr{};
        GetClientRect(buttons, &cr);
        HDC dc = GetDC(buttons);
        for (int y = 0; y < cr.bottom; ++y)
            for (int x = 0; x < cr.right; ++x) {
                const COLORREF c = GetPixel(dc, x, y);
                arrows += c == arrow;
                faces += c == face;
            }
        ReleaseDC(buttons, dc);
    };
    int arrows = 0, faces = 0;
    count(arrows, faces);
    EXPECT_GE(arrows, 4);
    EXPECT_EQ(faces, 0);
    // The up button's arrow points up: its rows widen from the tip down.
    std::vector<int> rows;
    {
        RECT cr{};
        GetClientRect(buttons, &cr);
        HDC dc = GetDC(buttons);
        for (int y = 0; y < cr.bottom / 2; ++y) {
            int n = 0;
            for (int x = 0; x < cr.right; ++x)
                n += GetPixel(dc, x, y) == arrow;
            if (n)
                rows.push_back(n);
        }
        ReleaseDC(buttons, dc);
    }
    ASSERT_FALSE(rows.empty());
    EXPECT_LT(rows.front(), rows.back());
    // Without the skin they are the system's again.
    SwitchSkin(false);
    count(arrows, faces);
    EXPECT_EQ(arrows, 0);
    EXPECT_GT(faces, 0);
}

TEST_F(TsEditTest, FileNameWithForbiddenCharactersIsRefused)
{
    auto* name = new TsFilenameEdit(form.get());
    name->SetParent(form.get());
    name->SetFileName("C:\\Recordings\\news.ts");
    EXPECT_EQ(name->FileName(), "C:\\Recordings\\news.ts");
    for (const char* bad : {"a|b.ts", "what?.ts", "x\"y", "tab\there"}) {
        try {
            name->SetFileName(bad);
            ADD_FAILURE() << bad;
        } catch (const tw::Exception& e) {
            EXPECT_EQ(e.Message(), "Invalid file name");
        }
    }
    EXPECT_EQ(name->FileName(), "C:\\Recordings\\news.ts");
    name->SetFileName("");
    EXPECT_EQ(name->FileName(), "");
}

} // namespace
} // namespace skin
