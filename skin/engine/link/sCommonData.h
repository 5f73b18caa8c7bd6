#pragma once
// The per-control skin link's portable part: the control-kind codes every
// skinned class sets in its constructor, the section a kind takes when its
// control names none, and the kinds that never show a hot state, never glow
// from the common handler, or repaint when hovered or focused.
#include <cstdint>
#include <string>

namespace skin {

// Control kinds of our skinned classes (32-bit codes; any other value names
// no default section and the control's class name is taken instead).
enum TacControlKind : int32_t {
    COC_TsEdit = 2,
    COC_TsMemo = 3,
    COC_TsListBox = 4,
    COC_TsCheckListBox = 5,
    COC_TsFileNameEdit = 6,
    COC_TsSpinEdit = 7,
    COC_TsAlphaListBox = 8,
    COC_TsMaskEdit = 10,
    COC_TsComboBox = 11,
    COC_TsBar = 19,
    COC_TsBarTitle = 20,
    COC_TsCheckBox = 32,
    COC_TsRadioButton = 33,
    COC_TsPanel = 51,
    COC_TsPanelLow = 52,
    COC_TsToolBar = 53,
    COC_TsDragBar = 56,
    COC_TsTabSheet = 57,
    COC_TsStatusPanel = 59,
    COC_TsGroupBox = 74,
    COC_TsSplitter = 75,
    COC_TsSpeedButton = 92,
    COC_TsButton = 93,
    COC_TsBitBtn = 94,
    COC_TsNavButton = 95,
    COC_TsToolButton = 98,
    COC_TsPageControl = 141,
    COC_TsStatusBar = 151,
    COC_TsGauge = 161,
    COC_TsTrackBar = 165,
    COC_TsRadioGroup = 226,
};

// The section a control of this kind takes when it names none; empty when
// the kind has no default (the control's class name is used then).
std::string DefaultSectionOfKind(int32_t kind);
// Kinds whose mouse-over flag is never set.
bool IsNoHotKind(int32_t kind);
// Kinds the common handler never lights up with a glow (buttons glow by
// themselves).
bool IsNoGlowKind(int32_t kind);
// Kinds redrawn when the mouse enters or leaves and when focus changes.
bool IsRepaintOnHoverKind(int32_t kind);

} // namespace skin

#ifdef _WIN32
#include <windows.h>

#include <memory>

#include "skin/engine/effects/sFade.h"
#include "skin/engine/painting/ItemPainting.h"
#include "ui/Controls.h"
#include "ui/Graphics.h"
#include "ui/StdCtrls.h"

namespace skin {

class TsSkinManager;
class TSkinnedFormLink;

// The link of one skinned control (or another owner) to a section of a
// skin manager: resolved indexes, the control's cache picture and the flags
// that say when the picture must be painted again.
class TsCommonData : public TFadeLink {
public:
    TsCommonData(tw::TObject* owner, bool createCacheBmp);
    virtual ~TsCommonData();
    TsCommonData(const TsCommonData&) = delete;
    TsCommonData& operator=(const TsCommonData&) = delete;

    const std::string& SkinSection() const { return skinSection_; }
    void SetSkinSection(const std::string& value);
    // The own manager, else the default one (nullptr when there is none).
    TsSkinManager* SkinManager() const;
    void SetSkinManager(TsSkinManager* value);
    bool CustomColor() const { return customColor_; }
    void SetCustomColor(bool value);
    bool CustomFont() const { return customFont_; }
    void SetCustomFont(bool value);
    void Loaded();

    bool Skinned(bool checkLoaded = false) const;
    void UpdateIndexes();
    void SetDefaultSection();
    void UpdatePaintFlags();
    void UpdateContainerFlag(bool forward);
    bool ChildrenDrawOwnBG() const;

