#include "skin/controls/sGroupBox.h"

#include <algorithm>

#include "skin/controls/sControlCache.h"
#include "skin/controls/sWindowSkin.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/SkinText.h"

namespace skin {

namespace {

// Where the caption starts, from the box's left edge.
constexpr int kCaptionIndent = 8;

} // namespace

TsGroupBox::TsGroupBox(tw::TComponent* owner) : TsSkinnedControl(owner, COC_TsGroupBox) {}

int TsGroupBox::CaptionHeight()
{
    tw::TCanvas& c = Canvas();
    c.Font().Assign(Font());
    return c.TextExtent(text_.empty() ? "0" : text_).cy;
}

bool TsGroupBox::SkinnedMessage(tw::TMessage& m)
{
    if (m.Msg != SM_ALPHACMD || SkinCommandOf(m.WParam) != AC_QUERYCAPTIONHEIGHT) return false;
    m.Result = Canvas().HandleAllocated() ? Canvas().TextHeight("0") : std::abs(Font().Height());
    return true;
}

void TsGroupBox::Paint()
{
    if (!SkinData.Skinned()) {
        tw::TGroupBox::Paint();
        return;
    }
    const int w = Width(), h = Height();
    const int top = std::min(CaptionHeight(), h);
    NoteCacheLook(SkinData, std::to_string(top), paintedLook_);
    tw::TCanvas& c = Canvas();
    PaintThroughCache(SkinData, w, h, c.Handle(), [&](tw::TBitmap& cache) {
        // The caption stands on what lies under the box; the section's
        // frame starts below it, as the children do.
        const TCacheInfo parent = SkinData.GetParentCacheInfo();
        FillFromParent(cache, parent, TRect{0, 0, w, top});
        if (top < h) PaintControlItem(SkinData, parent, true, 0, TRect{0, top, w, h}, {0, 0}, cache, false);
    });
    // The caption over the copy: the cache stays the children's background.
    if (text_.empty()) return;
    c.Font().Assign(Font());
    const SIZE ts = c.TextExtent(text_);
    const TRect r(kCaptionIndent, 0, kCaptionIndent + ts.cx + 4, ts.cy);
    // The caption stands on the parent: it takes the parent's text colour,
    // not the one the section has for its own (darker or lighter) inside.
    TColor color = 0;
    if (Enabled() && !SkinData.CustomFont() && ParentSkinFontColor(this, color)) {
        c.Font().SetColor(color);
        c.Brush().SetStyle(tw::bsClear);
        c.TextRect(r, r.Left, r.Top, text_);
        return;
    }
    DrawControlText(&c, text_.c_str(), Enabled(), r, DT_LEFT | DT_SINGLELINE, &SkinData, false);
}

} // namespace skin
