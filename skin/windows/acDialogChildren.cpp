#include "skin/windows/acDialogChildren.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "base/WinText.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/windows/acDials.h"
#include "ui/Application.h"
#include "ui/Controls.h"

namespace skin {

namespace {

std::string LowerClassName(HWND wnd)
{
    char name[128] = {};
    const int n = GetClassNameA(wnd, name, sizeof(name));
    std::string s(name, size_t(std::max(n, 0)));
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A static child that is the label of a field is still a label: only the
// fields themselves take the field colours.
bool IsField(UINT msg) { return msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX; }

// A read-only or disabled edit asks for its colours as a label does.
bool IsReadOnlyEdit(UINT msg, HWND child)
{
    return msg == WM_CTLCOLORSTATIC && child && LowerClassName(child) == "edit";
}

} // namespace

TacBrushes::~TacBrushes()
{
    for (auto& [color, brush] : brushes_)
        DeleteObject(brush);
}

HBRUSH TacBrushes::Get(COLORREF color)
{
    auto it = brushes_.find(color);
    if (it != brushes_.end())
        return it->second;
    // A skin has few colours; a switch of skins may add a few more.
    if (brushes_.size() >= 8) {
        for (auto& [c, b] : brushes_)
            DeleteObject(b);
        brushes_.clear();
    }
    HBRUSH b = CreateSolidBrush(color);
    brushes_.emplace(color, b);
    return b;
}

TacSectionColors SectionColors(const TsSkinManager* manager, const char* section)
{
    TacSectionColors c;
    if (!manager || !manager->Active())
        return c;
    const int i = manager->GetSkinIndex(section);
    if (!manager->SkinIndexValid(i))
        return c;
    c.Back = COLORREF(manager->gd[size_t(i)].Color) & 0xFFFFFF;
    c.Text = COLORREF(manager->gd[size_t(i)].FontColor[0]) & 0xFFFFFF;
    c.Valid = true;
    return c;
}

LRESULT SkinCtlColor(const TsSkinManager* manager, TacBrushes& brushes, UINT msg, HDC dc, HWND child)
{
    TacSectionColors c = SectionColors(manager, IsField(msg) ? "EDIT" : "DIALOG");
    if (!c.Valid || !dc)
        return 0;
    if (!IsField(msg))
        c.Back = COLORREF(manager->GetGlobalColor()) & 0xFFFFFF;
    // A read-only or disabled edit shows as the dialog's text, on the field.
    if (IsReadOnlyEdit(msg, child))
        c = SectionColors(manager, "EDIT");
    SetTextColor(dc, c.Text);
    SetBkColor(dc, c.Back);
    if (!IsField(msg))
        SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(brushes.Get(c.Back));
}

// ---------------------------------------------------------------------------
// TacEditWnd

TacEditWnd::TacEditWnd(HWND wnd, TsSkinManager* manager, const std::string& section, const char* kind)
    : TacScrollWnd(wnd, manager, section, kind)
{
    RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
}

TacEditWnd::~TacEditWnd()
{
    const HWND wnd = Handle();
    if (!Unsubclassed() && IsWindow(wnd)) {
        Unsubclass(false);
        RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
    }
}

void TacEditWnd::PaintFrame()
{
    const HWND wnd = Handle();
    if (!manager_ || !manager_->Active() || !IsWindowVisible(wnd))
        return;
    RECT wr, cr;
    GetWindowRect(wnd, &wr);
    GetClientRect(wnd, &cr);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    const int left = origin.x - wr.left, top = origin.y - wr.top;
    if (w <= 0 || h <= 0 || (left <= 0 && top <= 0))
        return;
    tw::TBitmap bmp(w, h, tw::pf24bit);
    const int state = GetFocus() == wnd ? 1 : 0;
    PaintItemByName(bmp, section_.empty() ? "EDIT" : section_, "", state, manager_, {0, 0},
                    TColor(manager_->GetGlobalColor()), nullptr);
    HDC dc = GetWindowDC(wnd);
    if (!dc)
        return;
    const int saved = SaveDC(dc);
    // Only the edge: the inside and the bars are the window's and ours.
    const TacScrollBarState& v = Bar(true);
    const TacScrollBarState& hz = Bar(false);
    const int right = left + cr.right + (v.Visible ? v.Rect.Width() : 0);
    const int bottom = top + cr.bottom + (hz.Visible ? hz.Rect.Height() : 0);
    ExcludeClipRect(dc, left, top, std::max(right, left), std::max(bottom, top));
    BitBlt(dc, 0, 0, w, h, bmp.Canvas().Handle(), 0, 0, SRCCOPY);
    RestoreDC(dc, saved);
    ReleaseDC(wnd, dc);
}

LRESULT TacEditWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    // The field's own handling may free the adapter (its dialog told of a
    // change takes the skin away).
    const TLife life(*this);
    const LRESULT r = TacScrollWnd::AdapterWndProc(msg, wp, lp);
    switch (msg) {
    case WM_NCPAINT:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        if (life.Alive() && !Unsubclassed())
            PaintFrame();
        break;
    default:
        break;
    }
    return r;
}

// ---------------------------------------------------------------------------
// TacRepaintingWnd

TacRepaintingWnd::TacRepaintingWnd(HWND wnd, TsSkinManager* manager, const std::string& section, const char* kind,
                                   bool children)
    : TacMainWnd(wnd, manager, section, kind), children_(children)
{
    Repaint();
}

TacRepaintingWnd::~TacRepaintingWnd()
{
    if (!Unsubclassed() && IsWindow(Handle())) {
        Unsubclass(false);
        Repaint();
    }
}

void TacRepaintingWnd::Repaint() const
{
    if (children_)
        RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    else
        InvalidateRect(Handle(), nullptr, TRUE);
}

// ---------------------------------------------------------------------------
// TacComboBoxWnd

TacComboBoxWnd::TacComboBoxWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
    : TacRepaintingWnd(wnd, manager, section, "TacComboBoxWnd", true)
{
}

LRESULT TacComboBoxWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX || msg == WM_CTLCOLORSTATIC) {
        const LRESULT brush = SkinCtlColor(manager_, brushes_, msg == WM_CTLCOLORSTATIC ? WM_CTLCOLOREDIT : msg,
                                           reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
        if (brush)
            return brush;
    }
    return TacMainWnd::AdapterWndProc(msg, wp, lp);
}

