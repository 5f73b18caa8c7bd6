#pragma once
// Measures of a skinned form's drawn frame and the answers to WM_NCHITTEST.
// The provider of skin/windows gathers the window's style, the system
// metrics and the skin's constants into plain records and asks here, so the
// decisions (how wide the frame, how high the title, where each caption
// button lies, which region a point is in) run and are tested natively.
#include <vector>

#include "skin/engine/common/SkinUtils.h"

namespace skin {

// Hit codes of the drawn frame: the system's HT values, 101-103 for the
// buttons of a maximized MDI child on the menu line, 1000 + index for user
// title buttons.
enum THitCode : int {
    htNowhere = 0,
    htClient = 1,
    htCaption = 2,
    htSysMenu = 3,
    htMenu = 5,
    htMinButton = 8,
    htMaxButton = 9,
    htLeft = 10,
    htRight = 11,
    htTop = 12,
    htTopLeft = 13,
    htTopRight = 14,
    htBottom = 15,
    htBottomLeft = 16,
    htBottomRight = 17,
    htClose = 20,
    htHelp = 21,
    htChildClose = 101,
    htChildRestore = 102,
    htChildMin = 103,
    htUserButton = 1000,
};

// The slot of one of the four system title buttons (minimize, maximize,
// close, help) in the records the form and the dialog keep of them; -1 for
// any other code.
inline int SystemButtonSlot(int code)
{
    switch (code) {
    case htMinButton: return 0;
    case htMaxButton: return 1;
    case htClose: return 2;
    case htHelp: return 3;
    default: return -1;
    }
}

// The codes of the title's buttons: the system's, the help button and the
// user buttons.
inline bool IsButtonCode(int code)
{
    return code == htMinButton || code == htMaxButton || code == htClose || code == htHelp || code >= htUserButton;
}

// The window style bits the measures look at.
inline constexpr uint32_t fsThickFrame = 0x40000;
inline constexpr uint32_t fsBorder = 0x800000;
inline constexpr uint32_t fsCaption = 0xC00000;

// System metrics the measures fall back to (SM_CXFRAME, SM_CXFIXEDFRAME,
// SM_CYCAPTION, SM_CYSMCAPTION).
struct TFrameMetrics {
    int CxFrame = 4;
    int CxFixedFrame = 3;
    int CyCaption = 19;
    int CySmCaption = 15;
};

// Frame width: the skin's when it draws the frame, else what the system
// would draw for the window's style.
int FormBorderWidth(uint32_t style, int skinBorderWidth, bool useSkin, const TFrameMetrics& m);

struct TTitleInput {
    uint32_t Style = 0;
    bool HasTitle = true;    // a border style other than none, or an MDI child
    bool Iconic = false;
    bool ToolWindow = false; // tool-window border styles take the small caption
    bool TitleRaised = false;
    int SkinTitleHeight = 0; // 0 without the extended-border window
};

// Height of the title bar; 0 for a form without title unless it is iconic.
int TitleBarHeight(const TTitleInput& in, bool useSkin, const TFrameMetrics& m);

// Edge of the title icon: the icon's own size when given, else by the skin's
// title height; 0 when the form shows no application icon.
int TitleIconSize(int ownSize, int skinTitleHeight, bool showsAppIcon);

// What the system menu allows (the skinned system menu answers these).
struct TSysMenuState {
    bool VisibleClose = true;
    bool VisibleMax = true;
    bool VisibleMin = true;
    bool EnabledMax = true;
    bool EnabledMin = true;
    bool EnabledRestore = false;
};

struct TUserButtonInput {
    bool Visible = true;
    bool Enabled = true;
    int Width = 21; // max(glyph width + 2, the TITLEBUTTON picture's width)
};

// Everything the caption-button layout needs.
struct TCaptionLayoutInput {
    int WindowWidth = 0;
    int WindowHeight = 0;     // 0: not known, the buttons are not kept within it
    int RightBorder = 0;      // the border width at the right
    int SkinBorderWidth = 0;  // the top border the title is centred below
    int TitleBarHeight = 0;
    bool HasTitle = true;
    bool Large = true;        // the large picture set; spacing counts only there
    bool Zoomed = false;
    bool Iconic = false;
    bool Help = false;        // biHelp in the border icons
    int BIRight = 0, BISpace = 0, BIVAlign = 0;
    int CloseWidth = 21, MaxWidth = 21, MinWidth = 21, HelpWidth = 21;
    int ButtonHeight = 21;
    int SysFrame = 0;         // the system frame width, for a zoomed form's top-aligned buttons
    // The extended border's part: its top margin, whether the skin draws
    // the frame itself (BORDERMODE 1) and the skin's title constants
    // (TITLEHEIGHT, MAXHEIGHT, CENTEROFFSET; 0 leaves the title as it is).
    bool ExtBorders = false;
    int TopMargin = 0;
    int BorderMode = 0;
    int SkinTitleHeight = 0, SkinMaxHeight = 0, CenterOffset = 0;
    TSysMenuState Menu;
    std::vector<TUserButtonInput> User;
};

// Placed buttons in window coordinates; an empty rectangle is a button that
// is not shown.
struct TCaptionLayout {
    TRect Close, Max, Min, Help;
    std::vector<TRect> User;
};

// A caption button's side at most: the buttons' sizes come from the skin's
// pictures, which may be thousands of pixels wide.
constexpr int kMaxCaptionButtonSide = 128;

int TitleButtonsWidth(const TCaptionLayoutInput& in);
TCaptionLayout LayoutCaptionButtons(const TCaptionLayoutInput& in);

// Moves the placed buttons up or down into a window of the given height (a
// skin's title can be higher than a small window); a button higher than the
// window is cut to it. A height of 0 keeps them where they are.
void KeepButtonsInWindow(TCaptionLayout& layout, int windowHeight);

// The size grip in the client's bottom-right corner for a grip picture of
// w x h: at most kMaxGripSide a side and half the client's, so that a huge
// picture never turns the whole form into a sizing corner.
constexpr int kMaxGripSide = 32;
TRect GripCorner(const TRect& client, int w, int h);

// The hit-test question for one point in window coordinates.
struct THitTestInput {
    int Width = 0, Height = 0;
    bool Zoomed = false;
    bool Iconic = false;
    uint32_t Style = 0;
    bool BorderForm = false; // an extended-border window draws the frame
    int BorderWidth = 0;     // FormBorderWidth with the skin
    int SysBorderWidth = 0;  // the system border width (skin variant)
    int TitleHeight = 0;     // TitleBarHeight without the skin
    int MenuHeight = 0;      // the menu line, 0 without a main menu
    TRect IconRect;          // the title icon, empty when none
    TRect GripRect;          // the size grip, empty when none is shown
    bool Help = false;
    TSysMenuState Menu;
    TCaptionLayout Buttons;
    std::vector<TUserButtonInput> User;
    TRect ChildClose, ChildRestore, ChildMin; // a maximized MDI child's buttons, empty when not shown
};

int FormHitTest(const THitTestInput& in, TPoint p);

// Where the drawn frame answers HTCAPTION the window's own procedure has the
// last word (the edge of a fixed frame is its border, not a place to move the
// window by), except where it names a part of the system's own title (a
// button, the icon, the menu line: the drawn title has them elsewhere) or a
// sizing edge of a frame that sizes nothing (a maximized window's, which the
// screen cuts off, or a minimized window's, which is a title only).
int CaptionAnswer(int own, bool frameSizesNothing);

// Snapping one coordinate to a work-area edge: P + S lands on E when it is
// closer than the snap buffer.
int SnapCoordinate(int p, int size, int edge, int buffer);

// The region a maximized top-level form keeps: the frame the system puts
// beyond the screen is cut away.
TRect MaximizedRegionRect(int width, int height, int borderWidth, int sysBorderWidth);

// The part of a maximized form's window (screen coordinates) that lies on its
// monitor's work area, in window coordinates; empty when none does. The
// system puts the frame beyond the work area at the sides and the bottom,
// but a skin whose maximized title is lower than its normal one raises the
// window by the difference, so the top edge lies beyond it by more or less
// than the frame: the form covers the work area exactly, whatever it is.
TRect WorkAreaRegionRect(const TRect& window, const TRect& workArea);

// The outline of a size drag with the drawn frame: the dragged edges follow
// the cursor's way from the start point, the opposite edge keeps the minimum
// size. form is the window's rectangle when the drag began.
TRect SizeOutline(int edge, TPoint cursor, TPoint start, const TRect& form, int minWidth, int minHeight);

} // namespace skin
