#include "skin/controls/sGroupBox.h"

#include "skin/controls/sControlCache.h"
#include "skin/engine/SkinMessages.h"
#include "skin/engine/SkinText.h"

namespace skin {

TsGroupBox::TsGroupBox(tw::TComponent* owner) : tw::TGroupBox(owner), SkinData(this, true)
{
    SkinData.COC = COC_TsGroupBox;
    SkinData.SetDefaultSection();
}

TsGroupBox::~TsGroupBox() { StopFadeEffect(fade_); }

void TsGroupBox::Loaded()
{
    tw::TGroupBox::Loaded();
    SkinData.Loaded();
}

void TsGroupBox::CreateWindowHandle(const tw::TCreateParams& p)
{
    tw::TGroupBox::CreateWindowHandle(p);
    SkinData.Loaded();
}

void TsGroupBox::WndProc(tw::TMessage& m)
{
    if (CommonWndProc(m, &SkinData)) return;
    if (m.Msg == SM_ALPHACMD && SkinCommandOf(m.WParam) == AC_QUERYCAPTIONHEIGHT) {
        m.Result = Canvas().HandleAllocated() ? Canvas().TextHeight("0") : std::abs(Font().Height());
        return;
    }
    if (AnswerControlCommand(m, SkinData, fade_)) return;
    if (m.Msg == WM_ERASEBKGND && SkinData.Skinned()) {
        m.Result = 1;
        return;
    }
    tw::TGroupBox::WndProc(m);
}

void TsGroupBox::Paint()
{
    if (!SkinData.Skinned()) {
        tw::TGroupBox::Paint();
        return;
    }
    if (UpdateControlCache(SkinData, 0, paintedState_) && !text_.empty()) {
        tw::TCanvas& c = SkinData.CacheBmp()->Canvas();
        c.Font().Assign(Font());
        const SIZE ts = c.TextExtent(text_);
        DrawControlText(&c, text_.c_str(), Enabled(), TRect(8, 0, 8 + ts.cx + 4, ts.cy), DT_CENTER | DT_SINGLELINE,
                        &SkinData, false);
    }
    DrawControlCache(SkinData, Canvas().Handle(), 0, 0);
}

} // namespace skin