// ---------------------------------------------------------------------------
// TacViewWnd

TacViewWnd::TacViewWnd(HWND wnd, TsSkinManager* manager, const std::string& section, bool tree)
    : TacScrollWnd(wnd, manager, section, tree ? "TacTreeViewWnd" : "TacListViewWnd"), tree_(tree)
{
    const TacSectionColors c = SectionColors(manager_, section.empty() ? "EDIT" : section.c_str());
    if (!c.Valid)
        return;
    saved_ = true;
    if (tree_) {
        oldBack_ = COLORREF(SendMessageW(wnd, TVM_GETBKCOLOR, 0, 0));
        oldText_ = COLORREF(SendMessageW(wnd, TVM_GETTEXTCOLOR, 0, 0));
        SendMessageW(wnd, TVM_SETBKCOLOR, 0, LPARAM(c.Back));
        SendMessageW(wnd, TVM_SETTEXTCOLOR, 0, LPARAM(c.Text));
    } else {
        oldBack_ = COLORREF(SendMessageW(wnd, LVM_GETBKCOLOR, 0, 0));
        oldText_ = COLORREF(SendMessageW(wnd, LVM_GETTEXTCOLOR, 0, 0));
        oldTextBack_ = COLORREF(SendMessageW(wnd, LVM_GETTEXTBKCOLOR, 0, 0));
        SendMessageW(wnd, LVM_SETBKCOLOR, 0, LPARAM(c.Back));
        SendMessageW(wnd, LVM_SETTEXTCOLOR, 0, LPARAM(c.Text));
        SendMessageW(wnd, LVM_SETTEXTBKCOLOR, 0, LPARAM(c.Back));
    }
    InvalidateRect(wnd, nullptr, TRUE);
}

