// Streams whose table entry does not say what they carry: audio written as
// private data without a descriptor (as receivers do) or under a user-private
// stream type, and text streams of every kind. What the packets are decides,
// the settings drop only what a descriptor names, and every stream a setting
// drops is named in the log.
#include "CleaningTestSupport.h"

#include "analysis/TableSelection.h"
#include "tests/support/EsBuilder.h"
#include "ts/TSPmtReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace tw;
using namespace tw::cleantest;

namespace {

// One PES per 40 ms frame on a PID: its stream_id and elementary bytes.
struct TExtra {
    int Pid;
    int StreamId;
    Bytes Es;
};

// MPEG-2-typed video with the PCR on $0101 and the given streams, each
// frame a PES on every extra PID, PAT and PMT every 25 frames.
std::string Build(const std::vector<test::PmtStream>& streams, const std::vector<TExtra>& extras, Cleanup& cleanup,
                  const std::string& tag)
{
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; s.PacketCount() < 3000; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, streams);
        }
        Bytes video(1500, 0x11);
        video[0] = 0;
        video[1] = 0;
        video[2] = 1;
        video[3] = 0xB3;
        s.AddPes(0x101, test::PesPacket(0xE0, video, pts), (pts - 9000) * 300);
        for (const TExtra& x : extras)
            s.AddPes(x.Pid, test::PesPacket(x.StreamId, x.Es, pts));
        pts += 3600;
    }
    const std::string name = TempName(tag);
    s.Save(name);
    cleanup.Files.push_back(name);
    return name;
}

// EBU teletext data units (data identifier 0x10, unit 0x02, length 0x2C).
Bytes TeletextData()
{
    Bytes t(46 * 3 + 1, 0xFF);
    t[0] = 0x10;
    for (size_t u = 0; u < 3; ++u) {
        t[1 + u * 46] = 0x02;
        t[2 + u * 46] = 0x2C;
        t[3 + u * 46] = 0xE4;
    }
    return t;
}

} // namespace

TEST(PrivateStreams, MpegAudioDeclaredAsPrivateDataIsTheProgramsSound)
{
    // Video and one MPEG audio stream that the PMT gives as private data
    // with no descriptor at all: it is audio in every respect, and "No
    // Teletext" (on by default) cannot touch it.
    Cleanup cleanup;
    const std::string in =
        Build({{2, 0x101, {}}, {6, 0x102, {}}}, {{0x102, 0xC0, MpegAudioFrames()}}, cleanup, "pd_mpa");
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    EXPECT_TRUE(HasLine("PMT entry for $0102 (stream type 6) carries MPEG1 Audio: taken as audio stream")) << AllLog();
    ASSERT_EQ(t.Audio[0].Pid, 0x102);
    EXPECT_EQ(t.Audio[0].Kind, akMpeg);
    EXPECT_EQ(t.Text[0].Pid, 0);
    EXPECT_TRUE(t.IsSelectedPid(0x102));
    EXPECT_EQ(road.engine->AudioPanel(0).Title, "MPEG");
    EXPECT_EQ(road.engine->AudioPanel(0).LayerCheck, "TS,PES");
    EXPECT_TRUE(HasLine("Audio stream 1: MPEG1 Audio")) << AllLog();
    // The last kept audio stream stays.
    EXPECT_EQ(road.engine->ToggleAudioStream(0), 1);

    const std::string out = TempName("pd_mpa_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const OutputCheck c = CheckOutput(out);
    EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x101, 0x102}));
    // Hand-counted: every audio packet of the recording reaches the copy.
    EXPECT_EQ(c.PacketsPerPid.count(0x102) ? c.PacketsPerPid.at(0x102) : 0, PacketsPerPidOf(in).at(0x102));
    if (HaveFfmpeg())
        EXPECT_EQ(ProbeCodecTypes(out)[0x102], "audio");
}

