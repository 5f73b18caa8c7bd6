// The analysis on damaged and unusual recordings: made from an ffmpeg fixture
// by dropping, remapping or breaking packets, or built packet by packet.
#include <gtest/gtest.h>

#include <algorithm>

#include "AnalysisTestHost.h"
#include "analysis/TableSelection.h"
#include "analysis/AnalysisEngine.h"
#include "analysis/ScanPasses.h"
#include "base/SysUtils.h"
#include "tests/support/TsBuilder.h"
#include "ts/TSPmtReader.h"

namespace tw::test {
namespace {

Bytes ReadFixture(const std::string& name) {
    TempFile dummy;
    (void)dummy;
    FILE* f = std::fopen((TestDataDir() + "/analysis/" + name).c_str(), "rb");
    Bytes b;
    if (!f) return b;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    return b;
}

int PidOf(const uint8_t* p) { return ((p[1] & 0x1F) << 8) | p[2]; }

// The 188-byte packets of a fixture, filtered and edited.
Bytes Edit(const Bytes& in, const std::function<bool(uint8_t* packet, size_t index)>& keep) {
    Bytes out;
    for (size_t i = 0; i + 188 <= in.size(); i += 188) {
        Bytes p(in.begin() + static_cast<long>(i), in.begin() + static_cast<long>(i + 188));
        if (keep(p.data(), i / 188)) out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

void SetPid(uint8_t* p, int pid) {
    p[1] = static_cast<uint8_t>((p[1] & 0xE0) | ((pid >> 8) & 0x1F));
    p[2] = static_cast<uint8_t>(pid & 0xFF);
}

class AnalysisEngineTest : public ::testing::Test {
protected:
    TRecordingHost host;
    std::unique_ptr<TAnalysisEngine> engine = std::make_unique<TAnalysisEngine>(&host);
    TempFile file;
    Bytes base = ReadFixture("h264_ac3_mp2.ts");

    bool Analyse(const Bytes& data) {
        file.Write(data);
        return engine->AnalyseStream(file.Name());
    }
};

TEST_F(AnalysisEngineTest, LeadingGarbageIsSkippedWithAnOffset) {
    ASSERT_FALSE(base.empty());
    Bytes data = Garbage(100);
    data.insert(data.end(), base.begin(), base.end());
    ASSERT_TRUE(Analyse(data)) << host.All();
    EXPECT_EQ(host.Asked(TAnalysisQuestion::NoValidStartByte), 1);
    EXPECT_TRUE(host.Has("Working with an offset of 100 bytes"));
    EXPECT_EQ(engine->Selection().Pmt().PcrPid(), 0x100);
}

TEST_F(AnalysisEngineTest, DecliningTheOffsetStopsQuietly) {
    Bytes data = Garbage(100);
    data.insert(data.end(), base.begin(), base.end());
    host.Answers[TAnalysisQuestion::NoValidStartByte] = false;
    EXPECT_FALSE(Analyse(data));
    EXPECT_TRUE(host.Has("ABORTED !!!"));
    EXPECT_FALSE(host.Has("Could not open file"));
    EXPECT_TRUE(host.Messages.empty());
    EXPECT_FALSE(host.StartEnabled);
}

TEST_F(AnalysisEngineTest, LostSyncMidFileIsResynchronised) {
    const size_t cut = 500 * 188;
    ASSERT_GT(base.size(), cut);
    Bytes data(base.begin(), base.begin() + static_cast<long>(cut));
    Bytes g = Garbage(77);
    data.insert(data.end(), g.begin(), g.end());
    data.insert(data.end(), base.begin() + static_cast<long>(cut), base.end());
    ASSERT_TRUE(Analyse(data)) << host.All();
    EXPECT_TRUE(host.Has("Resync found for paket $000001F4 with Offset: 77"));
    EXPECT_TRUE(host.Has("TS  ERROR: Invalid paket $000001F4! Error: sync_byte_error"));
    EXPECT_EQ(engine->Tables().Video.Resolution_H, 720);
}

// The stray bytes skipped in a large damaged recording add up past 2 GB:
// the log names the whole offset and the whole count of missing bytes.
TEST_F(AnalysisEngineTest, ResyncOffsetsPastTwoGigabytesAreLoggedWhole) {
    const auto& resync = engine->Scan().Reader()->OnPacketResynchEvent;
    ASSERT_TRUE(resync);
    resync(nullptr, 0x123456, int64_t{3000000000});
    resync(nullptr, 0x123460, int64_t{2999999000});
    resync(nullptr, 0x123470, int64_t{5000000000});
    EXPECT_TRUE(host.Has("Resync found for paket $00123456 with Offset: 3000000000")) << host.All();
    EXPECT_TRUE(host.Has("TS  ERROR: Paket $0012345F with 1000 missing bytes")) << host.All();
    EXPECT_TRUE(host.Has("Resync found for paket $00123460 with Offset: 2999999000")) << host.All();
    EXPECT_TRUE(host.Has("Resync found for paket $00123470 with Offset: 5000000000")) << host.All();
    EXPECT_EQ(host.Count("missing bytes"), 1) << host.All();
}

TEST_F(AnalysisEngineTest, MissingPatAndPmtEnterCreationMode) {
    const Bytes data = Edit(base, [](uint8_t* p, size_t) { return PidOf(p) != 0 && PidOf(p) != 0x1000; });
    ASSERT_TRUE(Analyse(data)) << host.All();
    EXPECT_TRUE(engine->Tables().CreationMode);
    EXPECT_TRUE(host.Has("--- PAT/PMT creation mode ---"));
    EXPECT_TRUE(host.Has("Creating new PAT for PMT PID $00B1"));
    EXPECT_TRUE(host.Has("PCR for selfmade PMT: $0100"));
    EXPECT_TRUE(host.Has("New PMT: CRC OK!"));
    EXPECT_EQ(engine->Selection().Pmt().PID(), 0xB1);
    EXPECT_EQ(engine->Selection().Pmt().PcrPid(), 0x100);
    // Video (27), the AC-3 stream (129) and the MP2 stream the sniffer knows.
    ASSERT_EQ(engine->Selection().Pmt().PMTEntryCount(), 3) << host.All();
    EXPECT_EQ(engine->Selection().Pmt().Entry(0).StreamType, 27);
    EXPECT_EQ(engine->Selection().Pmt().Entry(1).StreamType, 129);
    EXPECT_EQ(engine->Selection().Pmt().Entry(2).StreamType, 4);
    EXPECT_EQ(engine->Tables().Audio[0].Mode, "5.1");
    EXPECT_EQ(host.States[asAudioDetailsScan], TStepState::Done);
}

TEST_F(AnalysisEngineTest, CreationModeAvoidsPidsInUse) {
    // The MP2 stream moves to 0xB1, so the own PMT goes to 0x78.
    const Bytes data = Edit(base, [](uint8_t* p, size_t) {
        if (PidOf(p) == 0 || PidOf(p) == 0x1000) return false;
        if (PidOf(p) == 0x102) SetPid(p, 0xB1);
        return true;
    });
    ASSERT_TRUE(Analyse(data)) << host.All();
    EXPECT_TRUE(host.Has("Creating new PAT for PMT PID $0078"));
    EXPECT_EQ(engine->Selection().Pmt().PID(), 0x78);
}

TEST_F(AnalysisEngineTest, AllThreeOwnPmtPidsInUseStops) {
    const Bytes data = Edit(base, [](uint8_t* p, size_t i) {
        if (PidOf(p) == 0 || PidOf(p) == 0x1000) return false;
        // Spread the MP2 packets over the three candidate PIDs.
        if (PidOf(p) == 0x102) SetPid(p, i % 3 == 0 ? 0xB1 : i % 3 == 1 ? 0x78 : 0x14);
        return true;
    });
    EXPECT_FALSE(Analyse(data));
    EXPECT_EQ(host.States[asPatScan], TStepState::Failed);
    EXPECT_EQ(host.Texts[asPatScan], "No valid PAT found!");
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0], "No valid PAT found!");
}

TEST_F(AnalysisEngineTest, MissingPmtIsRebuiltAfterAWarning) {
    const Bytes data = Edit(base, [](uint8_t* p, size_t) { return PidOf(p) != 0x1000; });
    ASSERT_TRUE(Analyse(data)) << host.All();
    EXPECT_TRUE(host.Has("PMTPIDs ignored $1000 )"));
    EXPECT_TRUE(host.Has("PMT missing warning!"));
    EXPECT_TRUE(host.Has("Trying to rebuild!"));
    EXPECT_TRUE(engine->Tables().CreationMode);
    EXPECT_EQ(host.States[asPmtScan], TStepState::Done);
}

TEST_F(AnalysisEngineTest, ScrambledPacketsAskOnce) {
    const Bytes data = Edit(base, [](uint8_t* p, size_t i) {
        if (PidOf(p) == 0x102 && i % 2 == 0) p[3] = static_cast<uint8_t>((p[3] & 0x3F) | 0x80);
        return true;
    });
    host.Answers[TAnalysisQuestion::Scrambled] = true; // skip them
    ASSERT_TRUE(Analyse(data)) << host.All();
    EXPECT_EQ(host.Asked(TAnalysisQuestion::Scrambled), 1);
    EXPECT_EQ(engine->ScrambledMode, TScrambledMode::SkipScrambled);
    EXPECT_TRUE(host.Has("Ignore scrambled pakets!"));
    // Scrambled-only packets are good packets for the scans: the PID scan
    // counts all of them (the end phase of the start/end check is the one
    // pass that counts them as errors).
    const TFoundStream& f = engine->Tables().FoundStreams[static_cast<size_t>(engine->Tables().FoundStreamIndex(0x102))];
    int64_t mp2 = 0;
    for (size_t i = 1; i * 188 < data.size(); ++i)
        if (PidOf(&data[i * 188]) == 0x102) ++mp2;
    EXPECT_EQ(f.PacketCount, mp2);
}

TEST_F(AnalysisEngineTest, ManyBrokenPacketsSuppressTheLogAndLoseNoStream) {
    // 1200 packets with transport errors at the start of the file, all of
    // the recording's tables and streams behind them.
    Bytes data = Edit(base, [](uint8_t*, size_t) { return true; });
    Bytes broken;
    for (int i = 0; i < 1200; ++i) {
        TsPacketOptions o;
        o.pid = 0x1FF0;
        o.transportError = true;
        o.cc = i & 15;
        Bytes p = MakePacket(o);
        broken.insert(broken.end(), p.begin(), p.end());
    }
    data.insert(data.begin(), broken.begin(), broken.end());
    ASSERT_TRUE(Analyse(data)) << host.All();
    // Each pass over the start logs the notice once, and the invalid-packet
    // lines stop after it: some 40 a pass, however many passes reach the
    // damage (the detail scans too, now that the analysis gets so far).
    const int notices = host.Count("Too many errors skipping log entries!");
    EXPECT_GE(notices, 1);
    EXPECT_LE(host.Count("TS  ERROR: Invalid paket $"), 45 * notices) << host.All();
    // The scans read past the damage: the table is the recording's own, and
    // its sound is kept.
    EXPECT_FALSE(engine->Tables().CreationMode);
    EXPECT_TRUE(engine->Tables().IsSelectedPid(0x102)) << host.All();
}

TEST_F(AnalysisEngineTest, RecordingShorterThanOneProgressStepAnalyses) {
    // Fewer packets than the hundred progress steps: the step is not 0.
    const Bytes data = Edit(base, [](uint8_t*, size_t i) { return i < 90; });
    Analyse(data);
    EXPECT_EQ(host.States[asPidScan], TStepState::Done) << host.All();
    EXPECT_EQ(host.States[asPatScan], TStepState::Done);
    EXPECT_GT(host.ProgressCalls, 0);
}

TEST_F(AnalysisEngineTest, OnePcrIsNoWrap) {
    // Every PCR but the first loses its flag: first and last PCR are one.
    bool first = true;
    const Bytes data = Edit(base, [&](uint8_t* p, size_t) {
        if ((p[3] & 0x20) && p[4] > 0 && (p[5] & 0x10)) {
            if (!first) p[5] &= static_cast<uint8_t>(~0x10);
            first = false;
        }
        return true;
    });
    ASSERT_TRUE(Analyse(data)) << host.All();
    const TAnalysisTables& t = engine->Tables();
    ASSERT_GE(t.FirstPcr, 0);
    EXPECT_EQ(t.FirstPcr, t.LastPcr);
    EXPECT_FALSE(t.PcrWrap);
    EXPECT_EQ(t.Duration, 0);
    EXPECT_FALSE(host.Has("PCR wrap at"));
    EXPECT_EQ(host.Asked(TAnalysisQuestion::PcrWrap), 0);
}

TEST_F(AnalysisEngineTest, EmptyFileGivesAClearMessage) {
    EXPECT_FALSE(Analyse(Bytes()));
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.States[asPidScan], TStepState::Failed);
    EXPECT_EQ(host.Texts[asPidScan], "0 PIDs found");
}

TEST_F(AnalysisEngineTest, NotATransportStreamGivesAClearMessage) {
    EXPECT_FALSE(Analyse(Garbage(200000, 7)));
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0], "No PIDs found!");
    // The PID scan reads on to its limit (a recording's dropout ends no PID
    // scan), with its log silenced once.
    EXPECT_EQ(host.Count("Too many errors skipping log entries!"), 1) << host.All();
    EXPECT_FALSE(host.StartEnabled);
}

