#pragma once
// Windows only. The skin library's toolbox for talking to controls and
// windows: SM_ALPHACMD to one control, one window or a whole tree of them,
// the colour a control or window shows, finding a control's form, and small
// geometry and text helpers.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/common/SkinMessages.h"
#include "ui/Controls.h"
#include "ui/Forms.h"
#include "ui/Graphics.h"

namespace skin {

// Set while a window is shown animated: children must not repaint
// themselves into the picture being faded in.
extern uint8_t AnimationRunning;
// Set for the length of a skin change that is shown animated: controls may
// show their hot state then, whatever their container says.
extern bool WindowAnimating;

LRESULT SendSkinCommand(HWND wnd, uint16_t command, LPARAM lparam = 0);
// A graphic control gets the command through Perform; a windowed one only
// while it has a window and is not going away (else the answer is 0).
LRESULT SendSkinCommandToControl(tw::TControl* control, uint16_t command, LPARAM lparam = 0);
LRESULT AskControl(tw::TControl* control, uint16_t command);
// True only for the answer 1: anything else is "no".
bool AskWindow(HWND wnd, uint16_t command);

// Tells the control's form that the control finished loading.
void NotifyParentForm(tw::TControl* control);
// Asks each child of the parent to re-check its active state and repaint.
void RefreshChildren(tw::TWinControl* parent);
void RefreshChildWindows(HWND wnd);

// Delivers the message to the parent's children and their children, in
// order. Windowed children that the skin library does not handle are not
// messaged themselves (a foreign window must not see our private message),
// but their own children are. Stops at the first child that is going away:
// the list of children can no longer be trusted after it.
void BroadcastToChildren(tw::TWinControl* parent, tw::TMessage& message);
// Every direct child window of the window gets the message.
void BroadcastToChildWindows(HWND wnd, tw::TMessage& message);

// The colour a control or window shows (skinned ones are asked); the key
// colour $FF00FF for none.
TColor GetControlColor(tw::TControl* control);
TColor GetWindowColor(HWND wnd);

// The first form in the owner chain, starting with the component itself.
tw::TCustomForm* GetOwnerForm(tw::TComponent* component);
// The first frame in the owner chain, starting with the component itself.
tw::TCustomFrame* GetOwnerFrame(tw::TComponent* component);
HWND GetTopParentWindow(HWND wnd);
class TSkinnedFormLink;
// Hands the message to the notification hook of the form's first provider
// that is not going away; returns that provider (nullptr: none).
TSkinnedFormLink* NotifyProviderHook(tw::TCustomForm* form, tw::TMessage& message);
// A control that exists in full: has its window (windowed ones), a parent,
// and is neither loading, having its window made, nor going away.
bool ControlIsReady(tw::TControl* control);

TPoint GetMousePos();
// The client rectangle in the coordinates of the whole window.
TRect GetClientRectInWindow(HWND wnd);
// The space the visible children aligned to one side take (heights for
// top and bottom, widths for left and right).
int AlignedChildrenSize(tw::TWinControl* parent, tw::TAlign align, bool withGraphic);
// DrawText flags of a one-line text with the given alignment.
UINT TextFlagsByAlignment(tw::TAlignment alignment);

// Where a new picture is put in the child order: just above the control
// (the overlay of an animated show covers the control and nothing else).
void PlaceAfterControl(tw::TWinControl* overlay, tw::TWinControl* control);

// A graphic child that shows in the DC: visible, at least 1 x 1, not going
// away, not hidden from the designer, and its bounds visible in the DC
// (parent coordinates).
bool GraphicChildNeedsPaint(tw::TControl* child, HDC dc);
// Paints the parent's graphic children into the DC, moved by offset, through
// a buffer over the parent's background (an opaque child over its own
// colour); a child whose top-left pixel comes out as the key colour $FF00FF
// is left transparent. While the parent paints a copy of itself, so does
// each child.
void PaintGraphicChildren(HDC dc, tw::TWinControl* parent, TPoint offset);

// Paints the control with its windowed children into the bitmap at (x, y)
// (the bitmap's origin is the control's top-left). An invisible control
// leaves its parent's colour in its place.
void PaintControlTree(tw::TBitmap& bitmap, tw::TControl* control, int x, int y, TSkinnedFormLink* provider);

// A plain window that shows whatever its user copies into its DC: the old
// picture of a window while the new one fades in over it.
class TOutputWindow : public tw::TCustomControl {
public:
    explicit TOutputWindow(tw::TComponent* owner);

protected:
    void CreateParams(tw::TCreateParams& p) override;
    void WndProc(tw::TMessage& m) override;
};

// The DC of the picture an animated show renders (painting code that must
// not draw on the screen meanwhile checks it), 0 otherwise.
extern HDC AnimPaintDC;
// A window that repaints itself over an animated show: it gets AC_SKINREFRESH
// after every frame.
extern HWND FadeWindow;

// Captures what the screen shows of the control now and puts an overlay with
// that picture over it; the page control calls this before changing pages.
void ShowOutputWindow(tw::TWinControl* control);
// Fades the control's new look in over the captured one (the screen as it is
// now when nothing was captured before). The low 16 bits of duration are
// milliseconds, one frame per 8 ms; below 8 ms the new look shows at once.
// A form with a skin provider shows with the provider's frame: with an
// extended-border window as one layered picture, else through the overlay,
// which then takes the outline of the skinned form.
void AnimShowControl(tw::TWinControl* control, uint32_t duration);
// Sees the finished picture of every animated show and the window it is
// shown in (the overlay, or the layered fading window); for tests.
extern std::function<void(const tw::TBitmap& picture, HWND window, bool layered)> AnimationProbe;
// Told of every frame of a show fade: the window it went to and the frame's
// opacity (layered path) or the old picture's weight (overlay path).
extern std::function<void(HWND window, uint8_t alpha)> AnimationFrameProbe;
// The system's major version as the fades and the redraw after a skin change
// ask it; tests set other answers.
extern std::function<DWORD()> AnimationMajorVersion;

// uxtheme's SetWindowTheme, loaded on first use; nullptr where there is none.
using TSetWindowTheme = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
TSetWindowTheme SetWindowThemeProc();

} // namespace skin
