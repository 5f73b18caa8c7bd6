// Basic value types of the window class library: geometry, the message record
// that every window procedure receives, the library's own notification
// messages, shift states, cursors and the common event signatures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "base/Exceptions.h"
#include "base/Object.h"

namespace tw {

TW_EXCEPTION(EInvalidOperation, Exception);
TW_EXCEPTION(EInvalidGraphic, Exception);
TW_EXCEPTION(EResNotFound, Exception);
TW_EXCEPTION(EWin32Error, EOSError);

struct TPoint {
    int X = 0, Y = 0;
    TPoint() = default;
    TPoint(int x, int y) : X(x), Y(y) {}
    bool operator==(const TPoint& o) const { return X == o.X && Y == o.Y; }
};

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    TRect() = default;
    TRect(int l, int t, int r, int b) : Left(l), Top(t), Right(r), Bottom(b) {}
    explicit TRect(const RECT& r) : Left(r.left), Top(r.top), Right(r.right), Bottom(r.bottom) {}
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool Contains(const TPoint& p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
    void Offset(int dx, int dy) { Left += dx; Right += dx; Top += dy; Bottom += dy; }
    void Inflate(int dx, int dy) { Left -= dx; Right += dx; Top -= dy; Bottom += dy; }
    RECT ToRECT() const { return RECT{Left, Top, Right, Bottom}; }
    bool operator==(const TRect& o) const {
        return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
    }
};
inline TRect Rect(int l, int t, int r, int b) { return TRect(l, t, r, b); }
inline TRect Bounds(int l, int t, int w, int h) { return TRect(l, t, l + w, t + h); }

// One window message as it travels through a control's WindowProc chain.
// Handlers set Result; whoever handles a message last decides its value.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

// The current message procedure of a control. A skin or adapter saves the
// old value, installs its own and calls the saved one to chain.
using TWndMethod = std::function<void(TMessage&)>;

// Notifications the library sends to its controls (values fixed: skin code
// compares them).
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = 0xB000;
constexpr UINT CM_DEACTIVATE = 0xB001;
constexpr UINT CM_FOCUSCHANGED = 0xB007;
constexpr UINT CM_PARENTFONTCHANGED = 0xB008;
constexpr UINT CM_PARENTCOLORCHANGED = 0xB009;
constexpr UINT CM_HITTEST = 0xB00A;
constexpr UINT CM_VISIBLECHANGED = 0xB00B;
constexpr UINT CM_ENABLEDCHANGED = 0xB00C;
constexpr UINT CM_COLORCHANGED = 0xB00D;
constexpr UINT CM_FONTCHANGED = 0xB00E;
constexpr UINT CM_CURSORCHANGED = 0xB00F;
constexpr UINT CM_TEXTCHANGED = 0xB012;
constexpr UINT CM_MOUSEENTER = 0xB013;
constexpr UINT CM_MOUSELEAVE = 0xB014;
constexpr UINT CM_MENUCHANGED = 0xB015;
constexpr UINT CM_SHOWINGCHANGED = 0xB019;
constexpr UINT CM_RELEASE = 0xB021;
constexpr UINT CM_CONTROLLISTCHANGE = 0xB02C;
// A form posts this to itself to run deferred work once the message loop is
// back (Release uses CM_RELEASE).
// Messages reflected from a parent to the child they concern:
// CN_BASE + WM_COMMAND / WM_NOTIFY / WM_DRAWITEM / WM_CTLCOLOR... / WM_HSCROLL.
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;
constexpr UINT CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
constexpr UINT CN_MEASUREITEM = CN_BASE + WM_MEASUREITEM;
constexpr UINT CN_HSCROLL = CN_BASE + WM_HSCROLL;
constexpr UINT CN_VSCROLL = CN_BASE + WM_VSCROLL;
constexpr UINT CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN;
constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
constexpr UINT CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX;
constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;
constexpr UINT CN_CTLCOLORSCROLLBAR = CN_BASE + WM_CTLCOLORSCROLLBAR;

// Keyboard and mouse state of an input event.
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1u << 0;
constexpr TShiftState ssAlt = 1u << 1;
constexpr TShiftState ssCtrl = 1u << 2;
constexpr TShiftState ssLeft = 1u << 3;
constexpr TShiftState ssRight = 1u << 4;
constexpr TShiftState ssMiddle = 1u << 5;
constexpr TShiftState ssDouble = 1u << 6;
TShiftState KeyboardShiftState();
TShiftState KeysToShiftState(WPARAM keys);

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Cursor identifiers (negative values are the system cursors).
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;
HCURSOR CursorHandle(TCursor c);

// Results of modal windows and message dialogs.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = IDOK;
constexpr TModalResult mrCancel = IDCANCEL;
constexpr TModalResult mrAbort = IDABORT;
constexpr TModalResult mrRetry = IDRETRY;
constexpr TModalResult mrIgnore = IDIGNORE;
constexpr TModalResult mrYes = IDYES;
constexpr TModalResult mrNo = IDNO;
constexpr TModalResult mrClose = 8;
constexpr TModalResult mrAll = 12;
constexpr TModalResult mrNoToAll = 13;
constexpr TModalResult mrYesToAll = 14;

class TControl;
class TWinControl;

using TMouseEvent = std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;
// Key is a virtual-key code; setting it to 0 swallows the key.
using TKeyEvent = std::function<void(TObject* sender, WORD& key, TShiftState shift)>;
// Key is the typed character (UTF-16 unit); setting it to 0 swallows it.
using TKeyPressEvent = std::function<void(TObject* sender, wchar_t& key)>;
using TMessageHandler = std::function<bool(TMessage& msg)>;

// Keyboard shortcut: a virtual key combined with scShift, scCtrl, scAlt.
using TShortCut = WORD;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;
inline TShortCut ShortCut(WORD key, TShiftState shift) {
    return static_cast<TShortCut>((key & 0xFF) | ((shift & ssShift) ? scShift : 0) | ((shift & ssCtrl) ? scCtrl : 0) |
                                  ((shift & ssAlt) ? scAlt : 0));
}
// "Strg+O" / "Ctrl+O": the key names come from the standard text table.
std::string ShortCutToText(TShortCut sc);

} // namespace tw
