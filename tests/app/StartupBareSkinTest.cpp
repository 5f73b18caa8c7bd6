// A packed skin in the skin folder whose options hold no section at all,
// named as the program's own skin: the start-up must not strip the main
// window of its look. Judged by the screen against the sections of the skin
// the program carries, read from its archive here.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ScreenPixels.h"
#include "app/AppSkin.h"
#include "app/MainForm.h"
#include "app/Startup.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "shared/Settings.h"
#include "skin/engine/data/SkinIni.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

using namespace tw;

namespace {

std::string TempFolder() {
    wchar_t buf[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, buf);
    return WideToUtf8(buf);
}

int Channel(uint32_t rgb, int shift) { return int((rgb >> shift) & 0xFF); }

// A screen pixel (0x00RRGGBB) between two skin colours ($00BBGGRR), each
// channel within a step of rounding.
bool Between(uint32_t px, int32_t c1, int32_t c2) {
    const int shifts[3][2] = {{16, 0}, {8, 8}, {0, 16}};   // screen red/green/blue, skin red/green/blue
    for (const auto& s : shifts) {
        const int v = Channel(px, s[0]), a = Channel(uint32_t(c1), s[1]), b = Channel(uint32_t(c2), s[1]);
        if (v < std::min(a, b) - 2 || v > std::max(a, b) + 2) return false;
    }
    return true;
}

TEST(StartupBareSkinTest, APackedSkinWithoutSectionsGivesWayToTheProgramsOwnWithAWarning) {
    const std::string folder = TempFolder() + "tarnwick_bare_" + std::to_string(GetTickCount64Ms());
    ASSERT_TRUE(ForceDirectories(folder));
    const std::string packed = folder + "\\" + kProgramSkinName + ".asz";
    {
        TFileStream f(packed, fmCreate);
        skin::WritePackedData(f, {{"Options.dat", "TITLEHEIGHT=77\r\n"}});
    }
    SkinDirectoryHook = [folder] { return folder; };
    for (const char* n : {"PlaySound", "UpdateCheck", "ShowLogfileWindow"}) RegWriteBool(kSettingsKey, n, false);
    RegWriteString(kSettingsKey, "Language", "ENG");
    std::vector<std::string> messages;
    SetDialogHook([&](TDialogRequest& r) -> std::optional<int> {
        messages.push_back(r.Text);
        return IDOK;
    });
    SetProgramParameters({});

    ASSERT_EQ(RunStartup(false), 0);
    ASSERT_NE(Form1, nullptr);
    EXPECT_EQ(messages.size(), 1u);
    const std::string told = messages.empty() ? std::string() : messages[0];
    EXPECT_NE(told.find(packed), std::string::npos) << told;
    EXPECT_NE(told.find("no skin sections"), std::string::npos) << told;

    // The title the stored skin gives: its height and its gradient.
    skin::TsSkinManager& m = *Form1->sSkinManager1;
    ASSERT_EQ(m.InternalSkins.Count(), 1);
    skin::TacSkinConvertor sc;
    sc.SetPackedData(m.InternalSkins.Items(0).Data.get(), false);
    sc.ExtractPackedData();
    sc.FreePackedData();
    ASSERT_TRUE(sc.Options);
    const skin::TsIniText options(
        std::string(reinterpret_cast<const char*>(sc.Options->Memory()), size_t(sc.Options->Size())));
    const int titleHeight = options.ReadInteger("GLOBALINFO", "TITLEHEIGHT", 30);
    const std::string gradient = options.ReadString("FORMTITLE", "GRADIENTDATA", "");
    const int32_t top = std::atoi(gradient.c_str());
    const int32_t bottom = std::atoi(gradient.c_str() + gradient.find(';') + 1);
    ASSERT_GT(titleHeight, 8);

    Form1->Show();
    const test::ScreenShot shot = test::RepaintedScreenShot(Form1->Handle());
    ASSERT_FALSE(shot.Pixels.empty());
    // The title's middle row between its caption and its buttons: the
    // skin's gradient, not the system's caption.
    const int y = titleHeight / 2;
    int inGradient = 0, looked = 0;
    for (int x = shot.Width() / 3; x < shot.Width() * 2 / 3; x += 7, ++looked)
        if (Between(shot.Pixels[size_t(y) * size_t(shot.Width()) + size_t(x)], top, bottom)) ++inGradient;
    if (inGradient * 2 < looked) test::SaveScreenShot(shot, TempFolder() + "tarnwick_bare_skin.bmp");
    EXPECT_GE(inGradient * 2, looked) << inGradient << " of " << looked << " title pixels in the skin's gradient";

    // Picked again later (as from the system menu's skin list): the same,
    // told once more.
    m.SetSkinName("Other");
    messages.clear();
    m.SetSkinName(kProgramSkinName);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("no skin sections"), std::string::npos) << messages[0];
    EXPECT_GE(m.GetSkinIndex("FORMTITLE"), 0);

    RemoveFile(packed);
    RemoveDirectoryW(Utf8ToWide(folder).c_str());
    SetDialogHook(nullptr);
    SkinDirectoryHook = nullptr;
}

} // namespace
