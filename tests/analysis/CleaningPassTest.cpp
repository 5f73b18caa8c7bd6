// The whole road of one recording: analyse, then clean, on ffmpeg-made
// recordings and on streams built in code, checked by our own look at the
// output bytes (always) and by ffprobe/ffmpeg where installed.
#include "CleaningTestSupport.h"

#include "analysis/PatchTable.h"
#include "analysis/TableSelection.h"
#include "analysis/PesHandlers.h"
#include "ts/TSPesReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

#include "../support/TsBuilder.h"

using namespace tw;
using namespace tw::cleantest;

namespace {

struct Outcome {
    TCleaningResult Result = TCleaningResult::NotRun;
    OutputCheck Check;
    std::string Log;
};


// The structure of an output: whole packets, continuous counters, sound
// tables in front.
void ExpectSoundStructure(const OutputCheck& c)
{
    EXPECT_TRUE(c.WholePackets);
    EXPECT_TRUE(c.AllSync);
    EXPECT_EQ(c.ContinuityErrors, 0);
    EXPECT_GE(c.PatSections, 1);
    EXPECT_GE(c.PmtSections, 1);
    EXPECT_EQ(c.PatCrcErrors, 0);
    EXPECT_EQ(c.PmtCrcErrors, 0);
    // The rebuilt tables come first.
    EXPECT_EQ(c.FirstPatPacket, 0);
    EXPECT_EQ(c.FirstPmtPacket, 1);
}

// A sound output of the whole recording: besides its structure, every stream
// it carries has as many packets as in the reference recording, give or take
// the packets damage lost (lost) or repeated (extra), and every stream the
// settings keep, as an independent reading of the recording finds them, is
// there. A pass that stops early with a well-formed beginning fails here, and
// so does a copy that lost its audio.
void ExpectSoundOutput(const OutputCheck& c, const std::string& reference, int64_t lost = 0, int64_t extra = 0)
{
    ExpectSoundStructure(c);
    const std::map<int, int64_t> must = StreamsTheCopyMustHold(reference, c.PmtPid, c.ProgramNumber);
    EXPECT_FALSE(must.empty()) << reference;
    for (const auto& [pid, n] : must) {
        const auto it = c.PacketsPerPid.find(pid);
        if (it == c.PacketsPerPid.end()) {
            ADD_FAILURE() << "stream PID " << pid << " of " << reference << " is missing from the copy";
            continue;
        }
        EXPECT_GE(it->second, n - lost) << "PID " << pid;
    }
    const std::map<int, int64_t> ref = PacketsPerPidOf(reference);
    int streams = 0;
    for (const auto& [pid, n] : c.PacketsPerPid) {
        if (pid == 0 || pid == c.PmtPid) // rebuilt, not passed on
            continue;
        ++streams;
        const auto it = ref.find(pid);
        if (it == ref.end()) {
            ADD_FAILURE() << "PID " << pid << " is not in " << reference;
            continue;
        }
        EXPECT_GE(n, it->second - lost) << "PID " << pid;
        EXPECT_LE(n, it->second + extra) << "PID " << pid;
    }
    EXPECT_GE(streams, 1);
}

// The packets of the streams an output carries (its tables aside), in file
// order, as they lie in a recording of 188-byte packets.
Bytes StreamPacketsOf(const Bytes& file, const OutputCheck& c)
{
    Bytes b;
    for (size_t i = 0; i + 188 <= file.size(); i += 188) {
        const int pid = Pid(file.data() + i);
        if (pid != 0 && pid != c.PmtPid && c.Pids.count(pid))
            b.insert(b.end(), file.begin() + static_cast<long>(i), file.begin() + static_cast<long>(i + 188));
    }
    return b;
}

// What the stream panels show as written (each PID record's packet count)
// is what the output holds of that PID; and every stream the copy must hold
// (an independent reading of the analysed recording) has its record, with
// its packets counted.
void ExpectWrittenCounts(Road& road, const OutputCheck& c)
{
    const TAnalysisTables& t = road.engine->Tables();
    for (const auto& [pid, n] : StreamsTheCopyMustHold(road.engine->FileName(), c.PmtPid, c.ProgramNumber)) {
        const int k = t.FoundStreamIndex(pid);
        const int written = k >= 0 && t.FoundStreams[k].ReplacementPid >= 0 ? t.FoundStreams[k].ReplacementPid : pid;
        const int rec = t.PidRecordIndex(pid);
        EXPECT_GE(rec, 0) << "stream PID " << pid << " has no record";
        const auto it = c.PacketsPerPid.find(written);
        EXPECT_NE(it, c.PacketsPerPid.end()) << "stream PID " << pid << " is missing from the copy";
        if (rec >= 0 && it != c.PacketsPerPid.end()) {
            EXPECT_GT(t.PidRecords[rec].PacketCount, 0) << "PID " << pid;
            EXPECT_EQ(t.PidRecords[rec].PacketCount, it->second) << "PID " << pid;
        }
    }
    int64_t counted = 0;
    for (int i = 0; i < t.PidRecordCount; ++i) {
        const TPidRecord& r = t.PidRecords[i];
        if (r.Pid == 0 || r.Pid == c.PmtPid)
            continue;
        // A remapped stream is written under its new PID.
        const int k = t.FoundStreamIndex(r.Pid);
        const int written = k >= 0 && t.FoundStreams[k].ReplacementPid >= 0 ? t.FoundStreams[k].ReplacementPid : r.Pid;
        const auto it = c.PacketsPerPid.find(written);
        EXPECT_EQ(r.PacketCount, it == c.PacketsPerPid.end() ? 0 : it->second) << "PID " << r.Pid;
        counted += r.PacketCount;
    }
    EXPECT_GT(counted, 0);
}

// A program built in code: PAT, PMT (video with PCR on 0x101, MPEG audio on
// 0x102, and whatever else the options list), then per step a video PES with
// a PCR, 40 ms apart, an audio PES and, for a listed PID 0x103, a small
// private PES.
struct TProgramOptions {
    std::vector<test::PmtStream> Streams = {{2, 0x101, {}}, {3, 0x102, {}}};
    int PesCount = 300;
    int TablesEvery = 25;
    size_t VideoBytes = 1500;
    uint8_t VideoStartCode = 0xB3;
    int64_t FirstPts = 900000;  // may lie just before the 33-bit wrap
    std::vector<int> BadPcrs;   // steps whose PCR is 10 s off
    int AudioStreamId = 0xC0;
};

test::TsStream BuildProgram(const TProgramOptions& o)
{
    test::TsStream s;
    int64_t pts = o.FirstPts;
    for (int k = 0; k < o.PesCount; ++k) {
        if (k % o.TablesEvery == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, o.Streams);
        }
        test::Bytes es(o.VideoBytes, 0x11);
        es[0] = 0;
        es[1] = 0;
        es[2] = 1;
        es[3] = o.VideoStartCode;
        const int64_t stamp = pts % kPtsModulus;
        int64_t pcr = ((pts - 9000) % kPtsModulus) * 300;
        if (std::find(o.BadPcrs.begin(), o.BadPcrs.end(), k) != o.BadPcrs.end())
            pcr += 900000LL * 300;
        s.AddPes(0x101, test::PesPacket(0xE0, es, stamp), pcr);
        s.AddPes(0x102, test::PesPacket(o.AudioStreamId, test::Bytes(300, 0x22), stamp));
        for (const test::PmtStream& extra : o.Streams)
            if (extra.pid == 0x103)
                s.AddPes(0x103, test::PesPacket(0xBD, test::Bytes(20, 0xFC), stamp));
        pts += 3600;
    }
    return s;
}

std::string SaveProgram(const TProgramOptions& o, const std::string& tag)
{
    const std::string name = TempName(tag);
    BuildProgram(o).Save(name);
    return name;
}

