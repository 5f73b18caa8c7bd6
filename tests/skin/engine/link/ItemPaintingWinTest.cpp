// Items painted by section name on real DIB sections.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "ui/Graphics.h"

using namespace skin;
using skintest::Px;

namespace {

void AddSection(TsSkinManager& sm, const std::string& name, TColor color)
{
    TsGeneralData s;
    s.Name = name;
    s.Color = color;
    sm.gd.push_back(std::move(s));
}

} // namespace

TEST(ItemByName, PaintsWithTheManagerWhoseSectionItFound)
{
    TsSkinManager* const saved = DefaultManager;
    DefaultManager = nullptr;
    {
        TsSkinManager program;   // the default manager
        TsSkinManager other;
        ASSERT_EQ(DefaultManager, &program);
        AddSection(program, "BUTTON", 0x0000FF);
        AddSection(other, "PANEL", 0x00FF00);
        AddSection(other, "BUTTON", 0xFF0000);
        tw::TBitmap bmp(6, 4, tw::pf24bit);
        // The index is the other manager's (1); the program's has no such
        // section, and its BUTTON is another colour.
        EXPECT_EQ(PaintItemByName(bmp, "BUTTON", "", 0, &other, {0, 0}, clKeyColor, nullptr), 1);
        GdiFlush();
        EXPECT_EQ(Px(bmp.PixelView(), 0, 0), 0xFF0000);
        EXPECT_EQ(Px(bmp.PixelView(), 5, 3), 0xFF0000);
        // The second name when the first is missing.
        EXPECT_EQ(PaintItemByName(bmp, "NONE", "PANEL", 0, &other, {0, 0}, clKeyColor, nullptr), 0);
        EXPECT_EQ(Px(bmp.PixelView(), 2, 2), 0x00FF00);
        // Without a manager: the default one.
        EXPECT_EQ(PaintItemByName(bmp, "BUTTON", "", 0, nullptr, {0, 0}, clKeyColor, nullptr), 0);
        EXPECT_EQ(Px(bmp.PixelView(), 2, 2), 0x0000FF);
    }
    DefaultManager = saved;
}
#endif
