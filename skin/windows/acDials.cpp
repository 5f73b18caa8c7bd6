#include "skin/windows/acDials.h"

#include <windowsx.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/WinText.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/engine/painting/ItemPainting.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acDialogChildren.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSkinProvider.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/Graphics.h"
#include "ui/Menus.h"

namespace skin {

namespace {

constexpr const wchar_t* kAdapterProperty = L"ACSBSC";
// The procedure an adapter found when it took the window over. It outlives
// the adapter while the adapter's procedure cannot leave the chain (another
// subclasser sits above it): the messages that still pass through go on to
// it, and the window's own clean-up at WM_NCDESTROY still runs.
constexpr const wchar_t* kSavedProcProperty = L"ACSBSCPROC";

// 1 while AdaptDialogChild makes an adapter: edit-like adapters then know
// they sit in a foreign dialog.
bool g_dialogChildFlag = false;

// Slots are never erased while the hook is there; a provider that goes
// leaves an empty slot, which every walk skips.
std::vector<std::unique_ptr<TacProvider>>& ProviderList()
{
    static std::vector<std::unique_ptr<TacProvider>> list;
    return list;
}

std::string ClassNameOf(HWND wnd)
{
    char name[128] = {};
    const int n = GetClassNameA(wnd, name, sizeof(name));
    return std::string(name, size_t(std::max(n, 0)));
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool Has(LONG_PTR style, LONG_PTR mask) { return (style & mask) == mask; }

// The menu adapters the hook made: the array as the hook hands them out, and
// the ones whose windows still live (freed once their window has ended).
std::vector<std::shared_ptr<TacMnuWnd>>& MenuArray()
{
    static std::vector<std::shared_ptr<TacMnuWnd>> list;
    return list;
}

std::vector<std::shared_ptr<TacMnuWnd>>& LivingMenuAdapters()
{
    static std::vector<std::shared_ptr<TacMnuWnd>> list;
    return list;
}

void SweepEndedMenuAdapters()
{
    auto& living = LivingMenuAdapters();
    living.erase(std::remove_if(living.begin(), living.end(), [](const auto& a) { return a->Unsubclassed(); }),
                 living.end());
}


tw::TCustomForm* FindFormByHandle(HWND wnd)
{
    for (int i = 0; i < tw::Screen->FormCount(); ++i) {
        tw::TCustomForm* f = tw::Screen->Forms(i);
        if (f->HandleIfAllocated() == wnd)
            return f;
    }
    return nullptr;
}

int MaskOf(const TsSkinManager* sm, const char* name)
{
    return sm->GetMaskIndex(sm->ConstData.IndexGlobalInfo, "GLOBALINFO", name);
}

} // namespace

int VisibleDialogCount()
{
    int n = 0;
    for (const auto& p : ProviderList())
        if (p && p->DialogAdapter && IsWindowVisible(p->DialogAdapter->Handle()))
            ++n;
    return n;
}

// ---------------------------------------------------------------------------
// TacMainWnd

TacMainWnd::TacMainWnd(HWND wnd, TsSkinManager* manager, const std::string& section, const char* kind,
                       TsCommonData* skinData)
    : manager_(manager                                  ? manager
               : skinData && skinData->SkinManager() ? skinData->SkinManager()
                                                     : DefaultManager),
      section_(section), wnd_(wnd), kind_(kind)
{
    if (skinData) {
        skinData_ = skinData;
    } else {
        ownSkinData_ = std::make_unique<TsCommonData>(nullptr, false);
        ownSkinData_->SetSkinManager(manager_);
        skinData_ = ownSkinData_.get();
    }
    if (skinData_->SkinSection().empty() && !section.empty())
        skinData_->SetSkinSection(section);
    DialogChild = g_dialogChildFlag;
    TakeOver();
    SetPropW(wnd_, kAdapterProperty, this);
    if (tw::TWinControl* control = tw::TWinControl::FromHandle(wnd_)) {
        SwapWindowProc(control);
        return;
    }
    if (HANDLE left = GetPropW(wnd_, kSavedProcProperty)) {
        // An earlier adapter's procedure is still in the chain, under another
        // subclasser: this one takes that place instead of entering the chain
        // a second time (the upper subclasser would lead back to it forever).
        saved_ = reinterpret_cast<WNDPROC>(left);
        return;
    }
    saved_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(wnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    SetPropW(wnd_, kSavedProcProperty, reinterpret_cast<HANDLE>(saved_));
}

// What a class-library control's WindowProc leads to while an adapter has
// it. It outlives the adapter when another subclasser swapped the
// WindowProc after it: the adapter's method then stays in that chain and
// passes every message on.
struct TacMainWnd::MethodLink {
    TacMainWnd* Adapter = nullptr;
    tw::TWinControl* Control = nullptr;
    tw::TWndMethod Saved;
};

struct TacMainWnd::AdapterMethod {
    std::shared_ptr<MethodLink> Link;
    void operator()(tw::TMessage& m) const
    {
        // Giving the WindowProc back replaces this very method object: the
        // link is kept alive here until the message has gone on.
        const std::shared_ptr<MethodLink> keep = Link;
        TacMainWnd* self = keep->Adapter;
        if (!self) {
            keep->Saved(m);
            return;
        }
        if (m.Msg == WM_DESTROY || m.Msg == WM_NCDESTROY) {
            // The window ends: the control's own method hears its last
            // messages; the owner frees the adapter later.
            self->WindowEnds();
            self->Unsubclass(false);
            keep->Saved(m);
            return;
        }
        if (keep->Control->HandleIfAllocated() != self->wnd_) {
            // The class library destroyed the adapter's window without a
            // word (the control made a new one): the adapter has ended, as
            // it would with a window procedure of its own.
            self->WindowEnds();
            self->Unsubclass(false);
            const AdapterMethod* top = keep->Control->WindowProc.target<AdapterMethod>();
            if (top && top->Link == keep)
                keep->Control->WindowProc = keep->Saved;
            keep->Saved(m);
            return;
        }
        if (m.Msg == SM_ALPHACMD && ForeignSkinPointer(m.WParam, m.LParam)) {
            m.Result = 0;
            return;
        }
        m.Result = self->AdapterWndProc(m.Msg, m.WParam, m.LParam);
    }
};

void TacMainWnd::SwapWindowProc(tw::TWinControl* control)
{
    methodLink_ = std::make_shared<MethodLink>();
    methodLink_->Adapter = this;
    methodLink_->Control = control;
    if (control->WindowProc)
        methodLink_->Saved = control->WindowProc;
    else
        methodLink_->Saved = [control](tw::TMessage& m) { control->WndProc(m); };
    control->WindowProc = AdapterMethod{methodLink_};
}

void TacMainWnd::RestoreWindowProc()
{
    methodLink_->Adapter = nullptr;
    if (!IsWindow(wnd_))
        return;
    // Only while the adapter's method is still on top: under another
    // subclasser it stays in the chain and passes messages through.
    tw::TWinControl* control = tw::TWinControl::FromHandle(wnd_);
    if (!control)
        return;
    const AdapterMethod* top = control->WindowProc.target<AdapterMethod>();
    if (top && top->Link == methodLink_)
        control->WindowProc = methodLink_->Saved;
}

TacMainWnd::~TacMainWnd() { Unsubclass(true); }

TacMainWnd* TacMainWnd::Of(HWND wnd) { return static_cast<TacMainWnd*>(GetPropW(wnd, kAdapterProperty)); }

void TacMainWnd::Unsubclass(bool repaint)
{
    if (unsubclassed_ || (!saved_ && !methodLink_))
        return;
    unsubclassed_ = true;
    if (methodLink_)
        RestoreWindowProc();
    if (!IsWindow(wnd_))
        return;
    // On top of the chain the window gets its procedure back; under another
    // subclasser the adapter's procedure stays and passes every message on
    // to the saved one (kSavedProcProperty) until the window ends.
    // A later adapter that took over this one's place keeps it.
    const bool place = Of(wnd_) == this || !Of(wnd_);
    if (saved_ && place && GetWindowLongPtrW(wnd_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&Proc)) {
        SetWindowLongPtrW(wnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved_));
        RemovePropW(wnd_, kSavedProcProperty);
    }
    if (Of(wnd_) == this)
        RemovePropW(wnd_, kAdapterProperty);
    ReleaseMark();
    RestoreColors();
    if (repaint && IsWindowVisible(wnd_))
        RedrawWindow(wnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

LRESULT TacMainWnd::CallSaved(UINT msg, WPARAM wp, LPARAM lp)
{
    if (methodLink_) {
        tw::TMessage m{msg, wp, lp, 0};
        methodLink_->Saved(m);
        return m.Result;
    }
    return saved_ ? CallWindowProcW(saved_, wnd_, msg, wp, lp) : DefWindowProcW(wnd_, msg, wp, lp);
}

void TacMainWnd::KeepOwnLinkCurrent(WPARAM wp, LPARAM lp)
{
    if (!ownSkinData_)
        return;
    switch (SkinCommandOf(wp)) {
    case AC_SKINLOADED:
    case AC_SKINREMOVED:
    case AC_SKINREFRESH: {
        tw::TMessage m{SM_ALPHACMD, wp, lp, 0};
        CommonMessage(m, ownSkinData_.get());
        break;
    }
    default:
        break;
    }
}

LRESULT TacMainWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == SM_ALPHACMD)
        KeepOwnLinkCurrent(wp, lp);
    if (msg == SM_ALPHACMD && SkinCommandOf(wp) == AC_QUERYSKINNED)
        return 1;
    if (LRESULT answer = 0; msg == SM_ALPHACMD && AnswerSkinCommand(SkinCommandOf(wp), wp, lp, answer))
        return answer;
    return CallSaved(msg, wp, lp);
}

LRESULT CALLBACK TacMainWnd::Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    TacMainWnd* self = Of(wnd);
    if (!self) {
        // The adapter is gone but its procedure is still chained.
        const auto saved = reinterpret_cast<WNDPROC>(GetPropW(wnd, kSavedProcProperty));
        if (msg == WM_NCDESTROY)
            RemovePropW(wnd, kSavedProcProperty);
        return saved ? CallWindowProcW(saved, wnd, msg, wp, lp) : DefWindowProcW(wnd, msg, wp, lp);
    }
    if (msg == WM_DESTROY || msg == WM_NCDESTROY) {
        // The window ends: it gets its own procedure back for its last
        // messages, and the hook frees the adapter later.
        self->WindowEnds();
        const WNDPROC saved = self->saved_;
        self->Unsubclass(false);
        if (msg == WM_NCDESTROY)
            RemovePropW(wnd, kSavedProcProperty);
        return saved ? CallWindowProcW(saved, wnd, msg, wp, lp) : DefWindowProcW(wnd, msg, wp, lp);
    }
    if (msg == SM_ALPHACMD && ForeignSkinPointer(wp, lp))
        return 0;
    try {
        return self->AdapterWndProc(msg, wp, lp);
    } catch (...) {
        // Nothing may unwind through the system's window procedure, and
        // nothing disappears: the application reports it. The message is
        // not handed on again, the saved procedure may have had it already.
        tw::Application->HandleException(nullptr);
        return 0;
    }
}

// ---------------------------------------------------------------------------
// TacDialogWnd

TacDialogWnd::TacDialogWnd(HWND wnd, TsSkinManager* manager)
    : TacScrollWnd(wnd, manager, "DIALOG", "TacDialogWnd")
{
    // From version 7 on the system paints a dialog's client itself; only
    // dialogs with fields (which clear the flag) are painted by their own
    // procedure.
    PaintSuppressed = PlatformAnswers().MajorVersion() >= 7;
    style_ = GetWindowLongPtrW(wnd, GWL_STYLE);
    exStyle_ = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
    sysMenu_ = std::make_unique<TacSystemMenu>(nullptr, this);
    sysMenu_->UpdateItems();
    skinActive_ = true;
    if (DwmCompositionEnabled())
        SetDwmTransitions(wnd, true);
    if (manager_ && manager_->SkinnedPopups())
        if (TsSkinableMenus* menus = TsSkinableMenus::Of(manager_); menus && menus->Active())
            menus->PrepareMenu(sysMenu_.get(), true);
}

TacDialogWnd::~TacDialogWnd()
{
    FreeButtonAnimations();
    // A halo of this dialog's buttons must not stay on the screen.
    ClearGlows();
    SetExtendedBorders(false);
    const HWND wnd = Handle();
    const bool ends = Unsubclassed();
    Unsubclass(false);
    if (!ends && IsWindow(wnd)) {
        if (sysMenuRemoved_)
            SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | WS_SYSMENU);
        InitializeFlatScrollBars(wnd);
        // The system's frame back, with nothing of the skin left.
        SetWindowRgn(wnd, nullptr, FALSE);
        SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }
    if (clientBrush_)
        DeleteObject(clientBrush_);
}

