// The analysis of recordings made by ffmpeg, compared with what ffprobe
// reports of the same files (tests/data/analysis/*.expect, made by the
// script there from ffprobe's JSON and packet listing).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "AnalysisTestHost.h"
#include "analysis/TableSelection.h"
#include "analysis/AnalysisEngine.h"
#include "base/SysUtils.h"
#include "tests/support/TsBuilder.h"
#include "ts/TSPmtReader.h"

namespace tw::test {
namespace {

struct TExpectLine {
    std::string kind;
    std::map<std::string, std::string> kv;
    std::string Get(const std::string& k) const {
        auto it = kv.find(k);
        return it == kv.end() ? std::string() : it->second;
    }
    int64_t Int(const std::string& k) const { return StrToInt64Def(Get(k), -1); }
};

std::vector<TExpectLine> ReadExpect(const std::string& name) {
    std::vector<TExpectLine> out;
    std::ifstream in(TestDataDir() + "/analysis/" + name + ".expect");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ss(line);
        TExpectLine e;
        ss >> e.kind;
        std::string tok;
        while (ss >> tok) {
            auto eq = tok.find('=');
            if (eq != std::string::npos) e.kv[tok.substr(0, eq)] = tok.substr(eq + 1);
        }
        out.push_back(e);
    }
    return out;
}

class AnalysisFixtures : public ::testing::Test {
protected:
    TRecordingHost host;
    std::unique_ptr<TAnalysisEngine> engine = std::make_unique<TAnalysisEngine>(&host);

    bool Analyse(const std::string& file) { return engine->AnalyseStream(TestDataDir() + "/analysis/" + file); }
    // The stream library's fixtures (tests/data); their ffprobe views are
    // kept here as lib_<name>.expect.
    bool AnalyseLib(const std::string& file) { return engine->AnalyseStream(TestDataDir() + "/" + file); }

