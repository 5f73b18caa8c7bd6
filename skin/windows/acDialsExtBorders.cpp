// The dialog adapter's extended border: the layered window around the
// dialog, its picture made from the frame, and its title's hit test.
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
#include "skin/windows/acDialsInternal.h"

namespace skin {

using namespace dials_detail;

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
    const HWND wnd = Handle();
    if (!borderForm_ || !IsWindowVisible(wnd))
        return;
    borderForm_->SetActive(active_);
    // Without layered windows there is nothing to show it with: the dialog
    // takes its frame back (the new region may free the adapter).
    if (!borderForm_->UpdateBorderWindow(true)) {
        SetExtendedBorders(false);
        UpdateDialogRegion();
        RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
    }
}

bool TacDialogWnd::ExtendedActive() const
{
    // A zoomed or minimized dialog has no border window (it is hidden then).
    return borderForm_ && !IsZoomed(Handle()) && !IsIconic(Handle()) && SkinShown();
}

bool TacDialogWnd::UseExt() const { return ExtendedActive() && manager_->SkinData.BorderMode == 1; }

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
    if (!ExtendedActive() || (!CacheFits() && !PaintDialogCache()) || !cache_)
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

int TacDialogWnd::BorderTitleHitTest(POINT screen)
{
    if (!ExtendedActive())
        return 0;
    const int code = DialogHitTest(WindowPoint(MAKELPARAM(screen.x, screen.y)));
    // The edges, the client and what lies beside are the border window's.
    if (code == htClient || code == htNowhere || code == HTBORDER || (code >= htLeft && code <= htBottomRight))
        return 0;
    // As on the dialog's own title: the button under the mouse is hot, and
    // leaving the pressed button ends the press.
    // Repainting may free the adapter: only the code is used after it.
    if (IsTitleButton(code)) {
        if (!pressed_)
            SetHotButton(code);
    } else if (hot_) {
        SetHotButton(0);
    }
    return code;
}

} // namespace skin