TacViewWnd::~TacViewWnd()
{
    const HWND wnd = Handle();
    if (Unsubclassed() || !IsWindow(wnd) || !saved_)
        return;
    if (tree_) {
        SendMessageW(wnd, TVM_SETBKCOLOR, 0, LPARAM(oldBack_));
        SendMessageW(wnd, TVM_SETTEXTCOLOR, 0, LPARAM(oldText_));
    } else {
        SendMessageW(wnd, LVM_SETBKCOLOR, 0, LPARAM(oldBack_));
        SendMessageW(wnd, LVM_SETTEXTCOLOR, 0, LPARAM(oldText_));
        SendMessageW(wnd, LVM_SETTEXTBKCOLOR, 0, LPARAM(oldTextBack_));
    }
    InvalidateRect(wnd, nullptr, TRUE);
}

namespace {

// Dialogs whose children are adapted again once the current message is done.
std::vector<HWND>& DialogsToAdaptAgain()
{
    static std::vector<HWND> dialogs;
    return dialogs;
}

void CALLBACK AdaptAgainTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    std::vector<HWND> dialogs;
    dialogs.swap(DialogsToAdaptAgain());
    for (HWND d : dialogs) {
        try {
            if (TacProvider* p = FindProvider(d); p && IsWindow(d))
                AdaptDialogChildren(*p, d);
        } catch (...) {
            // The new windows keep the system's look; the failure is reported.
            tw::Application->HandleException(nullptr);
        }
    }
}

} // namespace

void TacViewWnd::WindowEnds()
{
    // A file dialog's shell view makes a new list for every folder it shows
    // and ends the old one: the dialog's children are adapted again once
    // the new list is there.
    const HWND root = GetAncestor(Handle(), GA_ROOT);
    if (!root || root == Handle() || !FindProvider(root))
        return;
    auto& pending = DialogsToAdaptAgain();
    if (std::find(pending.begin(), pending.end(), root) != pending.end())
        return;
    pending.push_back(root);
    if (pending.size() == 1 && !SetTimer(nullptr, 0, 0, AdaptAgainTimer))
        pending.clear();
}

// ---------------------------------------------------------------------------
// TacTransPanelWnd

TacTransPanelWnd::TacTransPanelWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
    : TacRepaintingWnd(wnd, manager, section, "TacTransPanelWnd", true)
{
}

void TacTransPanelWnd::PaintBackgroundPicture(HDC dc)
{
    // A page is the dialog's client seen through.
    PaintDialogBackground(manager_, Handle(), dc);
}

LRESULT TacTransPanelWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_ERASEBKGND:
        if (manager_ && manager_->Active() && wp) {
            // The page shows the part of its dialog's skinned client it covers.
            TacDialogWnd* dialog = TacDialogWnd::DialogOf(GetParent(Handle()));
            if (dialog && dialog->PaintBackgroundOf(Handle(), reinterpret_cast<HDC>(wp)))
                return 1;
            RECT r;
            GetClientRect(Handle(), &r);
            FillRect(reinterpret_cast<HDC>(wp), &r, brushes_.Get(COLORREF(manager_->GetGlobalColor()) & 0xFFFFFF));
            return 1;
        }
        break;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
        const LRESULT brush =
            SkinCtlColor(manager_, brushes_, msg, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
        if (!brush)
            break;
        // Labels and buttons on the page fill with the dialog's client
        // under them; fields and read-only edits keep their own colour.
        if (!IsField(msg) && !IsReadOnlyEdit(msg, reinterpret_cast<HWND>(lp))) {
            HWND target = msg == WM_CTLCOLORDLG ? Handle() : reinterpret_cast<HWND>(lp);
            if (TacDialogWnd* dialog = TacDialogWnd::DialogOf(GetParent(Handle())); dialog && target)
                if (HBRUSH pattern = dialog->BackgroundBrushFor(target, reinterpret_cast<HDC>(wp)))
                    return reinterpret_cast<LRESULT>(pattern);
        }
        return brush;
    }
    default:
        break;
    }
    return TacMainWnd::AdapterWndProc(msg, wp, lp);
}

// ---------------------------------------------------------------------------
// Children that take the skin's picture

namespace {

std::wstring WindowText(HWND wnd)
{
    const int n = GetWindowTextLengthW(wnd);
    if (n <= 0)
        return {};
    std::wstring text(size_t(n) + 1, L'\0');
    text.resize(size_t(std::max(0, GetWindowTextW(wnd, text.data(), n + 1))));
    return text;
}

bool Skinning(const TsSkinManager* manager) { return manager && manager->Active(); }

// The repaint the system's buttons need after changing their own look
// without WM_PAINT.
bool ChangesButtonLook(UINT msg)
{
    switch (msg) {
    case BM_SETCHECK:
    case BM_SETSTATE:
    case BM_SETSTYLE:
    case BM_CLICK:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CAPTURECHANGED:
    case WM_UPDATEUISTATE:
        return true;
    default:
        return false;
    }
}

} // namespace

