#pragma once
// Skins a frame (a container control placed on forms that paints nothing of
// its own) from outside: dropped on the frame it gives it a skin link
// (section "GROUPBOX"), takes over its message procedure while it exists,
// paints its background from a cached picture of the section, answers as a
// skinned container, passes the skin's messages on to the frame's children
// and gives it the skin's scroll bars.
#include <windows.h>

#include <memory>

#include "base/Object.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/windows/acSBUtils.h"
#include "ui/Controls.h"
#include "ui/Forms.h"

namespace skin {

inline constexpr int32_t COC_TsFrameAdapter = 226;

// The text shown when the adapter is dropped on anything but a frame.
inline constexpr const char* kFrameAdapterMisplaced = "TsFrameAdapter adapter must be placed on the handled frame";

class TsFrameAdapter : public tw::TComponent {
public:
    // owner: the frame. Anything but a frame leaves the adapter without one:
    // it says so and replaces no procedure.
    explicit TsFrameAdapter(tw::TComponent* owner);
    ~TsFrameAdapter() override;

    TsCommonData& SkinData() { return *skinData_; }
    tw::TFrame* Frame() const { return frame_; }
    TacScrollWnd* ScrollAdapter() const { return scroll_.get(); }
    void Loaded() override;
    // The frame's colour while skinned: the section's, the parent's for a
    // fully transparent section, the two mixed for a partly transparent one.
    tw::TColor SkinColor() const;
    // Whether WM_ERASEBKGND paints the skin's background (off: the frame
    // erases itself as it always did).
    bool EraseSkinned = true;

    // Paints the frame's background (the cached picture, its graphic
    // controls over it) into dc.
    void PaintFrame(HDC dc);
    // Builds the cached picture again from the section over the parent's.
    void PrepareFrameCache();

private:
    void WndProc(tw::TMessage& m);
    bool OwnManager(LPARAM lp) const;
    bool Designing() const;
    bool Working() const;
    void Broadcast(uint16_t command, uint16_t arg = 0);
    void PreparePopups();
    void NotifyThirdParty();
    bool SkinCommand(tw::TMessage& m);
    bool UnskinnedCommand(tw::TMessage& m);
    void Repaint(UINT flags);
    std::unique_ptr<TsCommonData> skinData_;
    tw::TFrame* frame_ = nullptr;
    tw::TWndMethod old_;
    std::unique_ptr<TacScrollWnd> scroll_;
    bool outOfParent_ = false;
};

} // namespace skin
