#include "ui/StdCtrls.h"

#include <algorithm>
#include <cstring>

#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/Guards.h"

namespace tw {

namespace {
std::wstring W(const std::string& s) { return Utf8ToWide(s); }
}

// ---------------------------------------------------------------- TLabel

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) {
    parentColor_ = true;
    width_ = 65;
    height_ = 13;
}

void TLabel::SetTransparent(bool t) {
    transparent_ = t;
    SetControlStyle(t ? ControlStyle() & ~csOpaque : ControlStyle() | csOpaque);
    Invalidate();
}

UINT TLabel::DrawTextFlags() const {
    UINT f = DT_EXPANDTABS;
    if (wordWrap_) f |= DT_WORDBREAK;
    if (!showAccelChar_) f |= DT_NOPREFIX;
    if (alignment_ == taCenter) f |= DT_CENTER;
    if (alignment_ == taRightJustify) f |= DT_RIGHT;
    return f;
}

void TLabel::AdjustBounds() {
    if (!autoSize_ || IsLoading()) return;
    RECT r{0, 0, wordWrap_ ? width_ : 0, 0};
    {
        TWindowDC dc;
        TSelection font(dc, font_->Handle());
        std::wstring w = W(text_.empty() ? " " : text_);
        ::DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, DrawTextFlags() | DT_CALCRECT);
    }
    int nw = wordWrap_ ? width_ : r.right;
    int nl = left_;
    if (!wordWrap_ && alignment_ == taRightJustify) nl = left_ + width_ - nw;
    if (!wordWrap_ && alignment_ == taCenter) nl = left_ + (width_ - nw) / 2;
    SetBounds(nl, top_, nw, r.bottom);
}

void TLabel::SetAutoSize(bool a) {
    autoSize_ = a;
    AdjustBounds();
}

void TLabel::SetWordWrap(bool w) {
    wordWrap_ = w;
    AdjustBounds();
    Invalidate();
}

void TLabel::Loaded() {
    TGraphicControl::Loaded();
    AdjustBounds();
}

void TLabel::TextChanged() { AdjustBounds(); }

void TLabel::FontChanged() {
    AdjustBounds();
    Invalidate();
}

void TLabel::Paint() {
    TCanvas& c = Canvas();
    TRect r = ClientRect();
    if (!transparent_) {
        c.Brush().SetColor(color_);
        c.FillRect(r);
    }
    c.Brush().SetStyle(bsClear);
    UINT f = DrawTextFlags();
    if (layout_ != taAlignTop) {
        TRect calc = r;
        c.DrawText(text_, calc, f | DT_CALCRECT);
        int h = calc.Height();
        if (layout_ == taVerticalCenter) r.Top += (r.Height() - h) / 2;
        if (layout_ == taAlignBottom) r.Top = r.Bottom - h;
    }
    if (!enabled_) {
        TRect s = r;
        s.Offset(1, 1);
        c.Font().SetColor(clBtnHighlight);
        c.DrawText(text_, s, f);
        c.Font().SetColor(clBtnShadow);
    }
    c.DrawText(text_, r, f);
}

// ---------------------------------------------------------------- TCustomEdit

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
    color_ = clWindow;
    tabStop_ = true;
    width_ = 121;
    height_ = 21;
    clickOnMouseUp_ = false;
}

