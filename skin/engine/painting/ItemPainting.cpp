#include "skin/engine/painting/ItemPainting.h"

#include <algorithm>

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sGradient.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/GraphicsUtils.h"

namespace skin {

TCacheInfo BGInfoToCacheInfo(const TacBGInfo& info)
{
    if (info.BgType == btCache) return MakeCacheInfo(info.Bmp, info.OffsetX, info.OffsetY);
    TCacheInfo ci;
    ci.FillColor = ColorToRGB(info.Color);
    return ci;
}

#ifndef _WIN32
void PaintSectionGradient(const TPixelView& item, const TRect& r, const TsGradArray& data) { PaintGrad(item, r, data); }
#endif

TColor SwapRedBlue(TColor c)
{
    const uint32_t u = uint32_t(c);
    return TColor((u >> 16) + ((u & 0xFF) << 16) + (((u >> 8) & 0xFF) << 8));
}

void FillRectPixels(const TPixelView& item, const TRect& r, TColor c)
{
    if (item.Empty()) return;
    const TRect a{std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, item.Width), std::min(r.Bottom, item.Height)};
    if (a.Left >= a.Right || a.Top >= a.Bottom) return;
    if (item.BitsPerPixel == 32) {
        FillRect32(item, a, c);
        return;
    }
    const TColor rgb = ColorToRGB(c);
    const uint8_t b = uint8_t(rgb >> 16), g = uint8_t(rgb >> 8), red = uint8_t(rgb);
    for (int y = a.Top; y < a.Bottom; ++y) {
        uint8_t* p = item.Row(y) + a.Left * 3;
        for (int x = a.Left; x < a.Right; ++x, p += 3) {
            p[0] = b;
            p[1] = g;
            p[2] = red;
        }
    }
}