    bool CalcActiveState() const;
    void SetActiveState(bool value) { activeState_ = value; }
    bool ActiveState() const { return activeState_; }
    bool HotStateAllowed() const;
    bool ControlFocused() const;
    bool IsUpdating() const;
    void InvalidateOwner() override;
    void NotifyMouseEnter();
    void NotifyMouseLeave();

    void InitCacheBmp();
    void InitCacheBmp24();
    tw::TBitmap* CacheBmp() const { return cacheBmp_.get(); }
    // For controls that build their cache anew on every paint and keep no
    // bitmap between paints.
    void FreeCacheBmp() { cacheBmp_.reset(); }
    void GetOwnBGInfo(TacBGInfo& info, bool hot, HWND wnd = nullptr);
    TColor GetControlBGColor(bool hot, HWND wnd = nullptr) const;
    int BorderMaxWidth() const;
    bool HasTransparency() const;
    TCacheInfo GetParentCacheInfo();

    tw::TControl* OwnerControl() const { return ownerControl_; }
    tw::TObject* OwnerObject() const { return ownerObject_; }
    // A form's skin provider owns this link: the setters tell it, not the
    // form's controls, what changed.
    void SetFormProvider(TSkinnedFormLink* provider) { formProvider_ = provider; }
    TSkinnedFormLink* FormProvider() const { return formProvider_; }

    int32_t COC = 0;            // the owner's control kind
    int SkinIndex = -1;
    int BorderIndex = -1;
    int Texture = -1;
    int HotTexture = -1;
    int GlowID = -1;
    bool Updating = false;
    bool BGChangedFlag = true;
    bool Special = true;
    bool Focused = false;
    bool MouseAbove = false;
    uint16_t CtrlSkinState = 0;  // bit 1: the owner is a container whose children take its picture
    uint16_t PaintFlags = 0;     // 4: IMAGEPERCENT; 1/2: gradient kind

    // TFadeLink
    tw::TControl* FadeOwner() const override { return ownerControl_; }
    bool FadeSkinned() const override { return Skinned(); }
    TsSkinManager* FadeManager() const override { return SkinManager(); }
    int FadeSkinIndex() const override { return SkinIndex; }
    tw::TBitmap* FadeCache() const override { return cacheBmp_.get(); }
    bool BGChanged() const override { return BGChangedFlag; }
    void SetBGChanged(bool changed) override { BGChangedFlag = changed; }
    // Shows the section's halo around the hot owner (forced: also when one
    // is shown), or hides it when the owner is no longer hot; wnd stands in
    // for an owner that is no control.
    void UpdateControlGlow(bool forced) override { UpdateControlGlow(forced, nullptr); }
    void UpdateControlGlow(bool forced, HWND wnd);
    // Hides the owner's halo, if it has one.
    void HideOwnGlow();

private:
    const TsGeneralData* Section() const;
    bool OwnerIsEdit() const;
    void TakeSectionColors();
    std::string skinSection_;
    bool customFont_ = false;
    bool customColor_ = false;
    bool activeState_ = false;
    TsSkinManager* ownManager_ = nullptr;
    tw::TControl* ownerControl_ = nullptr;
    tw::TObject* ownerObject_ = nullptr;
    TSkinnedFormLink* formProvider_ = nullptr;
    std::unique_ptr<tw::TBitmap> cacheBmp_;
    HWND glowWnd_ = nullptr;   // the window of GlowID when it was shown
};

// Copies the control's cache into r of dc from (srcX, srcY), leaving out the
// visible children that lie in r (windowed ones; graphic ones when opaque),
// shifted by shift. With paintBorder the border mask goes over the cache's
// edges first.
void BlitControlCache(tw::TControl* control, TsCommonData& data, int srcX, int srcY, TPoint shift, bool paintBorder,
                      HDC dc, const TRect& r);
// The border mask of the link's border section over its cache bitmap, on
// all four sides, for a state; nothing without a cache or a border mask.
void PaintCacheBorder(TsCommonData& data, int state);
// The background of a bare window's parent, as cache information.
TCacheInfo GetParentCacheInfoWnd(HWND wnd);

// The frame of another class's group box, adapted: the GROUPBOX border of
// the default manager below the caption the window reports (its height
// answered to AC_QUERYCAPTIONHEIGHT); the caption strip is left alone.
void PaintGroupBox(HWND wnd, HDC dc);

// The caption label of an edit-type control.
class TsEditLabel : public tw::TLabel {
public:
    TsEditLabel(tw::TWinControl* owner, class TsBoundLabel* bound);
    bool UseSkinColor = true;
    TsBoundLabel* Bound() const { return bound_; }

private:
    TsBoundLabel* bound_;
};

enum TsCaptionLayout { sclLeft, sclTopLeft, sclTopCenter, sclTopRight };

// Gives an edit-type control a caption label placed beside or above it.
class TsBoundLabel {
public:
    TsBoundLabel(tw::TWinControl* control, TsCommonData* data);
    ~TsBoundLabel();
    TsBoundLabel(const TsBoundLabel&) = delete;
    TsBoundLabel& operator=(const TsBoundLabel&) = delete;