void PaintSectionPicture(TsSkinManager* manager, HWND wnd, const std::string& section, int state, HDC dc)
{
    RECT cr;
    GetClientRect(wnd, &cr);
    if (cr.right <= 0 || cr.bottom <= 0)
        return;
    tw::TBitmap under(cr.right, cr.bottom, tw::pf24bit);
    PaintDialogBackground(manager, wnd, under.Canvas().Handle());
    tw::TBitmap bmp(cr.right, cr.bottom, tw::pf24bit);
    PaintItemByName(bmp, section, "", state, manager, {0, 0}, manager->GetGlobalColor(), under.Canvas().Handle());
    BitBlt(dc, 0, 0, cr.right, cr.bottom, bmp.Canvas().Handle(), 0, 0, SRCCOPY);
}

void PaintDialogBackground(const TsSkinManager* manager, HWND wnd, HDC dc)
{
    RECT r;
    GetClientRect(wnd, &r);
    if (TacDialogWnd* dialog = TacDialogWnd::DialogOf(GetParent(wnd)); dialog && dialog->PaintBackgroundOf(wnd, dc))
        return;
    const COLORREF c = Skinning(manager) ? COLORREF(manager->GetGlobalColor()) & 0xFFFFFF : GetSysColor(COLOR_BTNFACE);
    TSolidBrush brush;
    FillRect(dc, &r, brush.Of(c));
}

bool AnswerClientPaint(HWND wnd, UINT msg, WPARAM wp, const TacPaintClient& paint, LRESULT& result)
{
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        paint(dc);
        EndPaint(wnd, &ps);
        result = 0;
        return true;
    }
    case WM_PRINTCLIENT:
        paint(reinterpret_cast<HDC>(wp));
        result = 0;
        return true;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    default:
        return false;
    }
}

void PaintClientNow(HWND wnd, const TacPaintClient& paint)
{
    HDC dc = GetDC(wnd);
    if (!dc)
        return;
    paint(dc);
    ReleaseDC(wnd, dc);
    ValidateRect(wnd, nullptr);
}

void TrackButtonHot(HWND wnd, UINT msg, bool& hot)
{
    if (msg == WM_MOUSEMOVE && !hot) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, wnd, 0};
        hot = TrackMouseEvent(&tme) != 0;
        InvalidateRect(wnd, nullptr, FALSE);
    } else if (msg == WM_MOUSELEAVE) {
        hot = false;
        InvalidateRect(wnd, nullptr, FALSE);
    }
}

TacOnDialogWnd::TacOnDialogWnd(HWND wnd, TsSkinManager* manager, const std::string& section, const char* kind)
    : TacRepaintingWnd(wnd, manager, section, kind)
{
}

LRESULT TacOnDialogWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_ERASEBKGND && wp && Skinning(manager_)) {
        PaintDialogBackground(manager_, Handle(), reinterpret_cast<HDC>(wp));
        return 1;
    }
    return TacMainWnd::AdapterWndProc(msg, wp, lp);
}

void TacOnDialogWnd::PaintBackgroundPicture(HDC dc) { PaintDialogBackground(manager_, Handle(), dc); }

// ---------------------------------------------------------------------------
// TacCheckBoxWnd

TacCheckBoxWnd::TacCheckBoxWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
    : TacOnDialogWnd(wnd, manager, section, "TacCheckBoxWnd")
{
}

bool TacCheckBoxWnd::Painted() const
{
    const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
    switch (style & 0xF) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        return !(style & (BS_PUSHLIKE | BS_ICON | BS_BITMAP));
    default:
        return false;
    }
}

