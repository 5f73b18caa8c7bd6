// A disk that fills up while the cleaning pass writes: the pass must end as a
// failure with the platform's reason, never as a success, and must not count
// as written what never reached the file.
#include "CleaningTestSupport.h"

#include "analysis/MainTexts.h"
#include "analysis/CleaningChain.h"
#include "analysis/ScanPasses.h"
#include "tests/support/FailingInput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

using namespace tw;
using namespace tw::cleantest;

namespace {

// The output file, which takes the first `limit` bytes and then refuses more
// as a full disk does. A silent one claims to have written what it dropped
// (a driver that loses data without a word): only the file's size tells.
class FillingFileStream : public TFileStream {
public:
    FillingFileStream(const std::string& name, int64_t limit, bool silent)
        : TFileStream(name, fmCreate), limit_(limit), silent_(silent)
    {
    }
    int64_t Write(const void* buffer, int64_t count) override
    {
        const int64_t room = std::max<int64_t>(0, limit_ - written_);
        const int64_t put = TFileStream::Write(buffer, std::min(count, room));
        written_ += put;
        if (silent_)
            return count;
        if (put < count)
            SetLastErrorText("There is not enough space on the disk.");
        return put;
    }

private:
    int64_t limit_;
    bool silent_;
    int64_t written_ = 0;
};

void FillAfter(Road& road, int64_t limit, bool silent = false)
{
    road.pass->TSPacketWriter1->CreateOutputStream = [limit, silent](const std::string& name) {
        return std::unique_ptr<TFileStream>(std::make_unique<FillingFileStream>(name, limit, silent));
    };
}


// A recording long enough that the pass looks at the writer's health on its
// way (every ten thousand packets), not only at its end.
std::string LongRecording()
{
    test::TsStream s;
    s.AddPat({{1, 0x100}});
    s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
    int64_t pts = 900000;
    while (s.PacketCount() < 30000) {
        test::Bytes es(3000, 0x11);
        es[0] = 0;
        es[1] = 0;
        es[2] = 1;
        es[3] = 0xB3;
        s.AddPes(0x101, test::PesPacket(0xE0, es, pts), (pts - 9000) * 300);
        pts += 3600;
        if (s.PacketCount() % 500 < 20) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
        }
    }
    const std::string name = TempName("fill_long");
    s.Save(name);
    return name;
}

// What every failed write must show: the failure with its reason in the
// message and the log, no success sound or message, and no more bytes on the
// disk than the disk took.
void ExpectWriteFailure(Road& road, TCleaningResult result, const std::string& out, int64_t limit,
                        const std::string& reason)
{
    const std::string log = AllLog();
    EXPECT_EQ(result, TCleaningResult::Failed) << log;
    ASSERT_FALSE(road.host.Sounds.empty());
    EXPECT_EQ(road.host.Sounds.back(), "STREAMCLEANINGFAILED");
    EXPECT_EQ(std::count(road.host.Sounds.begin(), road.host.Sounds.end(), "STREAMCLEANINGSUCCESSFULLYCOMPLETED"), 0);
    ASSERT_FALSE(road.host.Messages.empty());
    EXPECT_EQ(road.host.Messages.back().first, TMessageKind::Error);
    const std::string& message = road.host.Messages.back().second;
    EXPECT_EQ(message.rfind("Process aborted with errors!\r", 0), 0u) << message;
    EXPECT_NE(message.find(reason), std::string::npos) << message;
    for (const auto& m : road.host.Messages)
        EXPECT_EQ(m.second.find("Process successfully completed!"), std::string::npos) << m.second;
    EXPECT_NE(log.find("TS  ERROR: Writing " + out + " failed: "), std::string::npos) << log;
    EXPECT_NE(log.find(reason), std::string::npos) << log;
    EXPECT_NE(log.find("---------- ABORTED ----------"), std::string::npos) << log;
    // A partial output may stay or go; what stays is no more than was taken.
    EXPECT_LE(static_cast<int64_t>(ReadFile(out).size()), limit);
}

} // namespace

