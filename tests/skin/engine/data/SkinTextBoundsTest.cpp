// The options text of a skin is anyone's file: a few megabytes of tiny
// sections or keys must not cost minutes and gigabytes to read.
#include <gtest/gtest.h>

#include <string>

#include "skin/engine/data/SkinIni.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/sSkinManager.h"

using namespace skin;

TEST(SkinTextBounds, MoreSectionsOrKeysThanAnySkinHasEndTheLoad)
{
    // As many sections as a skin may have still load.
    std::string text = "[S0]\nCOLOR=$00FF00\n";
    for (size_t i = 1; i < TsIniText::MaxSections; ++i)
        text += "[S" + std::to_string(i) + "]\n" + (i == 1 ? "PARENTCLASS=S0\n" : "");
    {
        TsSkinManager sm;
        LoadSkinTables(sm, &text);
        EXPECT_EQ(sm.gd.size(), TsIniText::MaxSections);
        EXPECT_EQ(sm.gd[1].Color, 0x00FF00);
    }
    // One more, and the skin is refused before its sections are read; the
    // text itself is not kept beyond the bound either.
    text += "[ONEMORE]\n";
    {
        TsSkinManager sm;
        EXPECT_THROW(LoadSkinTables(sm, &text), EInvalidSkin);
        EXPECT_TRUE(sm.gd.empty());
        const TsIniText ini(text);
        EXPECT_TRUE(ini.Overflowed());
        EXPECT_EQ(ini.SectionNames().size(), TsIniText::MaxSections);
    }

    // Keys in all, over any number of sections, the same.
    std::string keys = "[A]\n";
    for (size_t i = 0; i < TsIniText::MaxKeys; ++i) {
        if (i == TsIniText::MaxKeys / 2) keys += "[B]\n";
        keys += "K" + std::to_string(i) + "=1\n";
    }
    {
        TsSkinManager sm;
        LoadSkinTables(sm, &keys);
        EXPECT_EQ(sm.gd.size(), 2u);
    }
    keys += "LAST\n";   // a line without "=" is a key too
    {
        TsSkinManager sm;
        EXPECT_THROW(LoadSkinTables(sm, &keys), EInvalidSkin);
        EXPECT_TRUE(TsIniText(keys).Overflowed());
        EXPECT_FALSE(TsIniText("[A]\nK=1\n").Overflowed());
    }
}

TEST(SkinTextBounds, ALineLongerThanAnySkinWritesEndsTheLoad)
{
    // A gradient text of a megabyte in a parent would be copied and parsed
    // into every section that inherits it: a line stops at what skins write.
    std::string steps;
    while (13 + steps.size() + 11 <= TsIniText::MaxLineLength) steps += "1;2;50;0;0;";
    std::string text = "[P]\nGRADIENTDATA=" + steps + "\n";
    ASSERT_GT(13 + steps.size() + 11, TsIniText::MaxLineLength);   // the longest line a skin may have
    for (int i = 0; i < 50; ++i) text += "[C" + std::to_string(i) + "]\nPARENTCLASS=P\n";
    {
        TsSkinManager sm;
        LoadSkinTables(sm, &text);
        const int c = sm.GetSkinIndex("C7");
        ASSERT_GE(c, 0);
        EXPECT_EQ(sm.gd[size_t(c)].GradientArray.size(), steps.size() / 11);
    }
    // Trailing blanks are not part of the line.
    EXPECT_FALSE(TsIniText("[P]\nK=" + std::string(TsIniText::MaxLineLength - 2, 'x') + "    \n").Overflowed());
    const std::string longer = "[P]\nGRADIENTDATA=" + steps + std::string(TsIniText::MaxLineLength, ';') + "\n";
    TsSkinManager sm;
    EXPECT_THROW(LoadSkinTables(sm, &longer), EInvalidSkin);
    EXPECT_TRUE(TsIniText("[P]\nK=" + std::string(TsIniText::MaxLineLength - 1, 'x') + "\n").Overflowed());
    EXPECT_TRUE(TsIniText("[" + std::string(TsIniText::MaxLineLength, 'S') + "]\n").Overflowed());
}

TEST(SkinTextBounds, LongLinesThatAreNeverReadDoNotRefuseTheSkin)
{
    // A comment, or text before the first section, is skipped whole: some
    // skin makers leave long notes there, and nothing copies them anywhere.
    const std::string note(3 * TsIniText::MaxLineLength, 'x');
    const std::string text = note + "\n[P]\n;" + note + "\nCOLOR=$00FF00\n[C]\nPARENTCLASS=P\n";
    EXPECT_FALSE(TsIniText(text).Overflowed());
    TsSkinManager sm;
    LoadSkinTables(sm, &text);
    const int c = sm.GetSkinIndex("C");
    ASSERT_GE(c, 0);
    EXPECT_EQ(sm.gd[size_t(c)].Color, 0x00FF00);
    EXPECT_EQ(TsIniText(text).SectionKeys("P").size(), 1u);
    // The same lines as keys or a section name are read, and refused.
    EXPECT_TRUE(TsIniText("[P]\n" + note + "\n").Overflowed());
    EXPECT_TRUE(TsIniText("[" + note + "]\n").Overflowed());
}