// The PCR stream of the handler tests: 300 steps unless said otherwise.
std::string BuildPcrStream(const std::vector<int>& bad, int audioStreamId = 0xC0, int pesCount = 300)
{
    TProgramOptions o;
    o.BadPcrs = bad;
    o.AudioStreamId = audioStreamId;
    o.PesCount = pesCount;
    return SaveProgram(o, "pcr");
}

} // namespace

TEST(CleaningRoad, UndamagedRecordingKeepsEverything)
{
    Road road;
    const std::string in = DataFile("cleaning/h264_ac3_cbr.ts");
    ASSERT_TRUE(road.Analyse(in));
    const std::string out = TempName("plain");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c, in);
    ExpectWrittenCounts(road, c);
    // Kept PIDs only: the PAT, the PMT and the program's streams.
    for (int pid : c.Pids) {
        if (pid == 0 || pid == c.PmtPid)
            continue;
        EXPECT_TRUE(road.engine->Tables().IsSelectedPid(pid)) << pid;
    }
    ASSERT_EQ(road.host.Sounds.size(), 1u);
    EXPECT_EQ(road.host.Sounds[0], "STREAMCLEANINGSUCCESSFULLYCOMPLETED");
    ASSERT_FALSE(road.host.Messages.empty());
    EXPECT_EQ(road.host.Messages.back().second, "Process successfully completed!");
    // The log lands beside the output.
    const std::string logText(reinterpret_cast<const char*>(ReadFile(ChangeFileExt(out, ".log")).data()),
                              ReadFile(ChangeFileExt(out, ".log")).size());
    EXPECT_NE(logText.find("Cutted pakets at the beginning: 0"), std::string::npos);
    EXPECT_NE(logText.find("ERRORS : 0"), std::string::npos);
    EXPECT_NE(logText.find("Speed: "), std::string::npos);
    EXPECT_EQ(logText.find("Discarded invalid pakets"), std::string::npos);
    // The time panel is updated sparingly, but its last text is the end.
    const std::vector<std::string>& times = road.host.TimeTexts;
    ASSERT_GE(times.size(), 2u);
    EXPECT_LT(times.front(), times.back());
    EXPECT_EQ(times.back(), *std::max_element(times.begin(), times.end()));

    if (!HaveFfmpeg())
        GTEST_SKIP() << "the outside decoder cannot run in this build";
    EXPECT_EQ(CountOccurrences(Probe(out, "program=program_id"), "program_id="), 1);
    EXPECT_EQ(DecodeErrors(out), "");
    EXPECT_EQ(VideoFrameCount(out), VideoFrameCount(in));
    RemoveFile(out);
    RemoveFile(ChangeFileExt(out, ".log"));
}

// Each stream's record counts the packets of its PID that were written, also
// on the second pass of a window over another recording (with other PIDs).
TEST(CleaningRoad, WrittenPacketsAreCountedPerStream)
{
    Road road;
    auto expectCounts = [&road](const std::string& out) {
        const Bytes b = ReadFile(out);
        std::map<int, int64_t> perPid;
        for (size_t i = 0; i + 188 <= b.size(); i += 188)
            ++perPid[((b[i + 1] & 0x1F) << 8) | b[i + 2]];
        const int pmtPid = CheckOutput(out).PmtPid;
        const TAnalysisTables& t = road.engine->Tables();
        int streams = 0;
        for (int i = 0; i < t.PidRecordCount; ++i) {
            const TPidRecord& r = t.PidRecords[i];
            if (r.Pid == 0 || r.Pid == pmtPid) // the tables are rebuilt, not passed on
                continue;
            EXPECT_EQ(r.PacketCount, perPid[r.Pid]) << "PID " << r.Pid;
            EXPECT_GT(r.PacketCount, 0) << "PID " << r.Pid;
            ++streams;
        }
        EXPECT_GE(streams, 2);
    };
    const std::string built = SaveProgram(TProgramOptions{}, "count");
    const std::string out1 = TempName("count1"), out2 = TempName("count2");
    Cleanup cleanup{{built, out1, ChangeFileExt(out1, ".log"), out2, ChangeFileExt(out2, ".log")}};
    ASSERT_TRUE(road.Analyse(built));
    ASSERT_EQ(road.Clean(out1), TCleaningResult::Success) << AllLog();
    expectCounts(out1);
    ASSERT_TRUE(road.Analyse(DataFile("cleaning/h264_ac3_cbr.ts")));
    ASSERT_EQ(road.Clean(out2), TCleaningResult::Success) << AllLog();
    expectCounts(out2);
}

// Damage that the cleaning can repair: the output must decode without a
// single complaint. Damage that loses data must still give a sound file.
// Each case ends with the result it must: damage that broke packets of the
// program's streams is a success with errors; garbage before the first
// packet (skipped with the user's consent), a torn last packet (a recording
// ends with its last whole packet) and lost program tables (rebuilt anyway)
// lose nothing of the program and are a plain success, as is an undamaged
// recording.
struct DamageCase {
    const char* Name;
    const char* Fixture;
    Damage D;
    bool Repairable;
    TCleaningResult Expected;
};

class CleaningDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(CleaningDamage, OutputIsSoundAndDecodes)
{
    const DamageCase& dc = GetParam();
    const Bytes original = ReadFile(DataFile(dc.Fixture));
    ASSERT_FALSE(original.empty());
    const std::string in = TempName(std::string("in_") + dc.Name);
    const std::string out = TempName(std::string("out_") + dc.Name);
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    WriteFile(in, Damaged(original, dc.D));
    Road road;
    road.host.DuplicateHandling = true;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TCleaningResult r = road.Clean(out);
    EXPECT_EQ(r, dc.Expected) << AllLog();
    const OutputCheck c = CheckOutput(out);
    // Each damaged packet, and each packet garbage runs into, may be lost;
    // repeated ones are deleted.
    const int64_t damaged = static_cast<int64_t>(dc.D.LostPackets.size() + dc.D.TransportErrorPackets.size() +
                                                 dc.D.BitErrorPackets.size()) +
                            (dc.D.MidGarbage > 0 ? 2 : 0) + (dc.D.TruncateTail > 0 ? 1 : 0);
    ExpectSoundOutput(c, DataFile(dc.Fixture), damaged);
    ExpectWrittenCounts(road, c);
    if (HaveFfmpeg()) {
        EXPECT_EQ(CountOccurrences(Probe(out, "program=program_id"), "program_id="), 1);
        const std::string errors = DecodeErrors(out);
        EXPECT_EQ(errors.find("corrupt"), std::string::npos) << errors;
        if (dc.Repairable) {
            EXPECT_EQ(errors, "") << AllLog();
            if (dc.D.TruncateTail == 0 && dc.D.RepeatedPackets.empty())
                EXPECT_EQ(VideoFrameCount(out), VideoFrameCount(DataFile(dc.Fixture)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, CleaningDamage,
    ::testing::Values(
        DamageCase{"garbage_start", "h264_ac3.ts", [] { Damage d; d.LeadingGarbage = 1000; return d; }(), true,
                   TCleaningResult::Success},
        DamageCase{"garbage_mid", "mpeg2_mp2.ts",
                   [] { Damage d; d.MidGarbageAtPacket = 300; d.MidGarbage = 77; return d; }(), false,
                   TCleaningResult::SuccessWithErrors},
        DamageCase{"bit_errors", "h264_ac3.ts", [] { Damage d; d.BitErrorPackets = {50, 120, 200}; return d; }(),
                   false, TCleaningResult::SuccessWithErrors},
        DamageCase{"transport_errors", "mpeg2_mp2.ts",
                   [] { Damage d; d.TransportErrorPackets = {40, 41, 300}; return d; }(), false,
                   TCleaningResult::SuccessWithErrors},
        DamageCase{"lost_packets", "h264_ac3.ts", [] { Damage d; d.LostPackets = {60, 61, 250}; return d; }(), false,
                   TCleaningResult::SuccessWithErrors},
        DamageCase{"partial_last", "mpeg2_mp2.ts", [] { Damage d; d.TruncateTail = 100; return d; }(), true,
                   TCleaningResult::Success},
        DamageCase{"dropped_psi", "mpeg2_mp2.ts", [] { Damage d; d.DropPsi = true; return d; }(), true,
                   TCleaningResult::Success},
        DamageCase{"m2ts_192", "m2ts_192.m2ts", Damage{}, true, TCleaningResult::Success},
        DamageCase{"pts_wrap", "pts_wrap.ts", Damage{}, true, TCleaningResult::Success}),
    [](const ::testing::TestParamInfo<DamageCase>& i) { return std::string(i.param.Name); });

TEST(CleaningRoad, RepeatedPacketsAreDeletedOnlyWhenConfirmed)
{
    const Bytes original = ReadFile(DataFile("mpeg2_mp2.ts"));
    // Repeat two payload packets of the audio in the middle of PES packets
    // (its PES packets carry their length, so the surplus shows), each copy
    // behind the next packet of the audio: not the second sending the
    // standard allows (that one is no surplus: the readers never take it).
    const std::vector<size_t> audio = PayloadPacketsOf(original, 0x211);
    ASSERT_GT(audio.size(), 60u);
    auto nextOfPid = [&](size_t i) {
        while (++i < original.size() / 188 && Pid(original.data() + i * 188) != 0x211) {
        }
        return i;
    };
    Damage d;
    for (size_t k : {size_t{20}, size_t{50}}) {
        ASSERT_EQ(audio[k + 1], nextOfPid(audio[k]));
        d.CopiedBehind.emplace_back(audio[k], audio[k + 1]);
    }
    const std::string in = TempName("dup_in");
    WriteFile(in, Damaged(original, d));

    for (bool handling : {true, false}) {
        Road road;
        road.host.DuplicateHandling = handling;
        ASSERT_TRUE(road.Analyse(in));
        const std::string out = TempName("dup_out");
        // The surplus packets broke their PES packets: the analysis counted
        // those errors, whether the copy deletes the surplus or not.
        EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
        const std::string log = AllLog();
        const OutputCheck c = CheckOutput(out);
        ExpectSoundOutput(c, DataFile("mpeg2_mp2.ts"), 0, handling ? 0 : 2);
        ExpectWrittenCounts(road, c);
        const std::string ref = TempName("dup_ref");
        Road refRoad;
        ASSERT_TRUE(refRoad.Analyse(DataFile("mpeg2_mp2.ts")));
        ASSERT_EQ(refRoad.Clean(ref), TCleaningResult::Success) << AllLog();
        const int64_t refPackets = CheckOutput(ref).Packets;
        if (handling) {
            EXPECT_EQ(CountOccurrences(log, "Deleting redundant paket $"), 2) << log;
            EXPECT_EQ(c.Packets, refPackets);
            EXPECT_EQ(ReadFile(out), ReadFile(ref));
        } else {
            EXPECT_EQ(CountOccurrences(log, "Deleting redundant paket $"), 0);
            EXPECT_EQ(c.Packets, refPackets + 2);
        }
        RemoveFile(out);
        RemoveFile(ref);
        RemoveFile(ChangeFileExt(out, ".log"));
        RemoveFile(ChangeFileExt(ref, ".log"));
    }
    RemoveFile(in);
}

TEST(CleaningRoad, ARepeatSomePacketsAfterItsOriginalIsDeleted)
{
    // The copy of an audio packet arrives two packets after its original,
    // inside the same PES packet: the fix must confirm it against its
    // original wherever that lies, not against its neighbour.
    const Bytes original = ReadFile(DataFile("mpeg2_mp2.ts"));
    const std::vector<size_t> plain = PayloadPacketsOf(original, 0x211);
    std::vector<size_t> audio;
    for (size_t i = 0; i < original.size() / 188; ++i)
        if (Pid(original.data() + i * 188) == 0x211)
            audio.push_back(i);
    // Three audio packets in a row without a payload start or a PCR.
    size_t at = 20;
    auto plainPacket = [&](size_t k) { return std::binary_search(plain.begin(), plain.end(), audio[k]); };
    while (at + 3 < audio.size() && !(plainPacket(at) && plainPacket(at + 1) && plainPacket(at + 2)))
        ++at;
    ASSERT_LT(at + 3, audio.size());
    Bytes damaged(original.begin(), original.begin() + static_cast<long>((audio[at + 2] + 1) * 188));
    damaged.insert(damaged.end(), original.begin() + static_cast<long>(audio[at] * 188),
                   original.begin() + static_cast<long>(audio[at] * 188 + 188));
    damaged.insert(damaged.end(), original.begin() + static_cast<long>((audio[at + 2] + 1) * 188), original.end());
    const std::string in = TempName("dup_later_in");
    const std::string out = TempName("dup_later_out");
    const std::string ref = TempName("dup_later_ref");
    Cleanup cleanup{{in, out, ref, ChangeFileExt(out, ".log"), ChangeFileExt(ref, ".log")}};
    WriteFile(in, damaged);

    Road road;
    road.host.DuplicateHandling = true;
    ASSERT_TRUE(road.Analyse(in));
    EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
    const std::string log = AllLog();
    EXPECT_EQ(CountOccurrences(log, "Deleting redundant paket $"), 1) << log;
    const int64_t copy = static_cast<int64_t>(audio[at + 2] + 1);
    EXPECT_EQ(CountOccurrences(log, "Deleting redundant paket $" + IntToHex(copy, 8)), 1) << log;
    Road refRoad;
    ASSERT_TRUE(refRoad.Analyse(DataFile("mpeg2_mp2.ts")));
    ASSERT_EQ(refRoad.Clean(ref), TCleaningResult::Success) << AllLog();
    EXPECT_EQ(ReadFile(out), ReadFile(ref));
}

TEST(CleaningRoad, ARepeatThatDoesNotMakeUpTheSurplusStays)
{
    // An audio PES packet grows by a copy of one of its packets, two packets
    // after the original, and by a packet of new data. Deleting the copy
    // would not mend the PES (it stays too long), so the fix cannot be sure
    // the copy is the cause: every packet of the PES is written as it came.
    const Bytes original = ReadFile(DataFile("mpeg2_mp2.ts"));
    const std::vector<size_t> plain = PayloadPacketsOf(original, 0x211);
    std::vector<size_t> audio;
    for (size_t i = 0; i < original.size() / 188; ++i)
        if (Pid(original.data() + i * 188) == 0x211)
            audio.push_back(i);
    size_t at = 20;
    auto plainPacket = [&](size_t k) { return std::binary_search(plain.begin(), plain.end(), audio[k]); };
    while (at + 3 < audio.size() && !(plainPacket(at) && plainPacket(at + 1) && plainPacket(at + 2)))
        ++at;
    ASSERT_LT(at + 3, audio.size());
    const auto packet = [&](size_t i) {
        return Bytes(original.begin() + static_cast<long>(i * 188), original.begin() + static_cast<long>(i * 188 + 188));
    };
    Bytes extra = packet(audio[at + 1]);
    extra[100] ^= 0xFF; // new data: no copy of any packet
    Bytes damaged(original.begin(), original.begin() + static_cast<long>((audio[at + 2] + 1) * 188));
    const Bytes copy = packet(audio[at]);
    damaged.insert(damaged.end(), copy.begin(), copy.end());
    damaged.insert(damaged.end(), extra.begin(), extra.end());
    damaged.insert(damaged.end(), original.begin() + static_cast<long>((audio[at + 2] + 1) * 188), original.end());
    const std::string in = TempName("dup_surplus_in");
    const std::string out = TempName("dup_surplus_out");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    WriteFile(in, damaged);

    Road road;
    road.host.DuplicateHandling = true;
    ASSERT_TRUE(road.Analyse(in));
    EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
    const std::string log = AllLog();
    EXPECT_NE(log.find("PES ERROR: For PID 0211 "), std::string::npos) << log;
    EXPECT_EQ(CountOccurrences(log, "redundant paket"), 0) << log;
    const OutputCheck c = CheckOutput(out);
    EXPECT_EQ(c.PacketsPerPid.at(0x211), PacketsPerPidOf(in).at(0x211));
    // The copy and the new packet are both in the output, in their place
    // (their payloads: the writer may renumber their counters).
    const Bytes written = ReadFile(out);
    std::vector<Bytes> audioOut;
    for (size_t i = 0; i + 188 <= written.size(); i += 188)
        if (Pid(written.data() + i) == 0x211)
            audioOut.emplace_back(written.begin() + static_cast<long>(i + 4), written.begin() + static_cast<long>(i + 188));
    ASSERT_GT(audioOut.size(), at + 4);
    EXPECT_EQ(audioOut[at + 3], Bytes(copy.begin() + 4, copy.end()));
    EXPECT_EQ(audioOut[at + 4], Bytes(extra.begin() + 4, extra.end()));
}

TEST(CleaningRoad, TheProgramsLeftOutAreNamedAndTheResultWarns)
{
    // Two programs as a multiplex carries them, each MPEG-2 video with MP2
    // audio. The copy keeps one program; the other's picture and sound are
    // named in the log, and the result is no plain success.
    const std::string in = DataFile("cleaning/two_mpeg2_programs.ts");
    const test::TRecordingStreams rs = test::ReadRecordingStreams(in);
    ASSERT_EQ(rs.Programs.size(), 2u);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    for (const test::TProbeProgram& p : rs.Programs) {
        ASSERT_EQ(p.Streams.size(), 2u);
        for (const test::TProbeStream& st : p.Streams) {
            const int k = t.FoundStreamIndex(st.Pid);
            ASSERT_GE(k, 0) << st.Pid;
            EXPECT_TRUE(TTableSelection::IsSniffedStream(t.FoundStreams[k].TypeText)) << st.Pid;
        }
    }
    const std::string out = TempName("two_programs");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
    const std::string log = AllLog();
    EXPECT_TRUE(HasLine("WARNINGS : 2")) << log; // the two streams left out, nothing else

    // By PID: the copy holds every packet of the kept program's streams and
    // nothing of the other program, as the probe reads the recording.
    const OutputCheck c = CheckOutput(out);
    const test::TProbeProgram* kept = nullptr;
    for (const test::TProbeProgram& p : rs.Programs)
        if (p.Number == c.ProgramNumber)
            kept = &p;
    ASSERT_NE(kept, nullptr) << c.ProgramNumber;
    EXPECT_EQ(c.PatPrograms, 1);
    std::set<int> keptPids;
    for (const test::TProbeStream& st : kept->Streams) {
        keptPids.insert(st.Pid);
        EXPECT_EQ(c.PacketsPerPid.count(st.Pid) ? c.PacketsPerPid.at(st.Pid) : 0, rs.PacketsPerPid.at(st.Pid))
            << st.Pid;
    }
    EXPECT_EQ(std::set<int>(c.PmtStreamPids.begin(), c.PmtStreamPids.end()), keptPids);
    int leftOut = 0;
    for (const test::TProbeProgram& p : rs.Programs) {
        if (&p == kept)
            continue;
        for (const test::TProbeStream& st : p.Streams) {
            EXPECT_EQ(c.PacketsPerPid.count(st.Pid), 0u) << st.Pid;
            const TFoundStream& f = t.FoundStreams[t.FoundStreamIndex(st.Pid)];
            EXPECT_TRUE(HasLine("TS  WARNING: Stream PID $" + IntToHex(st.Pid, 4) + " (" + f.TypeText +
                                ") of program " + IntToStr(p.Number) + " is not carried into the cleaned stream!"))
                << log;
            ++leftOut;
        }
    }
    EXPECT_EQ(leftOut, 2);
    EXPECT_EQ(CountOccurrences(log, "is not carried into the cleaned stream!"), 2) << log;
}

TEST(CleaningRoad, TheOtherProgramsStreamsPreservedAreCarriedAndSaidSo)
{
    // The other program's picture and sound ticked in the preserve list:
    // the copy carries them, the log says so, and neither the count of
    // warnings nor the result still calls them left out.
    const std::string in = DataFile("cleaning/two_mpeg2_programs.ts");
    const test::TRecordingStreams rs = test::ReadRecordingStreams(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    std::vector<int> other;
    for (int pid = 0; pid < 8192; ++pid)
        if (t.IdentifiedLeftOut(pid)) other.push_back(pid);
    ASSERT_EQ(other.size(), 2u) << AllLog();
    TPreserveList& list = road.pass->PreserveList;
    FillPreserveList(*road.engine, list);
    for (int i = 0; i < list.Count(); ++i) {
        int pid = -1;
        list.Item(i).Checked = TPreserveList::ItemPid(list.Item(i).Text, pid) &&
                               std::find(other.begin(), other.end(), pid) != other.end();
    }
    const std::string out = TempName("two_programs_preserved");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const std::string log = AllLog();
    EXPECT_TRUE(HasLine("WARNINGS : 0")) << log;
    const OutputCheck c = CheckOutput(out);
    for (const int pid : other) {
        EXPECT_EQ(c.PacketsPerPid.count(pid) ? c.PacketsPerPid.at(pid) : 0, rs.PacketsPerPid.at(pid)) << pid;
        EXPECT_TRUE(HasLine("Stream PID $" + IntToHex(pid, 4) +
                            " is preserved: it is carried into the cleaned stream without an entry in the "
                            "program's table."))
            << log;
    }
}

TEST(CleaningRoad, TimerPatchMode2RemovesTheWrap)
{
    const std::string in = DataFile("pts_wrap.ts");
    Road road;
    road.host.TimerPatchMode = 2;
    ASSERT_TRUE(road.Analyse(in));
    const std::string out = TempName("wrap");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const std::string log = AllLog();
    EXPECT_NE(log.find("Patching timer PCR/PTS/DTS/ESCR with offset "), std::string::npos);
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c, in);
    ExpectWrittenCounts(road, c);
    ASSERT_FALSE(c.Pcr90.empty());
    ASSERT_FALSE(c.Pts.empty());
    // The earliest stamp starts near 300 ticks and the clock never wraps.
    const int64_t start = CleaningStartTime(road.engine->Tables().FirstPts, road.engine->Tables().FirstDts,
                                            road.engine->Tables().FirstPcr90k);
    EXPECT_EQ(c.Pcr90.front(), road.engine->Tables().FirstPcr90k - start + 300);
    for (size_t i = 1; i < c.Pcr90.size(); ++i)
        EXPECT_GE(c.Pcr90[i], c.Pcr90[i - 1]) << i;
    for (int64_t p : c.Pts)
        EXPECT_LT(p, 90000 * 60) << p;
    if (!HaveFfmpeg())
        GTEST_SKIP() << "the outside decoder cannot run in this build";
    const std::string before = Probe(in, "stream=duration");
    const std::string after = Probe(out, "stream=duration");
    EXPECT_EQ(before, after);
    EXPECT_EQ(DecodeErrors(out), "");
    RemoveFile(out);
    RemoveFile(ChangeFileExt(out, ".log"));
}

TEST(CleaningRoad, FullRangeFlagIsClearedOnlyAfterTheUserAgreed)
{
    const std::string in = DataFile("cleaning/h264_fullrange.ts");
    for (int answer = 0; answer < 2; ++answer) {
        Road road;
        road.host.Answers[TAnalysisQuestion::VideoFullRange] = answer == 1;
        ASSERT_TRUE(road.Analyse(in));
        const std::string out = TempName("fullrange");
        EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
        const std::string log = AllLog();
        const OutputCheck c = CheckOutput(out);
        ExpectSoundOutput(c, in);
        ExpectWrittenCounts(road, c);
        if (answer == 1) {
            EXPECT_NE(log.find("Changed Sequence Parameter Sets: "), std::string::npos) << log;
            EXPECT_EQ(log.find("video_full_range_flag in paket"), std::string::npos) << log;
        } else {
            EXPECT_EQ(log.find("Changed Sequence Parameter Sets: "), std::string::npos);
            // Declined: past the rebuilt tables, the output is the input's
            // packets of the kept PIDs, byte for byte.
            EXPECT_EQ(StreamPacketsOf(ReadFile(out), c), StreamPacketsOf(ReadFile(in), c));
        }
        if (HaveFfmpeg()) {
            const std::string range = Probe(out, "stream=color_range");
            if (answer == 1)
                EXPECT_EQ(range.find("color_range=pc"), std::string::npos) << range;
            else
                EXPECT_NE(range.find("color_range=pc"), std::string::npos) << range;
            EXPECT_EQ(DecodeErrors(out), "");
            EXPECT_EQ(VideoFrameCount(out), VideoFrameCount(in));
        }
        RemoveFile(out);
        RemoveFile(ChangeFileExt(out, ".log"));
    }
}

TEST(CleaningRoad, RefusesOutputThatWouldReplaceInputOrItsLog)
{
    const std::string in = TempName("self");
    WriteFile(in, ReadFile(DataFile("mpeg2_mp2.ts")));
    const Bytes before = ReadFile(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    EXPECT_EQ(road.Clean(in), TCleaningResult::NotRun);
    ASSERT_FALSE(road.host.Messages.empty());
    EXPECT_EQ(road.host.Messages.back().first, TMessageKind::Error);
    EXPECT_EQ(ReadFile(in), before);
    // An output ending .log would be overwritten by its own log.
    EXPECT_EQ(road.Clean(TempName("x", ".log")), TCleaningResult::NotRun);
    // An output whose log would be the recording itself.
    const std::string logIn = TempName("rec", ".log");
    WriteFile(logIn, before);
    Road road2;
    road2.Analyse(logIn);
    EXPECT_EQ(road2.Clean(ChangeFileExt(logIn, ".ts")), TCleaningResult::NotRun);
    EXPECT_EQ(ReadFile(logIn), before);
    EXPECT_TRUE(road.host.Sounds.empty());
    RemoveFile(in);
    RemoveFile(logIn);
}

TEST(CleaningRoad, UnwritableOutputFailsInsteadOfSucceeding)
{
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("mpeg2_mp2.ts")));
    const TCleaningResult r = road.Clean("/nonexistent_tw_dir/sub/out.ts");
    EXPECT_EQ(r, TCleaningResult::Failed);
    ASSERT_FALSE(road.host.Sounds.empty());
    EXPECT_EQ(road.host.Sounds.back(), "STREAMCLEANINGFAILED");
    // Why, in the platform's words, in the message and in the log.
    const std::string& message = road.host.Messages.back().second;
    const std::string head = "Process aborted with errors!\r";
    ASSERT_EQ(message.substr(0, head.size()), head);
    const size_t reasonEnd = message.find('\r', head.size());
    const std::string reason = message.substr(head.size(), reasonEnd - head.size());
    EXPECT_FALSE(reason.empty());
    EXPECT_NE(AllLog().find("Could not create the output file /nonexistent_tw_dir/sub/out.ts (" + reason + ")"),
              std::string::npos)
        << AllLog();
    // The log cannot go there either: one failure, one message, which
    // carries both.
    EXPECT_EQ(std::count_if(road.host.Messages.begin(), road.host.Messages.end(),
                            [](const auto& m) { return m.first == TMessageKind::Error; }),
              1);
    ASSERT_NE(reasonEnd, std::string::npos) << message;
    EXPECT_EQ(message.substr(reasonEnd + 1).rfind("Error while saving log file!\r", 0), 0u) << message;
}

TEST(CleaningRoad, ExistingOutputIsReplacedWhole)
{
    const std::string out = TempName("old");
    WriteFile(out, Bytes(2000000, 0x47));
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("cleaning/h264_ac3_cbr.ts")));
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c, DataFile("cleaning/h264_ac3_cbr.ts"));
    ExpectWrittenCounts(road, c);
    EXPECT_LT(ReadFile(out).size(), 1000000u);
    RemoveFile(out);
    RemoveFile(ChangeFileExt(out, ".log"));
}