void TacDialogWnd::InitDialogState()
{
    const HWND wnd = Handle();
    // Taken again, a copy keeps the system menu this adapter took away.
    style_ = GetWindowLongPtrW(wnd, GWL_STYLE) | (sysMenuRemoved_ ? LONG_PTR(WS_SYSMENU) : 0);
    exStyle_ = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
    if ((style_ & WS_POPUP) && !Has(style_, WS_CAPTION))
        borderKind_ = 2;
    else if (style_ & WS_THICKFRAME)
        borderKind_ = 3;
    else if (style_ & DS_MODALFRAME)
        borderKind_ = 0;
    else
        borderKind_ = 3;
    // The title shows the window's small icon, else its big one made small.
    iconHandle_ = reinterpret_cast<HICON>(SendMessageW(wnd, WM_GETICON, ICON_SMALL, 0));
    if (!iconHandle_)
        iconHandle_ = reinterpret_cast<HICON>(SendMessageW(wnd, WM_GETICON, ICON_BIG, 0));
    iconBitmap_.reset();
    if (iconHandle_) {
        const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
        iconBitmap_ = std::make_unique<tw::TBitmap>(cx, cy, tw::pf24bit);
        const RECT all{0, 0, cx, cy};
        TSolidBrush key;
        FillRect(iconBitmap_->Canvas().Handle(), &all, key.Of(RGB(255, 0, 255)));
        DrawTitleIcon(iconBitmap_->Canvas().Handle(), TRect(0, 0, cx, cy));
    }
    captionFont_.reset();
    if (HFONT font = CreateCaptionFont()) {
        LOGFONTW lf{};
        GetObjectW(font, sizeof(lf), &lf);
        DeleteObject(font);
        lf.lfWeight = FW_BOLD;
        if (HFONT bold = CreateFontIndirectW(&lf))
            captionFont_ = std::make_unique<TGdiObject>(bold);
    }
    if (sysMenu_)
        sysMenu_->UpdateItems();
    // Without a system menu the system draws no caption buttons of its own
    // (a repaint of the frame it runs on its own would show them over the
    // skin's); the buttons and the menu go by the copies taken above.
    if (const LONG_PTR live = GetWindowLongPtrW(wnd, GWL_STYLE); live & WS_SYSMENU) {
        SetWindowLongPtrW(wnd, GWL_STYLE, live & ~LONG_PTR(WS_SYSMENU));
        sysMenuRemoved_ = true;
    }
}

bool TacDialogWnd::MaximizeEnabled() const
{
    return (style_ & WS_MAXIMIZEBOX) && !IsZoomed(Handle()) &&
           (borderKind_ == 1 || borderKind_ == 3 || borderKind_ == 5);
}

bool TacDialogWnd::RestoreEnabled() const
{
    return (style_ & WS_MAXIMIZEBOX) && (IsIconic(Handle()) || IsZoomed(Handle()));
}

bool TacDialogWnd::MinimizeEnabled() const { return (style_ & WS_MINIMIZEBOX) && !IsIconic(Handle()); }

bool TacDialogWnd::CloseEnabled() const { return !(GetClassLongPtrW(Handle(), GCL_STYLE) & CS_NOCLOSE); }

bool TacDialogWnd::SkinShown() const
{
    return manager_ && manager_->Active() && manager_->SkinIndexValid(manager_->GetSkinIndex("DIALOG"));
}

void TacDialogWnd::SetExtendedBorders(bool on)
{
    if (on && manager_ && !(manager_->ComponentState() & tw::csDesigning)) {
        if (!borderForm_) {
            borderForm_ = std::make_unique<TacBorderForm>(Handle(), manager_);
            borderForm_->SkinData = SkinData();
            // The border window shows the dialog's own picture: the frame,
            // title and buttons with the border around them.
            borderForm_->OnBuildPicture = [this](tw::TPixelImage& picture, bool) { CopyCacheTo(picture); };
            borderForm_->OnFrameExtent = [this] { return ExtendedActive() ? FrameExtent() : TRect(); };
            borderForm_->OnTitleHitTest = [this](POINT p) { return BorderTitleHitTest(p); };
            // The picture is made again at 32 bits with the margins, and the
            // dialog keeps only its client.
            cache_.reset();
            titleBg_.reset();
            regionSize_ = {-1, -1};
        }
        UpdateBorderWindow();
        return;
    }
    if (!borderForm_)
        return;
    borderForm_.reset();
    // The dialog draws its frame again, in a picture of its own size.
    cache_.reset();
    titleBg_.reset();
    regionSize_ = {-1, -1};
}

void TacDialogWnd::UpdateBorderWindow()
{
    if (!borderForm_ || !IsWindowVisible(Handle()))
        return;
    borderForm_->SetActive(active_);
    // Without layered windows there is nothing to show it with: the dialog
    // takes its frame back.
    if (!borderForm_->UpdateBorderWindow(true)) {
        SetExtendedBorders(false);
        UpdateRegion();
        RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
    }
}

bool TacDialogWnd::ExtendedActive() const
{
    // A zoomed or minimized dialog has no border window (it is hidden then).
    return borderForm_ && !IsZoomed(Handle()) && !IsIconic(Handle()) && SkinShown();
}

bool TacDialogWnd::UseExt() const { return ExtendedActive() && manager_->SkinData.BorderMode == 1; }

int TacDialogWnd::CaptionHeight() const
{
    const HWND wnd = Handle();
    if (!Has(style_, WS_CAPTION) && !IsIconic(wnd))
        return 0;
    if (borderForm_ && manager_ && manager_->SkinData.TitleHeight != 0)
        return manager_->SkinData.TitleHeight;
    return GetSystemMetrics(SM_CYCAPTION);
}

TRect TacDialogWnd::FrameExtent() const
{
    if (!borderForm_ || !manager_)
        return TRect();
    const HWND wnd = Handle();
    RECT wr;
    GetWindowRect(wnd, &wr);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    const int sysBorder = origin.x - wr.left, sysTop = origin.y - wr.top;
    const int skinBorder = manager_->SkinData.BorderWidth != 0 ? int(manager_->SkinData.BorderWidth) : sysBorder;
    const int dx = skinBorder - sysBorder;
    // The skin's title height holds its top border; without it the
    // system's caption below the skin's border.
    int strip = sysTop + dx;
    if (Has(style_, WS_CAPTION) && manager_->SkinData.TitleHeight != 0)
        strip = CaptionHeight();
    return TRect(dx, strip - sysTop, dx, dx);
}

void TacDialogWnd::CopyCacheTo(tw::TPixelImage& picture)
{
    const TPixelView& dst = picture.View();
    for (int y = 0; y < dst.Height; ++y)
        std::memset(dst.Row(y), 0, size_t(dst.Width) * 4);
    if (!ExtendedActive() || (!CacheFits() && !BuildCache()) || !cache_)
        return;
    const TPixelView src = cache_->PixelView();
    if (src.BitsPerPixel != 32 || src.Width != dst.Width || src.Height != dst.Height)
        return;
    for (int y = 0; y < dst.Height; ++y)
        std::memcpy(dst.Row(y), src.Row(y), size_t(dst.Width) * 4);
}

void TacDialogWnd::OpaqueRect(TRect r)
{
    if (!cache_ || cache_->PixelFormat() != tw::pf32bit)
        return;
    const TPixelView v = cache_->PixelView();
    r = TRect(std::max(0, r.Left), std::max(0, r.Top), std::min(v.Width, r.Right), std::min(v.Height, r.Bottom));
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x)
            v.Pixel(x, y)[3] = 0xFF;
}

void TacDialogWnd::ComposeExtendedBorder(const TMeasures& ms, const tw::TBitmap& frame)
{
    const TsSkinManager& sm = *manager_;
    const TPixelView dst = cache_->PixelView();
    for (int y = 0; y < dst.Height; ++y)
        std::memset(dst.Row(y), 0, size_t(dst.Width) * 4);
    const bool useExt = UseExt();
    const TPixelImage* src = active_ ? sm.ExtBorderActive.get() : sm.ExtBorderInactive.get();
    if (src && src->View().Empty())
        src = nullptr;
    const TRect m = borderForm_->Margins();
    // The pieces of the border picture: the extended-border mask's own
    // borders when the skin draws the whole frame with it, else the
    // margins widened by the form offset.
    TRect pieces(m.Left + sm.SkinData.FormOffset, m.Top + sm.SkinData.FormOffset, m.Right + sm.SkinData.FormOffset,
                 m.Bottom + sm.SkinData.FormOffset);
    if (useExt && sm.MaskIndexValid(sm.ConstData.ExBorder)) {
        const TsMaskData& x = sm.ma[size_t(sm.ConstData.ExBorder)];
        pieces = TRect(x.WL, x.WT, x.WR, x.WB);
    }
    const TRect whole(0, 0, dst.Width, dst.Height);
    const TRect from = src ? TRect(0, 0, src->Width(), src->Height()) : TRect();
    // A border picture smaller than its pieces: each piece takes less than
    // half of the picture, so the sides keep something to stretch.
    if (src) {
        const int w = std::max(0, (src->Width() - 1) / 2), h = std::max(0, (src->Height() - 1) / 2);
        pieces = TRect(std::min<int>(pieces.Left, w), std::min<int>(pieces.Top, h), std::min<int>(pieces.Right, w),
                       std::min<int>(pieces.Bottom, h));
    }
    const int stretched[4] = {1, 1, 1, 1};
    // Without BORDERMODE 1 the border lies under the frame, which stays
    // whole; the skin's cut corners show it.
    if (src && !useExt)
        StretchBmpByMargins(dst, src->View(), whole, from, pieces, pieces, stretched, 1, false);
    // The frame itself, opaque; its key-coloured pixels (the cut corners)
    // keep what lies under them.
    const TPixelView f = const_cast<tw::TBitmap&>(frame).PixelView();
    const int fb = f.BytesPerPixel();
    for (int y = 0; y < f.Height; ++y) {
        const int py = ms.FrameOrg.Y + y;
        if (py < 0 || py >= dst.Height)
            continue;
        for (int x = 0; x < f.Width; ++x) {
            const int px = ms.FrameOrg.X + x;
            if (px < 0 || px >= dst.Width)
                continue;
            const uint8_t* in = f.Row(y) + x * fb;
            if (!useExt && src && in[0] == 0xFF && in[1] == 0x00 && in[2] == 0xFF)
                continue;
            uint8_t* out = dst.Pixel(px, py);
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 0xFF;
        }
    }
    if (!src)
        return;
    if (useExt) {
        // The border picture is the frame: over all of it but the middle.
        StretchBmpByMargins(dst, src->View(), whole, from, pieces, pieces, stretched, 1, false);
        return;
    }
    const int section = sm.GetSkinIndex("DIALOG");
    const int mask = sm.GetMaskIndex(section, "DIALOG", "BORDERSMASK");
    if (!sm.MaskIndexValid(mask))
        return;
    TPixelImage full(dst.Width, dst.Height, 32);
    StretchBmpByMargins(full.View(), src->View(), whole, from, pieces, pieces, stretched, 1, true);
    const TsMaskData& bm = sm.ma[size_t(mask)];
    const int left = ms.FrameOrg.X, top = ms.FrameOrg.Y;
    const int right = left + ms.Width, bottom = top + ms.Height;
    // The corners of the frame's border mask, with the mask's own piece
    // codes (top-left, top-right, bottom-left, bottom-right).
    const struct {
        TRect R;
        int Code;
    } corners[4] = {{TRect(left, top, left + bm.WL, top + bm.WT), 15},
                    {TRect(right - bm.WR, top, right, top + bm.WT), 14},
                    {TRect(left, bottom - bm.WB, left + bm.WL, bottom), 16},
                    {TRect(right - bm.WR, bottom - bm.WB, right, bottom), 17}};
    for (const auto& c : corners)
        CopyBGToKeyPixels(dst, full.View(), c.R, TPoint(c.R.Left, c.R.Top), mask, &sm, c.Code);
}

