// The glow windows: one layered, click-through tool window per shown halo,
// kept in a list addressed by glow id.
#include <windows.h>

#include <cstring>
#include <vector>

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "ui/Forms.h"
#include "ui/Graphics.h"
#include "ui/Guards.h"

namespace skin {

TUpdateLayeredWindow (*GlowLayeredEntry)() = UpdateLayeredWindowEntry;

namespace {

// A hidden glow leaves an empty slot so that the other ids stay valid.
std::vector<std::unique_ptr<TacGlowEffect>>& Glows()
{
    static std::vector<std::unique_ptr<TacGlowEffect>> glows;
    return glows;
}

// The halo's picture as a DIB section the layered window takes its pixels from.
void CopyToBitmap(const TPixelImage& pic, tw::TBitmap& bmp)
{
    bmp.SetPixelFormat(tw::pf32bit);
    bmp.SetSize(pic.Width(), pic.Height());
    GdiFlush();
    for (int y = 0; y < pic.Height(); ++y)
        std::memcpy(bmp.ScanLine(y), pic.View().Row(y), static_cast<size_t>(pic.Width()) * 4);
}

} // namespace

TacGlowEffect::TacGlowEffect(TsSkinManager& sm) : Manager(sm) {}

TacGlowEffect::~TacGlowEffect()
{
    if (!window_) return;
    window_->WindowProc = savedProc_;
    if (FreeAtOnce)
        delete window_;
    else
        window_->Release();   // may be inside one of the window's own messages
    window_ = nullptr;
}

void TacGlowEffect::CreateGlowBmp(int width, int height) { picture_ = CreateGlowPicture(Manager, MaskIndex, width, height); }

HWND TacGlowEffect::WindowHandle() const { return window_ ? window_->HandleIfAllocated() : nullptr; }

bool TacGlowEffect::Show(const TRect& r, const TRect& clip, HWND host)
{
    if (window_) return true;
    const TUpdateLayeredWindow update = GlowLayeredEntry ? GlowLayeredEntry() : nullptr;
    if (!update) return false;
    const TGlowPlacement p = GlowPlacement(r, clip, Manager.MaskWidthLeft(MaskIndex), Manager.MaskWidthTop(MaskIndex),
                                           Manager.MaskWidthRight(MaskIndex), Manager.MaskWidthBottom(MaskIndex), Margin);
    if (!p.Valid()) return false;
    CreateGlowBmp(p.FullWidth, p.FullHeight);
    const TPixelImage cut = CutGlowPicture(picture_, p);
    picture_ = TPixelImage();
    if (cut.View().Empty()) return false;   // a halo too large for any picture
    tw::TBitmap bmp;
    CopyToBitmap(cut, bmp);

    auto* form = new tw::TForm(nullptr);
    // The library-wide tag: a halo is never skinned as a form itself.
    form->SetTag(-98);
    window_ = form;
    savedProc_ = form->WindowProc;
    // Clicks go through the halo to whatever lies below it.
    form->WindowProc = [saved = savedProc_](tw::TMessage& m) {
        if (m.Msg == WM_NCHITTEST)
            m.Result = HTTRANSPARENT;
        else
            saved(m);
    };
    form->SetBorderStyle(tw::bsNone);
    if (host && (GetWindowLongPtrW(host, GWL_EXSTYLE) & WS_EX_TOPMOST)) form->SetFormStyle(tw::fsStayOnTop);
    form->SetBounds(p.Pos.X, p.Pos.Y, p.Width, p.Height);
    HWND wnd = form->Handle();
    if (!wnd) return false;
    SetWindowPos(wnd, nullptr, p.Pos.X, p.Pos.Y, p.Width, p.Height, SWP_NOZORDER | SWP_NOACTIVATE);
    // Transparent to the mouse as well: answering HTTRANSPARENT alone is
    // not enough where the system picks the window under the pointer itself
    // (under Wine a real click on a glowing close button was lost).
    SetWindowLongPtrW(wnd, GWL_EXSTYLE,
                      GetWindowLongPtrW(wnd, GWL_EXSTYLE) | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT);
    SIZE size{p.Width, p.Height};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    tw::TWindowDC screen;
    update(wnd, screen, nullptr, &size, bmp.Canvas().Handle(), &origin, 0, &blend, ULW_ALPHA);
    ShowWindow(wnd, SW_SHOWNOACTIVATE);
    return true;
}

int ShowGlow(const TRect& r, const TRect& clip, const std::string& section, TsSkinManager* sm, HWND host, int margin,
             const std::string& glowName)
{
    if (!sm) sm = DefaultManager;
    if (!sm || !GlowLayeredEntry || !GlowLayeredEntry()) return -1;
    const int mask = sm->GetMaskIndexByName(section, glowName + "0");
    if (mask < 0) return -1;
    auto effect = std::make_unique<TacGlowEffect>(*sm);
    effect->MaskIndex = mask;
    effect->Margin = margin;
    if (!effect->Show(r, clip, host)) return -1;
    Glows().push_back(std::move(effect));
    return static_cast<int>(Glows().size()) - 1;
}

void HideGlow(int id)
{
    auto& glows = Glows();
    if (id < 0 || id >= static_cast<int>(glows.size())) return;
    glows[static_cast<size_t>(id)].reset();
}

void ClearGlows(bool managerDestroying)
{
    // Taken out of the list first: freeing a window may send messages that
    // ask for glows again.
    std::vector<std::unique_ptr<TacGlowEffect>> gone;
    gone.swap(Glows());
    for (auto& g : gone)
        if (g) g->FreeAtOnce = managerDestroying;
}

HWND GlowWindow(int id)
{
    auto& glows = Glows();
    if (id < 0 || id >= static_cast<int>(glows.size()) || !glows[static_cast<size_t>(id)]) return nullptr;
    return glows[static_cast<size_t>(id)]->WindowHandle();
}

} // namespace skin
