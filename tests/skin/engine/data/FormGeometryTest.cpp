// The drawn frame's measures, the caption-button layout and the hit test.
#include "skin/engine/data/FormGeometry.h"

#include <gtest/gtest.h>

namespace skin {
namespace {

const TFrameMetrics kMetrics; // 4, 3, 19, 15

TEST(FormGeometry, BorderAndTitleMeasures)
{
    EXPECT_EQ(FormBorderWidth(fsThickFrame, 6, true, kMetrics), 6);
    // Without a skin width the system's frame for the style decides.
    EXPECT_EQ(FormBorderWidth(fsThickFrame | fsBorder, 0, true, kMetrics), 4);
    EXPECT_EQ(FormBorderWidth(fsBorder, 6, false, kMetrics), 3);
    EXPECT_EQ(FormBorderWidth(0, 0, true, kMetrics), 0);

    TTitleInput t;
    t.Style = fsCaption;
    t.SkinTitleHeight = 26;
    EXPECT_EQ(TitleBarHeight(t, true, kMetrics), 26);
    EXPECT_EQ(TitleBarHeight(t, false, kMetrics), 19);
    t.ToolWindow = true;
    EXPECT_EQ(TitleBarHeight(t, false, kMetrics), 15);
    t.TitleRaised = true;
    t.SkinTitleHeight = 10;
    EXPECT_EQ(TitleBarHeight(t, true, kMetrics), 19); // small caption + 4
    // A form without a title has none, unless it is iconic.
    t = TTitleInput();
    t.HasTitle = false;
    t.Style = fsCaption;
    EXPECT_EQ(TitleBarHeight(t, true, kMetrics), 0);
    t.Iconic = true;
    EXPECT_EQ(TitleBarHeight(t, true, kMetrics), 19);
    t = TTitleInput();
    t.Style = fsBorder; // only half of the caption bits
    EXPECT_EQ(TitleBarHeight(t, true, kMetrics), 0);

    EXPECT_EQ(TitleIconSize(0, 12, true), 8);
    EXPECT_EQ(TitleIconSize(0, 16, true), 8);
    EXPECT_EQ(TitleIconSize(0, 17, true), 16);
    EXPECT_EQ(TitleIconSize(0, 8, true), 1);
    EXPECT_EQ(TitleIconSize(20, 30, true), 20);
    EXPECT_EQ(TitleIconSize(20, 30, false), 0);


    EXPECT_EQ(SnapCoordinate(1905, 20, 1920, 10), 1900);
    EXPECT_EQ(SnapCoordinate(1880, 20, 1920, 10), 1880);
    EXPECT_EQ(SnapCoordinate(-4, 0, 0, 10), 0);
    // Snapped only while the distance is below the buffer, on either side
    // of the edge: 9 away snaps, 10 away stays.
    EXPECT_EQ(SnapCoordinate(1909, 20, 1920, 10), 1900);
    EXPECT_EQ(SnapCoordinate(1910, 20, 1920, 10), 1910);
    EXPECT_EQ(SnapCoordinate(1891, 20, 1920, 10), 1900);
    EXPECT_EQ(SnapCoordinate(1890, 20, 1920, 10), 1890);
    EXPECT_EQ(SnapCoordinate(10, 0, 0, 10), 10);
    EXPECT_EQ(SnapCoordinate(-9, 0, 0, 10), 0);
    EXPECT_EQ(MaximizedRegionRect(800, 600, 4, 4), TRect(4, 4, 796, 596));
}

TCaptionLayoutInput Sizeable()
{
    TCaptionLayoutInput in;
    in.WindowWidth = 400;
    in.RightBorder = 4;
    in.SkinBorderWidth = 4;
    in.TitleBarHeight = 26;
    in.BIRight = 2;
    in.BISpace = 1;
    in.ButtonHeight = 20;
    return in;
}

TEST(FormGeometry, CaptionButtonLayout)
{
    TCaptionLayoutInput in = Sizeable();
    TCaptionLayout l = LayoutCaptionButtons(in);
    // Right to left: close, maximize, minimize, spaced by BISPACE, centred.
    EXPECT_EQ(l.Close, TRect(373, 5, 394, 25));
    EXPECT_EQ(l.Max, TRect(351, 5, 372, 25));
    EXPECT_EQ(l.Min, TRect(329, 5, 350, 25));
    EXPECT_EQ(l.Help, TRect());
    EXPECT_EQ(TitleButtonsWidth(in), 2 + 21 + 22 + 22);

    // The small set has no spacing; user buttons start 8 pixels further left
    // and hidden ones get no place.
    in.Large = false;
    in.User = {{true, true, 30}, {false, true, 21}, {true, false, 21}};
    l = LayoutCaptionButtons(in);
    EXPECT_EQ(l.Min, TRect(331, 5, 352, 25));
    EXPECT_EQ(l.User[0], TRect(293, 5, 323, 25));
    EXPECT_EQ(l.User[1], TRect());
    EXPECT_EQ(l.User[2], TRect(272, 5, 293, 25));
    EXPECT_EQ(TitleButtonsWidth(in), 2 + 63 + 8 + 72);

    // Without a close button there is no other caption button, but user
    // buttons are still placed.
    in.Menu.VisibleClose = false;
    in.Help = true;
    l = LayoutCaptionButtons(in);
    EXPECT_EQ(l.Close, TRect());
    EXPECT_EQ(l.Help, TRect());
    EXPECT_EQ(l.User[0], TRect(356, 5, 386, 25));

    // A small large-set button is lowered by 2; top alignment ignores centring.
    in = Sizeable();
    in.ButtonHeight = 14;
    EXPECT_EQ(LayoutCaptionButtons(in).Close.Top, 10);
    in.BIVAlign = 1;
    EXPECT_EQ(LayoutCaptionButtons(in).Close.Top, 0);

    // An iconic form always has its minimize (restore) button.
    in = Sizeable();
    in.Menu.VisibleMin = false;
    EXPECT_EQ(LayoutCaptionButtons(in).Min, TRect());
    in.Iconic = true;
    EXPECT_EQ(LayoutCaptionButtons(in).Min, TRect(329, 5, 350, 25));

    in.HasTitle = false;
    EXPECT_EQ(LayoutCaptionButtons(in).Close, TRect());
}

THitTestInput HitForm()
{
    TCaptionLayoutInput c = Sizeable();
    c.User = {{true, true, 21}};
    THitTestInput in;
    in.Width = 400;
    in.Height = 300;
    in.Style = fsThickFrame | fsCaption;
    in.BorderWidth = 4;
    in.SysBorderWidth = 4;
    in.TitleHeight = 26;
    in.IconRect = TRect(6, 7, 22, 23);
    in.Buttons = LayoutCaptionButtons(c);
    in.User = c.User;
    return in;
}

// A skin's title may be higher than a small window, and its button pictures
// wider than any title: the buttons stay on the window and keep answering.
TEST(FormGeometry, CaptionButtonsStayOnASmallWindowWhateverTheSkinsSizes)
{
    TCaptionLayoutInput in = Sizeable();
    in.WindowHeight = 60;
    in.TitleBarHeight = 100;   // centred, the buttons would start at row 42
    TCaptionLayout l = LayoutCaptionButtons(in);
    EXPECT_EQ(l.Close, TRect(373, 40, 394, 60));
    EXPECT_EQ(l.Min, TRect(329, 40, 350, 60));

    // Pictures thousands of pixels wide and high: a button of the largest
    // side, cut to the window's height, the next one beside it.
    in.CloseWidth = in.MaxWidth = 5000;
    in.ButtonHeight = 16000;
    l = LayoutCaptionButtons(in);
    EXPECT_EQ(l.Close, TRect(394 - 128, 0, 394, 60));
    EXPECT_EQ(l.Max, TRect(394 - 128 - 1 - 128, 0, 394 - 128 - 1, 60));
    EXPECT_EQ(TitleButtonsWidth(in), 2 + 128 + 129 + 22);

    THitTestInput h;
    h.Width = 400;
    h.Height = 60;
    h.Style = fsThickFrame | fsCaption;
    h.BorderWidth = h.SysBorderWidth = 4;
    h.TitleHeight = 100;
    h.Buttons = l;
    EXPECT_EQ(FormHitTest(h, TPoint(390, 58)), htClose);

    // A button above the window (a dialog's negative centre offset) comes
    // down onto it; a window of unknown height keeps the layout as it is.
    TCaptionLayout up;
    up.Close = TRect(10, -15, 30, 5);
    KeepButtonsInWindow(up, 60);
    EXPECT_EQ(up.Close, TRect(10, 0, 30, 20));
    in.WindowHeight = 0;
    in.ButtonHeight = 20;
    in.CloseWidth = in.MaxWidth = 21;
    EXPECT_EQ(LayoutCaptionButtons(in).Close, TRect(373, 42, 394, 62));

    // The size grip: a grip picture of the form's size would make every
    // click on the client a sizing one.
    const TRect client(4, 30, 396, 296);
    EXPECT_EQ(GripCorner(client, 12, 14), TRect(384, 282, 396, 296));
    EXPECT_EQ(GripCorner(client, 4000, 16384), TRect(396 - 32, 296 - 32, 396, 296));
    EXPECT_EQ(GripCorner(TRect(0, 0, 20, 10), 12, 12), TRect(10, 5, 20, 10));
    h.Buttons = TCaptionLayout();
    h.Height = 300;
    h.TitleHeight = 26;
    h.GripRect = GripCorner(client, 4000, 16384);
    EXPECT_EQ(FormHitTest(h, TPoint(200, 150)), htClient);
    EXPECT_EQ(FormHitTest(h, TPoint(390, 290)), htBottomRight);
}

// A maximized form's frame lies off the screen: the rows above its caption
// buttons and the strip right of close, down to close's bottom, are the
// buttons' own (a pointer thrown into the corner closes it). Not so for a
// restored form, whose edges size it, nor below close.
TEST(FormGeometry, AMaximizedFormsButtonsReachTheScreensEdge)
{
    THitTestInput in = HitForm();
    in.Zoomed = true;
    in.Menu.EnabledRestore = true;
    const TRect close = in.Buttons.Close, max = in.Buttons.Max, min = in.Buttons.Min;
    ASSERT_GT(close.Top, 0);
    ASSERT_LT(close.Right, in.Width - 1);
    EXPECT_EQ(FormHitTest(in, {in.Width - 1, 0}), htClose);
    EXPECT_EQ(FormHitTest(in, {in.Width - 1, close.Top}), htClose);
    EXPECT_EQ(FormHitTest(in, {in.Width - 1, close.Bottom - 1}), htClose);
    EXPECT_EQ(FormHitTest(in, {close.Left, 0}), htClose);
    EXPECT_EQ(FormHitTest(in, {max.Left + 1, 0}), htMaxButton);
    EXPECT_EQ(FormHitTest(in, {min.Right - 1, close.Top - 1}), htMinButton);
    EXPECT_EQ(FormHitTest(in, {in.Width - 1, close.Bottom}), htCaption);
    EXPECT_EQ(FormHitTest(in, {200, 0}), htCaption);

    in.Zoomed = false;
    in.Menu.EnabledRestore = false;
    EXPECT_EQ(FormHitTest(in, {in.Width - 1, close.Top}), htRight);
    EXPECT_EQ(FormHitTest(in, {close.Left, 0}), htTop);
}

TEST(FormGeometry, HitTestRegions)
{
    THitTestInput in = HitForm();
    EXPECT_EQ(FormHitTest(in, {380, 10}), htClose);
    EXPECT_EQ(FormHitTest(in, {360, 10}), htMaxButton);
    EXPECT_EQ(FormHitTest(in, {340, 10}), htMinButton);
    EXPECT_EQ(FormHitTest(in, {310, 10}), htUserButton);
    EXPECT_EQ(FormHitTest(in, {200, 10}), htCaption);
    EXPECT_EQ(FormHitTest(in, {10, 10}), htSysMenu);
    EXPECT_EQ(FormHitTest(in, {200, 100}), htClient);

    // Every border and corner of the sizing frame.
    EXPECT_EQ(FormHitTest(in, {200, 0}), htTop);
    EXPECT_EQ(FormHitTest(in, {200, 299}), htBottom);
    EXPECT_EQ(FormHitTest(in, {200, 296}), htBottom);
    EXPECT_EQ(FormHitTest(in, {200, 295}), htClient);
    EXPECT_EQ(FormHitTest(in, {0, 100}), htLeft);
    EXPECT_EQ(FormHitTest(in, {396, 100}), htRight);
    EXPECT_EQ(FormHitTest(in, {1, 1}), htTopLeft);
    EXPECT_EQ(FormHitTest(in, {399, 1}), htTopRight);
    EXPECT_EQ(FormHitTest(in, {2, 298}), htBottomLeft);
    EXPECT_EQ(FormHitTest(in, {398, 298}), htBottomRight);

    // Menu line and size grip.
    in.MenuHeight = 19;
    EXPECT_EQ(FormHitTest(in, {200, 35}), htMenu);
    EXPECT_EQ(FormHitTest(in, {200, 49}), htClient);
    in.GripRect = TRect(380, 280, 396, 296);
    EXPECT_EQ(FormHitTest(in, {390, 290}), htBottomRight);

    // The title's lower edge itself: on the menu line's span it is the
    // menu's, over the side frame and without a menu line the title's.
    EXPECT_EQ(FormHitTest(in, {200, 29}), htCaption);
    EXPECT_EQ(FormHitTest(in, {200, 30}), htMenu);
    EXPECT_EQ(FormHitTest(in, {200, 31}), htMenu);
    in.MenuHeight = 0;
    EXPECT_EQ(FormHitTest(in, {200, 30}), htCaption);
    EXPECT_EQ(FormHitTest(in, {200, 31}), htClient);
    in.IconRect = TRect(6, 7, 22, 31);
    EXPECT_EQ(FormHitTest(in, {10, 30}), htSysMenu);
    in.IconRect = TRect(6, 7, 22, 23);
    in.MenuHeight = 19;
    in.Style = fsCaption | fsBorder;
    EXPECT_EQ(FormHitTest(in, {2, 30}), htCaption);
    EXPECT_EQ(FormHitTest(in, {4, 30}), htMenu);
    EXPECT_EQ(FormHitTest(in, {396, 30}), htCaption);
    in.Style = fsThickFrame | fsCaption;

    // A form without a title has no title edge: its first client row is
    // the client's (a press there must not move the form, nor a double
    // click maximize it), with and without a sizing frame.
    THitTestInput bare = HitForm();
    bare.Style = fsThickFrame;
    bare.TitleHeight = 0;
    bare.IconRect = TRect();
    bare.Buttons = TCaptionLayout();
    bare.User.clear();
    EXPECT_EQ(FormHitTest(bare, {200, 3}), htTop);
    EXPECT_EQ(FormHitTest(bare, {200, 4}), htClient);
    bare.Style = fsBorder;
    EXPECT_EQ(FormHitTest(bare, {200, 4}), htClient);
    bare.MenuHeight = 19;
    EXPECT_EQ(FormHitTest(bare, {200, 4}), htMenu);

    // A maximized, minimized or fixed form has no sizing frame.
    in.Zoomed = true;
    EXPECT_EQ(FormHitTest(in, {200, 0}), htCaption);
    in.Zoomed = false;
    in.Iconic = true;
    EXPECT_EQ(FormHitTest(in, {200, 0}), htCaption);
    EXPECT_EQ(FormHitTest(in, {0, 20}), htCaption);
    EXPECT_EQ(FormHitTest(in, {399, 20}), htCaption);
    in.Iconic = false;
    in.Style = fsCaption | fsBorder;
    EXPECT_EQ(FormHitTest(in, {0, 100}), htClient);
}

TEST(FormGeometry, HitTestButtonPermissions)
{
    THitTestInput in = HitForm();
    // Maximize answers only when the menu allows maximizing or restoring.
    in.Menu.EnabledMax = false;
    EXPECT_EQ(FormHitTest(in, {360, 10}), htCaption);
    in.Menu.EnabledRestore = true;
    EXPECT_EQ(FormHitTest(in, {360, 10}), htMaxButton);
    in.Iconic = true;
    EXPECT_EQ(FormHitTest(in, {360, 10}), htCaption);
    // Minimize answers only when the menu allows minimizing, except on a
    // minimized window: there the button shows the restore glyph and its
    // click restores.
    in.Menu.EnabledMin = false;
    EXPECT_EQ(FormHitTest(in, {340, 10}), htMinButton);
    in.Iconic = false;
    EXPECT_EQ(FormHitTest(in, {340, 10}), htCaption);
    // A disabled user button is part of the caption.
    in.User[0].Enabled = false;
    EXPECT_EQ(FormHitTest(in, {310, 10}), htCaption);
}

TEST(FormGeometry, UserButtonsClippedToTitleBar)
{
    // A narrow form with many user buttons: the leftmost run past the icon
    // and the left frame; those parts must keep their own answers.
    TCaptionLayoutInput c = Sizeable();
    c.WindowWidth = 150;
    c.User.assign(6, TUserButtonInput());
    THitTestInput in = HitForm();
    in.Width = 150;
    in.Buttons = LayoutCaptionButtons(c);
    in.User = c.User;
    ASSERT_LT(in.Buttons.User[5].Left, 0);
    EXPECT_EQ(FormHitTest(in, {1, 10}), htLeft);
    EXPECT_EQ(FormHitTest(in, {10, 10}), htSysMenu);
    EXPECT_EQ(FormHitTest(in, {10, 1}), htTop);
    // The button cut by the frame leaves nothing inside the title.
    EXPECT_EQ(FormHitTest(in, {4, 10}), htCaption);
    const TRect& inside = in.Buttons.User[0];
    EXPECT_EQ(FormHitTest(in, {inside.Left + 1, 10}), htUserButton);
    // Below the title bar a user button taller than the title answers nothing.
    in.Buttons.User[0].Bottom = 60;
    EXPECT_EQ(FormHitTest(in, {inside.Left + 1, 50}), htClient);
}

// A maximized window on its work area: the frame beyond it at the sides and
// the bottom, the top beyond it by the frame and a raised title (more than
// the frame), or by less than the frame, or not at all; on a second monitor;
// nowhere on it.
TEST(FormGeometry, WorkAreaRegionIsThePartOnTheWorkArea)
{
    const TRect work(0, 0, 1280, 1024);
    EXPECT_EQ(WorkAreaRegionRect(TRect(-4, -4, 1284, 1028), work), TRect(4, 4, 1284, 1028));
    EXPECT_EQ(WorkAreaRegionRect(TRect(-4, -2, 1284, 1028), work), TRect(4, 2, 1284, 1026));
    EXPECT_EQ(WorkAreaRegionRect(TRect(-4, -10, 1284, 1028), work), TRect(4, 10, 1284, 1034));
    EXPECT_EQ(WorkAreaRegionRect(TRect(-4, 0, 1284, 1028), work), TRect(4, 0, 1284, 1024));
    EXPECT_EQ(WorkAreaRegionRect(TRect(1276, 36, 2568, 1060), TRect(1280, 40, 2560, 1056)), TRect(4, 4, 1284, 1020));
    EXPECT_TRUE(WorkAreaRegionRect(TRect(2000, 0, 2400, 300), work).IsEmpty());
}

// Where the drawn frame says title the window's own answer stands, unless
// it names the system's title parts or a sizing edge of a maximized frame.
TEST(FormGeometry, CaptionAnswerTakesTheWindowsOwnButNotItsTitleParts)
{
    constexpr int border = 18, transparent = -1; // HTBORDER, HTTRANSPARENT
    for (const int own : {border, int(htClient), int(htCaption), int(htNowhere), transparent, int(htLeft), int(htTop),
                          int(htBottomRight)})
        EXPECT_EQ(CaptionAnswer(own, false), own) << own;
    for (const int own : {htSysMenu, htMenu, htMinButton, htMaxButton, htClose, htHelp}) {
        EXPECT_EQ(CaptionAnswer(own, false), htCaption) << own;
        EXPECT_EQ(CaptionAnswer(own, true), htCaption) << own;
    }
    for (const int own : {htLeft, htTop, htTopLeft, htBottomRight})
        EXPECT_EQ(CaptionAnswer(own, true), htCaption) << own;
    EXPECT_EQ(CaptionAnswer(border, true), border);
}

TEST(FormGeometry, SizeOutlineKeepsTheMinimum)
{
    const TRect form(100, 100, 400, 300);
    // Right edge dragged far left stops at the minimum width; none given, it
    // may shrink to nothing.
    EXPECT_EQ(SizeOutline(htRight, {10, 0}, {400, 0}, form, 120, 0), TRect(100, 100, 220, 300));
    EXPECT_EQ(SizeOutline(htRight, {100, 0}, {400, 0}, form, 0, 0), TRect(100, 100, 100, 300));
    // The top-left corner moves Left and Top only.
    EXPECT_EQ(SizeOutline(htTopLeft, {90, 80}, {100, 100}, form, 0, 0), TRect(90, 80, 400, 300));
    EXPECT_EQ(SizeOutline(htBottom, {0, 350}, {0, 300}, form, 0, 0), TRect(100, 100, 400, 350));
    EXPECT_EQ(SizeOutline(htTop, {0, 290}, {0, 100}, form, 0, 50), TRect(100, 250, 400, 300));
    EXPECT_EQ(SizeOutline(htBottomLeft, {350, 310}, {100, 300}, form, 60, 0), TRect(340, 100, 400, 310));
    // No movement, no change.
    EXPECT_EQ(SizeOutline(htBottomRight, {5, 5}, {5, 5}, form, 0, 0), form);
}


TEST(FormGeometry, ButtonTopFollowsTheSkinsTitleConstants)
{
    TCaptionLayoutInput in;
    in.WindowWidth = 400;
    in.TitleBarHeight = 26;
    in.ButtonHeight = 20;
    in.Menu.VisibleMax = in.Menu.VisibleMin = false;
    // Centred: (0 + 26 - 20) / 2.
    EXPECT_EQ(LayoutCaptionButtons(in).Close.Top, 3);
    // A skin whose maximized title differs moves a zoomed form's buttons by
    // (TITLEHEIGHT - MAXHEIGHT - CENTEROFFSET) / 2 - 2.
    in.SkinTitleHeight = 30;
    in.SkinMaxHeight = 22;
    EXPECT_EQ(LayoutCaptionButtons(in).Close.Top, 3);
    in.Zoomed = true;
    EXPECT_EQ(LayoutCaptionButtons(in).Close.Top, 3 + (30 - 22) / 2 - 2);
    // With the extended border: 2 up, half the system frame down.
    in.ExtBorders = true;
    in.SysFrame = 4;
    EXPECT_EQ(LayoutCaptionButtons(in).Close.Top, 3 + 2 - 2 + 2);
    // BORDERMODE 1 adds the centre offset, also to the difference.
    in.Zoomed = false;
    in.BorderMode = 1;
    in.CenterOffset = 3;
    EXPECT_EQ(LayoutCaptionButtons(in).Close.Top, 6);
    // Top-aligned buttons: the margin, and on a zoomed form the frame, the
    // title difference and the offset.
    in.BIVAlign = 1;
    in.TopMargin = 5;
    EXPECT_EQ(LayoutCaptionButtons(in).Close.Top, 5);
    in.Zoomed = true;
    EXPECT_EQ(LayoutCaptionButtons(in).Close.Top, 5 + 3 + 8 + 3);
}

} // namespace
} // namespace skin
