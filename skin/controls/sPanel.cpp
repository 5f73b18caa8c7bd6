#include "skin/controls/sPanel.h"

#include "skin/controls/sControlCache.h"
#include "skin/engine/link/SkinText.h"

namespace skin {

TsPanel::TsPanel(tw::TComponent* owner) : TsSkinnedControl(owner, COC_TsPanel) {}

void TsPanel::Paint()
{
    if (!SkinData.Skinned()) {
        tw::TPanel::Paint();
        return;
    }
    UpdateControlCache(SkinData, 0, paintedState_);
    DrawControlCache(SkinData, Canvas().Handle(), 0, 0);
    // The caption goes over the copy, so the cache stays the background the
    // children take and a new caption needs no new cache.
    if (!showCaption_ || text_.empty()) return;
    tw::TCanvas& c = Canvas();
    c.Font().Assign(Font());
    const TRect client = ClientRect();
    const int inset = BorderWidth() + SkinData.BorderMaxWidth();
    const TRect r(client.Left + inset, client.Top + inset, client.Right - inset, client.Bottom - inset);
    UINT flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS;
    flags |= alignment_ == tw::taCenter ? DT_CENTER : alignment_ == tw::taRightJustify ? DT_RIGHT : DT_LEFT;
    const std::string shown = CutText(c, text_, r.Width());
    WriteControlText(&c, shown.c_str(), Enabled(), r, flags, &SkinData, false);
}

} // namespace skin