TEST_F(AnalysisEngineTest, MissingFileGivesOneLineAndOneMessage) {
    EXPECT_FALSE(engine->AnalyseStream(file.Name() + ".missing"));
    EXPECT_EQ(host.Count("Could not open file"), 1);
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.States[asGarbageScan], TStepState::Idle);
}

TEST_F(AnalysisEngineTest, SinglePidStopsAtThePidScan) {
    TsStream s;
    for (int i = 0; i < 300; ++i) {
        TsPacketOptions o;
        o.pid = 0x200;
        o.payload = Bytes(184, 0x11);
        s.Add(o);
    }
    EXPECT_FALSE(Analyse(s.Render()));
    EXPECT_EQ(host.Texts[asPidScan], "1 PIDs found");
    EXPECT_EQ(host.States[asPidScan], TStepState::Failed);
    // The log and the message say what was found, not that nothing was.
    EXPECT_TRUE(host.Has("Found 1 different PIDs")) << host.All();
    EXPECT_EQ(host.Count("No PIDs found!"), 0) << host.All();
    EXPECT_TRUE(host.Has("Only 1 PID found! A recording needs at least 2.")) << host.All();
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0], "Only 1 PID found! A recording needs at least 2.");
}

// A program whose video the program cannot carry (HEVC, stream type 36)
// stops at the video step, and the log tells one story: the video is named
// as not supported, and no list of PIDs "to be imported" promises a copy
// that will not be made.
TEST_F(AnalysisEngineTest, AnUnsupportedVideoIsNamedAndNothingIsPromised) {
    TsStream s;
    // HEVC access units: a VPS and an IDR slice (NAL types 32 and 19).
    Bytes au = {0, 0, 0, 1, 0x40, 0x01, 0x0C, 0x01, 0xFF, 0xFF, 0, 0, 0, 1, 0x26, 0x01, 0xAF};
    au.resize(3000, 0x5C);
    Bytes mpa(576, 0x55);
    mpa[0] = 0xFF;
    mpa[1] = 0xFD;
    mpa[2] = 0xA4;
    int64_t pts = 900000;
    while (s.PacketCount() < 2000) {
        s.AddPat({{1, 0x100}});
        s.AddPmt(0x100, 1, 0x101, {{36, 0x101, {}}, {4, 0x102, {}}});
        s.AddPes(0x101, PesPacket(0xE0, au, pts), (pts - 9000) * 300);
        s.AddPes(0x102, PesPacket(0xC0, mpa, pts));
        pts += 3600;
    }
    EXPECT_FALSE(Analyse(s.Render()));
    EXPECT_EQ(host.States[asVideoDetailsScan], TStepState::Failed);
    EXPECT_TRUE(host.Has("No video stream found in PMT")) << host.All();
    EXPECT_TRUE(host.Has("Video stream PID $0101 type 36 = HEVC video stream as defined in ITU-T Rec. H.265 | "
                         "ISO/IEC 23008-2 is not supported!"))
        << host.All();
    EXPECT_EQ(host.All().find("will be imported"), std::string::npos) << host.All();
    EXPECT_EQ(host.All().find("User private"), std::string::npos) << host.All();
}

