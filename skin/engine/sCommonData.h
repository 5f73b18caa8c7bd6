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
