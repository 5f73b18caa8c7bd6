// The provider's title bar: the frame measures with and without the extended
// border, the application icon, the title mask behind the buttons, the user
// buttons' glyphs and hints, the grip's background, the extended border's own
// frame and title, and the caption buttons with their states, fades and halos.
#include "skin/windows/sSkinProvider.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "base/WinText.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/windows/acBorderForm.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/acDials.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"
#include "ui/Graphics.h"
#include "ui/Menus.h"
#include "skin/windows/sSkinProviderInternal.h"

namespace skin {

using namespace provider_detail;

namespace {

TFrameMetrics SystemFrameMetrics()
{
    TFrameMetrics m;
    m.CxFrame = GetSystemMetrics(SM_CXFRAME);
    m.CxFixedFrame = GetSystemMetrics(SM_CXFIXEDFRAME);
    m.CyCaption = GetSystemMetrics(SM_CYCAPTION);
    m.CySmCaption = GetSystemMetrics(SM_CYSMCAPTION);
    return m;
}

// A 32-bit picture whose alpha is not all zero: a glyph saved without alpha
// is drawn as the 24-bit pictures are.
bool HasAlpha(const tw::TPixelView& v)
{
    if (v.BitsPerPixel != 32)
        return false;
    for (int y = 0; y < v.Height; ++y) {
        const uint8_t* p = v.Row(y);
        for (int x = 0; x < v.Width; ++x, p += 4)
            if (p[3] != 0)
                return true;
    }
    return false;
}

// A glyph over a picture at (x, y): a 32-bit one blended by its own alpha,
// any other with its key colour left out (the bottom-left pixel's colour,
// or the given key).
void DrawGlyphOver(tw::TBitmap& dst, tw::TBitmap& glyph, int x, int y, int w, int h, bool keyFromCorner)
{
    if (glyph.Empty() || w <= 0 || h <= 0)
        return;
    const tw::TPixelView src = glyph.PixelView();
    const tw::TPixelView out = dst.PixelView();
    if (glyph.PixelFormat() == tw::pf32bit && HasAlpha(src) && w == glyph.Width() && h == glyph.Height()) {
        DrawAlphaGlyph(TRect(x, y, x + w, y + h), TRect(0, 0, w, h), out, src, MakeCacheInfo(out, 0, 0), false);
        return;
    }
    const COLORREF key = keyFromCorner ? GetPixel(glyph.Canvas().Handle(), 0, glyph.Height() - 1) : RGB(255, 0, 255);
    TransparentBlt(dst.Canvas().Handle(), x, y, w, h, glyph.Canvas().Handle(), 0, 0, glyph.Width(), glyph.Height(),
                   key);
}

// The hint's text broken at spaces into lines no wider than maxWidth in the
// font (a word longer than that stands on a line of its own).
std::string WrapHintText(const std::string& text, HFONT font, int maxWidth)
{
    TWindowDC screen(nullptr);
    HDC dc = screen.Handle();
    HGDIOBJ old = SelectObject(dc, font);
    auto width = [&](const std::string& s) {
        const std::wstring w = tw::Utf8ToWide(s);
        SIZE size{};
        GetTextExtentPoint32W(dc, w.c_str(), int(w.size()), &size);
        return int(size.cx);
    };
    std::string out, line, word;
    auto flushWord = [&] {
        if (word.empty())
            return;
        const std::string joined = line.empty() ? word : line + " " + word;
        if (!line.empty() && width(joined) > maxWidth) {
            out += line + "\n";
            line = word;
        } else {
            line = joined;
        }
        word.clear();
    };
    for (char c : text) {
        if (c == ' ') {
            flushWord();
        } else if (c == '\n' || c == '\r') {
            flushWord();
            if (c == '\n') {
                out += line + "\n";
                line.clear();
            }
        } else {
            word += c;
        }
    }
    flushWord();
    out += line;
    SelectObject(dc, old);
    return out;
}

} // namespace

// ---------------------------------------------------------------------------
// Measures

int TsSkinProvider::SkinBorderWidth() const
{
    const TsSkinManager* sm = SkinManager();
    return borderForm_ && sm ? sm->SkinData.BorderWidth : 0;
}

int TsSkinProvider::SkinTitleHeight() const
{
    const TsSkinManager* sm = SkinManager();
    return borderForm_ && sm ? sm->SkinData.TitleHeight : 0;
}

int TsSkinProvider::FormBorderWidth(bool useSkin) const
{
    if (!form_ || !form_->HandleAllocated())
        return 0;
    const auto style = uint32_t(GetWindowLongPtrW(form_->Handle(), GWL_STYLE));
    return skin::FormBorderWidth(style, SkinBorderWidth(), useSkin, SystemFrameMetrics());
}

int TsSkinProvider::TitleBarHeight(bool useSkin) const
{
    if (!form_ || !form_->HandleAllocated())
        return 0;
    HWND wnd = form_->Handle();
    const tw::TBorderStyle bs = form_->BorderStyle();
    TTitleInput in;
    in.Style = uint32_t(GetWindowLongPtrW(wnd, GWL_STYLE));
    in.HasTitle = bs != tw::bsNone;
    in.Iconic = IsIconic(wnd) != FALSE;
    in.ToolWindow = bs == tw::bsToolWindow || bs == tw::bsSizeToolWin;
    in.TitleRaised = titleRaised_;
    in.SkinTitleHeight = SkinTitleHeight();
    return skin::TitleBarHeight(in, useSkin, SystemFrameMetrics());
}

int TsSkinProvider::SystemTitleHeight() const
{
    return TitleBarHeight(false) - (titleRaised_ ? kTitleRaise : 0);
}

void TsSkinProvider::UpdateTitleRaised()
{
    const TsSkinManager* sm = SkinManager();
    titleRaised_ = form_ && form_->HandleAllocated() && borderForm_ && sm && IsZoomed(form_->Handle()) &&
                   sm->SkinData.TitleHeight < GetSystemMetrics(SM_CYCAPTION) + kTitleRaise;
}

void TsSkinProvider::ParentClosing(tw::TMessage& m)
{
    if (m.LParam != SW_PARENTCLOSING || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    windowState_ = IsIconic(wnd) ? 2 : IsZoomed(wnd) ? 3 : 1;
}

void TsSkinProvider::SetMenuLineSkin(const std::string& s)
{
    if (menuLineSkin_ == s)
        return;
    menuLineSkin_ = s;
    skinData_->BGChangedFlag = true;
}

std::string TsSkinProvider::MenuLineSection() const
{
    const TsSkinManager* sm = SkinManager();
    if (!menuLineSkin_.empty() && sm && sm->SkinIndexValid(sm->GetSkinIndex(menuLineSkin_)))
        return menuLineSkin_;
    return "MENULINE";
}

// ---------------------------------------------------------------------------
// Title pieces

void TsSkinProvider::PaintAppIcon(tw::TBitmap& bmp, const TRect& icon, int titleBottom)
{
    const int iw = icon.Right - icon.Left, ih = icon.Bottom - icon.Top;
    if (iw <= 0 || ih <= 0)
        return;
    HDC dc = bmp.Canvas().Handle();
    if (titleIcon_.Glyph && !titleIcon_.Glyph->Empty()) {
        tw::TBitmap& g = *titleIcon_.Glyph;
        // A 32-bit glyph keeps its own size and alpha; any other is
        // stretched to the icon's place with the key colour left out.
        if (g.PixelFormat() == tw::pf32bit && HasAlpha(g.PixelView())) {
            DrawGlyphOver(bmp, g, icon.Left, icon.Top, g.Width(), g.Height(), false);
        } else {
            // Each side as the title icon gives it, or as its place was
            // measured by the title.
            const int w = titleIcon_.Width ? titleIcon_.Width : iw;
            const int h = titleIcon_.Height ? titleIcon_.Height : ih;
            TransparentBlt(dc, icon.Left, icon.Top, w, h, g.Canvas().Handle(), 0, 0, g.Width(), g.Height(),
                           RGB(255, 0, 255));
        }
        return;
    }
    HICON h = form_->Icon().Handle();
    if (!h && tw::Application)
        h = reinterpret_cast<HICON>(SendMessageW(tw::Application->Handle(), WM_GETICON, ICON_SMALL2, 0));
    if (!h) {
        // The program file's own icon: the large one where the title gives
        // it more than 16 pixels, else the small one.
        const int room = titleBottom - icon.Top;
        if (room > 16)
            h = ApplicationIcon(true);
        if (!h)
            h = ApplicationIcon(false);
    }
    if (!h)
        h = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    DrawIconEx(dc, icon.Left, icon.Top, h, iw, ih, 0, nullptr, DI_NORMAL);
}

void TsSkinProvider::PaintTitleBarMask(tw::TBitmap& bmp, const TMeasures& ms)
{
    const TSysMenuState& menu = layoutIn_.Menu;
    if (!menu.VisibleClose)
        return;
    TsSkinManager* sm = SkinManager();
    const int mask = sm->GetMaskIndex(skinData_->SkinIndex, skinData_->SkinSection(), "TITLEBAR");
    if (!sm->MaskIndexValid(mask))
        return;
    const TsMaskData& md = sm->ma[size_t(mask)];
    const int p = md.Bmp ? md.Bmp->Width() / 9 : (md.R.Right - md.R.Left) / std::max(1, 3 * md.ImageCount);
    const int bottom = std::min(bmp.Height(), ms.Border + ms.Title);
    const TRect r(std::max(0, ms.Width - (2 * p + TitleButtonsWidth(layoutIn_))), 0, bmp.Width(), bottom);
    if (r.Right <= r.Left || r.Bottom <= r.Top)
        return;
    const tw::TPixelView view = bmp.PixelView();
    DrawMaskRect(view, r, true, MakeCacheInfo(view, 0, 0), md, formActive_ ? 1 : 0, true);
}

void TsSkinProvider::PaintUserGlyph(tw::TBitmap& bmp, const TsTitleButton& b, const TRect& r, int state)
{
    if (!b.Glyph || b.Glyph->Empty())
        return;
    tw::TBitmap& g = *b.Glyph;
    const int shift = state == 2 ? 1 : 0;
    const int x = r.Left + (r.Right - r.Left - g.Width()) / 2 + shift;
    const int y = r.Top + (r.Bottom - r.Top - g.Height()) / 2 + shift;
    DrawGlyphOver(bmp, g, x, y, g.Width(), g.Height(), true);
}

void TsSkinProvider::FillGripBackground(tw::TBitmap& bmp, const TRect& grip, const TMeasures& ms)
{
    // What the form shows at the grip's place, as any skinned control asks
    // for its background: the form's cached client picture, else its colour.
    TacBGInfo info;
    info.PleaseDraw = false;
    const bool answered = GetBGInfo(info, form_, false);
    const int w = bmp.Width(), h = bmp.Height();
    const int cx = grip.Left - ms.Client.Left, cy = grip.Top - ms.Client.Top;
    if (answered && info.BgType == btCache && !info.Bmp.Empty()) {
        // The answer's offset is already the client's place in the picture,
        // extended-border margins included.
        const tw::TPixelView out = bmp.PixelView();
        const int sx0 = cx + info.OffsetX, sy0 = cy + info.OffsetY;
        const int bpp = info.Bmp.BitsPerPixel / 8, obpp = out.BitsPerPixel / 8;
        for (int y = 0; y < h; ++y) {
            const int sy = sy0 + y;
            if (sy < 0 || sy >= info.Bmp.Height)
                continue;
            for (int x = 0; x < w; ++x) {
                const int sx = sx0 + x;
                if (sx < 0 || sx >= info.Bmp.Width)
                    continue;
                std::memcpy(out.Row(y) + x * obpp, info.Bmp.Row(sy) + sx * bpp, 3);
            }
        }
        return;
    }
    const TColor back = answered && info.BgType == btFill ? info.Color : TColor(tw::ColorToRGB(form_->Color()));
    FillDC(bmp.Canvas().Handle(), TRect(0, 0, w, h), back);
}

// ---------------------------------------------------------------------------
// User button hints

void TsSkinProvider::ShowButtonHint(int code)
{
    HideButtonHint();
    const int i = code - htUserButton;
    if (i < 0 || i >= titleButtons_.Count() || !tw::Application)
        return;
    const TsTitleButton& b = titleButtons_.Items(i);
    if (b.Hint.empty())
        return;
    // The provider is the hint's one owner: owned by the application as
    // well, a hint shown at the end would be deleted twice.
    hint_ = std::make_unique<tw::THintWindow>(nullptr);
    hint_->SetColor(tw::clInfoBk);
    // At most 200 pixels wide, the text broken into lines to fit.
    const std::string text = WrapHintText(b.Hint, hint_->Font().Handle(), 200 - 8);
    hint_->SetText(text);
    TRect r = hint_->CalcHintRect(text);
    int w = r.Width(), h = r.Height() + 4;
    const TPoint cursor = GetMousePos();
    int x = cursor.X + 8, y = cursor.Y + 16;
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (GetMonitorInfoW(MonitorFromWindow(form_->Handle(), MONITOR_DEFAULTTONEAREST), &mi)) {
        const RECT& wa = mi.rcWork;
        if (x + w > wa.right) x = wa.right - w;
        if (y + h > wa.bottom) y = wa.bottom - h;
        x = std::max<int>(x, wa.left);
        y = std::max<int>(y, wa.top);
    }
    hint_->SetBounds(x, y, w, h);
    HWND hw = hint_->Handle();
    hintCode_ = code;
    SetWindowPos(hw, HWND_TOPMOST, x, y, w, h, SWP_NOACTIVATE);
    BOOL animation = FALSE, fade = FALSE;
    SystemParametersInfoW(SPI_GETTOOLTIPANIMATION, 0, &animation, 0);
    SystemParametersInfoW(SPI_GETTOOLTIPFADE, 0, &fade, 0);
    if (b.Hint.size() < 100 && animation && fade)
        AnimateWindow(hw, 200, AW_BLEND);
    ShowWindow(hw, SW_SHOWNOACTIVATE);
}

void TsSkinProvider::HideButtonHint()
{
    hint_.reset();
    hintCode_ = 0;
}

// ---------------------------------------------------------------------------
// The extended border: its frame, title and hit test

TRect TsSkinProvider::ExtendedFrame() const
{
    if (!borderForm_ || !form_->HandleAllocated())
        return TRect();
    const int sys = FormBorderWidth(false), skin = FormBorderWidth(true);
    const int dx = skin - sys;
    // The skin's title (with its top border) against the system's. The
    // raised title counts the system's 4 pixels higher than the system
    // draws it: the picture's title ends where the form's region begins.
    const int dt = TitleBarHeight(true) - sys - SystemTitleHeight();
    return TRect(dx, dt, dx, dx);
}

TsSkinProvider::TMeasures TsSkinProvider::ExtendedMeasures() const
{
    TMeasures ms;
    HWND wnd = form_->Handle();
    RECT wr, cr;
    GetWindowRect(wnd, &wr);
    GetClientRect(wnd, &cr);
    const TRect f = ExtendedFrame();
    ms.Width = (wr.right - wr.left) + f.Left + f.Right;
    ms.Height = (wr.bottom - wr.top) + f.Top + f.Bottom;
    ms.Border = FormBorderWidth(true);
    // The skin's title height holds its top border.
    ms.Title = std::max(0, TitleBarHeight(true) - ms.Border);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    const int left = origin.x - wr.left + f.Left, top = origin.y - wr.top + f.Top;
    ms.Client = TRect(left, top, left + cr.right, top + cr.bottom);
    MENUBARINFO mbi{};
    mbi.cbSize = sizeof(mbi);
    if (GetMenu(wnd) && GetMenuBarInfo(wnd, OBJID_MENU, 0, &mbi)) {
        ms.Menu = mbi.rcBar.bottom - mbi.rcBar.top + 1;
        ms.MenuRect = TRect(mbi.rcBar.left - wr.left + f.Left, mbi.rcBar.top - wr.top + f.Top,
                            mbi.rcBar.right - wr.left + f.Left, mbi.rcBar.bottom - wr.top + f.Top + 1);
    }
    return ms;
}

void TsSkinProvider::PaintExtendedFrame(const tw::TPixelView& picture, const TRect& inner)
{
    if (!skinned_ || !form_->HandleAllocated())
        return;
    const TMeasures ms = ExtendedMeasures();
    if (CacheOutdated(ms))
        PaintAll(ms);
    const tw::TPixelView src = ncCache_->PixelView();
    const TsSkinManager* sm = SkinManager();
    const bool borderMode = sm && sm->SkinData.BorderMode == 1;
    const int w = std::min(src.Width, inner.Right - inner.Left), h = std::min(src.Height, inner.Bottom - inner.Top);
    const int sb = src.BitsPerPixel / 8;
    for (int y = 0; y < h; ++y) {
        const int py = inner.Top + y;
        if (py < 0 || py >= picture.Height)
            continue;
        const bool titleRow = y < ms.Border + ms.Title;
        for (int x = 0; x < w; ++x) {
            const int px = inner.Left + x;
            if (px < 0 || px >= picture.Width)
                continue;
            uint8_t* out = picture.Row(py) + px * 4;
            const uint8_t* in = src.Row(y) + x * sb;
            const bool client = ms.Client.Contains(TPoint(x, y)) ||
                                (ms.MenuRect.Right > ms.MenuRect.Left && ms.MenuRect.Contains(TPoint(x, y)));
            const bool key = in[0] == 0xFF && in[1] == 0x00 && in[2] == 0xFF;
            if (client || key)
                continue;   // the form itself, or the skin's transparent corners: the shadow shows
            // BORDERMODE 1: the extended picture is the frame; only the title's
            // own pieces (icon, text, buttons) are laid over it.
            if (borderMode && !titleRow)
                continue;
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 0xFF;
        }
    }
    // The skin's cut-outs stay clear.
    for (const TRect& c : cutouts_)
        for (int y = std::max(0, c.Top); y < std::min(h, c.Bottom); ++y)
            for (int x = std::max(0, c.Left); x < std::min(w, c.Right); ++x) {
                const int px = inner.Left + x, py = inner.Top + y;
                if (px >= 0 && py >= 0 && px < picture.Width && py < picture.Height)
                    std::memset(picture.Row(py) + px * 4, 0, 4);
            }
}

int TsSkinProvider::ExtendedHitTest(POINT screen)
{
    if (!ExtActive() || !skinned_ || !drawNonClient_)
        return 0;
    const int code = HitTest(TPoint(screen.x, screen.y));
    // The edges, the client and what lies beside are the border window's.
    if (code == htClient || code == htNowhere || (code >= htLeft && code <= htBottomRight))
        return 0;
    SetHotButton(IsButtonCode(code) ? code : 0);
    return code;
}

bool TsSkinProvider::ExtActive() const
{
    if (!borderForm_ || !form_ || !form_->HandleAllocated())
        return false;
    // A maximized form keeps its title on the border window too; only a
    // minimized one is a title of its own.
    return !IsIconic(form_->Handle());
}

const char* TsSkinProvider::HelpMaskName(bool large) const
{
    if (large)
        return "BICONHELP";
    const TsSkinManager* sm = SkinManager();
    const int i = sm ? sm->GetMaskIndex(sm->ConstData.IndexGlobalInfo, "GLOBALINFO", "SICONHELP") : -1;
    return sm && sm->MaskIndexValid(i) ? "SICONHELP" : "BICONHELP";
}

HWND TsSkinProvider::BorderWindow() const
{
    return borderForm_ ? borderForm_->Handle() : nullptr;
}

SIZE TsSkinProvider::PaintAll()
{
    if (!borderForm_ || !skinned_ || !form_->HandleAllocated())
        return SIZE{0, 0};
    skinData_->BGChangedFlag = true;
    const TMeasures ms = ExtendedMeasures();
    PaintAll(ms);
    const TRect m = borderForm_->Margins();
    return SIZE{ms.Width + m.Left + m.Right, ms.Height + m.Top + m.Bottom};
}

void TsSkinProvider::RestoreBorderRegion()
{
    if (borderForm_)
        borderForm_->UpdateBorderWindow(true, 255);
}

// ---------------------------------------------------------------------------
// The caption cover and the caption repaint

bool TsSkinProvider::CaptionCoverAllowed() const
{
    // A locked or suspended form is drawn whole when it is let go: what the
    // system draws meanwhile is painted over then.
    return drawNonClient_ && !changeLocked_ && redrawCount_ == 0 && form_ && form_->HandleAllocated() &&
           !form_->IsDestroying();
}

TRect TsSkinProvider::CaptionCoverRect() const
{
    HWND wnd = form_->Handle();
    RECT wr;
    GetWindowRect(wnd, &wr);
    if (ExtActive()) {
        // The border window's title strip: inside its frame, ending where
        // the form's own (cut away) title ends.
        const int b = FormBorderWidth(false);
        const int bottom = wr.top + b + SystemTitleHeight();
        return TRect(wr.left + b, bottom - TitleBarHeight(true), wr.right - b, bottom);
    }
    const TMeasures ms = Measure();
    // The title down to the menu line: the line is the system's to draw.
    int height = ms.Border + ms.Title;
    if (!IsIconic(wnd))
        height = ms.MenuRect.IsEmpty() ? ms.Client.Top : ms.MenuRect.Top;
    return TRect(wr.left, wr.top, wr.right, wr.top + std::max(0, height));
}

void TsSkinProvider::CoverPaint(tw::TObject*) {}

void TsSkinProvider::CoverWindowProc(tw::TMessage& m)
{
    if (m.Msg == WM_ERASEBKGND) {
        m.Result = 1;
        return;
    }
    if (coverSaved_)
        coverSaved_(m);
}

void TsSkinProvider::ShowCaptionCover()
{
    if (!CaptionCoverAllowed())
        return;
    const TRect r = CaptionCoverRect();
    if (r.IsEmpty())
        return;
    if (!cover_) {
        // The provider is the cover's one owner: owned by the application
        // as well, a cover up while the application deletes its components
        // would be deleted twice.
        auto cover = std::make_unique<tw::TForm>(nullptr);
        // Kept out of the skinning and of the control adapters: the cover
        // must stay a bare window.
        cover->SetTag(acNoSkinTag);
        cover->SetBorderStyle(tw::bsNone);
        cover->OnPaint = [this](tw::TObject* sender) { CoverPaint(sender); };
        coverSaved_ = cover->WindowProc;
        cover->WindowProc = [this](tw::TMessage& msg) { CoverWindowProc(msg); };
        cover_ = std::move(cover);
    }
    HWND cw = cover_->Handle();
    if (!cw)
        return;
    ShowWindow(cw, SW_HIDE);
    HWND wnd = form_->Handle();
    // Right above the form: it hides the form's title and nothing else.
    HWND after = HWND_TOPMOST;
    if (!(GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST)) {
        after = GetWindow(wnd, GW_HWNDPREV);
        if (after == cw)
            after = GetWindow(cw, GW_HWNDPREV);
        if (!after)
            after = HWND_TOP;
    }
    SetWindowPos(cw, after, r.Left, r.Top, r.Width(), r.Height(),
                 SWP_NOACTIVATE | SWP_NOREDRAW | SWP_SHOWWINDOW | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING);
}

void TsSkinProvider::HideCaptionCover()
{
    if (!cover_)
        return;
    // Runs on the way out of an exception too: nothing may leave here.
    try {
        std::unique_ptr<tw::TForm> cover = std::move(cover_);
        cover->WindowProc = coverSaved_;
        coverSaved_ = nullptr;
        cover.reset();
    } catch (...) {
        tw::Application->HandleException(form_);
    }
}

void TsSkinProvider::CallSavedCovered(tw::TMessage& m)
{
    // The cover goes however the form's procedure ends.
    struct TUncover {
        TsSkinProvider& Provider;
        ~TUncover() { Provider.HideCaptionCover(); }
    } uncover{*this};
    ShowCaptionCover();
    CallSaved(m);
}

void TsSkinProvider::RepaintCaption()
{
    if (changeLocked_ || !Showing())
        return;
    if (ExtActive()) {
        UpdateBorderWindow(255);
        return;
    }
    skinData_->BGChangedFlag = true;
    PaintNonClient();
}

// ---------------------------------------------------------------------------
// The caption buttons: hot and pressed states, their pictures, fades and
// halos, and what a release on them does.

void TsSkinProvider::SetHotButton(int code, bool repaint)
{
    if (!drawNonClient_)
        return;
    RedrawPendingMenuItem();
    if (code == hotCode_ || (hotCode_ == -1 && code == 0))
        return;
    const int old = hotCode_;
    hotCode_ = code;
    pressed_ = false;
    if (old >= htUserButton)
        HideButtonHint();
    // Only the buttons that change are drawn again.
    if (repaint && IsButtonCode(old))
        RepaintButton(old);
    if (repaint && IsButtonCode(code))
        RepaintButton(code);
    if (code >= htUserButton && Showing())
        ShowButtonHint(code);
}

void TsSkinProvider::SetPressedButton(int code)
{
    if (code == htMaxButton) {
        // A maximize button the system menu does not allow is shown
        // disabled: it takes no press.
        const TSysMenuState menu = MenuState();
        if (!menu.EnabledMax && !(IsZoomed(form_->Handle()) && menu.EnabledRestore)) {
            SetHotButton(0);
            return;
        }
    }
    // A button left hot by the mouse is normal again before another is
    // pressed: two buttons never show a state at once.
    const int old = hotCode_;
    hotCode_ = code;
    pressed_ = true;
    if (old != code && IsButtonCode(old))
        RepaintButton(old);
    HideButtonHint();
    RepaintButton(code);
}

void TsSkinProvider::UpdateIconIndexes()
{
    captionButtons_[0].HitCode = htMinButton;
    captionButtons_[1].HitCode = htMaxButton;
    captionButtons_[2].HitCode = htClose;
    captionButtons_[3].HitCode = htHelp;
    const TsSkinManager* sm = SkinManager();
    if (!sm || !form_ || !sm->SkinIndexValid(sm->ConstData.IndexGlobalInfo)) {
        // No picture of an earlier skin may index this skin's masks.
        for (TsCaptionButton& b : captionButtons_)
            b.ImageIndex = -1;
        titleButtonMask_ = -1;
        return;
    }
    const tw::TBorderStyle bs = form_->BorderStyle();
    bool large = bs == tw::bsSingle || bs == tw::bsSizeable;
    // Without a small close picture the skin's large set serves every form.
    if (!large && !sm->MaskIndexValid(MaskIndex("SICONCLOSE")))
        large = true;
    const char* names[4][2] = {{"BICONMIN", "SICONMIN"},
                               {"BICONMAX", "SICONMAX"},
                               {"BICONCLOSE", "SICONCLOSE"},
                               {"BICONHELP", HelpMaskName(large)}};
    for (int i = 0; i < 4; ++i) {
        captionButtons_[i].Large = large;
        captionButtons_[i].ImageIndex = MaskIndex(large ? names[i][0] : names[i][1]);
    }
    titleButtonMask_ = MaskIndex("TITLEBUTTON");
}

void TsSkinProvider::PlaceCaptionButtons(const TMeasures& ms)
{
    UpdateIconIndexes();
    layoutIn_ = CaptionInput(ms);
    buttons_ = LayoutCaptionButtons(layoutIn_);
    captionButtons_[0].Rect = buttons_.Min;
    captionButtons_[1].Rect = buttons_.Max;
    captionButtons_[2].Rect = buttons_.Close;
    captionButtons_[3].Rect = buttons_.Help;
}

void TsSkinProvider::PaintCaptionButtons()
{
    if (!ncCache_)
        return;
    RestoreButtonsBackground();
    for (int code : {htClose, htMaxButton, htMinButton, htHelp})
        DrawButton(code);
    for (int i = 0; i < titleButtons_.Count(); ++i)
        DrawButton(htUserButton + i);
}

void TsSkinProvider::PaintCaptionText(const TMeasures& ms)
{
    if (!ncCache_)
        return;
    tw::TBitmap& bmp = *ncCache_;
    TsSkinManager* sm = SkinManager();
    const int titleBottom = ms.Border + ms.Title;
    const std::string titleSection = titleSkin_.empty() ? std::string("FORMTITLE") : titleSkin_;
    const TRect icon = IconRect(ms);
    // Caption text between the icon and the buttons: the icon's rectangle
    // already starts after the skin's left inset, which counts only once.
    // It starts just below the window's top edge; a zoomed window's frame
    // lies half beyond the screen, so its text starts lower.
    const int top = IsZoomed(form_->Handle()) ? FormBorderWidth(false) / 2 + 1 : 2;
    TRect text(ms.Border + icon.Width() + 4 + sm->SkinData.BILeft, top, ms.Width - TitleButtonsWidth(layoutIn_) - 6,
               titleBottom);
    if (text.Right > text.Left && text.Bottom > text.Top) {
        // The system's caption font in bold, set on the canvas itself: the
        // text writer selects the canvas's font for every pass.
        tw::TCanvas& canvas = bmp.Canvas();
        if (HFONT font = CreateCaptionFont()) {
            LOGFONTW lf{};
            if (GetObjectW(font, sizeof(lf), &lf)) {
                canvas.Font().SetName(tw::WideToUtf8(lf.lfFaceName));
                canvas.Font().SetHeight(lf.lfHeight);
                canvas.Font().SetCharset(lf.lfCharSet);
                canvas.Font().SetStyle(tw::fsBold);
            }
            DeleteObject(font);
        }
        canvas.RequireState();
        const std::string caption = form_->Text();
        // The line as high as the text, in the middle of the strip.
        const std::wstring wide = tw::Utf8ToWide(caption);
        SIZE extent{};
        if (GetTextExtentPoint32W(canvas.Handle(), wide.c_str(), int(wide.size()), &extent) && extent.cy > 0) {
            text.Top += (text.Bottom - text.Top - extent.cy) / 2;
            text.Bottom = text.Top + extent.cy;
        }
        const UINT align = captionAlignment_ == tw::taCenter        ? DT_CENTER
                           : captionAlignment_ == tw::taRightJustify ? DT_RIGHT
                                                                     : DT_LEFT;
        WriteSectionText(&canvas, caption.c_str(), true, text,
                         align | DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX,
                         sm->GetSkinIndex(titleSection), formActive_, sm);
    }
}

void TsSkinProvider::SaveTitleBackground(int height)
{
    if (!ncCache_)
        return;
    const int width = ncCache_->Width();
    titleBg_ = std::make_unique<tw::TBitmap>(width, height, tw::pf24bit);
    BitBlt(titleBg_->Canvas().Handle(), 0, 0, width, height, ncCache_->Canvas().Handle(), 0, 0, SRCCOPY);
}

void TsSkinProvider::SaveButtonsBackground(int height)
{
    buttonsBg_.reset();
    if (!ncCache_)
        return;
    const int cacheWidth = ncCache_->Width();
    const int width = std::min(layoutIn_.RightBorder + TitleButtonsWidth(layoutIn_) + 10, cacheWidth - 1);
    height = std::min(height, ncCache_->Height());
    if (width <= 0 || height <= 0)
        return;
    buttonsBg_ = std::make_unique<tw::TBitmap>(width, height, ncCache_->PixelFormat());
    BitBlt(buttonsBg_->Canvas().Handle(), 0, 0, width, height, ncCache_->Canvas().Handle(), cacheWidth - width - 1, 0,
           SRCCOPY);
}

void TsSkinProvider::RestoreButtonsBackground()
{
    if (!ncCache_ || !buttonsBg_)
        return;
    const int x = ncCache_->Width() - buttonsBg_->Width() - 1;
    if (x < 0)
        return;
    BitBlt(ncCache_->Canvas().Handle(), x, 0, buttonsBg_->Width(), buttonsBg_->Height(), buttonsBg_->Canvas().Handle(),
           0, 0, SRCCOPY);
}

TRect TsSkinProvider::DrawButton(int code, int forced)
{
    TsSkinManager* sm = SkinManager();
    HWND wnd = form_->Handle();
    const TPixelView view = ncCache_->PixelView();
    const TCacheInfo ci = MakeCacheInfo(view, 0, 0);
    const TSysMenuState menu = layoutIn_.Menu;
    TRect r;
    bool enabled = true;
    int mask = -1;
    // The restore picture replaces maximize on a zoomed form and minimize on
    // an iconic one; the others are the records' own.
    const char* restore = nullptr;
    switch (code) {
    case htClose:
        break;
    case htMaxButton:
        if (IsZoomed(wnd))
            restore = "BICONNORM", enabled = menu.EnabledRestore;
        else
            enabled = menu.EnabledMax;
        break;
    case htMinButton:
        if (IsIconic(wnd))
            restore = "BICONNORM", enabled = menu.EnabledRestore;
        else
            enabled = menu.EnabledMin;
        break;
    case htHelp:
        break;
    default: {
        const int i = code - htUserButton;
        if (i < 0 || i >= titleButtons_.Count() || size_t(i) >= buttons_.User.size())
            return TRect();
        const TsTitleButton& b = titleButtons_.Items(i);
        r = buttons_.User[size_t(i)];
        enabled = b.Enabled;
        mask = b.ImageIndex;
        break;
    }
    }
    if (const TsCaptionButton* b = ButtonByHitCode(code)) {
        r = b->Rect;
        mask = b->ImageIndex;
    }
    if (r.Right <= r.Left || r.Bottom <= r.Top)
        return TRect();
    // The title strip behind it first, so a state drawn before leaves nothing.
    if (titleBg_)
        BitBlt(ncCache_->Canvas().Handle(), r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top,
               titleBg_->Canvas().Handle(), r.Left, r.Top, SRCCOPY);
    if (restore)
        mask = MaskIndex(restore);
    if (restore && !sm->MaskIndexValid(mask))
        // The restore picture may be the form section's own.
        mask = sm->GetMaskIndex(skinData_->SkinIndex, skinData_->SkinSection(), restore);
    else if (!sm->MaskIndexValid(mask) && code == htMaxButton && IsIconic(wnd))
        // So may a minimized form's maximize picture.
        mask = sm->GetMaskIndex(skinData_->SkinIndex, skinData_->SkinSection(),
                                layoutIn_.Large ? "BICONMAX" : "SICONMAX");
    int state = forced >= 0 ? forced : ButtonState(code);
    if (!enabled)
        state = 0;
    if (forced < 0)
        state = PaintedButtonState(Fx(code), state);
    if (sm->MaskIndexValid(mask)) {
        const int row = (!formActive_ || !enabled) && state == 0 ? 2 : 1;
        DrawMaskGlyph(view, TPoint(r.Left, r.Top), state, row, sm->ma[size_t(mask)], ci);
    }
    if (code >= htUserButton) {
        PaintUserGlyph(*ncCache_, titleButtons_.Items(code - htUserButton), r, state);
    }
    return r;
}

TRect TsSkinProvider::ButtonRect(int code) const
{
    if (const TsCaptionButton* b = const_cast<TsSkinProvider*>(this)->ButtonByHitCode(code))
        return b->Rect;
    if (code >= htUserButton && size_t(code - htUserButton) < buttons_.User.size())
        return buttons_.User[size_t(code - htUserButton)];
    return TRect();
}

int TsSkinProvider::ButtonState(int code) const { return hotCode_ == code ? (pressed_ ? 2 : 1) : 0; }

TsCaptionButton* TsSkinProvider::ButtonByHitCode(int code)
{
    const int slot = SystemButtonSlot(code);
    return slot < 0 ? nullptr : &captionButtons_[slot];
}

TacButtonFx* TsSkinProvider::Fx(int code)
{
    if (TsCaptionButton* b = ButtonByHitCode(code))
        return &b->Fx;
    if (code >= htUserButton && code - htUserButton < titleButtons_.Count())
        return &titleButtons_.Items(code - htUserButton).Fx;
    return nullptr;
}

const TacButtonFx* TsSkinProvider::ButtonFx(int code) const { return const_cast<TsSkinProvider*>(this)->Fx(code); }

bool TsSkinProvider::FadesButton(const TacButtonFx& fx, int state) const
{
    return CaptionFadeAllowed(SkinManager(), borderForm_ != nullptr, fx.State, state);
}

void TsSkinProvider::RepaintButton(int code)
{
    TacButtonFx* fx = Fx(code);
    const int state = ButtonState(code);
    if (!skinned_ || !drawNonClient_ || changeLocked_ || !ncCache_ || captionDirty_ || skinData_->BGChangedFlag ||
        !Showing()) {
        // The whole frame is drawn again: a fade would blend old pictures.
        if (fx) {
            FreeBtnAnimation(fx->Animation);
            fx->State = state;
            if (state == 0)
                HideButtonGlow(*fx);
        }
        PaintNonClient();
        return;
    }
    if (fx && FadesButton(*fx, state)) {
        fx->State = state;
        const TacSBAnimationOwner owner{this, this, borderForm_.get(), form_->Handle(), skinData_.get()};
        // Hot in ten steps, pressed at once, and back without restarting.
        StartBtnAnimation(*fx, code, state, state == 2 ? 1 : 10, owner, state != 0);
        return;
    }
    if (fx) {
        FreeBtnAnimation(fx->Animation);
        fx->State = state;
    }
    const TRect r = DrawButton(code);
    if (fx && state != 0)
        ShowButtonGlow(code, *fx);
    PutButton(r);
}

void TsSkinProvider::PutButton(const TRect& r)
{
    if (r.Right <= r.Left || r.Bottom <= r.Top || !ncCache_ || changeLocked_ || !Showing() || AnimPaintDC)
        return;
    if (ExtActive()) {
        // The buttons lie on the extended border's title.
        UpdateBorderWindow(borderForm_->Alpha());
        return;
    }
    HWND wnd = form_->Handle();
    HDC dc = GetWindowDC(wnd);
    if (!dc)
        return;
    const int saved = SaveDC(dc);
    BitBlt(dc, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, ncCache_->Canvas().Handle(), r.Left, r.Top, SRCCOPY);
    RestoreDC(dc, saved);
    ReleaseDC(wnd, dc);
}

namespace {

// A piece of a picture as a bitmap of its own.
void CopyPiece(tw::TBitmap& from, const TRect& r, tw::TBitmap& out)
{
    out.SetPixelFormat(tw::pf24bit);
    out.SetSize(r.Right - r.Left, r.Bottom - r.Top);
    BitBlt(out.Canvas().Handle(), 0, 0, out.Width(), out.Height(), from.Canvas().Handle(), r.Left, r.Top, SRCCOPY);
}

bool OnPicture(const TRect& r, const tw::TBitmap* bmp)
{
    return bmp && r.Right > r.Left && r.Bottom > r.Top && r.Left >= 0 && r.Top >= 0 && r.Right <= bmp->Width() &&
           r.Bottom <= bmp->Height();
}

} // namespace

bool TsSkinProvider::ButtonPicture(int code, int state, tw::TBitmap& out)
{
    const TRect r = ButtonRect(code);
    if (!skinned_ || !OnPicture(r, ncCache_.get()))
        return false;
    // Drawn into the frame picture and taken out again; the picture keeps
    // what the title shows.
    tw::TBitmap keep;
    CopyPiece(*ncCache_, r, keep);
    DrawButton(code, state);
    CopyPiece(*ncCache_, r, out);
    BitBlt(ncCache_->Canvas().Handle(), r.Left, r.Top, keep.Width(), keep.Height(), keep.Canvas().Handle(), 0, 0,
           SRCCOPY);
    return true;
}

bool TsSkinProvider::ShownButtonPicture(int code, tw::TBitmap& out)
{
    const TRect r = ButtonRect(code);
    if (!skinned_ || !OnPicture(r, ncCache_.get()))
        return false;
    CopyPiece(*ncCache_, r, out);
    return true;
}

void TsSkinProvider::ShowButtonPicture(int code, tw::TBitmap& picture)
{
    TRect r = ButtonRect(code);
    if (!skinned_ || !OnPicture(r, ncCache_.get()))
        return;
    // A frame made before the title was laid out again covers no more than it did.
    r.Right = r.Left + std::min(r.Right - r.Left, picture.Width());
    r.Bottom = r.Top + std::min(r.Bottom - r.Top, picture.Height());
    BitBlt(ncCache_->Canvas().Handle(), r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, picture.Canvas().Handle(),
           0, 0, SRCCOPY);
    PutButton(r);
}

void TsSkinProvider::ButtonGlow(int code, bool show)
{
    TacButtonFx* fx = Fx(code);
    if (!fx)
        return;
    if (show)
        ShowButtonGlow(code, *fx);
    else
        HideButtonGlow(*fx);
}

void TsSkinProvider::ButtonFadeEnded(int code)
{
    if (!skinned_ || !ncCache_)
        return;
    PutButton(DrawButton(code));
}

void TsSkinProvider::ShowButtonGlow(int code, TacButtonFx& fx)
{
    if (!Showing())
        return;
    HWND wnd = form_->Handle();
    const TRect r = ButtonRect(code);
    RECT wr;
    GetWindowRect(wnd, &wr);
    if (ExtActive()) {
        // The button lies on the extended border's title.
        const TRect f = ExtendedFrame();
        wr.left -= f.Left;
        wr.top -= f.Top;
    }
    const TRect screen(wr.left + r.Left, wr.top + r.Top, wr.left + r.Right, wr.top + r.Bottom);
    HWND host = form_->Parent() ? form_->Parent()->HandleIfAllocated() : wnd;
    ShowCaptionGlow(fx, SkinManager(), TCaptionGlyph{code, layoutIn_.Large, IsZoomed(wnd) != 0, IsIconic(wnd) != 0},
                    screen, host);
}

void TsSkinProvider::HideButtonGlow(TacButtonFx& fx) { HideCaptionGlow(fx); }

void TsSkinProvider::FreeButtonAnimations()
{
    for (TsCaptionButton& b : captionButtons_) {
        TacButtonFx& fx = b.Fx;
        FreeBtnAnimation(fx.Animation);
        HideButtonGlow(fx);
        fx.State = 0;
    }
    for (int i = 0; i < titleButtons_.Count(); ++i) {
        TacButtonFx& fx = titleButtons_.Items(i).Fx;
        FreeBtnAnimation(fx.Animation);
        HideButtonGlow(fx);
        fx.State = 0;
    }
}

void TsSkinProvider::ButtonUp(int code, LPARAM lp)
{
    const bool was = pressed_ && hotCode_ == code;
    pressed_ = false;
    if (was && code == htClose)
        // The form goes: the button is left as it is on the screen.
        SetHotButton(0, false);
    else if (was)
        // The command runs with no button hot (help takes the mouse, a
        // minimized form has no pointer over it); the next move over the
        // button makes it hot again.
        SetHotButton(0);
    else if (IsButtonCode(code))
        RepaintButton(code);
    if (!was)
        return;
    HWND wnd = form_->Handle();
    if (code >= htUserButton) {
        const int i = code - htUserButton;
        if (i < titleButtons_.Count()) {
            TsTitleButton& b = titleButtons_.Items(i);
            b.State = 0;
            if (b.OnMouseUp)
                b.OnMouseUp(b, 0, PointOf(lp));
        }
        return;
    }
    WPARAM command = 0;
    switch (code) {
    case htClose: command = SC_CLOSE; break;
    case htMaxButton: command = IsZoomed(wnd) || IsIconic(wnd) ? SC_RESTORE : SC_MAXIMIZE; break;
    case htMinButton:
        // The main form's minimize takes the whole program down with it;
        // minimized, every form's button shows the restore glyph.
        if (IsIconic(wnd)) {
            command = SC_RESTORE;
        } else {
            command = SC_MINIMIZE;
            if (tw::Application && tw::Application->MainForm() == form_)
                skinData_->BGChangedFlag = true;
        }
        break;
    case htHelp: command = SC_CONTEXTHELP; break;
    default: return;
    }
    // Posted: closing may free the form, and with it this provider, while
    // its own message is still being handled.
    PostMessageW(wnd, WM_SYSCOMMAND, command, lp);
}

} // namespace skin
