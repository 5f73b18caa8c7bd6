// Decisions of the analysis and the cleaning pass that change the bytes
// written or the result shown: the program table's repairs, the AC-3 scans,
// the ways a pass ends early, and the counts the stream handlers keep.
#include "CleaningTestSupport.h"

#include "analysis/CleaningChain.h"
#include "analysis/MainTexts.h"
#include "analysis/PesHandlers.h"
#include "analysis/TableSelection.h"
#include "base/Exceptions.h"
#include "tests/support/EsBuilder.h"
#include "ts/TSAC3Reader.h"
#include "ts/TSPacketReader.h"

#include <gtest/gtest.h>

#include <regex>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>

using namespace tw;
using namespace tw::cleantest;

namespace {

int CountLinesStartingWith(const std::string& head)
{
    int n = 0;
    for (const std::string& l : LogLines())
        n += l.rfind(head, 0) == 0 ? 1 : 0;
    return n;
}

// Stream type per PID and the PCR PID of the first whole PMT section of an
// output (on the PMT PID its PAT names).
struct TPmtView {
    int PcrPid = -1;
    std::map<int, int> Types;
};

TPmtView FirstPmtOf(const std::string& file)
{
    TPmtView v;
    const Bytes b = ReadFile(file);
    const int pmtPid = CheckOutput(file).PmtPid;
    for (size_t i = 0; i + 188 <= b.size(); i += 188) {
        const uint8_t* p = b.data() + i;
        if (Pid(p) != pmtPid || !(p[1] & 0x40))
            continue;
        const int s = PacketPayloadStart(p);
        if (s < 0)
            continue;
        const uint8_t* t = p + s + 1 + p[s];
        const int len = ((t[1] & 0x0F) << 8) | t[2];
        if (t + 3 + len > p + 188)
            continue; // spans packets: not needed here
        v.PcrPid = ((t[8] & 0x1F) << 8) | t[9];
        const int infoLen = ((t[10] & 0x0F) << 8) | t[11];
        for (int q = 12 + infoLen; q + 5 <= len + 3 - 4;) {
            v.Types[((t[q + 1] & 0x1F) << 8) | t[q + 2]] = t[q];
            q += 5 + (((t[q + 3] & 0x0F) << 8) | t[q + 4]);
        }
        break;
    }
    return v;
}

// A video frame's PES on $0101 (a sequence header's start code, then
// filler), the PCR 100 ms before its PTS.
void AddVideoFrame(test::TsStream& s, int64_t pts)
{
    Bytes es(1500, 0x11);
    es[0] = 0;
    es[1] = 0;
    es[2] = 1;
    es[3] = 0xB3;
    s.AddPes(0x101, test::PesPacket(0xE0, es, pts), (pts - 9000) * 300);
}

// MPEG-2-typed video on $0101 with the PCR, 40 ms a frame, and one audio
// PES per frame on $0102 that `audio` makes for the frame's number and PTS.
test::TsStream VideoAndAudio(size_t packets, int pcrPid, const std::vector<test::PmtStream>& streams,
                             const std::function<Bytes(int frame, int64_t pts)>& audio, int tablesEvery = 25)
{
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; s.PacketCount() < packets; ++k) {
        if (k % tablesEvery == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, pcrPid, streams);
        }
        AddVideoFrame(s, pts);
        s.AddPes(0x102, audio(k, pts));
        pts += 3600;
    }
    return s;
}

// One AC-3 frame of 48 kHz and 32 kbit/s (128 bytes: its PES fits one
// packet), stereo or 3/2 with LFE.
Bytes Ac3Frame(int acmod)
{
    return test::MakeAc3Frame(0, 0, acmod, acmod == 7);
}

const std::vector<test::PmtStream> kAc3Streams = {{2, 0x101, {}}, {6, 0x102, test::Descriptor(0x6A, {0})}};

std::string Save(const test::TsStream& s, const std::string& tag, Cleanup& cleanup)
{
    const std::string name = TempName(tag);
    s.Save(name);
    cleanup.Files.push_back(name);
    return name;
}

std::string OutputName(const std::string& tag, Cleanup& cleanup)
{
    const std::string out = TempName(tag);
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    return out;
}

} // namespace

// ---------------------------------------------------------------------------
// The program table

TEST(ProgramTable, PmtWithoutVideoGetsTheH264StreamPatchedToType27WithAWarning)
{
    // A real H.264 recording whose PMT calls the video stream private data.
    Bytes b = ReadFile(DataFile("h264_ac3.ts"));
    ASSERT_FALSE(b.empty());
    const int pmtPid = CheckOutput(DataFile("h264_ac3.ts")).PmtPid;
    ASSERT_GT(pmtPid, 0);
    int patched = 0;
    for (size_t i = 0; i + 188 <= b.size(); i += 188) {
        uint8_t* p = b.data() + i;
        if (Pid(p) != pmtPid || !(p[1] & 0x40))
            continue;
        const int s = PacketPayloadStart(p);
        uint8_t* t = p + s + 1 + p[s];
        const int len = ((t[1] & 0x0F) << 8) | t[2];
        const int infoLen = ((t[10] & 0x0F) << 8) | t[11];
        for (int q = 12 + infoLen; q + 5 <= len + 3 - 4; q += 5 + (((t[q + 3] & 0x0F) << 8) | t[q + 4]))
            if ((((t[q + 1] & 0x1F) << 8) | t[q + 2]) == 0x300 && t[q] == 0x1B) {
                t[q] = 0x06;
                ++patched;
            }
        const uint32_t crc = Crc32Mpeg(t, 0xFFFFFFFFu, len - 1);
        t[len - 1] = static_cast<uint8_t>(crc >> 24);
        t[len] = static_cast<uint8_t>(crc >> 16);
        t[len + 1] = static_cast<uint8_t>(crc >> 8);
        t[len + 2] = static_cast<uint8_t>(crc);
    }
    ASSERT_GT(patched, 0);
    Cleanup cleanup;
    const std::string in = TempName("novideo");
    cleanup.Files.push_back(in);
    WriteFile(in, b);
    const std::string out = OutputName("novideo_out", cleanup);

    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_TRUE(HasLine("No video stream in PMT!")) << AllLog();
    EXPECT_TRUE(HasLine("Starting video stream search!"));
    EXPECT_TRUE(HasLine("Video stream found: PID $0300"));
    EXPECT_EQ(CountLinesStartingWith("Patched PMT entry for $0300 to stream type 27: "), 1) << AllLog();
    const auto warning = std::find_if(road.host.Messages.begin(), road.host.Messages.end(),
                                      [](const auto& m) { return m.first == TMessageKind::Warning; });
    ASSERT_NE(warning, road.host.Messages.end());
    EXPECT_EQ(warning->second,
              "No video stream in PMT found!\rA H264 video stream was detected and the PMT was patched!");

    // The copy's PMT names the video as H.264, and a decoder finds it.
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const TPmtView pmt = FirstPmtOf(out);
    ASSERT_EQ(pmt.Types.count(0x300), 1u);
    EXPECT_EQ(pmt.Types.at(0x300), 0x1B);
    if (HaveFfmpeg())
        EXPECT_NE(Probe(out, "stream=codec_name").find("codec_name=h264"), std::string::npos);
}

