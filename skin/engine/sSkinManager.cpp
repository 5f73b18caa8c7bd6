#include "skin/engine/sSkinManager.h"

#include <algorithm>
#include <cstring>

#include "skin/engine/SkinColors.h"
#include "skin/engine/SkinIni.h"
#include "skin/engine/SkinPictures.h"

namespace skin {

namespace {

// The classic palette, for the portable build and its tests; Windows asks the system.
TColor ClassicSysColor(int index)
{
    static const TColor colours[] = {
        0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
        0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
        0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
        0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xFF6633, 0xC8D0D4};
    return index >= 0 && index < int(std::size(colours)) ? colours[index] : 0;
}

const char* const kGlobal = "GLOBALINFO";

} // namespace

TColor (*SysColorSource)(int index) = ClassicSysColor;

TColor ColorToRGB(TColor c)
{
    return c < 0 ? SysColorSource(c & 0xFF) : c;
}

TsSkinManager::TsSkinManager() = default;
TsSkinManager::~TsSkinManager() = default;

int TsSkinManager::GetSkinIndex(const std::string& section) const
{
    for (size_t i = 0; i < gd.size(); ++i)
        if (gd[i].Name == section) return static_cast<int>(i);
    return -1;
}

int TsSkinManager::FindMask(int skinIndex, const std::string& section, const std::string& mask, bool textureOnly,
                            int depth) const
{
    if (skinIndex < 0 || section.empty()) return -1;
    for (size_t i = 0; i < ma.size(); ++i)
        if (ma[i].SectionName == section && ma[i].PropertyName == mask && (!textureOnly || ma[i].ImgType == itisaTexture))
            return static_cast<int>(i);
    // A chain that comes back to an earlier section would never end.
    if (!SkinIndexValid(skinIndex) || depth >= MaxParentDepth) return -1;
    const std::string& parent = gd[static_cast<size_t>(skinIndex)].ParentClass;
    if (parent.empty() || parent == section) return -1;
    return FindMask(GetSkinIndex(parent), parent, mask, textureOnly, depth + 1);
}

int TsSkinManager::GetMaskIndex(int skinIndex, const std::string& section, const std::string& mask) const
{
    return FindMask(skinIndex, section, mask, false, 0);
}

int TsSkinManager::GetTextureIndex(int skinIndex, const std::string& section, const std::string& property) const
{
    return FindMask(skinIndex, section, property, true, 0);
}

int TsSkinManager::FindPattern(int skinIndex, const std::string& section, const std::string& property, int depth) const
{
    if (skinIndex < 0 || section.empty()) return -1;
    for (size_t i = 0; i < pa.size(); ++i)
        if (pa[i].SectionName == section && pa[i].PropertyName == property) return static_cast<int>(i);
    if (!SkinIndexValid(skinIndex) || depth >= MaxParentDepth) return -1;
    const std::string& parent = gd[static_cast<size_t>(skinIndex)].ParentClass;
    if (parent.empty() || parent == section) return -1;
    return FindPattern(GetSkinIndex(parent), parent, property, depth + 1);
}

int TsSkinManager::GetPatternIndex(int skinIndex, const std::string& section, const std::string& property) const
{
    return FindPattern(skinIndex, section, property, 0);
}

int TsSkinManager::GetMaskIndexByName(const std::string& section, const std::string& mask) const
{
    if (section.empty()) return -1;
    for (size_t i = 0; i < ma.size(); ++i)
        if (ma[i].SectionName == section && ma[i].PropertyName == mask) return static_cast<int>(i);
    return -1;
}

TPoint TsSkinManager::GetMaskFrameSize(int maskIndex) const
{
    if (!MaskIndexValid(maskIndex)) return {};
    const TsMaskData& m = ma[static_cast<size_t>(maskIndex)];
    if (m.Bmp) return {m.Bmp->Width() / 3, m.Bmp->Height() / 2};
    return {MaskFrameWidth(m), MaskFrameHeight(m)};
}

int TsSkinManager::MaskWidth(int maskIndex, int w, bool horizontal) const
{
    if (w > 0) return w;
    const TsMaskData& m = ma[static_cast<size_t>(maskIndex)];
    if (m.BorderWidth >= 1) return m.BorderWidth;
    if (horizontal) return m.R.Width() / std::max<int>(m.ImageCount, 1);
    return MaskFrameHeight(m);
}

int TsSkinManager::MaskWidthLeft(int i) const { return MaskIndexValid(i) ? MaskWidth(i, ma[size_t(i)].WL, true) : 0; }
int TsSkinManager::MaskWidthRight(int i) const { return MaskIndexValid(i) ? MaskWidth(i, ma[size_t(i)].WR, true) : 0; }
int TsSkinManager::MaskWidthTop(int i) const { return MaskIndexValid(i) ? MaskWidth(i, ma[size_t(i)].WT, false) : 0; }
int TsSkinManager::MaskWidthBottom(int i) const { return MaskIndexValid(i) ? MaskWidth(i, ma[size_t(i)].WB, false) : 0; }

const TPixelImage* TsSkinManager::MaskImage(int maskIndex) const
{
    if (!MaskIndexValid(maskIndex)) return nullptr;
    const TsMaskData& m = ma[static_cast<size_t>(maskIndex)];
    return m.Bmp ? m.Bmp.get() : MasterBitmap.get();
}

TColor TsSkinManager::GetGlobalColor() const
{
    const int i = ConstData.IndexGlobalInfo;
    return ColorToRGB(SkinIndexValid(i) ? gd[size_t(i)].Color : clSysBtnFace);
}

TColor TsSkinManager::GetGlobalFontColor() const
{
    const int i = ConstData.IndexGlobalInfo;
    return ColorToRGB(SkinIndexValid(i) ? gd[size_t(i)].FontColor[0] : clKeyColor);
}

TColor TsSkinManager::GetGlobalHotColor() const
{
    const int i = ConstData.IndexGlobalInfo;
    return ColorToRGB(SkinIndexValid(i) ? gd[size_t(i)].HotColor : clSysWindow);
}

TColor TsSkinManager::GetEditHotFontColor() const
{
    const int i = GetSkinIndex("EDIT");
    return ColorToRGB(i >= 0 ? gd[size_t(i)].HotFontColor[0] : clKeyColor);
}

namespace {
bool NoHighlight(TColor c) { return c == -1 || c == clKeyColor || c == 0xFFFFFF; }
} // namespace

TColor TsSkinManager::GetHighlightColor() const
{
    const int i = GetSkinIndex("MENUITEM");
    if (i < 0 || NoHighlight(gd[size_t(i)].HotColor)) return ColorToRGB(clSysHighlight);
    return ColorToRGB(gd[size_t(i)].HotColor);
}

TColor TsSkinManager::GetHighlightFontColor() const
{
    const int i = GetSkinIndex("MENUITEM");
    if (i < 0) return ColorToRGB(clSysHighlightText);
    const TsGeneralData& g = gd[size_t(i)];
    if (NoHighlight(g.HotFontColor[0]) || g.HotFontColor[0] == 0 || NoHighlight(g.HotColor))
        return ColorToRGB(clSysHighlightText);
    return ColorToRGB(g.HotFontColor[0]);
}

std::string TsSkinManager::ReadInherited(const std::string& section, const std::string& key, int depth) const
{
    std::string v = SkinIni->ReadString(section, key, "?");
    if (v != "?" || depth >= MaxParentDepth) return v;
    const std::string parent = SkinIni->ReadString(section, "PARENTCLASS", "?");
    if (parent.empty() || parent == "?" || parent == section) return v;
    return ReadInherited(parent, key, depth + 1);
}

std::string TsSkinManager::ReadInheritedString(const std::string& section, const std::string& key,
                                               const std::string& def) const
{
    if (!SkinIni) return def;
    const std::string v = ReadInherited(section, key, 0);
    return v == "?" ? def : v;
}

int TsSkinManager::ReadInheritedInteger(const std::string& section, const std::string& key, int def) const
{
    if (!SkinIni) return def;
    std::string s = section;
    for (int depth = 0; depth <= MaxParentDepth; ++depth) {
        const int v = SkinIni->ReadInteger(s, key, -1);
        if (v != -1) return v;
        const std::string parent = SkinIni->ReadString(s, "PARENTCLASS", "?");
        if (parent.empty() || parent == "?" || parent == s) break;
        s = parent;
    }
    return def;
}

void TsSkinManager::UpdateSectionMaskIndexes()
{
    for (size_t i = 0; i < gd.size(); ++i) {
        TsGeneralData& g = gd[i];
        const int si = static_cast<int>(i);
        g.BorderIndex = GetMaskIndex(si, g.Name, "BORDERSMASK");
        g.ImgTopLeft = GetMaskIndex(si, g.Name, "IMGTOPLEFT");
        g.ImgTopRight = GetMaskIndex(si, g.Name, "IMGTOPRIGHT");
        g.ImgBottomLeft = GetMaskIndex(si, g.Name, "IMGBTMLEFT");
        g.ImgBottomRight = GetMaskIndex(si, g.Name, "IMGBTMRIGHT");
    }
}

void TsSkinManager::UpdateCommonIndexes()
{
    TsConstData& c = ConstData;
    c = TsConstData();
    c.IndexGlobalInfo = GetSkinIndex(kGlobal);
    if (c.IndexGlobalInfo >= 0) c.ExBorder = GetMaskIndex(c.IndexGlobalInfo, kGlobal, "EXBORDER");

    const char* tabs[4] = {"TABTOP", "TABBOTTOM", "TABLEFT", "TABRIGHT"};
    int* tabIndex[4] = {&c.IndexTabTop, &c.IndexTabBottom, &c.IndexTabLeft, &c.IndexTabRight};
    int* tabMask[4] = {&c.MaskTabTop, &c.MaskTabBottom, &c.MaskTabLeft, &c.MaskTabRight};
    for (int i = 0; i < 4; ++i) {
        *tabIndex[i] = GetSkinIndex(tabs[i]);
        *tabMask[i] = GetMaskIndex(*tabIndex[i], tabs[i], "BORDERSMASK");
    }

    auto part = [this](TsConstData::TScrollPart& p, const char* name, bool glyph) {
        p.SkinIndex = GetSkinIndex(name);
        p.MaskIndex = GetMaskIndex(p.SkinIndex, name, "BORDERSMASK");
        if (glyph && p.SkinIndex >= 0) p.GlyphIndex = GetMaskIndex(p.SkinIndex, name, "GLYPHMASK");
        p.BGTexture = GetMaskIndex(p.SkinIndex, name, "PATTERN");
        p.BGHotTexture = GetMaskIndex(p.SkinIndex, name, "HOTPATTERN");
    };
    part(c.ScrollBtnTop, "SCROLLBTNTOP", true);
    part(c.ScrollBtnBottom, "SCROLLBTNBOTTOM", true);
    part(c.ScrollBtnLeft, "SCROLLBTNLEFT", true);
    part(c.ScrollBtnRight, "SCROLLBTNRIGHT", true);
    part(c.ScrollSliderV, "SCROLLSLIDERV", true);
    part(c.ScrollSliderH, "SCROLLSLIDERH", true);
    part(c.ScrollBar1H, "SCROLLBAR1H", false);
    part(c.ScrollBar1V, "SCROLLBAR1V", false);
    part(c.ScrollBar2H, "SCROLLBAR2H", false);
    part(c.ScrollBar2V, "SCROLLBAR2V", false);

    if (c.IndexGlobalInfo >= 0) {
        const int g = c.IndexGlobalInfo;
        c.CheckBoxChecked = GetMaskIndex(g, kGlobal, "BOXCHECKED");
        c.CheckBoxUnChecked = GetMaskIndex(g, kGlobal, "BOXUNCHECKED");
        c.CheckBoxGrayed = GetMaskIndex(g, kGlobal, "BOXGRAYED");
        c.RadioButtonChecked = GetMaskIndex(g, kGlobal, "RADIOCHECKED");
        c.RadioButtonUnChecked = GetMaskIndex(g, kGlobal, "RADIOUNCHECKED");
        c.RadioButtonGrayed = GetMaskIndex(g, kGlobal, "RADIOGRAYED");
        c.SmallCheckBoxChecked = GetMaskIndex(g, kGlobal, "SMALLCHECKED");
        c.SmallCheckBoxUnChecked = GetMaskIndex(g, kGlobal, "SMALLUNCHECKED");
        c.SmallCheckBoxGrayed = GetMaskIndex(g, kGlobal, "SMALLGRAYED");
    }
    c.ComboBtnIndex = GetSkinIndex("COMBOBTN");
    c.ComboBtnBorder = GetMaskIndex(c.ComboBtnIndex, "COMBOBTN", "BORDERSMASK");
    c.ComboBtnBG = GetTextureIndex(c.ComboBtnIndex, "COMBOBTN", "PATTERN");
    c.ComboBtnBGHot = GetTextureIndex(c.ComboBtnIndex, "COMBOBTN", "HOTPATTERN");
    c.ComboGlyph = GetMaskIndex(GetSkinIndex("COMBOBOX"), "COMBOBOX", "GLYPHMASK");
    UpdateExtBorderImages();
}

namespace {

std::unique_ptr<TPixelImage> CopyFrame32(const TPixelImage& src, int x0, int y0, int w, int h)
{
    auto img = std::make_unique<TPixelImage>(std::max(w, 0), std::max(h, 0), 32);
    const TPixelView& s = src.View();
    const TPixelView& d = img->View();
    for (int y = 0; y < d.Height; ++y)
        for (int x = 0; x < d.Width; ++x) {
            uint8_t* p = d.Pixel(x, y);
            if (!s.Contains(x0 + x, y0 + y)) continue;
            const uint8_t* q = s.Pixel(x0 + x, y0 + y);
            p[0] = q[0];
            p[1] = q[1];
            p[2] = q[2];
            p[3] = s.BitsPerPixel == 32 ? q[3] : 255;
        }
    return img;
}

} // namespace

void TsSkinManager::UpdateExtBorderImages()
{
    ExtBorderMargins = {};
    if (!Active || !ExtendedBorders) return;
    ExtBorderActive = std::make_unique<TPixelImage>();
    ExtBorderInactive = std::make_unique<TPixelImage>();
    const int ex = ConstData.ExBorder;
    if (MaskIndexValid(ex)) {
        const TsMaskData& m = ma[size_t(ex)];
        const int off = SkinData.FormOffset;
        if (SkinData.BorderMode != 0)
            ExtBorderMargins = {off, off, off, off};
        else
            ExtBorderMargins = {m.WL - off, m.WT - off, m.WR - off, m.WB - off};
        if (const TPixelImage* img = MaskImage(ex)) {
            const int fw = MaskFrameWidth(m), fh = MaskFrameHeight(m);
            ExtBorderInactive = CopyFrame32(*img, m.R.Left, m.R.Top, fw, fh);
            ExtBorderActive = m.ImageCount > 1 ? CopyFrame32(*img, m.R.Left + fw, m.R.Top, fw, fh)
                                               : CopyFrame32(*ExtBorderInactive, 0, 0, fw, fh);
        }
    } else if (ShadowActive && ShadowInactive) {
        ExtBorderMargins = {11, 7, 11, 11};
        ExtBorderActive = CopyFrame32(*ShadowActive, 0, 0, ShadowActive->Width(), ShadowActive->Height());
        ExtBorderInactive = CopyFrame32(*ShadowInactive, 0, 0, ShadowInactive->Width(), ShadowInactive->Height());
        if (CompositionEnabled) {
            ++ExtBorderMargins.Left;
            ++ExtBorderMargins.Top;
            ++ExtBorderMargins.Right;
            ++ExtBorderMargins.Bottom;
        }
    }
    ClearTransparentWhite(ExtBorderActive->View());
    ClearTransparentWhite(ExtBorderInactive->View());
}

void TsSkinManager::TransformSkinColours(const std::function<TColor(TColor)>& change, const std::vector<int>& keptMasks)
{
    auto kept = [&](size_t i) { return std::find(keptMasks.begin(), keptMasks.end(), int(i)) != keptMasks.end(); };
    // Kept masks cut from the master bitmap: their rectangles go back afterwards.
    std::vector<std::pair<size_t, std::unique_ptr<TPixelImage>>> saved;
    if (MasterBitmap)
        for (size_t i = 0; i < ma.size(); ++i)
            if (kept(i) && !ma[i].Bmp) {
                const TRect& r = ma[i].R;
                saved.emplace_back(i, std::make_unique<TPixelImage>(std::max(r.Width(), 0), std::max(r.Height(), 0), 24));
                CopyPixels(saved.back().second->View(), 0, 0, MasterBitmap->View(), r);
            }
    if (MasterBitmap) ChangePixelColours(MasterBitmap->View(), change);
    for (size_t i = 0; i < ma.size(); ++i) {
        if (!ma[i].Bmp || kept(i)) continue;
        if (ma[i].Bmp->BitsPerPixel() != 32) SetPictureFormat(ma[i].Bmp, 24);
        ChangePixelColours(ma[i].Bmp->View(), change);
    }
    for (auto& [i, img] : saved) {
        const TRect& r = ma[i].R;
        CopyPixels(MasterBitmap->View(), r.Left, r.Top, img->View(), {0, 0, img->Width(), img->Height()});
    }
    auto one = [&](TColor& c) {
        if (c != -1) c = change(c);
    };
    for (TsGeneralData& g : gd) {
        one(g.Color);
        one(g.HotColor);
        for (TColor& c : g.FontColor) one(c);
        for (TColor& c : g.HotFontColor) one(c);
        for (TsGradPie& p : g.GradientArray) {
            p.Color1 = change(p.Color1);
            p.Color2 = change(p.Color2);
        }
        for (TsGradPie& p : g.HotGradientArray) {
            p.Color1 = change(p.Color1);
            p.Color2 = change(p.Color2);
        }
    }
    SkinData.Shadow1Color = change(SkinData.Shadow1Color);
    SkinData.BorderColor = change(SkinData.BorderColor);
}

void TsSkinManager::ChangeSkinSaturation(int value)
{
    if (value == 0) return;
    const int amount = -(value % 101);
    TransformSkinColours([amount](TColor c) { return ChangeSaturation(c, amount); }, {});
}

void TsSkinManager::ChangeSkinHue(int value)
{
    if (value == 0) return;
    std::vector<int> kept;
    const int keep = SkinData.BIKeepHue;
    if (keep != 0) {
        std::vector<std::string> icons = {"BICONCLOSE", "SICONCLOSE"};
        if (keep == 1)
            icons.insert(icons.end(), {"BICONMAX", "BICONMIN", "BICONNORM", "BICONHELP", "SICONMAX", "SICONMIN", "SICONNORM"});
        const int g = GetSkinIndex(kGlobal);
        for (const std::string& name : icons) {
            for (const std::string& n : {name, name + "GLOW0"}) {
                const int i = GetMaskIndex(g, kGlobal, n);
                if (i >= 0) kept.push_back(i);
            }
        }
    }
    TransformSkinColours([value](TColor c) { return ChangeHue(value, c); }, kept);
}

} // namespace skin
