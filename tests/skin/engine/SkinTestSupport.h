#pragma once
// Small pictures and packed skins made in code for the skin engine's tests.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/PixelView.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sSkinManager.h"

namespace skintest {

using skin::TColor;

// A platform that can show layered windows (extended borders and glows ask).
struct TLayeredAnnouncer : skin::TSkinAnnouncer {
    bool LayeredWindows() const override { return true; }
};

// A 24- or 32-bit picture filled with one colour ($00BBGGRR; alpha 255).
skin::TPixelImage Picture(int w, int h, int bpp, TColor fill = 0);
void SetPx(const skin::TPixelView& v, int x, int y, TColor c, int alpha = 255);
TColor Px(const skin::TPixelView& v, int x, int y);
int Alpha(const skin::TPixelView& v, int x, int y);

// File images of pictures.
std::string BmpFile(const skin::TPixelView& v);
std::string JpegFile(int w, int h, TColor fill);
// One grey level, with optimal Huffman tables: the fewest bytes a picture of
// that size takes; progressive in libjpeg's simple progression (six scans).
std::string GreyJpegFile(int w, int h, uint8_t level, bool progressive);

// A manager reading a packed skin held in memory: entry names as stored.
struct TPackedSkin {
    std::map<std::string, std::string> Files;
    void Attach(skin::TsSkinManager& sm) const;
};

} // namespace skintest
