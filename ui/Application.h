// The application object: initialisation, the forms it owns, the message
// loop, message processing from inside long passes, hint display, and the
// handler for exceptions that escape event handlers.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "base/Object.h"
#include "ui/Controls.h"
#include "ui/Forms.h"
#include "ui/Types.h"

namespace tw {

using TExceptionEvent = std::function<void(TObject* sender, const std::exception& e)>;
using TIdleEvent = std::function<void(TObject* sender, bool& done)>;

// The window that shows a control's hint: multi-line text (lines split at
// CR, LF or CR LF) on the hint colour, never activated.
class THintWindow : public TCustomControl {
public:
    explicit THintWindow(TComponent* owner);
    // Sizes the window to the text and shows it at a screen point.
    void ActivateHint(TPoint screenPos, const std::string& text);
    void ReleaseHint();
    // The size the text needs (with the border); a skinned hint measures its own way.
    virtual TRect CalcHintRect(const std::string& text);
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void Paint() override;
};

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    // Common controls, the hand-over waker (workers' Synchronize reach the
    // UI thread through the message loop), COM for the UI thread, the
    // picture formats. Call once on the UI thread before creating forms.
    void Initialize();
    bool Initialized() const { return initialized_; }

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& t) { title_ = t; }
    // The program file's full path.
    std::string ExeName() const;
    HINSTANCE Instance() const;
    // A hidden window of the application (owner of timers and the hint).
    // It answers WM_GETICON with the program's icon.
    HWND Handle();
    // The program's own icon (MAINICON of the program file) in the small
    // (title) or the large size; nullptr when the program file has none.
    HICON Icon(bool smallSize);

    // Creates a form owned by the application; the first becomes MainForm.
    template <class T> void CreateForm(T*& ref) {
        ref = nullptr;
        T* f = new T(this);
        ref = f;
        if (!mainForm_) mainForm_ = f;
    }
    TCustomForm* MainForm() const { return mainForm_; }
    void SetMainForm(TCustomForm* f) { mainForm_ = f; }
    bool ShowMainForm() const { return showMainForm_; }
    void SetShowMainForm(bool s) { showMainForm_ = s; }

    // Shows the main form and processes messages until Terminate.
    void Run();
    // Ends the loop: Terminated is true at once, WM_QUIT follows.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Processes every waiting message and pending hand-over, then returns.
    // Safe to call from inside handlers and long passes (re-entrant).
    void ProcessMessages();
    // Waits for and processes one message (or idles).
    void HandleMessage();
    // Deletes every form the application owns (end of the program).
    void DestroyForms();

    // An exception that escaped an event handler or window procedure comes
    // here. With OnException set it is handed over; otherwise a message box
    // shows the exception's message. One that comes while another is being
    // shown is reported after it.
    void HandleException(TObject* sender);
    void ShowException(const std::exception& e);
    TExceptionEvent OnException;
    TIdleEvent OnIdle;

    // Hooks that see the main form's messages before its WindowProc; a hook
    // returning true takes the message. Returns a key for UnhookMainWindow.
    int HookMainWindow(TMessageHandler hook);
    void UnhookMainWindow(int key);
    bool CallMainWindowHooks(TMessage& m);

    // A message box through the dialog hook (see Dialogs.h), else the
    // system's MessageBoxW. Returns the IDxxx answer.
    int MessageBox(const std::string& text, const std::string& caption, UINT flags = MB_OK);

    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool s) { showHint_ = s; }
    int HintPause() const { return hintPause_; }
    void SetHintPause(int ms) { hintPause_ = ms; }
    int HintHidePause() const { return hintHidePause_; }
    void SetHintHidePause(int ms) { hintHidePause_ = ms; }
    TColor HintColor() const { return hintColor_; }
    void SetHintColor(TColor c) { hintColor_ = c; }
    void CancelHint();
    // Shows a hint text now at a screen point (tests, custom hints).
    void ActivateHint(const std::string& text, TPoint screenPos);
    THintWindow* HintWindow() const { return hintWindow_; }
    // Makes the window hints are shown in (a skin brings its own); the
    // current one is dropped and the next hint comes in a new one.
    void SetHintWindowClass(std::function<THintWindow*(TComponent* owner)> make);
    TNotifyEvent OnHint;

    // Mouse tracking: the control under the mouse gets CM_MOUSEENTER and
    // CM_MOUSELEAVE when it changes.
    void SetMouseControl(TControl* c);
    TControl* MouseControl() const { return mouseControl_; }
    // A control going away must not stay the mouse or hint control.
    void ControlDestroyed(TControl* c);

    // Whether one of the application's windows is the active window. A form
    // that hears WM_ACTIVATEAPP reports here; on every change the
    // application posts CM_ACTIVATE or CM_DEACTIVATE to its own window,
    // where the main-window hooks hear it.
    bool Active() const { return active_; }
    void ActivateApp(bool active);

    void Minimize();
    void Restore();
    void BringToFront();
    int ModalLevel() const { return modalLevel_; }

private:
    friend class TCustomForm;
    bool ProcessMessage(MSG& msg);
    bool IsKeyMsg(MSG& msg);
    void Idle();
    void HintTimerFired(UINT_PTR id);
    static LRESULT CALLBACK AppWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);

    bool initialized_ = false;
    bool terminated_ = false;
    bool showMainForm_ = true;
    std::string title_;
    HICON smallIcon_ = nullptr, bigIcon_ = nullptr;
    bool iconsLoaded_ = false;
    TCustomForm* mainForm_ = nullptr;
    HWND handle_ = nullptr;
    struct Hook { int key; TMessageHandler fn; };
    std::vector<Hook> hooks_;
    int nextHookKey_ = 1;
    int modalLevel_ = 0;
    bool showHint_ = true;
    int hintPause_ = 500;
    int hintHidePause_ = 5000;
    TColor hintColor_ = clInfoBk;
    TControl* mouseControl_ = nullptr;
    TControl* hintControl_ = nullptr;
    THintWindow* hintWindow_ = nullptr;
    std::function<THintWindow*(TComponent*)> makeHintWindow_;
    bool handlingException_ = false;
    std::vector<std::exception_ptr> pendingExceptions_;
    void ReportException(std::exception_ptr error, TObject* sender);
    bool active_ = false;
};

// The one application object (created on first use of the library).
extern TApplication* Application;

} // namespace tw