void TacDialogWnd::AdaptChildren()
{
    if (Provider && !Unsubclassed())
        AdaptDialogChildren(*Provider, Handle());
}

void TacDialogWnd::ClearHot()
{
    pressed_ = false;
    SetHot(0);
}

void TacDialogWnd::PopupSysMenu(int x, int y)
{
    if (!sysMenu_)
        return;
    ClearHot();
    sysMenu_->PopupAt(x, y);
}

TRect TacDialogWnd::IconRect(const TMeasures& ms) const
{
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    const int left = ms.Border + (manager_ ? manager_->SkinData.BILeft : 0);
    const int top = (ms.Border + ms.Title - cy) / 2;
    return TRect(left, top, left + cx, top + cy);
}

void TacDialogWnd::DrawTitleIcon(HDC dc, const TRect& r)
{
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    HICON copy = iconHandle_ ? static_cast<HICON>(CopyImage(iconHandle_, IMAGE_ICON, cx, cy, LR_COPYFROMRESOURCE))
                             : nullptr;
    if (copy) {
        DrawIconEx(dc, r.Left, r.Top, copy, cx, cy, 0, nullptr, DI_NORMAL);
        DestroyIcon(copy);
    } else {
        DrawIconEx(dc, r.Left, r.Top, LoadIconW(nullptr, IDI_APPLICATION), cx, cy, 0, nullptr, DI_NORMAL);
    }
}

TacDialogWnd::TMeasures TacDialogWnd::Measure() const
{
    TMeasures ms;
    const HWND wnd = Handle();
    RECT wr, cr;
    GetWindowRect(wnd, &wr);
    GetClientRect(wnd, &cr);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    const int left = origin.x - wr.left, top = origin.y - wr.top;
    ms.SysBorder = left;
    ms.SysTop = top;
    // Under the extended border the border window draws the skin's frame,
    // which may reach beyond the window, inside the border's margins.
    ms.Ext = ExtendedActive();
    const TRect f = ms.Ext ? FrameExtent() : TRect();
    const TRect m = ms.Ext ? borderForm_->Margins() : TRect();
    ms.Width = wr.right - wr.left + f.Left + f.Right;
    ms.Height = wr.bottom - wr.top + f.Top + f.Bottom;
    ms.FrameOrg = TPoint(m.Left, m.Top);
    ms.WindowOrg = TPoint(m.Left + f.Left, m.Top + f.Top);
    ms.CacheWidth = ms.Width + m.Left + m.Right;
    ms.CacheHeight = ms.Height + m.Top + m.Bottom;
    const int cl = left + ms.WindowOrg.X, ct = top + ms.WindowOrg.Y;
    ms.Client = TRect(cl, ct, cl + cr.right, ct + cr.bottom);
    ms.Border = left + f.Left;
    ms.Title = std::max(0, top + f.Top - ms.Border);
    return ms;
}

int TacDialogWnd::TitleMask(bool large, const char* bigName, const char* smallName) const
{
    // A small glyph the skin lacks (help, in most skins) comes from the big set.
    const int small = large ? -1 : MaskOf(manager_, smallName);
    return manager_->MaskIndexValid(small) ? small : MaskOf(manager_, bigName);
}

TCaptionLayoutInput TacDialogWnd::LayoutInput(const TMeasures& ms) const
{
    const HWND wnd = Handle();
    // The styles as the dialog had them: the window itself no longer has
    // WS_SYSMENU while it is skinned.
    const LONG_PTR style = style_;
    const LONG_PTR ex = exStyle_;
    TCaptionLayoutInput in;
    // Sizeable and plain frames take the big button set, fixed and popup
    // frames the small one (the big one when the skin has no small set).
    in.Large = borderKind_ == 1 || borderKind_ == 3;
    if (!in.Large && !manager_->MaskIndexValid(MaskOf(manager_, "SICONCLOSE")))
        in.Large = true;
    in.WindowWidth = ms.Width;
    in.RightBorder = ms.Border;
    in.SkinBorderWidth = ms.Border;
    in.TitleBarHeight = ms.Title;
    in.HasTitle = Has(style, WS_CAPTION);
    in.Zoomed = IsZoomed(wnd);
    in.Iconic = IsIconic(wnd);
    in.Help = (ex & WS_EX_CONTEXTHELP) != 0;
    in.BIRight = manager_->SkinData.BIRight;
    in.BISpace = manager_->SkinData.BISpace;
    in.BIVAlign = manager_->SkinData.BIVAlign;
    in.SysFrame = GetSystemMetrics(SM_CXFRAME);
    in.Menu.VisibleClose = (style & WS_SYSMENU) != 0;
    in.Menu.VisibleMax = (style & WS_MAXIMIZEBOX) != 0;
    in.Menu.VisibleMin = (style & WS_MINIMIZEBOX) || in.Iconic;
    in.Menu.EnabledMax = MaximizeEnabled();
    in.Menu.EnabledMin = MinimizeEnabled();
    in.Menu.EnabledRestore = RestoreEnabled();
    auto width = [&](const char* large, const char* small) {
        const int i = TitleMask(in.Large, large, small);
        return manager_->MaskIndexValid(i) ? MaskFrameWidth(manager_->ma[size_t(i)]) : 21;
    };
    in.CloseWidth = width("BICONCLOSE", "SICONCLOSE");
    in.MaxWidth = width("BICONMAX", "SICONMAX");
    in.MinWidth = width("BICONMIN", "SICONMIN");
    in.HelpWidth = width("BICONHELP", "SICONHELP");
    const int close = MaskOf(manager_, in.Large ? "BICONCLOSE" : "SICONCLOSE");
    in.ButtonHeight = manager_->MaskIndexValid(close) ? MaskFrameHeight(manager_->ma[size_t(close)]) : 21;
    return in;
}

TCaptionLayout TacDialogWnd::LayoutButtons(const TCaptionLayoutInput& li) const
{
    TCaptionLayout b = LayoutCaptionButtons(li);
    // BORDERMODE 1 centres the title's pieces by the skin's own offset.
    if (UseExt())
        for (TRect* r : {&b.Close, &b.Max, &b.Min, &b.Help})
            if (r->Right > r->Left) {
                r->Top += manager_->SkinData.CenterOffset;
                r->Bottom += manager_->SkinData.CenterOffset;
            }
    return b;
}

int TacDialogWnd::HitTest(LPARAM screenPoint)
{
    const HWND wnd = Handle();
    const TMeasures ms = Measure();
    const TCaptionLayoutInput li = LayoutInput(ms);
    buttons_ = LayoutButtons(li);
    frameOrg_ = ms.FrameOrg;
    windowOrg_ = ms.WindowOrg;
    THitTestInput in;
    in.Width = ms.Width;
    in.Height = ms.Height;
    in.Zoomed = li.Zoomed;
    in.Iconic = li.Iconic;
    in.Style = uint32_t(style_);
    in.BorderWidth = ms.Border;
    in.SysBorderWidth = ms.Border;
    in.TitleHeight = ms.Title;
    in.Help = li.Help;
    in.Menu = li.Menu;
    in.Buttons = buttons_;
    if (li.HasTitle)
        in.IconRect = IconRect(ms);
    RECT wr;
    GetWindowRect(wnd, &wr);
    // In the frame's coordinates (the skin's frame can reach beyond the window).
    const int dx = ms.WindowOrg.X - ms.FrameOrg.X, dy = ms.WindowOrg.Y - ms.FrameOrg.Y;
    return FormHitTest(in, TPoint(short(LOWORD(screenPoint)) - wr.left + dx, short(HIWORD(screenPoint)) - wr.top + dy));
}

COLORREF TacDialogWnd::TextColor() const
{
    const int i = manager_->GetSkinIndex("DIALOG");
    return manager_->SkinIndexValid(i) ? COLORREF(manager_->gd[size_t(i)].FontColor[0]) : GetSysColor(COLOR_BTNTEXT);
}

HBRUSH TacDialogWnd::Brush()
{
    return brush_.Of(COLORREF(manager_->GetGlobalColor()));
}

void TacDialogWnd::UpdateRegion()
{
    const HWND wnd = Handle();
    if (!SkinShown()) {
        // The system's frame, with no corner of the skin cut from it.
        if (regionSize_.cx != 0 || regionSize_.cy != 0)
            SetWindowRgn(wnd, nullptr, IsWindowVisible(wnd));
        regionSize_ = {0, 0};
        return;
    }
    // A caption-less popup keeps its square frame, unless it is minimized.
    if (borderKind_ == 2 && !IsIconic(wnd) && !(style_ & WS_THICKFRAME))
        return;
    // A window that sets its own region says so.
    if (SendMessageW(wnd, 0xBC4D, 0x41A2, 0) == 0x41A2)
        return;
    RECT wr;
    GetWindowRect(wnd, &wr);
    const SIZE size{wr.right - wr.left, wr.bottom - wr.top};
    const bool ext = ExtendedActive();
    if (size.cx == regionSize_.cx && size.cy == regionSize_.cy && ext == regionExt_)
        return;
    regionSize_ = size;
    regionExt_ = ext;
    if (ext) {
        // The border window shows the frame and title: the dialog keeps
        // what lies inside its own border only.
        RECT wr2;
        GetWindowRect(wnd, &wr2);
        POINT origin{0, 0};
        ClientToScreen(wnd, &origin);
        const int border = origin.x - wr2.left, top = origin.y - wr2.top;
        SetWindowRgn(wnd, CreateRectRgn(border, top, size.cx - border, size.cy - border), IsWindowVisible(wnd));
        return;
    }
    TRectList cut;
    const int section = manager_->GetSkinIndex("DIALOG");
    const int border = manager_->GetMaskIndex(section, "DIALOG", "BORDERSMASK");
    if (manager_->MaskIndexValid(border)) {
        const TsMaskData& mask = manager_->ma[size_t(border)];
        GetMaskTransRects(cut, size.cx, mask, 0, false);
        GetMaskTransRects(cut, size.cx, mask, size.cy - mask.WB, true);
    }
    // The title's own rounded corners are cut too.
    const int titleSection = manager_->GetSkinIndex("FORMTITLE");
    if (manager_->SkinIndexValid(titleSection)) {
        const int title = manager_->GetMaskIndex(titleSection, "FORMTITLE", "BORDERSMASK");
        if (manager_->MaskIndexValid(title))
            GetMaskTransRects(cut, size.cx, manager_->ma[size_t(title)], 0, false);
    }
    HRGN rgn = CreateRectRgn(0, 0, size.cx, size.cy);
    for (const TRect& r : cut) {
        HRGN piece = CreateRectRgn(r.Left, r.Top, r.Right, r.Bottom);
        CombineRgn(rgn, rgn, piece, RGN_DIFF);
        DeleteObject(piece);
    }
    SetWindowRgn(wnd, rgn, IsWindowVisible(wnd));
}

