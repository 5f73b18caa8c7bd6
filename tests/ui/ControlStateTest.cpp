// Frames, the control state and style, the order in which a control's owned
// components go, and the notifications the library sends: the application's
// and a form's activation, a changed main menu, a control placed on a form.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

using namespace tw;

namespace {

class ControlStateTest : public ::testing::Test {
protected:
    void SetUp() override { Application->Initialize(); }
};

// Processes messages until the condition holds or two seconds have passed.
bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Application->ProcessMessages();
        Sleep(5);
    }
    return true;
}

// A component that, when it goes, records what its owner still has and gives
// back the procedure it took over (as an adapter on a control does).
class TOwnerProbe : public TComponent {
public:
    explicit TOwnerProbe(TWinControl* owner) : TComponent(owner), owner_(owner) {
        saved_ = owner->WindowProc;
        owner->WindowProc = [this](TMessage& m) {
            if (m.Msg == WM_APP + 9) {
                m.Result = 7;
                return;
            }
            saved_(m);
        };
    }
    ~TOwnerProbe() override {
        HandleThen = owner_->HandleAllocated();
        ChildrenThen = owner_->ControlCount();
        owner_->WindowProc = saved_;
        *Log = true;
    }
    bool* Log = nullptr;
    static inline bool HandleThen = false;
    static inline int ChildrenThen = -1;

private:
    TWinControl* owner_;
    TWndMethod saved_;
};

// A window that watches its parent's state while its own window is made.
class TCreationWatcher : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    TControlState ParentStateSeen = 0;

protected:
    void HandleCreated() override { ParentStateSeen = Parent()->ControlState(); }
};

// Records whether it painted as a copy (WM_PRINT of PaintTo, or WM_PAINT).
class TCopyWatcher : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    std::vector<bool> CopySeen;
    void WndProc(TMessage& m) override {
        if (m.Msg == WM_PRINT || m.Msg == WM_PRINTCLIENT || m.Msg == WM_ERASEBKGND)
            CopySeen.push_back((ControlState() & csPaintCopy) != 0);
        TCustomControl::WndProc(m);
    }
};

} // namespace

TEST_F(ControlStateTest, AFrameIsAWindowedContainerThatIsNoForm) {
    auto* form = new TForm(nullptr);
    const int formsBefore = Screen->FormCount();
    auto* frame = new TFrame(form);
    frame->SetParent(form);
    frame->SetBounds(10, 10, 120, 80);
    auto* edit = new TEdit(form);
    edit->SetParent(frame);
    form->Show();
    HWND h = frame->Handle();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetParent(h), form->Handle());
    EXPECT_EQ(GetParent(edit->Handle()), h);
    EXPECT_EQ(dynamic_cast<TCustomForm*>(static_cast<TWinControl*>(frame)), nullptr);
    EXPECT_EQ(Screen->FormCount(), formsBefore);
    const LONG_PTR style = GetWindowLongPtrW(h, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME));
    // Tab reaches the frame's controls as the form's own.
    EXPECT_TRUE(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    EXPECT_EQ(edit->ParentForm(), form);
    delete form;
}

// Whatever a control owns goes while the control is whole: its window, its
// children and its message procedure are still there (the frame, a panel,
// and a form alike).
TEST_F(ControlStateTest, OwnedComponentsGoFirstWhileTheirControlIsWhole) {
    auto* form = new TForm(nullptr);
    form->Show();
    auto check = [&](TWinControl* owner) {
        owner->SetParent(form);
        auto* child = new TEdit(form);
        child->SetParent(owner);
        owner->HandleNeeded();
        bool gone = false;
        auto* probe = new TOwnerProbe(owner);
        probe->Log = &gone;
        EXPECT_EQ(owner->Perform(WM_APP + 9), 7);
        TOwnerProbe::HandleThen = false;
        TOwnerProbe::ChildrenThen = -1;
        delete owner;
        EXPECT_TRUE(gone);
        EXPECT_TRUE(TOwnerProbe::HandleThen);
        EXPECT_EQ(TOwnerProbe::ChildrenThen, 1);
    };
    check(new TFrame(form));
    check(new TPanel(form));
    check(new TGroupBox(form));
    delete form;
}

TEST_F(ControlStateTest, CreatingFlagHoldsWhileTheWindowIsMade) {
    auto* form = new TForm(nullptr);
    auto* panel = new TPanel(form);
    panel->SetParent(form);
    auto* watcher = new TCreationWatcher(form);
    watcher->SetParent(panel);
    EXPECT_EQ(panel->ControlState() & csCreating, 0u);
    form->HandleNeeded();
    // The child's window is made inside its parent's creation.
    EXPECT_EQ(watcher->ParentStateSeen & csCreating, csCreating);
    EXPECT_EQ(csCreating, 0x40u);
    EXPECT_EQ(panel->ControlState() & csCreating, 0u);
    EXPECT_EQ(watcher->ControlState() & csCreating, 0u);
    delete form;
}

TEST_F(ControlStateTest, PaintToPaintsACopyAndALabelSaysWhetherItIsOpaque) {
    auto* form = new TForm(nullptr);
    auto* w = new TCopyWatcher(form);
    w->SetParent(form);
    w->SetBounds(0, 0, 40, 30);
    form->Show();
    Application->ProcessMessages();
    w->CopySeen.clear();
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 40, 30);
    HGDIOBJ old = SelectObject(dc, bmp);
    w->PaintTo(dc, 0, 0);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    ASSERT_FALSE(w->CopySeen.empty());
    EXPECT_TRUE(w->CopySeen.front());
    EXPECT_EQ(w->ControlState() & csPaintCopy, 0u);
    // Its own paint afterwards is no copy.
    w->CopySeen.clear();
    RedrawWindow(w->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ERASENOW);
    for (bool copy : w->CopySeen) EXPECT_FALSE(copy);

    auto* label = new TLabel(form);
    EXPECT_EQ(label->ControlStyle() & csOpaque, 0u);
    label->SetTransparent(false);
    EXPECT_EQ(label->ControlStyle() & csOpaque, csOpaque);
    label->SetTransparent(true);
    EXPECT_EQ(label->ControlStyle() & csOpaque, 0u);
    delete form;
}

