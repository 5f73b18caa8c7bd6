// The progress, log and bandwidth-meter windows, and timer ticks during a
// long pass on the user-interface thread.
#include <windows.h>

#include <gtest/gtest.h>

#include "shared/BandwidthMeter.h"
#include "app/LogForm.h"
#include "shared/ProgressForm.h"
#include "analysis/SettingsStore.h"
#include "analysis/AppLog.h"
#include "analysis/ThdTimer.h"
#include "base/SysUtils.h"
#include "ui/Application.h"

using namespace tw;

namespace {

TEST(ProgressWindowTest, CancelSetsOnlyTheFlagWhichShowingClears) {
    TForm2 f(nullptr);
    EXPECT_EQ(f.Height(), 100);
    EXPECT_EQ(f.sGauge1->Top(), f.sPanel1->Top());
    f.Show();
    f.sGauge1->SetProgress(40);
    EXPECT_FALSE(f.CancelFlag);
    f.ShowCancelButton(true);
    f.sBitBtn1->Click();
    EXPECT_TRUE(f.CancelFlag);
    EXPECT_TRUE(f.Visible()) << "cancel decides nothing itself";
    f.Hide();
    f.Show();
    EXPECT_FALSE(f.CancelFlag);
    EXPECT_EQ(f.sGauge1->Progress(), 0);
    f.Hide();
}

TEST(ProgressWindowTest, MeterPanelAndCancelButtonSizes) {
    TForm2 f(nullptr);
    f.ShowMeterPanel(true);
    EXPECT_EQ(f.Height(), 223);
    EXPECT_TRUE(f.PtsPanel->Visible());
    EXPECT_EQ(f.sGauge1->Top(), f.sPanel1->Top() + 98);
    f.ShowCancelButton(true);
    EXPECT_EQ(f.Height(), 215);
    f.ShowCancelButton(false);
    EXPECT_EQ(f.Height(), 195);
    f.ShowMeterPanel(false);
    EXPECT_EQ(f.Height(), 100);
    EXPECT_FALSE(f.PtsPanel->Visible());
    f.ShowCancelButton(true);
    EXPECT_EQ(f.Height(), 120);
}

// The Language setting decides the texts each time the window opens: a
// switch in the preferences reaches the next pass.
TEST(ProgressWindowTest, TextsFollowTheLanguageSettingWhenShown) {
    const bool had = RegValueExists(kSettingsKey, "Language");
    const std::string saved = had ? RegReadString(kSettingsKey, "Language") : std::string();
    TForm2 f(nullptr);
    struct Case {
        const char* language; // nullptr: no value
        const char* caption;
        const char* cancel;
    };
    for (const Case& c : {Case{"GER", "Fortschritt", "Abbrechen"}, Case{"ENG", "Progress", "Abort"},
                          Case{nullptr, "Progress", "Abort"}, Case{"GER", "Fortschritt", "Abbrechen"}}) {
        if (c.language) RegWriteString(kSettingsKey, "Language", c.language);
        else RegRemoveValue(kSettingsKey, "Language");
        f.Show();
        EXPECT_EQ(f.Caption(), c.caption) << (c.language ? c.language : "(none)");
        EXPECT_EQ(f.sBitBtn1->Caption(), c.cancel) << (c.language ? c.language : "(none)");
        f.Hide();
    }
    if (had) RegWriteString(kSettingsKey, "Language", saved);
    else RegRemoveValue(kSettingsKey, "Language");
}

TEST(LogWindowTest, TakesAHundredThousandLines) {
    TLogSink* before = CurrentLogSink();
    {
        TForm3 log(nullptr);
        log.Show();
        EXPECT_EQ(CurrentLogSink(), &log);
        ClearLog();
        for (int i = 0; i < 100000; ++i) AppendLogLine("TS  ERROR: line " + IntToStr(i));
        Application->ProcessMessages();
        EXPECT_EQ(log.sMemo1->Lines().Count(), 100000);
        EXPECT_EQ(LogLine(99999), "TS  ERROR: line 99999");
        std::string name = "logwindow_test.log";
        SaveLogToFile(name);
        EXPECT_GT(FileSizeOf(name), 100000 * 20);
        RemoveFile(name);
        log.Hide();
    }
    // The window gone, the lines stay with the in-memory log.
    EXPECT_EQ(LogLineCount(), 100000);
    ClearLog();
    if (before != CurrentLogSink()) SetLogSink(before == nullptr ? nullptr : before);
}

TEST(ThreadedTimerWindowsTest, TicksArriveWhileALongLoopProcessesMessages) {
    TThreadedTimer t(nullptr);
    t.SetInterval(30);
    DWORD ui = GetCurrentThreadId();
    int ticks = 0;
    bool onUi = true;
    t.OnTimer = [&](TObject*) {
        onUi = onUi && GetCurrentThreadId() == ui;
        ++ticks;
    };
    t.SetEnabled(true);
    // A busy pass: it works and processes messages now and then.
    uint64_t end = GetTickCount64Ms() + 600;
    volatile uint64_t work = 0;
    while (GetTickCount64Ms() < end) {
        for (int i = 0; i < 10000; ++i) work = work + static_cast<uint64_t>(i);
        Application->ProcessMessages();
    }
    t.SetEnabled(false);
    EXPECT_GE(ticks, 5);
    EXPECT_TRUE(onUi);
}

TEST(BandwidthMeterTest, StepDrawsTheSumOfTheSamples) {
    TForm host(nullptr);
    host.SetClientSize(200, 120);
    TOvBandwidthMeter m(&host);
    m.SetParent(&host);
    m.SetBounds(0, 0, 100, 60);
    m.SetSpacing_Top(10);
    m.SetSpacing_Bottom(10);
    m.SetValueMin(0);
    m.SetValueMax(400);
    m.SetValueCount(10);
    m.Loaded();
    m.Lines(1)->SetVisible(true);
    for (int i = 0; i < 3; ++i) m.Lines(1)->AddSample(100);
    m.Step();
    EXPECT_EQ(m.Lines(1)->Value(), 300);
    // Newest value at the right: slot 9 at x = 90, y = 10 + 40 - 30 = 20;
    // the line rises to it from (80, 50), through about (85, 35). (The
    // platform's polyline leaves out its very last pixel.)
    auto redNear = [&](int x, int y) {
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -2; dy <= 2; ++dy)
                if (m.BackBuffer().Canvas().Pixels(x + dx, y + dy) == clRed) return true;
        return false;
    };
    EXPECT_TRUE(redNear(85, 35));
    EXPECT_TRUE(redNear(89, 23));
    EXPECT_EQ(m.BackBuffer().Canvas().Pixels(50, 5), clWhite);
    EXPECT_EQ(m.BackBuffer().Canvas().Pixels(40, 50), clRed) << "older slots sit on the base line";
    m.Clear();
    EXPECT_FALSE(redNear(85, 35));
    EXPECT_EQ(m.Lines(0)->Color(), clBlack);
    EXPECT_EQ(m.Lines(2)->Color(), clGreen);
    EXPECT_EQ(m.Lines(15)->Color(), clBlack);
}

