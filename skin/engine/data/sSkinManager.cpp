#include "skin/engine/data/sSkinManager.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "base/SysUtils.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"

#include "skin/engine/data/SkinColors.h"
#include "skin/engine/data/SkinIni.h"
#include "skin/engine/images/SkinPictures.h"

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

bool SkinLoading = false;
bool SendingNewSkin = false;
bool RemovingSkin = false;

namespace {
TSkinAnnouncer* g_platformAnnouncer = nullptr;
} // namespace

TSkinAnnouncer& PlatformAnnouncer()
{
    static TSkinAnnouncer none;
    return g_platformAnnouncer ? *g_platformAnnouncer : none;
}

void SetPlatformAnnouncer(TSkinAnnouncer* announcer) { g_platformAnnouncer = announcer; }

#ifndef _WIN32
std::string ProgramFolderOfProcess()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : tw::IncludeTrailingPathDelimiter(exe.parent_path().string());
}
#endif

TsSkinManager::TsSkinManager(tw::TComponent* owner) : tw::TComponent(owner), ProgramFolder(ProgramFolderOfProcess())
{
    // Whatever already sits on the owner (a form's provider without a
    // manager) learns of the manager first, before it becomes the default
    // one: a provider that finds no manager takes this one as its own.
    NotifyOwner(tw::opInsert);
    AnimEffects.Manager = this;
    AnimEffects.Buttons.Manager = this;
    Announcer->ManagerCreated(*this);
    UpdateThirdLists();
    if (!DefaultManager) {
        DefaultManager = this;
        isDefault_ = true;
        Announcer->DefaultManagerCreated(*this);
    }
    Announcer->SkinChangeHook();
}

TsSkinManager::~TsSkinManager()
{
    // Destructors must not throw: whatever the windows do with the removal
    // stays with them.
    // Marked as going before the removal goes round: the links that still
    // name this manager forget it then, instead of keeping a dangling one,
    // and the halo windows go at once rather than outlive it by a message.
    Destroying();
    try {
        SetActive(false);
    } catch (...) {
    }
    FreeTables();
    // Only the current default manager takes the main-window hook along; one
    // that gave the mark to another leaves the hook to it.
    if (DefaultManager == this) {
        PlatformAnnouncer().DefaultManagerDestroyed(*this);
        DefaultManager = nullptr;
    }
    isDefault_ = false;
    // The lists go back into the texts they were read from: whatever was
    // added to them survives in ThirdParty.
    WriteThirdLists();
    // The owner's components drop their references to this manager.
    NotifyOwner(tw::opRemove);
}

namespace {

// A mask's or pattern's key in an index: the section's length keeps two
// pairs of names apart whatever characters they hold.
std::string PairKey(const std::string& section, const std::string& property)
{
    return std::to_string(section.size()) + ':' + section + property;
}

} // namespace

const TsSkinManager::TNameIndex& TsSkinManager::SectionIndex() const
{
    TNameIndex& x = sectionIndex_;
    if (x.Made && x.Data == gd.data() && x.Size == gd.size()) return x;
    x = TNameIndex();
    for (size_t i = 0; i < gd.size(); ++i) x.First.try_emplace(gd[i].Name, int(i));
    x.Data = gd.data();
    x.Size = gd.size();
    x.Made = true;
    return x;
}

const TsSkinManager::TNameIndex& TsSkinManager::MaskIndex() const
{
    TNameIndex& x = maskIndex_;
    if (x.Made && x.Data == ma.data() && x.Size == ma.size()) return x;
    x = TNameIndex();
    for (size_t i = 0; i < ma.size(); ++i) {
        const std::string key = PairKey(ma[i].SectionName, ma[i].PropertyName);
        x.First.try_emplace(key, int(i));
        if (ma[i].ImgType == itisaTexture) x.FirstTexture.try_emplace(key, int(i));
    }
    x.Data = ma.data();
    x.Size = ma.size();
    x.Made = true;
    return x;
}