TEST_F(AnalysisEngineTest, FillPacketsAtBothEndsAreCounted) {
    Bytes fill;
    TsStream s;
    for (int i = 0; i < 12; ++i) {
        TsPacketOptions o;
        o.pid = 0;
        o.payload = Bytes(184, 0xFF);
        o.padWithAdaptation = false;
        s.Add(o);
    }
    Bytes start = s.Render();
    Bytes end(start.begin(), start.begin() + 9 * 188); // a run of 9 counts as 0
    Bytes data = start;
    data.insert(data.end(), base.begin(), base.end());
    data.insert(data.end(), end.begin(), end.end());
    ASSERT_TRUE(Analyse(data)) << host.All();
    EXPECT_EQ(engine->Tables().FillPacketsAtStart, 12);
    EXPECT_EQ(engine->Tables().FillPacketsAtEnd, 0);
    EXPECT_EQ(host.Texts[asGarbageScan], "12 packet found");
    EXPECT_TRUE(host.Has("Found 12 fill pakets at start"));
}

// Ten fill packets are a run, nine are not: at either end of the recording.
TEST_F(AnalysisEngineTest, AFillRunStartsAtTenPackets) {
    TsStream s;
    for (int i = 0; i < 10; ++i) {
        TsPacketOptions o;
        o.pid = 0;
        o.payload = Bytes(184, 0xFF);
        o.padWithAdaptation = false;
        s.Add(o);
    }
    const Bytes ten = s.Render();
    for (const int head : {9, 10}) {
        for (const int tail : {9, 10}) {
            Bytes data(ten.begin(), ten.begin() + head * 188);
            data.insert(data.end(), base.begin(), base.end());
            data.insert(data.end(), ten.begin(), ten.begin() + tail * 188);
            ASSERT_TRUE(Analyse(data)) << host.All();
            EXPECT_EQ(engine->Tables().FillPacketsAtStart, head == 10 ? 10 : 0) << head << "/" << tail;
            EXPECT_EQ(engine->Tables().FillPacketsAtEnd, tail == 10 ? 10 : 0) << head << "/" << tail;
        }
    }
}