TEST(CleaningWriteFailure, FullDiskMidPassStopsThePassAndFails)
{
    const std::string in = LongRecording();
    const std::string out = TempName("fill_mid");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const int64_t packets = static_cast<int64_t>(ReadFile(in).size() / 188);
    // A small ring: blocks go to the disk all through the pass, and the disk
    // is full after 50 packets.
    road.pass->Options.WriterBufferPackets = 300;
    const int64_t limit = 50 * 188;
    FillAfter(road, limit);
    const TCleaningResult r = road.Clean(out);
    ExpectWriteFailure(road, r, out, limit, "There is not enough space on the disk.");
    // Found at the first look at the writer's health: the rest of the
    // recording is not read for nothing.
    EXPECT_LT(road.pass->State.BytesPassed, (packets - 5000) * 188);
}

TEST(CleaningWriteFailure, FullDiskAtTheLastFlushFails)
{
    // A short recording: everything queued goes to the disk when the pass
    // ends, and that write fails.
    const std::string in = DataFile("cleaning/h264_ac3_cbr.ts");
    const std::string out = TempName("fill_end");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    const int64_t limit = 100 * 188 + 17;
    FillAfter(road, limit);
    const TCleaningResult r = road.Clean(out);
    ExpectWriteFailure(road, r, out, limit, "There is not enough space on the disk.");
}

TEST(CleaningWriteFailure, OutputShorterThanQueuedFailsWithTheCounts)
{
    // The disk takes 100 packets and claims to have taken all: the pass
    // compares the file with what it queued and fails, naming both counts.
    const std::string in = DataFile("cleaning/h264_ac3_cbr.ts");
    const std::string out = TempName("fill_silent");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    // What a whole copy holds, from a copy that worked.
    const std::string ref = TempName("fill_ref");
    cleanup.Files.push_back(ref);
    cleanup.Files.push_back(ChangeFileExt(ref, ".log"));
    {
        Road whole;
        ASSERT_TRUE(whole.Analyse(in));
        ASSERT_EQ(whole.Clean(ref), TCleaningResult::Success) << AllLog();
    }
    const int64_t wholePackets = CheckOutput(ref).Packets;
    ASSERT_GT(wholePackets, 100);
    const int64_t limit = 100 * 188;
    FillAfter(road, limit, true);
    const TCleaningResult r = road.Clean(out);
    const std::string reason = "the output holds 100 packets instead of " + IntToStr(wholePackets);
    ExpectWriteFailure(road, r, out, limit, reason);
    // The disk's word was wrong: the stream panels count what the file
    // holds, read back from it.
    const OutputCheck c = CheckOutput(out);
    const TAnalysisTables& t = road.engine->Tables();
    int64_t counted = 0;
    for (int i = 0; i < t.PidRecordCount; ++i) {
        const auto n = c.PacketsPerPid.find(t.PidRecords[i].Pid);
        EXPECT_EQ(t.PidRecords[i].PacketCount, n == c.PacketsPerPid.end() ? 0 : n->second) << t.PidRecords[i].Pid;
        counted += t.PidRecords[i].PacketCount;
    }
    EXPECT_GT(counted, 0);
    EXPECT_LT(counted, 100);
}

namespace {

// An output whose n-th write puts only part of its bytes and fails, as a
// disk that hiccups (a network drive, a loose cable); later writes would go
// through again.
class HiccupFileStream : public TFileStream {
public:
    HiccupFileStream(const std::string& name, int failingWrite, int64_t partial)
        : TFileStream(name, fmCreate), failingWrite_(failingWrite), partial_(partial)
    {
    }
    int64_t Write(const void* buffer, int64_t count) override
    {
        if (++writes_ != failingWrite_)
            return TFileStream::Write(buffer, count);
        const int64_t put = TFileStream::Write(buffer, std::min(count, partial_));
        SetLastErrorText("The specified network name is no longer available.");
        return put;
    }

private:
    int failingWrite_;
    int64_t partial_;
    int writes_ = 0;
};

} // namespace

