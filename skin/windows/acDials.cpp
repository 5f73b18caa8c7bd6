#include "skin/windows/acDials.h"

#include <windowsx.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/WinText.h"
#include "ui/WindowTable.h"
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
#include "skin/windows/acDialsInternal.h"

namespace skin {

using namespace dials_detail;

namespace {

constexpr const wchar_t* kAdapterProperty = L"ACSBSC";
// The procedure an adapter found when it took the window over. It outlives
// the adapter while the adapter's procedure cannot leave the chain (another
// subclasser sits above it): the messages that still pass through go on to
// it, and the window's own clean-up at WM_NCDESTROY still runs.
constexpr const wchar_t* kSavedProcProperty = L"ACSBSCPROC";

// The adapter of each window, as the property names it: the adapter's
// procedure asks on every message, and a property read is slow (see
// WindowTable.h).
tw::TWindowTable<TacMainWnd>& Adapters()
{
    static auto* table = new tw::TWindowTable<TacMainWnd>;
    return *table;
}

// 1 while AdaptDialogChild makes an adapter: edit-like adapters then know
// they sit in a foreign dialog.
bool DialogChildFlag = false;

// Slots are never erased while the hook is there; a provider that goes
// leaves an empty slot, which every walk skips.
std::vector<std::unique_ptr<TacProvider>>& ProviderList()
{
    static std::vector<std::unique_ptr<TacProvider>> list;
    return list;
}


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
    DialogChild = DialogChildFlag;
    TakeOver();
    SetPropW(wnd_, kAdapterProperty, this);
    Adapters().Set(wnd_, this);
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
            // messages; the owner frees the adapter later. What the adapter
            // does as its window ends may free it already.
            const TLife life(*self);
            self->WindowEnds();
            if (life.Alive())
                self->Unsubclass(false);
            keep->Saved(m);
            return;
        }
        if (keep->Control->HandleIfAllocated() != self->wnd_) {
            // The class library destroyed the adapter's window without a
            // word (the control made a new one): the adapter has ended, as
            // it would with a window procedure of its own.
            const TLife life(*self);
            self->WindowEnds();
            if (life.Alive())
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

TacMainWnd::~TacMainWnd()
{
    Unsubclass(true);
    Adapters().RemoveAll(this);
}

TacMainWnd* TacMainWnd::Of(HWND wnd) { return Adapters().Find(wnd); }

void TacMainWnd::Unsubclass(bool repaint)
{
    if (unsubclassed_ || (!saved_ && !methodLink_))
        return;
    unsubclassed_ = true;
    if (methodLink_)
        RestoreWindowProc();
    if (!IsWindow(wnd_)) {
        Adapters().Remove(wnd_, this);
        return;
    }
    // On top of the chain the window gets its procedure back; under another
    // subclasser the adapter's procedure stays and passes every message on
    // to the saved one (kSavedProcProperty) until the window ends.
    // A later adapter that took over this one's place keeps it.
    const bool place = Of(wnd_) == this || !Of(wnd_);
    if (saved_ && place && GetWindowLongPtrW(wnd_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&Proc)) {
        SetWindowLongPtrW(wnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved_));
        RemovePropW(wnd_, kSavedProcProperty);
    }
    if (Of(wnd_) == this) {
        RemovePropW(wnd_, kAdapterProperty);
        Adapters().Remove(wnd_, this);
    }
    ReleaseMark();
    RestoreColors();
    if (repaint && IsWindowVisible(wnd_))
        RedrawWindow(wnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

TacMainWnd::TNextProc TacMainWnd::NextProc() const
{
    TNextProc next;
    next.wnd_ = wnd_;
    next.saved_ = saved_;
    next.link_ = methodLink_;
    return next;
}

LRESULT TacMainWnd::TNextProc::operator()(UINT msg, WPARAM wp, LPARAM lp) const
{
    if (link_) {
        tw::TMessage m{msg, wp, lp, 0};
        link_->Saved(m);
        return m.Result;
    }
    return saved_ ? CallWindowProcW(saved_, wnd_, msg, wp, lp) : DefWindowProcW(wnd_, msg, wp, lp);
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
        // messages, and the hook frees the adapter later. What the adapter
        // does as its window ends may free it already.
        const TLife life(*self);
        const WNDPROC saved = self->saved_;
        self->WindowEnds();
        if (life.Alive())
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
            // A click reaches the dialog, which may take the skin away.
            const TLife life(*this);
            const LRESULT r = CallSaved(msg, wp, lp);
            if (life.Alive() && IsWindow(wnd))
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
    if (!wnd || !sm || GetWndClassName(wnd) != "#32768")
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

void ForEachDialogProvider(const std::function<void(TacProvider&)>& step)
{
    // By index, read afresh: slots are only appended or emptied while the
    // hook is there, and freeing them all empties the list.
    auto& list = ProviderList();
    for (size_t i = 0; i < list.size(); ++i)
        if (TacProvider* p = list[i].get())
            step(*p);
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

TacProvider* FindProvider(HWND wnd)
{
    for (const auto& p : ProviderList())
        if (p && p->Handle == wnd)
            return p.get();
    return nullptr;
}

bool HasDescendantOfClass(HWND wnd, const std::string& lowerName)
{
    for (HWND c = GetTopWindow(wnd); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (Lower(GetWndClassName(c)) == lowerName || HasDescendantOfClass(c, lowerName))
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
    DialogChildFlag = true;
    const std::string name = Lower(GetWndClassName(wnd));
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
    DialogChildFlag = false;
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
    const std::string name = GetWndClassName(wnd);
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

void AttachFormProvider(TacProvider& provider, tw::TCustomForm* form)
{
    auto* skinProvider = new TsSkinProvider(form);
    provider.FormProvider = skinProvider;
    if (DwmCompositionEnabled()) {
        // The compositor shows the form at once: the skin must be on it
        // before, and the whole form drawn again in it.
        if (!skinProvider->CtrlAdapter())
            skinProvider->Loaded();
        const HWND wnd = form->Handle();
        SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | WS_VISIBLE);
        RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    }
    skinProvider->SetMakeSkinMenu(false);
}

bool HookActivatedWindow(HWND wnd)
{
    TsSkinManager* sm = DefaultManager;
    if (!wnd || AskWindow(wnd, AC_QUERYSKINNED) || !sm || FindProvider(wnd))
        return false;
    if (tw::TCustomForm* form = FindFormByHandle(wnd)) {
        // A form of the class library without its provider (the creation
        // hook gives every form one; this is for forms made before it).
        if (form->Tag() == acNoSkinTag || FindProvider(form))
            return false;
        const std::string cls = GetWndClassName(wnd);
        if (cls == "TApplication" || cls == "TQRStandardPreview" || cls == "TfcPopup")
            return false;
        // The library's message box counts as a standard dialog.
        const bool messageForm = cls == "TMessageForm";
        if (!(sm->SkinningRules & (messageForm ? srStdDialogs : srStdForms)))
            return false;
        auto record = std::make_unique<TacProvider>();
        TacProvider& entry = *record;
        ProviderList().push_back(std::move(record));
        AttachFormProvider(entry, form);
        return true;
    }
    if (GetWndClassName(wnd) != "#32770" || !(sm->SkinningRules & srStdDialogs))
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

void BroadcastToTopChildren(HWND wnd, const tw::TMessage& m)
{
    for (HWND c = GetTopWindow(wnd); c; c = GetWindow(c, GW_HWNDNEXT))
        SendMessageW(c, m.Msg, m.WParam, m.LParam);
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
        ForEachDialogProvider([&](TacProvider& p) {
            if (p.DialogAdapter && !p.DialogAdapter->Unsubclassed() && IsWindow(p.Handle))
                SendMessageW(p.Handle, SM_ALPHACMD, m.WParam, m.LParam);
        });
        break;
    }
}

// After a skin change every visible foreign dialog is drawn again whole,
// frame and children, in the new skin.
void RedrawDialogs()
{
    ForEachDialogProvider([](TacProvider& p) {
        if (p.Handle && IsWindowVisible(p.Handle))
            RedrawWindow(p.Handle, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    });
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
