#pragma once
// Windows only. The skinned list box: items drawn in the skin's colours
// (the selection in its highlight colours) inside the skin's edit frame.
#include <string>

#include "skin/controls/sEdit.h"

namespace skin {

// One item of a skinned list.
struct TsListItemLook {
    std::string Text;
    bool Selected = false;
    bool Enabled = true;
    int CheckMask = -1;   // the check mark's mask before the text, -1 for none
};

// Paints one item of a skinned list into r of dc through a picture of r's
// size: the list's colour or the highlight, the check mark, the text.
void PaintListItem(TsCommonData& data, const tw::TFont& font, HDC dc, const TRect& r, const TsListItemLook& look);

class TsAlphaListBox : public TsEditFrame<tw::TListBox> {
public:
    explicit TsAlphaListBox(tw::TComponent* owner) : TsEditFrame(owner, COC_TsAlphaListBox) {}
    int GetCount() { return Items().Count(); }
    // As the class library's; the item that was selected is painted again.
    void SetItemIndex(int index);

protected:
    bool OwnerDraw() const override { return true; }
    void DrawItem(int index, const TRect& r, UINT state, HDC dc) override;
};

} // namespace skin
