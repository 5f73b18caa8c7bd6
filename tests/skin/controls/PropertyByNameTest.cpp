// Properties of the class library's objects reached by name: ordinals,
// objects and sets, names without regard to case, and the set text edits
// that add or take out one element.
#include <gtest/gtest.h>

#include "skin/engine/common/SkinUtils.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace skin {
namespace {

class PropertyByName : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        form = std::make_unique<tw::TForm>(nullptr);
        label = new tw::TLabel(form.get());
        label->SetParent(form.get());
    }
    std::unique_ptr<tw::TForm> form;
    tw::TLabel* label = nullptr;
};

TEST_F(PropertyByName, OrdinalsAndObjectsOfTheRightClassesOnly)
{
    EXPECT_TRUE(HasProperty(label, "Transparent"));
    EXPECT_TRUE(HasProperty(label, "transparent"));
    EXPECT_FALSE(HasProperty(form.get(), "Transparent"));
    EXPECT_FALSE(HasProperty(label, "NoSuchThing"));
    EXPECT_FALSE(HasProperty(nullptr, "Color"));

    label->SetColor(0x123456);
    EXPECT_EQ(GetOrdPropByName(label, "COLOR"), 0x123456);
    SetOrdPropByName(label, "Color", 0x654321);
    EXPECT_EQ(label->Color(), tw::TColor(0x654321));
    SetOrdPropByName(label, "Transparent", 0);
    EXPECT_FALSE(label->Transparent());
    SetOrdPropByName(label, "Width", 77);
    EXPECT_EQ(label->Width(), 77);
    // Missing: -1 and nothing set.
    EXPECT_EQ(GetOrdPropByName(form.get(), "Transparent"), -1);
    SetOrdPropByName(form.get(), "Transparent", 1);
    EXPECT_EQ(GetOrdPropByName(nullptr, "Color"), -1);

    // An object property gives the object; an ordinal one none.
    EXPECT_EQ(GetObjectPropByName(label, "Font"), &label->Font());
    EXPECT_EQ(GetObjectPropByName(label, "Color"), nullptr);
    EXPECT_EQ(GetOrdPropByName(label, "Font"), -1);
    tw::TObject* font = GetObjectPropByName(form.get(), "font");
    ASSERT_NE(font, nullptr);
    SetOrdPropByName(font, "Color", 0x00AA00);
    EXPECT_EQ(form->Font().Color(), tw::TColor(0x00AA00));
}

TEST_F(PropertyByName, SetsByElementName)
{
    form->SetBorderIcons(tw::biSystemMenu | tw::biMaximize);
    EXPECT_TRUE(SetPropHasElement(form.get(), "BorderIcons", "biMaximize"));
    EXPECT_FALSE(SetPropHasElement(form.get(), "BorderIcons", "biMinimize"));
    EXPECT_FALSE(SetPropHasElement(form.get(), "BorderIcons", "bimaximize"));   // element names as written
    EXPECT_FALSE(SetPropHasElement(form.get(), "Color", "biMaximize"));
    EXPECT_EQ(GetOrdPropByName(form.get(), "BorderIcons"), int(tw::biSystemMenu | tw::biMaximize));

    ChangeSetProp(form.get(), "BorderIcons", "biMaximize", false);
    EXPECT_EQ(form->BorderIcons(), tw::biSystemMenu);
    ChangeSetProp(form.get(), "BorderIcons", "biHelp", true);
    EXPECT_EQ(form->BorderIcons(), tw::biSystemMenu | tw::biHelp);
    // Taking out the first element of the text, and adding to an empty set.
    ChangeSetProp(form.get(), "BorderIcons", "biSystemMenu", false);
    EXPECT_EQ(form->BorderIcons(), tw::biHelp);
    ChangeSetProp(form.get(), "BorderIcons", "biHelp", false);
    EXPECT_EQ(form->BorderIcons(), 0u);
    ChangeSetProp(form.get(), "BorderIcons", "biMinimize", true);
    EXPECT_EQ(form->BorderIcons(), tw::biMinimize);
    // An element that is there already, or not there to take out: unchanged.
    ChangeSetProp(form.get(), "BorderIcons", "biMinimize", true);
    ChangeSetProp(form.get(), "BorderIcons", "biHelp", false);
    EXPECT_EQ(form->BorderIcons(), tw::biMinimize);

    tw::TObject* font = GetObjectPropByName(label, "Font");
    ChangeSetProp(font, "Style", "fsBold", true);
    ChangeSetProp(font, "Style", "fsUnderline", true);
    EXPECT_EQ(label->Font().Style(), tw::fsBold | tw::fsUnderline);
    EXPECT_TRUE(SetPropHasElement(font, "Style", "fsUnderline"));
    ChangeSetProp(font, "Style", "fsBold", false);
    EXPECT_EQ(label->Font().Style(), tw::TFontStyles(tw::fsUnderline));
}

} // namespace
} // namespace skin
