// The filter information against Wine's own DirectShow: the filters it
// registers are found by friendly name in any letter case, the outside
// filters the preview can use are not there, and DxDiag names the version.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include "base/SysUtils.h"
#include "tools/DirectShowInfo.h"

using namespace tw;

namespace {

// Keeps COM initialised for a test, as the user-interface thread has it.
struct ComApartment {
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

} // namespace

TEST(DirectShowInfo, FindsInstalledFiltersByFriendlyNameInAnyCase) {
    ComApartment com;
    TDirectShowInfo info(nullptr);
    TDxFilterInfo asked = info.FindFilter("file source (async.)");
    ASSERT_TRUE(asked.Found);
    EXPECT_EQ(asked.FriendlyName, "File Source (Async.)");
    EXPECT_TRUE(SameText(asked.ClassID, "{E436EBB5-524F-11CE-9F53-0020AF0BA770}")) << asked.ClassID;
    EXPECT_GT(info.FilterCount(), 5);

    for (const char* outside : {"Tessu Media Splitter", "ffdshow Video Decoder", "ffdshow Audio Decoder",
                                "CoreAVC Video Decoder", "Elecard MPEG-2 Video Decoder", "MPC - Mpeg Source (Movrak)"}) {
        TDxFilterInfo none = info.FindFilter(outside);
        EXPECT_FALSE(none.Found) << outside;
        EXPECT_EQ(none.FriendlyName, "");
        EXPECT_EQ(none.ClassID, "");
    }
    // The list was read once and kept.
    int count = info.FilterCount();
    info.FindFilter("nothing of that name");
    EXPECT_EQ(info.FilterCount(), count);
}

TEST(DirectShowInfo, ListGrowsInStepsAndIsSearchedToTheEnd) {
    TDirectShowInfo info(nullptr);
    EXPECT_EQ(info.Capacity(), 128);
    for (int i = 0; i < 300; ++i) info.AddFilterEntry(Format("Filter %d", i), Format("{%d}", i));
    EXPECT_EQ(info.Capacity(), 384);
    TDxFilterInfo last = info.FindFilter("FILTER 299");
    ASSERT_TRUE(last.Found);
    EXPECT_EQ(last.FriendlyName, "Filter 299");
    EXPECT_EQ(last.ClassID, "{299}");
    // An empty name matches only an entry without a name.
    EXPECT_FALSE(info.FindFilter("").Found);
    info.AddFilterEntry("", "{nameless}");
    TDxFilterInfo nameless = info.FindFilter("");
    EXPECT_TRUE(nameless.Found);
    EXPECT_EQ(nameless.ClassID, "{nameless}");
}

TEST(DirectShowInfo, DirectXVersionFromDxDiag) {
    TDirectShowInfo info(nullptr);
    EXPECT_EQ(info.DirectXVersionText(), "9.0c");
    EXPECT_EQ(DirectXVersionFromParts(9, 0, ' '), "9.0 ");
    EXPECT_EQ(DirectXVersionFromParts(12, 1, 'a'), "12.1a");
}