TEST(CleaningRoad, CancelAsksAndStops)
{
    {
        Road road;
        ASSERT_TRUE(road.Analyse(DataFile("mpeg2_mp2.ts")));
        road.host.CancelAfterChecks = 10;
        const std::string out = TempName("cancel");
        EXPECT_EQ(road.Clean(out), TCleaningResult::Aborted);
        EXPECT_EQ(road.host.AbortQuestions, 1);
        const std::string log = AllLog();
        EXPECT_NE(log.find("Aborted at paket $"), std::string::npos);
        EXPECT_NE(log.find("---------- ABORTED ----------"), std::string::npos);
        EXPECT_EQ(road.host.Messages.back().second, "Process aborted!");
        RemoveFile(out);
        RemoveFile(ChangeFileExt(out, ".log"));
    }
    {
        Road road;
        ASSERT_TRUE(road.Analyse(DataFile("mpeg2_mp2.ts")));
        road.host.CancelAfterChecks = 10;
        road.host.AbortAnswer = false;
        const std::string out = TempName("nocancel");
        EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
        EXPECT_EQ(road.host.AbortQuestions, 1);
        RemoveFile(out);
        RemoveFile(ChangeFileExt(out, ".log"));
    }
}

TEST(CleaningRoad, DroppedTextStreamLeavesThePmt)
{
    // Video, audio and a teletext stream; the teletext is dropped, and no
    // audio stream with it: its entry must still leave the rebuilt PMT.
    const std::vector<test::PmtStream> streams = {
        {2, 0x101, {}}, {3, 0x102, {}}, {6, 0x103, test::Descriptor(0x56, {'d', 'e', 'u', 0x09, 0x00})}};
    const test::TsStream s = test::SmallProgram(
        streams, 0x103, [](int64_t pts) { return test::PesPacket(0xBD, test::Bytes(180, 0x10), pts); });
    const std::string in = TempName("text");
    s.Save(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    TAnalysisTables& t = road.engine->Tables();
    if (t.IsSelectedPid(0x103))
        road.engine->ToggleTextStream(0);
    ASSERT_FALSE(t.IsSelectedPid(0x103));
    ASSERT_TRUE(t.IsSelectedPid(0x102));
    const std::string out = TempName("text_out");
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c, in);
    ExpectWrittenCounts(road, c);
    EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x101, 0x102}));
    EXPECT_EQ(c.Pids.count(0x103), 0u);
    EXPECT_NE(AllLog().find("Deleting PMT entry: PID $0103"), std::string::npos);
    if (HaveFfmpeg())
        EXPECT_EQ(CountOccurrences(Probe(out, "program=program_id"), "program_id="), 1);
    RemoveFile(in);
    RemoveFile(out);
    RemoveFile(ChangeFileExt(out, ".log"));
}

