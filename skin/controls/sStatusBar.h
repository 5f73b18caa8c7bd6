#pragma once
// The skinned status bar: the STATUSBAR section behind the panels' texts
// (or the simple text) in the section's font colour.
#include "skin/engine/sCommonData.h"
#include "skin/engine/sFade.h"
#include "ui/ComCtrls.h"

namespace skin {

class TsStatusBar : public tw::TStatusBar {
public:
    explicit TsStatusBar(tw::TComponent* owner);
    ~TsStatusBar() override;
    TsCommonData SkinData;
    void WndProc(tw::TMessage& m) override;
    void Loaded() override;

protected:
    void CreateWindowHandle(const tw::TCreateParams& p) override;

private:
    // The cached background with the texts over it, onto dc.
    void PaintSkinned(HDC dc);
    TsFadeTimer* fade_ = nullptr;
    int paintedState_ = -1;
};

} // namespace skin
