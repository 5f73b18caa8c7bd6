#include "skin/windows/acCtrlAdapter.h"

#include <algorithm>

#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/CheckLst.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"
#include "ui/ValEdit.h"

namespace skin {

TacCtrlAdapter::TacCtrlAdapter(tw::TCustomForm* form, TsSkinManager* manager) : form_(form), manager_(manager) {}

TacCtrlAdapter::~TacCtrlAdapter()
{
    // Children before the windows they lie on, the latest first.
    while (!adapters_.empty())
        adapters_.pop_back();
}

void TacCtrlAdapter::Sweep()
{
    adapters_.erase(std::remove_if(adapters_.begin(), adapters_.end(),
                                   [](const std::unique_ptr<TacMainWnd>& a) { return !a || a->Unsubclassed(); }),
                    adapters_.end());
}

TacMainWnd* TacCtrlAdapter::AdapterOf(HWND wnd) const
{
    for (const auto& a : adapters_)
        if (a && !a->Unsubclassed() && a->Handle() == wnd)
            return a.get();
    return nullptr;
}

int TacCtrlAdapter::Count() const
{
    return int(std::count_if(adapters_.begin(), adapters_.end(),
                             [](const std::unique_ptr<TacMainWnd>& a) { return a && !a->Unsubclassed(); }));
}

bool TacCtrlAdapter::CanAdapt(tw::TControl* control) const
{
    auto* wc = dynamic_cast<tw::TWinControl*>(control);
    if (!wc || !manager_ || !manager_->Active() || dynamic_cast<tw::TCustomForm*>(wc) || wc->Tag() == acNoSkinTag)
        return false;
    const HWND wnd = wc->HandleIfAllocated();
    if (!wnd || TacMainWnd::Of(wnd))
        return false;
    // A combo box passes its scroll style on to its list.
    if (dynamic_cast<tw::TComboBox*>(wc))
        return false;
    return dynamic_cast<tw::TMemo*>(wc) || dynamic_cast<tw::TListBox*>(wc) ||
           dynamic_cast<tw::TValueListEditor*>(wc) || WantsScrollAdapter(wnd);
}

void TacCtrlAdapter::AdaptControl(tw::TControl* control)
{
    if (!CanAdapt(control))
        return;
    if (OnSkinItem) {
        bool canBeAdded = true;
        std::string section;
        OnSkinItem(control, canBeAdded, section);
        if (!canBeAdded)
            return;
    }
    const HWND wnd = static_cast<tw::TWinControl*>(control)->Handle();
    adapters_.push_back(std::make_unique<TacScrollWnd>(wnd, manager_));
}

void TacCtrlAdapter::AdaptControls(tw::TWinControl* control)
{
    Sweep();
    tw::TWinControl* root = control ? control : form_;
    if (!root)
        return;
    if (control)
        AdaptControl(control);
    for (int i = 0; i < root->ControlCount(); ++i) {
        tw::TControl* c = root->Controls(i);
        if (auto* wc = dynamic_cast<tw::TWinControl*>(c)) {
            AdaptControls(wc);
        }
    }
}

void TacCtrlAdapter::Refresh()
{
    Sweep();
    for (const auto& a : adapters_)
        if (auto* scroll = dynamic_cast<TacScrollWnd*>(a.get()))
            scroll->UpdateScrollState(true);
}

} // namespace skin