TEST(ProgramTable, PcrPidWithoutPcrIsMovedToTheVideo)
{
    // The PMT names the audio PID as the clock's, but the video carries it.
    Cleanup cleanup;
    const std::string in = Save(VideoAndAudio(2000, 0x102, {{2, 0x101, {}}, {3, 0x102, {}}},
                                              [](int, int64_t pts) {
                                                  return test::PesPacket(0xC0, Bytes(300, 0x22), pts);
                                              }),
                                "pcrpid", cleanup);
    const std::string out = OutputName("pcrpid_out", cleanup);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_TRUE(HasLine("PCR entry in PMT invalid (No PCR infos found for PID $0102) !!!")) << AllLog();
    EXPECT_TRUE(HasLine("Change PCR entry in PMT to PID $0101!"));
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    EXPECT_EQ(FirstPmtOf(out).PcrPid, 0x101);
    // The clock the copy names is there.
    int pcrs = 0;
    const Bytes b = ReadFile(out);
    for (size_t i = 0; i + 188 <= b.size(); i += 188) {
        int64_t pcr;
        if (ReadPacketPcr(b.data() + i, pcr)) {
            EXPECT_EQ(Pid(b.data() + i), 0x101);
            ++pcrs;
        }
    }
    EXPECT_GT(pcrs, 10);
}

TEST(ProgramTable, SelectingAPmtThatIsNotWhereItWasSeenFails)
{
    // One PMT packet with a broken CRC among good ones: its section is no
    // PMT the reader accepts, so it is not found at its position.
    test::TsStream s = VideoAndAudio(1500, 0x101, {{2, 0x101, {}}, {3, 0x102, {}}}, [](int, int64_t pts) {
        return test::PesPacket(0xC0, Bytes(300, 0x22), pts);
    });
    s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}, {3, 0x102, {}}}, 0, true);
    const size_t broken = s.PacketCount() - 1;
    Cleanup cleanup;
    const std::string in = Save(s, "pmtcrc", cleanup);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    ClearLog();
    TTableSelection& sel = road.engine->Selection();
    EXPECT_FALSE(sel.SelectPmt(0x100, 1, static_cast<int64_t>(broken)));
    EXPECT_TRUE(HasLine("PMT not found!")) << AllLog();
    EXPECT_FALSE(HasLine("CRC OK!"));
    // A video packet's position holds no PMT either.
    ClearLog();
    EXPECT_FALSE(sel.SelectPmt(0x100, 1, 3));
    EXPECT_TRUE(HasLine("PMT not found!"));
    // The first PMT (packet 1) is found, and its CRC checks.
    ClearLog();
    EXPECT_TRUE(sel.SelectPmt(0x100, 1, 1));
    EXPECT_TRUE(HasLine("CRC OK!")) << AllLog();
    EXPECT_FALSE(HasLine("CRC error!"));
}

// ---------------------------------------------------------------------------
// The AC-3 scans

// 37,000 packets: the sample points of the AC-3 scan lie at packet 0 and at
// (37,000 - 30,000) / 7 * k - 100 = 900, 1,900, ... 5,900; each point samples
// the frame that the packet number the recording has reached chooses.
test::TsStream Ac3VoteRecording(const std::function<int(size_t)>& acmodAt)
{
    test::TsStream s;
    s.AddPat({{1, 0x100}});
    s.AddPmt(0x100, 1, 0x101, kAc3Streams);
    int64_t pts = 900000;
    for (int k = 1; s.PacketCount() < 37000; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, kAc3Streams);
        }
        AddVideoFrame(s, pts);
        s.AddPes(0x102, test::PesPacket(0xBD, Ac3Frame(acmodAt(s.PacketCount())), pts));
        pts += 3600;
    }
    return s;
}

TEST(Ac3Details, SevenSamplesVoteForTheMostCommonChannelCount)
{
    // Stereo frames up to packet 1,400 (points 0 and 1), 3/2 with LFE after
    // it (points 2 to 6): five votes for six channels against two for two.
    Cleanup cleanup;
    const std::string in =
        Save(Ac3VoteRecording([](size_t at) { return at < 1400 ? 2 : 7; }), "ac3vote", cleanup);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    ASSERT_EQ(t.Audio[0].Pid, 0x102);
    EXPECT_TRUE(t.Audio[0].MixedTypes);
    EXPECT_EQ(t.Audio[0].Mode, "5.1");
    EXPECT_EQ(t.Audio[0].BitRate, 32);
    EXPECT_EQ(t.Audio[0].SampleRate, 48000);
    EXPECT_TRUE(HasLine("$0102 2 different AC3 types detected! ")) << AllLog();
    EXPECT_TRUE(HasLine("$0102 selecting AC3 type with mode " + t.Audio[0].Mode));
    // The stream_id is the DVB one: no question.
    EXPECT_EQ(std::count_if(road.host.Questions.begin(), road.host.Questions.end(),
                            [](const std::string& q) { return q.find("AC3 StreamID") != std::string::npos; }),
              0);
}

