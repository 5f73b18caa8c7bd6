// The hex editor control under Wine with real key and mouse messages: what
// it asks of the dialog manager, its state event coming from the message
// queue, Shift selection, the halves, markers, clicks on the blank column and
// past the data, the empty buffer of a new editor, the undo file and the
// caret in the cursor frame's colour.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "base/SysUtils.h"
#include "base/WinText.h"
#include "skin/windows/sSkinProvider.h"
#include "tools/TSHexEditor.h"
#include "ui/Application.h"
#include "ui/Forms.h"

using namespace tw;

namespace {

class HexEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TForm>(nullptr);
        form->SetClientSize(700, 300);
        hex = new TTSHexEditor(form.get());
        hex->SetParent(form.get());
        hex->SetBounds(0, 0, 680, 280);
        hex->OnStateChanged = [this](TObject*) { ++events; };
        form->Show();
        TTSPacketBuffer rec;
        rec.Length = 188;
        for (int i = 0; i < 188; ++i) rec.Data[i] = static_cast<uint8_t>(i);
        hex->LoadPacketBuffer(rec);
        hex->SetFocus();
        Application->ProcessMessages();
        events = 0;
    }
    void TearDown() override {
        Hold(VK_SHIFT, false);
        Hold(VK_CONTROL, false);
        form.reset();
    }

    // Holds a modifier for the keyboard state the control reads.
    static void Hold(int vk, bool down) {
        BYTE state[256];
        GetKeyboardState(state);
        state[vk] = down ? 0x80 : 0;
        SetKeyboardState(state);
    }
    void Key(WORD vk) {
        SendMessageW(hex->Handle(), WM_KEYDOWN, vk, 1);
        SendMessageW(hex->Handle(), WM_KEYUP, vk, 0xC0000001);
    }
    void Click(int col, int row) {
        const LPARAM at = MAKELPARAM(hex->ColumnLeft(col) + 2, row * hex->RowHeight() + hex->RowHeight() / 2);
        SendMessageW(hex->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(hex->Handle(), WM_LBUTTONUP, 0, at);
    }

    std::unique_ptr<TForm> form;
    TTSHexEditor* hex = nullptr;
    int events = 0;
};

} // namespace

TEST_F(HexEditorTest, AsksForArrowsCharactersAndTabsAndReportsStateFromTheQueue) {
    const LRESULT code = SendMessageW(hex->Handle(), WM_GETDLGCODE, 0, 0);
    EXPECT_EQ(code & (DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTTAB),
              DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTTAB);
    SendMessageW(hex->Handle(), WM_CHAR, L'7', 1);
    // The event runs once the change is complete, from the message queue.
    EXPECT_EQ(events, 0);
    Application->ProcessMessages();
    EXPECT_GE(events, 1);
    EXPECT_EQ(hex->Model().Data()[0], 0x70);
    EXPECT_TRUE(hex->Model().Changed(0));
    EXPECT_FALSE(hex->Model().Changed(1));
    Hold(VK_CONTROL, true);
    Key('Z');
    Hold(VK_CONTROL, false);
    EXPECT_EQ(hex->Model().Data()[0], 0);
    EXPECT_FALSE(hex->Modified());
}

TEST_F(HexEditorTest, ShiftSelectsTabSwitchesHalvesAndMarkersJump) {
    Key(VK_DOWN);
    Hold(VK_SHIFT, true);
    Key(VK_DOWN);
    Key(VK_END);
    Hold(VK_SHIFT, false);
    EXPECT_EQ(hex->SelStart(), 16);
    EXPECT_EQ(hex->SelEnd(), 47);

    Key(VK_TAB);
    EXPECT_TRUE(hex->Model().CaretInChars());
    SendMessageW(hex->Handle(), WM_CHAR, L'G', 1);
    EXPECT_EQ(hex->Model().Data()[47], 0x47);
    SendMessageW(hex->Handle(), WM_CHAR, 0x01, 1); // below 32: refused
    EXPECT_EQ(hex->Model().Data()[48], 48);

    Hold(VK_CONTROL, true);
    Hold(VK_SHIFT, true);
    Key('3');
    Hold(VK_SHIFT, false);
    Key(VK_HOME);
    EXPECT_EQ(hex->Model().CaretPos(), 0);
    Key('3');
    Hold(VK_CONTROL, false);
    EXPECT_EQ(hex->Model().MarkerOnRow(3), 3);
    EXPECT_EQ(hex->Model().CaretPos(), 48);
    EXPECT_FALSE(hex->Model().CaretInChars());
}