TEST_F(AnalysisEngineTest, BusyEngineRefusesASecondOpenAndCanBeCancelled) {
    file.Write(base);
    bool refused = false;
    int calls = 0;
    host.OnProcessMessages = [&]() {
        // What a drop or File > Open does while a pass runs.
        if (engine->Busy() && !engine->AnalyseStream(file.Name())) refused = true;
        if (++calls == 3) engine->RequestCancel();
    };
    EXPECT_FALSE(engine->AnalyseStream(file.Name()));
    EXPECT_TRUE(refused);
    EXPECT_FALSE(engine->Busy());
    EXPECT_TRUE(host.Has("Process aborted!"));
    EXPECT_FALSE(host.StartEnabled);
    // After the cancel the engine analyses again.
    host.OnProcessMessages = nullptr;
    EXPECT_TRUE(engine->AnalyseStream(file.Name()));
}

TEST_F(AnalysisEngineTest, TheLogHeaderNamesTheSystemAndTheFiltersTheProbeFound) {
    host.FilterTexts[0] = "Tessu,Movrak";
    host.FilterTexts[1] = "ffdshow";
    host.FilterTexts[2] = "ffdshow,CoreAVC";
    ASSERT_TRUE(Analyse(base)) << host.All();
    ASSERT_GE(host.Lines.size(), 9u);
    const std::vector<std::string> header(host.Lines.begin(), host.Lines.begin() + 9);
    EXPECT_EQ(header, (std::vector<std::string>{"Opening file " + file.Name(), "", "OS: Windows test",
                                                "Tarnwick.exe V 1.00", "", "Supported splitter filter found : Tessu,Movrak",
                                                "Supported audio filter found    : ffdshow",
                                                "Supported video filter found    : ffdshow,CoreAVC", ""}));
}