// E-AC-3 with stream_type 0x87 (as ffmpeg writes it) is carried like any
// other audio stream.
TEST(CleaningRoad, EnhancedAc3TypedAtsStyleIsKept)
{
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("analysis/h264_aac_eac3.ts")));
    const std::string out = TempName("eac3");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    // Its low rate puts only a few packets between two PCRs; the clock is
    // sound all the same (its PES time stamps go with it): no PCR question,
    // no error.
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success);
    EXPECT_EQ(AllLog().find("is not carried"), std::string::npos);
    EXPECT_EQ(AllLog().find("PCR timing"), std::string::npos);
    EXPECT_EQ(road.host.PcrQuestions, 0);
    EXPECT_EQ(road.pass->TotalErrors(), 0);
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c, DataFile("analysis/h264_aac_eac3.ts"));
    ExpectWrittenCounts(road, c);
    EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x100, 0x101, 0x102}));
    EXPECT_EQ(c.Pids.count(0x102), 1u);
    EXPECT_EQ(road.pass->TotalWarnings(), 0);
}

// A stream of the program that the rebuild cannot carry is named in the log
// and counted, never dropped without a word.
TEST(CleaningRoad, StreamLeftOutIsLoggedAndCounted)
{
    TProgramOptions o;
    // 0x86 (a cue table) is no stream the rebuilt program carries.
    o.Streams = {{2, 0x101, {}}, {3, 0x102, {}}, {0x86, 0x103, {}}};
    o.PesCount = 100;
    const std::string in = SaveProgram(o, "leftout");
    const std::string out = TempName("leftout_out");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    // A warning, no error: the copy of what is carried is whole.
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c, in);
    EXPECT_EQ(c.Pids.count(0x103), 0u);
    ExpectWrittenCounts(road, c);
    const std::string log = AllLog();
    EXPECT_NE(log.find("TS  WARNING: Stream PID $0103 type 134 is not carried into the cleaned stream!"),
              std::string::npos)
        << log;
    EXPECT_GE(road.pass->TotalWarnings(), 1);
    EXPECT_NE(log.find("WARNINGS : 1"), std::string::npos);
}

