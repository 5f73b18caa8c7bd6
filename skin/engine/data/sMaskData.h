#pragma once
// The tables of a loaded skin: one general-data record per section, one mask
// record per picture (borders, glyphs, textures, glows), one pattern record
// per large texture, and the skin-wide constants of GLOBALINFO. Records are
// addressed by their position; -1 means "none" in every index.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/PixelView.h"
#include "skin/engine/data/sGradient.h"

namespace skin {

class TsSkinManager;

// A text that every section inheriting it shares: a parent's long gradient
// serves thousands of child sections from one copy. Never changed once made;
// reads as the string it holds.
class TsSharedText {
public:
    TsSharedText() = default;
    TsSharedText(std::string text) : text_(std::make_shared<const std::string>(std::move(text))) {}
    TsSharedText(const char* text) : TsSharedText(std::string(text)) {}

    const std::string& str() const { return text_ ? *text_ : Blank(); }
    operator const std::string&() const { return str(); }
    friend bool operator==(const TsSharedText& a, std::string_view b) { return a.str() == b; }

private:
    static const std::string& Blank()
    {
        static const std::string blank;
        return blank;
    }
    std::shared_ptr<const std::string> text_;
};

enum TacImgType : uint8_t { itisaBorder, itisaTexture, itisaGlyph, itisaGlow, itisaPngGlyph };

struct TsGeneralData {
    std::string ParentClass;
    std::string Name;
    TColor Color = 0xFFFFFF;
    std::array<TColor, 5> FontColor{0, -1, -1, -1, -1};     // text, then left, top, right, bottom contours
    std::array<TColor, 5> HotFontColor{0, -1, -1, -1, -1};
    bool GiveOwnFont = false;
    int32_t GlowCount = 0;
    int32_t GlowMargin = 0;
    bool ReservedBoolean = false;
    int32_t Transparency = 0;
    int32_t GradientPercent = 0;
    TsSharedText GradientData = " ";
    TsGradArray GradientArray;
    int32_t ImagePercent = 0;
    bool ShowFocus = false;
    bool FadingEnabled = false;
    int32_t FadingIterations = 5;
    TColor HotColor = 0xFFFFFF;
    int32_t HotTransparency = 0;
    int32_t HotGradientPercent = 0;
    TsSharedText HotGradientData;
    TsGradArray HotGradientArray;
    int32_t HotImagePercent = 0;
    int32_t BorderIndex = -1;
    int32_t ImgTopLeft = -1, ImgTopRight = -1, ImgBottomLeft = -1, ImgBottomRight = -1;
};
using TsGeneralDataArray = std::vector<TsGeneralData>;

struct TsMaskData {
    std::unique_ptr<TPixelImage> Bmp;   // own picture; none when cut from the master bitmap
    std::string SectionName;
    std::string PropertyName;
    TRect R;
    int16_t ImageCount = 0;
    int16_t MaskType = 0;     // 1: the lower half holds the frames' transparency
    int16_t BorderWidth = 0;
    int16_t StretchMode = 0;
    TacImgType ImgType = itisaBorder;
    TsSkinManager* Manager = nullptr;
    int16_t WL = 0, WT = 0, WR = 0, WB = 0;
    // The fourth byte of a 32-bit own picture is its opacity (a PNG's); that
    // of a 32-bit BMP kept as a texture means nothing.
    bool AlphaChannel = false;
};
using TsMaskArray = std::vector<TsMaskData>;

int MaskFrameWidth(const TsMaskData& m);
int MaskFrameHeight(const TsMaskData& m);

struct TsPatternData {
    std::unique_ptr<TPixelImage> Img;   // the decoded JPEG, 24 bits
    std::string SectionName;
    std::string PropertyName;
};
using TsPatternArray = std::vector<TsPatternData>;

// Skin-wide constants of the section GLOBALINFO.
struct TsSkinData {
    double Version = 0.0;
    std::string Author;
    std::string Description;
    TColor Shadow1Color = 0;
    int16_t Shadow1Offset = 0;
    int16_t Shadow1Blur = -1;
    int16_t Shadow1Transparency = 0;
    int16_t BorderWidth = 4;
    int16_t TitleHeight = 30;
    int16_t MaxHeight = 30;
    int16_t FormOffset = 8;
    int16_t CenterOffset = 0;
    int16_t BorderMode = 0;
    TColor BorderColor = 0;
    int16_t BISpace = 0, BIVAlign = 0, BIRight = 0, BILeft = 0;
    int16_t BIKeepHue = 0;
    int16_t BICloseGlow = 0, BICloseGlowMargin = 0;
    int16_t BIMaxGlow = 0, BIMaxGlowMargin = 0;
    int16_t BIMinGlow = 0, BIMinGlowMargin = 0;
};

// Animation settings of the skin manager.
enum TacBtnEvent { beMouseEnter, beMouseLeave, beMouseDown, beMouseUp };
class TsSkinManager;
struct TacBtnEffects {
    unsigned Events = 15;   // bit per TacBtnEvent
    TsSkinManager* Manager = nullptr;   // the manager these settings belong to
};
struct TacFormAnimation {
    bool Active = true;
    uint16_t Time = 0;
};
struct TacFormShow : TacFormAnimation {};
struct TacPageChange : TacFormAnimation {};
struct TacDialogShow : TacFormAnimation {};
struct TacSkinChanging : TacFormAnimation {
    TacSkinChanging() { Time = 100; }
};
struct TacAnimEffects {
    TacBtnEffects Buttons;
    TacDialogShow DialogShow;
    TacFormShow FormShow;
    TacPageChange PageChange;
    TacSkinChanging SkinChanging;
    TsSkinManager* Manager = nullptr;   // the manager these settings belong to
};

// Lists of foreign control classes (CR LF separated), reached by index.
class ThirdPartyList {
public:
    enum { ThirdEdits, ThirdButtons, ThirdBitBtns, ThirdCheckBoxes, ThirdComboBoxes, ThirdGrids, ThirdGroupBoxes,
           ThirdListViews, ThirdPanels, ThirdTreeViews, ThirdWWEdits, ThirdGridEh, ThirdVirtualTrees,
           ThirdPageControl, ThirdTabControl, ThirdToolBar, ThirdStatusBar, ThirdSpeedButton, Count };
    const std::string& GetString(int index) const { return lists_.at(static_cast<size_t>(index)); }
    void SetString(int index, const std::string& value) { lists_.at(static_cast<size_t>(index)) = value; }

private:
    std::array<std::string, Count> lists_;
};

} // namespace skin