namespace {

// What the section gives for one state.
struct TItemValues {
    TColor Color = 0;
    int Transparency = 0, GradientPercent = 0, ImagePercent = 0;
    const TsGradArray* Gradient = nullptr;
    int Texture = -1;
    bool TextureIsPattern = false;
};

TItemValues ValuesFor(const TsSkinManager& sm, int skinIndex, const std::string& section, int state, int textureIndex,
                      int hotTextureIndex, TColor customColor, bool fast)
{
    TItemValues v;
    if (customColor != clKeyColor) {
        v.Color = customColor;
        return v;
    }
    const TsGeneralData& s = sm.gd[size_t(skinIndex)];
    const bool hot = state != 0;
    v.Color = hot ? s.HotColor : s.Color;
    v.Transparency = hot ? s.HotTransparency : s.Transparency;
    if (v.Transparency == 100) return v;   // only the parent shows: nothing else counts
    v.ImagePercent = hot ? s.HotImagePercent : s.ImagePercent;
    v.GradientPercent = hot ? s.HotGradientPercent : s.GradientPercent;
    if (v.ImagePercent > 0 && fast) {
        v.Texture = hot ? hotTextureIndex : textureIndex;
    } else if (v.ImagePercent > 0) {
        const char* property = hot ? "HOTPATTERN" : "PATTERN";
        int index = hot ? hotTextureIndex : textureIndex;
        if (index == -1) index = sm.GetTextureIndex(skinIndex, section, property);
        else if (!sm.MaskIndexValid(index) || sm.ma[size_t(index)].MaskType != 0) index = -1;
        if (!sm.MaskIndexValid(index)) {
            index = sm.GetPatternIndex(skinIndex, section, property);
            v.TextureIsPattern = index >= 0;
        }
        v.Texture = index;
    }
    if (v.GradientPercent != 0) v.Gradient = hot ? &s.HotGradientArray : &s.GradientArray;
    return v;
}

// Texture, gradient and colour of the section into aR of dst.
void SectionFill(const TsSkinManager& sm, const TItemValues& v, const TPixelView& dst, const TRect& aR,
                 const TCacheInfo& ci, bool fast)
{
    bool texturePainted = false;
    if (v.ImagePercent > 0) {
        TRect left = aR;
        if (v.TextureIsPattern && v.Texture >= 0 && v.Texture < int(sm.pa.size()) && sm.pa[size_t(v.Texture)].Img) {
            PaintTexture(dst, left, &sm.pa[size_t(v.Texture)].Img->View(), 0, nullptr);
            texturePainted = true;
        } else if (!v.TextureIsPattern && sm.MaskIndexValid(v.Texture)) {
            const TsMaskData& m = sm.ma[size_t(v.Texture)];
            // A texture with its own alpha shows the section's colour where
            // it is transparent, not what the item held before.
            if ((m.MaskType & 0xFF) == 0 && m.AlphaChannel) FillRectPixels(dst, aR, v.Color);
            if ((m.MaskType & 0xFF) == 0) PaintTexture(dst, left, nullptr, m.StretchMode, &m);
            else PaintTextureBmp(dst, left, ci, m.StretchMode, m);
            texturePainted = true;
        }
        if (!texturePainted) FillRectPixels(dst, aR, v.Color);
        else if (left.Left != -1) FillRectPixels(dst, left, v.Color);   // what the tiler left uncovered
    }
    if (v.GradientPercent > 0) {
        const bool hasGradient = v.Gradient && !v.Gradient->empty();
        if (texturePainted) {
            TPixelImage g(aR.Width(), aR.Height(), dst.BitsPerPixel);
            const TRect whole{0, 0, g.Width(), g.Height()};
            if (hasGradient) PaintSectionGradient(g.View(), whole, *v.Gradient);
            else FillRectPixels(g.View(), whole, v.Color);
            const int weight = fast ? std::min(255, v.ImagePercent * 256 / 100) : ClampByte(v.ImagePercent * 255 / 100);
            MixBitmapsRect(dst, g.View(), TColor(weight), whole, {aR.Left, aR.Top});
        } else if (hasGradient) {
            PaintSectionGradient(dst, aR, *v.Gradient);
        } else {
            FillRectPixels(dst, aR, v.Color);
        }
    }
    const int share = v.GradientPercent + v.ImagePercent;
    if (fast && (share == 0 || share > 100))
        FillRectPixels(dst, aR, !ci.Ready && v.Transparency == 100 ? ci.FillColor : v.Color);
    else if (share == 0)
        FillRectPixels(dst, aR, !ci.Ready && v.Transparency != 0 ? ci.FillColor : v.Color);
    else if (share >= 1 && share <= 99)
        BlendColorRect(dst, {aR.Left, aR.Top, aR.Right - 1, aR.Bottom - 1}, share, v.Color);
}

void ParentBackground(const TCacheInfo& ci, TPoint pP, const TPixelView& item, const TRect& aR)
{
    if (ci.Ready) {
        if (ci.Bmp.Bits != item.Bits) CopyRectPixels(item, aR, ci.Bmp, {ci.X + pP.X, ci.Y + pP.Y});
    } else {
        FillRectPixels(item, aR, ci.FillColor);
    }
}

bool ItemFits(const TsSkinManager* sm, int skinIndex, const TRect& r, const TPixelView& item)
{
    return sm && sm->SkinIndexValid(skinIndex) && !item.Empty() && r.Left < r.Right && r.Top < r.Bottom && r.Left >= 0 &&
           r.Top >= 0 && item.Width >= r.Right && item.Height >= r.Bottom;
}

TsSkinManager* ManagerOrDefault(TsSkinManager* m) { return m ? m : DefaultManager; }

// The background painter of items with a given mask: the textures as
// given, the colour share without the key-colour fallback, a 24-bit mixing
// picture and no overlay texture.
void PaintItemBGFast(const TsSkinManager& sm, int skinIndex, int textureIndex, int hotTextureIndex, const TCacheInfo& ci,
                     int state, const TRect& r, TPoint pP, const TPixelView& item)
{
    const TItemValues v = ValuesFor(sm, skinIndex, sm.gd[size_t(skinIndex)].Name, state, textureIndex, hotTextureIndex,
                                    clKeyColor, true);
    if (!ci.Ready || v.Transparency == 0) {
        SectionFill(sm, v, item, r, ci, true);
    } else if (v.Transparency == 100) {
        ParentBackground(ci, pP, item, r);
    } else {
        TPixelImage temp(r.Width(), r.Height(), 24);
        SectionFill(sm, v, temp.View(), {0, 0, temp.Width(), temp.Height()}, ci, true);
        if (!ci.Bmp.Empty() && ci.Bmp.Bits != item.Bits) ParentBackground(ci, pP, item, r);
        MixBitmapsRect(item, temp.View(), TColor(ClampByte(v.Transparency * 255 / 100)),
                       {0, 0, temp.Width(), temp.Height()}, {r.Left, r.Top});
    }
}

} // namespace