bool TacDialogWnd::CacheFits() const
{
    if (!cache_)
        return false;
    const TMeasures ms = Measure();
    return cache_->Width() == ms.CacheWidth && cache_->Height() == ms.CacheHeight &&
           cache_->PixelFormat() == (ms.Ext ? tw::pf32bit : tw::pf24bit);
}

void TacDialogWnd::PaintTitleText(tw::TBitmap& bmp, const TMeasures& ms, TPoint org, bool useExt)
{
    const HWND wnd = Handle();
    const int titleBottom = ms.Border + ms.Title;
    wchar_t text[512] = {};
    GetWindowTextW(wnd, text, 512);
    TRect icon = IconRect(ms);
    icon = TRect(icon.Left + org.X, icon.Top + org.Y, icon.Right + org.X, icon.Bottom + org.Y);
    DrawTitleIcon(bmp.Canvas().Handle(), icon);
    const int shift = useExt ? manager_->SkinData.CenterOffset : 0;
    const TRect r(icon.Right + 4, org.Y + ms.Border + shift, org.X + ms.Width - TitleButtonsWidth(layout_) - 6,
                  org.Y + titleBottom + shift);
    if (r.Right <= r.Left)
        return;
    // The caption in the system's caption font, made bold.
    HFONT font = captionFont_ ? static_cast<HFONT>(captionFont_->Get()) : nullptr;
    HGDIOBJ old = font ? SelectObject(bmp.Canvas().Handle(), font) : nullptr;
    const std::string caption = tw::WideToUtf8(text);
    WriteSectionText(&bmp.Canvas(), caption.c_str(), true, r,
                     DT_LEFT | DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX,
                     manager_->GetSkinIndex("FORMTITLE"), active_, manager_);
    if (old)
        SelectObject(bmp.Canvas().Handle(), old);
}

namespace {

// Copies r of src into dst at the same place, alpha and all.
void CopyPixels(const TPixelView& dst, const TPixelView& src, TRect r)
{
    r = TRect(std::max(0, r.Left), std::max(0, r.Top), std::min({r.Right, dst.Width, src.Width}),
              std::min({r.Bottom, dst.Height, src.Height}));
    if (r.Right <= r.Left || dst.BitsPerPixel != src.BitsPerPixel)
        return;
    for (int y = r.Top; y < r.Bottom; ++y)
        std::memcpy(dst.Pixel(r.Left, y), src.Pixel(r.Left, y), size_t(r.Right - r.Left) * size_t(dst.BytesPerPixel()));
}

// Pixels of r that now differ from before become opaque (what the title
// drew over the border picture); the others keep the alpha they had.
void OpaqueWhereChanged(const TPixelView& now, const TPixelView& before, TRect r)
{
    if (now.BitsPerPixel != 32 || before.BitsPerPixel != 32)
        return;
    r = TRect(std::max(0, r.Left), std::max(0, r.Top), std::min({r.Right, now.Width, before.Width}),
              std::min({r.Bottom, now.Height, before.Height}));
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x) {
            uint8_t* p = now.Pixel(x, y);
            const uint8_t* q = before.Pixel(x, y);
            p[3] = p[0] != q[0] || p[1] != q[1] || p[2] != q[2] ? uint8_t(0xFF) : q[3];
        }
}

} // namespace

bool TacDialogWnd::BuildCache()
{
    const TMeasures ms = Measure();
    if (ms.Width <= 0 || ms.Height <= 0 || !SkinShown())
        return false;
    layout_ = LayoutInput(ms);
    const TCaptionLayoutInput& li = layout_;
    buttons_ = LayoutButtons(li);
    const tw::TPixelFormat pf = ms.Ext ? tw::pf32bit : tw::pf24bit;
    if (!cache_ || cache_->Width() != ms.CacheWidth || cache_->Height() != ms.CacheHeight || cache_->PixelFormat() != pf)
        cache_ = std::make_unique<tw::TBitmap>(ms.CacheWidth, ms.CacheHeight, pf);
    cacheClient_ = ms.Client;
    frameOrg_ = ms.FrameOrg;
    windowOrg_ = ms.WindowOrg;
    clientBrushStale_ = true;
    titleBg_.reset();
    const bool useExt = UseExt();
    // Under the extended border the frame is painted on its own and placed
    // inside the border's margins; otherwise straight into the cache.
    std::unique_ptr<tw::TBitmap> own =
        ms.Ext ? std::make_unique<tw::TBitmap>(ms.Width, ms.Height, tw::pf24bit) : nullptr;
    tw::TBitmap& frame = own ? *own : *cache_;
    const TColor face = TColor(GetSysColor(COLOR_BTNFACE));
    const int state = active_ ? 1 : 0;
    if (useExt) {
        // Only the section's background: the border picture is the frame.
        const TPixelView v = frame.PixelView();
        PaintItemBG(manager_, manager_->GetSkinIndex("DIALOG"), "DIALOG", MakeCacheInfo(v), state,
                    TRect(0, 0, ms.Width, ms.Height), TPoint(0, 0), v);
    } else {
        PaintItemByName(frame, "DIALOG", "", state, manager_, {0, 0}, face, nullptr);
    }
    const int titleBottom = ms.Border + ms.Title;
    const bool hasTitle = li.HasTitle && titleBottom > 0;
    if (hasTitle && !useExt) {
        tw::TBitmap title(ms.Width, titleBottom, tw::pf24bit);
        PaintItemByName(title, "FORMTITLE", "", state, manager_, {0, 0}, face, nullptr);
        BitBlt(frame.Canvas().Handle(), 0, 0, ms.Width, titleBottom, title.Canvas().Handle(), 0, 0, SRCCOPY);
        PaintTitleText(frame, ms, TPoint(0, 0), false);
    }
    if (ms.Ext)
        ComposeExtendedBorder(ms, frame);
    if (!hasTitle)
        return true;
    const TRect strip(0, 0, ms.CacheWidth, ms.FrameOrg.Y + titleBottom);
    if (useExt) {
        // The title's icon and text over the border picture: what they
        // drew is opaque, the picture keeps its own transparency.
        TPixelImage before(ms.CacheWidth, strip.Bottom, 32);
        CopyPixels(before.View(), cache_->PixelView(), strip);
        PaintTitleText(*cache_, ms, ms.FrameOrg, true);
        OpaqueWhereChanged(cache_->PixelView(), before.View(), strip);
    }
    // The strip behind the buttons is kept, then the buttons in their states.
    titleBg_ = std::make_unique<tw::TBitmap>(ms.CacheWidth, strip.Bottom, pf);
    CopyPixels(titleBg_->PixelView(), cache_->PixelView(), strip);
    for (int code : {htClose, htMaxButton, htMinButton, htHelp})
        DrawTitleButton(code);
    return true;
}

void TacDialogWnd::PaintNonClient()
{
    const HWND wnd = Handle();
    // Children made since the last paint (pages of a wizard, a file
    // dialog's late fields) are adapted too.
    AdaptChildren();
    UpdateRegion();
    skinActive_ = false;
    if (!BuildCache())
        return;
    if (ExtendedActive()) {
        // The border window shows the frame; the dialog's own non-client
        // area lies outside its region.
        UpdateBorderWindow();
        UpdateScrollState(true);
        return;
    }
    HDC dc = GetWindowDC(wnd);
    if (!dc)
        return;
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, cacheClient_.Left, cacheClient_.Top, cacheClient_.Right, cacheClient_.Bottom);
    BitBlt(dc, 0, 0, cache_->Width(), cache_->Height(), cache_->Canvas().Handle(), 0, 0, SRCCOPY);
    RestoreDC(dc, saved);
    ReleaseDC(wnd, dc);
    // The frame was painted over the system's scroll bars: the skin's go on top.
    UpdateScrollState(true);
}

TRect TacDialogWnd::ButtonRect(int code) const
{
    TRect r;
    switch (code) {
    case htClose: r = buttons_.Close; break;
    case htMaxButton: r = buttons_.Max; break;
    case htMinButton: r = buttons_.Min; break;
    case htHelp: r = buttons_.Help; break;
    default: return TRect();
    }
    // Laid out on the frame; the frame lies inside the border's margins.
    return TRect(r.Left + frameOrg_.X, r.Top + frameOrg_.Y, r.Right + frameOrg_.X, r.Bottom + frameOrg_.Y);
}

int TacDialogWnd::ButtonState(int code) const { return hot_ != code ? 0 : pressed_ ? 2 : 1; }

TacButtonFx* TacDialogWnd::Fx(int code)
{
    switch (code) {
    case htMinButton: return &fx_[0];
    case htMaxButton: return &fx_[1];
    case htClose: return &fx_[2];
    case htHelp: return &fx_[3];
    default: return nullptr;
    }
}

const TacButtonFx* TacDialogWnd::ButtonFx(int code) const { return const_cast<TacDialogWnd*>(this)->Fx(code); }

TRect TacDialogWnd::DrawTitleButton(int code, int forced)
{
    if (!cache_ || !titleBg_)
        return TRect();
    const TCaptionLayoutInput& li = layout_;
    const TRect b = ButtonRect(code);
    const char* large = "BICONCLOSE";
    const char* small = "SICONCLOSE";
    bool enabled = true;
    switch (code) {
    case htClose:
        enabled = CloseEnabled();
        break;
    case htMaxButton:
        large = li.Zoomed ? "BICONNORM" : "BICONMAX";
        small = li.Zoomed ? "BICONNORM" : "SICONMAX";
        enabled = li.Zoomed ? li.Menu.EnabledRestore : li.Menu.EnabledMax;
        break;
    case htMinButton:
        // A minimized dialog shows restore where minimize was.
        large = li.Iconic ? "BICONNORM" : "BICONMIN";
        small = li.Iconic ? "BICONNORM" : "SICONMIN";
        enabled = li.Iconic ? li.Menu.EnabledRestore : li.Menu.EnabledMin;
        break;
    case htHelp:
        large = "BICONHELP", small = "SICONHELP";
        break;
    default:
        break;
    }
    if (b.Right <= b.Left || b.Bottom <= b.Top)
        return TRect();
    // The title strip behind it first, so a state drawn before leaves nothing.
    CopyPixels(cache_->PixelView(), titleBg_->PixelView(), b);
    int state = forced >= 0 ? forced : ButtonState(code);
    if (!enabled)
        state = 0;
    if (forced < 0)
        state = PaintedButtonState(Fx(code), state);
    const int i = TitleMask(li.Large, large, small);
    if (manager_->MaskIndexValid(i)) {
        const TPixelView view = cache_->PixelView();
        const int row = (!active_ || !enabled) && state == 0 ? 2 : 1;
        DrawMaskGlyph(view, TPoint(b.Left, b.Top), state, row, manager_->ma[size_t(i)], MakeCacheInfo(view, 0, 0));
        // The border window shows what the glyph drew.
        OpaqueWhereChanged(view, titleBg_->PixelView(), b);
    }
    return b;
}

void TacDialogWnd::PutButton(const TRect& r)
{
    const HWND wnd = Handle();
    if (r.Right <= r.Left || r.Bottom <= r.Top || !cache_ || !IsWindowVisible(wnd))
        return;
    if (ExtendedActive()) {
        // The title lies on the border window.
        UpdateBorderWindow();
        return;
    }
    HDC dc = GetWindowDC(wnd);
    if (!dc)
        return;
    const int saved = SaveDC(dc);
    BitBlt(dc, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, cache_->Canvas().Handle(), r.Left, r.Top, SRCCOPY);
    RestoreDC(dc, saved);
    ReleaseDC(wnd, dc);
}

