// libFuzzer target: arbitrary text as a skin's "Options.dat" over a small
// packed skin (master bitmaps, picture files of 24 and 32 bits, a JPEG, and
// pictures whose headers declare sizes far beyond their data),
// then every mask, texture and section it made painted by every painter that
// takes them, in every state. Reading either fills the tables or raises one of
// our exceptions; painting never reads or writes outside a picture.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/BorderPainting.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/engine/painting/ItemPainting.h"
#include "tests/skin/engine/PngBuilder.h"
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

// The same as a 32-bit PNG with a transparent white corner, as skins keep
// their masks; alpha varies so the readers' clean-up has work.
std::string Png(int w, int h)
{
    using namespace skin::test;
    Bytes rows;
    for (int y = 0; y < h; ++y) {
        rows.push_back(0);   // no filter
        for (int x = 0; x < w; ++x) {
            if (x == 0 && y == 0) {
                rows.insert(rows.end(), {0xFF, 0xFF, 0xFF, 0});   // transparent white
                continue;
            }
            const bool key = (x * 7 + y * 3) % 5 == 0;
            rows.insert(rows.end(), {uint8_t(key ? 0xFF : 0x60), uint8_t(key ? 0x00 : 0x50), uint8_t(key ? 0xFF : 0x40),
                                     uint8_t(40 * x + 9 * y + 1)});
        }
    }
    const Bytes f = skin::test::Png(Ihdr(uint32_t(w), uint32_t(h), 8, 6), rows);
    return std::string(f.begin(), f.end());
}

// A picture file whose header declares w x h pixels over the image data of
// one short row: what a hostile skin brings to take the memory.
std::string PngDeclaring(uint32_t w, uint32_t h)
{
    using namespace skin::test;
    const Bytes rows(1 + 4 * 8, 0);
    const Bytes f = skin::test::Png(Ihdr(w, h, 8, 6), rows);
    return std::string(f.begin(), f.end());
}