    // Compares the engine's view of the selected program with ffprobe's: the
    // program numbered programNumber, or, by default, the last one.
    void CheckAgainstFfprobe(const std::string& name, int64_t programNumber = -1) {
        const auto expect = ReadExpect(name);
        ASSERT_FALSE(expect.empty()) << "missing " << name << ".expect";
        const TAnalysisTables& t = engine->Tables();
        const TTSPmtReader* pmt = &engine->Selection().Pmt();
        // The program chosen: with several, the analysis takes the last one.
        const TExpectLine* program = nullptr;
        for (const auto& e : expect)
            if (e.kind == "program" && (programNumber < 0 || e.Int("num") == programNumber)) program = &e;
        ASSERT_NE(program, nullptr);
        EXPECT_EQ(pmt->ProgramNumber(), program->Int("num"));
        EXPECT_EQ(t.ProgramNumber, program->Int("num"));
        EXPECT_EQ(pmt->PID(), program->Int("pmt"));
        EXPECT_EQ(pmt->PcrPid(), program->Int("pcr"));

        int checkedStreams = 0;
        int64_t commonShift = -1;
        for (const auto& e : expect) {
            if (e.kind != "stream") continue;
            const int pid = static_cast<int>(e.Int("pid"));
            const int entry = pmt->IndexOfPid(pid);
            if (entry < 0) continue; // another program's stream
            ++checkedStreams;
            const TPmtEntry& pe = pmt->Entry(entry);
            const std::string codec = e.Get("codec");
            const int rec = t.PidRecordIndex(pid);
            ASSERT_GE(rec, 0);
            const TPidRecord& r = t.PidRecords[static_cast<size_t>(rec)];
            // ffprobe may shift the stamps of a recording that wraps (its
            // own wrap correction); the shift is then the same for every
            // stream, and zero for every other recording.
            const int64_t shift = Mod33(r.FirstPts - e.Int("first_pts"));
            if (commonShift < 0) commonShift = shift;
            EXPECT_EQ(shift, commonShift) << codec << " PID " << pid;
            if (name.find("wrap") == std::string::npos) EXPECT_EQ(shift, 0) << codec << " PID " << pid;
            if (codec == "h264" || codec == "mpeg2video") {
                EXPECT_TRUE(t.IsSelectedPid(pid)) << pid;
                EXPECT_TRUE(pe.IsVideo);
                EXPECT_EQ(pe.StreamType, codec == "h264" ? 27 : 2);
                // The last PES packet of a pass completes only when a later
                // pass hands its reader the next start, so the analysis sees
                // the last or the one before it.
                EXPECT_GE(Mod33(r.LastPts - commonShift - e.Int("first_pts")),
                          Mod33(e.Int("last_pts_but_last") - e.Int("first_pts")))
                    << codec;
                EXPECT_LE(Mod33(r.LastPts - commonShift - e.Int("first_pts")),
                          Mod33(e.Int("last_pts") - e.Int("first_pts")))
                    << codec;
                EXPECT_EQ(t.Video.Kind, codec == "h264" ? 2 : 1);
                EXPECT_EQ(t.Video.Resolution_H, e.Int("width"));
                EXPECT_EQ(t.Video.Resolution_V, e.Int("height"));
                EXPECT_NEAR(t.Video.FramesPerSecond, std::stod(e.Get("fps")), 0.001);
                const std::string profile = e.Get("profile");
                // ffprobe names constrained profiles too ("Constrained
                // Baseline"); the analysis gives the profile_idc's name.
                const std::string ours = t.Video.Profile.substr(0, t.Video.Profile.find('@'));
                EXPECT_FALSE(ours.empty());
                EXPECT_NE(profile.find(ours), std::string::npos) << ours << " / " << profile;
                if (codec == "mpeg2video" && !t.Video.AspectRatio.empty()) {
                    std::string a = t.Video.AspectRatio;
                    a[a.find('/')] = ':';
                    EXPECT_EQ(a, e.Get("aspect"));
                }
                EXPECT_EQ(host.Video.Pid, "$" + IntToHex(pid, 4));
                EXPECT_EQ(host.Video.Title, codec == "h264" ? "H264" : "MPEG2");
            } else {
                // Every stream ffprobe decodes as audio is an audio stream of
                // the program, however its entry declares it (MPEG audio as
                // private data without a descriptor, for one).
                ASSERT_TRUE(codec == "mp2" || codec == "mp3" || codec == "ac3" || codec == "eac3" ||
                            codec == "aac" || codec == "dts")
                    << codec;
                EXPECT_TRUE(t.IsSelectedPid(pid)) << pid;
                EXPECT_TRUE(pe.IsAudio) << codec;
                int slot = -1;
                for (int i = 0; i < 4; ++i)
                    if (t.Audio[static_cast<size_t>(i)].Pid == pid) slot = i;
                ASSERT_GE(slot, 0) << codec;
                const TAudioInfo& a = t.Audio[static_cast<size_t>(slot)];
                EXPECT_EQ(a.Language, e.Get("lang")) << codec;
                EXPECT_EQ(host.Audio[slot].Pid, "$" + IntToHex(pid, 4));
                if (codec == "ac3" || codec == "eac3") {
                    EXPECT_EQ(a.Kind, codec == "ac3" ? akAC3 : akEAC3);
                    EXPECT_EQ(host.Audio[slot].Title, codec == "ac3" ? "AC3" : "E-AC3");
                    EXPECT_EQ(TTSAC3Reader_Channels(a.Mode), e.Int("channels")) << a.Mode;
                    EXPECT_EQ(a.SampleRate, e.Int("sample_rate"));
                    EXPECT_EQ(a.BitRate * 1000, e.Int("bit_rate"));
                    EXPECT_EQ(host.Audio[slot].LayerCheck, "TS,PES,ES");
                } else {
                    EXPECT_EQ(host.Audio[slot].LayerCheck, "TS,PES");
                }
            }
        }
        EXPECT_GE(checkedStreams, 2);
        // Every step done.
        for (int i = 0; i < ANALYSIS_STEP_COUNT; ++i)
            EXPECT_EQ(host.States[i], TStepState::Done) << StepCaption(static_cast<TAnalysisStep>(i)) << "\n"
                                                       << host.All();
        EXPECT_TRUE(host.StartEnabled);
        EXPECT_TRUE(host.Messages.empty());
    }

    static int64_t Mod33(int64_t v) {
        const int64_t m = int64_t(1) << 33;
        return ((v % m) + m) % m;
    }

