// A skin whose border corners are checkerboards of key pixels: the form's
// region leaves out exactly the key pixels of its four corners at every
// size, and is built from its runs at once on each resize, not one system
// call per run (thousands of runs held every resize for seconds); an
// outline too complex for the window system to paint through is not cut.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "SkinTestForms.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/BorderPaintingWin.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

BOOL WINAPI NoLayered(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) { return TRUE; }
TUpdateLayeredWindow Entry() { return NoLayered; }

constexpr int kSide = 40;   // each corner kSide x kSide, half of it key pixels

class FormRegionRunsTest : public test::LayeredFormTest {
protected:
    FormRegionRunsTest() : LayeredFormTest("Corners", 320, 220, Entry) {}

    int Find(const char* section)
    {
        for (size_t i = 0; i < manager.ma.size(); ++i)
            if (manager.ma[i].SectionName == section && manager.ma[i].PropertyName == "BORDERSMASK")
                return int(i);
        return -1;
    }
    // The form's border mask becomes a picture of its own with checkerboard
    // corners; the title's mask, which would cut rounded corners of its
    // own, is put aside.
    void CheckerboardCorners(int side = kSide)
    {
        const int form = Find("FORM"), title = Find("FORMTITLE");
        ASSERT_TRUE(manager.MaskIndexValid(form));
        if (manager.MaskIndexValid(title))
            manager.ma[size_t(title)].SectionName = "NOFORMTITLE";
        const int size = 2 * side + 2;
        auto picture = std::make_unique<TPixelImage>(size, size, 24);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const bool corner = (x < side || x >= size - side) && (y < side || y >= size - side);
                const TColor c = corner && (x + y) % 2 ? clKeyColor : TColor(0x404040);
                uint8_t* p = picture->View().Pixel(x, y);
                p[0] = uint8_t(c >> 16);
                p[1] = uint8_t(c >> 8);
                p[2] = uint8_t(c);
            }
        TsMaskData& m = manager.ma[size_t(form)];
        m.Bmp = std::move(picture);
        m.R = {0, 0, size, size};
        m.ImageCount = 1;
        m.MaskType = 0;
        m.WL = m.WT = m.WR = m.WB = side;
        manager.ForgetNameIndexes();
        SendSkinCommand(form_(), AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
        tw::Application->ProcessMessages();
    }
    HWND form_() { return form->Handle(); }
};

TEST_F(FormRegionRunsTest, EveryResizeCutsExactlyTheCornersKeyPixelsFromItsRunsAtOnce)
{
    CheckerboardCorners();
    for (const auto& [w, h] : {std::pair{400, 300}, std::pair{333, 257}, std::pair{500, 420}}) {
        const uint64_t before = BandsRegionCalls();
        form->SetBounds(50, 50, w, h);
        tw::Application->ProcessMessages();
        const uint64_t calls = BandsRegionCalls() - before;
        RECT wr;
        GetWindowRect(form_(), &wr);
        ASSERT_EQ(wr.right - wr.left, w);
        ASSERT_EQ(wr.bottom - wr.top, h);
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(GetWindowRgn(form_(), rgn), ERROR) << w << " x " << h;
        // Four corners of kSide x kSide, each pixel kept where the picture
        // has no key: the right corners from the picture's right columns.
        const int size = 2 * kSide + 2;
        for (int y = 0; y < h; ++y) {
            const int py = y < kSide ? y : y >= h - kSide ? size - (h - y) : -1;
            for (int x = 0; x < w; ++x) {
                const int px = x < kSide ? x : x >= w - kSide ? size - (w - x) : -1;
                const bool key = px >= 0 && py >= 0 && (px + py) % 2 == 1;
                ASSERT_EQ(PtInRegion(rgn, x, y) != FALSE, !key) << w << " x " << h << " at " << x << "," << y;
            }
        }
        DeleteObject(rgn);
        // 4 x 1,800 runs: a few calls for each chunk of runs, not one per run.
        const uint64_t runs = 4 * kSide * kSide / 2;
        EXPECT_GT(calls, 0u) << "the region is built from its runs at once";
        EXPECT_LE(calls, 2 * (runs / 8)) << "one call per run or close to it";
    }
}

TEST_F(FormRegionRunsTest, CornersOfTensOfThousandsOfRunsLeaveTheFormWhole)
{
    // 4 x 5,000 runs: each repaint through such a region took a second
    // under Wine, and twice as many ended the program on an X error.
    CheckerboardCorners(100);
    form->SetBounds(50, 50, 420, 380);
    tw::Application->ProcessMessages();
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    const int kind = GetWindowRgn(form_(), rgn);
    if (kind != ERROR) {   // no region at all is whole too
        RECT box;
        EXPECT_EQ(GetRgnBox(rgn, &box), SIMPLEREGION);
        EXPECT_EQ(box.right - box.left, 420);
        EXPECT_EQ(box.bottom - box.top, 380);
    }
    DeleteObject(rgn);
}

} // namespace
} // namespace skin

#endif
