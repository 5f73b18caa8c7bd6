#pragma once
// Windows only. PNG pictures of the skin library as class-library bitmaps:
// read by the library's own PNG reader, drawn with their alpha over what the
// canvas shows (scaled with colour and alpha resampled apart), and turned
// into icons with alpha. Registered as the picture format "png".
#include <windows.h>

#include <cstdint>

#include "ui/Graphics.h"

namespace skin {

class TPNGBitmap : public tw::TBitmap {
public:
    TPNGBitmap() = default;
    // Set by the glyph painters: Draw leaves half the height again below the
    // picture for its reflection.
    uint8_t Reflected = 0;

    void LoadFromStream(tw::TStream& s) override;
    void Draw(tw::TCanvas& canvas, const tw::TRect& r) override;
    // Copies the picture only; Reflected stays as it is.
    void Assign(const tw::TGraphic& source) override;
};

// Makes "png" a picture format of the class library with TPNGBitmap, and
// takes it away again.
void RegisterPNGGraphic();
void UnregisterPNGGraphic();

// An icon with alpha from the bitmap (the caller owns it; 0 on failure).
// The bitmap becomes 32-bit. With cornerKey, or for a bitmap without alpha,
// the colour of the top-left pixel is transparent and every other pixel
// opaque.
HICON MakeIcon32(tw::TBitmap& bitmap, bool cornerKey);

} // namespace skin