void PaintItemBG(TsSkinManager* manager, int skinIndex, const std::string& section, const TCacheInfo& ci, int state,
                 const TRect& r, TPoint pP, const TPixelView& item, int textureIndex, int hotTextureIndex,
                 TColor customColor)
{
    const TsSkinManager* sm = ManagerOrDefault(manager);
    if (!sm || !sm->SkinIndexValid(skinIndex) || item.Empty() || r.Left >= r.Right || r.Top >= r.Bottom) return;
    const TItemValues v = ValuesFor(*sm, skinIndex, section, state, textureIndex, hotTextureIndex, customColor, false);
    const TRect aR = r;
    // Nothing to show through, or nothing shows through: painted in place.
    if ((!ci.Ready && ci.FillColor == clKeyColor) || v.Transparency == 0) {
        SectionFill(*sm, v, item, aR, ci, false);
    } else if (v.Transparency == 100) {
        ParentBackground(ci, pP, item, aR);
    } else {
        TPixelImage temp(aR.Width(), aR.Height(), item.BitsPerPixel);
        SectionFill(*sm, v, temp.View(), {0, 0, temp.Width(), temp.Height()}, ci, false);
        ParentBackground(ci, pP, item, aR);
        MixBitmapsRect(item, temp.View(), TColor(ClampByte(v.Transparency * 255 / 100)),
                       {0, 0, temp.Width(), temp.Height()}, {aR.Left, aR.Top});
    }
    // Textures that only lay a pattern over what is there (mode 10), also
    // over a control's own colour.
    if (state == 0) {
        for (int index : {textureIndex, hotTextureIndex}) {
            if (!sm->MaskIndexValid(index)) continue;
            const TsMaskData& m = sm->ma[size_t(index)];
            if (m.MaskType > 0 && m.StretchMode == 10) {
                TCacheInfo shifted = ci;
                shifted.X += pP.X;
                shifted.Y += pP.Y;
                TRect area = r;
                PaintTextureBmp(item, area, shifted, 10, m);
                break;
            }
        }
    }
}

void PaintItem(TsSkinManager* manager, int skinIndex, const std::string& section, TCacheInfo ci, bool filling, int state,
               const TRect& r, TPoint pP, const TPixelView& item, int textureIndex, int hotTextureIndex)
{
    TsSkinManager* sm = ManagerOrDefault(manager);
    if (!ItemFits(sm, skinIndex, r, item)) return;
    PaintItemBG(sm, skinIndex, section, ci, state, r, pP, item, textureIndex, hotTextureIndex);
    const TsGeneralData& s = sm->gd[size_t(skinIndex)];
    const TCacheInfo itself = MakeCacheInfo(item, 0, 0);
    const int corners[] = {s.ImgTopLeft, s.ImgTopRight, s.ImgBottomLeft, s.ImgBottomRight};
    for (int i = 0; i < 4; ++i) {
        if (!sm->MaskIndexValid(corners[i])) continue;
        const TsMaskData& m = sm->ma[size_t(corners[i])];
        const int fw = MaskFrameWidth(m), fh = MaskFrameHeight(m);
        const TPoint at{i % 2 == 0 ? r.Left : r.Right - fw, i < 2 ? r.Top : r.Bottom - fh};
        DrawMaskGlyph(item, at, state, 1, m, itself);
    }
    ci.X += pP.X;
    ci.Y += pP.Y;
    if (sm->MaskIndexValid(s.BorderIndex)) DrawMaskRect(item, r, filling, ci, sm->ma[size_t(s.BorderIndex)], state, true);
}

void PaintItemWithMask(TsSkinManager* manager, int skinIndex, int maskIndex, int textureIndex, int hotTextureIndex,
                       TCacheInfo& ci, bool filling, int state, const TRect& r, TPoint pP, const TPixelView& item)
{
    TsSkinManager* sm = ManagerOrDefault(manager);
    if (!ItemFits(sm, skinIndex, r, item)) return;
    PaintItemBGFast(*sm, skinIndex, textureIndex, hotTextureIndex, ci, state, r, pP, item);
    ci.X += pP.X;
    ci.Y += pP.Y;
    if (sm->MaskIndexValid(maskIndex)) DrawMaskRect(item, r, filling, ci, sm->ma[size_t(maskIndex)], state, true);
    ci.X -= pP.X;
    ci.Y -= pP.Y;
}

} // namespace skin