const TsSkinManager::TNameIndex& TsSkinManager::PatternIndex() const
{
    TNameIndex& x = patternIndex_;
    if (x.Made && x.Data == pa.data() && x.Size == pa.size()) return x;
    x = TNameIndex();
    for (size_t i = 0; i < pa.size(); ++i) x.First.try_emplace(PairKey(pa[i].SectionName, pa[i].PropertyName), int(i));
    x.Data = pa.data();
    x.Size = pa.size();
    x.Made = true;
    return x;
}

int TsSkinManager::GetSkinIndex(const std::string& section) const
{
    const TNameIndex* x = &SectionIndex();
    auto at = x->First.find(section);
    // The tables are open to their users: a record renamed in place leaves
    // its old name in the index, so a hit is checked against the record.
    if (at != x->First.end() && gd[size_t(at->second)].Name != section) {
        sectionIndex_ = TNameIndex();
        x = &SectionIndex();
        at = x->First.find(section);
    }
    return at == x->First.end() ? -1 : at->second;
}

int TsSkinManager::FindMask(int skinIndex, const std::string& section, const std::string& mask, bool textureOnly,
                            int depth) const
{
    if (skinIndex < 0 || section.empty()) return -1;
    const int i = MaskByName(section, mask, textureOnly);
    if (i >= 0) return i;
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
    const std::string key = PairKey(section, property);
    const TNameIndex* x = &PatternIndex();
    auto at = x->First.find(key);
    if (at != x->First.end() &&
        (pa[size_t(at->second)].SectionName != section || pa[size_t(at->second)].PropertyName != property)) {
        patternIndex_ = TNameIndex();  // renamed in place: see GetSkinIndex
        x = &PatternIndex();
        at = x->First.find(key);
    }
    if (at != x->First.end()) return at->second;
    if (!SkinIndexValid(skinIndex) || depth >= MaxParentDepth) return -1;
    const std::string& parent = gd[static_cast<size_t>(skinIndex)].ParentClass;
    if (parent.empty() || parent == section) return -1;
    return FindPattern(GetSkinIndex(parent), parent, property, depth + 1);
}

int TsSkinManager::GetPatternIndex(int skinIndex, const std::string& section, const std::string& property) const
{
    return FindPattern(skinIndex, section, property, 0);
}

int TsSkinManager::MaskByName(const std::string& section, const std::string& mask, bool textureOnly) const
{
    const std::string key = PairKey(section, mask);
    const TNameIndex* x = &MaskIndex();
    auto found = [&] {
        const auto& names = textureOnly ? x->FirstTexture : x->First;
        const auto at = names.find(key);
        return at == names.end() ? -1 : at->second;
    };
    int i = found();
    if (i >= 0 && (ma[size_t(i)].SectionName != section || ma[size_t(i)].PropertyName != mask)) {
        maskIndex_ = TNameIndex();  // renamed in place: see GetSkinIndex
        x = &MaskIndex();
        i = found();
    }
    return i;
}

int TsSkinManager::GetMaskIndexByName(const std::string& section, const std::string& mask) const
{
    if (section.empty()) return -1;
    return MaskByName(section, mask, false);
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

// How far an extended border lies outside its form on each side at most.
constexpr int kMaxExtBorderMargin = 64;

} // namespace

