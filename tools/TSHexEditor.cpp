#include "tools/TSHexEditor.h"

#include <algorithm>

#include "base/WinText.h"
#include "ui/Graphics.h"
#include "ui/Guards.h"

namespace tw {

void TColors::Changed() {
    if (!owner_) return;
    if (Background_ != owner_->Color()) owner_->SetColor(Background_);
    owner_->ColorsChanged();
}

namespace {

// The code page of the characters the model hands out for a translation:
// the Mac table gives Windows (1252) characters, whatever the system's.
UINT CharCodePage(TTranslationType t) {
    if (t == ttDos8) return CP_OEMCP;
    if (t == ttMac) return 1252;
    return CP_ACP;
}

// A byte of the character half in the text of the canvas: bytes above 127
// are characters of the system's ANSI code page, or of its OEM (DOS) code
// page for the DOS translation.
std::string CharCellText(char c, TTranslationType t) {
    if (static_cast<unsigned char>(c) < 128) return std::string(1, c);
    wchar_t w = 0;
    if (MultiByteToWideChar(CharCodePage(t), 0, &c, 1, &w, 1) != 1) return ".";
    return WideToUtf8(std::wstring(1, w));
}

// The inverse of a colour: selected unchanged digits take it.
TColor Inverted(TColor c) { return static_cast<TColor>(ColorToRGB(c) ^ 0xFFFFFF); }

} // namespace

TTSHexEditor::TTSHexEditor(TComponent* owner) : TCustomControl(owner), colors_(std::make_unique<TColors>(this)) {
    Font().SetName("Courier");
    Font().SetSize(12);
    SetColor(colors_->Background());
    SetCursor(crIBeam);
    SetTabStop(true);
    SetBounds(0, 0, 400, 200);
    Measure();
    // A new editor holds an empty buffer of its own. Forms built in code
    // hand their data in before their components' Loaded, so the buffer is
    // started here, where nothing has been given yet.
    NewBuffer();
}

TTSHexEditor::~TTSHexEditor() {
    // The caret's picture is released only once the caret is gone.
    DropCaret();
}

void TTSHexEditor::NewBuffer() {
    model_.Load(nullptr, 0);
    fileName_ = "Untitled";
    topRow_ = 0;
}

void TTSHexEditor::ColorsChanged() {
    if (hasCaret_) MakeCaret();
    Invalidate();
}

void TTSHexEditor::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    p.Style |= WS_BORDER | WS_VSCROLL; // single border, no 3-D look
}

void TTSHexEditor::HandleCreated() {
    TCustomControl::HandleCreated();
    Measure();
}

void TTSHexEditor::ColorChanged() {
    TCustomControl::ColorChanged();
    // The control's colour is the grid's background, also when it is set
    // from outside.
    colors_->TakeBackground(Color());
}

void TTSHexEditor::FontChanged() {
    TCustomControl::FontChanged();
    Measure();
    Invalidate();
}

void TTSHexEditor::Resize() {
    TCustomControl::Resize();
    ScrollToCaret();
}

// Column unit = the width of "w", row height = the height of "yY" + 2.
void TTSHexEditor::Measure() {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, Font().Handle());
    SIZE w{}, y{};
    GetTextExtentPoint32W(dc, L"w", 1, &w);
    GetTextExtentPoint32W(dc, L"yY", 2, &y);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    unit_ = std::max<int>(w.cx, 1);
    rowHeight_ = std::max<int>(y.cy + 2, 4);
    model_.PageRows = std::max(ClientRect().Height() / rowHeight_ - 1, 1);
}

// --- geometry -------------------------------------------------------------------

int TTSHexEditor::ColumnWidth(int col) const {
    if (col == 0) return (model_.OffsetWidth() + 1) * unit_;
    if (col == 1) return model_.ShowMarkerColumn ? unit_ : 0;
    if (model_.WideColumn(col)) return 2 * unit_;
    return unit_;
}

