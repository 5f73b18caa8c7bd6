#pragma once
// Controls that take part in the skin protocol the way skinned ones do:
// they answer "skinned" and a colour, and remember every sub-command.
#include <vector>

#include "skin/engine/SkinMessages.h"
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