void TacCheckBoxWnd::Paint(HDC dc)
{
    const HWND wnd = Handle();
    RECT cr;
    GetClientRect(wnd, &cr);
    const int w = cr.right, h = cr.bottom;
    if (w <= 0 || h <= 0 || !Skinning(manager_))
        return;
    const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    const bool radio = (style & 0xF) == BS_RADIOBUTTON || (style & 0xF) == BS_AUTORADIOBUTTON;
    const LRESULT st = CallSaved(BM_GETSTATE, 0, 0);
    const int check = (st & BST_INDETERMINATE) ? 2 : (st & BST_CHECKED) ? 1 : 0;
    const bool enabled = IsWindowEnabled(wnd) != 0;
    const int state = !enabled ? 0 : (st & BST_PUSHED) ? 2 : hot_ ? 1 : 0;
    tw::TBitmap bmp(w, h, tw::pf24bit);
    PaintDialogBackground(manager_, wnd, bmp.Canvas().Handle());
    static const char* const box[3] = {"BOXUNCHECKED", "BOXCHECKED", "BOXGRAYED"};
    static const char* const round[3] = {"RADIOUNCHECKED", "RADIOCHECKED", "RADIOGRAYED"};
    const char* name = radio ? round[std::min(check, 1)] : box[check];
    const int section = manager_->GetSkinIndex(section_);
    int mask = manager_->GetMaskIndex(section, section_, name);
    if (!manager_->MaskIndexValid(mask))
        mask = manager_->GetMaskIndexByName("GLOBALINFO", name);
    int glyph = 13;
    const bool right = (style & BS_LEFTTEXT) || (style & BS_RIGHTBUTTON);
    if (manager_->MaskIndexValid(mask)) {
        const TsMaskData& m = manager_->ma[size_t(mask)];
        glyph = MaskFrameWidth(m);
        const int x = right ? w - glyph : 0;
        const TPixelView view = bmp.PixelView();
        DrawMaskGlyph(view, {x, (h - MaskFrameHeight(m)) / 2}, std::min(state, m.ImageCount - 1), 1, m,
                      MakeCacheInfo(view, 0, 0));
    }
    const std::string caption = tw::GetWindowTextUtf8(wnd);
    HFONT font = reinterpret_cast<HFONT>(CallSaved(WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(bmp.Canvas().Handle(), font) : nullptr;
    const TRect tr = right ? TRect(0, 0, w - glyph - 4, h) : TRect(glyph + 4, 0, w, h);
    const LRESULT uiState = CallSaved(WM_QUERYUISTATE, 0, 0);
    const UINT flags =
        DT_VCENTER | DT_SINGLELINE | (right ? DT_RIGHT : DT_LEFT) | ((uiState & UISF_HIDEACCEL) ? DT_HIDEPREFIX : 0);
    WriteSectionText(&bmp.Canvas(), caption.c_str(), enabled, tr, flags, section, state != 0, manager_);
    if ((st & BST_FOCUS) && !(uiState & UISF_HIDEFOCUS) && !caption.empty()) {
        RECT f{tr.Left - 1, 1, tr.Right, h - 1};
        DrawFocusRect(bmp.Canvas().Handle(), &f);
    }
    if (old)
        SelectObject(bmp.Canvas().Handle(), old);
    BitBlt(dc, 0, 0, w, h, bmp.Canvas().Handle(), 0, 0, SRCCOPY);
}

LRESULT TacCheckBoxWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (!Painted() || !Skinning(manager_))
        return TacOnDialogWnd::AdapterWndProc(msg, wp, lp);
    const HWND wnd = Handle();
    const TacPaintClient paint = [this](HDC dc) { Paint(dc); };
    if (LRESULT answer = 0; AnswerClientPaint(wnd, msg, wp, paint, answer))
        return answer;
    switch (msg) {
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
        TrackButtonHot(wnd, msg, hot_);
        break;
    default:
        if (ChangesButtonLook(msg)) {
            // A click reaches the dialog, which may take the skin away.
            const TLife life(*this);
            const LRESULT r = CallSaved(msg, wp, lp);
            if (life.Alive() && IsWindow(wnd) && IsWindowVisible(wnd))
                PaintClientNow(wnd, paint);
            return r;
        }
        break;
    }
    return TacOnDialogWnd::AdapterWndProc(msg, wp, lp);
}

// ---------------------------------------------------------------------------
// TacGroupBoxWnd

int TacGroupBoxWnd::CaptionHeight() const
{
    HDC dc = GetDC(Handle());
    if (!dc)
        return 0;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    if (old)
        SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
    // The frame runs through the middle of the caption line.
    return int(tm.tmHeight) / 2;
}

bool TacGroupBoxWnd::AnswerSkinCommand(uint16_t command, WPARAM wp, LPARAM lp, LRESULT& result)
{
    if (command == AC_QUERYCAPTIONHEIGHT) {
        result = CaptionHeight();
        return true;
    }
    return TacOnDialogWnd::AnswerSkinCommand(command, wp, lp, result);
}

LRESULT TacGroupBoxWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if ((msg != WM_PAINT && msg != WM_PRINTCLIENT) || !Skinning(manager_))
        return TacOnDialogWnd::AdapterWndProc(msg, wp, lp);
    const HWND wnd = Handle();
    PAINTSTRUCT ps{};
    HDC dc = msg == WM_PAINT ? BeginPaint(wnd, &ps) : reinterpret_cast<HDC>(wp);
    RECT cr;
    GetClientRect(wnd, &cr);
    if (dc && cr.right > 0 && cr.bottom > 0) {
        tw::TBitmap under(cr.right, cr.bottom, tw::pf24bit);
        PaintDialogBackground(manager_, wnd, under.Canvas().Handle());
        tw::TBitmap bmp(cr.right, cr.bottom, tw::pf24bit);
        BitBlt(bmp.Canvas().Handle(), 0, 0, cr.right, cr.bottom, under.Canvas().Handle(), 0, 0, SRCCOPY);
        PaintGroupBox(wnd, bmp.Canvas().Handle());
        const std::wstring text = WindowText(wnd);
        if (!text.empty()) {
            const std::string caption = tw::WideToUtf8(text);
            HFONT font = reinterpret_cast<HFONT>(CallSaved(WM_GETFONT, 0, 0));
            HDC bdc = bmp.Canvas().Handle();
            HGDIOBJ old = font ? SelectObject(bdc, font) : nullptr;
            RECT tr{0, 0, cr.right, cr.bottom};
            DrawTextW(bdc, text.c_str(), int(text.size()), &tr, DT_SINGLELINE | DT_CALCRECT);
            tr.left += 8, tr.right += 12, tr.right = std::min<LONG>(tr.right, cr.right);
            // The caption sits on the dialog's client, the frame stops at it.
            BitBlt(bdc, tr.left, 0, tr.right - tr.left, tr.bottom, under.Canvas().Handle(), tr.left, 0, SRCCOPY);
            WriteSectionText(&bmp.Canvas(), caption.c_str(), IsWindowEnabled(wnd) != 0,
                             TRect(tr.left + 2, 0, tr.right, tr.bottom), DT_SINGLELINE | DT_LEFT | DT_TOP,
                             manager_->GetSkinIndex(section_), false, manager_);
            if (old)
                SelectObject(bdc, old);
        }
        BitBlt(dc, 0, 0, cr.right, cr.bottom, bmp.Canvas().Handle(), 0, 0, SRCCOPY);
    }
    if (msg == WM_PAINT)
        EndPaint(wnd, &ps);
    return 0;
}