TEST(Ac3Details, OfEqualVotesTheMoreChannelsWin)
{
    // Three stereo points (0 to 1,900), three 3/2 with LFE (2,900 to 4,900)
    // and one mono (5,900): stereo and six channels tie at three votes, and
    // the higher channel count is taken, whichever came first.
    Cleanup cleanup;
    const std::string in = Save(
        Ac3VoteRecording([](size_t at) { return at < 2400 ? 2 : at < 5400 ? 7 : 1; }), "ac3tie", cleanup);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    ASSERT_EQ(t.Audio[0].Pid, 0x102);
    EXPECT_TRUE(t.Audio[0].MixedTypes);
    EXPECT_EQ(t.Audio[0].Mode, "5.1") << AllLog();
    EXPECT_TRUE(HasLine("$0102 3 different AC3 types detected! ")) << AllLog();
}

TEST(Ac3Details, AnAgreeingStreamLogsNoVote)
{
    Cleanup cleanup;
    const std::string in = Save(VideoAndAudio(3000, 0x101, kAc3Streams,
                                              [](int, int64_t pts) { return test::PesPacket(0xBD, Ac3Frame(2), pts); }),
                                "ac3same", cleanup);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    EXPECT_FALSE(t.Audio[0].MixedTypes);
    EXPECT_EQ(TTSAC3Reader::ChannelsFromAudioMode(t.Audio[0].Mode), 2);
    EXPECT_EQ(AllLog().find("different AC3 types"), std::string::npos);
}

TEST(Ac3Details, TheStreamIdQuestionMakesThePatchAndTheCopyCarriesIt)
{
    // AC-3 in PES packets with the MPEG audio stream_id.
    Cleanup cleanup;
    const std::string in = Save(VideoAndAudio(3000, 0x101, kAc3Streams,
                                              [](int, int64_t pts) { return test::PesPacket(0xC0, Ac3Frame(2), pts); }),
                                "ac3sid", cleanup);
    for (bool agree : {true, false}) {
        Road road;
        road.host.Answers[TAnalysisQuestion::Ac3StreamId] = agree;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        EXPECT_EQ(std::count_if(road.host.Questions.begin(), road.host.Questions.end(),
                                [](const std::string& q) {
                                    return q == "AC3 StreamID has not the correct value\rFor DVB streams the StreamID "
                                                "of AC should be $BD\rDo you want the StreamID to be corrected?";
                                }),
                  1);
        TAnalysisTables& t = road.engine->Tables();
        const int e = t.FindPatchEntry(0x102, PATCH_KIND_STREAM_ID);
        if (agree) {
            ASSERT_GE(e, 0);
            EXPECT_EQ(t.Patches[e].OldValue, 0xC0);
            EXPECT_EQ(t.Patches[e].NewValue, 0xBD);
            EXPECT_TRUE(HasLine("Audio stream 1: Patch StreamID from $C0 to $BD !")) << AllLog();
        } else {
            EXPECT_LT(e, 0);
            EXPECT_TRUE(HasLine("Audio stream 1: Ignore AC3 StreamID $C0<> $BD !")) << AllLog();
        }
        const std::string out = OutputName(agree ? "ac3sid_yes" : "ac3sid_no", cleanup);
        EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
        // Every audio PES of the copy starts with the stream_id chosen.
        const Bytes b = ReadFile(out);
        int starts = 0;
        for (size_t i = 0; i + 188 <= b.size(); i += 188) {
            const uint8_t* p = b.data() + i;
            if (Pid(p) != 0x102 || !(p[1] & 0x40))
                continue;
            ++starts;
            EXPECT_EQ(p[PacketPayloadStart(p) + 3], agree ? 0xBD : 0xC0);
        }
        EXPECT_GT(starts, 100);
        if (agree)
            EXPECT_EQ(t.Patches[e].PatchedCount, starts);
    }
}

// A PES start sent twice in a row (as the standard allows) gets the stream_id
// patch in both sendings: a repeat left with the old value differs from the
// packet it repeats, is then no repeat to the counter repair, and the repair
// renumbered it and every later packet of the stream.
TEST(Ac3Details, ARepeatedPesStartCarriesTheStreamIdPatchAndKeepsItsCounter)
{
    Cleanup cleanup;
    const std::string built = Save(VideoAndAudio(3000, 0x101, kAc3Streams,
                                                 [](int, int64_t pts) { return test::PesPacket(0xC0, Ac3Frame(2), pts); }),
                                   "ac3sid_built", cleanup);
    const Bytes plain = ReadFile(built);
    Bytes in;
    int repeats = 0, audioSeen = 0;
    for (size_t i = 0; i + 188 <= plain.size(); i += 188) {
        in.insert(in.end(), plain.begin() + static_cast<long>(i), plain.begin() + static_cast<long>(i + 188));
        if (Pid(plain.data() + i) == 0x102 && ++audioSeen % 20 == 5) {
            in.insert(in.end(), plain.begin() + static_cast<long>(i), plain.begin() + static_cast<long>(i + 188));
            ++repeats;
        }
    }
    ASSERT_GT(repeats, 5);
    const std::string name = TempName("ac3sid_repeats");
    WriteFile(name, in);
    cleanup.Files.push_back(name);
    Road road;
    road.host.Answers[TAnalysisQuestion::Ac3StreamId] = true;
    ASSERT_TRUE(road.Analyse(name)) << AllLog();
    const std::string out = OutputName("ac3sid_repeats_out", cleanup);
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    EXPECT_EQ(CountOccurrences(AllLog(), "Starting correction of TS packet ContinuityCounter"), 0) << AllLog();
    // The copy's audio: the input's packets, counters included, with the
    // stream_id patched in every one.
    const Bytes b = ReadFile(out);
    std::vector<Bytes> want, got;
    for (size_t i = 0; i + 188 <= in.size(); i += 188)
        if (Pid(in.data() + i) == 0x102) {
            Bytes p(in.begin() + static_cast<long>(i), in.begin() + static_cast<long>(i + 188));
            p[static_cast<size_t>(PacketPayloadStart(p.data()) + 3)] = 0xBD;
            want.push_back(p);
        }
    for (size_t i = 0; i + 188 <= b.size(); i += 188)
        if (Pid(b.data() + i) == 0x102)
            got.emplace_back(b.begin() + static_cast<long>(i), b.begin() + static_cast<long>(i + 188));
    ASSERT_EQ(got.size(), want.size());
    size_t changed = 0;
    for (size_t i = 0; i < got.size(); ++i)
        changed += got[i] != want[i];
    EXPECT_EQ(changed, 0u);
}

