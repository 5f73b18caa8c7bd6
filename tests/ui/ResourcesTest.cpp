// What the library borrows from the platform comes back: GDI objects over
// many forms that are built, painted and destroyed, also when painting or a
// modal loop fails half-way; and the window procedure's per-message
// handlers (keys, focus, colours, cursor) on real windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>

#include "ui/Application.h"
#include "ui/Classes.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Gauges.h"
#include "ui/ImageFormats.h"
#include "ui/StdCtrls.h"
#include "ui/ValEdit.h"

#include "tests/support/GdiObjects.h"

using namespace tw;

namespace {

std::string Data(const char* name) { return std::string(TW_UI_TEST_DATA) + "/" + name; }

using tw::test::GdiObjects;

// A window of its own class that draws on its canvas, optionally through an
// off-screen buffer, and can be told to fail while painting.
class TSketch : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    int Painted = 0;
    bool FailNextPaint = false;
    bool CanvasAttachedAfterPaint() const { return canvas_->HandleAllocated(); }

protected:
    void Paint() override {
        ++Painted;
        Canvas().Brush().SetColor(clTeal);
        Canvas().FillRect(TRect(2, 2, 40, 20));
        Canvas().Pen().SetColor(clRed);
        Canvas().MoveTo(0, 0);
        Canvas().LineTo(30, 30);
        Canvas().TextOut(4, 4, "Sketch");
        if (FailNextPaint) {
            FailNextPaint = false;
            throw std::runtime_error("paint failed");
        }
    }
};

// The same without a window: its parent paints it.
class TGraphicSketch : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    bool FailNextPaint = false;
    bool CanvasAttached() const { return canvas_->HandleAllocated(); }

protected:
    void Paint() override {
        Canvas().Brush().SetColor(clYellow);
        Canvas().FillRect(TRect(0, 0, 10, 10));
        if (FailNextPaint) {
            FailNextPaint = false;
            throw std::runtime_error("graphic paint failed");
        }
    }
};

// A new control of the form, placed on a parent.
template <class C>
C* Place(TForm& f, TWinControl* parent, int left, int top, int width, int height) {
    auto* c = new C(&f);
    c->SetParent(parent);
    c->SetBounds(left, top, width, height);
    return c;
}

// Paints a form and all its windows now.
void PaintNow(TForm& f) {
    RedrawWindow(f.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// A form with one of every kind of control that paints or measures with
// borrowed device contexts, pens, fonts and bitmaps.
void BuildPaintAndDestroyAForm(TPngImage& alphaPicture) {
    TForm f(nullptr);
    f.SetBounds(10, 10, 420, 320);
    auto* panel = Place<TPanel>(f, &f, 0, 0, 200, 80);
    panel->SetBevelOuter(bvRaised);
    panel->SetBevelInner(bvLowered);
    panel->SetBevelWidth(2);
    auto* label = Place<TLabel>(f, panel, 4, 4, 100, 16);
    label->SetCaption("Größe 14.7 MB");
    auto* gauge = Place<TGauge>(f, &f, 0, 90, 200, 20);
    gauge->SetShowText(true);
    gauge->SetProgress(40);
    auto* sketch = Place<TSketch>(f, &f, 210, 0, 100, 60);
    sketch->SetDoubleBuffered(true);
    auto* plain = Place<TSketch>(f, &f, 210, 70, 100, 60);
    plain->SetDoubleBuffered(false);
    Place<TGraphicSketch>(f, &f, 320, 0, 20, 20);
    auto* memo = Place<TMemo>(f, &f, 0, 120, 200, 80);
    memo->Lines().SetText("one\r\ntwo, the longest line of them all\r\nthree");
    auto* values = Place<TValueListEditor>(f, &f, 210, 140, 200, 100);
    values->SetValues("Language", "GER");
    values->SetValues("Sound", "on");
    auto* picture = Place<TImage>(f, &f, 0, 210, 16, 16);
    auto* copy = new TPngImage();
    copy->Assign(alphaPicture);
    picture->Picture().SetGraphic(copy);
    f.LoadTree();
    f.Show();
    PaintNow(f);
    // Off-screen pictures: resized, converted, handed over top-down.
    TBitmap b(16, 8, pf24bit);
    b.Canvas().Brush().SetColor(clBlue);
    b.Canvas().FillRect(TRect(0, 0, 16, 8));
    b.SetSize(24, 12);
    b.SetPixelFormat(pf8bit);
    b.SetPixelFormat(pf32bit);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = 4;
    bi.bmiHeader.biHeight = -4; // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    b.SetHandle(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    // A message box that is built but never shown.
    delete CreateMessageDialog("Process successfully completed!", mtInformation, mbOK);
    f.Hide();
}

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override { Application->Initialize(); }
};

} // namespace