TEST_F(HexEditorTest, ClicksPlaceTheCaretButNeverOnTheBlankColumn) {
    const THexEditorModel& m = hex->Model();
    Click(m.FirstCharColumn() + 5, 2);
    EXPECT_EQ(m.CaretPos(), 37);
    EXPECT_TRUE(m.CaretInChars());
    Click(m.BlankColumn(), 1);
    EXPECT_EQ(m.CaretPos(), 37);
    // Past the data (row 11 has 12 bytes): the last byte.
    Click(m.FirstHexColumn() + 2 * 14, 11);
    EXPECT_EQ(m.CaretPos(), 187);
    EXPECT_FALSE(m.CaretInChars());
    Hold(VK_SHIFT, true);
    SendMessageW(hex->Handle(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT,
                 MAKELPARAM(hex->ColumnLeft(m.FirstHexColumn()) + 2, 10 * hex->RowHeight() + 2));
    SendMessageW(hex->Handle(), WM_LBUTTONUP, 0, 0);
    Hold(VK_SHIFT, false);
    EXPECT_EQ(hex->SelStart(), 160);
    EXPECT_EQ(hex->SelEnd(), 187);
}

// A row made shorter than the others: its bytes take the clicks, and a click
// past its end lands on its own last byte, not on the last of the data.
TEST_F(HexEditorTest, ARowOfItsOwnLengthTakesTheClicksOfItsBytes) {
    EXPECT_THROW(hex->SetLineLength(0, 17), EHexEditor);
    hex->SetLineLength(0, 4);
    const THexEditorModel& m = hex->Model();
    EXPECT_EQ(m.RowCount(), 13);
    Click(m.FirstCharColumn() + 2, 1);
    EXPECT_EQ(m.CaretPos(), 6);
    EXPECT_TRUE(m.CaretInChars());
    Click(m.FirstHexColumn() + 2 * 10, 0);
    EXPECT_EQ(m.CaretPos(), 3);
    EXPECT_FALSE(m.CaretInChars());
    Click(m.FirstHexColumn() + 2 * 10, 20); // no such row
    EXPECT_EQ(m.CaretPos(), 187);
}

// Five rows in view of twelve: the scroll bar and the wheel move the view,
// clicks land on the rows shown, and the caret waits outside while its row
// is scrolled away.
TEST_F(HexEditorTest, ScrollBarAndWheelShowTheRowsOutsideTheView) {
    const THexEditorModel& m = hex->Model();
    hex->SetBounds(0, 0, 680, hex->RowHeight() * 5 + 2);
    Application->ProcessMessages();
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(hex->Handle(), SB_VERT, &si));
    EXPECT_EQ(si.nMax, 11);
    EXPECT_EQ(si.nPage, 5u);
    auto scroll = [&](int code, int pos = 0) {
        SendMessageW(hex->Handle(), WM_VSCROLL, MAKEWPARAM(code, pos), 0);
        return hex->TopRow();
    };
    auto barPos = [&] { return GetScrollPos(hex->Handle(), SB_VERT); };
    EXPECT_EQ(scroll(SB_LINEDOWN), 1);
    EXPECT_EQ(scroll(SB_PAGEDOWN), 5);
    EXPECT_EQ(scroll(SB_BOTTOM), 7); // the last row ends the view
    EXPECT_EQ(scroll(SB_LINEDOWN), 7);
    EXPECT_EQ(barPos(), 7);
    EXPECT_EQ(scroll(SB_THUMBPOSITION, 3), 3);
    EXPECT_EQ(barPos(), 3);
    EXPECT_EQ(scroll(SB_LINEUP), 2);
    EXPECT_EQ(scroll(SB_TOP), 0);

    // The caret's row (0) scrolled away: the caret waits outside the view.
    scroll(SB_THUMBPOSITION, 6);
    POINT caret{};
    GetCaretPos(&caret);
    EXPECT_LT(caret.y, 0);
    // A click on the first row shown is a click on row 6.
    Click(m.FirstHexColumn(), 0);
    EXPECT_EQ(m.CaretPos(), 6 * 16);
    GetCaretPos(&caret);
    EXPECT_EQ(caret.y, 0);

    // The wheel: three rows a notch, half notches add up.
    auto wheel = [&](int delta) {
        SendMessageW(hex->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0);
        return hex->TopRow();
    };
    EXPECT_EQ(wheel(WHEEL_DELTA), 3);
    EXPECT_EQ(wheel(-WHEEL_DELTA / 2), 3);
    EXPECT_EQ(wheel(-WHEEL_DELTA / 2), 6);
    EXPECT_EQ(wheel(-3 * WHEEL_DELTA), 7);
    EXPECT_EQ(barPos(), 7);
    // Keys move the view to the caret, and the bar follows.
    Key(VK_HOME);
    Hold(VK_CONTROL, true);
    Key(VK_HOME);
    Hold(VK_CONTROL, false);
    EXPECT_EQ(m.CaretPos(), 0);
    EXPECT_EQ(hex->TopRow(), 0);
    EXPECT_EQ(barPos(), 0);
}