void TacDialogWnd::RepaintTitleButton(int code)
{
    TacButtonFx* fx = Fx(code);
    if (!fx)
        return;
    const HWND wnd = Handle();
    const int state = ButtonState(code);
    RECT wr;
    GetWindowRect(wnd, &wr);
    if (!cache_ || !titleBg_ || !IsWindowVisible(wnd) || !CacheFits()) {
        // The whole frame is drawn again: a fade would blend old pictures.
        FreeBtnAnimation(fx->Animation);
        fx->State = state;
        if (state == 0)
            HideCaptionGlow(*fx);
        if (IsWindowVisible(wnd))
            PaintNonClient();
        return;
    }
    if (CaptionFadeAllowed(manager_, false, fx->State, state)) {
        fx->State = state;
        const TacSBAnimationOwner owner{tw::Application, this, nullptr, wnd, nullptr};
        // Hot in ten steps, pressed at once, and back without restarting.
        StartBtnAnimation(*fx, code, state, state == 2 ? 1 : 10, owner, state != 0);
        return;
    }
    FreeBtnAnimation(fx->Animation);
    fx->State = state;
    const TRect r = DrawTitleButton(code);
    if (state != 0)
        ButtonGlow(code, true);
    PutButton(r);
}

bool TacDialogWnd::ButtonPicture(int code, int state, tw::TBitmap& out)
{
    const TRect r = ButtonRect(code);
    if (!cache_ || r.Right <= r.Left || r.Bottom <= r.Top || r.Right > cache_->Width() || r.Bottom > cache_->Height())
        return false;
    const int w = r.Right - r.Left, h = r.Bottom - r.Top;
    // Drawn into the frame picture and taken out again; the picture keeps
    // what the title shows.
    TPixelImage keep(r.Right, r.Bottom, cache_->PixelView().BitsPerPixel);
    CopyPixels(keep.View(), cache_->PixelView(), r);
    DrawTitleButton(code, state);
    out.SetPixelFormat(tw::pf24bit);
    out.SetSize(w, h);
    BitBlt(out.Canvas().Handle(), 0, 0, w, h, cache_->Canvas().Handle(), r.Left, r.Top, SRCCOPY);
    CopyPixels(cache_->PixelView(), keep.View(), r);
    return true;
}

bool TacDialogWnd::ShownButtonPicture(int code, tw::TBitmap& out)
{
    const TRect r = ButtonRect(code);
    if (!cache_ || r.Right <= r.Left || r.Bottom <= r.Top || r.Right > cache_->Width() || r.Bottom > cache_->Height())
        return false;
    out.SetPixelFormat(tw::pf24bit);
    out.SetSize(r.Right - r.Left, r.Bottom - r.Top);
    BitBlt(out.Canvas().Handle(), 0, 0, out.Width(), out.Height(), cache_->Canvas().Handle(), r.Left, r.Top, SRCCOPY);
    return true;
}

void TacDialogWnd::ShowButtonPicture(int code, tw::TBitmap& picture)
{
    TRect r = ButtonRect(code);
    if (!cache_ || r.Right <= r.Left || r.Bottom <= r.Top || r.Right > cache_->Width() || r.Bottom > cache_->Height())
        return;
    r.Right = r.Left + std::min(r.Right - r.Left, picture.Width());
    r.Bottom = r.Top + std::min(r.Bottom - r.Top, picture.Height());
    BitBlt(cache_->Canvas().Handle(), r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, picture.Canvas().Handle(), 0,
           0, SRCCOPY);
    if (titleBg_)
        OpaqueWhereChanged(cache_->PixelView(), titleBg_->PixelView(), r);
    PutButton(r);
}

void TacDialogWnd::ButtonGlow(int code, bool show)
{
    TacButtonFx* fx = Fx(code);
    if (!fx)
        return;
    const HWND wnd = Handle();
    if (!show || !IsWindowVisible(wnd)) {
        HideCaptionGlow(*fx);
        return;
    }
    const TRect r = ButtonRect(code);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int x = wr.left - windowOrg_.X, y = wr.top - windowOrg_.Y;
    const TRect screen(x + r.Left, y + r.Top, x + r.Right, y + r.Bottom);
    ShowCaptionGlow(*fx, manager_, TCaptionGlyph{code, layout_.Large, layout_.Zoomed, layout_.Iconic}, screen,
                    GetAncestor(wnd, GA_ROOT));
}

void TacDialogWnd::ButtonFadeEnded(int code)
{
    if (cache_)
        PutButton(DrawTitleButton(code));
}

void TacDialogWnd::FreeButtonAnimations()
{
    for (TacButtonFx& fx : fx_) {
        FreeBtnAnimation(fx.Animation);
        HideCaptionGlow(fx);
        fx.State = 0;
    }
}

TacDialogWnd* TacDialogWnd::DialogOf(HWND wnd)
{
    for (HWND w = wnd; w; w = GetAncestor(w, GA_PARENT)) {
        if (auto* d = dynamic_cast<TacDialogWnd*>(TacMainWnd::Of(w)))
            return d->Unsubclassed() ? nullptr : d;
        if (!(GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD))
            break;
    }
    return nullptr;
}

bool TacDialogWnd::ClientPictureReady()
{
    return SkinShown() && (CacheFits() || BuildCache());
}

bool TacDialogWnd::PaintBackgroundOf(HWND wnd, HDC dc)
{
    if (!dc || !ClientPictureReady())
        return false;
    POINT origin{0, 0};
    if (wnd != Handle())
        MapWindowPoints(wnd, Handle(), &origin, 1);
    RECT r;
    GetClientRect(wnd, &r);
    BitBlt(dc, 0, 0, r.right, r.bottom, cache_->Canvas().Handle(), cacheClient_.Left + origin.x,
           cacheClient_.Top + origin.y, SRCCOPY);
    return true;
}

HBRUSH TacDialogWnd::BackgroundBrushFor(HWND wnd, HDC dc)
{
    if (!dc || !ClientPictureReady())
        return nullptr;
    const int w = cacheClient_.Right - cacheClient_.Left, h = cacheClient_.Bottom - cacheClient_.Top;
    if (w <= 0 || h <= 0)
        return nullptr;
    if (clientBrushStale_ || !clientBrush_) {
        tw::TBitmap client(w, h, tw::pf24bit);
        BitBlt(client.Canvas().Handle(), 0, 0, w, h, cache_->Canvas().Handle(), cacheClient_.Left, cacheClient_.Top,
               SRCCOPY);
        HBRUSH made = CreatePatternBrush(client.Handle());
        if (!made)
            return nullptr;
        if (clientBrush_)
            DeleteObject(clientBrush_);
        clientBrush_ = made;
        clientBrushStale_ = false;
    }
    // The pattern starts at the dialog's client origin, wherever the child
    // lies in it.
    POINT origin{0, 0};
    if (wnd != Handle())
        MapWindowPoints(wnd, Handle(), &origin, 1);
    SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
    return clientBrush_;
}

void TacDialogWnd::EraseClient(HDC dc)
{
    const HWND wnd = Handle();
    const int saved = SaveDC(dc);
    // A transparent child (the file dialogs' tool bars) asks its parent to
    // erase into the child's own device context: all of it is its
    // background then, nothing is left out.
    const HWND painted = WindowFromDC(dc);
    const bool forChild = painted && painted != wnd;
    // The children that paint their own background are left out; labels
    // that take the focus and group boxes are painted over (they draw only
    // their text and edge over what lies under them).
    for (HWND c = forChild ? nullptr : GetTopWindow(wnd); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const LONG_PTR style = GetWindowLongPtrW(c, GWL_STYLE);
        if (!(style & WS_VISIBLE) || !(style & WS_CHILD))
            continue;
        if ((style & 7) == 7 || ((style & WS_TABSTOP) && Lower(ClassNameOf(c)) == "static"))
            continue;
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, wnd, reinterpret_cast<POINT*>(&r), 2);
        ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
    }
    if (!PaintBackgroundOf(wnd, dc)) {
        RECT r;
        GetClientRect(wnd, &r);
        FillRect(dc, &r, Brush());
    }
    RestoreDC(dc, saved);
    if (!forChild)
        RefreshChildWindows(wnd);
}