TEST_F(ResourcesTest, FormsThatComeAndGoLeaveNoGdiObjectsBehind) {
    TPngImage alpha;
    alpha.LoadFromFile(Data("alpha.png"));
    // The first round fills the caches that live as long as the program
    // (stock fonts, the classes' brushes).
    BuildPaintAndDestroyAForm(alpha);
    Application->ProcessMessages();
    const DWORD before = GdiObjects();
    ASSERT_GT(before, 0u) << "GetGuiResources answers";
    for (int i = 0; i < 25; ++i) BuildPaintAndDestroyAForm(alpha);
    Application->ProcessMessages();
    // One object lost per round would show as 25.
    EXPECT_LE(GdiObjects(), before + 3);
}

TEST_F(ResourcesTest, APaintThatFailsGivesBackItsDeviceContextsAndBuffers) {
    TForm f(nullptr);
    f.SetBounds(0, 0, 200, 120);
    auto* buffered = Place<TSketch>(f, &f, 0, 0, 80, 40);
    buffered->SetDoubleBuffered(true);
    auto* graphic = Place<TGraphicSketch>(f, &f, 100, 0, 20, 20);
    f.LoadTree();
    f.Show();
    PaintNow(f);
    int failures = 0;
    auto saved = Application->OnException;
    Application->OnException = [&](TObject*, const std::exception&) { ++failures; };
    const DWORD before = GdiObjects();
    for (int i = 0; i < 20; ++i) {
        buffered->FailNextPaint = true;
        graphic->FailNextPaint = true;
        PaintNow(f);
    }
    Application->OnException = saved;
    EXPECT_EQ(failures, 40);
    EXPECT_LE(GdiObjects(), before + 2) << "buffer bitmap and memory DC of every failed paint";
    EXPECT_FALSE(buffered->CanvasAttachedAfterPaint());
    EXPECT_FALSE(graphic->CanvasAttached());
    // The window is painted again afterwards: the failed paint ended.
    const int painted = buffered->Painted;
    PaintNow(f);
    EXPECT_GT(buffered->Painted, painted);
    EXPECT_FALSE(GetUpdateRect(buffered->Handle(), nullptr, FALSE));
    f.Hide();
}

TEST_F(ResourcesTest, AModalRunThatFailsToStartGivesTheOtherWindowsBack) {
    TForm other(nullptr);
    other.Show();
    TForm dialog(nullptr);
    dialog.OnShow = [](TObject*) { throw std::runtime_error("cannot show"); };
    EXPECT_THROW(dialog.ShowModal(), std::runtime_error);
    EXPECT_TRUE(IsWindowEnabled(other.Handle()));
    EXPECT_FALSE(dialog.Modal());
    EXPECT_FALSE(dialog.Visible());
    // A later modal run works.
    dialog.OnShow = [&](TObject*) { dialog.SetModalResult(mrOk); };
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_TRUE(IsWindowEnabled(other.Handle()));
    other.Hide();
}

TEST_F(ResourcesTest, BulkChangesOfALineListEndTheirUpdateWhenALineFails) {
    class TPicky : public TStringsList {
    public:
        using TStringsList::UpdateCount;
        void Insert(int index, const std::string& s) override {
            if (s == "bad") throw std::invalid_argument("bad line");
            TStringsList::Insert(index, s);
        }
    };
    TPicky lines;
    int changes = 0;
    lines.OnChange = [&] { ++changes; };
    EXPECT_THROW(lines.SetText("one\r\nbad\r\nthree"), std::invalid_argument);
    EXPECT_EQ(lines.UpdateCount(), 0);
    EXPECT_EQ(lines.Count(), 1);
    EXPECT_EQ(changes, 1) << "the update ended once";
    EXPECT_THROW(lines.AddStrings({"two", "bad"}), std::invalid_argument);
    EXPECT_EQ(lines.UpdateCount(), 0);
    lines.Add("four");
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(lines.Text(), "one\r\ntwo\r\nfour\r\n");
}

