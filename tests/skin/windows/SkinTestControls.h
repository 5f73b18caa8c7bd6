#pragma once
// Controls that take part in the skin protocol the way skinned ones do:
// they answer "skinned" and a colour, and remember every sub-command.
#include <vector>

#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/link/SkinnedForms.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"

namespace skin::test {

template <class Base> class TListening : public Base {
public:
    using Base::Base;
    std::vector<uint16_t> Commands;
    bool Skinned = true;
    tw::TColor Answer = 0x123456;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == SM_ALPHACMD) {
            const uint16_t cmd = SkinCommandOf(m.WParam);
            if (cmd == AC_QUERYSKINNED) {
                m.Result = Skinned ? 1 : 0;
                return;
            }
            if (!Skinned) { // a foreign control: passes everything on
                Base::WndProc(m);
                return;
            }
            Commands.push_back(cmd);
            if (cmd == AC_QUERYCOLOR)
                m.Result = Answer;
            return;
        }
        Base::WndProc(m);
    }
};

using TSkinnedPanel = TListening<tw::TPanel>;
using TSkinnedForm = TListening<tw::TForm>;

class TSkinnedGraphic : public TListening<tw::TGraphicControl> {
public:
    using TListening::TListening;
};

} // namespace skin::test

namespace skin::test {

// A form with a stand-in for a skin provider: answers AC_QUERYPROVIDER and
// records what the redraw lock does to it.
class TProviderForm : public TListening<tw::TForm>, public TSkinnedFormLink {
public:
    using TListening::TListening;
    TsSkinManager* Manager = nullptr;
    bool Skinned = true, Locked = false, BorderWindow = false;
    std::vector<bool> Redraw;     // WM_SETREDRAW arguments in order
    int RegionUpdates = 0;
    std::vector<int> BorderUpdates;

    TsSkinManager* LinkManager() const override { return Manager; }
    bool FormSkinned() const override { return Skinned; }
    void SetSkinChangeLock(bool locked) override { Locked = locked; }
    bool HasBorderWindow() const override { return BorderWindow; }
    void UpdateFormRegion() override { ++RegionUpdates; }
    void UpdateBorderWindow(uint8_t alpha) override { BorderUpdates.push_back(alpha); }

    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == SM_ALPHACMD && SkinCommandOf(m.WParam) == AC_QUERYPROVIDER) {
            m.Result = reinterpret_cast<LRESULT>(static_cast<TSkinnedFormLink*>(this));
            return;
        }
        if (m.Msg == WM_SETREDRAW)
            Redraw.push_back(m.WParam != 0);
        TListening::WndProc(m);
    }
};

} // namespace skin::test
