#pragma once
// The part every skinned control of this folder shares: its skin link with
// the control kind, the common handler first, then the control's own skin
// messages, then the shared sub-command answers, and the fade timer field.
#include <cstdint>
#include <string>

#include "skin/controls/sControlCache.h"
#include "skin/engine/effects/sFade.h"
#include "skin/engine/link/sCommonData.h"

namespace skin {

template <class Base> class TsSkinnedControl : public Base {
public:
    TsSkinnedControl(tw::TComponent* owner, int32_t kind) : Base(owner), SkinData(this, true)
    {
        SkinData.COC = kind;
        SkinData.SetDefaultSection();
    }
    ~TsSkinnedControl() override { StopFadeEffect(fade_); }
    TsCommonData SkinData;

    void WndProc(tw::TMessage& m) override
    {
        if (CommonWndProc(m, &SkinData)) return;
        if (SkinnedMessage(m)) return;
        if (AnswerControlCommand(m, SkinData, fade_)) return;
        // The cache covers the whole window.
        if (m.Msg == WM_ERASEBKGND && SkinData.Skinned()) {
            m.Result = 1;
            return;
        }
        Base::WndProc(m);
    }
    void Loaded() override
    {
        Base::Loaded();
        SkinData.Loaded();
    }

protected:
    // The control's own handling before the shared one; true when done.
    virtual bool SkinnedMessage(tw::TMessage&) { return false; }
    TsFadeTimer* fade_ = nullptr;
    int paintedState_ = -1;
    std::string paintedLook_;
};

} // namespace skin