TEST(CleaningRoad, TablesRepeatEveryTenThousandWrittenPackets)
{
    // A long stream built in code: PAT, PMT, one MPEG-2-typed PID with PCR.
    test::TsStream s;
    s.AddPat({{1, 0x100}});
    s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
    int64_t pts = 900000;
    while (s.PacketCount() < 25000) {
        test::Bytes es(3000, 0x11);
        es[0] = 0;
        es[1] = 0;
        es[2] = 1;
        es[3] = 0xB3;
        s.AddPes(0x101, test::PesPacket(0xE0, es, pts), pts * 300 - 9000 * 300);
        pts += 3600;
        if (s.PacketCount() % 500 < 20) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
        }
    }
    const std::string in = TempName("long");
    s.Save(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string out = TempName("long_out");
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c, in);
    ExpectWrittenCounts(road, c);
    const Bytes b = ReadFile(out);
    std::vector<int64_t> patAt;
    for (size_t i = 0; i < b.size() / 188; ++i)
        if (Pid(b.data() + i * 188) == 0)
            patAt.push_back(static_cast<int64_t>(i));
    ASSERT_GE(patAt.size(), 3u);
    EXPECT_EQ(patAt[0], 0);
    // The PAT is queued when the written count reaches 10,000: it becomes
    // packet 10,000 of the file (counting from 0).
    EXPECT_EQ(patAt[1], 10000);
    EXPECT_EQ(patAt[2], 20000);
    RemoveFile(in);
    RemoveFile(out);
    RemoveFile(ChangeFileExt(out, ".log"));
}

TEST(CleaningHandlers, H264ErrorsCountOnTheVideoPid)
{
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("h264_ac3.ts")));
    TPesHandlers handlers(*road.pass);
    const int video = road.pass->VideoPid();
    TAnalysisTables& t = road.engine->Tables();
    const int rec = t.PidRecordIndex(video);
    ASSERT_GE(rec, 0);
    const int64_t before = t.PidRecords[rec].Errors;
    handlers.H264Error(90000, 0);
    EXPECT_EQ(t.PidRecords[rec].Errors, before + 1);
    EXPECT_FALSE(road.pass->State.Failed);
    handlers.H264Error(90000, 1);
    EXPECT_EQ(t.PidRecords[rec].Errors, before + 2);
    EXPECT_TRUE(road.pass->State.Failed);
    const std::string log = AllLog();
    EXPECT_NE(log.find("ES  ERROR: H264 Unknown error 00:00:01.000"), std::string::npos);
    EXPECT_NE(log.find("ES  ERROR: H264 Emulation prevention buffer overflow 00:00:01.000"), std::string::npos);
}

TEST(CleaningHandlers, NalStatisticsHaveFourteenLines)
{
    Road road;
    TPesHandlers handlers(*road.pass);
    road.pass->State.CutInReached = true;
    handlers.H264SliceReceived(5);
    handlers.H264SliceReceived(99); // unknown types count as 0
    const std::string s = handlers.NalStatisticsText();
    EXPECT_EQ(CountOccurrences(s, "\r\n"), 15);
    EXPECT_NE(s.find("IDR Picture            : 1\r\n"), std::string::npos);
    EXPECT_EQ(s.rfind("Unknown / other        : 1\r\n"), s.size() - 28);
    // Outside the cut range nothing is counted.
    road.pass->State.CutInReached = false;
    handlers.H264SliceReceived(5);
    EXPECT_EQ(road.pass->State.NalCounters[5], 1);
}

TEST(CleaningHandlers, OutOfRangePcrIsCorrectedAfterOneQuestion)
{
    const std::string in = BuildPcrStream({150});
    Cleanup cleanup{{in}};
    for (bool agree : {true, false}) {
        Road road;
        road.host.PcrCorrectionAnswer = agree;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        const std::string out = TempName("pcr_out");
        cleanup.Files.push_back(out);
        cleanup.Files.push_back(ChangeFileExt(out, ".log"));
        // Corrected, the PCR is a warning; left, an error.
        EXPECT_EQ(road.Clean(out), agree ? TCleaningResult::Success : TCleaningResult::SuccessWithErrors) << AllLog();
        const std::string log = AllLog();
        EXPECT_EQ(road.host.PcrQuestions, 1);
        EXPECT_GE(CountOccurrences(log, "TS  ERROR: PCR timing for PID 0101"), 1) << log;
        const OutputCheck c = CheckOutput(out);
        ExpectSoundOutput(c, in);
        ExpectWrittenCounts(road, c);
        ASSERT_GT(c.Pcr90.size(), 200u);
        int64_t maxStep = 0;
        for (size_t i = 1; i < c.Pcr90.size(); ++i)
            maxStep = std::max(maxStep, c.Pcr90[i] - c.Pcr90[i - 1]);
        if (agree) {
            EXPECT_NE(log.find("Try to correct PCR value to "), std::string::npos);
            // The outlier is gone: it was rewritten at the measured rate.
            EXPECT_LT(maxStep, 90000);
            EXPECT_GE(road.pass->TotalWarnings(), 1);
        } else {
            EXPECT_EQ(log.find("Try to correct PCR value to "), std::string::npos);
            EXPECT_GE(maxStep, 900000);
            EXPECT_GE(road.pass->TotalErrors(), 1);
        }
    }
}

