#pragma once
// The skin manager's hold on a loaded skin: its tables, where the pictures of
// the skin being loaded come from, the look-ups every painter uses (sections
// and masks through their PARENTCLASS chain), the indexes resolved once per
// load and the whole-skin colour transforms. The loading sequence and the
// announcements to the windows build on this.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/Object.h"
#include "base/Streams.h"
#include "base/PixelView.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sStoredSkins.h"

namespace tw {
class TBitmap;
class TMenuItem;
}

namespace skin {

class TsIniText;
// Bits of TsSkinManager::SkinningRules.
enum TacSkinningRule : uint8_t { srStdForms = 1, srStdDialogs = 2, srThirdParty = 4 };

class TsSkinManager;

// The library's version, shown for "/acver" and answered by Version().
inline constexpr const char* kSkinLibraryVersion = "6.45";
inline constexpr const char* kDefaultSkinDirectory = "c:\\Skins";
inline constexpr const char* kPackedSkinExt = "asz";

// Phases of a skin change, library-wide: painters, fades and providers look
// at them while they handle the broadcasts.
extern bool SkinLoading;       // a skin is being read
extern bool SendingNewSkin;    // AC_SKINLOADED is going round
extern bool RemovingSkin;      // AC_SKINREMOVED is going round

// What the program's menus take from the manager (the menu painter reads it).
struct TacMenuFont {
    std::string Name = "Tahoma";
    int Height = -11;   // pixels, negative: the character height
    TColor Color = 0;
    bool Bold = false;
};
// What the extra line along a popup's left edge shows; asked for the popup's
// first item. LineVisible false (the default) leaves the line out; a glyph
// the handler puts into the (empty) bitmap is drawn at the line's top.
using TacGetExtraLineData = std::function<void(tw::TMenuItem* firstItem, std::string& skinSection,
                                               std::string& caption, tw::TBitmap& glyph, bool& lineVisible)>;

struct TacMenuSupport {
    std::string IcoLineSkin;   // section of the icon strip beside the items
    bool UseExtraLine = false; // a vertical strip along the whole popup
    int ExtraLineWidth = 32;
    TacMenuFont ExtraLineFont;
};

// What the manager needs of the windows when a skin comes or goes. The
// portable build has none (every step does nothing); the Windows side
// broadcasts to the forms and redraws them. Tests put a recorder in.
class TSkinAnnouncer {
public:
    virtual ~TSkinAnnouncer() = default;
    virtual void ClearGlows() {}
    // The same while the manager is being destroyed: the halo windows go at
    // once, not after the current message.
    virtual void ClearGlowsAtOnce() { ClearGlows(); }
    // Whether the platform can show layered windows (the glows need them).
    virtual bool LayeredWindows() const { return false; }
    // Whether desktop composition is on (the built-in shadows then reach one
    // pixel further out).
    virtual bool CompositionEnabled() const { return false; }
    virtual void BeginSkinChange(TsSkinManager&) {}
    virtual void EndSkinChange(TsSkinManager&, bool /*animate*/) {}
    virtual void BroadcastToForms(TsSkinManager&, uint16_t /*command*/) {}
    // Redraws the adapted windows of other programs' classes.
    virtual void RedrawAdapters() {}
    virtual void InstallSkinHook(TsSkinManager&) {}
    virtual void UninstallSkinHook(TsSkinManager&) {}
    // The menu painter's cached skin index goes.
    virtual void ResetMenuCache(TsSkinManager&) {}
    // The menu skinning takes the skin's menu setting again.
    virtual void UpdateMenusFromSkin(TsSkinManager&) {}
    // A plain message box; loading goes on after it.
    virtual void ShowMessage(const std::string&) {}
    // Every new manager: the built-in shadow pictures of extended borders.
    virtual void ManagerCreated(TsSkinManager&) {}
    // The image-list glyph helpers' hook: after creation, after loading, and
    // when the manager is switched on or off.
    virtual void SkinChangeHook() {}
    // The default manager watches the main window while it exists.
    virtual void DefaultManagerCreated(TsSkinManager&) {}
    virtual void DefaultManagerDestroyed(TsSkinManager&) {}
};
// The announcer new managers take: the one the window side installed (it
// does so when the program is linked with it), else one that does nothing.
TSkinAnnouncer& PlatformAnnouncer();
void SetPlatformAnnouncer(TSkinAnnouncer* announcer);

// The kinds of foreign controls adapters may skin, in the order of the
// ThirdPartyList properties, and the text an empty property gets.
extern const char* const ThirdPartyKinds[ThirdPartyList::Count];
std::string ThirdPartyDefault(int index);

// The full skin folder of a SkinDirectory value: relative values start in
// the program's folder (ending in a separator), the result ends in delim.
std::string FullSkinDirectory(const std::string& dir, const std::string& programFolder, char delim);
// Only the trailing separator: "" stays, "x/" ends in delim, "c" gets ":" + delim.
std::string NormalizeSkinDirectory(const std::string& dir, char delim);
// True when a command-line argument asks for the library's version.
bool AcVerRequested(const std::vector<std::string>& args);
// The folder of the running program file, with its separator.
std::string ProgramFolderOfProcess();

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
    // What the entry took in the archive, packed; -1 when not known.
    int64_t PackedSize = -1;
};