    bool Active() const { return label_ != nullptr; }
    void SetActive(bool value);
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& value);
    int Indent() const { return indent_; }
    void SetIndent(int value);
    TsCaptionLayout Layout() const { return layout_; }
    void SetLayout(TsCaptionLayout value);
    int MaxWidth() const { return maxWidth_; }
    void SetMaxWidth(int value);
    tw::TFont& Font();
    void SetFont(const tw::TFont& font);
    bool UseSkinColor() const { return label_ ? label_->UseSkinColor : true; }
    void SetUseSkinColor(bool value)
    {
        if (label_) label_->UseSkinColor = value;
    }
    void UpdatePosition();
    TsEditLabel* Label() const { return label_; }

private:
    tw::TWinControl* control_;
    TsCommonData* data_;
    int maxWidth_ = 0;
    std::string caption_;
    TsCaptionLayout layout_ = sclLeft;
    tw::TFont font_;
    int indent_ = 0;
    TsEditLabel* label_ = nullptr;   // owned by the control
};

// True for the sub-commands whose LParam points into the sender's memory
// (the receiver reads or writes through it).
bool SkinCommandCarriesPointer(uint16_t command);
// True for such a sub-command (wparam, lparam) sent from another thread: the
// message number is fixed, so any process can send it, and a pointer of
// another process is no pointer here. The program itself sends them only
// from the thread that owns the window, and marks the pointer while it does
// (TOwnSkinPointer): the thread may be serving a message from elsewhere
// meanwhile, and its own questions are still answered. Receivers refuse the
// others unanswered (Result 0).
bool ForeignSkinPointer(uintptr_t wparam, intptr_t lparam);

// Marks a pointer this thread hands in a skin sub-command, for the time of
// the call.
class TOwnSkinPointer {
public:
    explicit TOwnSkinPointer(const void* pointer);
    ~TOwnSkinPointer();
    TOwnSkinPointer(const TOwnSkinPointer&) = delete;
    TOwnSkinPointer& operator=(const TOwnSkinPointer&) = delete;
};

// The handlers every skinned control calls first; true when the message was
// taken and the control must not handle it itself.
bool CommonMessage(tw::TMessage& m, TsCommonData* data);
bool CommonWndProc(tw::TMessage& m, TsCommonData* data);

// The section whose font colours a control uses: the nearest parent section
// that gives its own font, else defaultIndex.
int GetFontIndex(tw::TControl* control, int defaultIndex, TsSkinManager* manager);

// Asking a control or a window for its background (AC_QUERYBGINFO); true when
// it answered. Unanswered with PleaseDraw the window draws itself into DrawDC.
bool GetBGInfo(TacBGInfo& info, tw::TControl* control, bool pleaseDraw);
bool GetBGInfoWnd(TacBGInfo& info, HWND wnd, bool pleaseDraw);

} // namespace skin
#endif
