#pragma once
// Windows only. The skinned page control and its sheets: the system tab
// control keeps the keyboard and the clicks; tabs, frame and sheets are
// painted from the skin, and a page change fades in over the old picture
// when the skin manager's page-change animation asks for it.
#include "skin/controls/sWindowSkin.h"
#include "ui/ComCtrls.h"

namespace skin {

class TsTabSheet : public TsSkinnedControl<tw::TTabSheet> {
public:
    explicit TsTabSheet(tw::TComponent* owner) : TsSkinnedControl(owner, COC_TsTabSheet) {}

protected:
    void Paint() override;
};

class TsPageControl : public TsSkinnedControl<tw::TPageControl> {
public:
    explicit TsPageControl(tw::TComponent* owner) : TsSkinnedControl(owner, COC_TsPageControl) {}
    // As the class library's, with the page-change animation.
    void SetActivePage(tw::TTabSheet* page);
    void SetActivePageIndex(int index);
    // The tab under the mouse (-1 for none), shown hot.
    int HotTab() const { return hotTab_; }

protected:
    bool SkinnedMessage(tw::TMessage& m) override;
    void PaintSkin(HDC dc) override;

private:
    // Milliseconds of the page-change fade; 0 when there is none.
    uint32_t PageChangeTime() const;
    void SetHotTab(int tab);
    int hotTab_ = -1;
};

} // namespace skin