// ---------------------------------------------------------------------------
// How a pass ends

namespace {

// A host whose bandwidth meter fails part-way through the pass, as any call
// out of the loop may.
// The program's own exceptions know the code that raised them; this one is
// raised in a function of its own, so the test knows where that code lies.
[[gnu::noinline]] void RaiseMeterGone()
{
    throw Exception("meter gone");
}

class ThrowingHost : public TestHost {
public:
    TAnalysisEngine* Engine = nullptr;
    int ThrowAtSample = 50;
    int64_t ThrownAtPacket = -1;
    bool OwnException = false;
    void MeterSample(int line, int64_t bits) override
    {
        TestHost::MeterSample(line, bits);
        if (++samples_ == ThrowAtSample) {
            ThrownAtPacket = Engine->Chain().Reader().PacketIndex();
            if (OwnException)
                RaiseMeterGone();
            throw std::runtime_error("meter gone");
        }
    }

private:
    int samples_ = 0;
};

} // namespace

TEST(CleaningEnd, AnExceptionInTheLoopFailsWithItsTextAndThePacket)
{
    ThrowingHost host;
    TAnalysisEngine engine(static_cast<IAnalysisHost*>(&host));
    host.Engine = &engine;
    TCleaningPass* pass = new TCleaningPass(&engine, &engine, &host);
    Cleanup cleanup;
    const std::string out = OutputName("throw_out", cleanup);
    ASSERT_TRUE(engine.AnalyseStream(DataFile("cleaning/h264_ac3_cbr.ts")));
    EXPECT_EQ(pass->Run(out), TCleaningResult::Failed);
    ASSERT_GE(host.ThrownAtPacket, 0);
    EXPECT_TRUE(pass->TerminateRequested());
    EXPECT_FALSE(pass->Running());
    ASSERT_FALSE(host.Sounds.empty());
    EXPECT_EQ(host.Sounds.back(), "ERROR");
    ASSERT_FALSE(host.Messages.empty());
    const std::string where = "TS paket: $" + IntToHex(host.ThrownAtPacket, 8);
    const std::string& message = host.Messages.back().second;
    EXPECT_EQ(host.Messages.back().first, TMessageKind::Error);
    EXPECT_NE(message.find("meter gone"), std::string::npos) << message;
    EXPECT_NE(message.find("\r\n" + where), std::string::npos) << message;
    // Class, message and the address the exception came from.
    const std::string first = message.substr(0, message.find("\r\n"));
    EXPECT_TRUE(std::regex_match(first, std::regex("Exception: meter gone @ \\(Address \\$[0-9A-F]{8}\\)"))) << first;
    for (const auto& m : host.Messages)
        EXPECT_EQ(m.second.find("successfully"), std::string::npos);
    // The log ends with the program, the exception and the packet, and is
    // saved beside the output.
    const std::vector<std::string> lines = LogLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "");
    EXPECT_EQ(lines[lines.size() - 3], "Tarnwick test");
    EXPECT_EQ(lines[lines.size() - 2], first);
    EXPECT_EQ(lines.back(), where);
    const Bytes log = ReadFile(ChangeFileExt(out, ".log"));
    EXPECT_NE(std::string(log.begin(), log.end()).find(where), std::string::npos);
}

TEST(CleaningEnd, TheProgramsOwnExceptionNamesTheAddressThatRaisedIt)
{
    ThrowingHost host;
    host.OwnException = true;
    TAnalysisEngine engine(static_cast<IAnalysisHost*>(&host));
    host.Engine = &engine;
    TCleaningPass* pass = new TCleaningPass(&engine, &engine, &host);
    Cleanup cleanup;
    const std::string out = OutputName("throw_own_out", cleanup);
    ASSERT_TRUE(engine.AnalyseStream(DataFile("cleaning/h264_ac3_cbr.ts")));
    EXPECT_EQ(pass->Run(out), TCleaningResult::Failed);
    ASSERT_FALSE(host.Messages.empty());
    const std::string& message = host.Messages.back().second;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(message, m, std::regex("^Exception: meter gone @ \\(Address \\$([0-9A-F]{8})\\)\r\n")))
        << message;
    // Eight digits: the low 32 bits of the address, which lies inside the
    // raising function's code.
    const uint32_t shown = static_cast<uint32_t>(std::stoul(m[1].str(), nullptr, 16));
    const uint32_t function = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&RaiseMeterGone));
    EXPECT_LT(shown - function, 0x400u) << std::hex << shown << " " << function;
}