int TTSHexEditor::ColumnLeft(int col) const {
    int x = 0;
    for (int c = 0; c < col; ++c) x += ColumnWidth(c);
    return x;
}

bool TTSHexEditor::CellAt(int x, int y, int& col, int& row) const {
    if (x < 0 || y < 0) return false;
    row = topRow_ + y / rowHeight_;
    int left = 0;
    for (int c = 0; c < model_.ColCount(); ++c) {
        const int w = ColumnWidth(c);
        if (x < left + w) {
            col = c;
            return true;
        }
        left += w;
    }
    return false;
}

// --- properties ---------------------------------------------------------------------

void TTSHexEditor::Changed(bool stateChanged) {
    ScrollToCaret();
    PlaceCaret();
    Invalidate();
    if (!stateChanged) return;
    // The event runs once the change is complete: from the message queue.
    if (HWND h = HandleIfAllocated()) PostMessageW(h, kStateChangedMessage, 7, 7);
    else if (OnStateChanged) OnStateChanged(this);
}

void TTSHexEditor::SetBytesPerLine(int v) {
    model_.SetBytesPerLine(v);
    Changed(false);
}

void TTSHexEditor::SetLineLength(int row, int length) {
    model_.SetLineLength(row, length);
    Changed(false);
}

void TTSHexEditor::SetBytesPerColumn(int v) {
    model_.SetBytesPerColumn(v);
    Changed(false);
}

void TTSHexEditor::SetOffsetDisplay(TOffsetDisplayStyle v) {
    model_.OffsetDisplay = v;
    Changed(false);
}

void TTSHexEditor::SetOffsetSeparator(char c) {
    model_.OffsetSeparator = c;
    Changed(false);
}

void TTSHexEditor::SetTranslation(TTranslationType t) {
    model_.Translation = t;
    Changed(false);
}

void TTSHexEditor::SetShowMarkerColumn(bool v) {
    model_.ShowMarkerColumn = v;
    Changed(false);
}

void TTSHexEditor::SetCaretStyle(TCaretStyle s) {
    caretStyle_ = s;
    if (hasCaret_) MakeCaret();
}

void TTSHexEditor::SetFocusFrame(bool v) {
    focusFrame_ = v;
    Invalidate();
}

// --- operations ---------------------------------------------------------------------

bool TTSHexEditor::LoadPacketBuffer(const TTSPacketBuffer& buffer) {
    const HCURSOR old = ::SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const bool ok = model_.LoadPacketBuffer(buffer);
    fileName_ = "Untitled";
    topRow_ = 0;
    ::SetCursor(old);
    Changed(true);
    return ok;
}

void TTSHexEditor::SetMarker(int index, int row) {
    model_.SetMarker(index, row);
    Invalidate();
}

void TTSHexEditor::SetSelStart(int64_t v) {
    model_.SetSelStart(v);
    Changed(true);
}

void TTSHexEditor::SetSelEnd(int64_t v) {
    model_.SetSelEnd(v);
    Changed(true);
}

bool TTSHexEditor::InsertBuffer(const uint8_t* bytes, int64_t count, int64_t pos) {
    const bool ok = model_.InsertBuffer(bytes, count, pos);
    Changed(true);
    return ok;
}

bool TTSHexEditor::AppendBuffer(const uint8_t* bytes, int64_t count) {
    const bool ok = model_.AppendBuffer(bytes, count);
    Changed(true);
    return ok;
}

bool TTSHexEditor::ReplaceSelection(const uint8_t* bytes, int64_t count) {
    const bool ok = model_.ReplaceSelection(bytes, count);
    Changed(true);
    return ok;
}

bool TTSHexEditor::Undo() {
    const bool ok = model_.Undo();
    Changed(true);
    return ok;
}

void TTSHexEditor::Seek(int64_t offset, int origin) {
    model_.Seek(offset, origin);
    Changed(true);
}

// --- caret ---------------------------------------------------------------------------

int TTSHexEditor::VisibleRows() const { return std::max(ClientRect().Height() / std::max(rowHeight_, 1), 1); }