TEST(CleaningWriteFailure, AWriteFailingMidwayLeavesACleanPrefixAndTheCountsOfTheFile)
{
    // Blocks of 100 packets go out all through the pass; the fourth puts
    // 5,000 bytes (26 packets and a torn one) and fails. The copy is the
    // start of the whole copy, cut at its last whole packet, with nothing
    // written behind the failure; the stream panels count what it holds.
    const std::string in = DataFile("cleaning/h264_ac3_cbr.ts");
    const std::string out = TempName("hiccup");
    const std::string ref = TempName("hiccup_ref");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log"), ref, ChangeFileExt(ref, ".log")}};
    {
        Road whole;
        ASSERT_TRUE(whole.Analyse(in));
        whole.pass->Options.WriterBufferPackets = 300;
        ASSERT_EQ(whole.Clean(ref), TCleaningResult::Success) << AllLog();
    }
    const Bytes reference = ReadFile(ref);
    ASSERT_GT(reference.size(), 1000u * 188);

    Road road;
    ASSERT_TRUE(road.Analyse(in));
    road.pass->Options.WriterBufferPackets = 300;
    road.pass->TSPacketWriter1->CreateOutputStream = [](const std::string& name) {
        return std::unique_ptr<TFileStream>(std::make_unique<HiccupFileStream>(name, 4, 5000));
    };
    const TCleaningResult r = road.Clean(out);
    ExpectWriteFailure(road, r, out, 300 * 188 + 5000, "The specified network name is no longer available.");
    const Bytes copy = ReadFile(out);
    ASSERT_EQ(copy.size(), (300 + 26) * 188u);
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), reference.begin())) << "not a prefix of the whole copy";
    EXPECT_NE(road.host.Messages.back().second.find("incomplete"), std::string::npos) << road.host.Messages.back().second;

    // The counts of the streams: the copy's packets per PID, read here.
    const OutputCheck c = CheckOutput(out);
    const TAnalysisTables& t = road.engine->Tables();
    int streams = 0;
    for (int i = 0; i < t.PidRecordCount; ++i) {
        const TPidRecord& rec = t.PidRecords[i];
        const auto n = c.PacketsPerPid.find(rec.Pid);
        const int64_t held = n == c.PacketsPerPid.end() ? 0 : n->second;
        EXPECT_EQ(rec.PacketCount, held) << "PID " << rec.Pid;
        EXPECT_EQ(road.host.SizeLabels["$" + IntToHex(rec.Pid, 4)], SizeText(held * 188)) << "PID " << rec.Pid;
        streams += held > 0 ? 1 : 0;
    }
    EXPECT_EQ(streams, 2);
}

namespace {

// A host whose window side throws once the pass has measured `FailAfterBits`,
// as an exception from a window call would end a pass in the program.
class ThrowingMeterHost : public TestHost {
public:
    int64_t FailAfterBits = 0;
    void MeterSample(int line, int64_t bits) override
    {
        TestHost::MeterSample(line, bits);
        if (MeterBits > FailAfterBits)
            throw std::runtime_error("meter failed");
    }
};

} // namespace

