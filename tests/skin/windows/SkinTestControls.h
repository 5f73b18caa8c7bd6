#pragma once
// Controls that take part in the skin protocol the way skinned ones do:
// they answer "skinned" and a colour, and remember every sub-command.
#include <windows.h>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
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

#ifdef TW_SKIN_ARCHIVE
namespace skin::test {

// The program's own skin (the archive the build made) loaded into a manager
// that becomes the default one; the caller clears DefaultManager again.
inline ::testing::AssertionResult LoadOwnSkin(TsSkinManager& manager)
{
    std::unique_ptr<TacSkinConvertor> sc;
    LoadPackedFile(TW_SKIN_ARCHIVE, sc, false);
    if (!sc)
        return ::testing::AssertionFailure() << "cannot load " << TW_SKIN_ARCHIVE;
    LoadPackedSkinTables(manager, *sc);
    DefaultManager = &manager;
    return ::testing::AssertionSuccess();
}

} // namespace skin::test
#endif

namespace skin::test {

// The hit code a window answers for a point in window coordinates, asked
// the way the system asks: screen coordinates in WM_NCHITTEST.
inline int NcHit(HWND wnd, int x, int y)
{
    RECT wr;
    GetWindowRect(wnd, &wr);
    return int(SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(wr.left + x, wr.top + y)));
}

} // namespace skin::test
