#pragma once
// The skinned panel: the PANEL section (or the one it is given) painted
// into its cache, its caption in the section's font colour.
#include "skin/engine/sCommonData.h"
#include "skin/engine/sFade.h"
#include "ui/ExtCtrls.h"

namespace skin {

class TsPanel : public tw::TPanel {
public:
    explicit TsPanel(tw::TComponent* owner);
    ~TsPanel() override;
    TsCommonData SkinData;
    void WndProc(tw::TMessage& m) override;
    void Loaded() override;

protected:
    void Paint() override;
    void CreateWindowHandle(const tw::TCreateParams& p) override;

private:
    TsFadeTimer* fade_ = nullptr;
    int paintedState_ = -1;
};

} // namespace skin
