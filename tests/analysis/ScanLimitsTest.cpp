// The bounds of the scan passes, counted packet by packet: the broken packet
// that silences the log once, and the damage that ends none of the PID,
// stream type, PAT and PMT scans (each reads past a dropout to its packet
// limit, in every pass and for every PMT PID); repeated tables counted as
// one with their number; and what the stream type scan names a PID that
// carries no stream.
#include <gtest/gtest.h>

#include "AnalysisTestHost.h"
#include "analysis/ScanPasses.h"
#include "tests/support/TsBuilder.h"
#include "ts/TSPacketReader.h"

namespace tw::test {
namespace {

class ScanLimits : public ::testing::Test {
protected:
    TRecordingHost host;
    std::unique_ptr<TAnalysisEngine> engine = std::make_unique<TAnalysisEngine>(&host);
    TempFile file;

    // Two sound packets (the reader's start), `broken` packets with the
    // transport error set, then 50 sound packets of PID $0300.
    void OpenWithBroken(int broken) {
        TsStream s;
        for (int i = 0; i < 2; ++i) s.Add({.pid = 0x200, .payload = Bytes(184, 0x11)});
        for (int i = 0; i < broken; ++i) s.Add({.pid = 0x1FF0, .transportError = true, .payload = Bytes(184, 0x22)});
        for (int i = 0; i < 50; ++i) s.Add({.pid = 0x300, .payload = Bytes(184, 0x33)});
        Open(s);
    }
    void Open(const TsStream& s) {
        file.Write(s.Render());
        TTSPacketReader* r = engine->Scan().Reader();
        r->SetFileName(file.Name());
        r->SetActive(true);
        ASSERT_TRUE(r->Active());
    }
    int64_t PacketsOf(int pid) {
        const TAnalysisTables& t = engine->Tables();
        const int i = t.FoundStreamIndex(pid);
        return i < 0 ? 0 : t.FoundStreams[static_cast<size_t>(i)].PacketCount;
    }
};

TEST_F(ScanLimits, TheFortyFirstBrokenPacketSilencesTheLogOnce) {
    for (int broken : {40, 41, 300}) {
        host.Lines.clear();
        engine->Tables().ResetAnalysis();
        OpenWithBroken(broken);
        engine->Scan().ScanPids(100000);
        EXPECT_EQ(host.Count("Too many errors skipping log entries!"), broken > 40 ? 1 : 0) << broken;
        EXPECT_EQ(host.Count("Scan aborted (too many errors) !"), 0) << broken;
        EXPECT_EQ(PacketsOf(0x300), 50) << broken;
        // The flag lasts only as long as the pass.
        EXPECT_FALSE(engine->Tables().LogSuppressed);
        engine->Scan().Reader()->SetActive(false);
    }
}

TEST_F(ScanLimits, BrokenPacketsEndNoPidScan) {
    // However many broken packets lie before it, the stream behind them is
    // found: a dropout near the start must not lose the streams after it.
    for (int broken : {1000, 1001, 5000}) {
        host.Lines.clear();
        engine->Tables().ResetAnalysis();
        OpenWithBroken(broken);
        engine->Scan().ScanPids(100000);
        EXPECT_EQ(host.Count("Scan aborted (too many errors) !"), 0) << broken;
        EXPECT_EQ(host.Count("Too many errors skipping log entries!"), 1) << broken;
        EXPECT_EQ(PacketsOf(0x300), 50) << broken;
        EXPECT_FALSE(engine->Tables().LogSuppressed);
        engine->Scan().Reader()->SetActive(false);
    }
}

TEST_F(ScanLimits, ProgramMapsBehindADropoutAreSavedForEveryPmtPid) {
    // `broken` packets, then a PMT on $0100 and one on $0110: each PID's pass
    // meets the damage again, reads past it and saves its table; the log is
    // silenced once over both passes.
    for (int broken : {300, 1200}) {
        host.Lines.clear();
        engine->Tables().ResetAnalysis();
        TsStream s;
        for (int i = 0; i < 2; ++i) s.Add({.pid = 0x200, .payload = Bytes(184, 0x11)});
        for (int i = 0; i < broken; ++i) s.Add({.pid = 0x1FF0, .transportError = true, .payload = Bytes(184, 0x22)});
        s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
        s.AddPmt(0x110, 2, 0x111, {{2, 0x111, {}}});
        for (int i = 0; i < 20; ++i) s.Add({.pid = 0x101, .payload = Bytes(184, 0x33)});
        Open(s);
        TAnalysisTables& t = engine->Tables();
        t.PmtPids[0] = 0x100;
        t.PmtPids[1] = 0x110;
        t.PmtPidCount = 2;
        engine->Scan().ScanPmts(100000);
        EXPECT_EQ(host.Count("Scan aborted (too many errors) !"), 0) << host.All();
        EXPECT_EQ(host.Count("Too many errors skipping log entries!"), 1) << broken;
        ASSERT_EQ(t.SavedPmtCount, 2) << broken << host.All();
        EXPECT_EQ(t.SavedPmts[0].Pid, 0x100);
        EXPECT_EQ(t.SavedPmts[1].Pid, 0x110);
        EXPECT_FALSE(t.LogSuppressed);
        engine->Scan().Reader()->SetActive(false);
    }
}

// MPEG audio layer II frames (48 kHz, 192 kbit/s) in PES packets.
void AddMpegAudio(TsStream& s, int pid, int pesCount) {
    Bytes frames(576 * 2, 0x55);
    for (size_t at : {size_t{0}, size_t{576}}) {
        frames[at] = 0xFF;
        frames[at + 1] = 0xFD;
        frames[at + 2] = 0xA4;
        frames[at + 3] = 0x00;
    }
    for (int i = 0; i < pesCount; ++i) s.AddPes(pid, PesPacket(0xC0, frames, 90000 + 2160 * i));
}

TEST_F(ScanLimits, TheStreamTypeScanNamesAStreamBehindADropoutInEveryBatch) {
    // `pids` PIDs with one plain packet each, 1,200 broken packets, then MPEG
    // audio on the last of them. The scan probes up to 64 PIDs per pass over
    // the file: 64 PIDs take one pass, 70 take two, and each pass reads past
    // the damage and names the audio. The log is silenced once in each scan.
    for (int pids : {64, 70}) {
        host.Lines.clear();
        engine->Tables().ResetAnalysis();
        TsStream s;
        s.Add({.pid = 0x300, .payload = Bytes(184, 0x11)}); // the reader's start
        for (int k = 0; k < pids; ++k) s.Add({.pid = 0x300 + k, .payload = Bytes(184, 0x11)});
        for (int i = 0; i < 1200; ++i) s.Add({.pid = 0x1FF0, .transportError = true, .payload = Bytes(184, 0x22)});
        const int audio = 0x300 + pids - 1;
        AddMpegAudio(s, audio, 5);
        Open(s);
        engine->Scan().ScanPids(100000);
        const TAnalysisTables& t = engine->Tables();
        ASSERT_EQ(t.FoundStreamCount, pids) << host.All();
        engine->Scan().ScanStreamTypes(100000);
        EXPECT_EQ(t.FoundStreams[static_cast<size_t>(t.FoundStreamIndex(audio))].TypeText, "MPEG1 Audio") << pids;
        EXPECT_EQ(host.Count("Scan aborted (too many errors) !"), 0) << host.All();
        // Once in each scan: the PID scan and the stream type scan.
        EXPECT_EQ(host.Count("Too many errors skipping log entries!"), 2) << pids;
        EXPECT_FALSE(t.LogSuppressed);
        engine->Scan().Reader()->SetActive(false);
    }
}

// A dropout longer than a scan's packet limit: broken packets do not use up
// the limit, so every scan still meets what lies behind the damage, and only
// damage that outlasts the bound on the packets read hides it; the PID scan
// then says that damage, not the end of its part, ended it.
TEST_F(ScanLimits, ADropoutLongerThanTheLimitHidesNothingWithinTheReadBound) {
    constexpr int kLimit = 1000;
    for (int broken : {1500, 2990, 4100}) {
        SCOPED_TRACE(broken);
        host.Lines.clear();
        engine->Tables().ResetAnalysis();
        TsStream s;
        for (int i = 0; i < 2; ++i) s.Add({.pid = 0x200, .payload = Bytes(184, 0x11)});
        for (int i = 0; i < broken; ++i) s.Add({.pid = 0x1FF0, .transportError = true, .payload = Bytes(184, 0x22)});
        s.AddPat({{1, 0x100}});
        s.AddPmt(0x100, 1, 0x300, {{3, 0x300, {}}});
        AddMpegAudio(s, 0x300, 5);
        for (int i = 0; i < 2000; ++i) s.Add({.pid = 0x200, .payload = Bytes(184, 0x11)});
        Open(s);
        // A scan reads at most four times its limit.
        const bool within = broken < 3500;
        TAnalysisTables& t = engine->Tables();
        engine->Scan().ScanPids(kLimit);
        EXPECT_EQ(PacketsOf(0x300) > 0, within) << host.All();
        EXPECT_EQ(t.PidScanEndedInDamage, !within);
        if (within) {
            engine->Scan().ScanStreamTypes(kLimit);
            EXPECT_EQ(t.FoundStreams[static_cast<size_t>(t.FoundStreamIndex(0x300))].TypeText, "MPEG1 Audio");
            engine->Scan().ScanPats(kLimit);
            engine->Scan().CollectPatPmtPids();
            ASSERT_EQ(t.PmtPidCount, 1) << host.All();
            engine->Scan().ScanPmts(kLimit);
            EXPECT_EQ(t.SavedPmtCount, 1) << host.All();
        }
        engine->Scan().Reader()->SetActive(false);
    }
    // A clean recording longer than the limit: the scan ends at its limit,
    // which is no damage.
    host.Lines.clear();
    engine->Tables().ResetAnalysis();
    OpenWithBroken(0);
    engine->Scan().ScanPids(20);
    EXPECT_EQ(PacketsOf(0x300), 19);
    EXPECT_FALSE(engine->Tables().PidScanEndedInDamage);
}

TEST_F(ScanLimits, EveryPassOfTheStreamTypeScanReadsPastTheDamage) {
    // 140 PIDs take three passes; 600 broken packets lie in the middle, met
    // again by each pass (1,800 in all): the audio before the damage and the
    // audio behind it are both named.
    TsStream s;
    s.Add({.pid = 0x300, .payload = Bytes(184, 0x11)}); // the reader's start
    constexpr int kPids = 140;
    for (int k = 0; k < kPids - 1; ++k) s.Add({.pid = 0x300 + k, .payload = Bytes(184, 0x11)});
    const int before = 0x300 + kPids - 2, after = 0x300 + kPids - 1;
    AddMpegAudio(s, before, 5);
    for (int i = 0; i < 600; ++i) s.Add({.pid = 0x1FF0, .transportError = true, .payload = Bytes(184, 0x22)});
    AddMpegAudio(s, after, 5);
    Open(s);
    engine->Scan().ScanPids(100000);
    const TAnalysisTables& t = engine->Tables();
    ASSERT_EQ(t.FoundStreamCount, kPids) << host.All();
    host.ProgressShown.clear();
    engine->Scan().ScanStreamTypes(100000);
    // One gauge over the three passes: it never goes back, and the third
    // pass shows in its last third.
    ASSERT_FALSE(host.ProgressShown.empty());
    const int64_t total = host.ProgressShown.front().first;
    for (size_t i = 1; i < host.ProgressShown.size(); ++i) {
        EXPECT_EQ(host.ProgressShown[i].first, total);
        EXPECT_GE(host.ProgressShown[i].second, host.ProgressShown[i - 1].second) << i;
    }
    EXPECT_GT(host.ProgressShown.back().second * 3, total * 2);
    auto typeOf = [&t](int pid) { return t.FoundStreams[static_cast<size_t>(t.FoundStreamIndex(pid))].TypeText; };
    EXPECT_EQ(typeOf(before), "MPEG1 Audio") << host.All();
    EXPECT_EQ(typeOf(after), "MPEG1 Audio");
    EXPECT_EQ(host.Count("Scan aborted (too many errors) !"), 0) << host.All();
    EXPECT_FALSE(t.LogSuppressed);
}

TEST_F(ScanLimits, TheStreamTypeScanNamesAPidThatCarriesOnlyAClock) {
    // $0300: adaptation fields with a PCR and nothing else. $0301: PES
    // packets the sniffer cannot name, with a PCR. $0100: a program map.
    // $0302: MPEG audio. Only the clock on its own PID is "PCR".
    TsStream s;
    s.Add({.pid = 0x302, .payload = Bytes(184, 0x11)}); // the reader's start
    s.AddPmt(0x100, 1, 0x300, {{3, 0x302, {}}});
    for (int i = 0; i < 30; ++i) {
        s.Add({.pid = 0x300, .pcr = 27000000LL + 270000LL * i});
        s.AddPes(0x301, PesPacket(0xFC, Bytes(300, 0x77), 90000 + 3600 * i), 27000000LL + 270000LL * i);
    }
    AddMpegAudio(s, 0x302, 5);
    Open(s);
    engine->Scan().ScanPids(100000);
    engine->Scan().ScanStreamTypes(100000);
    const TAnalysisTables& t = engine->Tables();
    auto typeOf = [&t](int pid) {
        const int i = t.FoundStreamIndex(pid);
        return i < 0 ? std::string("(not found)") : t.FoundStreams[static_cast<size_t>(i)].TypeText;
    };
    EXPECT_EQ(typeOf(0x300), "PCR");
    EXPECT_EQ(typeOf(0x301), "");
    EXPECT_EQ(typeOf(0x100), "PMT");
    EXPECT_EQ(typeOf(0x302), "MPEG1 Audio");
    EXPECT_NE(t.LogPidLine().find("$0300: "), std::string::npos);
    EXPECT_NE(t.LogPidLine().find("  = PCR\r\n"), std::string::npos) << t.LogPidLine();
}

TEST_F(ScanLimits, ARepeatedPatIsOneRecordWithItsCount) {
    TsStream s;
    for (int i = 0; i < 500; ++i) s.AddPat({{1, 0x100}});
    s.AddPat({{1, 0x100}, {2, 0x110}}, 1, 1); // another version: a record of its own
    s.AddPat({{1, 0x100}});
    s.AddPat({{1, 0x100}});
    Open(s);
    engine->Tables().AddFoundPid(0x100, 1, "");
    engine->Scan().ScanPats(100000);
    const TAnalysisTables& t = engine->Tables();
    ASSERT_EQ(t.SavedPatCount, 2) << host.All();
    EXPECT_EQ(t.SavedPats[0].Occurrences, 502);
    EXPECT_EQ(t.SavedPats[1].Occurrences, 1);
    EXPECT_EQ(t.SavedPats[1].EntryCount, 2);
    // $0110 never occurs: listed as ignored, $0100 once in the PMT PIDs.
    EXPECT_EQ(t.PmtPidCount, 1);
    EXPECT_EQ(t.IgnoredPmtPidList, "$0110");
}

} // namespace
} // namespace tw::test