TEST(PrivateStreams, Ac3UnderAUserPrivateTypeIsKeptAsAc3)
{
    // AC-3 frames on a PID whose entry has a user-private type the table
    // does not class: its packets say AC-3, so it gets the AC-3 analyser and
    // the details scan instead of being left out of the copy.
    Cleanup cleanup;
    const std::string in = Build({{2, 0x101, {}}, {3, 0x102, {}}, {0x88, 0x103, {}}},
                                 {{0x102, 0xC0, MpegAudioFrames()}, {0x103, 0xBD, test::MakeAc3Frame(0, 0, 2, false)}},
                                 cleanup, "up_ac3");
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    ASSERT_EQ(t.Audio[1].Pid, 0x103) << AllLog();
    EXPECT_EQ(t.Audio[1].Kind, akAC3);
    EXPECT_EQ(t.Audio[1].SampleRate, 48000);
    EXPECT_EQ(t.Audio[1].Mode, "2.0");
    EXPECT_EQ(road.engine->AudioPanel(1).Title, "AC3");
    EXPECT_EQ(road.engine->AudioPanel(1).LayerCheck, "TS,PES,ES");
    EXPECT_EQ(AllLog().find("is not carried"), std::string::npos) << AllLog();
    const std::string out = TempName("up_ac3_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const OutputCheck c = CheckOutput(out);
    EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x101, 0x102, 0x103}));
    EXPECT_EQ(c.PacketsPerPid.count(0x103) ? c.PacketsPerPid.at(0x103) : 0, PacketsPerPidOf(in).at(0x103));
}

TEST(PrivateStreams, TextSettingsDropOnlyWhatADescriptorNamesAndSaySo)
{
    // Teletext and subtitles by their descriptors, and private data of no
    // named kind: "No Teletext" and "No Subtitles" drop the first two, each
    // with its line, and the third stays.
    const std::vector<test::PmtStream> streams = {
        {2, 0x101, {}},
        {3, 0x102, {}},
        {6, 0x103, test::Descriptor(0x56, {'d', 'e', 'u', 0x09, 0x00})},
        {6, 0x104, test::Descriptor(0x59, {'d', 'e', 'u', 0x10, 0x00, 0x01, 0x00, 0x01})},
        {6, 0x105, {}}};
    Bytes subtitles(40, 0xFF);
    subtitles[0] = 0x20;
    subtitles[1] = 0x00;
    subtitles[2] = 0x0F;
    Cleanup cleanup;
    const std::string in = Build(streams,
                                 {{0x102, 0xC0, MpegAudioFrames()},
                                  {0x103, 0xBD, TeletextData()},
                                  {0x104, 0xBD, subtitles},
                                  {0x105, 0xBD, Bytes(60, 0x33)}},
                                 cleanup, "texts");
    Road road;
    road.host.Bools["NoSubtitles"] = true;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    ASSERT_EQ(t.Text[0].Pid, 0x103);
    ASSERT_EQ(t.Text[1].Pid, 0x104);
    ASSERT_EQ(t.Text[2].Pid, 0x105);
    EXPECT_EQ(t.Text[0].Kind, tkTeletext);
    EXPECT_EQ(t.Text[1].Kind, tkSubtitles);
    EXPECT_EQ(t.Text[2].Kind, tkOther);
    EXPECT_EQ(road.engine->TextPanel(2).Title, "Text");
    EXPECT_TRUE(HasLine("Text stream 1: Teletext PID $0103 will not be imported (setting \"No Teletext\")"))
        << AllLog();
    EXPECT_TRUE(HasLine("Text stream 2: Subtitles PID $0104 will not be imported (setting \"No Subtitles\")"));
    EXPECT_EQ(CountOccurrences(AllLog(), "will not be imported"), 2);
    EXPECT_FALSE(t.IsSelectedPid(0x103));
    EXPECT_FALSE(t.IsSelectedPid(0x104));
    EXPECT_TRUE(t.IsSelectedPid(0x105));
    EXPECT_EQ(road.engine->TextPanel(0).ToggleState, 2);
    EXPECT_EQ(road.engine->TextPanel(2).ToggleState, 1);

    const std::string out = TempName("texts_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const OutputCheck c = CheckOutput(out);
    EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x101, 0x102, 0x105}));
    EXPECT_EQ(c.Pids.count(0x103) + c.Pids.count(0x104), 0u);
    EXPECT_EQ(c.PacketsPerPid.count(0x105) ? c.PacketsPerPid.at(0x105) : 0, PacketsPerPidOf(in).at(0x105));
}

TEST(PrivateStreams, WithTheSettingsOffEveryTextStreamIsCopied)
{
    const std::vector<test::PmtStream> streams = {
        {2, 0x101, {}}, {3, 0x102, {}}, {6, 0x103, test::Descriptor(0x56, {'d', 'e', 'u', 0x09, 0x00})}};
    Cleanup cleanup;
    const std::string in = Build(streams, {{0x102, 0xC0, MpegAudioFrames()}, {0x103, 0xBD, TeletextData()}},
                                 cleanup, "texts_kept");
    Road road;
    road.host.Bools["NoTeletext"] = false;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_TRUE(road.engine->Tables().IsSelectedPid(0x103));
    EXPECT_EQ(CountOccurrences(AllLog(), "will not be imported"), 0);
}
