#include "skin/windows/acBorderForm.h"

#include <algorithm>
#include <cstring>

#include "skin/engine/effects/acGlow.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "ui/Application.h"

namespace skin {

namespace {

LRESULT CALLBACK BorderProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* self = reinterpret_cast<TacBorderForm*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    try {
        switch (msg) {
        case WM_NCHITTEST: {
            // The frame and title answer as the form's own would; the
            // shadow lets the mouse through to what lies below it.
            const int code = self ? self->HitTest(POINT{short(LOWORD(lp)), short(HIWORD(lp))}) : HTNOWHERE;
            return code == HTNOWHERE ? HTTRANSPARENT : code;
        }
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_NCMOUSEMOVE: {
            // The hit test made the button hot; the mouse is watched here,
            // on the window it is over, and its leaving ends the hot state.
            TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE | TME_NONCLIENT, wnd, 0};
            TrackMouseEvent(&tme);
            return 0;
        }
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONUP:
        case WM_NCLBUTTONDBLCLK:
        case WM_NCRBUTTONDOWN:
        case WM_NCRBUTTONUP:
        case WM_NCMOUSELEAVE:
            // The form's title and frame lie here: its own procedure handles
            // the clicks (buttons, moving and sizing the form).
            // The owner's handling of the activation may free the border
            // window's object: only its owner's window is used.
            if (const HWND owner = self ? self->Owner() : nullptr; owner && IsWindow(owner)) {
                if (msg == WM_NCLBUTTONDOWN && GetForegroundWindow() != owner)
                    SetForegroundWindow(owner);
                return SendMessageW(owner, msg, wp, lp);
            }
            break;
        default:
            break;
        }
    } catch (...) {
        // Nothing unwinds through the system; the failure is reported.
        tw::Application->HandleException(nullptr);
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

const wchar_t* BorderClass()
{
    static const wchar_t* name = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = BorderProc;
        // A double click on the title maximizes the form as on its own.
        wc.style = CS_DBLCLKS;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TacBorderForm";
        RegisterClassExW(&wc);
        return L"TacBorderForm";
    }();
    return name;
}

} // namespace

TacBorderForm::TacBorderForm(HWND owner, TsSkinManager* manager) : owner_(owner), manager_(manager) {}

TacBorderForm::~TacBorderForm()
{
    if (OnDestroy)
        OnDestroy();
    if (wnd_)
        DestroyWindow(wnd_);
}

TRect TacBorderForm::Margins() const
{
    return manager_ ? manager_->ExtBorderMargins : TRect();
}

void TacBorderForm::SetActive(bool active)
{
    if (active == active_)
        return;
    active_ = active;
    if (shown_)
        UpdateBorderWindow(true, alpha_);
}