void TacDialogWnd::Repaint()
{
    regionSize_ = {-1, -1};
    UpdateRegion();
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TacDialogWnd::SetHot(int code)
{
    if (code == hot_)
        return;
    const int old = hot_;
    hot_ = code;
    pressed_ = false;
    // Only the buttons that change are drawn again.
    RepaintTitleButton(old);
    RepaintTitleButton(code);
}

namespace {

// The dialog's children are to be adapted again (sent by whoever adds some).
constexpr uint16_t kAdaptChildrenAgain = 28;
// The class library's notice that a control was shown or hidden.
constexpr UINT kVisibleChanged = 0xB00B;
// Sent by the system's dialogs when they have set up late children.
constexpr UINT kChildrenSetUp = 0x052E;

bool IsTitleButton(int c) { return c == htClose || c == htMaxButton || c == htMinButton || c == htHelp; }

} // namespace

int TacDialogWnd::BorderTitleHitTest(POINT screen)
{
    if (!ExtendedActive())
        return 0;
    const int code = HitTest(MAKELPARAM(screen.x, screen.y));
    // The edges, the client and what lies beside are the border window's.
    if (code == htClient || code == htNowhere || code == HTBORDER || (code >= htLeft && code <= htBottomRight))
        return 0;
    // As on the dialog's own title: the button under the mouse is hot, and
    // leaving the pressed button ends the press.
    if (IsTitleButton(code)) {
        if (!pressed_)
            SetHot(code);
    } else if (hot_) {
        SetHot(0);
    }
    return code;
}

LRESULT TacDialogWnd::SkinCommand(WPARAM wp, LPARAM lp)
{
    const HWND wnd = Handle();
    const int section = manager_ ? manager_->GetSkinIndex("DIALOG") : -1;
    const bool hasSection = manager_ && manager_->SkinIndexValid(section);
    switch (SkinCommandOf(wp)) {
    case AC_QUERYSKINNED:
        return 1;
    case AC_SKINLOADED:
        SetExtendedBorders(manager_ && manager_->ExtendedBorders());
        if (reinterpret_cast<TsSkinManager*>(lp) == manager_) {
            for (HWND c = GetTopWindow(wnd); c; c = GetWindow(c, GW_HWNDNEXT))
                SendMessageW(c, SM_ALPHACMD, wp, lp);
            Repaint();
        }
        return 0;
    case AC_SKINREFRESH:
        SetExtendedBorders(manager_ && manager_->ExtendedBorders());
        Repaint();
        UpdateBorderWindow();
        return 0;
    case AC_SETACTIVESTATE:
        skinActive_ = LOWORD(wp) == 1;
        if (skinActive_)
            clientBrushStale_ = true;
        return CallSaved(SM_ALPHACMD, wp, lp);
    case AC_QUERYACTIVE:
        return skinActive_ ? 1 : 0;
    case AC_RESETCACHE:
        UpdateBorderWindow();
        return CallSaved(SM_ALPHACMD, wp, lp);
    case AC_QUERYUPDATING: {
        // Asked here whether the client is more than one colour.
        if (!hasSection)
            return 0;
        const TsGeneralData& g = manager_->gd[size_t(section)];
        return g.GradientPercent + g.ImagePercent > 0 ? 1 : 0;
    }
    case AC_QUERYCOLOR:
        return hasSection ? LRESULT(manager_->gd[size_t(section)].Color) : LRESULT(manager_->GetGlobalColor());
    case kAdaptChildrenAgain:
        AdaptChildren();
        return CallSaved(SM_ALPHACMD, wp, lp);
    case AC_QUERYBGINFO: {
        auto* info = reinterpret_cast<TacBGInfo*>(lp);
        if (!info)
            return 0;
        if (ClientPictureReady()) {
            // The skin's client picture, where the client lies in it.
            info->BgType = btCache;
            info->Bmp = cache_->PixelView();
            info->OffsetX += cacheClient_.Left;
            info->OffsetY += cacheClient_.Top;
            if (info->PleaseDraw && info->DrawDC) {
                const TRect& r = info->R;
                BitBlt(HDC(info->DrawDC), r.Left, r.Top, r.Width(), r.Height(), cache_->Canvas().Handle(),
                       cacheClient_.Left + r.Left, cacheClient_.Top + r.Top, SRCCOPY);
            }
        } else {
            info->BgType = btFill;
            info->Color = manager_ ? manager_->GetGlobalColor() : TColor(GetSysColor(COLOR_BTNFACE));
            if (info->PleaseDraw && info->DrawDC)
                FillDC(HDC(info->DrawDC), info->R, info->Color);
        }
        return 1;
    }
    case AC_QUERYCLIENTORIGIN: {
        const TMeasures ms = Measure();
        return MAKELONG(ms.Client.Left, ms.Client.Top);
    }
    default:
        return CallSaved(SM_ALPHACMD, wp, lp);
    }
}

LRESULT TacDialogWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    const HWND wnd = Handle();
    if (msg == SM_ALPHACMD) {
        KeepOwnLinkCurrent(wp, lp);
        return SkinCommand(wp, lp);
    }
    // A skin without a dialog section leaves the dialog as the system
    // draws it; only its children wear the skin.
    if (!SkinShown())
        return CallSaved(msg, wp, lp);
    if (msg == WM_NCLBUTTONDOWN || msg == WM_NCLBUTTONUP || msg == WM_NCLBUTTONDBLCLK) {
        if (msg == WM_NCLBUTTONDOWN && borderForm_ && wp == HTOBJECT)
            return CallSaved(msg, wp, lp);
        // -1: a click on the border window, which knows what lies there.
        if (wp == WPARAM(-1))
            wp = WPARAM(borderForm_ ? borderForm_->HitTest(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}) : HitTest(lp));
    }
    switch (msg) {
    case WM_NCPAINT:
        if (IsWindowVisible(wnd))
            PaintNonClient();
        return 0;
    case WM_NCACTIVATE: {
        active_ = wp != 0;
        // -1: the system takes the activation but draws no caption.
        CallSaved(msg, wp, -1);
        PaintNonClient();
        UpdateBorderWindow();
        return TRUE;
    }
    case WM_SETTEXT: {
        const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
        if (!(style & WS_VISIBLE))
            return CallSaved(msg, wp, lp);
        // Marked invisible, the system draws no caption of its own.
        SetWindowLongPtrW(wnd, GWL_STYLE, style & ~LONG_PTR(WS_VISIBLE));
        const LRESULT r = CallSaved(msg, wp, lp);
        SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | WS_VISIBLE);
        PaintNonClient();
        UpdateBorderWindow();
        return r;
    }
    case WM_ENABLE: {
        const LRESULT r = CallSaved(msg, wp, lp);
        if (IsWindowVisible(wnd))
            PaintNonClient();
        return r;
    }
    case WM_NCHITTEST: {
        const int code = HitTest(lp);
        if (IsTitleButton(code)) {
            if (!pressed_)
                SetHot(code);
            return code;
        }
        // Leaving the pressed button ends the press.
        if (hot_)
            SetHot(0);
        if (IsZoomed(wnd) && code != HTSYSMENU) {
            // The frame of a zoomed dialog lies off the screen's edge: what
            // is left of it is not the dialog's.
            RECT wr;
            GetWindowRect(wnd, &wr);
            const int x = GET_X_LPARAM(lp) - wr.left, y = GET_Y_LPARAM(lp) - wr.top;
            if (x < 2 || y < 2 || x >= wr.right - wr.left - 4 || y >= wr.bottom - wr.top - 4)
                return HTTRANSPARENT;
        }
        if (code == htClient || code == htCaption) {
            const LRESULT own = CallSaved(msg, wp, lp);
            return code == htCaption && own != HTCAPTION && own != HTCLIENT ? code : own;
        }
        return code;
    }
    case WM_NCMOUSEMOVE:
        if (!tracking_) {
            TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE | TME_NONCLIENT, wnd, 0};
            tracking_ = TrackMouseEvent(&tme) != 0;
        }
        if (IsTitleButton(int(wp)))
            return 0;
        break;
    case WM_NCMOUSELEAVE:
        tracking_ = false;
        SetHot(0);
        break;
    case WM_MOUSEMOVE:
        // The pointer is over the dialog, on none of the program's controls.
        if (IsWindowEnabled(wnd) && manager_)
            SetManagerActiveControl(*manager_, nullptr);
        break;
    case WM_MOUSELEAVE:
        ClearHot();
        break;
    case WM_NCLBUTTONDOWN:
        if (wp == HTSYSMENU) {
            RECT wr;
            GetWindowRect(wnd, &wr);
            const TMeasures ms = Measure();
            PopupSysMenu(wr.left + ms.Border, wr.top + ms.Border + GetSystemMetrics(SM_CYSMICON));
            return 0;
        }
        [[fallthrough]];
    case WM_NCLBUTTONDBLCLK:
        if (IsTitleButton(int(wp))) {
            const int old = hot_;
            hot_ = int(wp);
            pressed_ = true;
            if (old != hot_)
                RepaintTitleButton(old);
            RepaintTitleButton(hot_);
            return 0;
        }
        if (msg == WM_NCLBUTTONDBLCLK) {
            if (wp == HTSYSMENU) {
                // A double click on the icon closes, as on the system's.
                PostMessageW(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
                return 0;
            }
            if (wp == HTCAPTION) {
                if (MaximizeEnabled() || RestoreEnabled())
                    PostMessageW(wnd, WM_SYSCOMMAND, IsZoomed(wnd) || IsIconic(wnd) ? SC_RESTORE : SC_MAXIMIZE, 0);
                return 0;
            }
            break;
        }
        if (IsIconic(wnd)) {
            SendMessageW(wnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lp);
            return 0;
        }
        ClearHot();
        if (IsZoomed(wnd) && wp == HTCAPTION) {
            // A zoomed dialog does not move by its title; it only takes the
            // activation.
            if (GetActiveWindow() != wnd)
                SetActiveWindow(wnd);
            return 0;
        }
        break;
    case WM_NCLBUTTONUP:
        if (IsTitleButton(int(wp))) {
            bool run = pressed_ && hot_ == int(wp);
            pressed_ = false;
            RepaintTitleButton(int(wp));
            if (hot_ != int(wp))
                RepaintTitleButton(hot_);
            if (run && wp == htClose && !CloseEnabled())
                run = false;
            if (run && !(wp == htMaxButton && IsIconic(wnd) && !MaximizeEnabled() && !RestoreEnabled())) {
                WPARAM command = SC_CLOSE;
                if (wp == htMaxButton)
                    command = IsZoomed(wnd) ? SC_RESTORE : SC_MAXIMIZE;
                else if (wp == htMinButton)
                    command = IsIconic(wnd) ? SC_RESTORE : SC_MINIMIZE;
                else if (wp == htHelp)
                    command = SC_CONTEXTHELP;
                PostMessageW(wnd, WM_SYSCOMMAND, command, lp);
            }
            return 0;
        }
        break;
    case WM_NCRBUTTONDOWN:
        if (wp == HTCAPTION || wp == HTSYSMENU)
            return 0;
        break;
    case WM_NCRBUTTONUP:
        if (wp == HTCAPTION || wp == HTSYSMENU) {
            PopupSysMenu(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            return 0;
        }
        break;
    case WM_SYSCOMMAND: {
        const WPARAM command = wp & 0xFFF0;
        if (command == SC_KEYMENU && lp == ' ') {
            // Alt+Space opens the skin's menu under the title icon.
            RECT wr;
            GetWindowRect(wnd, &wr);
            const TMeasures ms = Measure();
            PopupSysMenu(wr.left + ms.Border, wr.top + ms.Border + ms.Title);
            return 0;
        }
        const LRESULT r = CallSaved(msg, wp, lp);
        if (!IsWindow(wnd) || TacMainWnd::Of(wnd) != this)
            return r;
        if (command == SC_MOVE && (wp & 0xF) == HTCAPTION) {
            UpdateWindow(wnd);
            UpdateBorderWindow();
        } else if (command == SC_MAXIMIZE || command == SC_RESTORE || command == SC_MINIMIZE) {
            ClearHot();
            if (sysMenu_)
                sysMenu_->UpdateItems();
        }
        return r;
    }
    case WM_SIZE: {
        const LRESULT r = CallSaved(msg, wp, lp);
        UpdateBorderWindow();
        if (IsWindowVisible(wnd))
            RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME);
        return r;
    }
    case WM_SETFOCUS: {
        const LRESULT r = CallSaved(msg, wp, lp);
        // The focus frame moved inside the dialog: all of the active window
        // is painted at once, not at some later WM_PAINT.
        if (HWND active = GetActiveWindow())
            RedrawWindow(active, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return r;
    }
    case WM_MOVE:
    case WM_SIZING: {
        const LRESULT r = CallSaved(msg, wp, lp);
        UpdateBorderWindow();
        return r;
    }
    case WM_WINDOWPOSCHANGING: {
        const LRESULT r = CallSaved(msg, wp, lp);
        if (borderForm_ && lp && (reinterpret_cast<const WINDOWPOS*>(lp)->flags & SWP_HIDEWINDOW))
            SetExtendedBorders(false);
        else
            UpdateBorderWindow();
        return r;
    }
    case WM_WINDOWPOSCHANGED: {
        const LRESULT r = CallSaved(msg, wp, lp);
        // The halos stay where they were shown; a moved dialog drops them.
        if (lp && !(reinterpret_cast<const WINDOWPOS*>(lp)->flags & SWP_NOMOVE))
            for (TacButtonFx& fx : fx_)
                HideCaptionGlow(fx);
        UpdateRegion();
        UpdateBorderWindow();
        return r;
    }
    case WM_SHOWWINDOW: {
        // A hidden dialog leaves no halo on the screen.
        if (!wp)
            FreeButtonAnimations();
        if (!DwmCompositionEnabled())
            break;
        // Shown layered, the compositor does not flash the system's frame.
        const LONG_PTR ex = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
        SetWindowLongPtrW(wnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
        const LRESULT r = CallSaved(msg, wp, lp);
        SetWindowLongPtrW(wnd, GWL_EXSTYLE, GetWindowLongPtrW(wnd, GWL_EXSTYLE) & ~LONG_PTR(WS_EX_LAYERED));
        return r;
    }
    case kVisibleChanged: {
        const LRESULT r = CallSaved(msg, wp, lp);
        if (!wp)
            FreeButtonAnimations();
        return r;
    }
    case WM_PAINT:
        if (PaintSuppressed) {
            PAINTSTRUCT ps;
            BeginPaint(wnd, &ps);
            EndPaint(wnd, &ps);
            return 0;
        }
        break;
    case WM_ERASEBKGND: {
        if (!childrenAdapted_) {
            childrenAdapted_ = true;
            AdaptChildren();
        }
        HDC dc = reinterpret_cast<HDC>(wp);
        const bool own = !dc;
        if (own)
            dc = GetDC(wnd);
        if (dc)
            EraseClient(dc);
        if (own && dc)
            ReleaseDC(wnd, dc);
        skinActive_ = false;
        return 1;
    }
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
    case WM_MENUCHAR: {
        // The skinned system menu's items are drawn through its window.
        tw::TMessage m{msg, wp, lp, 0};
        if (tw::DispatchMenuOwnerDraw(m))
            return m.Result;
        if (msg == WM_DRAWITEM && lp && reinterpret_cast<const DRAWITEMSTRUCT*>(lp)->CtlType == ODT_STATIC)
            SetBkMode(reinterpret_cast<const DRAWITEMSTRUCT*>(lp)->hDC, TRANSPARENT);
        break;
    }
    case WM_GETDLGCODE:
        return 0;
    case WM_PRINT: {
        // The skin's frame from the picture, the client by the dialog at its
        // place inside it.
        HDC dc = reinterpret_cast<HDC>(wp);
        if (!dc || !(lp & PRF_NONCLIENT) || !BuildCache())
            break;
        const int saved = SaveDC(dc);
        // The window's part of the picture (under the extended border the
        // picture holds the border's margins too).
        const TRect client(cacheClient_.Left - windowOrg_.X, cacheClient_.Top - windowOrg_.Y,
                           cacheClient_.Right - windowOrg_.X, cacheClient_.Bottom - windowOrg_.Y);
        ExcludeClipRect(dc, client.Left, client.Top, client.Right, client.Bottom);
        BitBlt(dc, 0, 0, cache_->Width(), cache_->Height(), cache_->Canvas().Handle(), windowOrg_.X, windowOrg_.Y,
               SRCCOPY);
        RestoreDC(dc, saved);
        UpdateScrollState(false);
        PaintBars(dc);
        POINT org{0, 0};
        OffsetViewportOrgEx(dc, client.Left, client.Top, &org);
        const LRESULT r = CallSaved(msg, wp, lp & ~LPARAM(PRF_NONCLIENT));
        SetViewportOrgEx(dc, org.x, org.y, nullptr);
        return r;
    }
    case DM_SETDEFID: {
        const LRESULT r = CallSaved(msg, wp, lp);
        AdaptChildren();
        return r;
    }
    case kChildrenSetUp: {
        const LRESULT r = CallSaved(msg, wp, lp);
        AdaptChildren();
        RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
        return r;
    }
    case WM_CTLCOLORDLG:
        if (HBRUSH pattern = BackgroundBrushFor(wnd, reinterpret_cast<HDC>(wp)))
            return reinterpret_cast<LRESULT>(pattern);
        return reinterpret_cast<LRESULT>(Brush());
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        if (!fieldBrushes_)
            fieldBrushes_ = std::make_unique<TacBrushes>();
        if (const LRESULT brush = SkinCtlColor(manager_, *fieldBrushes_, msg, reinterpret_cast<HDC>(wp),
                                               reinterpret_cast<HWND>(lp)))
            return brush;
        break;
    case WM_CTLCOLORSTATIC:
        // A read-only edit asks as a label does; it stays a field.
        if (TacMainWnd* child = TacMainWnd::Of(reinterpret_cast<HWND>(lp));
            child && std::strcmp(child->Kind(), "TacEditWnd") == 0) {
            if (!fieldBrushes_)
                fieldBrushes_ = std::make_unique<TacBrushes>();
            if (const LRESULT brush = SkinCtlColor(manager_, *fieldBrushes_, WM_CTLCOLOREDIT,
                                                   reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)))
                return brush;
        }
        [[fallthrough]];
    case WM_CTLCOLORBTN: {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, TextColor());
        SetBkColor(dc, COLORREF(manager_->GetGlobalColor()));
        SetBkMode(dc, TRANSPARENT);
        // Labels, check boxes and icons fill with this brush: they show
        // the skin's client under them, not a plain colour.
        if (HBRUSH pattern = BackgroundBrushFor(reinterpret_cast<HWND>(lp), dc))
            return reinterpret_cast<LRESULT>(pattern);
        return reinterpret_cast<LRESULT>(Brush());
    }
    default:
        break;
    }
    return TacScrollWnd::AdapterWndProc(msg, wp, lp);
}

