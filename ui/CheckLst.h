// A list box whose items carry check boxes.
#pragma once

#include <vector>

#include "ui/StdCtrls.h"

namespace tw {

class TCheckListBox : public TListBox {
public:
    explicit TCheckListBox(TComponent* owner);
    bool Checked(int i) const;
    void SetChecked(int i, bool c);
    bool ItemEnabled(int i) const;
    void SetItemEnabled(int i, bool e);
    TNotifyEvent OnClickCheck;
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void DrawItem(int index, const TRect& r, UINT state, HDC dc) override;
    bool OwnerDraw() const override { return true; }
    void Toggle(int i);
    // Item data (the native list keeps it per item): bit 0 checked, bit 1
    // disabled.
    LPARAM ItemData(int i) const;
    void SetItemData(int i, LPARAM d);
    std::vector<LPARAM> pendingData_;
};

} // namespace tw
