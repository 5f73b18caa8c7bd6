#include "skin/windows/sFrameAdapter.h"

#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "ui/Forms.h"

namespace skin {

TsFrameAdapter::TsFrameAdapter(tw::TComponent* owner) : tw::TComponent(owner)
{
    auto* frame = dynamic_cast<tw::TWinControl*>(owner);
    if (dynamic_cast<tw::TCustomForm*>(owner))
        frame = nullptr;
    skinData_ = std::make_unique<TsCommonData>(frame, false);
    skinData_->SetSkinSection("GROUPBOX");
    skinData_->COC = COC_TsFrameAdapter;
    frame_ = frame;
    if (!frame_)
        return;
    old_ = frame_->WindowProc;
    frame_->WindowProc = [this](tw::TMessage& m) { WndProc(m); };
}

TsFrameAdapter::~TsFrameAdapter()
{
    scroll_.reset();
    if (frame_ && old_)
        frame_->WindowProc = old_;
    frame_ = nullptr;
}

void TsFrameAdapter::Loaded()
{
    tw::TComponent::Loaded();
    skinData_->Loaded();
}

bool TsFrameAdapter::OwnManager(LPARAM lp) const
{
    return reinterpret_cast<TsSkinManager*>(lp) == skinData_->SkinManager();
}

tw::TColor TsFrameAdapter::SkinColor() const
{
    const TsSkinManager* sm = skinData_->SkinManager();
    if (!sm || !sm->SkinIndexValid(skinData_->SkinIndex))
        return frame_ ? frame_->Color() : tw::clBtnFace;
    const TsGeneralData& s = sm->gd[size_t(skinData_->SkinIndex)];
    if (s.Transparency >= 100 && frame_ && frame_->Parent()) {
        const LRESULT parent = frame_->Parent()->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYCOLOR), 0);
        return parent == 0xFF00FF ? tw::ColorToRGB(frame_->Parent()->Color()) : tw::TColor(parent);
    }
    return s.Color;
}

void TsFrameAdapter::WndProc(tw::TMessage& m)
{
    if (m.Msg == SM_ALPHACMD) {
        switch (SkinCommandOf(m.WParam)) {
        case AC_QUERYSKINNED:
            m.Result = 1;
            return;
        case AC_SKINLOADED:
        case AC_SKINREFRESH:
            if (!OwnManager(m.LParam))
                break;
            skinData_->UpdateIndexes();
            old_(m);
            if (frame_->HandleAllocated()) {
                AttachScrollAdapter(skinData_.get(), frame_->Handle(), scroll_);
                RedrawWindow(frame_->Handle(), nullptr, nullptr,
                             RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
            }
            return;
        case AC_SKINREMOVED:
            if (!OwnManager(m.LParam))
                break;
            scroll_.reset();
            old_(m);
            if (frame_->HandleAllocated())
                RedrawWindow(frame_->Handle(), nullptr, nullptr,
                             RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
            return;
        case AC_QUERYCOLOR:
            if (skinData_->Skinned()) {
                m.Result = LRESULT(SkinColor());
                return;
            }
            break;
        default:
            break;
        }
        old_(m);
        return;
    }
    if (m.Msg == WM_ERASEBKGND && m.WParam && skinData_->Skinned() && frame_->HandleAllocated()) {
        const COLORREF c = COLORREF(tw::ColorToRGB(SkinColor())) & 0xFFFFFF;
        RECT r;
        GetClientRect(frame_->Handle(), &r);
        FillRect(reinterpret_cast<HDC>(m.WParam), &r, brush_.Of(c));
        m.Result = 1;
        return;
    }
    old_(m);
    if (m.Msg == WM_SIZE)
        skinData_->BGChangedFlag = true;
}

} // namespace skin
