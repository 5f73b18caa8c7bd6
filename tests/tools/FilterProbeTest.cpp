// The main window's filter probe on Wine's DirectShow, where none of the
// outside filters is installed, and on a filter list as a machine with some
// of them would report it.
#include <gtest/gtest.h>

#include <memory>

#include "app/MainForm.h"
#include "analysis/AppLog.h"

using namespace tw;

TEST(FilterProbe, WineHasNoOutsideFiltersOnlyTheDirectXLineIsLogged) {
    auto form = std::make_unique<TForm1>(nullptr);
    form->GettingSystemInfoTimer->SetEnabled(true);
    ClearLog();
    form->GettingSystemInfoTimerTimer(nullptr);
    EXPECT_FALSE(form->GettingSystemInfoTimer->Enabled());
    EXPECT_EQ(LogLines(), std::vector<std::string>{"DirectX Version: 9.0c"});
    EXPECT_EQ(form->FilterProbe.DirectXVersion, "9.0c");
    EXPECT_FALSE(form->FilterProbe.TessuSplitter);
    EXPECT_FALSE(form->FindDirectShowFilter("ffdshow Audio Decoder"));
    EXPECT_TRUE(form->FindDirectShowFilter("FILE SOURCE (ASYNC.)"));
    EXPECT_EQ(form->SupportedSplitters + form->SupportedAudioFilters + form->SupportedVideoFilters, "");
}

TEST(FilterProbe, InstalledFiltersFillTheChoicesAndTheLog) {
    auto form = std::make_unique<TForm1>(nullptr);
    // Filters registered under names in another letter case still count.
    form->DirectShowInfo1->AddFilterEntry("tessu media splitter", "{55DA30FC-F16B-49FC-BAA5-AE59FC65F82D}");
    form->DirectShowInfo1->AddFilterEntry("ffdshow Audio Decoder", "{0F40E1E5-4F79-4988-B1A9-CC98794E6B55}");
    form->DirectShowInfo1->AddFilterEntry("CoreAVC Video Decoder", "{09571A4B-F1FE-4C60-9760-DE6D310C7C31}");
    ClearLog();
    form->GettingSystemInfoTimerTimer(nullptr);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"DirectX Version: 9.0c", "Supported splitter filter found: Tessu",
                                                    "Supported audio filter found   : ffdshow",
                                                    "Supported video filter found   : CoreAVC"}));
    EXPECT_TRUE(form->FilterProbe.TessuSplitter && form->FilterProbe.FfdshowAudio && form->FilterProbe.CoreAvcVideo);
    EXPECT_FALSE(form->FilterProbe.MovrakSplitter || form->FilterProbe.FfdshowVideo);
    EXPECT_EQ(form->SupportedSplitters, "Tessu");
    EXPECT_EQ(form->SupportedVideoFilters, "CoreAVC");
}
