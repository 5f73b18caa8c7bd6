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

TEST(ItemByName, TakesItsBackgroundFromTheSourceAtItsPoint)
{
    // A half transparent red section over what the source shows at (3, 2):
    // each channel (section * 128 + source * 127 + 127) >> 8, the weight of
    // the background being 50 * 255 div 100 = 127.
    TsSkinManager* const saved = DefaultManager;
    DefaultManager = nullptr;
    {
        TsSkinManager sm;
        AddSection(sm, "GLASS", 0x0000FF);
        sm.gd[0].Transparency = 50;
        tw::TBitmap source(8, 6, tw::pf24bit);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                skintest::SetPx(source.PixelView(), x, y, x >= 3 && y >= 2 ? 0x00FF00 : 0xFF0000);
        skintest::SetPx(source.PixelView(), 6, 4, 0xFF0000);
        tw::TBitmap bmp(4, 3, tw::pf24bit);
        EXPECT_EQ(PaintItemByName(bmp, "GLASS", "", 0, &sm, {3, 2}, clKeyColor, source.Canvas().Handle()), 0);
        GdiFlush();
        EXPECT_EQ(Px(bmp.PixelView(), 0, 0), 0x007F7F);   // red over green
        EXPECT_EQ(Px(bmp.PixelView(), 2, 1), 0x007F7F);
        EXPECT_EQ(Px(bmp.PixelView(), 3, 2), 0x7F007F);   // red over the blue at (6, 4)
        // Without a source a see-through section without texture or
        // gradient takes the fill colour for itself and for what lies
        // beneath: green over green, 255 * 255 + 127 >> 8 = 254; with no fill
        // colour either, the key colour stays for the caller to see.
        EXPECT_EQ(PaintItemByName(bmp, "GLASS", "", 0, &sm, {3, 2}, 0x00FF00, nullptr), 0);
        GdiFlush();
        EXPECT_EQ(Px(bmp.PixelView(), 3, 2), 0x00FE00);
        EXPECT_EQ(PaintItemByName(bmp, "GLASS", "", 0, &sm, {3, 2}, clKeyColor, nullptr), 0);
        GdiFlush();
        EXPECT_EQ(Px(bmp.PixelView(), 3, 2), clKeyColor);
    }
    DefaultManager = saved;
}
#endif
