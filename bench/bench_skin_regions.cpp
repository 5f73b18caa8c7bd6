// What a hostile skin can make a window's shape and its border cost: the
// region of a form whose four corners are checkerboards of key pixels, a
// hint window's region over a 2 x 2 texture, and a stretched border whose
// mask is a whole, huge master picture painted onto a small button. Each
// must cost in proportion to what it builds or paints, not to the square of
// its runs or to the whole of its picture.
//
//   build/windows/bench/bench_skin_regions.exe    (under Wine: the regions)
//   build/native/bench/bench_skin_regions         (the stretched border only)
//
// Printed per case: its size, the time, and for the regions the time the
// old way (one region combination per run) on the smaller sizes. The form
// regions are built whole here; a window takes an outline of at most 4,096
// rectangles (beyond that Wine's painting through it is what costs).
#include <chrono>
#include <cstdio>
#include <vector>

#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/BorderPainting.h"
#ifdef _WIN32
#include "skin/engine/link/BorderPaintingWin.h"
#endif

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

#ifdef _WIN32
// The key runs of four side x side checkerboard corners of a w x h form.
skin::TRectList CornerRuns(int w, int h, int side)
{
    skin::TRectList runs;
    const int xs[2] = {0, w - side}, ys[2] = {0, h - side};
    for (int cy : ys)
        for (int y = cy; y < cy + side; ++y)
            for (int cx : xs)
                for (int x = cx + (y % 2); x < cx + side; x += 2) runs.push_back({x, y, x + 1, y + 1});
    return runs;
}

HRGN OldWay(int w, int h, const skin::TRectList& runs)
{
    HRGN rgn = CreateRectRgn(0, 0, w, h);
    for (const skin::TRect& r : runs) {
        HRGN piece = CreateRectRgn(r.Left, r.Top, r.Right, r.Bottom);
        CombineRgn(rgn, rgn, piece, RGN_DIFF);
        DeleteObject(piece);
    }
    return rgn;
}

void Regions()
{
    for (int side : {50, 100, 300, 600}) {
        const int w = 2 * side + 400, h = 2 * side + 300;
        const skin::TRectList runs = CornerRuns(w, h, side);
        double start = Now();
        // The region itself, beyond the bound a window's outline is held to.
        HRGN rgn = skin::CreateBandsRegion(skin::BandsWithout({0, 0, w, h}, runs));
        const double now = Now() - start;
        std::printf("form %5d x %-5d corners %3d  %7zu runs  %9.2f ms", w, h, side, runs.size(), now * 1000.0);
        if (runs.size() <= 20000) {
            start = Now();
            HRGN old = OldWay(w, h, runs);
            std::printf("   one call per run %9.1f ms%s", (Now() - start) * 1000.0, EqualRgn(old, rgn) ? "" : "  DIFFERENT");
            DeleteObject(old);
        }
        std::printf("\n");
        DeleteObject(rgn);
    }
    // A 300 x 60 hint over a 2 x 2 tile of which one pixel is the key.
    skin::TPixelImage hint(300, 60, 24);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 300; ++x) {
            uint8_t* p = hint.View().Pixel(x, y);
            const bool key = x % 2 == 0 && y % 2 == 0;
            p[0] = key ? 0xFF : 0;
            p[1] = 0;
            p[2] = key ? 0xFF : 0;
        }
    const double start = Now();
    HRGN rgn = nullptr;
    skin::CreateMaskRegion(rgn, hint.View(), skin::clKeyColor);
    std::printf("hint 300 x 60 over a 2 x 2 tile            %9.2f ms\n", (Now() - start) * 1000.0);
    DeleteObject(rgn);
}
#endif

// A "^" border over a whole 8192 x 4096 master, stretch mode 5 (sides and
// centre stretched), painted onto buttons of a few sizes.
void StretchedBorder()
{
    skin::TsSkinManager sm;
    sm.MasterBitmap = std::make_unique<skin::TPixelImage>(8192, 4096, 24);
    for (int y = 0; y < 4096; ++y) {
        uint8_t* row = sm.MasterBitmap->View().Row(y);
        for (int x = 0; x < 8192 * 3; ++x) row[x] = uint8_t(x * 7 + y);
    }
    skin::TsMaskData m;
    m.Manager = &sm;
    m.R = {0, 0, 8192, 4096};
    m.ImageCount = 1;
    m.MaskType = 0;
    m.StretchMode = 5;
    m.WL = m.WT = m.WR = m.WB = 3;
    for (int size : {25, 100, 400}) {
        skin::TPixelImage button(3 * size, size, 24);
        const int paints = 5;
        const double start = Now();
        for (int i = 0; i < paints; ++i) skin::DrawButtonMask(button.View(), nullptr, true, m, 0);
        std::printf("stretched border onto %4d x %-4d            %9.2f ms per paint\n", 3 * size, size,
                    (Now() - start) * 1000.0 / paints);
    }
}

} // namespace

int main()
{
#ifdef _WIN32
    Regions();
#endif
    StretchedBorder();
    return 0;
}