// A JPEG of a few hundred bytes whose frame header declares w x h pixels.
std::string JpegDeclaring(int w, int h)
{
    std::string f = skintest::JpegFile(8, 8, 0x405060);
    for (size_t i = 2; i + 8 < f.size(); ++i)
        if (uint8_t(f[i]) == 0xFF && (uint8_t(f[i + 1]) == 0xC0 || uint8_t(f[i + 1]) == 0xC2)) {
            f[i + 5] = char(h >> 8), f[i + 6] = char(h), f[i + 7] = char(w >> 8), f[i + 8] = char(w);
            break;
        }
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string master = Bmp(24, 12), picture = Bmp(9, 6), png = Png(12, 8),
                             jpeg = skintest::JpegFile(6, 4, 0x334455);
    // Large declared sizes: beyond what a skin can show, beyond what the
    // file can inflate to, and a large one the readers accept.
    static const std::string hugePng = PngDeclaring(100000, 100000), claimingPng = PngDeclaring(4000, 4000),
                             widePng = PngDeclaring(2048, 1024), hugeJpeg = JpegDeclaring(30000, 30000),
                             largeJpeg = JpegDeclaring(1500, 1000);
    skin::TsSkinManager sm;
    sm.SkinIsPacked = true;
    sm.FindPackedEntry = [](const std::string& name, skin::TsPackedEntry& e) {
        const std::string* f = name == "MASTER.BMP" ? &master
                               : name == "PIC.BMP"  ? &picture
                               : name == "PIC.PNG"  ? &png
                               : name == "TEX.JPG"  ? &jpeg
                               : name == "HUGE.PNG" ? &hugePng
                               : name == "CLAIM.PNG" ? &claimingPng
                               : name == "WIDE.PNG" ? &widePng
                               : name == "HUGE.JPG" ? &hugeJpeg
                               : name == "LARGE.JPG" ? &largeJpeg
                                                    : nullptr;
        if (!f) return false;
        e.Data = reinterpret_cast<const uint8_t*>(f->data());
        e.Size = f->size();
        return true;
    };
    // Lines after a "[[EXTRA]]" line are the program's own further sections,
    // read after the skin's; the first byte turns the skin's hue and
    // saturation, so the colour passes meet every table the readers filled.
    std::string text(reinterpret_cast<const char*>(data), size);
    const size_t extra = text.find("\n[[EXTRA]]\n");
    if (extra != std::string::npos) {
        size_t from = extra + 11;
        while (from <= text.size()) {
            const size_t to = std::min(text.find('\n', from), text.size());
            sm.CommonSections.push_back(text.substr(from, to - from));
            from = to + 1;
        }
        text.resize(extra);
    }
    // Folder pictures named by the further sections are looked for where
    // there are none.
    sm.SkinPath = "/nonexistent-skin-folder/";
    if (size > 0) {
        sm.HueOffset = int(data[0] % 7) * 60 - 180;
        sm.Saturation = int(data[0] % 5) * 60 - 120;
    }
    try {
        skin::LoadSkinTables(sm, &text);
    } catch (const tw::Exception&) {
        return 0;
    }
    // Every painter that takes a mask or a texture from a skin, on 24- and
    // 32-bit pictures, in every state and texture mode, partly outside.
    skin::TPixelImage bg(20, 14, 24);
    skin::TPixelImage pictures[2] = {skin::TPixelImage(20, 14, 32), skin::TPixelImage(20, 14, 24)};
    for (size_t i = 0; i < sm.ma.size() && i < 64; ++i) {
        const skin::TsMaskData& mask = sm.ma[i];
        for (skin::TPixelImage& dst : pictures)
            for (int state = 0; state < 4; ++state) {
                skin::DrawMaskRect(dst.View(), {-2, -1, 19, 15}, true, skin::MakeCacheInfo(bg.View(), 1, 1), mask, state,
                                   true);
                skin::DrawMaskGlyph(dst.View(), {-3, 2}, state, state, mask, skin::EmptyCacheInfo());
                skin::TRect r{0, 0, 20, 14};
                skin::PaintTextureBmp(dst.View(), r, skin::MakeCacheInfo(bg.View()), state == 1 ? 10 : 0, mask);
                skin::CopyBGToKeyPixels(dst.View(), dst.View(), {5, 5, 30, 30}, {0, 0}, int(i), &sm, 14 + state);
                skin::TRectList cut;
                skin::DrawButtonMask(dst.View(), &cut, state != 3, mask, state);
                skin::CopyMaskPiece(1, 1, 25, 25, 0, 0, 30, 30, dst.View(), &cut, mask, state == 2);
                skin::GetMaskTransRects(cut, 20, mask, 3, state == 1);
                skin::PaintCacheBorderSides(dst.View(), mask, state, 15u, skin::MakeCacheInfo(bg.View(), 2, 2));
                skin::TileMaskPiece({-1, 3, 12, 18}, {mask.R.Left, mask.R.Top, mask.R.Right, mask.R.Bottom}, dst.View(),
                                    mask, skin::EmptyCacheInfo());
            }
        for (int mode : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11}) {
            skin::TRect r{-2, 1, 21, 15};
            skin::PaintTexture(pictures[mode % 2].View(), r, nullptr, mode, &mask);
        }
        skin::CreateGlowPicture(sm, int(i), 25, 9);
        // A halo around a control as the glow effect places it by the
        // mask's piece widths, whole and cut by the parent's edge.
        for (const skin::TRect& clip : {skin::TRect{0, 0, 20, 14}, skin::TRect{3, 2, 20, 10}}) {
            const skin::TGlowPlacement place =
                skin::GlowPlacement({5, 5, 25, 19}, clip, mask.WL, mask.WT, mask.WR, mask.WB, int(i % 5) - 1);
            if (!place.Valid()) continue;
            const skin::TPixelImage full = skin::CreateGlowPicture(sm, int(i), place.FullWidth, place.FullHeight);
            (void)skin::CutGlowPicture(full, place);
        }
    }
    // Sections with their textures, patterns, corner pictures and borders.
    for (size_t s = 0; s < sm.gd.size() && s < 32; ++s)
        for (skin::TPixelImage& dst : pictures)
            for (int state = 0; state < 2; ++state) {
                const int texture = sm.ma.empty() ? -1 : int(s % sm.ma.size());
                skin::PaintItem(&sm, int(s), sm.gd[s].Name, skin::MakeCacheInfo(bg.View()), true, state, {0, 0, 20, 14},
                                {1, 1}, dst.View(), texture, texture);
                skin::TCacheInfo ci = skin::EmptyCacheInfo();
                skin::PaintItemWithMask(&sm, int(s), texture, texture, -1, ci, state == 0, state, {1, 1, 19, 13}, {0, 0},
                                        dst.View());
            }
    for (size_t p = 0; p < sm.pa.size() && p < 8; ++p) {
        skin::TRect r{0, 0, 20, 14};
        if (sm.pa[p].Img) skin::PaintTexture(pictures[0].View(), r, &sm.pa[p].Img->View(), 0, nullptr);
    }
    return 0;
}