TEST(CleaningWriteFailure, APassEndedByAnExceptionCountsWhatTheFileHolds)
{
    // A window call throws part-way through the pass and ends it on
    // its exception path. The ring holds the whole recording, so all that
    // was queued goes out as the writer closes, in one write that puts
    // 5,000 bytes (26 packets and a torn one) and fails. The stream panels
    // count the packets the copy holds, not those that were queued.
    const std::string in = DataFile("cleaning/h264_ac3_cbr.ts");
    const std::string out = TempName("throw_hiccup");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    RoadWith<ThrowingMeterHost> road;
    ASSERT_TRUE(road.Analyse(in));
    road.pass->Options.WriterBufferPackets = 100000;
    road.pass->TSPacketWriter1->CreateOutputStream = [](const std::string& name) {
        return std::unique_ptr<TFileStream>(std::make_unique<HiccupFileStream>(name, 1, 5000));
    };
    road.host.FailAfterBits = 100000 * 8;
    EXPECT_EQ(road.Clean(out), TCleaningResult::Failed);
    EXPECT_TRUE(road.pass->TerminateRequested());
    ASSERT_FALSE(road.host.Messages.empty());
    EXPECT_NE(road.host.Messages.back().second.find("meter failed"), std::string::npos)
        << road.host.Messages.back().second;

    const OutputCheck c = CheckOutput(out);
    ASSERT_EQ(c.Packets, 26);
    const TAnalysisTables& t = road.engine->Tables();
    int64_t counted = 0;
    for (int i = 0; i < t.PidRecordCount; ++i) {
        const TPidRecord& rec = t.PidRecords[i];
        const auto n = c.PacketsPerPid.find(rec.Pid);
        const int64_t held = n == c.PacketsPerPid.end() ? 0 : n->second;
        EXPECT_EQ(rec.PacketCount, held) << "PID " << rec.Pid;
        EXPECT_EQ(road.host.SizeLabels["$" + IntToHex(rec.Pid, 4)], SizeText(held * 188)) << "PID " << rec.Pid;
        counted += rec.PacketCount;
    }
    // The copy begins with the tables; the rest of its 26 packets are the
    // streams'.
    EXPECT_GT(counted, 0);
    EXPECT_LT(counted, 26);
}

// A recording that cannot be read to its end (a failing disk, a file cut
// short by another program while the pass reads it) is no success: the pass
// fails with the recording's name and the reason, and blames no output.
TEST(CleaningReadFailure, ARecordingThatFailsMidwayFailsThePass)
{
    const std::string in = LongRecording();
    for (const std::string& reason : {std::string("The device is not ready."), std::string()}) {
        const std::string out = TempName("readfail");
        Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        const int64_t size = static_cast<int64_t>(ReadFile(in).size());
        test::FailInputAt(road.engine->Chain().Reader(), size / 2 + 33, reason);
        const TCleaningResult r = road.Clean(out);
        const std::string log = AllLog();
        EXPECT_EQ(r, TCleaningResult::Failed) << log;
        ASSERT_FALSE(road.host.Sounds.empty());
        EXPECT_EQ(road.host.Sounds.back(), "STREAMCLEANINGFAILED");
        EXPECT_EQ(std::count(road.host.Sounds.begin(), road.host.Sounds.end(), "STREAMCLEANINGSUCCESSFULLYCOMPLETED"), 0);
        ASSERT_FALSE(road.host.Messages.empty());
        EXPECT_EQ(road.host.Messages.back().first, TMessageKind::Error);
        const std::string& message = road.host.Messages.back().second;
        EXPECT_EQ(message.rfind("Process aborted with errors!\r", 0), 0u) << message;
        const std::string why = reason.empty() ? "shorter than when it was opened" : reason;
        EXPECT_NE(message.find(why), std::string::npos) << message;
        EXPECT_NE(message.find(in), std::string::npos) << message;
        EXPECT_EQ(message.find("Writing"), std::string::npos) << message;
        for (const auto& m : road.host.Messages)
            EXPECT_EQ(m.second.find("successfully completed"), std::string::npos) << m.second;
        EXPECT_NE(log.find("TS  ERROR: Reading " + in + " failed: "), std::string::npos) << log;
        EXPECT_EQ(log.find("TS  ERROR: Writing"), std::string::npos) << log;
        EXPECT_NE(log.find("---------- ABORTED ----------"), std::string::npos) << log;
        // The half that was read is kept for the user, who is told that it
        // is not the whole copy.
        EXPECT_NE(message.find(out), std::string::npos) << message;
        EXPECT_LT(static_cast<int64_t>(ReadFile(out).size()), size);
    }
    RemoveFile(in);
}