class TsSkinManager : public tw::TComponent {
public:
    // The first manager made becomes the default manager.
    explicit TsSkinManager(tw::TComponent* owner = nullptr);
    ~TsSkinManager() override;
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
    // Pixels of the pictures the readers took from the skin in this load
    // (from its start with the masks); past kMaxSkinPixels none is read.
    int64_t SkinPicturePixels = 0;
    // Their rows in this load; past kMaxSkinPictureRows none is read.
    int64_t SkinPictureRows = 0;
    // Bytes of the picture files read from the skin's folder or decoded from
    // its archive in this load; past what a packed skin may hold none is read.
    int64_t SkinFileBytes = 0;
    // What the scans of its JPEGs cost in this load: one bound for all of
    // them (kMaxJpegScanPixels), however often a picture is named.
    int64_t SkinJpegScanPixels = 0;
    // The picture being decoded; empty between pictures. A load that fails
    // inside one names it in LoadError.
    std::string PictureInReading;
    std::string SkinPath;
    std::vector<std::string> CommonSections;
    bool Loading() const { return loading_; }

    int HueOffset = 0;
    int Saturation = 0;

    // Extended borders: what the frame code asks, and the two images it draws.
    // Stored as set; the answer is false where the platform has no layered
    // windows, since the shadow is a layered window of its own.
    bool ExtendedBorders() const { return extendedBorders_ && Announcer && Announcer->LayeredWindows(); }
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
    virtual void CheckSkinVersion();

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

    // The readers call this when they refill the tables: a refilled table
    // can have the size and place of the one before.
    void ForgetNameIndexes() { sectionIndex_ = maskIndex_ = patternIndex_ = TNameIndex(); }

    // PARENTCLASS chains deeper than this are taken as loops.
    static constexpr int MaxParentDepth = 16;