// The Mac character set: bytes above 127 show as their Mac characters and
// typing one stores its Mac byte; a character the set lacks is refused.
TEST_F(HexEditorTest, MacTranslationShowsAndTakesTheHighCharacters) {
    hex->SetTranslation(ttMac);
    TTSPacketBuffer rec;
    rec.Length = 4;
    rec.Data[0] = 0x80; // Mac "Ä"
    rec.Data[1] = 0x8E; // Mac "é"
    rec.Data[2] = 0xAD; // Mac "≠", not a Windows character
    rec.Data[3] = 0x41;
    hex->LoadPacketBuffer(rec);
    THexEditorModel& m = hex->Model();
    EXPECT_EQ(static_cast<uint8_t>(m.CharText(0)), 0xC4);
    EXPECT_EQ(static_cast<uint8_t>(m.CharText(1)), 0xE9);
    EXPECT_EQ(m.CharText(2), '.');
    EXPECT_EQ(m.CharText(3), 'A');

    m.SetCaret(0, true, 0);
    SendMessageW(hex->Handle(), WM_CHAR, 0x00FC, 1); // "ü"
    EXPECT_EQ(m.Data()[0], 0x9F);
    EXPECT_EQ(m.CaretPos(), 1);
    SendMessageW(hex->Handle(), WM_CHAR, 0x0160, 1); // "Š": a Windows character the Mac set lacks
    EXPECT_EQ(m.Data()[1], 0x8E);
    SendMessageW(hex->Handle(), WM_CHAR, 0x4E00, 1); // not even a Windows character
    EXPECT_EQ(m.Data()[1], 0x8E);
    EXPECT_EQ(m.CaretPos(), 1);
    SendMessageW(hex->Handle(), WM_CHAR, 0x00C5, 1); // "Å"
    EXPECT_EQ(m.Data()[1], 0x81);
}