void TTSHexEditor::ScrollToCaret() {
    const int visible = VisibleRows();
    const int row = model_.RowOfByte(model_.CaretPos());
    if (row < topRow_) topRow_ = row;
    else if (row >= topRow_ + visible) topRow_ = row - visible + 1;
    topRow_ = std::clamp(topRow_, 0, std::max(model_.RowCount() - 1, 0));
    UpdateScrollBar();
}

void TTSHexEditor::ScrollTo(int row) {
    const int last = std::max(model_.RowCount() - VisibleRows(), 0);
    row = std::clamp(row, 0, last);
    if (row == topRow_) return;
    topRow_ = row;
    UpdateScrollBar();
    // The caret stays on its byte: it follows it, or waits outside the view.
    PlaceCaret();
    Invalidate();
}

void TTSHexEditor::UpdateScrollBar() {
    HWND h = HandleIfAllocated();
    if (!h) return;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS; // no bar while every row is in view
    si.nMin = 0;
    si.nMax = std::max(model_.RowCount() - 1, 0);
    si.nPage = static_cast<UINT>(VisibleRows());
    si.nPos = topRow_;
    SetScrollInfo(h, SB_VERT, &si, TRUE);
}

void TTSHexEditor::VScroll(int code, int thumb) {
    const int page = std::max(VisibleRows() - 1, 1);
    switch (code) {
    case SB_LINEUP: ScrollTo(topRow_ - 1); break;
    case SB_LINEDOWN: ScrollTo(topRow_ + 1); break;
    case SB_PAGEUP: ScrollTo(topRow_ - page); break;
    case SB_PAGEDOWN: ScrollTo(topRow_ + page); break;
    case SB_TOP: ScrollTo(0); break;
    case SB_BOTTOM: ScrollTo(model_.RowCount()); break;
    case SB_THUMBPOSITION: ScrollTo(thumb); break;
    case SB_THUMBTRACK: {
        // The 32-bit track position, not the 16 bits of the message.
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        if (HWND h = HandleIfAllocated(); h && GetScrollInfo(h, SB_VERT, &si)) ScrollTo(si.nTrackPos);
        break;
    }
    default: break;
    }
}

void TTSHexEditor::DropCaret() {
    if (hasCaret_) DestroyCaret();
    hasCaret_ = false;
    caretBitmap_.Reset();
}

void TTSHexEditor::MakeCaret() {
    HWND h = HandleIfAllocated();
    if (!h) return;
    DropCaret();
    const bool insert = AutoCaretMode && model_.InsertMode();
    const TCaretStyle style = insert ? csLeftLine : caretStyle_;
    const int w = std::max(unit_, 1), ht = std::max(rowHeight_, 1);
    RECT shape{0, 0, w, ht};
    if (style == csLeftLine) shape.right = std::min(2, w);
    else if (style == csBottomLine) shape.top = std::max(ht - 2, 0);
    {
        TWindowDC screen;
        caretBitmap_ = TGdiObject<HBITMAP>(CreateCompatibleBitmap(screen, w, ht));
    }
    if (!caretBitmap_) return;
    {
        TMemoryDC dc;
        TSelection pick(dc, caretBitmap_);
        // Black inverts nothing: only the shape shows.
        RECT all{0, 0, w, ht};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        TGdiObject<HBRUSH> brush(CreateSolidBrush(ColorToRGB(Inverted(Look().CursorFrame))));
        FillRect(dc, &shape, brush);
    }
    hasCaret_ = CreateCaret(h, caretBitmap_, w, ht) != FALSE;
    PlaceCaret();
    if (hasCaret_) ShowCaret(h);
}

void TTSHexEditor::PlaceCaret() {
    if (!hasCaret_) return;
    int col = 0, row = 0;
    model_.ByteCell(model_.CaretPos(), model_.CaretInChars(), model_.CaretNibble(), col, row);
    int x = ColumnLeft(col), y = (row - topRow_) * rowHeight_;
    if (row < topRow_ || y >= ClientRect().Height()) x = y = -1000; // parked outside
    // The picture carries the shape: it covers the whole cell.
    SetCaretPos(x, y);
}