// The analysis reads the same recording: one that gives out at its start, in
// its middle (reached by the start/end scan) or near its end is no analysed
// recording. The analysis fails with the file and the reason in the log and
// a message, leaves a failed step behind and offers no cleaning.
TEST(AnalysisReadFailure, ARecordingThatFailsWhileScannedIsNoAnalysis)
{
    const std::string in = LongRecording();
    const int64_t size = static_cast<int64_t>(ReadFile(in).size());
    for (const int64_t failAt : {int64_t{188 * 40 + 7}, size / 2 + 33, size - 188 * 3}) {
        for (const std::string& reason : {std::string("The device is not ready."), std::string()}) {
            ClearLog();
            Road road;
            test::FailInputAt(*road.engine->Scan().Reader(), failAt, reason);
            EXPECT_FALSE(road.Analyse(in)) << failAt << "\n" << AllLog();
            EXPECT_FALSE(road.engine->Analysed());
            const std::string log = AllLog();
            const std::string why = reason.empty() ? "shorter than when it was opened" : reason;
            EXPECT_NE(log.find("Reading " + in + " failed: "), std::string::npos) << failAt << "\n" << log;
            EXPECT_NE(log.find(why), std::string::npos) << log;
            ASSERT_FALSE(road.host.Messages.empty()) << failAt;
            EXPECT_EQ(road.host.Messages.back().first, TMessageKind::Error);
            EXPECT_NE(road.host.Messages.back().second.find(in), std::string::npos) << road.host.Messages.back().second;
            EXPECT_NE(road.host.Messages.back().second.find(why), std::string::npos);
            bool failed = false;
            for (int s = 0; s < ANALYSIS_STEP_COUNT; ++s)
                failed = failed || road.engine->StepState(static_cast<TAnalysisStep>(s)) == TStepState::Failed;
            EXPECT_TRUE(failed) << failAt;
        }
    }
    RemoveFile(in);
}

namespace {

// A medium that gives out while the analysis runs: from the moment `failing`
// is set, every read brings nothing, with the platform's reason.
class GivingOutStream : public TBufFileStream {
public:
    GivingOutStream(const std::string& name, unsigned mode, int bufferSize, const std::atomic<bool>* failing)
        : TBufFileStream(name, mode, bufferSize), failing_(failing) {}
    ~GivingOutStream() override { FinishReading(); }

protected:
    int64_t ReadFromFile(int64_t position, void* buffer, int64_t count, std::string* error) const override {
        if (!failing_->load()) return TBufFileStream::ReadFromFile(position, buffer, count, error);
        if (error) *error = "The device is not ready.";
        return 0;
    }

private:
    const std::atomic<bool>* failing_;
};

// Sets the medium failing when a chosen step of the analysis starts.
class StepFailHost : public TestHost {
public:
    TAnalysisStep FailAt = asGarbageScan;
    std::atomic<bool> Failing{false};
    void SetStep(TAnalysisStep step, TStepState state, const std::string&) override {
        if (step == FailAt && state == TStepState::Running) Failing = true;
    }
};

} // namespace

// The medium may give out in any step: each one that reads the recording
// anew ends the analysis as failed, with the reason, in that step. (A small
// recording is held whole in the reader's buffer after the first steps:
// the made one is large enough to be read again.)
TEST(AnalysisReadFailure, AMediumThatGivesOutInAnyScanningStepFailsThatStep)
{
    const std::string made = LongRecording();
    struct Case {
        std::string in;
        TAnalysisStep step;
    };
    for (const Case& c : {Case{made, asPidScan}, Case{made, asPatScan}, Case{made, asStartEndCheck},
                          Case{made, asVideoDetailsScan}}) {
        const std::string& in = c.in;
        const TAnalysisStep step = c.step;
        ClearLog();
        RoadWith<StepFailHost> road;
        road.host.FailAt = step;
        const std::atomic<bool>* failing = &road.host.Failing;
        road.engine->Scan().Reader()->CreateInputStream = [failing](const std::string& name, unsigned mode,
                                                                     int bufferSize) {
            return std::unique_ptr<TBufFileStream>(std::make_unique<GivingOutStream>(name, mode, bufferSize, failing));
        };
        EXPECT_FALSE(road.Analyse(in)) << step << "\n" << AllLog();
        EXPECT_EQ(road.engine->StepState(step), TStepState::Failed) << step;
        EXPECT_NE(AllLog().find("The device is not ready."), std::string::npos) << step;
    }
    RemoveFile(made);
}