// The start/end check knows the end and the duration before the detail
// scans run: the timeline shows them from then on, also when the analysis
// goes no further.
TEST_F(AnalysisEngineTest, EndAndDurationShowAsSoonAsTheStartEndCheckHasThem) {
    file.Write(base);
    TTimelineTexts seenDuringVideoScan;
    host.OnProcessMessages = [&]() {
        if (host.States[asVideoDetailsScan] == TStepState::Running && !engine->CancelRequested()) {
            seenDuringVideoScan = host.Timeline;
            engine->RequestCancel();
        }
    };
    EXPECT_FALSE(engine->AnalyseStream(file.Name()));
    // The time the log gives the duration in.
    const std::string prefix = "Duration of video stream is ";
    const auto line = std::find_if(host.Lines.begin(), host.Lines.end(),
                                   [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    ASSERT_NE(line, host.Lines.end());
    const std::string duration = line->substr(line->rfind(' ') + 1);
    ASSERT_NE(duration, "00:00:00.000");
    EXPECT_EQ(seenDuringVideoScan.End, duration);
    EXPECT_EQ(seenDuringVideoScan.Duration, duration);
    EXPECT_EQ(seenDuringVideoScan.Begin, "00:00:00.000");
    // Cancelled: the values stay, the box stays off.
    EXPECT_EQ(host.Timeline.End, duration);
    EXPECT_EQ(host.Timeline.Duration, duration);
    EXPECT_FALSE(host.Timeline.Visible);
    EXPECT_FALSE(host.StartEnabled);

    // A finished analysis turns the box on with the same values.
    host.OnProcessMessages = nullptr;
    ASSERT_TRUE(engine->AnalyseStream(file.Name()));
    EXPECT_TRUE(host.Timeline.Visible);
    EXPECT_EQ(host.Timeline.Duration, duration);
}

TEST_F(AnalysisEngineTest, AudioToggleKeepsTheLastStream) {
    ASSERT_TRUE(Analyse(base));
    TAnalysisTables& t = engine->Tables();
    EXPECT_TRUE(t.IsSelectedPid(0x101));
    EXPECT_EQ(engine->ToggleAudioStream(0), 2);
    EXPECT_FALSE(t.IsSelectedPid(0x101));
    EXPECT_TRUE(t.Audio[0].Dropped);
    // The other stream is the last kept one: it stays.
    EXPECT_EQ(engine->ToggleAudioStream(1), 1);
    EXPECT_TRUE(t.IsSelectedPid(0x102));
    EXPECT_EQ(engine->ToggleAudioStream(0), 1);
    EXPECT_TRUE(t.IsSelectedPid(0x101));
    // A hidden panel does not react.
    EXPECT_EQ(engine->ToggleAudioStream(2), 0);
    EXPECT_EQ(host.Audio[0].ToggleState, 1);
}

TEST_F(AnalysisEngineTest, ResetClearsTheWindowState) {
    ASSERT_TRUE(Analyse(base));
    engine->ResetAll();
    for (int i = 0; i < ANALYSIS_STEP_COUNT; ++i) {
        EXPECT_EQ(host.States[i], TStepState::Idle);
        EXPECT_EQ(host.Texts[i], "");
    }
    EXPECT_FALSE(host.StartEnabled);
    EXPECT_FALSE(host.Video.Visible);
    EXPECT_EQ(host.Timeline.Duration, "00:00:00.000");
}

// The own PMT of the creation mode keeps every audio stream the sniffer
// named, with a standard stream type (MPEG audio of every layer, MP3 too, as
// 4; DTS as private data with its registration descriptor), and names in the
// log each stream it leaves out.
TEST_F(AnalysisEngineTest, OwnPmtKeepsEveryKnownAudioAndNamesWhatItLeavesOut) {
    TAnalysisTables& t = engine->Tables();
    auto add = [&](int pid, const char* type, bool pcr = false) {
        const int i = t.AddFoundPid(pid, 100, type);
        t.FoundStreams[static_cast<size_t>(i)].HasPcr = pcr;
    };
    add(0x100, "H264 Video", true);
    add(0x101, "MPEG2 Audio");
    add(0x102, "MP3 Audio");
    add(0x103, "DTS Audio");
    add(0x104, "MPEG1 Audio");
    add(0x105, "AC3 Audio");       // a fifth audio stream: no place left
    add(0x106, "VC1 Video");       // no code for it
    add(0x107, "PMT");             // tables and clocks are no streams
    add(0x12, "");
    const int leftBefore = t.StreamsLeftOut;
    ASSERT_TRUE(engine->Selection().BuildOwnPmt(0xB1)) << host.All();
    const TTSPmtReader& pmt = engine->Selection().Pmt();
    ASSERT_EQ(pmt.PMTEntryCount(), 5) << host.All();
    EXPECT_EQ(pmt.Entry(0).PID, 0x100);
    EXPECT_EQ(pmt.Entry(0).StreamType, 27);
    EXPECT_EQ(pmt.Entry(1).PID, 0x101);
    EXPECT_EQ(pmt.Entry(1).StreamType, 4);
    EXPECT_TRUE(pmt.Entry(1).IsAudio);
    EXPECT_EQ(pmt.Entry(2).PID, 0x102);
    EXPECT_EQ(pmt.Entry(2).StreamType, 4);
    EXPECT_TRUE(pmt.Entry(2).IsAudio);
    EXPECT_EQ(pmt.Entry(3).PID, 0x103);
    EXPECT_EQ(pmt.Entry(3).StreamType, 6);
    EXPECT_TRUE(pmt.Entry(3).DTS);
    EXPECT_TRUE(pmt.Entry(3).IsAudio);
    EXPECT_EQ(pmt.Entry(4).PID, 0x104);
    EXPECT_EQ(pmt.Entry(4).StreamType, 4);
    // Left out, each by name: the fifth audio stream and the VC-1 video;
    // the PMT and the unnamed PID are not streams.
    EXPECT_TRUE(host.Has("TS  WARNING: Stream PID $0105 (AC3 Audio) is not carried into the cleaned stream!"))
        << host.All();
    EXPECT_TRUE(host.Has("TS  WARNING: Stream PID $0106 (VC1 Video) is not carried into the cleaned stream!"))
        << host.All();
    EXPECT_FALSE(host.Has("PID $0107")) << host.All();
    EXPECT_FALSE(host.Has("PID $0012")) << host.All();
    EXPECT_EQ(t.StreamsLeftOut - leftBefore, 2);
}

// The kept list has a fixed size: a stream of the table it has no room for
// is named as left out, not dropped in silence.
TEST_F(AnalysisEngineTest, AStreamTheKeptListHasNoRoomForIsNamed) {
    TTSPmtReader& pmt = engine->Selection().Pmt();
    for (int k = 0; k <= MAX_KEPT_PIDS; ++k) ASSERT_GE(pmt.AddStreamEntry(0x200 + k, 4), 0);
    engine->Selection().LogPmtEntries();
    EXPECT_TRUE(engine->Tables().IsSelectedPid(0x200 + MAX_KEPT_PIDS - 1));
    EXPECT_FALSE(engine->Tables().IsSelectedPid(0x200 + MAX_KEPT_PIDS));
    EXPECT_TRUE(host.Has("TS  WARNING: Stream PID $0264 type 4 is not carried into the cleaned stream!")) << host.All();
    EXPECT_EQ(engine->Tables().StreamsLeftOut, 1);
}

// A second video stream does not silently replace the first: the one left
// out is named.
TEST_F(AnalysisEngineTest, OwnPmtNamesAVideoStreamItReplaces) {
    TAnalysisTables& t = engine->Tables();
    t.AddFoundPid(0x100, 100, "MPEG2 Video");
    t.FoundStreams[static_cast<size_t>(t.FoundStreamIndex(0x100))].HasPcr = true;
    t.AddFoundPid(0x101, 100, "MPEG1 Audio");
    t.AddFoundPid(0x102, 100, "H264 Video");
    ASSERT_TRUE(engine->Selection().BuildOwnPmt(0xB1)) << host.All();
    EXPECT_EQ(engine->Selection().Pmt().Entry(0).PID, 0x102);
    EXPECT_TRUE(host.Has("TS  WARNING: Stream PID $0100 (MPEG2 Video) is not carried into the cleaned stream!"))
        << host.All();
}

} // namespace
} // namespace tw::test