    // The component: which skin, from where, and the announcements.
    const std::string& SkinName() const { return skinName_; }
    // Loads the named skin (when Active) and announces it. A skin of the
    // skin folder that cannot be loaded gives way to a stored skin (the one
    // of the name, else the first) and leaves its file and reason in
    // LoadErrorFile and LoadError; without a stored skin it raises, the flags
    // are cleared and the skin counts as not loaded.
    void SetSkinName(const std::string& value);
    // Why the last load could not use the skin folder's skin; empty when it could.
    std::string LoadErrorFile, LoadError;
    const std::string& SkinDirectory() const { return skinDirectory_; }
    // A new folder also becomes the skin data's path (as the full folder).
    void SetSkinDirectory(const std::string& value);
    bool Active() const { return active_; }
    void SetActive(bool value);
    bool SkinLoaded() const { return skinLoaded_; }
    // The current skin came from packed data (a file or a stored skin).
    bool PackedSkin() const { return packed_; }
    void SetHueOffset(int value);
    void SetSaturation(int value);
    void SetExtendedBorders(bool value);
    void SetCommonSections(const std::vector<std::string>& lines);
    bool IsDefault() const;
    void SetIsDefault(bool value);
    std::string SkinInfo() const;
    static std::string Version() { return kSkinLibraryVersion; }
    TsStoredSkins InternalSkins{this};
    TacMenuSupport MenuSupport;
    // ThirdParty's texts as lists of class names, one list per kind.
    std::array<std::vector<std::string>, ThirdPartyList::Count> ThirdLists;
    void UpdateThirdLists();
    // The lists back into ThirdParty's texts, one class name a line.
    void WriteThirdLists();
    tw::TNotifyEvent OnBeforeChange, OnAfterChange;
    // Popup menus are drawn from the skin. Switching it on again lets the
    // default manager's menu skinning take the skin's menu setting anew.
    bool SkinnedPopups() const { return skinnedPopups_; }
    void SetSkinnedPopups(bool value);
    // Read by the menu skinning for the extra line of its popups.
    TacGetExtraLineData OnGetMenuExtraLineData;
    // Hot controls of sections with a glow get a halo. Stored as set; the
    // answer is false where the platform has no layered windows.
    bool AllowGlowing() const { return allowGlowing_ && Announcer && Announcer->LayeredWindows(); }
    void SetAllowGlowing(bool value) { allowGlowing_ = value; }
    // A click on a skinned form's icon opens its system menu at once instead
    // of waiting a moment for the second click of a double click (which
    // closes the form).
    bool NoSystemMenuWait = false;
    // Which windows without a provider of their own the CBT hook skins.
    uint8_t SkinningRules = srStdForms | srStdDialogs | srThirdParty;
    // The window that is the manager's hot control now (a window handle).
    uintptr_t ActiveControl = 0;
    TSkinAnnouncer* Announcer = &PlatformAnnouncer();
    // The program file's folder with its separator; relative skin folders
    // start there. Tests point it elsewhere.
    std::string ProgramFolder;

    std::string GetFullSkinDirectory() const;
    // SkinTypes 0 folders, 1 packed files, 2 both; the stored skins first.
    // Returns the names sorted; firstName is the first one found.
    std::vector<std::string> GetSkinNames(int skinTypes, std::string* firstName = nullptr) const;
    void SendNewSkin(bool repaint);
    void SendRemoveSkin();
    void RepaintForms();
    bool HookInstalled() const { return hookInstalled_; }
    void InstallSkinHook();
    void UninstallSkinHook();
    void Loaded() override;

private:
    bool allowGlowing_ = true;
    bool extendedBorders_ = false;
    bool skinnedPopups_ = true;
    std::string PackedFileName() const;
    void LoadSkin();
    void LoadPackedSkin();
    void LoadUnpackedSkin();
    // Throws EInvalidSkin for a loaded skin that would leave the windows
    // without their look.
    void RefuseStrippedSkin() const;
    void LoadStoredSkin();
    void Reload();
    void FreeTables();
    std::string skinName_;
    std::string skinDirectory_ = kDefaultSkinDirectory;
    bool active_ = true;
    bool skinLoaded_ = false;
    bool packed_ = false;
    bool isDefault_ = false;
    bool hookInstalled_ = false;

    // Sections, masks and patterns are found by name through indexes made on
    // the first look-up after their table changed (another size or place, or
    // the readers replaced it): a skin is anyone's file, and a scan per
    // look-up made loading a skin of a few thousand sections take minutes.
    // Each index maps a name to the first record of that name.
    struct TNameIndex {
        const void* Data = nullptr;
        size_t Size = 0;
        bool Made = false;
        std::unordered_map<std::string, int> First;
        std::unordered_map<std::string, int> FirstTexture;   // masks only: the first texture of the name
    };
    mutable TNameIndex sectionIndex_, maskIndex_, patternIndex_;
    const TNameIndex& SectionIndex() const;
    const TNameIndex& MaskIndex() const;
    const TNameIndex& PatternIndex() const;
    // The first mask of the name (the first texture with textureOnly), or -1.
    int MaskByName(const std::string& section, const std::string& mask, bool textureOnly) const;
    int FindMask(int skinIndex, const std::string& section, const std::string& mask, bool textureOnly, int depth) const;
    int FindPattern(int skinIndex, const std::string& section, const std::string& property, int depth) const;
    int MaskWidth(int maskIndex, int w, bool horizontal) const;
    std::string ReadInherited(const std::string& section, const std::string& key, int depth) const;
    void TransformSkinColours(const std::function<TColor(TColor)>& change, const std::vector<int>& keptMasks);
    bool loading_ = false;
};

} // namespace skin