// A colour given to the control from outside (as a skin gives it to a grid
// it draws) is the grid's background, cells and empty space alike.
TEST_F(HexEditorTest, TheControlsColourIsTheGridsBackground) {
    // The grid's own colours: kept out of the skin an earlier test of this
    // run may have left on.
    hex->SetTag(skin::acNoSkinTag);
    hex->SkinFieldColors(nullptr);
    const TColor dark = static_cast<TColor>(RGB(40, 44, 52));
    hex->SetColor(dark);
    EXPECT_EQ(hex->Colors().Background(), dark);
    const TRect client = hex->ClientRect();
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    // A true-colour picture whatever the display's depth.
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = client.Width();
    bi.bmiHeader.biHeight = client.Height();
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    SendMessageW(hex->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
    // Below the last row, and the blank cell after row 11's last byte.
    const COLORREF below = GetPixel(mem, 4, client.Height() - 3);
    const int blankX = hex->ColumnLeft(hex->Model().FirstHexColumn() + 2 * 14) + 2;
    const COLORREF cell = GetPixel(mem, blankX, 11 * hex->RowHeight() + 2);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(below, static_cast<COLORREF>(dark));
    EXPECT_EQ(cell, static_cast<COLORREF>(dark));
    // And back the other way: the colour role repaints the control's colour.
    hex->Colors().SetBackground(clWhite);
    EXPECT_EQ(ColorToRGB(hex->Color()), ColorToRGB(clWhite));
}

// A new editor shows an empty buffer of its own, named "Untitled".
TEST_F(HexEditorTest, ANewEditorHoldsAnEmptyUntitledBuffer) {
    auto* fresh = new TTSHexEditor(form.get());
    EXPECT_EQ(fresh->FileName(), "Untitled");
    fresh->SetParent(form.get());
    fresh->SetBounds(0, 0, 300, 100);
    fresh->HandleNeeded();
    EXPECT_EQ(fresh->FileName(), "Untitled");
    EXPECT_EQ(fresh->Model().Size(), 0);
    EXPECT_EQ(fresh->Model().RowCount(), 1);
    EXPECT_EQ(fresh->Model().OffsetText(0), "0x0:");
    EXPECT_FALSE(fresh->Modified());
    EXPECT_FALSE(fresh->Model().CanUndo());
    delete fresh;
}

namespace {

std::string TempFolder() {
    wchar_t buf[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, buf);
    return WideToUtf8(buf);
}

} // namespace

// The undo records go to a file in the system's temporary folder: typing
// makes it, Ctrl+Z takes the byte back from it, a new packet is never given
// the old packet's bytes, and the file goes with the editor.
TEST_F(HexEditorTest, UndoGoesThroughAFileInTheTempFolderThatGoesWithTheEditor) {
    const std::string file = hex->Model().UndoFileName();
    EXPECT_TRUE(SameText(ExtractFilePath(file), IncludeTrailingPathDelimiter(TempFolder()))) << file << " " << TempFolder();
    EXPECT_FALSE(FileExists(file));
    SendMessageW(hex->Handle(), WM_CHAR, L'7', 1);
    EXPECT_EQ(hex->Model().Data()[0], 0x70);
    ASSERT_TRUE(FileExists(file));
    EXPECT_EQ(FileSizeOf(file), 33); // header and the byte as it was
    Hold(VK_CONTROL, true);
    Key('Z');
    Hold(VK_CONTROL, false);
    EXPECT_EQ(hex->Model().Data()[0], 0);
    EXPECT_EQ(FileSizeOf(file), 0);

    // Typed into one packet, then the next packet shown: Ctrl+Z has nothing
    // to take back into it.
    SendMessageW(hex->Handle(), WM_CHAR, L'a', 1);
    TTSPacketBuffer next;
    next.Length = 188;
    for (int i = 0; i < 188; ++i) next.Data[i] = 0x47;
    ASSERT_TRUE(hex->LoadPacketBuffer(next));
    Hold(VK_CONTROL, true);
    Key('Z');
    Hold(VK_CONTROL, false);
    EXPECT_EQ(hex->Model().Data(), std::vector<uint8_t>(188, 0x47));
    EXPECT_FALSE(hex->Modified());

    SendMessageW(hex->Handle(), WM_CHAR, L'1', 1);
    EXPECT_TRUE(FileExists(file));
    delete hex;
    hex = nullptr;
    EXPECT_FALSE(FileExists(file));
}

// The caret is the inverse of the cursor frame's colour laid over the cell,
// so on the grid's white it shows in that colour: over the whole cell, or
// only its bottom line for that style. The caret blinks: each look waits
// for it, within a bound.
TEST_F(HexEditorTest, TheCaretShowsInTheCursorFramesColourAndShape) {
    hex->SetTag(skin::acNoSkinTag);
    hex->SkinFieldColors(nullptr);
    hex->Colors().SetBackground(clWhite);
    const COLORREF frame = RGB(0x20, 0x60, 0xA0);
    hex->Colors().SetCursorFrame(static_cast<TColor>(frame));
    Application->ProcessMessages();
    ASSERT_EQ(hex->Model().CaretPos(), 0);
    ASSERT_EQ(GetFocus(), hex->Handle());
    // Byte 0's first digit; the cell's top line and bottom line lie above
    // and below the digit's ink.
    const int x = hex->ColumnLeft(hex->Model().FirstHexColumn()) + 1;
    const int top = 0, bottom = hex->RowHeight() - 1;
    // The cell of byte 1 never has the caret.
    const int otherX = hex->ColumnLeft(hex->Model().FirstHexColumn() + 2) + 1;
    auto seen = [&](const std::function<bool(COLORREF, COLORREF, COLORREF)>& look) {
        const uint64_t end = GetTickCount64Ms() + 20000;
        while (GetTickCount64Ms() < end) {
            HDC dc = GetDC(hex->Handle());
            const COLORREF t = GetPixel(dc, x, top) & 0xFFFFFF, b = GetPixel(dc, x, bottom) & 0xFFFFFF,
                           o = GetPixel(dc, otherX, top) & 0xFFFFFF;
            ReleaseDC(hex->Handle(), dc);
            if (look(t, b, o)) return true;
            Application->ProcessMessages();
            Sleep(10);
        }
        return false;
    };
    EXPECT_TRUE(seen([&](COLORREF t, COLORREF b, COLORREF o) { return t == frame && b == frame && o == 0xFFFFFF; }));
    hex->SetCaretStyle(csBottomLine);
    EXPECT_TRUE(seen([&](COLORREF t, COLORREF b, COLORREF o) { return t == 0xFFFFFF && b == frame && o == 0xFFFFFF; }));
}

// Every edit passes the gate, and the state event follows whether the gate
// let it through or not: a digit or character the read-only view ignores
// and a delete that would change the length report the state as it
// stands, unchanged.
TEST_F(HexEditorTest, RefusedEditsReportTheStateToo) {
    const std::vector<uint8_t> before = hex->Model().Data();
    auto settled = [&] {
        events = 0;
        Application->ProcessMessages();
        return events;
    };
    // The read-only view: a digit and a character reach the gate and stop.
    hex->Model().ReadOnlyView = true;
    SendMessageW(hex->Handle(), WM_CHAR, L'7', 1);
    EXPECT_GE(settled(), 1);
    Key(VK_TAB);
    settled();
    SendMessageW(hex->Handle(), WM_CHAR, L'A', 1);
    EXPECT_GE(settled(), 1);
    Key(VK_TAB);
    settled();
    hex->Model().ReadOnlyView = false;
    // Without size changes Ctrl+Delete on a selection is refused at the gate.
    hex->Model().SetNoSizeChange(true);
    Hold(VK_SHIFT, true);
    Key(VK_RIGHT);
    Hold(VK_SHIFT, false);
    settled();
    Hold(VK_CONTROL, true);
    Key(VK_DELETE);
    Hold(VK_CONTROL, false);
    EXPECT_GE(settled(), 1);
    EXPECT_EQ(hex->Model().Data(), before);
    EXPECT_FALSE(hex->Modified());
    // A key that is no edit at all (a letter beyond the hex digits) says
    // nothing.
    SendMessageW(hex->Handle(), WM_CHAR, L'x', 1);
    EXPECT_EQ(settled(), 0);
    EXPECT_EQ(hex->Model().Data(), before);
}
