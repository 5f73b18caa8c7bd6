// The hint markup: runs and where they are drawn, font changes and their
// undoing, line breaks, colours in all their spellings, and markup that is
// broken or hostile.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "base/Exceptions.h"
#include "skin/engine/painting/sHtmlParse.h"

namespace skin {
namespace {

// A surface with a fixed-pitch font: each character is Size pixels wide,
// a line twice the size high; it keeps every run with the font it had.
class TFakeSurface : public THtmlSurface {
public:
    struct TRun {
        int X, Y;
        std::string Text;
        THtmlFont Font;
    };
    THtmlFont font;
    std::vector<TRun> Runs;

    THtmlFont Font() const override { return font; }
    void SetFont(const THtmlFont& f) override { font = f; }
    void TextOut(int x, int y, const std::string& text) override { Runs.push_back({x, y, text, font}); }
    int TextWidth(const std::string& text) override { return Bounded(int64_t(text.size()) * font.Size); }
    int TextHeight(const std::string&) override { return Bounded(int64_t(font.Size) * 2); }
    // Sizes up to the 32-bit limit measure without overflow.
    static int Bounded(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }
};

struct Rendered {
    TFakeSurface Surface;
    TRect Size;
    int Alignment = 0;
};

Rendered Render(const std::string& text, TRect bounds = TRect(0, 0, 500, 500))
{
    Rendered r;
    THtmlRenderer h;
    h.Init(&r.Surface, text, bounds);
    r.Size = h.Render();
    r.Alignment = h.Alignment();
    return r;
}

TEST(HtmlRenderer, RunsStyleChangesAndTheirEnd)
{
    Rendered r = Render("<b>a</b>b<i>c</I></p>d");
    ASSERT_EQ(r.Surface.Runs.size(), 4u);
    EXPECT_EQ(r.Surface.Runs[0].Text, "a");
    EXPECT_TRUE(r.Surface.Runs[0].Font.Bold);
    EXPECT_FALSE(r.Surface.Runs[1].Font.Bold);
    EXPECT_EQ(r.Surface.Runs[1].X, 8);
    EXPECT_TRUE(r.Surface.Runs[2].Font.Italic);
    // A closing P does nothing: same line.
    EXPECT_FALSE(r.Surface.Runs[3].Font.Italic);
    EXPECT_EQ(r.Surface.Runs[3].Y, 0);
    EXPECT_EQ(r.Size, TRect(0, 0, 32, 16));

    // Any tag beginning with B, I or P acts as one.
    Rendered b = Render("<Blink>x");
    EXPECT_TRUE(b.Surface.Runs[0].Font.Bold);
}

TEST(HtmlRenderer, DoubleOpenerShowsOneAndLineFeedsAreDropped)
{
    Rendered r = Render("a<<b\r\nc");
    ASSERT_EQ(r.Surface.Runs.size(), 2u);
    EXPECT_EQ(r.Surface.Runs[0].Text, "a");
    EXPECT_EQ(r.Surface.Runs[1].Text, "<bc");
    EXPECT_EQ(r.Surface.Runs[1].X, 8);
    EXPECT_EQ(r.Size, TRect(0, 0, 32, 16));
}

TEST(HtmlRenderer, LineBreaksAddTheLineHeightAndTwo)
{
    Rendered r = Render("ab<br><br>c<p align=\"center\">d", TRect(5, 3, 100, 100));
    ASSERT_EQ(r.Surface.Runs.size(), 3u);
    EXPECT_EQ(r.Surface.Runs[0].X, 5);
    EXPECT_EQ(r.Surface.Runs[0].Y, 3);
    // First break: line height 16 + 2; the empty line only 2 more.
    EXPECT_EQ(r.Surface.Runs[1].Y, 3 + 18 + 2);
    EXPECT_EQ(r.Surface.Runs[1].X, 5);
    EXPECT_EQ(r.Surface.Runs[2].Y, 23 + 18);
    EXPECT_EQ(r.Alignment, 2);
    // Widest line end measured from the origin, bottom below the last line.
    EXPECT_EQ(r.Size, TRect(0, 0, 5 + 16, 41 + 16));
}

TEST(HtmlRenderer, FontTagChangesSizeColourFaceAndItsEndRestoresAll)
{
    Rendered r = Render("<font size=+2 color=\"#FF0000\" face=\"Courier New\"><b>a</font>b");
    ASSERT_EQ(r.Surface.Runs.size(), 2u);
    EXPECT_EQ(r.Surface.Runs[0].Font.Size, 10);
    EXPECT_EQ(r.Surface.Runs[0].Font.Color, 0x0000FF);
    EXPECT_EQ(r.Surface.Runs[0].Font.Name, "COURIER NEW");
    EXPECT_TRUE(r.Surface.Runs[0].Font.Bold);
    // The bold came after the FONT tag: its end takes the bold away too.
    EXPECT_EQ(r.Surface.Runs[1].Font.Size, 8);
    EXPECT_FALSE(r.Surface.Runs[1].Font.Bold);
    EXPECT_EQ(r.Surface.Runs[1].Font.Name, "");
    EXPECT_EQ(r.Surface.Runs[1].X, 10);

    EXPECT_EQ(Render("<font size=-3>a").Surface.Runs[0].Font.Size, 5);
    EXPECT_EQ(Render("<font size=12>a").Surface.Runs[0].Font.Size, 12);
    // A closing FONT with nothing open changes nothing.
    EXPECT_EQ(Render("</font>a").Surface.Runs[0].Font.Size, 8);
}

TEST(HtmlRenderer, ColourSpellings)
{
    EXPECT_EQ(HtmlColor("#FF0000"), 0x0000FF);
    EXPECT_EQ(HtmlColor("RED"), 0x0000FF);
    EXPECT_EQ(HtmlColor("FF0000"), 0x0000FF);
    EXPECT_EQ(HtmlColor("00FF00"), 0x00FF00);
    EXPECT_EQ(HtmlColor("#123456"), 0x563412);
    EXPECT_EQ(HtmlColor("NAVY"), 0x800000);
    EXPECT_EQ(HtmlColor("NOCOLOUR"), 0);
    // Too many digits do not make a system colour.
    EXPECT_EQ(HtmlColor("#7FFFFFFFFF") & ~0xFFFFFF, 0);
    EXPECT_EQ(Render("<font color=teal>a").Surface.Runs[0].Font.Color, 0x808000);
}

TEST(HtmlRenderer, BadSizesRaiseAConversionErrorAndSizesChangeByWhatIsWritten)
{
    // A size that is no number is the conversion error of the class library.
    for (const char* text : {"<font size=big>a", "<font size=+>a", "<font size=-x1>a", "<font size>a",
                             "<font size=99999999999999999999>a"})
        EXPECT_THROW(Render(text), tw::EConvertError) << text;
    // Relative sizes change the size by the number, whatever the result;
    // the sum stays within the 32-bit range.
    EXPECT_EQ(Render("<font size=-50>a").Surface.Runs[0].Font.Size, -42);
    EXPECT_EQ(Render("<font size=0>a").Surface.Runs[0].Font.Size, 0);
    EXPECT_EQ(Render("<font size=+2147483647>a").Surface.Runs[0].Font.Size, INT_MAX);
    EXPECT_EQ(Render("<font size=$10>a").Surface.Runs[0].Font.Size, 16);
}

TEST(HtmlRenderer, UnclosedTagEndsTheTextButWhatCameBeforeIsMeasured)
{
    Rendered r = Render("ab<br>cd<font size=3");
    ASSERT_EQ(r.Surface.Runs.size(), 2u);
    EXPECT_EQ(r.Surface.Runs[1].Text, "cd");
    EXPECT_EQ(r.Size, TRect(0, 0, 16, 18 + 16));
    EXPECT_TRUE(Render("<").Surface.Runs.empty());
    EXPECT_EQ(Render("").Size, TRect(0, 0, 0, 0));
    // Text outside ASCII keeps its bytes and positions.
    Rendered u = Render("\xC3\xA4<b>\xC3\xB6");
    ASSERT_EQ(u.Surface.Runs.size(), 2u);
    EXPECT_EQ(u.Surface.Runs[1].Text, "\xC3\xB6");
}

} // namespace
} // namespace skin

namespace skin {
namespace {

// A hostile hint text: one tag of half a million words. Reading its
// attributes walks the tag once; a walk per word would not end in the
// lifetime of the test.
TEST(HtmlRendererHostile, ATagOfAGreatManyWordsIsReadInOneWalk)
{
    std::string words;
    for (int i = 0; i < 500000; ++i) words += " x";
    Rendered font = Render("<font" + words + " size=+4 color=red" + words + ">a<p" + words + " align=right>b");
    ASSERT_EQ(font.Surface.Runs.size(), 2u);
    EXPECT_EQ(font.Surface.Runs[0].Font.Size, 12);
    EXPECT_EQ(font.Surface.Runs[0].Font.Color, 0x0000FF);
    EXPECT_EQ(font.Surface.Runs[1].Y, 24 + 2);
    EXPECT_EQ(font.Alignment, 1);
}

} // namespace
} // namespace skin