// ---------------------------------------------------------------------------
// Push buttons of foreign dialogs, painted from the section "BUTTON". The
// system's button draws itself on state changes without WM_PAINT, so after
// each of those it is painted over again at once.

namespace {

class TacBtnWnd final : public TacMainWnd {
public:
    TacBtnWnd(HWND wnd, TsSkinManager* manager) : TacMainWnd(wnd, manager, "BUTTON", "TacBtnWnd")
    {
        InvalidateRect(wnd, nullptr, TRUE);
    }
    ~TacBtnWnd() override
    {
        // The system's picture back.
        if (IsWindow(Handle()))
            InvalidateRect(Handle(), nullptr, TRUE);
    }

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        const HWND wnd = Handle();
        const TacPaintClient paint = [this](HDC dc) { Paint(dc); };
        if (LRESULT answer = 0; AnswerClientPaint(wnd, msg, wp, paint, answer))
            return answer;
        switch (msg) {
        case WM_MOUSEMOVE:
        case WM_MOUSELEAVE:
            TrackButtonHot(wnd, msg, hot_);
            break;
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
        case WM_CAPTURECHANGED: {
            const LRESULT r = CallSaved(msg, wp, lp);
            if (IsWindow(wnd) && TacMainWnd::Of(wnd) == this)
                PaintClientNow(wnd, paint);
            return r;
        }
        default:
            break;
        }
        return TacMainWnd::AdapterWndProc(msg, wp, lp);
    }

private:
    void Paint(HDC dc)
    {
        const HWND wnd = Handle();
        RECT cr;
        GetClientRect(wnd, &cr);
        const int w = cr.right, h = cr.bottom;
        if (w <= 0 || h <= 0 || !manager_)
            return;
        const LRESULT st = CallSaved(BM_GETSTATE, 0, 0);
        const bool enabled = IsWindowEnabled(wnd) != 0;
        const int state = !enabled ? 0 : (st & BST_PUSHED) ? 2 : hot_ || (st & BST_FOCUS) ? 1 : 0;
        const TColor back = manager_->GetGlobalColor();
        tw::TBitmap bmp(w, h, tw::pf24bit);
        // The rounded corners show the dialog's client under the button.
        tw::TBitmap under(w, h, tw::pf24bit);
        TacDialogWnd* dialog = TacDialogWnd::DialogOf(GetParent(wnd));
        if (!dialog || !dialog->PaintBackgroundOf(wnd, under.Canvas().Handle())) {
            HBRUSH brush = CreateSolidBrush(COLORREF(back));
            FillRect(under.Canvas().Handle(), &cr, brush);
            DeleteObject(brush);
        }
        PaintItemByName(bmp, "BUTTON", "", state, manager_, {0, 0}, back, under.Canvas().Handle());
        wchar_t text[256] = {};
        GetWindowTextW(wnd, text, 256);
        HFONT font = reinterpret_cast<HFONT>(CallSaved(WM_GETFONT, 0, 0));
        HGDIOBJ old = font ? SelectObject(bmp.Canvas().Handle(), font) : nullptr;
        const std::string caption = tw::WideToUtf8(text);
        WriteSectionText(&bmp.Canvas(), caption.c_str(), enabled, TRect(2, 0, w - 2, h),
                         DT_CENTER | DT_VCENTER | DT_SINGLELINE, manager_->GetSkinIndex("BUTTON"), state != 0, manager_);
        if (old)
            SelectObject(bmp.Canvas().Handle(), old);
        if ((st & BST_FOCUS) && !(CallSaved(WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)) {
            RECT f{3, 3, w - 3, h - 3};
            DrawFocusRect(bmp.Canvas().Handle(), &f);
        }
        BitBlt(dc, 0, 0, w, h, bmp.Canvas().Handle(), 0, 0, SRCCOPY);
    }

    bool hot_ = false;
};

// The size grip of a sizeable dialog (a scroll bar of the size-box styles):
// the skin's grip picture on the dialog's colour.
class TacSizerWnd final : public TacMainWnd {
public:
    TacSizerWnd(HWND wnd, TsSkinManager* manager) : TacMainWnd(wnd, manager, "CHECKBOX", "TacSizerWnd")
    {
        InvalidateRect(wnd, nullptr, TRUE);
    }
    ~TacSizerWnd() override
    {
        if (IsWindow(Handle()))
            InvalidateRect(Handle(), nullptr, TRUE);
    }

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        if (msg == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(Handle(), &ps);
            Paint(dc);
            EndPaint(Handle(), &ps);
            return 0;
        }
        if (msg == WM_ERASEBKGND)
            return 1;
        return TacMainWnd::AdapterWndProc(msg, wp, lp);
    }

private:
    void Paint(HDC dc)
    {
        RECT cr;
        GetClientRect(Handle(), &cr);
        if (cr.right <= 0 || cr.bottom <= 0 || !manager_)
            return;
        tw::TBitmap bmp(cr.right, cr.bottom, tw::pf24bit);
        HBRUSH brush = CreateSolidBrush(COLORREF(manager_->GetGlobalColor()));
        FillRect(bmp.Canvas().Handle(), &cr, brush);
        DeleteObject(brush);
        const int grip = MaskOf(manager_, "GRIPIMAGE");
        if (manager_->MaskIndexValid(grip)) {
            const TsMaskData& mask = manager_->ma[size_t(grip)];
            const TPixelView view = bmp.PixelView();
            // In the bottom-right corner, where the sizing happens.
            const TPoint at(cr.right - MaskFrameWidth(mask), cr.bottom - MaskFrameHeight(mask));
            DrawMaskGlyph(view, at, 0, 1, mask, MakeCacheInfo(view, 0, 0));
        }
        BitBlt(dc, 0, 0, cr.right, cr.bottom, bmp.Canvas().Handle(), 0, 0, SRCCOPY);
    }
};

} // namespace

// ---------------------------------------------------------------------------
// Popup-menu windows

TacMnuWnd::TacMnuWnd(HWND wnd, TsSkinManager* manager) : TacMainWnd(wnd, manager, "MAINMENU", "TacMnuWnd") {}

TacMnuWnd::~TacMnuWnd()
{
    if (!Unsubclassed())
        ForgetMenuWindow(Handle());
}

void TacMnuWnd::WindowEnds() { ForgetMenuWindow(Handle()); }

LRESULT TacMnuWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == SM_ALPHACMD)
        KeepOwnLinkCurrent(wp, lp);
    if (msg == SM_ALPHACMD && SkinCommandOf(wp) == AC_QUERYSKINNED)
        return 1;
    // The questions every adapter answers (the menu's picture, its caption
    // height, scrolling); the menu painter's own come after.
    if (LRESULT answer = 0; msg == SM_ALPHACMD && AnswerSkinCommand(SkinCommandOf(wp), wp, lp, answer))
        return answer;
    if (msg == WM_PAINT)
        RememberMenuWindow(Handle());
    LRESULT result = 0;
    if (SkinMenuWindowMessage(
            Handle(), msg, wp, lp, [this](UINT m, WPARAM w, LPARAM l) { return CallSaved(m, w, l); }, result))
        return result;
    return CallSaved(msg, wp, lp);
}

const std::vector<std::shared_ptr<TacMnuWnd>>& TacMnuArray() { return MenuArray(); }

void ClearMnuArray() { MenuArray().clear(); }

void HookCreatedWindow(HWND wnd)
{
    TsSkinManager* sm = DefaultManager;
    // Compared as the system names it: menus are "#32768" exactly.
    if (!wnd || !sm || ClassNameOf(wnd) != "#32768")
        return;
    // The compositor draws the menus itself: they keep the system's look.
    if (DwmCompositionEnabled() || !sm->SkinnedPopups() || AskWindow(wnd, AC_QUERYSKINNED))
        return;
    SweepEndedMenuAdapters();
    auto adapter = std::make_shared<TacMnuWnd>(wnd, sm);
    MenuArray().push_back(adapter);
    LivingMenuAdapters().push_back(std::move(adapter));
}

// ---------------------------------------------------------------------------
// Providers of foreign dialogs

TacProvider::~TacProvider()
{
    // The children first: the dialog's frame goes back last.
    for (auto& c : Children)
        c.reset();
    Children.clear();
    DialogAdapter.reset();
}

std::vector<TacProvider*> DialogProviders()
{
    std::vector<TacProvider*> r;
    for (const auto& p : ProviderList())
        if (p)
            r.push_back(p.get());
    return r;
}

void ForgetFormProvider(const TsSkinProvider* provider)
{
    // The slot stays (nil) while the hook is installed, as for dialogs.
    for (auto& p : ProviderList())
        if (p && p->FormProvider == provider) {
            p.reset();
            return;
        }
}

TacProvider* FindDialogProvider(HWND wnd)
{
    for (const auto& p : ProviderList())
        if (p && p->Handle == wnd)
            return p.get();
    return nullptr;
}

bool HasDescendantOfClass(HWND wnd, const std::string& lowerName)
{
    for (HWND c = GetTopWindow(wnd); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (Lower(ClassNameOf(c)) == lowerName || HasDescendantOfClass(c, lowerName))
            return true;
    }
    return false;
}