// The cleaning reader judges only the chosen program's clock: another
// program's PCRs, on a clock hours away and met first in every round, are
// neither judged nor taken as the reference (only the packet filter, which
// knows no program, follows the first clock it meets).
TEST(CleaningHandlers, AnotherProgramsClockIsNotJudged)
{
    const std::vector<test::PmtStream> own = {{2, 0x101, {}}, {3, 0x102, {}}};
    const std::vector<test::PmtStream> other = {{2, 0x201, {}}};
    test::TsStream s;
    int64_t pts = 900000;
    const int64_t otherOffset = 10LL * 3600 * 90000; // ten hours
    for (int k = 0; k < 300; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{2, 0x200}, {1, 0x100}});
            s.AddPmt(0x200, 2, 0x201, other);
            s.AddPmt(0x100, 1, 0x101, own);
        }
        const int64_t otherPts = (pts + otherOffset) % kPtsModulus;
        s.AddPes(0x201, test::PesPacket(0xE0, test::Bytes(200, 0x33), otherPts),
                 ((pts + otherOffset - 9000) % kPtsModulus) * 300);
        test::Bytes es(1500, 0x11);
        es[0] = 0;
        es[1] = 0;
        es[2] = 1;
        es[3] = 0xB3;
        int64_t pcr = ((pts - 9000) % kPtsModulus) * 300;
        if (k == 150)
            pcr += 900000LL * 300; // the chosen program's own bad PCR
        s.AddPes(0x101, test::PesPacket(0xE0, es, pts % kPtsModulus), pcr);
        s.AddPes(0x102, test::PesPacket(0xC0, test::Bytes(300, 0x22), pts % kPtsModulus));
        pts += 3600;
    }
    const std::string in = TempName("two_clocks");
    s.Save(in);
    const std::string out = TempName("two_clocks_out");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    Road road;
    road.host.PcrCorrectionAnswer = true;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    ASSERT_EQ(road.engine->Selection().Pmt().PcrPid(), 0x101) << AllLog();
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const std::string log = AllLog();
    EXPECT_EQ(road.host.PcrQuestions, 1) << log;
    EXPECT_EQ(CountOccurrences(log, "TS  ERROR: PCR timing for PID 0101"), 1) << log;
    EXPECT_EQ(log.find("PCR timing for PID 0201"), std::string::npos) << log;
    EXPECT_NE(log.find("Try to correct PCR value to "), std::string::npos) << log;
}

// Two bad PCRs in a row: both go back on the line of the good clock, the
// output clock never runs backwards, and the pass is no plain success.
TEST(CleaningHandlers, TwoBadPcrsInARowAreCorrectedFromTheLastGoodOne)
{
    const std::string in = BuildPcrStream({200, 201}, 0xC0, 500);
    Cleanup cleanup{{in}};
    Road road;
    road.host.PcrCorrectionAnswer = true;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string out = TempName("pcr2_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    const TCleaningResult result = road.Clean(out);
    const std::string log = AllLog();
    EXPECT_EQ(CountOccurrences(log, "Try to correct PCR value to "), 2) << log;
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c, in);
    ExpectWrittenCounts(road, c);
    ASSERT_EQ(c.Pcr90.size(), 500u);
    // Every PCR is where the clock puts it, 40 ms apart (the corrected ones
    // by the packets between them, which the tables make a little uneven).
    for (size_t i = 1; i < c.Pcr90.size(); ++i)
        EXPECT_NEAR(c.Pcr90[i] - c.Pcr90[i - 1], 3600, 900) << i;
    EXPECT_EQ(c.Pcr90.back() - c.Pcr90.front(), 499 * 3600);
    EXPECT_EQ(road.pass->TotalWarnings(), 2);
    EXPECT_EQ(result, TCleaningResult::Success);
}

// A bad PCR before the clock's rate is known has no sound correction: it
// stays, counts as an error, and the result says errors occurred.
TEST(CleaningHandlers, UncorrectablePcrIsLeftAndCountsAsError)
{
    const std::string in = BuildPcrStream({1}, 0xC0, 100);
    Cleanup cleanup{{in}};
    Road road;
    road.host.PcrCorrectionAnswer = true;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string out = TempName("pcr1_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors);
    EXPECT_EQ(AllLog().find("Try to correct PCR value to "), std::string::npos);
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c, in);
    ExpectWrittenCounts(road, c);
    ASSERT_GT(c.Pcr90.size(), 2u);
    EXPECT_EQ(c.Pcr90[1] - c.Pcr90[0], 3600 + 900000);
    EXPECT_GE(road.pass->TotalErrors(), 1);
}

// An HD-like stream with damaged headers or damaged PCRs, the correction
// answered Yes: every PCR written is inside the PCR range (the sanitizer
// build catches an overflowing product).
namespace {

// The HD-like program of the two tests below (hundreds of packets between
// PCRs), its clock passing its wrap halfway through; `damage` breaks the
// rendered packets. Returns the recording's name; endPts is where its
// clock ends.
std::string FlippedHdRecording(const std::function<void(Bytes&)>& damage, int64_t& endPts)
{
    TProgramOptions o;
    o.Streams = {{0x1B, 0x101, {}}, {3, 0x102, {}}};
    o.PesCount = 120;
    o.TablesEvery = 12;
    o.VideoBytes = 40000;
    o.VideoStartCode = 0x09;
    o.FirstPts = kPtsModulus - 120 * 3600 / 2;
    endPts = o.FirstPts + 120 * 3600;
    Bytes b = BuildProgram(o).Render();
    damage(b);
    const std::string in = TempName("hdflip");
    WriteFile(in, b);
    return in;
}

// What both must show: every PCR written inside the PCR range, and the clock
// still ending where the recording's does (a correction built on
// corrections drifts away).
void ExpectClockInRange(const OutputCheck& c, int64_t endPts)
{
    ASSERT_GT(c.Pcr90.size(), 50u);
    for (int64_t p : c.Pcr90)
        EXPECT_LT(p, kPtsModulus);
    EXPECT_NEAR(static_cast<double>(c.Pcr90.back()), static_cast<double>((endPts - 3600 - 9000) % kPtsModulus),
                4 * 90000.0);
}

} // namespace

