// A skin with hostile title measures (the buttons' right gap far negative or
// far beyond the window, a title thousands of pixels high on a small form):
// the caption buttons still lie on the window and take real clicks, as the
// system delivers them (SendInput).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "ModalProbe.h"
#include "RealInput.h"
#include "SkinTestForms.h"
#include "base/Streams.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

using test::Click;
using test::Park;
using test::WaitFor;

// The program's own skin with some GLOBALINFO values written over, packed
// again and loaded into manager (the default manager now).
::testing::AssertionResult LoadOwnSkinWith(TsSkinManager& manager,
                                           const std::vector<std::pair<std::string, std::string>>& values)
{
    std::unique_ptr<TacSkinConvertor> own;
    LoadPackedFile(TW_SKIN_ARCHIVE, own, true);
    if (!own || !own->Options)
        return ::testing::AssertionFailure() << "cannot load " << TW_SKIN_ARCHIVE;
    std::string options(reinterpret_cast<const char*>(own->Options->Memory()), size_t(own->Options->Size()));
    for (const auto& [key, value] : values) {
        const std::regex line("^" + key + "=[^\r\n]*", std::regex::multiline);
        if (!std::regex_search(options, line))
            return ::testing::AssertionFailure() << "the skin gives no " << key;
        options = std::regex_replace(options, line, key + "=" + value);
    }
    std::vector<TacPackEntry> entries{{"Options.dat", options}};
    for (const TacPackedFile& f : own->Files)
        entries.push_back({f.FileName, std::string(reinterpret_cast<const char*>(f.Data->Memory()), size_t(f.Data->Size()))});
    auto packed = std::make_unique<tw::TMemoryStream>();
    WritePackedData(*packed, entries);
    TacSkinConvertor sc;
    sc.SetPackedData(packed.release(), true);
    sc.ExtractPackedData();
    LoadPackedSkinTables(manager, sc);
    DefaultManager = &manager;
    return ::testing::AssertionSuccess();
}

// The centre of what answers code anywhere on the window.
POINT Find(HWND wnd, LRESULT code) { return test::FindHitCode(wnd, code); }

TEST(HostileSkinCaptionTest, CaptionButtonsStayOnTheWindowAndTakeRealClicks)
{
    tw::Application->Initialize();
    const std::vector<std::vector<std::pair<std::string, std::string>>> skins = {
        {{"BIRIGHT", "-30000"}},
        {{"BIRIGHT", "30000"}},
        {{"TITLEHEIGHT", "5000"}, {"MAXHEIGHT", "99999"}},
    };
    for (const auto& values : skins) {
        SCOPED_TRACE(values[0].first + "=" + values[0].second);
        TsSkinManager manager;
        ASSERT_TRUE(LoadOwnSkinWith(manager, values));
        auto* form = new tw::TForm(tw::Application);
        form->SetText("Hostile");
        form->SetBounds(160, 120, 420, 120);
        form->SetBorderIcons(tw::TBorderIcons(tw::biSystemMenu | tw::biMinimize | tw::biMaximize));
        new TsSkinProvider(form);
        form->Show();
        const HWND wnd = form->Handle();
        SetForegroundWindow(wnd);
        ASSERT_TRUE(WaitFor([&] { return test::Settled(wnd); }));

        const POINT max = Find(wnd, HTMAXBUTTON);
        EXPECT_GE(max.x, 0) << "no maximize button on the window";
        if (max.x >= 0) {
            Click(max);
            EXPECT_TRUE(WaitFor([&] { return IsZoomed(wnd) != FALSE; })) << "maximize";
            Park();
            ShowWindow(wnd, SW_RESTORE);
            EXPECT_TRUE(WaitFor([&] { return !IsZoomed(wnd) && test::Settled(wnd); }));
        }
        const POINT close = Find(wnd, HTCLOSE);
        EXPECT_GE(close.x, 0) << "no close button on the window";
        if (close.x >= 0) {
            Click(close);
            EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(wnd); })) << "close";
        }
        Park();
        delete form;
        DefaultManager = nullptr;
    }
}

// Every gap at the largest the skin may give: a minimized title (the
// system's 160 pixels) still holds the icon, and restore, maximize and close
// beside it, each answering on its own. The form shows no icon on its
// restored title (as the program's windows other than the main one); its
// minimized title shows it all the same.
TEST(HostileSkinCaptionTest, AMinimizedTitleHoldsItsIconAndButtonsWithTheWidestGaps)
{
    tw::Application->Initialize();
    TsSkinManager manager;
    ASSERT_TRUE(LoadOwnSkinWith(manager, {{"BISPACE", "10000"}, {"BIRIGHT", "10000"}, {"BILEFT", "10000"}}));
    auto* form = new tw::TForm(tw::Application);
    form->SetText("Hostile");
    form->SetBounds(160, 120, 420, 120);
    form->SetBorderIcons(tw::TBorderIcons(tw::biSystemMenu | tw::biMinimize | tw::biMaximize));
    (new TsSkinProvider(form))->SetShowAppIcon(false);
    form->Show();
    const HWND wnd = form->Handle();
    ASSERT_TRUE(WaitFor([&] { return test::Settled(wnd); }));
    ShowWindow(wnd, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return IsIconic(wnd) && test::Settled(wnd); }));
    const POINT icon = Find(wnd, HTSYSMENU), restore = Find(wnd, HTMINBUTTON), max = Find(wnd, HTMAXBUTTON),
                close = Find(wnd, HTCLOSE);
    EXPECT_GE(icon.x, 0) << "no icon";
    EXPECT_GE(restore.x, 0) << "no restore button";
    EXPECT_GE(max.x, 0) << "no maximize button";
    EXPECT_GE(close.x, 0) << "no close button";
    EXPECT_LT(icon.x, restore.x);
    EXPECT_LT(restore.x, max.x);
    EXPECT_LT(max.x, close.x);
    if (restore.x >= 0) {
        Click(restore);
        EXPECT_TRUE(WaitFor([&] { return !IsIconic(wnd); })) << "restore";
    }
    Park();
    delete form;
    DefaultManager = nullptr;
}

} // namespace
} // namespace skin

#endif