// --- drawing ---------------------------------------------------------------------------

TTSHexEditor::TLook TTSHexEditor::Look() const {
    const TColors& k = *colors_;
    if (!skinColors_)
        return {k.Background(), k.Offset(), k.OddColumn(), k.EvenColumn(), Font().Color(), k.PositionBackground(),
                k.PositionText(), k.CursorFrame(), std::nullopt, std::nullopt};
    // The bytes in the field's text, every other column group and the
    // offsets in the text that stands out; markers and the selection in the
    // skin's highlight. Changed bytes keep their own pair of colours, which
    // reads on any field.
    const skin::TacFieldColors& s = *skinColors_;
    return {s.Color, s.HotFontColor, s.FontColor, s.HotFontColor, s.FontColor, s.Highlight, s.HighlightText,
            s.HotFontColor, s.Highlight, s.HighlightText};
}

void TTSHexEditor::SkinFieldColors(const skin::TacFieldColors* colors) {
    if (colors ? skinColors_ == *colors : !skinColors_) return;
    if (colors) skinColors_ = *colors;
    else skinColors_.reset();
    ColorsChanged();
}

void TTSHexEditor::DrawCell(int col, int row, const TRect& r, const TLook& k) {
    TCanvas& c = Canvas();
    const TColors& own = *colors_;
    auto text = [&](const std::string& s, TColor fg, TColor bg) {
        c.Brush().SetColor(bg);
        c.FillRect(r);
        c.Font().SetColor(fg);
        SetBkMode(c.Handle(), TRANSPARENT);
        c.TextRect(r, r.Left, r.Top + 1, s);
    };
    if (col == 0) {
        text(row < model_.RowCount() ? model_.OffsetText(row) : "", k.Offset, k.Background);
        return;
    }
    if (col == 1) {
        const int marker = model_.MarkerOnRow(row);
        if (marker < 0) {
            text("", k.PositionText, k.Background);
            return;
        }
        const int size = c.Font().Size();
        c.Font().SetName("Arial");
        c.Font().SetSize(static_cast<int>(size * 0.75 + 0.5));
        text(std::to_string(marker), k.PositionText, k.PositionBackground);
        c.Font().Assign(Font());
        return;
    }
    bool inChars = false;
    int nibble = 0;
    const int64_t pos = model_.CellByte(col, row, inChars, nibble);
    if (pos < 0) {
        text("", k.Offset, k.Background);
        return;
    }
    const bool changed = model_.Changed(pos);
    const bool selected = model_.HasSelection() && pos >= model_.SelStart() && pos <= model_.SelEnd();
    std::string s = inChars ? CharCellText(model_.CharText(pos), model_.Translation)
                            : model_.HexText(pos).substr(static_cast<size_t>(nibble), 1);
    TColor fg = changed ? own.ChangedText() : inChars ? k.Chars : model_.OddGroup(col) ? k.OddColumn : k.EvenColumn;
    TColor bg = changed ? own.ChangedBackground() : k.Background;
    if (selected && k.Selection) {
        bg = *k.Selection;
        fg = *k.SelectionText;
    } else if (selected) {
        std::swap(fg, bg);
        if (!changed && !inChars) fg = Inverted(bg);
    }
    text(s, fg, bg);
    // The caret's byte in the other half is framed.
    if (Focused() && pos == model_.CaretPos() && inChars != model_.CaretInChars()) {
        TRect fr = r;
        if (!inChars) {
            // Both digits of the byte.
            if (nibble == 1) return;
            fr.Right = fr.Left + ColumnWidth(col) + unit_;
        }
        if (focusFrame_) {
            c.DrawFocusRect(fr);
        } else {
            c.Brush().SetColor(k.CursorFrame);
            c.FrameRect(fr);
        }
    }
}