namespace tw::test {
namespace {

// A program map whose first section lies behind broken packets, in the
// third pass of a recording of 140 PIDs (the 600 are met once per pass):
// whether a PID that carries no PES is a program map is read up to the
// scan's limit, not up to the damage.
TEST_F(ScanLimits, AProgramMapBehindTheDamageIsStillNamed) {
    TsStream s;
    s.Add({.pid = 0x300, .payload = Bytes(184, 0x11)}); // the reader's start
    constexpr int kPids = 140;
    for (int k = 0; k < kPids - 1; ++k) s.Add({.pid = 0x300 + k, .payload = Bytes(184, 0x11)});
    for (int i = 0; i < 600; ++i) s.Add({.pid = 0x1FF0, .transportError = true, .payload = Bytes(184, 0x22)});
    s.AddPmt(0x100, 1, 0x300, {{3, 0x300, {}}});
    s.AddPmt(0x100, 1, 0x300, {{3, 0x300, {}}});
    Open(s);
    engine->Scan().ScanPids(100000);
    const TAnalysisTables& t = engine->Tables();
    ASSERT_EQ(t.FoundStreamCount, kPids) << host.All();
    engine->Scan().ScanStreamTypes(100000);
    const int i = t.FoundStreamIndex(0x100);
    ASSERT_GE(i, 0);
    EXPECT_EQ(t.FoundStreams[static_cast<size_t>(i)].TypeText, "PMT") << t.LogPidLine();
}

} // namespace
} // namespace tw::test
