// Control kinds: the section a control takes when it names none and the
// hover, glow and repaint behaviour its kind gives it.
#include <gtest/gtest.h>

#include "skin/engine/link/sCommonData.h"

using namespace skin;

TEST(ControlKinds, DefaultSectionsAtTheEdgesOfEachRange)
{
    EXPECT_EQ(DefaultSectionOfKind(COC_TsEdit), "EDIT");
    EXPECT_EQ(DefaultSectionOfKind(8), "EDIT");
    EXPECT_EQ(DefaultSectionOfKind(9), "");   // a gap in the edit range
    EXPECT_EQ(DefaultSectionOfKind(227), "EDIT");
    EXPECT_EQ(DefaultSectionOfKind(18), "COMBOBOX");
    EXPECT_EQ(DefaultSectionOfKind(COC_TsRadioGroup), "GROUPBOX");
    EXPECT_EQ(DefaultSectionOfKind(COC_TsSpeedButton), "SPEEDBUTTON");
    EXPECT_EQ(DefaultSectionOfKind(COC_TsBitBtn), "BUTTON");
    EXPECT_EQ(DefaultSectionOfKind(COC_TsPanelLow), "PANEL_LOW");
    EXPECT_EQ(DefaultSectionOfKind(COC_TsGauge), "GAUGE");
    EXPECT_EQ(DefaultSectionOfKind(1000), "");
}

TEST(ControlKinds, HotGlowAndHoverSets)
{
    // Containers show no hot state; edits do and repaint for it.
    EXPECT_TRUE(IsNoHotKind(COC_TsPanel));
    EXPECT_TRUE(IsNoHotKind(COC_TsGroupBox));
    EXPECT_TRUE(IsNoHotKind(COC_TsStatusBar));
    EXPECT_FALSE(IsNoHotKind(COC_TsEdit));
    EXPECT_FALSE(IsNoHotKind(COC_TsButton));
    EXPECT_TRUE(IsRepaintOnHoverKind(COC_TsEdit));
    EXPECT_TRUE(IsRepaintOnHoverKind(COC_TsComboBox));
    EXPECT_FALSE(IsRepaintOnHoverKind(COC_TsButton));
    // Buttons glow by themselves, never from the common handler.
    EXPECT_TRUE(IsNoGlowKind(COC_TsSpeedButton));
    EXPECT_TRUE(IsNoGlowKind(COC_TsBitBtn));
    EXPECT_TRUE(IsNoGlowKind(COC_TsTabSheet));
    EXPECT_FALSE(IsNoGlowKind(COC_TsEdit));
    EXPECT_FALSE(IsNoGlowKind(COC_TsCheckBox));
}