void TacBorderForm::BuildPicture(int width, int height)
{
    picture_.Resize(width, height, 32);
    pictureActive_ = active_;
    if (OnBuildPicture) {
        OnBuildPicture(picture_, active_);
        // Premultiplied, as the layered window wants it.
        const TPixelView& v = picture_.View();
        for (int y = 0; y < v.Height; ++y)
            for (int x = 0; x < v.Width; ++x) {
                uint8_t* p = v.Pixel(x, y);
                const unsigned a = p[3];
                p[0] = uint8_t(p[0] * a / 255);
                p[1] = uint8_t(p[1] * a / 255);
                p[2] = uint8_t(p[2] * a / 255);
            }
        return;
    }
    const TPixelImage* src = manager_ ? (active_ ? manager_->ExtBorderActive.get() : manager_->ExtBorderInactive.get())
                                      : nullptr;
    const TRect m = Margins();
    if (src && src->BitsPerPixel() == 32 && !src->View().Empty()) {
        // The border picture is cut where the form's frame begins, a skin's
        // FORMOFFSET beyond the margins: its corners and edges lie round the
        // frame as the skin drew them, and only its middle stretches. Each
        // piece takes less than half of the picture, so the sides keep
        // something to stretch.
        const int off = manager_->SkinData.FormOffset;
        TRect want(m.Left + off, m.Top + off, m.Right + off, m.Bottom + off);
        // A skin that draws the whole frame with its extended-border mask
        // (BORDERMODE 1) cuts the picture by the mask's own borders, each
        // no wider than the frame and its margin.
        if (manager_->SkinData.BorderMode == 1 && manager_->MaskIndexValid(manager_->ConstData.ExBorder)) {
            const TsMaskData& x = manager_->ma[size_t(manager_->ConstData.ExBorder)];
            const int frame = manager_->SkinData.BorderWidth;
            auto most = [frame](int w, int margin) { return frame > 0 ? std::min(w, frame + margin) : w; };
            want = TRect(most(x.WL, m.Left), most(x.WT, m.Top), most(x.WR, m.Right), most(x.WB, m.Bottom));
        }
        const int hw = std::max(0, (src->Width() - 1) / 2), hh = std::max(0, (src->Height() - 1) / 2);
        const TRect pieces(std::clamp(want.Left, 0, hw), std::clamp(want.Top, 0, hh), std::clamp(want.Right, 0, hw),
                           std::clamp(want.Bottom, 0, hh));
        const int stretched[4] = {1, 1, 1, 1};
        StretchBmpByMargins(picture_.View(), src->View(), TRect(0, 0, width, height),
                            TRect(0, 0, src->Width(), src->Height()), pieces, pieces, stretched, 1, false);
        // Premultiplied, as the layered window wants it.
        const TPixelView& v = picture_.View();
        for (int y = 0; y < v.Height; ++y)
            for (int x = 0; x < v.Width; ++x) {
                uint8_t* p = v.Pixel(x, y);
                const unsigned a = p[3];
                p[0] = uint8_t(p[0] * a / 255);
                p[1] = uint8_t(p[1] * a / 255);
                p[2] = uint8_t(p[2] * a / 255);
            }
    }
    if (OnPaintFrame)
        OnPaintFrame(picture_.View(), TRect(m.Left, m.Top, width - m.Right, height - m.Bottom));
}

