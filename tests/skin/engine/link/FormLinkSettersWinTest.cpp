// A form provider's own skin link: what its section and manager setters
// ask of the provider rather than of the form's controls.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sCommonData.h"

using namespace skin;

namespace {

struct TRecordingProvider : TSkinnedFormLink {
    int SectionChanges = 0;
    std::vector<std::pair<uint16_t, TsSkinManager*>> ManagerChanges;
    TsSkinManager* LinkManager() const override { return nullptr; }
    bool FormSkinned() const override { return true; }
    void SetSkinChangeLock(bool) override {}
    bool HasBorderWindow() const override { return false; }
    void UpdateFormRegion() override {}
    void UpdateBorderWindow(uint8_t) override {}
    void LinkSectionChanged() override { ++SectionChanges; }
    void LinkManagerChanged(uint16_t command, TsSkinManager* manager) override
    {
        ManagerChanges.emplace_back(command, manager);
    }
};

void AddSection(TsSkinManager& sm, const std::string& name)
{
    TsGeneralData s;
    s.Name = name;
    sm.gd.push_back(std::move(s));
}

} // namespace

TEST(FormLink, SectionAndManagerChangesGoToTheProvider)
{
    TsSkinManager* const saved = DefaultManager;
    DefaultManager = nullptr;
    {
        TsSkinManager program, other, empty;
        program.SetActive(false);
        other.SetActive(false);
        empty.SetActive(false);
        AddSection(program, "FORM");
        AddSection(other, "PANEL");
        AddSection(other, "FORM");
        TRecordingProvider provider;
        TsCommonData link(nullptr, false);
        link.SetFormProvider(&provider);

        link.BGChangedFlag = false;
        link.SetSkinSection("form");
        EXPECT_EQ(provider.SectionChanges, 1);   // the cached frame picture goes
        EXPECT_TRUE(link.BGChangedFlag);
        link.SetSkinSection("FORM");             // unchanged: nothing
        EXPECT_EQ(provider.SectionChanges, 1);
        EXPECT_EQ(link.SkinIndex, 0);

        // A manager with the section: refresh with it; one without: removal.
        link.SetSkinManager(&other);
        link.SetSkinManager(&empty);
        link.SetSkinManager(&program);   // the default one again
        const std::vector<std::pair<uint16_t, TsSkinManager*>> expected = {
            {AC_SKINREFRESH, &other}, {AC_SKINREMOVED, &empty}, {AC_SKINREFRESH, &program}};
        EXPECT_EQ(provider.ManagerChanges, expected);
        EXPECT_EQ(link.SkinIndex, 0);
    }
    DefaultManager = saved;
}
#endif
