#pragma once
// Windows only. The skinned check box and radio button: the system button
// keeps the keyboard, the clicks and the check state; what it shows comes
// from the skin, built in the link's cache and copied to the window.
#include <string>

#include "skin/controls/sWindowSkin.h"
#include "ui/StdCtrls.h"

namespace skin {

// What a check control shows: its check state (0 unchecked, 1 checked,
// 2 grayed), its look (0 normal, 1 hot, 2 pressed) and where its text goes.
struct TsCheckLook {
    int Check = 0;
    int State = 0;
    bool Radio = false;
    unsigned DisabledKind = 1;   // TsDisabledKind bits of the disabled look
    bool TextLeft = false;
};

// The mask of the check mark for a check state, from the control's section
// or the skin's common glyphs; -1 when the skin has none.
int CheckMaskIndex(TsCommonData& data, const TsCheckLook& look);
// Rebuilds the link's cache when its background changed (or its size),
// then copies it onto dc.
void PaintCheckControl(tw::TWinControl& control, TsCommonData& data, const TsCheckLook& look, HDC dc);

template <class Base> class TsCheckControl : public TsSkinnedControl<Base> {
public:
    TsCheckControl(tw::TComponent* owner, int32_t kind) : TsSkinnedControl<Base>(owner, kind) {}

protected:
    virtual TsCheckLook Look() = 0;
    // Hot and pressed as the system button has them: pressed while the
    // mouse holds it down, hot while the mouse is over it.
    int ButtonState()
    {
        if (this->HandleAllocated() && (SendMessageW(this->Handle(), BM_GETSTATE, 0, 0) & BST_PUSHED)) return 2;
        return this->SkinData.MouseAbove ? 1 : 0;
    }
    bool SkinnedMessage(tw::TMessage& m) override
    {
        if (this->OwnPaintMessage(m)) return true;
        switch (m.Msg) {
        // The system button draws straight onto its window when these
        // change its look: our picture goes over it again at once.
        case BM_SETCHECK:
        case BM_SETSTATE:
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE:
        case WM_SETTEXT:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
        case WM_KEYDOWN:
        case WM_KEYUP:
            Base::WndProc(m);
            RepaintNow();
            return true;
        case tw::CM_MOUSEENTER:
        case tw::CM_MOUSELEAVE: {
            Base::WndProc(m);
            const bool enter = m.Msg == tw::CM_MOUSEENTER;
            this->ShowNewLook(enter ? aeMouseEnter : aeMouseLeave, enter ? 1 : 2);
            return true;
        }
        default:
            return false;
        }
    }

    void PaintSkin(HDC dc) override
    {
        TsCheckLook look = Look();
        look.DisabledKind = this->DisabledKind();
        PaintCheckControl(*this, this->SkinData, look, dc);
    }

private:
    void RepaintNow()
    {
        if (!this->HandleAllocated() || !this->SkinData.Skinned()) return;
        this->SkinData.BGChangedFlag = true;
        RedrawWindow(this->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
};

class TsCheckBox : public TsCheckControl<tw::TCheckBox> {
public:
    explicit TsCheckBox(tw::TComponent* owner) : TsCheckControl(owner, COC_TsCheckBox) {}

protected:
    TsCheckLook Look() override;
};

class TsRadioButton : public TsCheckControl<tw::TRadioButton> {
public:
    explicit TsRadioButton(tw::TComponent* owner) : TsCheckControl(owner, COC_TsRadioButton) {}

protected:
    TsCheckLook Look() override;
};

} // namespace skin
