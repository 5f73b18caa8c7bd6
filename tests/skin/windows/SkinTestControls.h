#pragma once
// Controls that take part in the skin protocol the way skinned ones do:
// they answer "skinned" and a colour, and remember every sub-command.
#include <windows.h>

#include <algorithm>
#include <cstdint>
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
    std::vector<uint16_t> Args;   // the low word of each command's WParam
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
            Args.push_back(SkinArgOf(m.WParam));
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

namespace skin::test {

// What the skin's own data says a section looks like, read from the loaded
// tables (never from a painter): the expected values of the pixel tests.

// The normal colour of a section as a COLORREF; -1 when there is none.
inline COLORREF SectionColour(const TsSkinManager& manager, const char* section)
{
    const int i = manager.GetSkinIndex(section);
    return manager.SkinIndexValid(i) ? COLORREF(manager.gd[size_t(i)].Color) & 0xFFFFFF : COLORREF(-1);
}

// Whether a section paints its inside with its colour alone: no texture, no
// gradient, nothing of the parent showing through.
inline bool PlainSection(const TsSkinManager& manager, const char* section)
{
    const int i = manager.GetSkinIndex(section);
    if (!manager.SkinIndexValid(i))
        return false;
    const TsGeneralData& s = manager.gd[size_t(i)];
    return s.ImagePercent == 0 && s.GradientPercent == 0 && s.Transparency == 0;
}

// The picture a mask is cut from: its own, else the skin's master bitmap.
inline const TPixelImage* MaskSource(const TsMaskData& m)
{
    if (m.Bmp)
        return m.Bmp.get();
    return m.Manager ? m.Manager->MasterBitmap.get() : nullptr;
}

// A pixel (x, y) of frame `state` of a mask, 0x00BBGGRR like a COLORREF.
inline COLORREF MaskPixel(const TsMaskData& m, int state, int x, int y, bool transparencyHalf = false)
{
    const TPixelImage* img = MaskSource(m);
    const int sx = m.R.Left + state * MaskFrameWidth(m) + x;
    const int sy = m.R.Top + y + (transparencyHalf ? m.R.Height() / 2 : 0);
    if (!img || sx < 0 || sy < 0 || sx >= img->Width() || sy >= img->Height())
        return COLORREF(-1);
    const uint8_t* p = img->View().Pixel(sx, sy);
    return RGB(p[2], p[1], p[0]);
}

// A border mask's pixel laid over a background colour, worked out from the
// mask alone: a mask of type 1 carries, in its lower half, how much of the
// background shows through each channel (0 none, 255 nearly all).
inline COLORREF MaskOver(const TsMaskData& m, int state, int x, int y, COLORREF under)
{
    const COLORREF top = MaskPixel(m, state, x, y);
    if (m.MaskType != 1)
        return top;
    const COLORREF weight = MaskPixel(m, state, x, y, true);
    auto mix = [](int bg, int fg, int w) { return (fg * (256 - w) + bg * w) >> 8; };
    return RGB(mix(GetRValue(under), GetRValue(top), GetRValue(weight)),
               mix(GetGValue(under), GetGValue(top), GetGValue(weight)),
               mix(GetBValue(under), GetBValue(top), GetBValue(weight)));
}

// The border mask of a section, or null.
inline const TsMaskData* BorderMask(const TsSkinManager& manager, const char* section)
{
    for (const TsMaskData& m : manager.ma)
        if (m.SectionName == section && m.PropertyName == "BORDERSMASK")
            return &m;
    return nullptr;
}

// Where a picture (0x00RRGGBB pixels, w a row, as PrintFrame gives them)
// shows frame `state` of a mask drawn unscaled: every pixel of the frame but
// its key colour must be there as the skin's data has it. The rightmost
// place of the topmost row wins; {-1, -1} when it is nowhere.
inline POINT FindMaskFrame(const std::vector<uint32_t>& picture, int w, const TsMaskData& m, int state)
{
    const int fw = MaskFrameWidth(m), fh = MaskFrameHeight(m);
    std::vector<POINT> solid;
    std::vector<uint32_t> colours;
    for (int y = 0; y < fh; ++y)
        for (int x = 0; x < fw; ++x) {
            const COLORREF c = MaskPixel(m, state, x, y);
            if (c != RGB(255, 0, 255) && c != COLORREF(-1)) {
                solid.push_back({x, y});
                colours.push_back((uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c));
            }
        }
    const int h = w > 0 ? int(picture.size()) / w : 0;
    if (solid.empty())
        return {-1, -1};
    for (int top = 0; top + fh <= h; ++top)
        for (int left = w - fw; left >= 0; --left) {
            size_t i = 0;
            while (i < solid.size() &&
                   picture[size_t(top + solid[i].y) * size_t(w) + size_t(left + solid[i].x)] == colours[i])
                ++i;
            if (i == solid.size())
                return {left, top};
        }
    return {-1, -1};
}

// A panel skinned by itself (no adapter comes over it) that notes the skin
// commands it hears.
class TNotingPanel : public tw::TPanel {
public:
    using tw::TPanel::TPanel;
    std::vector<uint16_t> Commands;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == SM_ALPHACMD) {
            const uint16_t command = SkinCommandOf(m.WParam);
            Commands.push_back(command);
            m.Result = command == AC_QUERYSKINNED ? 1 : 0;
            return;
        }
        tw::TPanel::WndProc(m);
    }
    int Count(uint16_t command) const { return int(std::count(Commands.begin(), Commands.end(), command)); }
};

} // namespace skin::test