TEST(CleaningEnd, APmtTooLargeToRebuildFailsBeforeAnythingIsWritten)
{
    // A stream of private sections with 1,530 bytes of user-private descriptors: the analysis
    // takes its entry out of the PMT (neither video, audio nor text), the
    // user ticks it in the preserve list, and the PMT with it back needs more
    // packets than a rebuilt PMT may have.
    Bytes info;
    for (int i = 0; i < 6; ++i)
        info = test::Concat({info, test::Descriptor(0xE0 + i, Bytes(253, static_cast<uint8_t>(i)))});
    const test::TsStream s = test::SmallProgram({{2, 0x101, {}}, {3, 0x102, {}}, {0x05, 0x104, info}}, 0x104,
                                                [](int64_t) { return test::PesPacket(0xBF, Bytes(150, 0x33)); });
    Cleanup cleanup;
    const std::string in = Save(s, "bigpmt", cleanup);
    const std::string out = OutputName("bigpmt_out", cleanup);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    ASSERT_FALSE(road.engine->Tables().IsSelectedPid(0x104));
    TPreserveList& list = road.pass->PreserveList;
    FillPreserveList(*road.engine, list);
    for (int i = 0; i < list.Count(); ++i)
        list.Item(i).Checked = list.Item(i).Text.rfind("$0104", 0) == 0;
    EXPECT_EQ(road.Clean(out), TCleaningResult::Failed) << AllLog();
    EXPECT_TRUE(HasLine("Restoring PMT entry for $0104")) << AllLog();
    EXPECT_TRUE(HasLine("Problem creating modified PMT"));
    EXPECT_TRUE(HasLine("New PMT would be too large!"));
    EXPECT_TRUE(HasLine("---------- ABORTED ----------"));
    EXPECT_EQ(road.host.Sounds.back(), "STREAMCLEANINGFAILED");
    EXPECT_EQ(road.host.Messages.back().second.rfind("Process aborted with errors!", 0), 0u);
    for (const auto& m : road.host.Messages)
        EXPECT_EQ(m.second.find("successfully"), std::string::npos);
    // Nothing of the recording was written.
    EXPECT_EQ(ReadFile(out).size(), 0u);
    EXPECT_FALSE(road.pass->State.Started);
}

TEST(CleaningEnd, AnMpeg2BufferOverflowStopsThePassAsFailed)
{
    // One picture start code and then 2.2 MB of video without another start
    // code: the MPEG-2 analyser's buffer overflows part-way.
    test::TsStream s;
    int64_t pts = 900000;
    size_t videoBytes = 0;
    for (int k = 0; s.PacketCount() < 16000; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}, {3, 0x102, {}}});
        }
        Bytes es(20000, 0x11);
        if (k == 0) {
            es = test::Concat({test::Mpeg2SequenceHeader(720, 576, 2, 3), test::Mpeg2PictureHeader(), es});
        }
        videoBytes += es.size();
        s.AddPes(0x101, test::PesPacket(0xE0, es, pts), (pts - 9000) * 300);
        s.AddPes(0x102, test::PesPacket(0xC0, Bytes(300, 0x22), pts));
        pts += 3600;
    }
    ASSERT_GT(videoBytes, 2100000u);
    Cleanup cleanup;
    const std::string in = Save(s, "m2over", cleanup);
    const std::string out = OutputName("m2over_out", cleanup);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const int video = road.pass->VideoPid();
    ASSERT_EQ(video, 0x101);
    EXPECT_EQ(road.Clean(out), TCleaningResult::Failed) << AllLog();
    EXPECT_EQ(CountLinesStartingWith("ES  ERROR: MPEG2 buffer overflow error at paket $"), 1) << AllLog();
    EXPECT_EQ(road.host.Sounds.back(), "STREAMCLEANINGFAILED");
    EXPECT_EQ(road.host.Messages.back().second.rfind("Process aborted with errors!", 0), 0u);
    EXPECT_TRUE(HasLine("---------- ABORTED ----------"));
    const TAnalysisTables& t = road.engine->Tables();
    EXPECT_GE(t.PidRecords[t.PidRecordIndex(video)].Errors, 1);
    // The loop was left there: the rest of the recording was not read.
    EXPECT_LT(road.pass->State.BytesPassed, static_cast<int64_t>(s.PacketCount() - 1000) * 188);
}

TEST(CleaningEnd, TrailingFillPacketsEndThePassAndAreNotWritten)
{
    const test::TsStream plain = VideoAndAudio(1500, 0x101, {{2, 0x101, {}}, {3, 0x102, {}}}, [](int, int64_t pts) {
        return test::PesPacket(0xC0, Bytes(300, 0x22), pts);
    });
    test::TsStream filled = plain;
    const size_t realPackets = filled.PacketCount();
    const int fill = 40;
    for (int i = 0; i < fill; ++i) {
        test::TsPacketOptions o;
        o.pid = 0;
        o.payload = Bytes(184, 0xFF);
        o.padWithAdaptation = false;
        filled.Add(o);
    }
    Cleanup cleanup;
    const std::string inPlain = Save(plain, "fill_plain", cleanup);
    const std::string inFilled = Save(filled, "fill_filled", cleanup);
    const std::string outPlain = OutputName("fill_plain_out", cleanup);
    const std::string outFilled = OutputName("fill_filled_out", cleanup);
    {
        Road road;
        ASSERT_TRUE(road.Analyse(inPlain)) << AllLog();
        ASSERT_EQ(road.Clean(outPlain), TCleaningResult::Success) << AllLog();
    }
    Road road;
    ASSERT_TRUE(road.Analyse(inFilled)) << AllLog();
    EXPECT_EQ(road.engine->Tables().FillPacketsAtEnd, fill);
    EXPECT_EQ(road.Clean(outFilled), TCleaningResult::Success) << AllLog();
    const std::string ending = "Ending at paket $" + IntToHex(static_cast<int64_t>(realPackets), 8) + " PCR: ";
    EXPECT_EQ(CountLinesStartingWith(ending), 1) << AllLog();
    EXPECT_TRUE(HasLine("Cutted pakets at the end: " + IntToStr(fill)));
    // The copy is the copy of the recording without them.
    EXPECT_EQ(ReadFile(outFilled), ReadFile(outPlain));
}

