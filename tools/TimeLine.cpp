#include "tools/TimeLine.h"

#include <algorithm>

#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "ui/Application.h"

namespace tw {

namespace {
// The skinned gauge's control kind: its default section is the gauge's.
constexpr int32_t kGaugeControlKind = 161;
constexpr TColor kMarkerColor = 0xFF00FF;
} // namespace

TsTimeLine::TsTimeLine(TComponent* owner)
    : TGraphicControl(owner), skinData_(std::make_unique<skin::TsCommonData>(this, false)) {
    skinData_->COC = kGaugeControlKind;
    // It paints every pixel of its area: the parent need not paint there.
    SetControlStyle(ControlStyle() | csOpaque);
    model_.OnChange = [this](int i, bool in, bool out) { DoChange(i, in, out); };
    SetBounds(Left(), Top(), 120, 40);
    model_.SetWidth(Width());
    skinData_->Loaded();
}

TsTimeLine::~TsTimeLine() { model_.OnChange = nullptr; }

void TsTimeLine::Loaded() {
    TGraphicControl::Loaded();
    model_.SetWidth(Width());
    skinData_->Loaded();
}

void TsTimeLine::Resize() {
    // The bar follows the width, so the mouse finds the marks where they are drawn.
    model_.SetWidth(Width());
    TGraphicControl::Resize();
}

void TsTimeLine::SetMinPCR(int64_t v) {
    if (auto err = model_.SetMinPCR(v, IsLoading())) throw EInvalidOperation(RangeErrorText(*err));
    Invalidate();
}

void TsTimeLine::SetMaxPCR(int64_t v) {
    if (auto err = model_.SetMaxPCR(v, IsLoading())) throw EInvalidOperation(RangeErrorText(*err));
    Invalidate();
}

void TsTimeLine::SetForeColor(TColor c) {
    if (c == foreColor_) return;
    foreColor_ = c;
    Invalidate();
}

void TsTimeLine::SetBackColor(TColor c) {
    if (c == backColor_) return;
    backColor_ = c;
    Invalidate();
}

void TsTimeLine::SetBorderStyle(TTimeLineBorderStyle s) {
    if (s == borderStyle_) return;
    borderStyle_ = s;
    Invalidate();
}

void TsTimeLine::SetSliceBarSkin(const std::string& s) {
    if (s == sliceBarSkin_) return;
    sliceBarSkin_ = s;
    skinData_->BGChangedFlag = true;
    Invalidate();
}

void TsTimeLine::SetSliceBarHeight(int v) {
    if (v == model_.SliceBarHeight()) return;
    model_.SetSliceBarHeight(v);
    Invalidate();
}

void TsTimeLine::SetSpaceH(int v) {
    if (v == model_.SpaceH()) return;
    model_.SetSpaceH(v);
    Invalidate();
}

void TsTimeLine::DoChange(int sliceIndex, bool isIn, bool isOut) {
    Invalidate();
    if (OnChange) OnChange(this, sliceIndex, isIn, isOut);
}

void TsTimeLine::WndProc(TMessage& m) {
    if (m.Msg == skin::SM_ALPHACMD) {
        const int sub = HIWORD(m.WParam);
        const bool own = reinterpret_cast<skin::TsSkinManager*>(m.LParam) == skinData_->SkinManager();
        switch (sub) {
        case skin::AC_QUERYSKINNED:
            m.Result = 1;
            return;
        case skin::AC_QUERYAPPLICATION:
            m.Result = reinterpret_cast<LRESULT>(Application);
            return;
        case skin::AC_SKINLOADED:
        case skin::AC_SKINREMOVED:
        case skin::AC_SKINREFRESH:
            if (own) {
                skin::CommonWndProc(m, skinData_.get());
                if (sub != skin::AC_SKINLOADED) Invalidate();
                return;
            }
            break;
        case skin::AC_REFRESHSTATE:
            // The parent has finished updating: the control waited for it.
            if (skinData_->Updating) {
                skinData_->Updating = false;
                Invalidate();
                return;
            }
            break;
        default:
            break;
        }
    }
    if (!skin::ControlIsReady(this) || !skinData_->Skinned()) {
        // Without a skin the control is a plain area that takes no mouse.
        TGraphicControl::WndProc(m);
        return;
    }
    if (m.Msg == WM_ERASEBKGND) return;
    if (!skin::CommonWndProc(m, skinData_.get())) TGraphicControl::WndProc(m);
    const bool designing = (ComponentState() & csDesigning) != 0;
    if (designing) return;
    switch (m.Msg) {
    case WM_MOUSEMOVE: {
        const int x = static_cast<short>(LOWORD(m.LParam)), y = static_cast<short>(HIWORD(m.LParam));
        if (model_.MouseMove(x, y, (m.WParam & MK_LBUTTON) != 0)) Invalidate();
        break;
    }
    case CM_MOUSEENTER:
        if (!(GetKeyState(VK_LBUTTON) & 0x8000)) skinData_->MouseAbove = true;
        break;
    case CM_MOUSELEAVE:
        if (!(GetKeyState(VK_LBUTTON) & 0x8000)) {
            skinData_->MouseAbove = false;
            model_.MouseLeave();
            Invalidate();
        }
        break;
    default:
        break;
    }
}

void TsTimeLine::Paint() {
    if (Width() < 1 || Height() < 1) return;
    const TRect r(0, 0, Width(), Height());
    if (!skinData_->Skinned()) {
        std::unique_ptr<TBitmap> bmp(skin::CreateBmp24(Width(), Height()));
        TCanvas& c = bmp->Canvas();
        c.Brush().SetColor(clBlack);
        c.FillRect(r);
        TRect inner = r;
        if (borderStyle_ == tlbsSingle) inner = TRect(1, 1, Width() - 1, Height() - 1);
        c.Brush().SetColor(backColor_);
        c.FillRect(inner);
        c.Brush().SetColor(foreColor_);
        c.FillRect(inner);
        Canvas().Draw(0, 0, bmp.get());
        return;
    }
    if (skinData_->Updating) {
        // Nothing is drawn while the parent is still updating; the end of
        // its update repaints the control.
        Canvas().SetPixel(0, 0, kMarkerColor);
        return;
    }
    skinData_->InitCacheBmp24();
    TBitmap& cache = *skinData_->CacheBmp();
    skin::PaintControlItem(*skinData_, skinData_->GetParentCacheInfo(), true, 0, r, TPoint{Left(), Top()}, cache, true);
    DrawSliceBar(cache);
    skinData_->BGChangedFlag = false;
    skin::PaintCacheBorder(*skinData_, 0);
    Canvas().Draw(0, 0, &cache);
    // Every paint builds the cache anew: no bitmap of the control's size is
    // held between paints.
    skinData_->FreeCacheBmp();
}

void TsTimeLine::DrawSliceBar(TBitmap& bmp) {
    skin::TsSkinManager* sm = skinData_->SkinManager();
    if (!sm) return;
    auto sectionOf = [sm](const std::string& name) {
        const std::string section = name.empty() ? "PROGRESSH" : name;
        return std::make_pair(section, sm->GetSkinIndex(section));
    };
    const int barH = model_.SliceBarHeight();
    const int spaceH = model_.SpaceH();
    auto paintBlock = [&](const std::pair<std::string, int>& sec, int x, int w) {
        if (w <= 0 || barH <= 0 || !sm->SkinIndexValid(sec.second)) return;
        std::unique_ptr<TBitmap> item(skin::CreateBmp24(w, barH));
        const TRect ir(0, 0, w, barH);
        skin::PaintItem(sm, sec.second, sec.first, skin::MakeCacheInfo(bmp.PixelView(), x, 2), true, 0, ir,
                        TPoint{x, 2}, item->PixelView());
        bmp.Canvas().Draw(x, 2, item.get());
    };
    paintBlock(sectionOf(sliceBarBackSkin_), spaceH, model_.BarWidth());
    const auto slice = sectionOf(sliceBarSkin_);
    for (int i = 0; i < model_.SliceCount(); ++i) {
        const TSliceBlock b = model_.SliceBlock(i);
        paintBlock(slice, b.X, b.Width);
    }
    TCanvas& c = bmp.Canvas();
    // The ticks in black; the labels in the control's own font (its colour
    // included), so that a window can give the scale the colour its
    // background needs.
    c.Pen().SetColor(clBlack);
    c.Brush().SetStyle(bsClear);
    for (const TScaleTick& t : model_.ScaleTicks()) {
        c.MoveTo(t.X, t.Y1);
        c.LineTo(t.X, t.Y2);
        if (!t.Label.empty()) DrawTickLabel(c, t.Pcr, t.Y2, t.FontSize);
    }
    DrawPointer(c);
}

void TsTimeLine::DrawTickLabel(TCanvas& c, int64_t pcr, int y, int fontSize) {
    const std::string text = TickLabelText(pcr);
    c.Font().Assign(Font());
    c.Font().SetName("Arial");
    c.Font().SetSize(fontSize);
    c.TextOut(std::max(0, model_.PcrToX(pcr) - c.TextWidth(text) / 2), y, text);
}

void TsTimeLine::DrawPointer(TCanvas& c) {
    if (!model_.MouseOverBar()) return;
    const int barH = model_.SliceBarHeight();
    c.Pen().SetColor(clWhite);
    const TSliceHit& hot = model_.Hot();
    if (hot.Index < 0) {
        const int x = model_.LastMouseX();
        c.MoveTo(x, 2);
        c.LineTo(x, barH);
        c.MoveTo(x - 1, 2);
        c.LineTo(x + 2, 2);
        c.MoveTo(x - 1, barH);
        c.LineTo(x + 2, barH);
        return;
    }
    const int x = hot.EdgeX;
    const int d = hot.IsIn ? 3 : -3;
    c.Polyline({TPoint{x + d, 2}, TPoint{x, 2}, TPoint{x, barH}, TPoint{x + d, barH}});
}

} // namespace tw