void TCustomEdit::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.BaseClassName = L"EDIT";
    p.Style |= ES_AUTOHSCROLL | ES_LEFT;
    if (readOnly_) p.Style |= ES_READONLY;
    if (charCase_ == ecUpperCase) p.Style |= ES_UPPERCASE;
    if (charCase_ == ecLowerCase) p.Style |= ES_LOWERCASE;
    if (passwordChar_) p.Style |= ES_PASSWORD;
    if (borderStyle_ == bsSingle) p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::HandleCreated() {
    if (maxLength_ > 0) SendMessageW(handle_, EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
    if (passwordChar_) SendMessageW(handle_, EM_SETPASSWORDCHAR, passwordChar_, 0);
}

void TCustomEdit::SetReadOnly(bool r) {
    readOnly_ = r;
    if (handle_) SendMessageW(handle_, EM_SETREADONLY, r ? TRUE : FALSE, 0);
}

void TCustomEdit::SetMaxLength(int m) {
    maxLength_ = m;
    if (handle_) SendMessageW(handle_, EM_LIMITTEXT, static_cast<WPARAM>(m > 0 ? m : 0), 0);
}

void TCustomEdit::SetBorderStyle(TBorderStyle b) {
    borderStyle_ = b;
    RecreateWnd();
}

void TCustomEdit::SetPasswordChar(wchar_t c) {
    passwordChar_ = c;
    RecreateWnd();
}

void TCustomEdit::SetCharCase(TEditCharCase c) {
    charCase_ = c;
    RecreateWnd();
}

bool TCustomEdit::Modified() const { return handle_ && SendMessageW(handle_, EM_GETMODIFY, 0, 0) != 0; }
void TCustomEdit::SetModified(bool m) {
    if (handle_) SendMessageW(handle_, EM_SETMODIFY, m ? TRUE : FALSE, 0);
}

int TCustomEdit::SelStart() const {
    DWORD s = 0, e = 0;
    if (handle_) SendMessageW(handle_, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    return static_cast<int>(s);
}
void TCustomEdit::SetSelStart(int s) {
    if (Handle()) SendMessageW(handle_, EM_SETSEL, static_cast<WPARAM>(s), static_cast<LPARAM>(s));
}
int TCustomEdit::SelLength() const {
    DWORD s = 0, e = 0;
    if (handle_) SendMessageW(handle_, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    return static_cast<int>(e - s);
}
void TCustomEdit::SetSelLength(int l) {
    int s = SelStart();
    if (Handle()) SendMessageW(handle_, EM_SETSEL, static_cast<WPARAM>(s), static_cast<LPARAM>(s + l));
}
void TCustomEdit::SelectAll() {
    if (Handle()) SendMessageW(handle_, EM_SETSEL, 0, -1);
}

void TCustomEdit::Change() {
    if (OnChange) OnChange(this);
}

void TCustomEdit::WndProc(TMessage& m) {
    if (m.Msg == CN_COMMAND && HIWORD(m.WParam) == EN_CHANGE) {
        text_ = GetWindowTextUtf8(handle_);
        Change();
        return;
    }
    if (m.Msg == WM_SETFOCUS && autoSelect_ && !(GetKeyState(VK_LBUTTON) < 0)) {
        TWinControl::WndProc(m);
        SendMessageW(handle_, EM_SETSEL, 0, -1);
        return;
    }
    TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TMemoStrings

std::string TMemoStrings::Get(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    return lines_[static_cast<size_t>(index)];
}

void TMemoStrings::Put(int index, const std::string& s) {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    lines_[static_cast<size_t>(index)] = s;
    Changed(false);
}

void TMemoStrings::Insert(int index, const std::string& s) {
    if (index < 0 || index > Count()) throw EListError(Format("List index out of bounds (%d)", index));
    // A line added with line breaks in it becomes several lines, as in an
    // edit control.
    if (s.find_first_of("\r\n") != std::string::npos) {
        TStringsList tmp;
        tmp.SetText(s);
        if (tmp.Count() == 0) tmp.Add("");
        for (int i = 0; i < tmp.Count(); ++i)
            lines_.insert(lines_.begin() + index + i, tmp.Get(i));
    } else {
        lines_.insert(lines_.begin() + index, s);
    }
    Changed(index == Count() - 1);
}

int TMemoStrings::Add(const std::string& s) {
    if (s.find_first_of("\r\n") != std::string::npos) {
        int n = Count();
        Insert(n, s);
        return n;
    }
    lines_.push_back(s);
    Changed(true);
    return Count() - 1;
}

void TMemoStrings::Delete(int index) {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    lines_.erase(lines_.begin() + index);
    Changed(false);
}

void TMemoStrings::Clear() {
    lines_.clear();
    lines_.shrink_to_fit();
    Changed(false);
}

void TMemoStrings::EndUpdate() {
    TStrings::EndUpdate();
    if (UpdateCount() == 0) Changed(false);
}

std::string TMemoStrings::Text() const {
    size_t n = 0;
    for (auto& l : lines_) n += l.size() + 2;
    std::string r;
    r.reserve(n);
    for (auto& l : lines_) {
        r += l;
        r += "\r\n";
    }
    return r;
}

void TMemoStrings::SetText(const std::string& text) {
    BeginUpdate();
    lines_.clear();
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines_.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines_.push_back(text.substr(start));
    EndUpdate();
}

void TMemoStrings::SaveToStream(TStream& s) const {
    // In blocks: a log of 100,000 lines is written without one huge copy.
    std::string buf;
    buf.reserve(1 << 20);
    for (auto& l : lines_) {
        buf += l;
        buf += "\r\n";
        if (buf.size() >= (1u << 20)) {
            s.WriteBuffer(buf.data(), static_cast<int64_t>(buf.size()));
            buf.clear();
        }
    }
    if (!buf.empty()) s.WriteBuffer(buf.data(), static_cast<int64_t>(buf.size()));
}

void TMemoStrings::Changed(bool appended) {
    if (UpdateCount() == 0 && memo_) memo_->LinesChanged(appended);
}

// ---------------------------------------------------------------- TMemo

namespace {
constexpr UINT CM_MEMOREFRESH = CM_BASE + 0x70;
}

TMemo::TMemo(TComponent* owner) : TCustomControl(owner), lines_(std::make_unique<TMemoStrings>(this)) {
    color_ = clWindow;
    tabStop_ = true;
    width_ = 185;
    height_ = 89;
    cursor_ = crIBeam;
}

TMemo::~TMemo() = default;

void TMemo::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) p.Style |= WS_VSCROLL;
    if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) p.Style |= WS_HSCROLL;
    if (borderStyle_ == bsSingle) p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TMemo::HandleCreated() {
    MeasureFont();
    UpdateScrollBars();
}

void TMemo::SetScrollBars(TScrollStyle s) {
    scrollBars_ = s;
    RecreateWnd();
}

void TMemo::SetBorderStyle(TBorderStyle b) {
    borderStyle_ = b;
    RecreateWnd();
}

void TMemo::MeasureFont() {
    TEXTMETRICW tm{};
    {
        TWindowDC dc;
        TSelection font(dc, font_->Handle());
        GetTextMetricsW(dc, &tm);
    }
    lineHeight_ = tm.tmHeight > 0 ? tm.tmHeight : 13;
    charWidth_ = tm.tmAveCharWidth > 0 ? tm.tmAveCharWidth : 7;
    maxWidth_ = 0;
    measuredLines_ = 0;
}

void TMemo::FontChanged() {
    TCustomControl::FontChanged();
    MeasureFont();
    UpdateScrollBars();
}

int TMemo::VisibleLineCount() const {
    int h = ClientRect().Height();
    return std::max(1, h / std::max(1, lineHeight_));
}

int TMemo::LongestLineWidth() {
    const auto& v = lines_->Lines();
    if (measuredLines_ > v.size()) {
        measuredLines_ = 0;
        maxWidth_ = 0;
    }
    if (measuredLines_ == v.size()) return maxWidth_;
    TWindowDC dc;
    TSelection font(dc, font_->Handle());
    for (size_t i = measuredLines_; i < v.size(); ++i) {
        // Only lines that could be longer than the longest so far are measured.
        if (static_cast<int>(v[i].size()) * charWidth_ * 2 < maxWidth_) continue;
        std::wstring w = W(v[i]);
        SIZE s{0, 0};
        GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &s);
        maxWidth_ = std::max<int>(maxWidth_, s.cx);
    }
    measuredLines_ = v.size();
    return maxWidth_;
}

void TMemo::UpdateScrollBars() {
    if (!handle_) return;
    int count = lines_->Count();
    int vis = VisibleLineCount();
    if (topLine_ > std::max(0, count - vis)) topLine_ = std::max(0, count - vis);
    shownLines_ = vis;
    SCROLLINFO si{sizeof(si)};
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) {
        si.nMin = 0;
        si.nMax = count > 0 ? count - 1 : 0;
        si.nPage = static_cast<UINT>(vis);
        si.nPos = topLine_;
        SetScrollInfo(handle_, SB_VERT, &si, TRUE);
    }
    if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) {
        int cw = ClientRect().Width();
        int total = LongestLineWidth() + 4;
        if (leftPixel_ > std::max(0, total - cw)) leftPixel_ = std::max(0, total - cw);
        si.nMin = 0;
        si.nMax = total;
        si.nPage = static_cast<UINT>(std::max(1, cw));
        si.nPos = leftPixel_;
        SetScrollInfo(handle_, SB_HORZ, &si, TRUE);
    }
}