// ---------------------------------------------------------------------------
// TacTabControlWnd

TacTabControlWnd::TacTabControlWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
    : TacRepaintingWnd(wnd, manager, section, "TacTabControlWnd")
{
}

bool TacTabControlWnd::AnswerSkinCommand(uint16_t command, WPARAM wp, LPARAM lp, LRESULT& result)
{
    if (command == AC_QUERYCAPTIONHEIGHT) {
        // The check boxes on the pages are adapted as well.
        result = 1;
        return true;
    }
    return TacMainWnd::AnswerSkinCommand(command, wp, lp, result);
}

LRESULT TacTabControlWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_ERASEBKGND && wp && Skinning(manager_)) {
        PaintBackgroundPicture(reinterpret_cast<HDC>(wp));
        return 1;
    }
    return TacMainWnd::AdapterWndProc(msg, wp, lp);
}

void TacTabControlWnd::PaintBackgroundPicture(HDC dc)
{
    // The tab strip on the dialog, the page from the section.
    PaintDialogBackground(manager_, Handle(), dc);
    RECT page;
    GetClientRect(Handle(), &page);
    CallSaved(TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    InflateRect(&page, 2, 2);
    if (page.right > page.left && page.bottom > page.top) {
        tw::TBitmap bmp(page.right - page.left, page.bottom - page.top, tw::pf24bit);
        PaintItemByName(bmp, section_, "", 0, manager_, {0, 0}, manager_->GetGlobalColor(), nullptr);
        BitBlt(dc, page.left, page.top, bmp.Width(), bmp.Height(), bmp.Canvas().Handle(), 0, 0, SRCCOPY);
    }
}

// ---------------------------------------------------------------------------
// TacSpinWnd

TacSpinWnd::TacSpinWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
    : TacRepaintingWnd(wnd, manager, section, "TacSpinWnd")
{
}

bool TacSpinWnd::Horizontal() const { return (GetWindowLongPtrW(Handle(), GWL_STYLE) & UDS_HORZ) != 0; }

int TacSpinWnd::PartAt(LPARAM lp) const
{
    RECT cr;
    GetClientRect(Handle(), &cr);
    const int x = int(short(LOWORD(lp))), y = int(short(HIWORD(lp)));
    if (Horizontal())
        return x >= cr.right / 2 ? 1 : 2;
    return y < cr.bottom / 2 ? 1 : 2;
}

void TacSpinWnd::Paint(HDC dc)
{
    RECT cr;
    GetClientRect(Handle(), &cr);
    const int w = cr.right, h = cr.bottom;
    if (w <= 0 || h <= 0 || !Skinning(manager_))
        return;
    const bool horz = Horizontal();
    const bool enabled = IsWindowEnabled(Handle()) != 0;
    tw::TBitmap all(w, h, tw::pf24bit);
    PaintDialogBackground(manager_, Handle(), all.Canvas().Handle());
    const TacSectionColors colors = SectionColors(manager_, section_.c_str());
    for (int part = 1; part <= 2; ++part) {
        // Up on top (or right), down below (or left).
        RECT r = cr;
        if (horz)
            (part == 1 ? r.left : r.right) = w / 2;
        else
            (part == 1 ? r.bottom : r.top) = h / 2;
        const int bw = r.right - r.left, bh = r.bottom - r.top;
        if (bw <= 0 || bh <= 0)
            continue;
        tw::TBitmap bmp(bw, bh, tw::pf24bit);
        PaintItemByName(bmp, section_, "BUTTON", enabled && pressed_ == part ? 2 : 0, manager_, {r.left, r.top},
                        manager_->GetGlobalColor(), all.Canvas().Handle());
        // The arrow: a small triangle in the section's text colour.
        const int cx = bw / 2, cy = bh / 2, a = std::max(2, std::min(bw, bh) / 4);
        POINT pts[3];
        if (horz) {
            const int d = part == 1 ? 1 : -1;
            pts[0] = {cx + d * a / 2, cy};
            pts[1] = {cx - d * a / 2, cy - a};
            pts[2] = {cx - d * a / 2, cy + a};
        } else {
            const int d = part == 1 ? -1 : 1;
            pts[0] = {cx, cy + d * a / 2};
            pts[1] = {cx - a, cy - d * a / 2};
            pts[2] = {cx + a, cy - d * a / 2};
        }
        const COLORREF arrow = enabled && colors.Valid ? colors.Text : GetSysColor(COLOR_GRAYTEXT);
        HDC bdc = bmp.Canvas().Handle();
        TSolidBrush brush;
        // Outlined as well as filled: a filled triangle leaves out its right
        // and bottom edges, and on a small button the arrow would shrink to
        // a dash.
        HPEN pen = CreatePen(PS_SOLID, 1, arrow);
        HGDIOBJ oldBrush = SelectObject(bdc, brush.Of(arrow));
        HGDIOBJ oldPen = SelectObject(bdc, pen ? static_cast<HGDIOBJ>(pen) : GetStockObject(NULL_PEN));
        Polygon(bdc, pts, 3);
        SelectObject(bdc, oldPen);
        SelectObject(bdc, oldBrush);
        if (pen)
            DeleteObject(pen);
        BitBlt(all.Canvas().Handle(), r.left, r.top, bw, bh, bdc, 0, 0, SRCCOPY);
    }
    BitBlt(dc, 0, 0, w, h, all.Canvas().Handle(), 0, 0, SRCCOPY);
}

LRESULT TacSpinWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (!Skinning(manager_))
        return TacMainWnd::AdapterWndProc(msg, wp, lp);
    const HWND wnd = Handle();
    const TacPaintClient paint = [this](HDC dc) { Paint(dc); };
    if (LRESULT answer = 0; AnswerClientPaint(wnd, msg, wp, paint, answer))
        return answer;
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        pressed_ = PartAt(lp);
        break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        pressed_ = 0;
        break;
    default:
        break;
    }
    // The control tells its buddy and its dialog of a change, which may take
    // the skin away.
    const TLife life(*this);
    const LRESULT r = TacMainWnd::AdapterWndProc(msg, wp, lp);
    // The system's control draws its buttons on mouse and timer messages.
    if ((msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK || msg == WM_LBUTTONUP || msg == WM_CAPTURECHANGED ||
         msg == WM_TIMER || msg == WM_ENABLE || msg == WM_MOUSEMOVE) &&
        life.Alive() && IsWindow(wnd) && IsWindowVisible(wnd))
        PaintClientNow(wnd, paint);
    return r;
}

