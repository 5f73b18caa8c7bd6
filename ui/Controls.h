// Controls: TControl (position, size, alignment, visibility, colour, font,
// hint, cursor, mouse events, a swappable message procedure), TWinControl
// (a real window with child controls), TGraphicControl (painted by its
// parent, no window of its own) and TCustomControl (a window that paints
// itself on a canvas).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Object.h"
#include "ui/Graphics.h"
#include "ui/Types.h"

namespace tw {

class TPopupMenu;
class TCustomForm;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
using TAnchors = unsigned;
constexpr TAnchors akLeft = 1, akTop = 2, akRight = 4, akBottom = 8;
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TVerticalAlignment { taAlignTop, taAlignBottom, taVerticalCenter };
// Border of forms; controls use only bsNone and bsSingle.
enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

// What a control is doing at the moment (its control state). The values are
// the ones the skin code tests by number.
using TControlState = unsigned;
// Its window is being made (CreateWindowEx and the children's windows).
constexpr TControlState csCreating = 0x40;
// It paints a copy of itself into a DC that is not its window's (PaintTo, a
// parent painting its graphic children into a buffer).
constexpr TControlState csPaintCopy = 0x80;
// A window adapter of the skin has its window (set and cleared by the
// adapter; a window made again starts without one, so without the mark).
constexpr TControlState csSkinAdapted = 0x10000;

// What kind of painter a control is (its control style).
using TControlStyle = unsigned;
// It paints every pixel of its rectangle: nothing of the parent shows through.
constexpr TControlStyle csOpaque = 0x01;
// It is not shown while its form is being designed.
constexpr TControlStyle csNoDesignVisible = 0x02;

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    // --- tree
    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* parent);
    // The form this control sits on (nullptr when not placed on one).
    TCustomForm* ParentForm() const;

    // --- geometry (relative to the parent's client area; forms: screen)
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
    void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
    virtual TRect ClientRect() const { return TRect(0, 0, width_, height_); }
    int ClientWidth() const { return ClientRect().Width(); }
    int ClientHeight() const { return ClientRect().Height(); }
    virtual void SetClientSize(int w, int h);
    void SetClientWidth(int w) { SetClientSize(w, ClientHeight()); }
    void SetClientHeight(int h) { SetClientSize(ClientWidth(), h); }
    // The client origin in screen coordinates.
    virtual TPoint ClientOrigin() const;
    TPoint ClientToScreen(TPoint p) const;
    TPoint ScreenToClient(TPoint p) const;

    TAlign Align() const { return align_; }
    void SetAlign(TAlign a);
    TAnchors Anchors() const { return anchors_; }
    void SetAnchors(TAnchors a) { anchors_ = a; }

    // --- state
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool v);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible and every parent up to the form visible.
    bool Showing() const;
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool e);

    // --- look
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool p);
    TFont& Font() { return *font_; }
    const TFont& Font() const { return *font_; }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool p);
    // Caption and Text are the same text (as in the class library).
    virtual std::string Text() const { return text_; }
    virtual void SetText(const std::string& t);
    std::string Caption() const { return Text(); }
    void SetCaption(const std::string& t) { SetText(t); }

    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& h) { hint_ = h; }
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool s) { showHint_ = s; parentShowHint_ = false; }
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool p) { parentShowHint_ = p; }
    // ShowHint, following ParentShowHint up the parents.
    bool EffectiveShowHint() const;
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor c) { cursor_ = c; }
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* m) { popupMenu_ = m; }

    TControlState ControlState() const { return controlState_; }
    void SetControlState(TControlState s) { controlState_ = s; }
    TControlStyle ControlStyle() const { return controlStyle_; }
    void SetControlStyle(TControlStyle s) { controlStyle_ = s; }

    // --- painting and messages
    virtual void Invalidate();
    virtual void Update() {}
    void Repaint() { Invalidate(); Update(); }
    void Refresh() { Repaint(); }
    void BringToFront();
    void SendToBack();
    // Sends a message straight through WindowProc (no window needed).
    LRESULT Perform(UINT msg, WPARAM wp = 0, LPARAM lp = 0);
    // The current message procedure; initially calls WndProc. Save it before
    // replacing it and call the saved one to chain.
    TWndMethod WindowProc;
    // The control's own message handling (not virtualised further by
    // WindowProc swaps); ends in DefaultHandler.
    virtual void WndProc(TMessage& m);
    virtual void DefaultHandler(TMessage& m) {}
    virtual bool IsWindowed() const { return false; }
    // True while the mouse is over the control (between CM_MOUSEENTER and
    // CM_MOUSELEAVE).
    bool MouseInControl() const { return mouseIn_; }
    virtual void Click();

    // --- events
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TNotifyEvent OnResize;

    void Loaded() override;