void TTSHexEditor::Paint() {
    TCanvas& c = Canvas();
    const TRect client = ClientRect();
    const TLook look = Look();
    c.Brush().SetColor(look.Background);
    c.FillRect(client);
    const int rows = model_.RowCount();
    for (int row = topRow_; row < rows; ++row) {
        const int y = (row - topRow_) * rowHeight_;
        if (y >= client.Bottom) break;
        int x = 0;
        for (int col = 0; col < model_.ColCount(); ++col) {
            const int w = ColumnWidth(col);
            if (w > 0 && col != model_.BlankColumn()) DrawCell(col, row, TRect(x, y, x + w, y + rowHeight_), look);
            x += w;
        }
    }
}

// --- input ---------------------------------------------------------------------------------

void TTSHexEditor::WndProc(TMessage& m) {
    switch (m.Msg) {
    case WM_GETDLGCODE:
        m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | (model_.WantTabs ? DLGC_WANTTAB : 0);
        return;
    case kStateChangedMessage:
        if (m.WParam == 7 && m.LParam == 7) {
            if (OnStateChanged) OnStateChanged(this);
            return;
        }
        break;
    case WM_SETFOCUS:
        TCustomControl::WndProc(m);
        MakeCaret();
        Invalidate();
        return;
    case WM_KILLFOCUS:
        TCustomControl::WndProc(m);
        DropCaret();
        // Losing the focus ends a Shift selection.
        Invalidate();
        return;
    case WM_SYSKEYUP:
    case WM_KEYUP:
        // A character right after Alt was released was typed as a code on
        // the number pad.
        altReleased_ = m.WParam == VK_MENU;
        break;
    case WM_ERASEBKGND: {
        // In the colour the grid is drawn in (the skin's field colour is not
        // the control's own).
        RECT r;
        GetClientRect(Handle(), &r);
        TGdiObject<HBRUSH> brush(CreateSolidBrush(ColorToRGB(Look().Background)));
        FillRect(reinterpret_cast<HDC>(m.WParam), &r, brush);
        m.Result = 1;
        return;
    }
    case WM_PRINTCLIENT: {
        // Printed (a form's fade captures its children so) as painted.
        if (m.LParam & PRF_ERASEBKGND) Perform(WM_ERASEBKGND, m.WParam, 0);
        TMessage paint{WM_PAINT, m.WParam, 0, 0};
        TCustomControl::WndProc(paint);
        m.Result = 0;
        return;
    }
    case WM_SIZE:
        TCustomControl::WndProc(m);
        Measure();
        UpdateScrollBar();
        return;
    case WM_VSCROLL:
        VScroll(LOWORD(m.WParam), HIWORD(m.WParam));
        m.Result = 0;
        return;
    case WM_MOUSEWHEEL: {
        // Three rows a notch; what is left of a notch waits for the next.
        wheel_ += static_cast<short>(HIWORD(m.WParam));
        const int notches = wheel_ / WHEEL_DELTA;
        wheel_ -= notches * WHEEL_DELTA;
        if (notches != 0) ScrollTo(topRow_ - 3 * notches);
        m.Result = 0;
        return;
    }
    default: break;
    }
    TCustomControl::WndProc(m);
}