// ---------------------------------------------------------------------------
// TacToolBarWnd

TacToolBarWnd::TacToolBarWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
    : TacRepaintingWnd(wnd, manager, section, "TacToolBarWnd")
{
}

LRESULT TacToolBarWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_ERASEBKGND && wp && Skinning(manager_)) {
        PaintBackgroundPicture(reinterpret_cast<HDC>(wp));
        return 1;
    }
    return TacMainWnd::AdapterWndProc(msg, wp, lp);
}

void TacToolBarWnd::PaintBackgroundPicture(HDC dc)
{
    if (section_ == "BAR")
        PaintSectionPicture(manager_, Handle(), section_, 0, dc);
    else
        PaintDialogBackground(manager_, Handle(), dc);
}

// ---------------------------------------------------------------------------
// TacDlgPanelWnd

TacDlgPanelWnd::TacDlgPanelWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
    : TacRepaintingWnd(wnd, manager, section, "TacDlgPanelWnd")
{
}

LRESULT TacDlgPanelWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (!Skinning(manager_))
        return TacMainWnd::AdapterWndProc(msg, wp, lp);
    switch (msg) {
    case WM_ERASEBKGND:
        if (wp)
            PaintSectionPicture(manager_, Handle(), section_, 0, reinterpret_cast<HDC>(wp));
        return 1;
    case WM_PAINT: {
        // The panel's own painting would cover the section with its colour.
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Handle(), &ps);
        PaintSectionPicture(manager_, Handle(), section_, 0, dc);
        EndPaint(Handle(), &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        PaintSectionPicture(manager_, Handle(), section_, 0, reinterpret_cast<HDC>(wp));
        return 0;
    default:
        return TacMainWnd::AdapterWndProc(msg, wp, lp);
    }
}

