// The skin library's small helpers: rectangles, words, INI text, names.
#include "skin/engine/common/SkinUtils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "base/Streams.h"
#include "base/SysUtils.h"
#include "tests/support/TsBuilder.h"

namespace skin {
namespace {

TEST(SkinUtils, NumbersAndRectangles)
{
    EXPECT_EQ(ClampByte(-3), 0);
    EXPECT_EQ(ClampByte(300), 255);
    EXPECT_EQ(ClampValue(5, 10, 3), 10); // the minimum is tested first
    EXPECT_EQ(ClampValue(50, 10, 30), 30);
    EXPECT_TRUE(ValueInRange(3, 3, 3));
    int a = 1, b = 2;
    SwapInts(a, b);
    EXPECT_EQ(a * 10 + b, 21);

    EXPECT_EQ(RectWidth(TRect(10, 0, 5, 0)), -5);
    EXPECT_EQ(RectWidth(TRect(10, 0, 5, 0), true), 0);
    EXPECT_EQ(RectHeight(TRect(0, 7, 0, 2), true), 0);
    EXPECT_EQ(IntersectRects(TRect(0, 0, 10, 10), TRect(20, 20, 30, 30)), TRect(20, 20, 10, 10));
    EXPECT_TRUE(RectInRect(TRect(0, 0, 10, 10), TRect(0, 0, 10, 10)));
    EXPECT_FALSE(RectInRect(TRect(0, 0, 10, 10), TRect(0, 0, 11, 10)));
    // Touching edges are apart; an empty second rectangle overlaps nothing.
    EXPECT_FALSE(RectsOverlap(TRect(0, 0, 10, 10), TRect(10, 0, 20, 10)));
    EXPECT_FALSE(RectsOverlap(TRect(0, 0, 10, 10), TRect(0, 10, 10, 20)));
    EXPECT_TRUE(RectsOverlap(TRect(0, 0, 10, 10), TRect(9, 9, 20, 20)));
    EXPECT_FALSE(RectsOverlap(TRect(0, 0, 10, 10), TRect(2, 2, 2, 5)));
}

TEST(SkinUtils, WordsAndText)
{
    const TCharSet seps(" ,");
    const std::string s = "  a,,b  ";
    EXPECT_EQ(ExtractWord(2, s, seps), "b");
    EXPECT_EQ(WordCount(s, seps), 2);
    EXPECT_EQ(ExtractWord(3, s, seps), "");
    EXPECT_EQ(WordPosition(2, s, seps), 6);
    EXPECT_EQ(WordPosition(1, "word", seps), 1);
    EXPECT_EQ(ExtractWord(1, "word", seps), "word");
    EXPECT_EQ(WordCount("", seps), 0);

    EXPECT_EQ(DeleteChars("a-b-c", '-'), "abc");
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa"); // replaced text is not scanned again
    EXPECT_EQ(ReplaceAll("x.y.z", ".", ""), "xyz");
    EXPECT_TRUE(HasChars("abc", TCharSet("xc")));
    EXPECT_FALSE(HasChars("abc", TCharSet("xyz")));
    std::string f = "old";
    FillString(f, 3, '*');
    EXPECT_EQ(f, "***");
    FillString(f, 0, '*');
    EXPECT_EQ(f, "");

    EXPECT_EQ(HexToInt64("1Fh"), 31);
    EXPECT_EQ(HexToInt64("1G"), 0);
    EXPECT_EQ(HexToInt64(""), 0);
    EXPECT_EQ(HexToInt64("ff"), 255);
}

TEST(SkinUtils, IniTextInMemory)
{
    TIniSections sections;
    ParseIniSections({"x=1", "[A]", ";c", "y=2"}, sections);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].Name, "A");
    ASSERT_EQ(sections[0].Lines.size(), 1u);
    EXPECT_EQ(sections[0].Lines[0], "y=2");

    ParseIniSections({"[Colors]", "Hex=0x10", "Dollar=$10", "Bad=abc", "Name= spaced ", "[B]", "", "k=v"}, sections);
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(ReadSectionInteger(sections, "colors", "HEX", 7), 16);
    EXPECT_EQ(ReadSectionInteger(sections, "Colors", "Dollar", 7), 16);
    EXPECT_EQ(ReadSectionInteger(sections, "Colors", "Bad", 7), 7);
    EXPECT_EQ(ReadSectionInteger(sections, "Colors", "Missing", 7), 7);
    EXPECT_EQ(ReadSectionValue(sections, "Colors", "name", "-"), " spaced ");
    EXPECT_EQ(ReadSectionValue(sections, "B", "k", "-"), "v");
    EXPECT_EQ(ReadSectionValue(sections, "C", "k", "-"), "-");
}

TEST(SkinUtils, FileNames)
{
    EXPECT_EQ(NormalizeDir("C"), "C:\\");
    EXPECT_EQ(NormalizeDir("C:/Skins/"), "C:/Skins\\");
    EXPECT_EQ(NormalizeDir(""), "");
    EXPECT_EQ(NormalizeDir("C:\\Skins\\"), "C:\\Skins\\");
    EXPECT_EQ(NormalizeDir("Skins"), "Skins\\");
    EXPECT_TRUE(IsValidFileName("Dark skin.asz"));
    for (const char* bad : {"", "a<b", "a>b", "a\"b", "a|b", "a*b", "a?b", "a/b"}) EXPECT_FALSE(IsValidFileName(bad)) << bad;
    EXPECT_FALSE(AppFolder().empty());
}

TEST(SkinUtils, FileSearchMatchesMaskAndAttributes)
{
    const std::string dir = tw::IncludeTrailingPathDelimiter(tw::test::UniqueTempName("skinsearch", ""));
    ASSERT_TRUE(tw::ForceDirectories(dir + "Sub.asz"));
    for (const char* name : {"a.asz", "b.asz", "c.txt"}) {
        tw::TFileStream f(dir + name, tw::fmCreate);
        f.WriteBuffer("12345", 5);
    }
    auto names = [&](int attr) {
        std::set<std::string> found;
        TSearchRec rec;
        for (int rc = FindFirstEntry(dir + "*.asz", attr, rec); rc == 0; rc = FindNextEntry(rec)) {
            found.insert(rec.Name);
            if (rec.Name == "a.asz") EXPECT_EQ(rec.Size, 5);
            if (rec.Name == "Sub.asz") EXPECT_TRUE(rec.Attr & faDirectory);
        }
        FindCloseEntry(rec);
        return found;
    };
    EXPECT_EQ(names(0), (std::set<std::string>{"a.asz", "b.asz"}));
    EXPECT_EQ(names(faDirectory), (std::set<std::string>{"a.asz", "b.asz", "Sub.asz"}));
    TSearchRec none;
    EXPECT_NE(FindFirstEntry(dir + "*.none", faAnyFile, none), 0);
    for (const char* name : {"a.asz", "b.asz", "c.txt"}) tw::RemoveFile(dir + name);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

} // namespace
} // namespace skin
