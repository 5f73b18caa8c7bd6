// The hint markup on a real bitmap canvas: measured sizes follow the font,
// and what the markup leaves open stays on the canvas.
#include <gtest/gtest.h>

#include "skin/engine/painting/sHtmlParse.h"
#include "ui/Graphics.h"

namespace skin {
namespace {

TRect Measure(tw::TBitmap& bmp, const std::string& text, TRect bounds = TRect(0, 0, 300, 200))
{
    TsHtml html;
    html.Init(&bmp, text, bounds);
    return html.Render();
}

TEST(HtmlOnCanvas, SizesFollowTheFontAndLines)
{
    tw::TBitmap bmp(300, 200, tw::pf24bit);
    bmp.Canvas().Font().SetSize(9);
    const TRect plain = Measure(bmp, "Analysis");
    const int lineHeight = bmp.Canvas().TextHeight("X");
    EXPECT_EQ(plain, TRect(0, 0, bmp.Canvas().TextWidth("Analysis"), lineHeight));
    // Measuring twice gives the same: the hint window relies on it.
    EXPECT_EQ(Measure(bmp, "Analysis"), plain);

    const TRect bigger = Measure(bmp, "<font size=+6>Analysis</font>");
    EXPECT_GT(bigger.Right, plain.Right);
    EXPECT_GT(bigger.Bottom, plain.Bottom);
    EXPECT_EQ(bmp.Canvas().Font().Size(), 9);

    const TRect twoLines = Measure(bmp, "Analysis<br>Analysis", TRect(4, 2, 300, 200));
    EXPECT_EQ(twoLines, TRect(0, 0, 4 + plain.Right, 2 + 2 * lineHeight + 2));
}

TEST(HtmlOnCanvas, OpenMarkupStaysOnTheCanvas)
{
    tw::TBitmap bmp(100, 50, tw::pf24bit);
    bmp.Canvas().Font().SetSize(8);
    Measure(bmp, "<b><font size=12 color=red>x");
    EXPECT_TRUE(bmp.Canvas().Font().Style() & tw::fsBold);
    EXPECT_EQ(bmp.Canvas().Font().Size(), 12);
    EXPECT_EQ(bmp.Canvas().Font().Color(), tw::TColor(0x0000FF));
    // Without a bitmap nothing is drawn or measured.
    TsHtml none;
    none.Init(nullptr, "text", TRect(0, 0, 10, 10));
    EXPECT_EQ(none.Render(), TRect());
}

} // namespace
} // namespace skin