void TMemo::LinesChanged(bool appended) {
    if (appended) {
        // Appending shows the new line, as an edit control's caret would.
        followEnd_ = true;
    }
    if (!appended && selB_ >= lines_->Count()) selA_ = selB_ = -1;
    if (handle_) {
        // One refresh per burst of appends: the update is posted and runs
        // when the message loop (or a long pass's ProcessMessages) comes by.
        if (!refreshPosted_) {
            refreshPosted_ = true;
            PostMessageW(handle_, CM_MEMOREFRESH, 0, 0);
        }
    }
    if (OnChange) OnChange(this);
}

void TMemo::ScrollToEnd() { SetTopLine(lines_->Count()); }

void TMemo::SetTopLine(int line) {
    int maxTop = std::max(0, lines_->Count() - VisibleLineCount());
    line = std::max(0, std::min(line, maxTop));
    followEnd_ = line >= maxTop;
    if (line == topLine_) return;
    topLine_ = line;
    if (handle_) {
        SetScrollPos(handle_, SB_VERT, topLine_, TRUE);
        InvalidateRect(handle_, nullptr, FALSE);
    }
}

int TMemo::LineAt(int y) const { return topLine_ + y / std::max(1, lineHeight_); }

void TMemo::SelectAll() {
    if (lines_->Count() == 0) return;
    selA_ = 0;
    selB_ = lines_->Count() - 1;
    Invalidate();
}

