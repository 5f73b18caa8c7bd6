#include "skin/controls/sPanel.h"

#include "skin/controls/sControlCache.h"
#include "skin/engine/SkinText.h"

namespace skin {

TsPanel::TsPanel(tw::TComponent* owner) : tw::TPanel(owner), SkinData(this, true)
{
    SkinData.COC = COC_TsPanel;
    SkinData.SetDefaultSection();
}

TsPanel::~TsPanel() { StopFadeEffect(fade_); }

void TsPanel::Loaded()
{
    tw::TPanel::Loaded();
    SkinData.Loaded();
}

void TsPanel::CreateWindowHandle(const tw::TCreateParams& p)
{
    tw::TPanel::CreateWindowHandle(p);
    SkinData.Loaded();
}

void TsPanel::WndProc(tw::TMessage& m)
{
    if (CommonWndProc(m, &SkinData)) return;
    if (AnswerControlCommand(m, SkinData, fade_)) return;
    if (m.Msg == WM_ERASEBKGND && SkinData.Skinned()) {
        m.Result = 1;
        return;
    }
    tw::TPanel::WndProc(m);
}

void TsPanel::Paint()
{
    if (!SkinData.Skinned()) {
        tw::TPanel::Paint();
        return;
    }
    if (UpdateControlCache(SkinData, 0, paintedState_) && showCaption_ && !text_.empty()) {
        tw::TCanvas& c = SkinData.CacheBmp()->Canvas();
        c.Font().Assign(Font());
        TRect r = ClientRect();
        const int inset = BorderWidth() + SkinData.BorderMaxWidth();
        r = TRect(r.Left + inset, r.Top + inset, r.Right - inset, r.Bottom - inset);
        UINT flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS;
        flags |= alignment_ == tw::taCenter ? DT_CENTER : alignment_ == tw::taRightJustify ? DT_RIGHT : DT_LEFT;
        DrawControlText(&c, text_.c_str(), Enabled(), r, flags, &SkinData, false);
    }
    DrawControlCache(SkinData, Canvas().Handle(), 0, 0);
}

} // namespace skin