bool TTSHexEditor::DoKeyDown(WORD& key, TShiftState shift) {
    if (TWinControl::DoKeyDown(key, shift)) return true;
    model_.TakeEditTried(); // only this key's edit counts below
    const bool ctrl = (shift & ssCtrl) != 0, sh = (shift & ssShift) != 0;
    bool handled = true;
    bool changed = false;
    switch (key) {
    case VK_LEFT: changed = model_.Key(hkLeft, sh, ctrl); break;
    case VK_RIGHT: changed = model_.Key(hkRight, sh, ctrl); break;
    case VK_UP: changed = model_.Key(hkUp, sh, ctrl); break;
    case VK_DOWN: changed = model_.Key(hkDown, sh, ctrl); break;
    case VK_PRIOR: changed = model_.Key(hkPageUp, sh, ctrl); break;
    case VK_NEXT: changed = model_.Key(hkPageDown, sh, ctrl); break;
    case VK_HOME: changed = model_.Key(hkHome, sh, ctrl); break;
    case VK_END: changed = model_.Key(hkEnd, sh, ctrl); break;
    case VK_TAB:
        if (ctrl || !model_.WantTabs) return false;
        changed = model_.Key(hkTab, false, false);
        break;
    case 'T':
        if (!ctrl) return false;
        changed = model_.Key(hkTab, false, true);
        break;
    case VK_INSERT:
        changed = model_.Key(hkInsert, false, false);
        if (AutoCaretMode && hasCaret_) MakeCaret();
        break;
    case VK_DELETE: changed = model_.Key(hkDelete, sh, ctrl); break;
    case VK_BACK: changed = model_.Key(hkBack, sh, ctrl); break;
    case 'Z':
        if (!ctrl) return false;
        changed = model_.Undo();
        break;
    default:
        if (ctrl && key >= '0' && key <= '9') {
            changed = model_.MarkerKey(key - '0', sh);
        } else {
            handled = false;
        }
        break;
    }
    if (handled) {
        key = 0;
        // A refused edit reports the state as well, as an admitted one does.
        Changed(model_.TakeEditTried() || changed);
    }
    return handled;
}

bool TTSHexEditor::DoKeyPress(wchar_t& key) {
    if (TWinControl::DoKeyPress(key)) return true;
    const bool alt = altReleased_;
    altReleased_ = false;
    if (key == VK_BACK || key == VK_TAB || key == 27 || key == '\r') return true; // done in DoKeyDown
    if (GetKeyState(VK_CONTROL) < 0) return true;
    model_.TakeEditTried(); // only this key's edit counts below
    bool changed = false;
    if (model_.CaretInChars()) {
        // Back to a byte of the chosen character set.
        char ansi[4] = {};
        wchar_t w = key;
        BOOL lossy = FALSE;
        int n = WideCharToMultiByte(model_.Translation == ttMac ? 1252 : CP_ACP, 0, &w, 1, ansi, sizeof ansi, nullptr,
                                    &lossy);
        // A character the chosen set cannot hold is refused, not written as
        // the converter's "?".
        if (n != 1 || lossy) return true;
        uint8_t b = static_cast<uint8_t>(ansi[0]);
        if (alt || model_.Translation == ttDos8) {
            // DOS characters, and a code typed with Alt on the number pad: the
            // platform's ANSI-to-OEM conversion (the latter accepted whatever
            // its value).
            char oem[2] = {};
            CharToOemBuffA(ansi, oem, 1);
            b = static_cast<uint8_t>(oem[0]);
        }
        if (b < 32 && !alt) return true;
        changed = model_.TypeChar(b);
    } else if (key < 128) {
        changed = model_.TypeHexDigit(static_cast<char>(key));
    }
    Changed(model_.TakeEditTried() || changed);
    return true;
}

void TTSHexEditor::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
    if (CanFocus() && !Focused()) SetFocus();
    TCustomControl::MouseDown(b, s, x, y);
    if (b != mbLeft) return;
    int col = 0, row = 0;
    if (!CellAt(x, y, col, row)) return;
    if (col < model_.FirstHexColumn() || col == model_.BlankColumn()) return; // never the blank column
    bool inChars = false;
    int nibble = 0;
    int64_t pos = model_.CellByte(col, row, inChars, nibble);
    if (pos < 0) {
        // Past the end of a row: its last byte; past the end of the data:
        // the last byte.
        inChars = col > model_.BlankColumn();
        pos = row < model_.RowCount() && model_.RowLength(row) > 0
                  ? model_.RowStart(row) + model_.RowLength(row) - 1
                  : model_.Size() - 1;
        nibble = 0;
        if (pos < 0) return;
    }
    model_.SetCaret(pos, inChars, nibble, (s & ssShift) != 0);
    Changed(true);
}

} // namespace tw
