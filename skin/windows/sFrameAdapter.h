#pragma once
// Skins a frame (a container control placed on forms that paints nothing of
// its own) from outside: dropped on the frame it gives it a skin link
// (section "GROUPBOX"), takes over its message procedure while it exists,
// fills its background with the section's colour while skinned, answers as a
// skinned container and gives it the skin's scroll bars.
#include <windows.h>

#include <memory>

#include "base/Object.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/windows/acSBUtils.h"
#include "ui/Controls.h"

namespace skin {

inline constexpr int32_t COC_TsFrameAdapter = 226;

class TsFrameAdapter : public tw::TComponent {
public:
    // owner: the frame. Anything but a windowed control that is not a form
    // leaves the adapter without a frame: it does nothing.
    explicit TsFrameAdapter(tw::TComponent* owner);
    ~TsFrameAdapter() override;

    TsCommonData& SkinData() { return *skinData_; }
    tw::TWinControl* Frame() const { return frame_; }
    TacScrollWnd* ScrollAdapter() const { return scroll_.get(); }
    void Loaded() override;
    // The frame's colour while skinned (the section's, or the parent's for a
    // fully transparent section).
    tw::TColor SkinColor() const;

private:
    void WndProc(tw::TMessage& m);
    bool OwnManager(LPARAM lp) const;
    std::unique_ptr<TsCommonData> skinData_;
    tw::TWinControl* frame_ = nullptr;
    tw::TWndMethod old_;
    std::unique_ptr<TacScrollWnd> scroll_;
    TSolidBrush brush_;
};

} // namespace skin