// The application hears WM_ACTIVATEAPP through its forms and tells its main
// window's hooks once per change; each form hears its own activation.
TEST_F(ControlStateTest, ActivationReachesTheApplicationsHooksAndTheForm) {
    auto* form = new TForm(nullptr);
    form->SetBounds(50, 50, 200, 120);
    std::vector<UINT> app, own;
    const int key = Application->HookMainWindow([&](TMessage& m) {
        if (m.Msg == CM_ACTIVATE || m.Msg == CM_DEACTIVATE) app.push_back(m.Msg);
        return false;
    });
    TWndMethod saved = form->WindowProc;
    form->WindowProc = [&](TMessage& m) {
        if (m.Msg == CM_ACTIVATE || m.Msg == CM_DEACTIVATE) own.push_back(m.Msg);
        saved(m);
    };
    // An application already active hears no new activation.
    const bool wasActive = Application->Active();
    form->Show();
    SetForegroundWindow(form->Handle());
    ASSERT_TRUE(WaitFor([&] { return GetActiveWindow() == form->Handle() && Application->Active(); }));
    // Both notices of this activation are in before the counting starts:
    // the application's is posted and can come after the form's.
    ASSERT_TRUE(WaitFor([&] {
        return !own.empty() && own.back() == CM_ACTIVATE &&
               (wasActive || (!app.empty() && app.back() == CM_ACTIVATE));
    }));
    Application->ProcessMessages();
    app.clear();
    own.clear();

    // Another thread's window takes the activation: the application is left.
    std::atomic<HWND> other{nullptr};
    std::atomic<bool> stop{false};
    std::thread t([&] {
        HWND w = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 120, 80, nullptr,
                                 nullptr, nullptr, nullptr);
        SetForegroundWindow(w);
        SetActiveWindow(w);
        other = w;
        while (!stop) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            Sleep(5);
        }
        DestroyWindow(w);
    });
    // The other window has done all its activating before the form takes
    // the activation back.
    const bool left = WaitFor([&] { return other.load() != nullptr && !app.empty(); });
    const std::vector<UINT> leftApp = app, leftOwn = own;
    app.clear();
    own.clear();
    SetForegroundWindow(form->Handle());
    const bool back = WaitFor([&] { return !app.empty() && !own.empty(); });
    stop = true;
    t.join();
    Application->UnhookMainWindow(key);
    form->WindowProc = saved;
    delete form;

    ASSERT_TRUE(left);
    EXPECT_EQ(leftApp, std::vector<UINT>{CM_DEACTIVATE});
    EXPECT_EQ(leftOwn, std::vector<UINT>{CM_DEACTIVATE});
    ASSERT_TRUE(back);
    EXPECT_EQ(app, std::vector<UINT>{CM_ACTIVATE});
    EXPECT_EQ(own, std::vector<UINT>{CM_ACTIVATE});
}

// A changed main menu and a control placed anywhere on a form are news to
// the form's procedure (whatever took it over hears them too).
TEST_F(ControlStateTest, FormHearsOfItsMenuAndOfControlsPlacedOnIt) {
    auto* form = new TForm(nullptr);
    auto* panel = new TPanel(form);
    panel->SetParent(form);
    form->HandleNeeded();
    struct TNotice {
        UINT msg;
        WPARAM wp;
        LPARAM lp;
        bool windowMade;
    };
    std::vector<TNotice> seen;
    TWndMethod saved = form->WindowProc;
    form->WindowProc = [&](TMessage& m) {
        if (m.Msg == CM_MENUCHANGED || m.Msg == CM_CONTROLLISTCHANGE) {
            auto* c = reinterpret_cast<TControl*>(m.WParam);
            bool made = c && c->IsWindowed() && static_cast<TWinControl*>(c)->HandleAllocated();
            seen.push_back({m.Msg, m.WParam, m.LParam, made});
        }
        saved(m);
    };
    // A windowed control on the panel: the form hears of it once its window exists.
    auto* edit = new TEdit(form);
    edit->SetParent(panel);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].msg, CM_CONTROLLISTCHANGE);
    EXPECT_EQ(seen[0].wp, reinterpret_cast<WPARAM>(edit));
    EXPECT_EQ(seen[0].lp, 1);
    EXPECT_TRUE(seen[0].windowMade);
    // A graphic control, and a control taken off again.
    auto* label = new TLabel(form);
    label->SetParent(form);
    edit->SetParent(nullptr);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].wp, reinterpret_cast<WPARAM>(label));
    EXPECT_EQ(seen[1].lp, 1);
    EXPECT_EQ(seen[2].wp, reinterpret_cast<WPARAM>(edit));
    EXPECT_EQ(seen[2].lp, 0);
    delete edit;

    seen.clear();
    auto* menu = new TMainMenu(form);
    auto* file = new TMenuItem(form);
    file->SetCaption("&File");
    menu->Items()->Add(file);
    form->SetMenu(menu);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().msg, CM_MENUCHANGED);
    seen.clear();
    file->SetCaption("&Datei");
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().msg, CM_MENUCHANGED);
    form->WindowProc = saved;
    delete form;
}