    static int64_t TTSAC3Reader_Channels(const std::string& mode) {
        if (mode.size() != 3) return 0;
        return (mode[0] - '0') + (mode[2] - '0');
    }
};

TEST_F(AnalysisFixtures, H264WithAc3AndMp2) {
    ASSERT_TRUE(Analyse("h264_ac3_mp2.ts")) << host.All();
    CheckAgainstFfprobe("h264_ac3_mp2");
    EXPECT_TRUE(host.Has("Video format: H264 720x576p/25 fps/High@3.0"));
    EXPECT_EQ(host.Audio[0].Details, "5.1 (German)\r48kHz\r384kBit");
    EXPECT_TRUE(host.Has("Audio stream 1: AC3 5.1 48000Hz (DEU)"));
    // 192 kbit/s MP2 without CRC (FF FD A4), as most encoders write it.
    EXPECT_TRUE(host.Has("$0102: 26%  = MPEG1 Audio (PES_StreamID $C0 = Audio_Stream_0)")) << host.All();
    EXPECT_TRUE(host.Has("Audio stream 2: MPEG1 Audio")) << host.All();
    EXPECT_EQ(host.Lines[0].substr(0, 13), "Opening file ");
    EXPECT_EQ(host.Count("Audio stream 2: "), 1);
    EXPECT_EQ(host.Texts[asAudioDetailsScan], "2 streams scanned");
    EXPECT_FALSE(engine->Tables().PcrWrap);
    EXPECT_TRUE(host.Questions.empty());
}

TEST_F(AnalysisFixtures, Mpeg2WithMp2) {
    ASSERT_TRUE(Analyse("mpeg2_mp2.ts")) << host.All();
    CheckAgainstFfprobe("mpeg2_mp2");
    EXPECT_EQ(engine->Tables().Video.AspectRatio, "4/3");
    EXPECT_TRUE(host.Has("Video format: MPEG2 720x576 / 25 fps"));
    EXPECT_EQ(host.Texts[asAudioDetailsScan], "1 stream scanned");
}

TEST_F(AnalysisFixtures, H264WithAacAndEac3) {
    ASSERT_TRUE(Analyse("h264_aac_eac3.ts")) << host.All();
    CheckAgainstFfprobe("h264_aac_eac3");
}

TEST_F(AnalysisFixtures, TwoProgramsSelectTheLastPmt) {
    ASSERT_TRUE(Analyse("two_programs.ts")) << host.All();
    EXPECT_TRUE(host.Has("PES WARNING: More than 1 PMT found, selecting last one"));
    CheckAgainstFfprobe("two_programs");
    // Only the chosen program's streams are kept.
    EXPECT_FALSE(engine->Tables().IsSelectedPid(0x100));
    EXPECT_FALSE(engine->Tables().IsSelectedPid(0x101));
    EXPECT_TRUE(host.PreserveEnabled);
}

TEST_F(AnalysisFixtures, M2tsWith192BytePackets) {
    ASSERT_TRUE(Analyse("m2ts_192.m2ts")) << host.All();
    EXPECT_EQ(host.Asked(TAnalysisQuestion::M2TSDetected), 1);
    EXPECT_TRUE(host.Has("Working in M2TS mode with 192 byte pakets!"));
    CheckAgainstFfprobe("m2ts_192");
}

TEST_F(AnalysisFixtures, M2tsDeclinedStopsWithoutFurtherMessage) {
    host.Answers[TAnalysisQuestion::M2TSDetected] = false;
    EXPECT_FALSE(Analyse("m2ts_192.m2ts"));
    EXPECT_TRUE(host.Has("ABORTED !!!"));
    EXPECT_TRUE(host.Messages.empty());
    EXPECT_EQ(host.States[asGarbageScan], TStepState::Idle);
}

TEST_F(AnalysisFixtures, PcrWrapIsFoundAndAskedOnce) {
    ASSERT_TRUE(Analyse("pcr_wrap.ts")) << host.All();
    CheckAgainstFfprobe("pcr_wrap");
    EXPECT_TRUE(engine->Tables().PcrWrap);
    EXPECT_TRUE(host.Has("PCR wrap at "));
    EXPECT_EQ(host.Asked(TAnalysisQuestion::PcrWrap), 1);
    EXPECT_EQ(engine->Tables().TimerPatchMode, 1);
    // About three seconds across the wrap.
    EXPECT_GT(engine->Tables().Duration, 2 * 90000);
    EXPECT_LT(engine->Tables().Duration, 4 * 90000);
}

TEST_F(AnalysisFixtures, PcrWrapUnderTimerPatchMode2IsNotAsked) {
    host.Settings["TimerPatchMode"] = 2;
    ASSERT_TRUE(Analyse("pcr_wrap.ts"));
    EXPECT_TRUE(engine->Tables().PcrWrap);
    EXPECT_EQ(host.Asked(TAnalysisQuestion::PcrWrap), 0);
    EXPECT_EQ(engine->Tables().TimerPatchMode, 2);
}

TEST_F(AnalysisFixtures, AnalysingTwiceGivesTheSameResult) {
    ASSERT_TRUE(Analyse("h264_ac3_mp2.ts"));
    const int64_t duration = engine->Tables().Duration;
    const int kept = engine->Tables().KeptPidCount;
    ASSERT_TRUE(Analyse("h264_ac3_mp2.ts"));
    EXPECT_EQ(engine->Tables().Duration, duration);
    EXPECT_EQ(engine->Tables().KeptPidCount, kept);
    CheckAgainstFfprobe("h264_ac3_mp2");
}

TEST_F(AnalysisFixtures, LibraryFixtureH264WithAc3) {
    ASSERT_TRUE(AnalyseLib("h264_ac3.ts")) << host.All();
    CheckAgainstFfprobe("lib_h264_ac3");
}

TEST_F(AnalysisFixtures, LibraryFixtureMpeg2WithMp2) {
    ASSERT_TRUE(AnalyseLib("mpeg2_mp2.ts")) << host.All();
    CheckAgainstFfprobe("lib_mpeg2_mp2");
}

TEST_F(AnalysisFixtures, LibraryFixtureM2ts) {
    ASSERT_TRUE(AnalyseLib("m2ts_192.m2ts")) << host.All();
    CheckAgainstFfprobe("lib_m2ts_192");
    // Its MPEG audio is declared as private data without a descriptor
    // (ffprobe: codec tag 0x0006); the packets say audio, and audio it is:
    // panel, details scan and the kept PIDs, whatever the text settings say.
    EXPECT_EQ(engine->Selection().Pmt().Entry(engine->Selection().Pmt().IndexOfPid(0x1100)).StreamType, 6);
    EXPECT_TRUE(host.Has("PMT entry for $1100 (stream type 6) carries MPEG1 Audio: taken as audio stream")) << host.All();
    EXPECT_EQ(host.Audio[0].Title, "MPEG");
    EXPECT_TRUE(host.Has("Audio stream 1: MPEG1 Audio")) << host.All();
    EXPECT_EQ(host.Texts[asAudioDetailsScan], "1 stream scanned");
    EXPECT_EQ(engine->Tables().Text[0].Pid, 0);
    EXPECT_EQ(host.Count("will not be imported"), 0);
    EXPECT_EQ(engine->ToggleAudioStream(0), 1); // the only audio stream stays
}

TEST_F(AnalysisFixtures, LibraryFixturePtsWrap) {
    ASSERT_TRUE(AnalyseLib("pts_wrap.ts")) << host.All();
    CheckAgainstFfprobe("lib_pts_wrap");
}

TEST_F(AnalysisFixtures, LibraryFixtureTwoProgramsPrefersTheProgramWithVideo) {
    // Program 101 carries MPEG-2 video and German MP2, the later program 102
    // only French MP2. Taking the last PMT would drop the video and stop the
    // analysis at the video step; the program with video is taken instead.
    ASSERT_TRUE(AnalyseLib("two_programs.ts")) << host.All();
    EXPECT_TRUE(host.Has("PES WARNING: More than 1 PMT found, selecting last one with video"));
    EXPECT_EQ(host.Count("PES WARNING: More than 1 PMT found"), 1);
    CheckAgainstFfprobe("lib_two_programs", 101);
    EXPECT_EQ(engine->Selection().Pmt().ProgramNumber(), 101);
    EXPECT_EQ(engine->Selection().Pmt().PID(), 0x400);
    EXPECT_EQ(engine->Selection().Pmt().PcrPid(), 0x500);
    const TAnalysisTables& t = engine->Tables();
    EXPECT_TRUE(t.IsSelectedPid(0x500));
    EXPECT_TRUE(t.IsSelectedPid(0x501));
    EXPECT_FALSE(t.IsSelectedPid(0x502)); // the other program's audio
    EXPECT_TRUE(host.Has("TS  WARNING: Stream PID $0502 (MPEG1 Audio) of program 102 is not carried into the cleaned "
                         "stream!"))
        << host.All();
    EXPECT_TRUE(t.IdentifiedStreamMissing());
    EXPECT_EQ(t.Audio[0].Language, "deu");
    EXPECT_EQ(t.Audio[1].Pid, 0); // no second audio slot
}

} // namespace
} // namespace tw::test