// ---------------------------------------------------------------------------
// The stream handlers' counts

TEST(CleaningCounts, DamagedAc3AndScrambledPacketsAreCountedOnTheirPid)
{
    // Stereo AC-3 turning 3/2 with LFE at frame 150; frames 40, 80 and 120
    // with a broken CRC; the audio packets of frames 200 to 204 scrambled.
    std::map<int, size_t> audioPacketOfFrame;
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; k < 300; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, kAc3Streams);
        }
        AddVideoFrame(s, pts);
        Bytes frame = Ac3Frame(k < 150 ? 2 : 7);
        if (k == 40 || k == 80 || k == 120)
            frame[60] ^= 0x21;
        audioPacketOfFrame[k] = s.PacketCount();
        s.AddPes(0x102, test::PesPacket(0xBD, frame, pts));
        pts += 3600;
    }
    const int scrambled = 5;
    for (int k = 200; k < 200 + scrambled; ++k)
        s.SetScrambled(audioPacketOfFrame[k]);
    Cleanup cleanup;
    const std::string in = Save(s, "counts", cleanup);
    const std::string out = OutputName("counts_out", cleanup);

    Road road; // scrambled packets: skipped (the question answered Yes)
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    const int audio = t.PidRecordIndex(0x102), video = t.PidRecordIndex(0x101);
    ASSERT_GE(audio, 0);
    ASSERT_GE(video, 0);
    const int64_t audioErrorsBefore = t.PidRecords[audio].Errors;
    const int64_t audioWarningsBefore = t.PidRecords[audio].Warnings;
    const int64_t videoErrorsBefore = t.PidRecords[video].Errors;
    ClearLog();
    EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
    const std::string log = AllLog();

    // Three CRC errors, each a line and an error of the audio PID.
    EXPECT_EQ(CountLinesStartingWith("ES  ERROR: For PID 0102 "), 3) << log;
    EXPECT_EQ(CountOccurrences(log, " has AC3 Crc error"), 3);
    // One change of the audio properties: a warning.
    EXPECT_EQ(CountLinesStartingWith("ES  WARNING: For PID 0102 AC3 properties changed at "), 1) << log;
    EXPECT_EQ(t.PidRecords[audio].Warnings - audioWarningsBefore, 1);
    // Each skipped scrambled packet is one error of its PID: the reader
    // reports it, and the pass drops it without counting it again.
    EXPECT_EQ(t.PidRecords[audio].Errors - audioErrorsBefore, 3 + scrambled);
    EXPECT_EQ(t.PidRecords[video].Errors, videoErrorsBefore);
    EXPECT_TRUE(HasLine("Scrambled pakets : " + IntToStr(scrambled))) << log;
    EXPECT_TRUE(HasLine("Discarded invalid pakets : " + IntToStr(scrambled)));
    // Skipped by the user's choice: no invalid-packet line for them.
    EXPECT_EQ(log.find("TS  ERROR: Invalid paket $"), std::string::npos);
    // The gap they leave: one discontinuity warning, and the writer renumbers
    // the packets after it, starting with the first audio packet after them.
    EXPECT_EQ(CountLinesStartingWith("TS  WARNING: For PID 0102 $"), 1) << log;
    const size_t after = audioPacketOfFrame[200 + scrambled];
    const int ccAfter = s.Packet(after)[3] & 15;
    EXPECT_TRUE(HasLine("Starting correction of TS packet ContinuityCounter for PID 0102 $" +
                        IntToHex(static_cast<int64_t>(after), 8) + ": " + IntToStr(ccAfter) + " to " +
                        IntToStr((ccAfter + 16 - scrambled) & 15)))
        << log;
    // The copy: no scrambled packet, continuous counters, and as many audio
    // packets as the recording has unscrambled ones.
    const OutputCheck c = CheckOutput(out);
    EXPECT_EQ(c.ContinuityErrors, 0);
    EXPECT_EQ(c.PacketsPerPid.at(0x102), 300 - scrambled);
    EXPECT_EQ(t.PidRecords[audio].PacketCount, 300 - scrambled);
    const Bytes b = ReadFile(out);
    for (size_t i = 0; i + 188 <= b.size(); i += 188)
        EXPECT_EQ(b[i + 3] & 0xC0, 0) << i / 188;
}

TEST(CleaningCounts, Ac3AndMpeg2HandlersCountOnlyInsideTheCutRange)
{
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("h264_ac3.ts")));
    TPesHandlers handlers(*road.pass);
    TAnalysisTables& t = road.engine->Tables();
    const int audio = t.PidRecordIndex(0x301);
    ASSERT_GE(audio, 0);
    const int64_t errors = t.PidRecords[audio].Errors, warnings = t.PidRecords[audio].Warnings;
    const int64_t first = t.FirstPts;
    ClearLog();
    // Before the cut-in nothing is counted or logged.
    handlers.Ac3CrcError(0, 0x301, first + 90000);
    handlers.Ac3PropertyChange(0x301, first + 90000, "2/0 48kHz", "3/2 48kHz");
    handlers.Ac3BufferOverflow(0x301, 77, first + 90000);
    EXPECT_EQ(t.PidRecords[audio].Errors, errors);
    EXPECT_EQ(t.PidRecords[audio].Warnings, warnings);
    EXPECT_TRUE(LogLines().empty());
    road.pass->State.CutInReached = true;
    handlers.Ac3PropertyChange(0x301, first + 90000, "2/0 48kHz", "3/2 48kHz");
    handlers.Ac3BufferOverflow(0x301, 0x1234, first + 2 * 90000);
    EXPECT_TRUE(HasLine("ES  WARNING: For PID 0301 AC3 properties changed at 00:00:01.000 (2/0 48kHz >>> 3/2 48kHz)"))
        << AllLog();
    EXPECT_TRUE(HasLine("ES  ERROR: For PID 0301 00:00:02.000 AC3 paket $00001234 generated a buffer overflow"));
    EXPECT_EQ(t.PidRecords[audio].Errors, errors + 1);
    EXPECT_EQ(t.PidRecords[audio].Warnings, warnings + 1);
    // Past the cut-out nothing again.
    road.pass->State.CutOutPassed = true;
    handlers.Ac3BufferOverflow(0x301, 0x1235, first);
    EXPECT_EQ(t.PidRecords[audio].Errors, errors + 1);
    // The MPEG-2 overflow fails the pass wherever it happens.
    EXPECT_FALSE(road.pass->State.Failed);
    handlers.Mpeg2BufferOverflow(0x99, 2000010, 2000001);
    EXPECT_TRUE(road.pass->State.Failed);
    EXPECT_TRUE(HasLine("ES  ERROR: MPEG2 buffer overflow error at paket $00000099(2000010>2000001) !"));
}