void TMemo::CopyToClipboard() {
    if (selA_ < 0 || !handle_) return;
    std::string t;
    for (int i = SelStartLine(); i <= SelEndLine() && i < lines_->Count(); ++i) {
        t += lines_->Lines()[static_cast<size_t>(i)];
        t += "\r\n";
    }
    std::wstring w = W(t);
    if (!OpenClipboard(handle_)) return;
    EmptyClipboard();
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, (w.size() + 1) * sizeof(wchar_t));
    if (g) {
        std::memcpy(GlobalLock(g), w.c_str(), (w.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(g);
        SetClipboardData(CF_UNICODETEXT, g);
    }
    CloseClipboard();
}

void TMemo::Resize() {
    // A view that showed the newest lines goes on showing them at its new
    // size (a restore after maximizing shows fewer lines). A reader who
    // scrolled away, and a text filled before it was first shown (it opens
    // at its beginning), keep the line at the top.
    if (followEnd_ && shownLines_ > 0 && topLine_ + shownLines_ >= lines_->Count())
        topLine_ = std::max(0, lines_->Count() - VisibleLineCount());
    UpdateScrollBars();
    TCustomControl::Resize();
}

void TMemo::Paint() {
    TCanvas& c = Canvas();
    TRect cr = ClientRect();
    HDC dc = c.Handle();
    c.RequireState();
    const auto& v = lines_->Lines();
    COLORREF bg = ColorToRGB(color_), fg = ColorToRGB(font_->Color());
    COLORREF selBg = GetSysColor(COLOR_HIGHLIGHT), selFg = GetSysColor(COLOR_HIGHLIGHTTEXT);
    RECT clip;
    GetClipBox(dc, &clip);
    int first = topLine_ + std::max(0, static_cast<int>(clip.top) / lineHeight_);
    int y = (first - topLine_) * lineHeight_;
    SetBkMode(dc, OPAQUE);
    for (int i = first; y < clip.bottom; ++i, y += lineHeight_) {
        RECT r{cr.Left, y, cr.Right, y + lineHeight_};
        bool sel = selA_ >= 0 && i >= SelStartLine() && i <= SelEndLine() && i < static_cast<int>(v.size());
        SetBkColor(dc, sel ? selBg : bg);
        SetTextColor(dc, sel ? selFg : fg);
        if (i < static_cast<int>(v.size())) {
            std::wstring w = W(v[static_cast<size_t>(i)]);
            ExtTextOutW(dc, 2 - leftPixel_, y, ETO_OPAQUE | ETO_CLIPPED, &r, w.c_str(), static_cast<UINT>(w.size()),
                        nullptr);
        } else {
            ExtTextOutW(dc, 0, y, ETO_OPAQUE, &r, L"", 0, nullptr);
        }
    }
}

void TMemo::WndProc(TMessage& m) {
    switch (m.Msg) {
    case CM_MEMOREFRESH: {
        refreshPosted_ = false;
        if (followEnd_) topLine_ = std::max(0, lines_->Count() - VisibleLineCount());
        UpdateScrollBars();
        if (handle_) InvalidateRect(handle_, nullptr, FALSE);
        return;
    }
    case WM_ERASEBKGND:
        m.Result = 1;
        return;
    case WM_GETDLGCODE:
        m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
        return;
    case WM_VSCROLL: {
        SCROLLINFO si{sizeof(si), SIF_ALL};
        GetScrollInfo(handle_, SB_VERT, &si);
        int t = topLine_;
        switch (LOWORD(m.WParam)) {
        case SB_LINEUP: t -= 1; break;
        case SB_LINEDOWN: t += 1; break;
        case SB_PAGEUP: t -= VisibleLineCount(); break;
        case SB_PAGEDOWN: t += VisibleLineCount(); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: t = si.nTrackPos; break;
        case SB_TOP: t = 0; break;
        case SB_BOTTOM: t = lines_->Count(); break;
        default: break;
        }
        SetTopLine(t);
        return;
    }
    case WM_HSCROLL: {
        SCROLLINFO si{sizeof(si), SIF_ALL};
        GetScrollInfo(handle_, SB_HORZ, &si);
        int x = leftPixel_;
        int page = ClientRect().Width();
        switch (LOWORD(m.WParam)) {
        case SB_LINELEFT: x -= charWidth_ * 2; break;
        case SB_LINERIGHT: x += charWidth_ * 2; break;
        case SB_PAGELEFT: x -= page; break;
        case SB_PAGERIGHT: x += page; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: x = si.nTrackPos; break;
        default: break;
        }
        x = std::max(0, std::min(x, std::max(0, si.nMax - page)));
        if (x != leftPixel_) {
            leftPixel_ = x;
            SetScrollPos(handle_, SB_HORZ, x, TRUE);
            InvalidateRect(handle_, nullptr, FALSE);
        }
        return;
    }
    case WM_MOUSEWHEEL: {
        int delta = static_cast<short>(HIWORD(m.WParam));
        SetTopLine(topLine_ - delta / WHEEL_DELTA * 3);
        return;
    }
    case WM_LBUTTONDOWN: {
        if (CanFocus()) ::SetFocus(handle_);
        int line = LineAt(static_cast<short>(HIWORD(m.LParam)));
        if (line >= lines_->Count()) line = lines_->Count() - 1;
        if ((m.WParam & MK_SHIFT) && selA_ >= 0)
            selB_ = line;
        else
            selA_ = selB_ = line;
        InvalidateRect(handle_, nullptr, FALSE);
        break;
    }
    case WM_MOUSEMOVE:
        if ((m.WParam & MK_LBUTTON) && selA_ >= 0) {
            int line = std::min(LineAt(static_cast<short>(HIWORD(m.LParam))), lines_->Count() - 1);
            if (line >= 0 && line != selB_) {
                selB_ = line;
                InvalidateRect(handle_, nullptr, FALSE);
            }
        }
        break;
    case WM_KEYDOWN: {
        WORD key = static_cast<WORD>(m.WParam);
        if (DoKeyDown(key, KeyboardShiftState())) return;
        bool ctrl = GetKeyState(VK_CONTROL) < 0;
        switch (key) {
        case VK_UP: SetTopLine(topLine_ - 1); return;
        case VK_DOWN: SetTopLine(topLine_ + 1); return;
        case VK_PRIOR: SetTopLine(topLine_ - VisibleLineCount()); return;
        case VK_NEXT: SetTopLine(topLine_ + VisibleLineCount()); return;
        case VK_HOME: SetTopLine(0); return;
        case VK_END: SetTopLine(lines_->Count()); return;
        case 'A':
            if (ctrl) {
                SelectAll();
                return;
            }
            break;
        case 'C':
        case VK_INSERT:
            if (ctrl) {
                CopyToClipboard();
                return;
            }
            break;
        default: break;
        }
        m.WParam = key;
        DefaultHandler(m);
        return;
    }
    default: break;
    }
    TCustomControl::WndProc(m);
}

// ---------------------------------------------------------------- buttons

TButtonControl::TButtonControl(TComponent* owner) : TWinControl(owner) {
    tabStop_ = true;
    clickOnMouseUp_ = false;
}

void TButtonControl::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.BaseClassName = L"BUTTON";
    if (wordWrap_) p.Style |= BS_MULTILINE;
}