protected:
    friend class TWinControl;
    // Colour and font changes notify the control and its children here.
    virtual void ColorChanged();
    virtual void FontChanged();
    virtual void TextChanged() {}
    virtual void VisibleChanged();
    virtual void EnabledChanged();
    virtual void Resize();
    virtual void BoundsChanged() {}
    virtual void MouseDown(TMouseButton b, TShiftState s, int x, int y);
    virtual void MouseUp(TMouseButton b, TShiftState s, int x, int y);
    virtual void MouseMove(TShiftState s, int x, int y);
    virtual void MouseEnter();
    virtual void MouseLeave();
    // Stores new bounds; windowed controls move their window.
    void StoreBounds(int l, int t, int w, int h);
    void RequestAlign();
    void ParentFontChanged();
    void ParentColorChanged();
    // Default text colour and background taken from Font and Color.
    bool clicking_ = false;

    TWinControl* parent_ = nullptr;
    TControlState controlState_ = 0;
    TControlStyle controlStyle_ = 0;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    TAlign align_ = alNone;
    TAnchors anchors_ = akLeft | akTop;
    bool visible_ = true;
    bool enabled_ = true;
    TColor color_ = clBtnFace;
    bool parentColor_ = false;
    std::unique_ptr<TFont> font_;
    bool parentFont_ = true;
    bool updatingFont_ = false;
    std::string text_;
    std::string hint_;
    bool showHint_ = false;
    bool parentShowHint_ = true;
    TCursor cursor_ = crDefault;
    TPopupMenu* popupMenu_ = nullptr;
    bool mouseIn_ = false;
    // Left-button up over the control runs Click (controls whose system
    // class reports clicks itself turn this off).
    bool clickOnMouseUp_ = true;
};

// Parameters a windowed control passes to CreateWindowEx.
struct TCreateParams {
    std::wstring ClassName;     // window class to register (own or superclass)
    std::wstring BaseClassName; // system class superclassed, empty for own
    DWORD Style = 0;
    DWORD ExStyle = 0;
    UINT ClassStyle = CS_DBLCLKS;
    int X = 0, Y = 0, Width = 0, Height = 0;
    HWND WndParent = nullptr;
};

class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* owner);
    ~TWinControl() override;

    // The window handle, created (with the parents' and all children's)
    // when first asked for.
    HWND Handle();
    HWND HandleIfAllocated() const { return handle_; }
    bool HandleAllocated() const { return handle_ != nullptr; }
    void HandleNeeded() { Handle(); }
    // Destroys the window (children too); it is created again on demand.
    void RecreateWnd();

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int i) const { return controls_.at(static_cast<size_t>(i)); }
    // The control (windowed or not) at a client point, topmost first.
    TControl* ControlAtPos(TPoint p, bool allowDisabled = false, bool allowWinControls = false) const;

    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool t);
    int TabOrder() const;
    void SetTabOrder(int order);
    virtual bool CanFocus() const;
    virtual void SetFocus();
    bool Focused() const;

    bool DoubleBuffered() const { return doubleBuffered_; }
    void SetDoubleBuffered(bool d) { doubleBuffered_ = d; }
    // Re-runs the Align layout of the children.
    void Realign();
    void DisableAlign() { ++alignLock_; }
    void EnableAlign();

    void SetText(const std::string& t) override;
    std::string Text() const override;
    void SetBounds(int left, int top, int width, int height) override;
    void SetParent(TWinControl* parent) override;
    TRect ClientRect() const override;
    TPoint ClientOrigin() const override;
    void Invalidate() override;
    void Update() override;
    bool IsWindowed() const override { return true; }
    void WndProc(TMessage& m) override;
    void DefaultHandler(TMessage& m) override;
    // Sends a message to every child control (windowed or not).
    void Broadcast(TMessage& m);
    // Paints the graphic children into dc (clipped and offset).
    void PaintControls(HDC dc, TControl* first = nullptr);
    // Paints the window into a DC (WM_PRINT with the children).
    void PaintTo(HDC dc, int x, int y);

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;

    // Finds the library control of a window (nullptr for foreign windows).
    static TWinControl* FromHandle(HWND h);

