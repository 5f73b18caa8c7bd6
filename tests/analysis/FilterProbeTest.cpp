#include <gtest/gtest.h>

#include <set>

#include "analysis/FilterProbe.h"

using namespace tw;

TEST(FilterProbe, NothingInstalledWritesOnlyTheDirectXLine) {
    std::vector<std::string> asked;
    TFilterProbeResult r = ProbeFilters("9.0c", [&](const std::string& n) {
        asked.push_back(n);
        return false;
    });
    EXPECT_EQ(r.LogLines, std::vector<std::string>{"DirectX Version: 9.0c"});
    EXPECT_EQ(asked, (std::vector<std::string>{"Tessu Media Splitter", "ffdshow Video Decoder", "ffdshow Audio Decoder",
                                               "CoreAVC Video Decoder", "Elecard MPEG-2 Video Decoder",
                                               "MPC - Mpeg Source (Movrak)"}));
    EXPECT_EQ(r.Filters.DirectXVersion, "9.0c");
    EXPECT_FALSE(r.Filters.TessuSplitter || r.Filters.MovrakSplitter || r.Filters.FfdshowAudio ||
                 r.Filters.FfdshowVideo || r.Filters.CoreAvcVideo || r.Filters.ElecardMpeg2Video);
    EXPECT_EQ(r.Splitters + r.AudioFilters + r.VideoFilters, "");
}

TEST(FilterProbe, FoundFiltersAreListedWithoutTrailingComma) {
    std::set<std::string> installed = {"Tessu Media Splitter", "MPC - Mpeg Source (Movrak)", "ffdshow Video Decoder",
                                       "CoreAVC Video Decoder", "Elecard MPEG-2 Video Decoder"};
    TFilterProbeResult r = ProbeFilters("", [&](const std::string& n) { return installed.count(n) > 0; });
    EXPECT_EQ(r.LogLines, (std::vector<std::string>{"DirectX Version: ", "Supported splitter filter found: Tessu,Movrak",
                                                    "Supported video filter found   : ffdshow,CoreAVC"}));
    EXPECT_TRUE(r.Filters.ElecardMpeg2Video); // found, but named in no list
    EXPECT_FALSE(r.Filters.FfdshowAudio);

    installed = {"ffdshow Audio Decoder", "MPC - Mpeg Source (Movrak)"};
    r = ProbeFilters("9.0c", [&](const std::string& n) { return installed.count(n) > 0; });
    EXPECT_EQ(r.LogLines, (std::vector<std::string>{"DirectX Version: 9.0c", "Supported splitter filter found: Movrak",
                                                    "Supported audio filter found   : ffdshow"}));
    EXPECT_TRUE(r.Filters.MovrakSplitter);
    EXPECT_FALSE(r.Filters.TessuSplitter);
}