void TButtonControl::WndProc(TMessage& m) {
    if (m.Msg == CN_COMMAND && HIWORD(m.WParam) == BN_CLICKED) {
        Click();
        return;
    }
    TWinControl::WndProc(m);
}

TButton::TButton(TComponent* owner) : TButtonControl(owner) {
    width_ = 75;
    height_ = 25;
}

void TButton::CreateParams(TCreateParams& p) {
    TButtonControl::CreateParams(p);
    p.Style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::SetDefault(bool d) {
    default_ = d;
    if (handle_) SendMessageW(handle_, BM_SETSTYLE, d ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click() {
    if (modalResult_ != mrNone) {
        if (TCustomForm* f = ParentForm()) f->SetModalResult(modalResult_);
    }
    TButtonControl::Click();
}

TCheckBox::TCheckBox(TComponent* owner) : TButtonControl(owner) {
    parentColor_ = true;
    width_ = 97;
    height_ = 17;
}

void TCheckBox::CreateParams(TCreateParams& p) {
    TButtonControl::CreateParams(p);
    p.Style |= BS_3STATE;
    if (alignment_ == taLeftJustify) p.Style |= BS_LEFTTEXT;
}

void TCheckBox::HandleCreated() { SendMessageW(handle_, BM_SETCHECK, static_cast<WPARAM>(state_), 0); }

void TCheckBox::SetState(TCheckBoxState s) {
    if (s == state_) return;
    state_ = s;
    if (handle_) SendMessageW(handle_, BM_SETCHECK, static_cast<WPARAM>(s), 0);
    if (!IsLoading()) Click();
}

void TCheckBox::WndProc(TMessage& m) {
    if (m.Msg == CN_COMMAND && HIWORD(m.WParam) == BN_CLICKED) {
        Toggle();
        return;
    }
    TButtonControl::WndProc(m);
}

void TCheckBox::Toggle() {
    // As a click of the user: unchecked -> checked (-> grayed) -> unchecked.
    SetState(state_ == cbUnchecked ? cbChecked
             : state_ == cbChecked ? (allowGrayed_ ? cbGrayed : cbUnchecked)
                                   : cbUnchecked);
}

TRadioButton::TRadioButton(TComponent* owner) : TButtonControl(owner) {
    parentColor_ = true;
    width_ = 113;
    height_ = 17;
}

void TRadioButton::CreateParams(TCreateParams& p) {
    TButtonControl::CreateParams(p);
    p.Style |= BS_RADIOBUTTON;
}

void TRadioButton::HandleCreated() { SendMessageW(handle_, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0); }

void TRadioButton::SetChecked(bool c) {
    if (c == checked_) return;
    checked_ = c;
    if (handle_) SendMessageW(handle_, BM_SETCHECK, c ? BST_CHECKED : BST_UNCHECKED, 0);
    if (c && parent_) {
        for (int i = 0; i < parent_->ControlCount(); ++i) {
            if (auto* r = dynamic_cast<TRadioButton*>(parent_->Controls(i)))
                if (r != this) r->SetChecked(false);
        }
    }
    if (c && !IsLoading()) Click();
}

void TRadioButton::WndProc(TMessage& m) {
    if (m.Msg == CN_COMMAND && HIWORD(m.WParam) == BN_CLICKED) {
        if (!checked_)
            SetChecked(true);
        return;
    }
    TButtonControl::WndProc(m);
}

// ---------------------------------------------------------------- TGroupBox

TGroupBox::TGroupBox(TComponent* owner) : TCustomControl(owner) {
    width_ = 185;
    height_ = 105;
}

void TGroupBox::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    // The box paints its whole client: without clipping, each of its paints
    // would wipe the controls it holds, and only those that happen to be
    // painted again afterwards would show. The controls it holds belong to
    // the form's keyboard navigation, not to a dialog of their own.
    p.Style |= WS_CLIPCHILDREN;
    p.ExStyle |= WS_EX_CONTROLPARENT;
}

TRect TGroupBox::AdjustedClientRect() const {
    TRect r = ClientRect();
    int th = std::abs(font_->Height()) + 4;
    r.Top += th;
    r.Inflate(-2, 0);
    r.Bottom -= 2;
    return r;
}

void TGroupBox::Paint() {
    TCanvas& c = Canvas();
    TRect r = ClientRect();
    c.Brush().SetColor(color_);
    c.FillRect(r);
    SIZE ts = c.TextExtent(text_.empty() ? "0" : text_);
    TRect frame(0, ts.cy / 2, r.Right, r.Bottom);
    RECT fr = frame.ToRECT();
    DrawEdge(c.Handle(), &fr, EDGE_ETCHED, BF_RECT);
    if (!text_.empty()) {
        TRect tr(8, 0, 8 + ts.cx + 4, ts.cy);
        c.FillRect(tr);
        c.Brush().SetStyle(bsClear);
        c.Font().SetColor(enabled_ ? font_->Color() : clGrayText);
        c.DrawText(text_, tr, DT_CENTER | DT_SINGLELINE);
    }
}

// ---------------------------------------------------------------- native lists

std::string TNativeListStrings::Get(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    return items_[static_cast<size_t>(index)];
}

void TNativeListStrings::Put(int index, const std::string& s) {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    Delete(index);
    Insert(index, s);
}

void TNativeListStrings::Insert(int index, const std::string& s) {
    if (index < 0 || index > Count()) throw EListError(Format("List index out of bounds (%d)", index));
    bool sorted = combo_ ? static_cast<TComboBox*>(ctl_)->Sorted() : static_cast<TListBox*>(ctl_)->Sorted();
    if (sorted) {
        index = static_cast<int>(std::lower_bound(items_.begin(), items_.end(), s,
                                                  [](const std::string& a, const std::string& b) {
                                                      return lstrcmpiW(W(a).c_str(), W(b).c_str()) < 0;
                                                  }) -
                                 items_.begin());
    }
    items_.insert(items_.begin() + index, s);
    if (HWND h = ctl_->HandleIfAllocated()) {
        std::wstring w = W(s);
        SendMessageW(h, combo_ ? CB_INSERTSTRING : LB_INSERTSTRING, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(w.c_str()));
    }
}

void TNativeListStrings::Delete(int index) {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    items_.erase(items_.begin() + index);
    if (HWND h = ctl_->HandleIfAllocated())
        SendMessageW(h, combo_ ? CB_DELETESTRING : LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void TNativeListStrings::Clear() {
    items_.clear();
    if (HWND h = ctl_->HandleIfAllocated()) SendMessageW(h, combo_ ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
}

void TNativeListStrings::Fill() {
    HWND h = ctl_->HandleIfAllocated();
    if (!h) return;
    SendMessageW(h, WM_SETREDRAW, FALSE, 0);
    SendMessageW(h, combo_ ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    for (auto& s : items_) {
        std::wstring w = W(s);
        SendMessageW(h, combo_ ? CB_ADDSTRING : LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
    }
    SendMessageW(h, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(h, nullptr, TRUE);
}

// ---------------------------------------------------------------- TComboBox

TComboBox::TComboBox(TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<TNativeListStrings>(this, true)) {
    color_ = clWindow;
    tabStop_ = true;
    width_ = 145;
    height_ = 21;
    clickOnMouseUp_ = false;
}

TComboBox::~TComboBox() {
    DestroyWnd();
}

void TComboBox::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.BaseClassName = L"COMBOBOX";
    p.Style |= WS_VSCROLL | CBS_AUTOHSCROLL;
    switch (style_) {
    case csSimple: p.Style |= CBS_SIMPLE; break;
    case csDropDownList: p.Style |= CBS_DROPDOWNLIST; break;
    case csOwnerDrawFixed: p.Style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS; break;
    case csOwnerDrawVariable: p.Style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE | CBS_HASSTRINGS; break;
    default: p.Style |= CBS_DROPDOWN; break;
    }
    // The window's height includes the drop-down list.
    p.Height = height_ + dropDownCount_ * 16 + 4;
}

void TComboBox::HandleCreated() {
    items_->Fill();
    if (itemIndex_ >= 0) SendMessageW(handle_, CB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
    if (style_ != csDropDownList && !text_.empty()) SetWindowTextUtf8(handle_, text_);
}

void TComboBox::HandleDestroying() {
    itemIndex_ = static_cast<int>(SendMessageW(handle_, CB_GETCURSEL, 0, 0));
    text_ = GetWindowTextUtf8(handle_);
}

void TComboBox::SetBounds(int l, int t, int w, int h) {
    if (handle_) {
        // Only the closed height is ours; the list keeps its own.
        SetWindowPos(handle_, nullptr, l, t, w, h + dropDownCount_ * 16 + 4, SWP_NOZORDER | SWP_NOACTIVATE);
        RECT r;
        GetWindowRect(handle_, &r);
        StoreBounds(l, t, w, r.bottom - r.top);
        BoundsChanged();
        RequestAlign();
        return;
    }
    TWinControl::SetBounds(l, t, w, h);
}

void TComboBox::SetStyle(TComboBoxStyle s) {
    style_ = s;
    RecreateWnd();
}

int TComboBox::ItemIndex() const {
    if (handle_) return static_cast<int>(SendMessageW(handle_, CB_GETCURSEL, 0, 0));
    return itemIndex_;
}

void TComboBox::SetItemIndex(int i) {
    if (i < -1 || i >= items_->Count()) i = -1;
    itemIndex_ = i;
    if (handle_) SendMessageW(handle_, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    text_ = i >= 0 ? items_->Get(i) : "";
}

std::string TComboBox::Text() const {
    if (handle_) return GetWindowTextUtf8(handle_);
    if (style_ == csDropDownList) return itemIndex_ >= 0 && itemIndex_ < items_->Count() ? items_->Get(itemIndex_) : "";
    return text_;
}

void TComboBox::SetText(const std::string& t) {
    int i = items_->IndexOf(t);
    if (style_ == csDropDownList || i >= 0) {
        SetItemIndex(i);
        if (i >= 0 || style_ == csDropDownList) return;
    }
    text_ = t;
    if (handle_) SetWindowTextUtf8(handle_, t);
}

void TComboBox::WndProc(TMessage& m) {
    if (m.Msg == CN_COMMAND) {
        switch (HIWORD(m.WParam)) {
        case CBN_SELCHANGE:
            itemIndex_ = static_cast<int>(SendMessageW(handle_, CB_GETCURSEL, 0, 0));
            if (itemIndex_ >= 0) {
                // The edit part shows the new item only after this
                // notification; set it now so OnChange reads it.
                text_ = items_->Get(itemIndex_);
                SetWindowTextUtf8(handle_, text_);
            }
            if (OnSelect) OnSelect(this);
            if (OnChange) OnChange(this);
            if (OnClick) OnClick(this);
            return;
        case CBN_EDITCHANGE:
            if (OnChange) OnChange(this);
            return;
        case CBN_DROPDOWN:
            if (OnDropDown) OnDropDown(this);
            return;
        case CBN_CLOSEUP:
            if (OnCloseUp) OnCloseUp(this);
            return;
        default: return;
        }
    }
    if (m.Msg == WM_CTLCOLORLISTBOX && handle_) {
        // The dropped-down list asks the combo box, which would pass the
        // question on to the parent naming a window no control owns: the list
        // would stay in the system's colours under a combo box in its own.
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        if (GetComboBoxInfo(handle_, &info) && info.hwndList == reinterpret_cast<HWND>(m.LParam)) {
            m.Result = CtlColor(reinterpret_cast<HDC>(m.WParam));
            return;
        }
    }
    TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TListBox

TListBox::TListBox(TComponent* owner) : TWinControl(owner), items_(std::make_unique<TNativeListStrings>(this, false)) {
    color_ = clWindow;
    tabStop_ = true;
    width_ = 121;
    height_ = 97;
    clickOnMouseUp_ = false;
}

TListBox::~TListBox() { DestroyWnd(); }

void TListBox::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.BaseClassName = L"LISTBOX";
    p.Style |= WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    if (multiSelect_) p.Style |= LBS_EXTENDEDSEL;
    if (OwnerDraw()) p.Style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS;
    p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TListBox::HandleCreated() {
    items_->Fill();
    if (OwnerDraw()) SendMessageW(handle_, LB_SETITEMHEIGHT, 0, itemHeight_);
    if (itemIndex_ >= 0) SetItemIndex(itemIndex_);
}

void TListBox::HandleDestroying() { itemIndex_ = ItemIndex(); }

int TListBox::ItemIndex() const {
    if (!handle_) return itemIndex_;
    if (multiSelect_) return static_cast<int>(SendMessageW(handle_, LB_GETCARETINDEX, 0, 0));
    return static_cast<int>(SendMessageW(handle_, LB_GETCURSEL, 0, 0));
}

void TListBox::SetItemIndex(int i) {
    itemIndex_ = i;
    if (!handle_) return;
    if (multiSelect_)
        SendMessageW(handle_, LB_SETCARETINDEX, static_cast<WPARAM>(i), FALSE);
    else
        SendMessageW(handle_, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
}

bool TListBox::Selected(int i) const {
    if (!handle_) return i == itemIndex_;
    return SendMessageW(handle_, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0;
}

void TListBox::SetSelected(int i, bool s) {
    if (!Handle()) return;
    if (multiSelect_)
        SendMessageW(handle_, LB_SETSEL, s ? TRUE : FALSE, static_cast<LPARAM>(i));
    else if (s)
        SetItemIndex(i);
}

int TListBox::TopIndex() const { return handle_ ? static_cast<int>(SendMessageW(handle_, LB_GETTOPINDEX, 0, 0)) : 0; }
void TListBox::SetTopIndex(int i) {
    if (Handle()) SendMessageW(handle_, LB_SETTOPINDEX, static_cast<WPARAM>(i), 0);
}

TRect TListBox::ItemRect(int i) const {
    RECT r{};
    if (handle_) SendMessageW(handle_, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    return TRect(r);
}

int TListBox::ItemAtPos(TPoint p, bool existing) const {
    if (!handle_) return -1;
    LRESULT r = SendMessageW(handle_, LB_ITEMFROMPOINT, 0, MAKELPARAM(p.X, p.Y));
    if (HIWORD(r) && existing) return -1;
    return LOWORD(r);
}

void TListBox::DrawItem(int index, const TRect& r, UINT state, HDC dc) {
    RECT rc = r.ToRECT();
    bool sel = state & ODS_SELECTED;
    FillRect(dc, &rc, GetSysColorBrush(sel ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (index >= 0 && index < items_->Count()) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(sel ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        std::wstring w = W(items_->Get(index));
        rc.left += 2;
        ::DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &rc, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    if (state & ODS_FOCUS) {
        RECT f = r.ToRECT();
        ::DrawFocusRect(dc, &f);
    }
}

void TListBox::WndProc(TMessage& m) {
    if (m.Msg == CN_COMMAND) {
        if (HIWORD(m.WParam) == LBN_SELCHANGE) {
            itemIndex_ = ItemIndex();
            Click();
        } else if (HIWORD(m.WParam) == LBN_DBLCLK) {
            if (OnDblClick) OnDblClick(this);
        }
        return;
    }
    if (m.Msg == CN_DRAWITEM) {
        auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
        TSelection font(di->hDC, font_->Handle());
        DrawItem(static_cast<int>(di->itemID), TRect(di->rcItem), di->itemState, di->hDC);
        m.Result = 1;
        return;
    }
    if (m.Msg == CN_MEASUREITEM) {
        reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam)->itemHeight = static_cast<UINT>(itemHeight_);
        m.Result = 1;
        return;
    }
    TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TScrollBar

TScrollBar::TScrollBar(TComponent* owner) : TWinControl(owner) {
    tabStop_ = true;
    width_ = 121;
    height_ = 17;
    clickOnMouseUp_ = false;
}

void TScrollBar::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.BaseClassName = L"SCROLLBAR";
    p.Style |= kind_ == sbHorizontal ? SBS_HORZ : SBS_VERT;
}

void TScrollBar::HandleCreated() { Apply(); }

void TScrollBar::SetKind(TScrollBarKind k) {
    if (k == kind_) return;
    kind_ = k;
    if (!IsLoading()) SetBounds(left_, top_, height_, width_);
    RecreateWnd();
}

void TScrollBar::SetPageSize(int p) {
    page_ = p;
    Apply();
}

void TScrollBar::SetParams(int pos, int mn, int mx) {
    if (mx < mn) mx = mn;
    pos = std::max(mn, std::min(pos, mx));
    bool changed = pos != pos_;
    min_ = mn;
    max_ = mx;
    pos_ = pos;
    Apply();
    if (changed && OnChange) OnChange(this);
}

void TScrollBar::Apply() {
    if (!handle_) return;
    SCROLLINFO si{sizeof(si), SIF_ALL};
    si.nMin = min_;
    si.nMax = max_ + (page_ > 0 ? page_ - 1 : 0);
    si.nPage = static_cast<UINT>(page_);
    si.nPos = pos_;
    SetScrollInfo(handle_, SB_CTL, &si, TRUE);
}

void TScrollBar::WndProc(TMessage& m) {
    if (m.Msg == CN_HSCROLL || m.Msg == CN_VSCROLL) {
        int code = LOWORD(m.WParam);
        int p = pos_;
        TScrollCode sc = scEndScroll;
        switch (code) {
        case SB_LINEUP: p -= small_; sc = scLineUp; break;
        case SB_LINEDOWN: p += small_; sc = scLineDown; break;
        case SB_PAGEUP: p -= large_; sc = scPageUp; break;
        case SB_PAGEDOWN: p += large_; sc = scPageDown; break;
        case SB_THUMBTRACK: {
            SCROLLINFO si{sizeof(si), SIF_TRACKPOS};
            GetScrollInfo(handle_, SB_CTL, &si);
            p = si.nTrackPos;
            sc = scTrack;
            break;
        }
        case SB_THUMBPOSITION: {
            SCROLLINFO si{sizeof(si), SIF_TRACKPOS};
            GetScrollInfo(handle_, SB_CTL, &si);
            p = si.nTrackPos;
            sc = scPosition;
            break;
        }
        case SB_TOP: p = min_; sc = scTop; break;
        case SB_BOTTOM: p = max_; sc = scBottom; break;
        default: break;
        }
        if (OnScroll) OnScroll(this, sc, p);
        SetPosition(p);
        return;
    }
    TWinControl::WndProc(m);
}

} // namespace tw
