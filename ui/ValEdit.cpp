#include "ui/ValEdit.h"

#include <algorithm>

#include "base/WinText.h"
#include "ui/Guards.h"

namespace tw {

namespace {

// The cell editor keeps Enter and Escape: they take or drop the value being
// typed, and must not press the default or cancel button of the form the
// grid sits on.
class TCellEditor : public TEdit {
public:
    using TEdit::TEdit;
    void WndProc(TMessage& m) override {
        TEdit::WndProc(m);
        if (m.Msg == WM_GETDLGCODE && (m.WParam == VK_RETURN || m.WParam == VK_ESCAPE)) m.Result |= DLGC_WANTALLKEYS;
    }
};

} // namespace

TValueListEditor::TValueListEditor(TComponent* owner)
    : TCustomControl(owner), strings_(std::make_unique<TStringsList>()) {
    width_ = 306;
    height_ = 300;
    color_ = clWindow;
    tabStop_ = true;
    strings_->OnChange = [this] {
        if (row_ >= RowCount()) row_ = std::max(1, RowCount() - 1);
        ScrollTo(topRow_);
        if (OnStringsChange) OnStringsChange(this);
    };
}

TValueListEditor::~TValueListEditor() { strings_->OnChange = nullptr; }

void TValueListEditor::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    p.Style |= WS_VSCROLL | WS_CLIPCHILDREN;
    p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TValueListEditor::HandleCreated() {
    TCustomControl::HandleCreated();
    UpdateScrollBar();
}

int TValueListEditor::VisibleRows() const { return std::max(1, ClientRect().Height() / rowHeight_ - 1); }

void TValueListEditor::ScrollTo(int top) {
    const int last = std::max(1, RowCount() - VisibleRows());
    topRow_ = std::max(1, std::min(top, last));
    UpdateScrollBar();
    Invalidate();
}

void TValueListEditor::UpdateScrollBar() {
    if (!handle_) return;
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = std::max(0, RowCount() - 2);
    si.nPage = static_cast<UINT>(VisibleRows());
    si.nPos = topRow_ - 1;
    SetScrollInfo(handle_, SB_VERT, &si, TRUE);
}

std::string TValueListEditor::Cells(int col, int row) const {
    if (row == 0) return col == 0 ? titleKey_ : titleValue_;
    if (row < 1 || row > strings_->Count()) return "";
    std::string s = strings_->Get(row - 1);
    size_t p = s.find('=');
    if (col == 0) return p == std::string::npos ? s : s.substr(0, p);
    return p == std::string::npos ? "" : s.substr(p + 1);
}

void TValueListEditor::SetCells(int col, int row, const std::string& v) {
    if (row < 1 || row > strings_->Count()) return;
    std::string key = Cells(0, row), value = Cells(1, row);
    if (col == 0)
        key = v;
    else
        value = v;
    strings_->Put(row - 1, key + "=" + value);
}

std::string TValueListEditor::Values(const std::string& key) const { return strings_->Values(key); }

void TValueListEditor::SetValues(const std::string& key, const std::string& value) {
    for (int r = 1; r <= strings_->Count(); ++r)
        if (Cells(0, r) == key) {
            SetCells(1, r, value);
            return;
        }
    strings_->Add(key + "=" + value);
}

void TValueListEditor::SetColWidths(int col, int w) {
    colWidths_[col & 1] = w;
    Invalidate();
}

void TValueListEditor::SetTitleCaptions(const std::string& key, const std::string& value) {
    titleKey_ = key;
    titleValue_ = value;
    Invalidate();
}

TRect TValueListEditor::CellRect(int col, int row) const {
    int y = row == 0 ? 0 : (row - topRow_ + 1) * rowHeight_;
    int x = col == 0 ? 0 : colWidths_[0];
    int w = col == 0 ? colWidths_[0] : std::max(colWidths_[1], ClientRect().Width() - colWidths_[0]);
    return TRect(x, y, x + w, y + rowHeight_);
}

int TValueListEditor::RowAt(int y) const {
    if (y < rowHeight_) return 0;
    return topRow_ + y / rowHeight_ - 1;
}

void TValueListEditor::SetRow(int r) {
    if (r < 1 || r >= RowCount()) return;
    if (Editing()) EndEdit(true);
    row_ = r;
    const int visible = VisibleRows();
    int top = topRow_;
    if (row_ < top) top = row_;
    if (row_ >= top + visible) top = row_ - visible + 1;
    ScrollTo(top);
}

void TValueListEditor::SetSkinColors(const TValueListColors* colors) {
    if (colors ? skinColors_ == *colors : !skinColors_) return;
    if (colors)
        skinColors_ = *colors;
    else
        skinColors_.reset();
    Invalidate();
}

void TValueListEditor::Paint() {
    TCanvas& c = Canvas();
    TRect cr = ClientRect();
    const TValueListColors* skin = SkinColors();
    c.Brush().SetColor(skin ? skin->Field : color_);
    c.FillRect(cr);
    HDC dc = c.Handle();
    auto fill = [dc](const RECT& r, TColor color) {
        TGdiObject<HBRUSH> brush(CreateSolidBrush(ColorToRGB(color)));
        FillRect(dc, &r, brush);
    };
    auto line = [dc](int x0, int y0, int x1, int y1, COLORREF color) {
        TGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, color));
        TSelection selected(dc, pen);
        MoveToEx(dc, x0, y0, nullptr);
        LineTo(dc, x1, y1);
    };
    int rows = RowCount();
    for (int r = 0; r < rows; ++r) {
        if (r != 0 && r < topRow_) continue;
        TRect kr = CellRect(0, r), vr = CellRect(1, r);
        if (kr.Top > cr.Bottom) break;
        bool fixed = r == 0;
        const bool marked = !fixed && r == row_ && focused_;
        RECT k = kr.ToRECT(), v = vr.ToRECT();
        if (fixed && skin) {
            // The title row stands apart from the field; a line of the field
            // between its cells and under it in place of the raised edge.
            fill(k, skin->Fixed);
            fill(v, skin->Fixed);
            const COLORREF groove = ColorToRGB(skin->Field);
            line(k.right - 1, k.top, k.right - 1, k.bottom, groove);
            line(k.left, k.bottom - 1, v.right, k.bottom - 1, groove);
        } else if (fixed) {
            FillRect(dc, &k, GetSysColorBrush(COLOR_BTNFACE));
            FillRect(dc, &v, GetSysColorBrush(COLOR_BTNFACE));
            DrawEdge(dc, &k, BDR_RAISEDINNER, BF_RECT);
            DrawEdge(dc, &v, BDR_RAISEDINNER, BF_RECT);
        } else {
            if (r == row_) {
                if (skin)
                    fill(v, focused_ ? skin->Selected : skin->Fixed);
                else
                    FillRect(dc, &v, GetSysColorBrush(focused_ ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
            }
            const COLORREF lines = skin ? ColorToRGB(skin->Lines) : GetSysColor(COLOR_BTNFACE);
            line(k.left, k.bottom - 1, v.right, v.bottom - 1, lines);
            line(k.right - 1, k.top, k.right - 1, k.bottom, lines);
        }
        c.Brush().SetStyle(bsClear);
        const TColor text = !skin ? font_->Color() : fixed ? skin->FixedText : skin->Text;
        const TColor markedText = skin ? skin->SelectedText : clHighlightText;
        TRect kt = kr, vt = vr;
        kt.Inflate(-3, 0);
        vt.Inflate(-3, 0);
        c.Font().SetColor(text);
        c.DrawText(Cells(0, r), kt, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        c.Font().SetColor(marked ? markedText : text);
        c.DrawText(Cells(1, r), vt, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
}

void TValueListEditor::EditValue() {
    if (row_ < 1 || row_ >= RowCount()) return;
    if (!editor_) {
        editor_ = new TCellEditor(nullptr);
        editor_->SetBorderStyle(bsNone);
        editor_->SetParent(this);
        editor_->OnExit = [this](TObject*) {
            if (Editing()) EndEdit(true);
        };
        editor_->OnKeyDown = [this](TObject*, WORD& key, TShiftState) {
            if (key == VK_RETURN) {
                EndEdit(true);
                key = 0;
            } else if (key == VK_ESCAPE) {
                EndEdit(false);
                key = 0;
            } else if (key == VK_UP || key == VK_DOWN) {
                int r = row_ + (key == VK_UP ? -1 : 1);
                EndEdit(true);
                SetRow(r);
                key = 0;
            }
        };
    }
    editRow_ = row_;
    TRect r = CellRect(1, row_);
    editor_->SetBounds(r.Left + 2, r.Top + 1, r.Width() - 3, r.Height() - 2);
    editor_->SetText(Cells(1, row_));
    editor_->SetVisible(true);
    editor_->SetFocus();
    editor_->SelectAll();
}

void TValueListEditor::EndEdit(bool accept) {
    if (!Editing()) return;
    int row = editRow_;
    editRow_ = -1;
    std::string v = editor_->Text();
    editor_->SetVisible(false);
    if (accept && row >= 1 && row < RowCount()) {
        SetCells(1, row, v);
        if (OnValidate) OnValidate(this, 1, row, Cells(0, row), Cells(1, row));
    }
    if (handle_ && IsWindowVisible(handle_)) ::SetFocus(handle_);
    Invalidate();
}

void TValueListEditor::WndProc(TMessage& m) {
    switch (m.Msg) {
    case WM_GETDLGCODE:
        m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
        return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        focused_ = m.Msg == WM_SETFOCUS;
        Invalidate();
        break;
    case WM_LBUTTONDOWN: {
        if (handle_) ::SetFocus(handle_);
        int r = RowAt(static_cast<short>(HIWORD(m.LParam)));
        if (r >= 1 && r < RowCount()) {
            bool again = r == row_;
            SetRow(r);
            if (again && static_cast<short>(LOWORD(m.LParam)) >= colWidths_[0]) EditValue();
        }
        break;
    }
    case WM_LBUTTONDBLCLK:
        EditValue();
        return;
    case WM_KEYDOWN: {
        WORD key = static_cast<WORD>(m.WParam);
        if (DoKeyDown(key, KeyboardShiftState())) return;
        if (key == VK_UP) SetRow(row_ - 1);
        if (key == VK_DOWN) SetRow(row_ + 1);
        if (key == VK_F2 || key == VK_RETURN) EditValue();
        return;
    }
    case WM_CHAR:
        if (m.WParam >= 32 && !Editing()) {
            EditValue();
            if (Editing()) PostMessageW(editor_->HandleIfAllocated(), WM_CHAR, m.WParam, m.LParam);
            return;
        }
        break;
    case WM_MOUSEWHEEL: {
        // The in-place editor belongs to its row: the edit ends first.
        if (Editing()) EndEdit(true);
        int delta = static_cast<short>(HIWORD(m.WParam));
        ScrollTo(topRow_ - delta / WHEEL_DELTA);
        return;
    }
    case WM_VSCROLL: {
        if (Editing()) EndEdit(true);
        const int page = VisibleRows();
        switch (LOWORD(m.WParam)) {
        case SB_LINEUP: ScrollTo(topRow_ - 1); break;
        case SB_LINEDOWN: ScrollTo(topRow_ + 1); break;
        case SB_PAGEUP: ScrollTo(topRow_ - page); break;
        case SB_PAGEDOWN: ScrollTo(topRow_ + page); break;
        case SB_TOP: ScrollTo(1); break;
        case SB_BOTTOM: ScrollTo(RowCount()); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: {
            SCROLLINFO si{};
            si.cbSize = sizeof(si);
            si.fMask = SIF_TRACKPOS;
            GetScrollInfo(handle_, SB_VERT, &si);
            ScrollTo(si.nTrackPos + 1);
            break;
        }
        default: break;
        }
        m.Result = 0;
        return;
    }
    case WM_SIZE:
        TCustomControl::WndProc(m);
        ScrollTo(topRow_);
        return;
    default: break;
    }
    TCustomControl::WndProc(m);
}

} // namespace tw