TEST(CleaningHandlers, PcrCorrectionOnFlippedHeadersStaysInRange)
{
    // A bit flipped in the header or adaptation field (bytes 1 to 11) of 5 %
    // of the packets: PIDs, counters and flags go wrong, which are errors of
    // the program's streams.
    int64_t endPts = 0;
    const std::string in = FlippedHdRecording(
        [](Bytes& b) {
            uint32_t seed = 4711;
            for (size_t i = 20; i < b.size() / 188; ++i) {
                seed = seed * 1103515245u + 12345u;
                if ((seed >> 16) % 100 < 5)
                    b[i * 188 + 1 + (seed >> 8) % 11] ^= static_cast<uint8_t>(1u << ((seed >> 4) % 8));
            }
        },
        endPts);
    Cleanup cleanup{{in}};
    Road road;
    road.host.PcrCorrectionAnswer = true;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string out = TempName("hdflip_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
    EXPECT_GT(road.pass->TotalErrors(), 0);
    const OutputCheck c = CheckOutput(out);
    ExpectWrittenCounts(road, c);
    ExpectClockInRange(c, endPts);
}

TEST(CleaningHandlers, PcrCorrectionOnFlippedPcrsStaysInRange)
{
    // From the sixth PCR on (the clock's rate is known by then), a bit of
    // the top byte of every third PCR base flipped: each moves the clock by
    // 2^25 ticks (six minutes) or more, out of range, and each is put back
    // on the clock's line: warnings, nothing lost, a plain success.
    int flippedPcrs = 0;
    int64_t endPts = 0;
    const std::string in = FlippedHdRecording(
        [&flippedPcrs](Bytes& b) {
            int pcrs = 0;
            for (size_t i = 0; i < b.size() / 188; ++i) {
                uint8_t* p = b.data() + i * 188;
                int64_t pcr;
                if (!ReadPacketPcr(p, pcr) || ++pcrs < 6 || pcrs % 3 != 0)
                    continue;
                p[6] ^= static_cast<uint8_t>(1u << (pcrs % 8));
                ++flippedPcrs;
            }
        },
        endPts);
    Cleanup cleanup{{in}};
    ASSERT_GT(flippedPcrs, 10);
    Road road;
    road.host.PcrCorrectionAnswer = true;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string out = TempName("pcrflip_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    EXPECT_EQ(CountOccurrences(AllLog(), "Try to correct PCR value to "), flippedPcrs) << AllLog();
    EXPECT_EQ(road.pass->TotalWarnings(), flippedPcrs);
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c, in);
    ExpectWrittenCounts(road, c);
    ExpectClockInRange(c, endPts);
}

TEST(CleaningHandlers, AudioStreamIdIsPatchedAtEveryPesStart)
{
    const std::string in = BuildPcrStream({}, 0xC0);
    Cleanup cleanup{{in}};
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    TAnalysisTables& t = road.engine->Tables();
    ASSERT_TRUE(t.AddPatchEntry(0x102, PATCH_KIND_STREAM_ID, 0xBD, 0xC0));
    const std::string out = TempName("sid_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c, in);
    ExpectWrittenCounts(road, c);
    const int e = t.FindPatchEntry(0x102, PATCH_KIND_STREAM_ID);
    EXPECT_EQ(t.Patches[e].PatchedCount, 300);
    EXPECT_EQ(t.Patches[e].FailedCount, 0);
    const Bytes b = ReadFile(out);
    int starts = 0;
    for (size_t i = 0; i < b.size() / 188; ++i) {
        const uint8_t* p = b.data() + i * 188;
        if (Pid(p) == 0x102 && (p[1] & 0x40)) {
            const int s = PacketPayloadStart(p);
            ASSERT_GE(s, 0);
            EXPECT_EQ(p[s + 3], 0xBD);
            ++starts;
        }
    }
    EXPECT_EQ(starts, 300);
}

// Cut-in and cut-out, a new service identifier and a remapped PID together,
// checked by analysing the output again with the program's own readers.
TEST(CleaningRoad, CutRangeNewServiceIdAndRemappedPid)
{
    const std::string in = DataFile("cleaning/h264_ac3_cbr.ts");
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    TAnalysisTables& t = road.engine->Tables();
    const int64_t firstPcr90 = t.FirstPcr90k;
    const int64_t firstPts = t.FirstPts;
    ASSERT_GT(t.Duration, 2 * 90000 + 45000);
    ASSERT_GE(t.AudioEntryCount, 1);
    const int audioPid = t.Audio[0].Pid;
    const int videoPid = road.pass->VideoPid();
    road.pass->Options.CutIn = 1 * 90000;
    road.pass->Options.CutOut = 2 * 90000;
    road.pass->Options.NewServiceId = 0x1234;
    const int audioIndex = t.FoundStreamIndex(audioPid);
    ASSERT_GE(audioIndex, 0);
    t.FoundStreams[audioIndex].ReplacementPid = 0x777;
    road.pass->Options.PidRemapCount = 1;
    const std::string out = TempName("cut");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const std::string log = AllLog();
    EXPECT_NE(log.find("Patching ProgramNumber(SID) from $" + IntToHex(t.ProgramNumber, 4) + " to $1234"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Patching PMT entry: PID $" + IntToHex(audioPid, 4) + " to $0777"), std::string::npos);
    EXPECT_GT(road.pass->State.CutAtBeginning, 0);
    EXPECT_GT(road.pass->State.CutAtEnd, 0);

    const OutputCheck c = CheckOutput(out);
    ExpectSoundStructure(c);
    ExpectWrittenCounts(road, c);
    EXPECT_EQ(c.Pids.count(audioPid), 0u);
    EXPECT_EQ(c.Pids.count(0x777), 1u);

    Road again;
    ASSERT_TRUE(again.Analyse(out)) << AllLog();
    const TAnalysisTables& o = again.engine->Tables();
    EXPECT_EQ(o.ProgramNumber, 0x1234);
    EXPECT_EQ(again.engine->Selection().Pmt().ProgramNumber(), 0x1234);
    EXPECT_GE(again.engine->Selection().Pmt().IndexOfPid(0x777), 0);
    EXPECT_LT(again.engine->Selection().Pmt().IndexOfPid(audioPid), 0);
    EXPECT_GE(again.engine->Selection().Pmt().IndexOfPid(videoPid), 0);
    // The written range starts at the first PCR at or past the cut-in and
    // ends about one frame before the cut-out.
    EXPECT_GE(o.FirstPcr90k - firstPcr90, 1 * 90000);
    EXPECT_LT(o.FirstPcr90k - firstPcr90, 1 * 90000 + 9000);
    EXPECT_LE(o.LastPcr90k - firstPcr90, 2 * 90000);
    EXPECT_GT(o.LastPcr90k - firstPcr90, 2 * 90000 - 9000);
    ASSERT_FALSE(c.Pts.empty());
    // The stamps of the written frames lie in the same second, counted from
    // the first PTS (give or take the half second of a GOP at the edges).
    for (int64_t pts : c.Pts) {
        EXPECT_GE(pts, firstPts + 1 * 90000 - 90000 / 2) << pts;
        EXPECT_LE(pts, firstPts + 2 * 90000 + 90000 / 2) << pts;
    }
    // The time the progress window shows is the time written so far, counted
    // from the cut-in: it ends near the length of the range, and never shows
    // the clock of the recording or the second before the cut-in.
    auto ms = [](const std::string& text) {
        int h = 0, m = 0, sec = 0, z = 0;
        EXPECT_EQ(std::sscanf(text.c_str(), "%2d:%2d:%2d.%3d", &h, &m, &sec, &z), 4) << text;
        return ((h * 60 + m) * 60 + sec) * 1000 + z;
    };
    const std::string cutLine = "Cutting the end at paket $";
    const size_t at = log.find(cutLine);
    ASSERT_NE(at, std::string::npos) << log;
    const size_t pcr = log.find(" PCR: ", at);
    ASSERT_NE(pcr, std::string::npos) << log;
    const int elapsed = ms(log.substr(pcr + 6, 12));
    EXPECT_GT(elapsed, 850) << log.substr(at, 80);
    EXPECT_LE(elapsed, 1000) << log.substr(at, 80);
    ASSERT_FALSE(road.host.TimeTexts.empty());
    for (const std::string& text : road.host.TimeTexts)
        EXPECT_LE(ms(text), 1000) << text;
}

// Stray bytes in the middle of a recording cost the copy nothing: the packet
// behind them is found again and written, so the copy equals that of the
// undamaged recording, packet for packet; the log names the packet found.
TEST(CleaningRoad, StrayBytesLoseNoPacket)
{
    for (const int before : {12, 300}) {
        TProgramOptions o;
        o.PesCount = 40;
        test::TsStream clean = BuildProgram(o);
        test::TsStream damaged = BuildProgram(o);
        damaged.InsertGarbageBefore(static_cast<size_t>(before), test::Garbage(33, 3));
        const std::string inClean = TempName("stray_clean"), inDamaged = TempName("stray_damaged");
        clean.Save(inClean);
        damaged.Save(inDamaged);
        const std::string outClean = TempName("stray_out1"), outDamaged = TempName("stray_out2");
        Cleanup cleanup{{inClean, inDamaged, outClean, ChangeFileExt(outClean, ".log"), outDamaged,
                         ChangeFileExt(outDamaged, ".log")}};
        Road road;
        ASSERT_TRUE(road.Analyse(inClean)) << AllLog();
        ASSERT_EQ(road.Clean(outClean), TCleaningResult::Success) << AllLog();
        ASSERT_TRUE(road.Analyse(inDamaged)) << AllLog();
        EXPECT_NE(road.Clean(outDamaged), TCleaningResult::Failed) << AllLog();
        const std::string log = AllLog();
        EXPECT_NE(log.find("Resync found for paket $" + IntToHex(before, 8) + " with Offset: 33"), std::string::npos) << log;
        const Bytes a = ReadFile(outClean), b = ReadFile(outDamaged);
        EXPECT_EQ(a.size() / 188, b.size() / 188) << before;
        EXPECT_TRUE(a == b) << before;
    }
}
