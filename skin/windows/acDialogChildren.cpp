#include "skin/windows/acDialogChildren.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>

#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acDials.h"

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
    const LRESULT r = TacScrollWnd::AdapterWndProc(msg, wp, lp);
    switch (msg) {
    case WM_NCPAINT:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        if (!Unsubclassed())
            PaintFrame();
        break;
    default:
        break;
    }
    return r;
}

// ---------------------------------------------------------------------------
// TacComboBoxWnd

TacComboBoxWnd::TacComboBoxWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
    : TacMainWnd(wnd, manager, section, "TacComboBoxWnd")
{
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

TacComboBoxWnd::~TacComboBoxWnd()
{
    const HWND wnd = Handle();
    if (!Unsubclassed() && IsWindow(wnd)) {
        Unsubclass(false);
        RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
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

// ---------------------------------------------------------------------------
// TacTransPanelWnd

TacTransPanelWnd::TacTransPanelWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
    : TacMainWnd(wnd, manager, section, "TacTransPanelWnd")
{
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

TacTransPanelWnd::~TacTransPanelWnd()
{
    const HWND wnd = Handle();
    if (!Unsubclassed() && IsWindow(wnd)) {
        Unsubclass(false);
        RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
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

} // namespace skin
