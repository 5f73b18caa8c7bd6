#pragma once
// The skin manager's hold on a loaded skin: its tables, where the pictures of
// the skin being loaded come from, the look-ups every painter uses (sections
// and masks through their PARENTCLASS chain), the indexes resolved once per
// load and the whole-skin colour transforms. The loading sequence and the
// announcements to the windows build on this.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "skin/engine/PixelView.h"
#include "skin/engine/sMaskData.h"

namespace skin {

class TsIniText;

// System colours as the skin stores them ($FF0000nn); ColorToRGB turns them
// into RGB through the platform (a fixed classic palette off Windows).
constexpr TColor clSysWindow = TColor(0xFF000005);
constexpr TColor clSysHighlight = TColor(0xFF00000D);
constexpr TColor clSysHighlightText = TColor(0xFF00000E);
constexpr TColor clSysBtnFace = TColor(0xFF00000F);
TColor ColorToRGB(TColor c);
extern TColor (*SysColorSource)(int index);

// Indexes resolved once after each load, because painting needs them all the time.
struct TsConstData {
    int IndexGlobalInfo = -1;
    int ExBorder = -1;
    int IndexTabTop = -1, IndexTabBottom = -1, IndexTabLeft = -1, IndexTabRight = -1;
    int MaskTabTop = -1, MaskTabBottom = -1, MaskTabLeft = -1, MaskTabRight = -1;
    struct TScrollPart {
        int SkinIndex = -1, MaskIndex = -1, GlyphIndex = -1, BGTexture = -1, BGHotTexture = -1;
    };
    TScrollPart ScrollBtnTop, ScrollBtnBottom, ScrollBtnLeft, ScrollBtnRight;
    TScrollPart ScrollSliderV, ScrollSliderH;
    TScrollPart ScrollBar1H, ScrollBar1V, ScrollBar2H, ScrollBar2V;
    int CheckBoxChecked = -1, CheckBoxUnChecked = -1, CheckBoxGrayed = -1;
    int RadioButtonChecked = -1, RadioButtonUnChecked = -1, RadioButtonGrayed = -1;
    int SmallCheckBoxChecked = -1, SmallCheckBoxUnChecked = -1, SmallCheckBoxGrayed = -1;
    int ComboBtnIndex = -1, ComboBtnBorder = -1, ComboBtnBG = -1, ComboBtnBGHot = -1, ComboGlyph = -1;
};

// A picture of a packed skin, found by name (the archive entry whose upper-
// cased name equals the name asked for).
struct TsPackedEntry {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
};

class TsSkinManager {
public:
    TsSkinManager();
    virtual ~TsSkinManager();
    TsSkinManager(const TsSkinManager&) = delete;
    TsSkinManager& operator=(const TsSkinManager&) = delete;

    // The tables of the loaded skin.
    TsGeneralDataArray gd;
    TsMaskArray ma;
    TsPatternArray pa;
    TsSkinData SkinData;
    std::unique_ptr<TPixelImage> MasterBitmap;   // 24 bits, key colour $FF00FF
    TsConstData ConstData;
    TacAnimEffects AnimEffects;
    ThirdPartyList ThirdParty;

    // Where the readers take the skin from while it loads: the INI text
    // (none: no source), a packed skin's entries or the skin's folder (ending
    // in a path separator), and the program's extra sections.
    const TsIniText* SkinIni = nullptr;
    bool SkinIsPacked = false;
    std::function<bool(const std::string& name, TsPackedEntry& entry)> FindPackedEntry;
    std::string SkinPath;
    std::vector<std::string> CommonSections;
    bool Loading() const { return loading_; }

    int HueOffset = 0;
    int Saturation = 0;

    // Extended borders: what the frame code asks, and the two images it draws.
    bool Active = true;
    bool ExtendedBorders = false;
    bool CompositionEnabled = false;
    std::shared_ptr<const TPixelImage> ShadowActive, ShadowInactive;   // "acSHDA", "acSHDI"
    std::unique_ptr<TPixelImage> ExtBorderActive, ExtBorderInactive;
    TRect ExtBorderMargins;

    // Look-ups; names compared exactly, -1 when not found.
    int GetSkinIndex(const std::string& section) const;
    int GetMaskIndex(int skinIndex, const std::string& section, const std::string& mask) const;
    int GetMaskIndexByName(const std::string& section, const std::string& mask) const;
    int GetTextureIndex(int skinIndex, const std::string& section, const std::string& property) const;
    int GetPatternIndex(int skinIndex, const std::string& section, const std::string& property) const;
    bool MaskIndexValid(int index) const { return index >= 0 && index < static_cast<int>(ma.size()); }
    bool SkinIndexValid(int index) const { return index >= 0 && index < static_cast<int>(gd.size()); }
    TPoint GetMaskFrameSize(int maskIndex) const;
    int MaskWidthLeft(int maskIndex) const;
    int MaskWidthTop(int maskIndex) const;
    int MaskWidthRight(int maskIndex) const;
    int MaskWidthBottom(int maskIndex) const;
    // The picture a mask is drawn from: its own, else the master bitmap.
    const TPixelImage* MaskImage(int maskIndex) const;

    TColor GetGlobalColor() const;
    TColor GetGlobalFontColor() const;
    TColor GetGlobalHotColor() const;
    TColor GetEditHotFontColor() const;
    TColor GetHighlightColor() const;
    TColor GetHighlightFontColor() const;

    // Option reading with PARENTCLASS inheritance from the skin's INI text.
    std::string ReadInheritedString(const std::string& section, const std::string& key, const std::string& def) const;
    int ReadInheritedInteger(const std::string& section, const std::string& key, int def) const;

    void UpdateCommonIndexes();
    void UpdateExtBorderImages();
    void UpdateSectionMaskIndexes();
    void ChangeSkinHue(int value);
    void ChangeSkinSaturation(int value);

    // Called by the general-data reader after GLOBALINFO; the loader shows
    // its message there.
    virtual void CheckSkinVersion() {}

    // The readers set the loading flag for their run and clear it on every
    // way out (also when a picture or a number raises).
    class TLoadingScope {
    public:
        explicit TLoadingScope(TsSkinManager& m) : m_(m), was_(m.loading_) { m.loading_ = true; }
        ~TLoadingScope() { m_.loading_ = was_; }
        TLoadingScope(const TLoadingScope&) = delete;
        TLoadingScope& operator=(const TLoadingScope&) = delete;

    private:
        TsSkinManager& m_;
        bool was_;
    };

    // PARENTCLASS chains deeper than this are taken as loops.
    static constexpr int MaxParentDepth = 16;

private:
    int FindMask(int skinIndex, const std::string& section, const std::string& mask, bool textureOnly, int depth) const;
    int FindPattern(int skinIndex, const std::string& section, const std::string& property, int depth) const;
    int MaskWidth(int maskIndex, int w, bool horizontal) const;
    std::string ReadInherited(const std::string& section, const std::string& key, int depth) const;
    void TransformSkinColours(const std::function<TColor(TColor)>& change, const std::vector<int>& keptMasks);
    bool loading_ = false;
};

} // namespace skin
