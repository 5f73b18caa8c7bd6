#pragma once
// The skinned group box: the GROUPBOX section painted into its cache, the
// caption in the section's font colour.
#include "skin/engine/sCommonData.h"
#include "skin/engine/sFade.h"
#include "ui/StdCtrls.h"

namespace skin {

class TsGroupBox : public tw::TGroupBox {
public:
    explicit TsGroupBox(tw::TComponent* owner);
    ~TsGroupBox() override;
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