// ---------------------------------------------------------------------------

std::unique_ptr<TacMainWnd> MakeDialogChildAdapter(const char* kind, HWND wnd, TsSkinManager* manager,
                                                   const std::string& section)
{
    const std::string k = kind ? kind : "";
    if (k == "TacStaticWnd")
        return std::make_unique<TacStaticWnd>(wnd, manager, section);
    if (k == "TacIconWnd")
        return std::make_unique<TacIconWnd>(wnd, manager, section);
    if (k == "TacLinkWnd")
        return std::make_unique<TacLinkWnd>(wnd, manager, section);
    if (k == "TacCheckBoxWnd")
        return std::make_unique<TacCheckBoxWnd>(wnd, manager, section);
    if (k == "TacGroupBoxWnd")
        return std::make_unique<TacGroupBoxWnd>(wnd, manager, section);
    if (k == "TacTabControlWnd")
        return std::make_unique<TacTabControlWnd>(wnd, manager, section);
    if (k == "TacSpinWnd") {
        auto spin = std::make_unique<TacSpinWnd>(wnd, manager, section);
        spin->State = 2;
        return spin;
    }
    if (k == "TacToolBarWnd")
        return std::make_unique<TacToolBarWnd>(wnd, manager, section);
    if (k == "TacDlgPanelWnd")
        return std::make_unique<TacDlgPanelWnd>(wnd, manager, section);
    return nullptr;
}

} // namespace skin