protected:
    friend class TControl;
    friend LRESULT CALLBACK ControlWindowProc(HWND, UINT, WPARAM, LPARAM);
    // Set by a form's Release: only then does CM_RELEASE delete it (the
    // message number is open to any program that posts to the window).
    bool releaseRequested_ = false;
    virtual void CreateParams(TCreateParams& p);
    virtual void CreateWnd();
    // Called after the window exists (set fonts, fill native lists...).
    virtual void CreateWindowHandle(const TCreateParams& p);
    virtual void HandleCreated() {}
    virtual void DestroyWnd();
    // Before the window is destroyed: save native state into members.
    virtual void HandleDestroying() {}
    void ColorChanged() override;
    void FontChanged() override;
    void VisibleChanged() override;
    void EnabledChanged() override;
    // Layout of the children by Align and Anchors.
    virtual void AlignControls(TRect& rect);
    virtual TRect AdjustedClientRect() const { return ClientRect(); }
    // Keyboard: return true when handled (the default runs the events).
    virtual bool DoKeyDown(WORD& key, TShiftState shift);
    virtual bool DoKeyPress(wchar_t& key);
    // Colour of text and background for WM_CTLCOLOR* of this control.
    virtual LRESULT CtlColor(HDC dc);
    // Paint handling for windows with graphic children.
    void PaintHandler(TMessage& m);
    virtual void PaintWindow(HDC dc);
    HBRUSH BackgroundBrush();
    void UpdateBoundsFromWindow();
    void AnchorChildren(int oldW, int oldH, int newW, int newH);

    // WndProc's handlers, one per message (or kind of message): true when
    // the message is done, false when TControl::WndProc (the mouse events
    // and the system's handling) still gets it.
    bool PaintMessage(TMessage& m);
    bool EraseBackground(TMessage& m);
    bool BoundsMessage(TMessage& m);
    // WM_COMMAND, WM_NOTIFY, WM_DRAWITEM, WM_MEASUREITEM, WM_CTLCOLOR*,
    // WM_H/VSCROLL of a child go back to it as CN_*.
    bool ReflectNotification(TMessage& m);
    TWinControl* NotifyingChild(const TMessage& m) const;
    bool CursorMessage(TMessage& m);
    bool FocusMessage(TMessage& m);
    bool KeyMessage(TMessage& m);
    bool ContextMenuMessage(TMessage& m);
    void MouseLeft();
    bool RouteMouseMessage(TMessage& m);

    HWND handle_ = nullptr;
    WNDPROC defWndProc_ = nullptr;
    std::vector<TControl*> controls_;
    bool tabStop_ = false;
    bool doubleBuffered_ = false;
    int alignLock_ = 0;
    bool aligning_ = false;
    // The owner was told of this control (first window made).
    bool announced_ = false;
    TControl* captureControl_ = nullptr;
    HBRUSH bgBrush_ = nullptr;
    COLORREF bgBrushColor_ = 0;
    int lastClientW_ = -1, lastClientH_ = -1;
};

// A control without a window; its parent paints it and routes its mouse
// messages to it. Paint draws on Canvas (the parent's DC, offset).
class TGraphicControl : public TControl {
public:
    explicit TGraphicControl(TComponent* owner);
    ~TGraphicControl() override;
    TCanvas& Canvas() { return *canvas_; }
    void WndProc(TMessage& m) override;
    void Update() override;

protected:
    virtual void Paint() {}
    std::unique_ptr<TCanvas> canvas_;
};

// A window of the library's own class that paints itself in Paint.
class TCustomControl : public TWinControl {
public:
    explicit TCustomControl(TComponent* owner);
    ~TCustomControl() override;
    TCanvas& Canvas() { return *canvas_; }
    TNotifyEvent OnPaint;
    void WndProc(TMessage& m) override;

protected:
    void EnabledChanged() override;
    void PaintWindow(HDC dc) override;
    virtual void Paint();
    std::unique_ptr<TCanvas> canvas_;
};

// Converts between the library's UTF-8 and a window's text.
std::string GetWindowTextUtf8(HWND h);
void SetWindowTextUtf8(HWND h, const std::string& s);

} // namespace tw
