#include "skin/controls/sGroupBox.h"

#include "skin/controls/sControlCache.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/link/SkinText.h"

namespace skin {

TsGroupBox::TsGroupBox(tw::TComponent* owner) : TsSkinnedControl(owner, COC_TsGroupBox) {}

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
    UpdateControlCache(SkinData, 0, paintedState_);
    DrawControlCache(SkinData, Canvas().Handle(), 0, 0);
    // The caption over the copy: the cache stays the children's background.
    if (text_.empty()) return;
    tw::TCanvas& c = Canvas();
    c.Font().Assign(Font());
    const SIZE ts = c.TextExtent(text_);
    DrawControlText(&c, text_.c_str(), Enabled(), TRect(8, 0, 8 + ts.cx + 4, ts.cy), DT_CENTER | DT_SINGLELINE,
                    &SkinData, false);
}

} // namespace skin