namespace {

// Counts how often the pass asks for the window's messages.
struct PumpCountingHost : TestHost {
    int Pumps = 0;
    void ProcessMessages() override { ++Pumps; }
};

} // namespace

TEST(CleaningWindow, BrokenPacketsDoNotEachFetchTheWindowsMessages)
{
    // 2,000 scrambled audio packets in a row, each dropped as broken. The
    // window's messages are fetched at most every 20 ms (under Wine each
    // fetch is a round trip to the server), not once per broken packet.
    const int scrambled = 2000;
    std::vector<size_t> audioPackets;
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; k < 2400; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, kAc3Streams);
        }
        AddVideoFrame(s, pts);
        audioPackets.push_back(s.PacketCount());
        s.AddPes(0x102, test::PesPacket(0xBD, Ac3Frame(2), pts));
        pts += 3600;
    }
    for (int k = 200; k < 200 + scrambled; ++k)
        s.SetScrambled(audioPackets[static_cast<size_t>(k)]);
    Cleanup cleanup;
    const std::string in = Save(s, "pumps", cleanup);
    const std::string out = OutputName("pumps_out", cleanup);

    RoadWith<PumpCountingHost> road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    road.host.Pumps = 0;
    const uint64_t t0 = GetTickCount64Ms();
    EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
    const uint64_t ms = GetTickCount64Ms() - t0;
    EXPECT_TRUE(HasLine("Discarded invalid pakets : " + IntToStr(scrambled))) << AllLog();
    // Once at the start, once a 20 ms since, and once each when the
    // progress is first shown and when the pass ends.
    EXPECT_GE(road.host.Pumps, 1);
    EXPECT_LE(road.host.Pumps, static_cast<int>(ms / 20) + 4) << "in " << ms << " ms";
}

TEST(StartEndScan, ScrambledPacketsCountAsErrorsOnlyAtTheEnd)
{
    // 1,100 scrambled audio packets at the end of a short recording, skipped
    // by the user's choice: the start phase (which reads the whole file here)
    // passes over them, the end phase counts them and gives up past 1,000 —
    // once for each PID record it scans.
    test::TsStream s = VideoAndAudio(3000, 0x101, {{2, 0x101, {}}, {3, 0x102, {}}}, [](int, int64_t pts) {
        return test::PesPacket(0xC0, Bytes(300, 0x22), pts);
    });
    int64_t pts = 900000 + 3600 * 1000;
    for (int i = 0; i < 1100; ++i) {
        const size_t at = s.PacketCount();
        s.AddPes(0x102, test::PesPacket(0xC0, Bytes(150, 0x22), pts));
        s.SetScrambled(at);
        pts += 1800;
    }
    Cleanup cleanup;
    const std::string in = Save(s, "endscr", cleanup);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    ASSERT_GT(t.PidRecordCount, 0);
    EXPECT_EQ(CountOccurrences(AllLog(), "Scan aborted (too many errors) !"), t.PidRecordCount) << AllLog();
}

// ---------------------------------------------------------------------------
// The language descriptor

namespace {

// The ISO 639 code of a PID's language descriptor in the first PMT section
// of a copy (one packet), read from its bytes; empty when there is none.
std::string CopiedLanguageOf(const std::string& file, int pid)
{
    const Bytes b = ReadFile(file);
    const int pmtPid = CheckOutput(file).PmtPid;
    for (size_t i = 0; i + 188 <= b.size(); i += 188) {
        const uint8_t* p = b.data() + i;
        if (Pid(p) != pmtPid || !(p[1] & 0x40))
            continue;
        const uint8_t* t = p + 5 + p[4];
        const int len = ((t[1] & 0x0F) << 8) | t[2];
        const int infoLen = ((t[10] & 0x0F) << 8) | t[11];
        for (int q = 12 + infoLen; q + 5 <= len + 3 - 4;) {
            const int esLen = ((t[q + 3] & 0x0F) << 8) | t[q + 4];
            if ((((t[q + 1] & 0x1F) << 8) | t[q + 2]) == pid)
                for (int d = q + 5; d + 5 <= q + 5 + esLen; d += 2 + t[d + 1])
                    if (t[d] == 0x0A)
                        return std::string(reinterpret_cast<const char*>(t + d + 2), 3);
            q += 5 + esLen;
        }
        break;
    }
    return {};
}

} // namespace

