// libFuzzer target: arbitrary text as a skin's "Options.dat" over a small
// packed skin (a master bitmap and a picture file), then every mask it made
// painted in every state. Reading either fills the tables or raises one of
// our exceptions; painting never reads or writes outside a picture.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "tests/skin/engine/SkinTestSupport.h"

namespace {

// A picture with key-coloured and coloured pixels, as a BMP file.
std::string Bmp(int w, int h)
{
    skin::TPixelImage img = skintest::Picture(w, h, 24, 0x405060);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((x * 7 + y * 3) % 5 == 0) skintest::SetPx(img.View(), x, y, skin::clKeyColor);
    return skintest::BmpFile(img.View());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string master = Bmp(24, 12), picture = Bmp(9, 6);
    skin::TsSkinManager sm;
    sm.SkinIsPacked = true;
    sm.FindPackedEntry = [](const std::string& name, skin::TsPackedEntry& e) {
        const std::string* f = name == "MASTER.BMP" ? &master : name == "PIC.BMP" ? &picture : nullptr;
        if (!f) return false;
        e.Data = reinterpret_cast<const uint8_t*>(f->data());
        e.Size = f->size();
        return true;
    };
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        skin::LoadSkinTables(sm, &text);
    } catch (const tw::Exception&) {
        return 0;
    }
    skin::TPixelImage dst(20, 14, 32), bg(20, 14, 24);
    for (size_t i = 0; i < sm.ma.size() && i < 64; ++i)
        for (int state = 0; state < 4; ++state) {
            skin::DrawMaskRect(dst.View(), {-2, -1, 19, 15}, true, skin::MakeCacheInfo(bg.View(), 1, 1), sm.ma[i], state, true);
            skin::DrawMaskGlyph(dst.View(), {-3, 2}, state, state, sm.ma[i], skin::EmptyCacheInfo());
            skin::TRect r{0, 0, 20, 14};
            skin::PaintTextureBmp(dst.View(), r, skin::MakeCacheInfo(bg.View()), state == 1 ? 10 : 0, sm.ma[i]);
            skin::CopyBGToKeyPixels(dst.View(), dst.View(), {5, 5, 30, 30}, {0, 0}, int(i), &sm, 14 + state);
        }
    return 0;
}