// A pass steps the meter far faster than anyone can watch: a burst of steps
// costs a few paints, not one each, and the last step still reaches the
// screen once the burst is over.
class TCountingMeter : public TOvBandwidthMeter {
public:
    using TOvBandwidthMeter::TOvBandwidthMeter;
    int Paints = 0;
    int32_t PaintedValue = -1;

protected:
    void Paint() override {
        ++Paints;
        TOvBandwidthMeter::Paint();
        PaintedValue = Lines(1)->Data().History(9); // the newest slot of ten
    }
};

TEST(BandwidthMeterTest, ABurstOfStepsPaintsAtMostTenTimesASecondAndShowsTheLast) {
    TForm host(nullptr);
    host.SetClientSize(200, 120);
    TCountingMeter m(&host);
    m.SetParent(&host);
    m.SetBounds(0, 0, 100, 60);
    m.SetValueMin(0);
    m.SetValueMax(100000);
    m.SetValueCount(10);
    m.Loaded();
    m.Lines(1)->SetVisible(true);
    host.Show();
    auto pump = [](uint64_t ms) {
        const uint64_t end = GetTickCount64Ms() + ms;
        while (GetTickCount64Ms() < end) {
            Application->ProcessMessages();
            Sleep(5);
        }
    };
    pump(200);
    const int before = m.Paints;
    const uint64_t t0 = GetTickCount64Ms();
    for (int i = 1; i <= 300; ++i) {
        m.Lines(1)->AddSample(i);
        m.Step();
        Application->ProcessMessages();
    }
    const uint64_t burstMs = GetTickCount64Ms() - t0;
    EXPECT_LE(m.Paints - before, static_cast<int>(burstMs / 100) + 2) << "in " << burstMs << " ms";
    pump(300);
    EXPECT_EQ(m.PaintedValue, 300) << "the last step is on the screen";
    EXPECT_EQ(m.BackBuffer().Canvas().Pixels(50, 5), clWhite);
    host.Hide();
}

} // namespace