TEST(LanguageDescriptor, AChangedCodeAloneShowsTheRecreatedPmt)
{
    // The German MP2 of mpeg2_mp2.ts on $0211 (its PMT: language "ger").
    const std::string in = DataFile("mpeg2_mp2.ts");
    Cleanup cleanup;
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    const std::string plain = OutputName("lang_plain", cleanup);
    ASSERT_EQ(road.Clean(plain), TCleaningResult::Success) << AllLog();
    EXPECT_EQ(CountLinesStartingWith("Recreated PMT:"), 0) << "nothing was changed";
    EXPECT_EQ(CopiedLanguageOf(plain, 0x211), "ger");

    ASSERT_TRUE(road.Analyse(in));
    EXPECT_FALSE(road.engine->ChangeLanguageDescriptor(0x1FF0, "fra")); // no such entry
    ASSERT_TRUE(road.engine->ChangeLanguageDescriptor(0x211, "fra"));
    EXPECT_TRUE(HasLine("Changed PMT Language_Descriptor for PID $0211 from ger to fra")) << AllLog();
    const std::string changed = OutputName("lang_changed", cleanup);
    ASSERT_EQ(road.Clean(changed), TCleaningResult::Success) << AllLog();
    EXPECT_EQ(CountLinesStartingWith("Recreated PMT:"), 1) << AllLog();
    // The dump that follows is the PMT written, with the new code.
    const std::string log = AllLog();
    const size_t at = log.find("Recreated PMT:");
    ASSERT_NE(at, std::string::npos);
    const size_t dump = log.find("----------- PMT 0 -----------", at);
    ASSERT_NE(dump, std::string::npos);
    const size_t pid = log.find("Elementary PID : $0211", dump);
    ASSERT_NE(pid, std::string::npos) << log.substr(dump);
    const size_t text = log.find("ES Info Text   : ", pid);
    ASSERT_NE(text, std::string::npos);
    EXPECT_EQ(log.substr(text + 17, 6), "__fra_") << log.substr(dump);
    EXPECT_EQ(CopiedLanguageOf(changed, 0x211), "fra");

    // The mark belongs to that recording: the next analysis forgets it.
    ASSERT_TRUE(road.Analyse(in));
    const std::string again = OutputName("lang_again", cleanup);
    ASSERT_EQ(road.Clean(again), TCleaningResult::Success) << AllLog();
    EXPECT_EQ(CountLinesStartingWith("Recreated PMT:"), 0);
}

TEST(Ac3Details, EachAc3StreamWithTheWrongStreamIdIsAskedAboutOnItsOwn)
{
    // Two AC-3 streams, both in PES packets with the MPEG audio stream_id:
    // the question comes once per stream, and each answer decides only its
    // own stream's patch.
    const std::vector<test::PmtStream> streams = {
        {2, 0x101, {}}, {6, 0x102, test::Descriptor(0x6A, {0})}, {6, 0x103, test::Descriptor(0x6A, {0})}};
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; s.PacketCount() < 3000; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, streams);
        }
        AddVideoFrame(s, pts);
        s.AddPes(0x102, test::PesPacket(0xC0, Ac3Frame(2), pts));
        s.AddPes(0x103, test::PesPacket(0xC1, Ac3Frame(7), pts));
        pts += 3600;
    }
    Cleanup cleanup;
    const std::string in = Save(s, "ac3twice", cleanup);

    // Yes for the first stream, No for the second.
    struct TwoAnswers : TestHost {
        int Asked = 0;
        bool Ask(TAnalysisQuestion q, const std::string& text) override
        {
            if (q != TAnalysisQuestion::Ac3StreamId)
                return TestHost::Ask(q, text);
            Questions.push_back(text);
            return ++Asked == 1;
        }
    };
    RoadWith<TwoAnswers> road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_EQ(road.host.Asked, 2) << AllLog();
    TAnalysisTables& t = road.engine->Tables();
    const int first = t.FindPatchEntry(0x102, PATCH_KIND_STREAM_ID);
    ASSERT_GE(first, 0);
    EXPECT_EQ(t.Patches[first].OldValue, 0xC0);
    EXPECT_EQ(t.Patches[first].NewValue, 0xBD);
    EXPECT_LT(t.FindPatchEntry(0x103, PATCH_KIND_STREAM_ID), 0);
    EXPECT_TRUE(HasLine("Audio stream 1: Patch StreamID from $C0 to $BD !")) << AllLog();
    EXPECT_TRUE(HasLine("Audio stream 2: Ignore AC3 StreamID $C1<> $BD !")) << AllLog();
}

TEST(Ac3Details, EachAudioReaderPatchesItsOwnStreamWhereItsPesStarts)
{
    // Four AC-3 streams, all with MPEG audio stream_ids and all answered
    // Yes: each audio reader's payload start must patch its own stream at
    // the packet that starts its PES, and no patch may miss.
    std::vector<test::PmtStream> streams = {{2, 0x101, {}}};
    for (int i = 0; i < AUDIO_SLOTS; ++i)
        streams.push_back({6, 0x102 + i, test::Descriptor(0x6A, {0})});
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; s.PacketCount() < 4000; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, streams);
        }
        AddVideoFrame(s, pts);
        for (int i = 0; i < AUDIO_SLOTS; ++i)
            s.AddPes(0x102 + i, test::PesPacket(0xC0 + i, Ac3Frame(2), pts));
        pts += 3600;
    }
    Cleanup cleanup;
    const std::string in = Save(s, "ac3four", cleanup);
    Road road;
    road.host.Answers[TAnalysisQuestion::Ac3StreamId] = true;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string out = OutputName("ac3four_out", cleanup);
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    EXPECT_EQ(AllLog().find("Patching of StreamID failed"), std::string::npos) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    const Bytes b = ReadFile(out);
    for (int i = 0; i < AUDIO_SLOTS; ++i) {
        SCOPED_TRACE(i);
        const int e = t.FindPatchEntry(0x102 + i, PATCH_KIND_STREAM_ID);
        ASSERT_GE(e, 0) << AllLog();
        EXPECT_EQ(t.Patches[e].OldValue, 0xC0 + i);
        EXPECT_EQ(t.Patches[e].FailedCount, 0);
        int starts = 0;
        for (size_t j = 0; j + 188 <= b.size(); j += 188) {
            const uint8_t* p = b.data() + j;
            if (Pid(p) != 0x102 + i || !(p[1] & 0x40))
                continue;
            ++starts;
            EXPECT_EQ(p[PacketPayloadStart(p) + 3], 0xBD);
        }
        EXPECT_GT(starts, 50);
        EXPECT_EQ(t.Patches[e].PatchedCount, starts);
    }
}