bool TacBorderForm::UpdateBorderWindow(bool repaint, uint8_t alpha)
{
    const TUpdateLayeredWindow update = GlowLayeredEntry ? GlowLayeredEntry() : nullptr;
    if (!update || !IsWindow(owner_) || !manager_)
        return false;
    alpha_ = alpha;
    const TRect m = Margins();
    RECT or_;
    GetWindowRect(owner_, &or_);
    // A minimized owner is a title of its own; a maximized one keeps its
    // title here when its owner says so.
    const bool visible = IsWindowVisible(owner_) && !IsIconic(owner_) && (ShowsZoomedOwner || !IsZoomed(owner_));
    if (!visible) {
        if (wnd_ && shown_)
            ShowWindow(wnd_, SW_HIDE);
        shown_ = false;
        return true;
    }
    extent_ = OnFrameExtent ? OnFrameExtent() : TRect();
    const TRect& f = extent_;
    const TRect b(or_.left - m.Left - f.Left, or_.top - m.Top - f.Top, or_.right + m.Right + f.Right,
                  or_.bottom + m.Bottom + f.Bottom);
    const int w = b.Width(), h = b.Bottom - b.Top;
    if (w <= 0 || h <= 0)
        return true;
    if (!wnd_) {
        wnd_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, BorderClass(),
                               L"", WS_POPUP, b.Left, b.Top, w, h, owner_, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!wnd_)
            return false;
        SetWindowLongPtrW(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        repaint = true;
    }
    // A maximized owner fills the work area of its monitor: nothing of its
    // frame or shadow shows beyond it (on a neighbouring monitor, or where
    // the taskbar lies).
    TRect shown = b;
    if (IsZoomed(owner_)) {
        MONITORINFO mi{};
        mi.cbSize = sizeof(mi);
        if (GetMonitorInfoW(MonitorFromWindow(owner_, MONITOR_DEFAULTTONEAREST), &mi))
            shown = TRect(std::max<int>(b.Left, mi.rcWork.left), std::max<int>(b.Top, mi.rcWork.top),
                          std::min<int>(b.Right, mi.rcWork.right), std::min<int>(b.Bottom, mi.rcWork.bottom));
    }
    const TRect keep(shown.Left - b.Left, shown.Top - b.Top, shown.Right - b.Left, shown.Bottom - b.Top);
    if (repaint || picture_.Width() != w || picture_.Height() != h || pictureActive_ != active_ ||
        !(keep == pictureShown_)) {
        BuildPicture(w, h);
        pictureShown_ = keep;
        if (!(keep == TRect(0, 0, w, h)))
            ClearOutside(keep);
    }
    bounds_ = b;
    // The picture into a DIB section for the layered window.
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (dib && bits) {
        const TPixelView& v = picture_.View();
        for (int y = 0; y < h; ++y)
            std::memcpy(static_cast<uint8_t*>(bits) + size_t(y) * size_t(w) * 4, v.Row(y), size_t(w) * 4);
        HGDIOBJ old = SelectObject(mem, dib);
        POINT pos{b.Left, b.Top}, zero{0, 0};
        SIZE size{w, h};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
        ok = update(wnd_, screen, &pos, &size, mem, &zero, 0, &blend, ULW_ALPHA) != FALSE;
        SelectObject(mem, old);
    }
    if (dib)
        DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    ++updates_;
    if (!ok)
        return false;
    // Right behind its form, whatever else is on screen.
    SetWindowPos(wnd_, owner_, b.Left, b.Top, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    shown_ = true;
    return true;
}

void TacBorderForm::ClearOutside(const TRect& keep)
{
    const TPixelView& v = picture_.View();
    for (int y = 0; y < v.Height; ++y) {
        const bool row = y >= keep.Top && y < keep.Bottom;
        for (int x = 0; x < v.Width; ++x)
            if (!row || x < keep.Left || x >= keep.Right)
                std::memset(v.Pixel(x, y), 0, 4);
    }
}

int TacBorderForm::HitTest(POINT screen) const
{
    if (OnHitTest) {
        if (const int own = OnHitTest(screen))
            return own;
    }
    const TRect& b = bounds_;
    if (!shown_ || screen.x < b.Left || screen.y < b.Top || screen.x >= b.Right || screen.y >= b.Bottom)
        return HTNOWHERE;
    // What the picture leaves clear beside a maximized owner is not there.
    if (!pictureShown_.Contains(TPoint(screen.x - b.Left, screen.y - b.Top)))
        return HTNOWHERE;
    if (OnTitleHitTest) {
        if (const int title = OnTitleHitTest(screen))
            return title;
    }
    // The margins and the frame drawn here size the owner.
    const TRect m = Margins();
    const TRect& f = extent_;
    const bool left = screen.x < b.Left + m.Left + f.Left, right = screen.x >= b.Right - m.Right - f.Right;
    const bool top = screen.y < b.Top + m.Top + f.Top, bottom = screen.y >= b.Bottom - m.Bottom - f.Bottom;
    if (!(GetWindowLongPtrW(owner_, GWL_STYLE) & WS_THICKFRAME))
        return (left || right || top || bottom) ? HTBORDER : HTNOWHERE;
    if (top && left) return HTTOPLEFT;
    if (top && right) return HTTOPRIGHT;
    if (bottom && left) return HTBOTTOMLEFT;
    if (bottom && right) return HTBOTTOMRIGHT;
    if (left) return HTLEFT;
    if (right) return HTRIGHT;
    if (top) return HTTOP;
    if (bottom) return HTBOTTOM;
    return HTNOWHERE;
}

} // namespace skin
