// Forms (top-level windows) and the screen object.
//
// A form builds its components in code in its constructor: it creates each
// control with the form as owner, sets Parent and the properties its layout
// holds, binds events (std::function members, sender first), and finally
// calls LoadTree(). LoadTree calls Loaded on every component in creation
// order and then the form's own Loaded, which fires OnCreate.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/Controls.h"

namespace tw {

class TMainMenu;
class TMenuItem;
class TButton;

using TBorderIcons = unsigned;
constexpr TBorderIcons biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8;
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
                 poMainFormCenter, poOwnerFormCenter };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TFormStyle { fsNormal, fsStayOnTop };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;

// The least size a form can be given, by code or by the user's dragging
// (0: no limit).
struct TSizeConstraints {
    int MinWidth = 0;
    int MinHeight = 0;
};

class TCustomForm : public TWinControl {
public:
    explicit TCustomForm(TComponent* owner);
    ~TCustomForm() override;

    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle b);
    TBorderIcons BorderIcons() const { return borderIcons_; }
    void SetBorderIcons(TBorderIcons b);
    TPosition Position() const { return position_; }
    void SetPosition(TPosition p) { position_ = p; }
    TWindowState WindowState() const;
    void SetWindowState(TWindowState s);
    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle s);
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool k) { keyPreview_ = k; }
    TMainMenu* Menu() const { return menu_; }
    void SetMenu(TMainMenu* m);
    TWinControl* ActiveControl() const { return activeControl_; }
    void SetActiveControl(TWinControl* c);
    TIcon& Icon() { return icon_; }
    // Accept files dropped from the shell (WM_DROPFILES reaches WindowProc).
    void SetAcceptFiles(bool a);
    // Outer size limits; setting them does not resize the form at once.
    TSizeConstraints& Constraints() { return constraints_; }
    // The whole window drawn with one opacity, AlphaBlendValue (255 opaque).
    bool AlphaBlend() const { return alphaBlend_; }
    void SetAlphaBlend(bool a);
    uint8_t AlphaBlendValue() const { return alphaBlendValue_; }
    void SetAlphaBlendValue(uint8_t v);
    // Whether showing the form moves it whole onto the work area (on by
    // default). Off for a form another window keeps in place, whose
    // owner already chose where it may lie.
    bool KeepOnWorkAreaWhenShown() const { return keepOnWorkArea_; }
    void SetKeepOnWorkAreaWhenShown(bool keep) { keepOnWorkArea_ = keep; }

    void Show();
    void Hide();
    void SetVisible(bool v) override;
    TModalResult ShowModal();
    bool Modal() const { return modal_; }
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult r) { modalResult_ = r; }
    // Asks OnCloseQuery, then OnClose decides: hide (default), free,
    // minimise or nothing. Closing the main form ends the application.
    void Close();
    bool CloseQuery();
    // Deletes the form once the message loop is back (safe from its own
    // event handlers).
    void Release();
    void BringToFront();
    bool Active() const;
    // Tab to the next (or previous) control that takes the focus.
    void SelectNext(bool forward = true);
    // Whether a main-menu item takes this shortcut; runs it when so.
    bool IsShortCut(TShortCut sc);
    // Looks for a menu item by its command id and runs it.
    bool DispatchMenuCommand(UINT id);

    void Loaded() override;
    void WndProc(TMessage& m) override;
    void SetBounds(int left, int top, int width, int height) override;
    void SetClientSize(int w, int h) override;
    TRect ClientRect() const override;
    TPoint ClientOrigin() const override;

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    // Runs with Canvas() on the paint DC, its origin at the client's corner.
    TNotifyEvent OnPaint;
    // What OnPaint draws with. It has a DC only while OnPaint runs: the
    // window's paint DC, or the skin's picture of the form, which the
    // screen shows.
    TCanvas& Canvas() { return canvas_; }
    // Keys of the whole form when KeyPreview is on: OnKeyDown, OnKeyPress,
    // OnKeyUp of the form (inherited from TWinControl) run before the
    // focused control's.

    // Used by the message loop for KeyPreview and dialog keys.
    bool PreviewKey(MSG& msg);
    // The control whose caption marks ch as its accelerator ("&x") acts:
    // a button is clicked, a check box toggled, a radio button checked, a
    // label focuses its FocusControl, a group box its first control.
    // False when no visible, enabled control owns the letter.
    bool DialogChar(wchar_t ch);

protected:
    friend class TControl;
    friend class TWinControl;
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    void PaintWindow(HDC dc) override;
    virtual void DoCreate();
    virtual void DoShow();
    virtual void DoHide();
    virtual void DoClose(TCloseAction& action);
    void ApplyPosition();
    // A form opens whole on the work area of its monitor: moved in, and
    // made smaller where it is larger than the work area.
    void KeepOnWorkArea();
    void ApplyStyles();
    TButton* FindDialogButton(bool defaultButton) const;

    TBorderStyle borderStyle_ = bsSizeable;
    TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    TPosition position_ = poDesigned;
    TWindowState windowState_ = wsNormal;
    TFormStyle formStyle_ = fsNormal;
    bool keyPreview_ = false;
    bool alphaBlend_ = false;
    uint8_t alphaBlendValue_ = 255;
    void ApplyAlphaBlend();
    bool modal_ = false;
    bool acceptFiles_ = false;
    bool created_ = false;
    bool shownOnce_ = false;
    bool keepOnWorkArea_ = true;
    TModalResult modalResult_ = mrNone;
    TMainMenu* menu_ = nullptr;
    TWinControl* activeControl_ = nullptr;
    TIcon icon_;
    TSizeConstraints constraints_;
    TCanvas canvas_;
};

class TForm : public TCustomForm {
public:
    explicit TForm(TComponent* owner);
};

// A frame: a windowed container of controls that is placed on a form (or on
// another container) like any control. It is not a form: no border, no
// caption, no place in Screen's forms. Its owned components (an adapter
// dropped on it) go first when it is destroyed, while it is still whole.
class TCustomFrame : public TWinControl {
public:
    explicit TCustomFrame(TComponent* owner);
    ~TCustomFrame() override;

protected:
    void CreateParams(TCreateParams& p) override;
};

class TFrame : public TCustomFrame {
public:
    explicit TFrame(TComponent* owner);
};

// Screen size, the forms that exist, and the application-wide cursor.
class TScreen : public TObject {
public:
    int Width() const;
    int Height() const;
    TRect WorkAreaRect() const;
    int PixelsPerInch() const;
    int FormCount() const { return static_cast<int>(forms_.size()); }
    TCustomForm* Forms(int i) const { return forms_.at(static_cast<size_t>(i)); }
    TCustomForm* ActiveForm() const;
    // A cursor for the whole application (crDefault: each control's own).
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor c);

private:
    friend class TCustomForm;
    std::vector<TCustomForm*> forms_;
    TCursor cursor_ = crDefault;
};

extern TScreen* Screen;

// The rectangle moved (and, where it is larger, cut) to lie inside area.
TRect KeptOnArea(const TRect& r, const TRect& area);
// Told of every form as soon as its base part is built (before the derived
// form sets its properties): the skin set-up puts the form's frame provider
// in here, so that no form, also one made long after start-up, misses it.
using TFormCreationHook = std::function<void(TCustomForm*)>;
extern TFormCreationHook FormCreationHook;

// Finds the form a window belongs to (its own library form or the top-level
// ancestor's).
TCustomForm* GetParentForm(TControl* c);

} // namespace tw