bool AdaptDialogChild(TacProvider& provider, HWND wnd)
{
    if (!wnd)
        return false;
    if (AskWindow(wnd, AC_QUERYSKINNED))
        return true;
    g_dialogChildFlag = true;
    const std::string name = Lower(ClassNameOf(wnd));
    const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    TsSkinManager* sm = DefaultManager;
    const char* kind = nullptr;
    const char* section = nullptr;
    bool dialogChild = false;
    TacDialogWnd* dlg = provider.DialogAdapter.get();
    if (name == "static") {
        if (Has(style, 3) || Has(style, 14))
            kind = "TacIconWnd", section = "CHECKBOX";
        else if (!Has(style, 13) && (style & 31) != 5 && (style & 31) != 6 && (style & 31) != 11)
            kind = "TacStaticWnd", section = "CHECKBOX";
    } else if (name == "#32770") {
        kind = "TacTransPanelWnd", section = "CHECKBOX";
    } else if (name == "tpanel" || name == "tsilentpaintpanel") {
        kind = "TacDlgPanelWnd", section = "PANEL";
    } else if (name == "button") {
        if (Has(style, 7))
            kind = "TacGroupBoxWnd", section = "GROUPBOX";
        else if (Has(style, 3) || Has(style, 2) || Has(style, 5) || Has(style, 9) || Has(style, 4))
            kind = "TacCheckBoxWnd", section = "CHECKBOX";
        else
            kind = "TacBtnWnd", section = "BUTTON";
    } else if (name == "combobox" || name == "comboboxex32") {
        kind = "TacComboBoxWnd", section = "COMBOBOX", dialogChild = name == "combobox";
        if (dlg) dlg->PaintSuppressed = false;
    } else if (name == "combolbox") {
        kind = "TacEditWnd", section = "COMBOBOX";
        if (dlg) dlg->PaintSuppressed = false;
    } else if (name == "scrollbar") {
        kind = "TacSizerWnd", section = "CHECKBOX";
    } else if (name == "systabcontrol32") {
        if (!Has(style, 0x2000))
            kind = "TacTabControlWnd", section = "PAGECONTROL";
    } else if (name == "syslistview32") {
        kind = "TacListViewWnd", section = "EDIT", dialogChild = true;
    } else if (name == "msctls_updown32") {
        kind = "TacSpinWnd", section = "SPEEDBUTTON_SMALL";
    } else if (name == "listbox") {
        kind = "TacEditWnd", section = "EDIT", dialogChild = true;
    } else if (name == "link window" || name == "syslink") {
        kind = "TacLinkWnd", section = "CHECKBOX";
    } else if (name == "toolbarwindow32") {
        kind = "TacToolBarWnd", section = Has(style, 0x200) ? "BAR" : "CHECKBOX";
    } else if (name == "edit") {
        // Even a hidden edit means the dialog paints its own client.
        if (dlg) dlg->PaintSuppressed = false;
        if (IsWindowVisible(wnd))
            kind = "TacEditWnd", section = "EDIT", dialogChild = true;
    } else if (name == "systreeview32") {
        kind = "TacTreeViewWnd", section = "EDIT", dialogChild = true;
    } else if (name.find("shbrowseforfolder") != std::string::npos) {
        kind = "TacTransPanelWnd", section = "CHECKBOX";
    }
    if (kind) {
        std::unique_ptr<TacMainWnd> adapter;
        // Plain push buttons are painted from the skin; the others keep the
        // system's picture for now and only answer as skinned.
        const auto is = [&](const char* k) { return std::strcmp(kind, k) == 0; };
        if ((adapter = MakeDialogChildAdapter(kind, wnd, sm, section)))
            ;
        else if (is("TacBtnWnd") && (style & 0xF) <= BS_DEFPUSHBUTTON && !(style & (BS_ICON | BS_BITMAP)))
            adapter = std::make_unique<TacBtnWnd>(wnd, sm);
        else if (is("TacSizerWnd") && (style & (SBS_SIZEBOX | SBS_SIZEGRIP)))
            adapter = std::make_unique<TacSizerWnd>(wnd, sm);
        else if (is("TacEditWnd"))
            adapter = std::make_unique<TacEditWnd>(wnd, sm, section);
        else if (is("TacComboBoxWnd"))
            adapter = std::make_unique<TacComboBoxWnd>(wnd, sm, section);
        else if (is("TacListViewWnd") || is("TacTreeViewWnd"))
            adapter = std::make_unique<TacViewWnd>(wnd, sm, section, is("TacTreeViewWnd"));
        else if (is("TacTransPanelWnd"))
            adapter = std::make_unique<TacTransPanelWnd>(wnd, sm, section);
        else
            adapter = std::make_unique<TacMainWnd>(wnd, sm, section, kind);
        if (dialogChild)
            adapter->DialogChild = true;
        // A panel of the class library keeps its own place; the others are
        // painted from where they lie.
        if (!is("TacDlgPanelWnd"))
            adapter->UpdateGeometry();
        provider.Children.push_back(std::move(adapter));
    }
    g_dialogChildFlag = false;
    return true;
}

bool AdaptDialogChildren(TacProvider& provider, HWND parent)
{
    for (HWND c = GetTopWindow(parent); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!AdaptDialogChildren(provider, c))
            return false;
        if ((GetWindowLongPtrW(c, GWL_STYLE) & WS_CHILD) && !AdaptDialogChild(provider, c))
            return false;
    }
    return true;
}

void CreateDialogAdapter(HWND wnd, std::unique_ptr<TacDialogWnd>& adapter)
{
    TsSkinManager* sm = DefaultManager;
    if (sm && sm->Active()) {
        UninitializeFlatScrollBars(wnd);
        if (adapter && adapter->Unsubclassed())
            adapter.reset();
        if (!adapter)
            adapter = std::make_unique<TacDialogWnd>(wnd, sm);
        return;
    }
    adapter.reset();
    InitializeFlatScrollBars(wnd);
}

namespace {

void PrepareDialog(TacProvider& provider, HWND wnd)
{
    provider.Handle = wnd;
    if (provider.DialogAdapter || !DefaultManager || !DefaultManager->Active())
        return;
    const std::string name = ClassNameOf(wnd);
    if (name != "#32770" && name != "TMessageForm")
        return;
    CreateDialogAdapter(wnd, provider.DialogAdapter);
    if (!provider.DialogAdapter)
        return;
    provider.DialogAdapter->Provider = &provider;
    if (DialogPos.X != -1 || DialogPos.Y != -1)
        SetWindowPos(wnd, HWND_TOP, DialogPos.X, DialogPos.Y, 0, 0, SWP_NOSIZE | SWP_NOREDRAW | SWP_NOOWNERZORDER);
    AdaptDialogChildren(provider, wnd);
    provider.DialogAdapter->InitDialogState();
    SendSkinCommand(wnd, AC_SKINLOADED, reinterpret_cast<LPARAM>(DefaultManager));
}

} // namespace

bool HookActivatedWindow(HWND wnd)
{
    TsSkinManager* sm = DefaultManager;
    if (!wnd || AskWindow(wnd, AC_QUERYSKINNED) || !sm || FindDialogProvider(wnd))
        return false;
    if (tw::TCustomForm* form = FindFormByHandle(wnd)) {
        // A form of the class library without its provider (the creation
        // hook gives every form one; this is for forms made before it).
        if (form->Tag() == acNoSkinTag || FindProvider(form))
            return false;
        const std::string cls = ClassNameOf(wnd);
        if (cls == "TApplication" || cls == "TQRStandardPreview" || cls == "TfcPopup")
            return false;
        // The library's message box counts as a standard dialog.
        const bool messageForm = cls == "TMessageForm";
        if (!(sm->SkinningRules & (messageForm ? srStdDialogs : srStdForms)))
            return false;
        auto record = std::make_unique<TacProvider>();
        TacProvider& entry = *record;
        ProviderList().push_back(std::move(record));
        auto* provider = new TsSkinProvider(form);
        entry.FormProvider = provider;
        if (DwmCompositionEnabled()) {
            // The compositor shows the form at once: the skin must be on it
            // before, and the whole form drawn again in it.
            if (!provider->CtrlAdapter())
                provider->Loaded();
            SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | WS_VISIBLE);
            RedrawWindow(wnd, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
        }
        provider->SetMakeSkinMenu(false);
        return true;
    }
    if (ClassNameOf(wnd) != "#32770" || !(sm->SkinningRules & srStdDialogs))
        return false;
    // A second dialog over a skinned one stays as it is, unless it is a file
    // dialog opened from it.
    if (VisibleDialogCount() > 0 && !HasDescendantOfClass(wnd, "toolbarwindow32"))
        return false;
    auto provider = std::make_unique<TacProvider>();
    TacProvider& p = *provider;
    ProviderList().push_back(std::move(provider));
    PrepareDialog(p, wnd);
    return true;
}

void SweepDestroyedDialogs()
{
    for (auto& p : ProviderList())
        if (p && p->DialogAdapter && p->DialogAdapter->Unsubclassed())
            p.reset();
}

namespace {

void FreeAllDialogProviders()
{
    auto& list = ProviderList();
    // Freeing may send messages that reach the hook again: take them out first.
    std::vector<std::unique_ptr<TacProvider>> all;
    all.swap(list);
    all.clear();
}

LRESULT CALLBACK DialogHookProc(int code, WPARAM wp, LPARAM lp)
{
    const LRESULT result = CallNextHookEx(SkinHookHandle(), code, wp, lp);
    try {
        if (code == HCBT_CREATEWND && wp)
            HookCreatedWindow(reinterpret_cast<HWND>(wp));
        else if (code == HCBT_DESTROYWND) {
            SweepDestroyedDialogs();
            SweepEndedMenuAdapters();
        }
        else if (code == HCBT_ACTIVATE && wp)
            HookActivatedWindow(reinterpret_cast<HWND>(wp));
    } catch (...) {
        // The window stays unskinned; the failure is reported.
        tw::Application->HandleException(nullptr);
    }
    return result;
}

void BroadcastToDialogs(tw::TMessage& m)
{
    if (m.Msg != SM_ALPHACMD)
        return;
    switch (SkinCommandOf(m.WParam)) {
    case AC_SKINREMOVED:
        FreeAllDialogProviders();
        ClearMnuArray();
        break;
    default:
        // Each skinned dialog hears the command as a form does: the new or
        // changed skin, a cache to drop, an animation to stop.
        for (TacProvider* p : DialogProviders())
            if (p->DialogAdapter && !p->DialogAdapter->Unsubclassed() && IsWindow(p->Handle))
                SendMessageW(p->Handle, SM_ALPHACMD, m.WParam, m.LParam);
        break;
    }
}

// After a skin change every visible foreign dialog is drawn again whole,
// frame and children, in the new skin.
void RedrawDialogs()
{
    for (TacProvider* p : DialogProviders())
        if (p->Handle && IsWindowVisible(p->Handle))
            RedrawWindow(p->Handle, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// The manager takes its hook away: the menu array is emptied and the
// dialogs skinned through the hook get their windows back.
void HookRemoved()
{
    ClearMnuArray();
    SweepEndedMenuAdapters();
    FreeAllDialogProviders();
}

} // namespace

void InstallDialogSkinning()
{
    SkinCBTHookProc = DialogHookProc;
    SkinHookRemoving = HookRemoved;
    BroadcastToForeignWindows = BroadcastToDialogs;
    RedrawAdaptedWindows = RedrawDialogs;
}

void UninstallDialogSkinning()
{
    ClearMnuArray();
    {
        // Each adapter gives its window its procedure back as it goes.
        std::vector<std::shared_ptr<TacMnuWnd>> living;
        living.swap(LivingMenuAdapters());
    }
    SkinCBTHookProc = nullptr;
    SkinHookRemoving = nullptr;
    BroadcastToForeignWindows = nullptr;
    RedrawAdaptedWindows = nullptr;
    FreeAllDialogProviders();
}

} // namespace skin