void TsSkinManager::UpdateExtBorderImages()
{
    ExtBorderMargins = {};
    if (!active_ || !ExtendedBorders()) return;
    ExtBorderActive = std::make_unique<TPixelImage>();
    ExtBorderInactive = std::make_unique<TPixelImage>();
    const int ex = ConstData.ExBorder;
    if (MaskIndexValid(ex)) {
        const TsMaskData& m = ma[size_t(ex)];
        const int off = SkinData.FormOffset;
        // The border's pieces come from the skin: a piece narrower than the
        // offset would put the border inside the form, one thousands of
        // pixels wide a layered window of that size around it.
        auto margin = [](int v) { return std::clamp(v, 0, kMaxExtBorderMargin); };
        if (SkinData.BorderMode != 0)
            ExtBorderMargins = {margin(off), margin(off), margin(off), margin(off)};
        else
            ExtBorderMargins = {margin(m.WL - off), margin(m.WT - off), margin(m.WR - off), margin(m.WB - off)};
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
        if (Announcer && Announcer->CompositionEnabled()) {
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
    // Gradients shared by many sections are changed once and stay shared;
    // the old steps are kept alive here so that no new ones can take their
    // place in the look-up while it runs.
    std::map<const TsGradPie*, std::pair<TsGradArray, TsGradArray>> changed;
    auto gradient = [&](TsGradArray& a) {
        if (a.empty()) return;
        auto at = changed.find(a.begin());
        if (at == changed.end()) {
            TsGradArray shifted = a;
            for (TsGradPie& p : shifted.Steps()) {
                p.Color1 = change(p.Color1);
                p.Color2 = change(p.Color2);
            }
            at = changed.emplace(a.begin(), std::make_pair(a, shifted)).first;
        }
        a = at->second.second;
    };
    for (TsGeneralData& g : gd) {
        one(g.Color);
        one(g.HotColor);
        for (TColor& c : g.FontColor) one(c);
        for (TColor& c : g.HotFontColor) one(c);
        gradient(g.GradientArray);
        gradient(g.HotGradientArray);
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


namespace {

// Sets a library-wide flag for a scope and puts back what was there, also
// when a reader raises.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : flag_(flag), was_(flag) { flag = true; }
    ~TFlagScope() { flag_ = was_; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& flag_;
    bool was_;
};

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::filesystem::path Utf8Path(const std::string& name)
{
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string PathUtf8(const std::filesystem::path& p)
{
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

std::string LowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

const char* const kOptionsFile = "Options.dat";

} // namespace

std::string NormalizeSkinDirectory(const std::string& dir, char delim)
{
    if (dir.empty()) return dir;
    std::string s = dir;
    const char last = s.back();
    if (last == '/' || last == '\\') s.back() = delim;
    else if (s.size() == 1) s += std::string(":") + delim;
    else s += delim;
    return s;
}

std::string FullSkinDirectory(const std::string& dir, const std::string& programFolder, char delim)
{
    std::string s;
    if (StartsWith(dir, "..")) {
        // The parent of the program's folder. A folder without any separator
        // has no parent to go to: the search stops at its start instead of
        // running past it.
        std::string parent = programFolder;
        if (!parent.empty()) parent.pop_back();
        while (!parent.empty() && parent.back() != '/' && parent.back() != '\\') parent.pop_back();
        s = parent + (dir.size() > 3 ? dir.substr(3) : std::string());
    } else if (StartsWith(dir, ".\\") || StartsWith(dir, "./")) {
        s = programFolder + dir.substr(2);
    } else if (dir.find(':') == std::string::npos && dir.find("\\\\") == std::string::npos &&
               !(delim == '/' && StartsWith(dir, "/"))) {
        s = programFolder + dir;
    } else {
        s = dir;
    }
    return NormalizeSkinDirectory(s, delim);
}

bool AcVerRequested(const std::vector<std::string>& args)
{
    return std::any_of(args.begin(), args.end(), [](const std::string& a) { return LowerAscii(a) == "/acver"; });
}

std::string TsSkinManager::GetFullSkinDirectory() const
{
    return FullSkinDirectory(skinDirectory_, ProgramFolder, tw::PathDelim());
}

std::string TsSkinManager::PackedFileName() const
{
    // The same folder the skin list and the folder skins come from: a
    // relative skin folder lies beside the program, not wherever the
    // process happens to stand.
    return GetFullSkinDirectory() + skinName_ + "." + kPackedSkinExt;
}

void TsSkinManager::SetSkinDirectory(const std::string& value)
{
    if (value == skinDirectory_) return;
    // An empty folder stands for the program's own folder until the
    // component is loaded, which puts the default folder in its place.
    skinDirectory_ = value;
    SkinPath = GetFullSkinDirectory();
}

void TsSkinManager::SetSkinName(const std::string& value)
{
    skinName_ = value;
    if (!active_) return;
    if (OnBeforeChange) OnBeforeChange(this);
    {
        TFlagScope loading(SkinLoading);
        skinLoaded_ = false;
        LoadSkin();
        if (active_) SendNewSkin(true);
        else SendRemoveSkin();
    }
    if (OnAfterChange) OnAfterChange(this);
}

void TsSkinManager::LoadSkin()
{
    LoadErrorFile.clear();
    LoadError.clear();
    PictureInReading.clear();
    // A packed file of the name wins over a folder of the same name.
    packed_ = tw::FileExists(PackedFileName());
    const std::string file = packed_ ? PackedFileName()
                                     : GetFullSkinDirectory() + skinName_ + tw::PathDelim() + kOptionsFile;
    const bool fromFolder = packed_ || (!skinName_.empty() && tw::FileExists(file));
    try {
        if (packed_) LoadPackedSkin();
        else LoadUnpackedSkin();
    } catch (const std::exception& e) {
        // A skin in the skin folder is input like any file: one that cannot
        // be read is told to the owner (LoadError) and the skin stored in the
        // program takes its place. Without one there is nothing to fall back
        // on, and the failure goes to the caller.
        if (!fromFolder || InternalSkins.Count() == 0) throw;
        LoadErrorFile = file;
        // Which picture, where one could not be read: the reader's own text
        // ("Stream read error") does not say.
        LoadError = PictureInReading.empty() ? std::string(e.what())
                                             : "\"" + PictureInReading + "\": " + e.what();
        PictureInReading.clear();
        FreeTables();
        LoadStoredSkin();
    }
}

void TsSkinManager::LoadPackedSkin()
{
    if (!active_) return;
    std::unique_ptr<TacSkinConvertor> sc;
    LoadPackedFile(PackedFileName(), sc, true);
    if (!sc) throw EInvalidSkin("The skin file \"" + PackedFileName() + "\" cannot be read");
    sc->FreePackedData();
    SkinPath = GetFullSkinDirectory();
    LoadPackedSkinTables(*this, *sc);
    RefuseStrippedSkin();
}

void TsSkinManager::RefuseStrippedSkin() const
{
    // Options without a single section, or masks that live in a master
    // picture the skin does not have, would strip every window of its look
    // (no frame, no caption buttons): such a skin is damaged, packed or not.
    if (gd.empty()) throw EInvalidSkin("The skin options hold no skin sections");
    if (MasterBitmap && MasterBitmap->Width() > 0 && MasterBitmap->Height() > 0) return;
    for (const TsMaskData& m : ma)
        if (!m.Bmp) throw EInvalidSkin("The skin's master picture is missing");
}

void TsSkinManager::LoadUnpackedSkin()
{
    if (!active_) return;
    const std::string folder = GetFullSkinDirectory() + skinName_ + tw::PathDelim();
    if (!skinName_.empty() && tw::FileExists(folder + kOptionsFile)) {
        packed_ = false;
        SkinPath = folder;
        tw::TMemoryStream file;
        {
            tw::TFileStream options(folder + kOptionsFile, tw::fmOpenRead | tw::fmShareDenyWrite);
            if (options.Size() > kMaxPackedSkinBytes) throw EInvalidSkin("The skin options are too large");
            file.LoadFromStream(options);
        }
        const std::string text(reinterpret_cast<const char*>(file.Memory()), static_cast<size_t>(file.Size()));
        LoadSkinTables(*this, &text);
        RefuseStrippedSkin();
        return;
    }
    // Not in the skin folder: one of the skins kept inside the program.
    LoadStoredSkin();
}

void TsSkinManager::LoadStoredSkin()
{
    SkinPath.clear();
    int index = InternalSkins.IndexOfSkin(skinName_);
    if (index < 0) {
        if (InternalSkins.Count() == 0) {
            active_ = false;
            return;
        }
        index = 0;
        skinName_ = InternalSkins.Items(0).Name();
    }
    const TsStoredSkin& stored = InternalSkins.Items(index);
    if (!stored.HasPackedData()) {
        // Taken apart already: the readers copy the stored collections.
        packed_ = false;
        LoadStoredSkinTables(*this);
        return;
    }
    packed_ = true;
    TacSkinConvertor sc;
    sc.SetPackedData(stored.Data.get(), false);
    sc.ExtractPackedData();
    sc.FreePackedData();   // the stream stays the stored skin's
    LoadPackedSkinTables(*this, sc);
}

void TsSkinManager::SendNewSkin(bool repaint)
{
    if (IsLoading()) return;
    Announcer->ClearGlows();
    if (repaint) Announcer->BeginSkinChange(*this);
    Announcer->ResetMenuCache(*this);
    skinLoaded_ = false;
    {
        TFlagScope sending(SendingNewSkin);
        UpdateCommonIndexes();
        Announcer->BroadcastToForms(*this, 1);   // AC_SKINLOADED
    }
    skinLoaded_ = true;
    if (IsDefault() && !hookInstalled_) InstallSkinHook();
    if (repaint) RepaintForms();
}

void TsSkinManager::RepaintForms()
{
    Announcer->BroadcastToForms(*this, 16);   // AC_STOPANIMATION
    if (!IsLoading()) {
        Announcer->BeginSkinChange(*this);
        Announcer->BroadcastToForms(*this, 3);   // AC_SKINREFRESH
        Announcer->EndSkinChange(*this, true);
    } else {
        Announcer->BroadcastToForms(*this, 3);
    }
    Announcer->RedrawAdapters();
}

void TsSkinManager::SendRemoveSkin()
{
    TFlagScope removing(RemovingSkin);
    if (IsDestroying()) Announcer->ClearGlowsAtOnce();
    else Announcer->ClearGlows();
    UninstallSkinHook();
    skinLoaded_ = false;
    Announcer->BroadcastToForms(*this, 2);   // AC_SKINREMOVED
    FreeTables();
}

void TsSkinManager::FreeTables()
{
    while (!ma.empty()) ma.pop_back();
    MasterBitmap.reset();
    pa.clear();
    gd.clear();
    ForgetNameIndexes();
}

void TsSkinManager::SetActive(bool value)
{
    if (value == active_) return;
    if (!value) {
        active_ = false;
        if (!IsLoading()) SendRemoveSkin();
        UpdateCommonIndexes();
    } else {
        active_ = true;
        SetSkinName(skinName_);
    }
    Announcer->SkinChangeHook();
}

void TsSkinManager::Reload()
{
    if (!skinLoaded_) return;
    // Where the tables come from: a skin that cannot be read again gives way
    // to the stored one, under another name or from another place.
    const std::string name = skinName_, path = SkinPath;
    const bool packed = packed_;
    {
        TFlagScope loading(SkinLoading);
        LoadSkin();
    }
    if (skinName_ != name || SkinPath != path || packed_ != packed) {
        // Another skin than the windows know: their section and mask indexes
        // belong to the old tables, and the owner has a warning to show.
        SendNewSkin(true);
        if (OnAfterChange) OnAfterChange(this);
        return;
    }
    if (!IsLoading()) RepaintForms();
}

void TsSkinManager::SetHueOffset(int value)
{
    if (value == HueOffset) return;
    HueOffset = value;
    Reload();
}

void TsSkinManager::SetSaturation(int value)
{
    if (value == Saturation) return;
    Saturation = value;
    Reload();
}

void TsSkinManager::SetExtendedBorders(bool value)
{
    if (value == extendedBorders_) return;
    extendedBorders_ = value;
    UpdateExtBorderImages();
    Reload();
}

void TsSkinManager::SetCommonSections(const std::vector<std::string>& lines)
{
    CommonSections.clear();
    for (std::string line : lines) {
        if (!line.empty() && line[0] != ';') line.erase(std::remove(line.begin(), line.end(), ' '), line.end());
        CommonSections.push_back(line);
    }
    SetSkinName(skinName_);
}

void TsSkinManager::SetSkinnedPopups(bool value)
{
    if (value == skinnedPopups_) return;
    skinnedPopups_ = value;
    if (value && IsDefault() && !IsLoading() && !(ComponentState() & tw::csDesigning))
        Announcer->UpdateMenusFromSkin(*this);
}

bool TsSkinManager::IsDefault() const { return DefaultManager == this; }

void TsSkinManager::SetIsDefault(bool value)
{
    // A manager cannot give up being the default one this way.
    if (!value && DefaultManager) {
        isDefault_ = DefaultManager == this;
        return;
    }
    // The mark moves: the manager that had it is no longer the default one.
    if (DefaultManager && DefaultManager != this) DefaultManager->isDefault_ = false;
    isDefault_ = true;
    DefaultManager = this;
    if (active_) {
        SendNewSkin(true);
        RepaintForms();
    } else {
        SendRemoveSkin();
    }
}

std::string TsSkinManager::SkinInfo() const
{
    if (!skinLoaded_) return "N/A";
    // The shortest form, with a point whatever the user's locale says.
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", SkinData.Version);
    std::string r = text;
    std::replace(r.begin(), r.end(), ',', '.');
    return r;
}

void TsSkinManager::InstallSkinHook()
{
    if (!IsDefault() || hookInstalled_ || (ComponentState() & tw::csDesigning)) return;
    hookInstalled_ = true;
    Announcer->InstallSkinHook(*this);
}

void TsSkinManager::UninstallSkinHook()
{
    if (!IsDefault() || !hookInstalled_ || (ComponentState() & tw::csDesigning)) return;
    Announcer->UninstallSkinHook(*this);
    hookInstalled_ = false;
}

void TsSkinManager::UpdateThirdLists()
{
    for (int i = 0; i < ThirdPartyList::Count; ++i) {
        if (ThirdParty.GetString(i).empty()) ThirdParty.SetString(i, ThirdPartyDefault(i));
        std::vector<std::string>& list = ThirdLists[size_t(i)];
        list.clear();
        const std::string& text = ThirdParty.GetString(i);
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find_first_of("\r\n", start);
            if (end == std::string::npos) end = text.size();
            if (end > start) list.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }
}

void TsSkinManager::WriteThirdLists()
{
    for (int i = 0; i < ThirdPartyList::Count; ++i) {
        std::string text;
        for (const std::string& name : ThirdLists[size_t(i)]) text += name + "\r\n";
        ThirdParty.SetString(i, text);
    }
}

const char* const ThirdPartyKinds[ThirdPartyList::Count] = {
    "Edit", "Button", "BitBtn", "CheckBox", "ComboBox", "Grid", "GroupBox", "ListView", "Panel", "TreeView",
    "wwEdit", "GridEh", "VirtualTree", "PageControl", "TabControl", "ToolBar", "StatusBar", "SpeedButton"};

std::string ThirdPartyDefault(int index) { return index == ThirdPartyList::ThirdButtons ? "TButton" : " "; }

void TsSkinManager::Loaded()
{
    tw::TComponent::Loaded();
    UpdateThirdLists();
    if (skinDirectory_.empty()) skinDirectory_ = kDefaultSkinDirectory;
    if (MenuSupport.IcoLineSkin.empty()) MenuSupport.IcoLineSkin = "ICOLINE";
    if (active_ && !skinName_.empty()) SendNewSkin(false);
    Announcer->SkinChangeHook();
}

void TsSkinManager::CheckSkinVersion()
{
    if (SkinData.Version > 255.0)
        Announcer->ShowMessage("This version of the skin have not complete support by used skin library package "
                               "release.\r\nComponents must be updated up to latest version for using this skin.");
}

std::vector<std::string> TsSkinManager::GetSkinNames(int skinTypes, std::string* firstName) const
{
    std::vector<std::string> names;
    for (int i = 0; i < InternalSkins.Count(); ++i) names.push_back(InternalSkins.Items(i).Name());
    const std::string dir = GetFullSkinDirectory();
    std::error_code ec;
    if (!dir.empty() && std::filesystem::is_directory(Utf8Path(dir), ec)) {
        for (auto it = std::filesystem::directory_iterator(Utf8Path(dir), ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            const std::string name = PathUtf8(it->path().filename());
            if (name.empty() || name[0] == '.') continue;
            std::error_code kindError;
            if (it->is_directory(kindError)) {
                if (skinTypes != 1 && tw::FileExists(dir + name + tw::PathDelim() + kOptionsFile))
                    names.push_back(name);
            } else if (skinTypes != 0 && LowerAscii(tw::ExtractFileExt(name)) == std::string(".") + kPackedSkinExt) {
                // "Dark.v2.asz" is the skin "Dark.v2": only the extension goes.
                names.push_back(name.substr(0, name.size() - 4));
            }
        }
    }
    if (firstName) *firstName = names.empty() ? std::string() : names.front();
    // In the order a user reads a list, whatever the case of the names;
    // names that differ only in case keep a fixed order between them.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string la = LowerAscii(a), lb = LowerAscii(b);
        return la != lb ? la < lb : a < b;
    });
    return names;
}

} // namespace skin