TEST_F(ResourcesTest, ALayoutThatFailsCanRunAgain) {
    TForm f(nullptr);
    f.SetBounds(0, 0, 300, 200);
    auto* client = new TPanel(&f);
    client->SetParent(&f);
    client->SetAlign(alClient);
    bool fail = true;
    client->OnResize = [&](TObject*) {
        if (fail) throw std::runtime_error("resize failed");
    };
    // No windows yet: the layout runs in the caller's frame.
    EXPECT_THROW(f.SetBounds(0, 0, 320, 220), std::runtime_error);
    fail = false;
    f.SetBounds(0, 0, 400, 300);
    EXPECT_EQ(client->Width(), f.ClientWidth());
    EXPECT_EQ(client->Height(), f.ClientHeight());
}

TEST_F(ResourcesTest, KeysFocusAndColoursReachTheirHandlers) {
    TForm f(nullptr);
    f.SetBounds(0, 0, 300, 120);
    auto* edit = Place<TEdit>(f, &f, 8, 8, 120, 22);
    edit->SetColor(clYellow);
    auto* other = Place<TEdit>(f, &f, 8, 40, 120, 22);
    int enters = 0, exits = 0;
    edit->OnEnter = [&](TObject*) { ++enters; };
    edit->OnExit = [&](TObject*) { ++exits; };
    // Key-down can swallow a key; a key press can change the character.
    WORD swallowed = 0;
    edit->OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
        if (key == VK_F5) {
            swallowed = key;
            key = 0;
        }
    };
    edit->OnKeyPress = [&](TObject*, wchar_t& key) {
        if (key == L'a') key = L'b';
        if (key == L'x') key = 0;
    };
    WORD released = 0;
    edit->OnKeyUp = [&](TObject*, WORD& key, TShiftState) { released = key; };
    f.LoadTree();
    f.Show();
    edit->SetFocus();
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(f.ActiveControl(), edit);
    SendMessageW(edit->Handle(), WM_KEYDOWN, VK_F5, 0);
    EXPECT_EQ(swallowed, VK_F5);
    SendMessageW(edit->Handle(), WM_CHAR, L'a', 0);
    SendMessageW(edit->Handle(), WM_CHAR, L'x', 0);
    SendMessageW(edit->Handle(), WM_CHAR, L'c', 0);
    EXPECT_EQ(edit->Text(), "bc");
    SendMessageW(edit->Handle(), WM_KEYUP, VK_SHIFT, 0);
    EXPECT_EQ(released, VK_SHIFT);
    other->SetFocus();
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(f.ActiveControl(), other);

    // The parent hands the colour question back to the child.
    HDC dc = GetDC(edit->Handle());
    LRESULT brush = SendMessageW(f.Handle(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(edit->Handle()));
    EXPECT_NE(brush, 0);
    EXPECT_EQ(GetBkColor(dc), ColorToRGB(clYellow));
    ReleaseDC(edit->Handle(), dc);
    f.Hide();
}

TEST_F(ResourcesTest, TheCursorIsTheGraphicChildsThenTheControlsOwn) {
    TForm f(nullptr);
    f.SetBorderStyle(bsNone);
    f.SetBounds(0, 0, 200, 100);
    f.SetCursor(crCross);
    auto* label = new TLabel(&f);
    label->SetParent(&f);
    label->SetAutoSize(false);
    label->SetBounds(20, 20, 50, 20);
    label->SetCursor(crHandPoint);
    f.LoadTree();
    f.Show();
    const LPARAM client = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    POINT at{30, 25};
    ClientToScreen(f.Handle(), &at);
    SetCursorPos(at.x, at.y);
    EXPECT_EQ(SendMessageW(f.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(f.Handle()), client), 1);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    POINT away{150, 80};
    ClientToScreen(f.Handle(), &away);
    SetCursorPos(away.x, away.y);
    EXPECT_EQ(SendMessageW(f.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(f.Handle()), client), 1);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_CROSS));
    f.Hide();
}
