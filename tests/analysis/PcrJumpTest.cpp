// The PCR check of the cleaning pass on a real recording (ffmpeg's MPEG-2
// video and MP2 audio) whose clock was changed by hand: a PCR that jumped on
// its own is put back on the program's time stamps to the end, a jump the
// time stamps made as well (a gap in the recording) is left alone, and a
// copy whose clock still disagrees with its time stamps is no plain success.
// What the copy is judged by: every PCR against the next decode time of the
// program after it, as a decoder meets them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ClockEditing.h"
#include "CleaningTestSupport.h"

#include "analysis/PatchTable.h"
#include "analysis/TableSelection.h"
#include "ts/TSPmtReader.h"
#include "ts/TSTimeStamp.h"

using namespace tw;
using namespace tw::cleantest;

namespace {

struct Variant {
    const char* Name;
    bool OwnPid;
    bool NearTheWrap; // the whole recording moved so that its clock wraps halfway
};

const Variant kVariants[] = {
    {"video PID", false, false},
    {"own PID", true, false},
    {"across the wrap", false, true},
};

// The fixture as the variant has it, the packet halfway along its PCRs
// from which the change starts, and how many PCRs lie from there on.
Bytes Recording(const Variant& v, size_t& middle, int* pcrsFromMiddle = nullptr)
{
    Bytes b = ReadFile(DataFile("analysis/mpeg2_mp2.ts"));
    if (v.OwnPid)
        b = PcrOnItsOwnPid(b);
    const std::vector<size_t> pcrs = PcrPackets(b);
    middle = pcrs.empty() ? 0 : pcrs[pcrs.size() / 2];
    if (pcrsFromMiddle)
        *pcrsFromMiddle = static_cast<int>(pcrs.size() - pcrs.size() / 2);
    if (v.NearTheWrap) {
        // The recording's clock starts 1.2 s before the wrap of 2^33.
        int64_t first = 0;
        ReadPacketPcr(b.data() + pcrs.front() * 188, first);
        const int64_t to90 = kPtsModulus - 108000 - first / kClockRatio;
        Shift(b, 0, to90 * kClockRatio, to90, false);
    }
    return b;
}

struct Outcome {
    TCleaningResult Result = TCleaningResult::NotRun;
    int Questions = 0;
    std::string Log;
    ClockLeads Leads;
    Bytes Copy;
};

// remapTo: the PID the clock's PID gets in the copy (the patch dialog's
// choice); -1 for none. preserve: PIDs ticked in the preserve list.
Outcome CleanAnswering(const Bytes& recording, bool yes, const std::string& tag, int remapTo = -1,
                       const std::set<int>& preserve = {})
{
    Outcome o;
    const std::string in = TempName(tag), out = TempName(tag + "_out");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    WriteFile(in, recording);
    Road road;
    road.host.PcrCorrectionAnswer = yes;
    if (!road.Analyse(in)) {
        ADD_FAILURE() << tag << AllLog();
        return o;
    }
    if (remapTo >= 0) {
        TAnalysisTables& t = road.engine->Tables();
        const int i = t.FoundStreamIndex(road.engine->Selection().Pmt().PcrPid());
        if (i < 0) {
            ADD_FAILURE() << tag << ": no found stream carries the clock";
            return o;
        }
        t.FoundStreams[static_cast<size_t>(i)].ReplacementPid = remapTo;
        road.pass->Options.PidRemapCount = 1;
    }
    if (!preserve.empty()) {
        TPreserveList& list = road.pass->PreserveList;
        FillPreserveList(*road.engine, list);
        for (int i = 0; i < list.Count(); ++i) {
            int pid = -1;
            list.Item(i).Checked = TPreserveList::ItemPid(list.Item(i).Text, pid) && preserve.count(pid) > 0;
        }
    }
    o.Result = road.Clean(out);
    o.Questions = road.host.PcrQuestions;
    o.Log = AllLog();
    o.Copy = ReadFile(out);
    o.Leads = LeadsOf(o.Copy);
    return o;
}

// (a) The clock alone jumped 100 s (or back 100 s): every PCR from there on
// goes back onto the stamps, and the copy's clock runs on without a step.
TEST(PcrJump, AClockThatJumpedOnItsOwnIsPutBackToTheEnd)
{
    for (const Variant& v : kVariants) {
        // (The discontinuity indicator set at the jump announces a new time
        // base the stamps do not have: the jump is put back all the same.)
        for (const bool announce : {false, true}) {
            for (const int64_t jump : {100 * kSecond27, -100 * kSecond27}) {
                const std::string what =
                    std::string(v.Name) + (jump > 0 ? " forward" : " back") + (announce ? " announced" : "");
                size_t middle = 0;
                int jumped = 0;
                Bytes b = Recording(v, middle, &jumped);
                Shift(b, middle, jump, 0, announce);
                const Outcome o = CleanAnswering(b, true, "pcr_own_jump");
                EXPECT_EQ(o.Questions, 1) << what;
                ExpectClockOnTheStamps(o.Leads, what);
                // Mended: warnings, one per PCR put back, and no error.
                EXPECT_EQ(o.Result, TCleaningResult::Success) << what << o.Log;
                EXPECT_EQ(CountOccurrences(o.Log, "Try to correct PCR value to "), jumped) << what << o.Log;
                // Answered No, the copy keeps the jump and says so.
                const Outcome no = CleanAnswering(b, false, "pcr_own_jump_no");
                EXPECT_EQ(no.Result, TCleaningResult::SuccessWithErrors) << what;
                EXPECT_EQ(no.Log.find("Try to correct PCR value to "), std::string::npos) << what;
            }
        }
    }
}

// The clock's PID under another number in the copy: the check follows the
// clock as it is read, so the jump is still found and put back.
TEST(PcrJump, AClockWhosePidIsRemappedIsCheckedAsWell)
{
    for (const Variant& v : kVariants) {
        size_t middle = 0;
        int jumped = 0;
        Bytes b = Recording(v, middle, &jumped);
        Shift(b, middle, 100 * kSecond27, 0, false);
        const Outcome o = CleanAnswering(b, true, "pcr_remapped", 0x0777);
        EXPECT_EQ(o.Questions, 1) << v.Name;
        ExpectClockOnTheStamps(o.Leads, v.Name);
        EXPECT_EQ(CountOccurrences(o.Log, "Try to correct PCR value to "), jumped) << v.Name << o.Log;
        EXPECT_NE(o.Log.find("Patching PCR PID: $"), std::string::npos) << v.Name;
    }
}

// (b) Clock and stamps jumped together (a gap in the recording, forward, or
// a splice back): nothing is out of range, nothing asked or rewritten; the
// same with the jump announced by the discontinuity indicator, and as in the
// recording unchanged.
TEST(PcrJump, AJumpTheStampsMadeAsWellIsLeftAlone)
{
    for (const Variant& v : kVariants) {
        for (const int64_t jump90 : {int64_t(0), 10 * kSecond90, 40 * kSecond90, -20 * kSecond90}) {
            for (const bool announce : {false, true}) {
                const std::string what = std::string(v.Name) + " " + std::to_string(jump90 / kSecond90) + " s" +
                                         (announce ? " announced" : "");
                size_t middle = 0;
                Bytes b = Recording(v, middle);
                Shift(b, middle, jump90 * kClockRatio, jump90, announce);
                const Outcome o = CleanAnswering(b, true, "pcr_gap");
                EXPECT_EQ(o.Questions, 0) << what;
                EXPECT_EQ(o.Log.find("Try to correct PCR value to "), std::string::npos) << what;
                EXPECT_EQ(o.Log.find("PCR timing"), std::string::npos) << what;
                EXPECT_EQ(o.Result, TCleaningResult::Success) << what << o.Log;
                ExpectClockOnTheStamps(o.Leads, what);
            }
        }
    }
}

// The clock jumped 130 s while the stamps jumped 30 s: put back on its own
// line, the clock still lies 30 s behind the stamps. That is no plain success.
TEST(PcrJump, ACopyWhoseClockStillDisagreesIsNoPlainSuccess)
{
    for (const Variant& v : kVariants) {
        size_t middle = 0;
        Bytes b = Recording(v, middle);
        Shift(b, middle, 130 * kSecond27, 30 * kSecond90, false);
        const Outcome o = CleanAnswering(b, true, "pcr_mixed");
        EXPECT_EQ(o.Questions, 1) << v.Name;
        EXPECT_GT(o.Leads.Max, 20 * kSecond90) << v.Name;
        EXPECT_EQ(o.Result, TCleaningResult::SuccessWithErrors) << v.Name << o.Log;
        EXPECT_NE(o.Log.find("does not agree with the time stamps"), std::string::npos) << v.Name;
    }
}

} // namespace

namespace {

// Two programs, most PCRs in packets that start no PES, so that what follows
// a PCR is as often the other program. The kept program's clock jumps 100 s
// on its own from the middle of its PCRs on; the other program has a gap of
// 100 s there (its clock and stamps jump together).
struct TwoPrograms {
    Bytes Changed;
    int KeptPcr = -1, OtherPcr = -1;
    std::set<int> Kept, Other;
    int PcrsPutBack = 0; // the kept clock's PCRs from the jump on
};

void MakeTwoPrograms(TwoPrograms& r)
{
    const Bytes original = ReadFile(DataFile("cleaning/two_programs_cbr.ts"));
    // Which program the analysis keeps, and the other's streams.
    {
        const std::string in = TempName("two_programs_probe");
        Cleanup cleanup{{in}};
        WriteFile(in, original);
        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        const TAnalysisTables& t = road.engine->Tables();
        const TTSPmtReader& pmt = road.engine->Selection().Pmt();
        r.KeptPcr = pmt.PcrPid();
        for (int i = 0; i < pmt.PMTEntryCount(); ++i)
            r.Kept.insert(pmt.Entry(i).PID);
        for (int pid = 0; pid < 8192; ++pid)
            if (t.IdentifiedLeftOut(pid))
                r.Other.insert(pid);
    }
    ASSERT_EQ(r.Kept.size(), 2u);
    ASSERT_EQ(r.Other.size(), 2u);
    ASSERT_TRUE(r.Kept.count(r.KeptPcr));
    std::vector<size_t> pcrs;
    for (size_t i = 0; i < original.size() / 188; ++i) {
        const uint8_t* p = original.data() + i * 188;
        if (Pid(p) == r.KeptPcr && HasPcr(p))
            pcrs.push_back(i);
        if (r.Other.count(Pid(p)) && HasPcr(p))
            r.OtherPcr = Pid(p);
    }
    ASSERT_GT(pcrs.size(), 60u);
    ASSERT_GE(r.OtherPcr, 0);
    const size_t middle = pcrs[pcrs.size() / 2];
    r.PcrsPutBack = static_cast<int>(pcrs.size() - pcrs.size() / 2);
    r.Changed = original;
    const std::set<int> keptClock{r.KeptPcr};
    Shift(r.Changed, middle, 100 * kSecond27, 0, false, &keptClock);
    Shift(r.Changed, middle, 100 * kSecond27, 100 * kSecond90, false, &r.Other);
}

std::vector<int64_t> PcrsOn(const Bytes& b, const std::set<int>& pids)
{
    std::vector<int64_t> v;
    int64_t pcr;
    for (size_t i = 0; i < b.size() / 188; ++i)
        if (pids.count(Pid(b.data() + i * 188)) && ReadPacketPcr(b.data() + i * 188, pcr))
            v.push_back(pcr);
    return v;
}

// The other program's picture and sound preserved: the kept clock is judged
// by its own program's stamps alone. Put back to the end, the copy's clock
// runs on its stamps; the other program's clock is not touched.
TEST(PcrJump, APreservedStreamOfAnotherProgramDoesNotJudgeTheKeptClock)
{
    TwoPrograms r;
    ASSERT_NO_FATAL_FAILURE(MakeTwoPrograms(r));
    const Bytes& b = r.Changed;
    const std::set<int>& other = r.Other;
    const Outcome o = CleanAnswering(b, true, "pcr_preserved_other", -1, other);
    EXPECT_EQ(o.Questions, 1);
    ExpectClockOnTheStamps(LeadsOf(o.Copy, r.KeptPcr, &r.Kept), "kept program");
    EXPECT_EQ(CountOccurrences(o.Log, "Try to correct PCR value to "), r.PcrsPutBack) << o.Log;
    EXPECT_EQ(o.Result, TCleaningResult::Success) << o.Log;
    // The preserved program keeps its own clock, gap and all, as it was.
    EXPECT_GT(PcrsOn(b, other).size(), 60u);
    EXPECT_EQ(PcrsOn(o.Copy, other), PcrsOn(b, other));
}

// The patch dialog lists every found stream, so the user may give the kept
// program's clock stream the number another program's clock stream had (that
// one moved out of the way, or the two swapped, the new numbers distinct).
// The kept program's clock jumps 100 s on its own; the other program has a
// gap of 100 s (clock and stamps). The check must follow the kept program's
// clock under its old number and judge it by the kept program's own stamps;
// where the other program is preserved, its clock stays as it was.
TEST(PcrJump, TheKeptClockIsCheckedWhenItsNewNumberWasAnotherProgramsClock)
{
    TwoPrograms r;
    ASSERT_NO_FATAL_FAILURE(MakeTwoPrograms(r));
    const Bytes& b = r.Changed;
    const std::set<int>& other = r.Other;
    const int keptPcr = r.KeptPcr, otherPcr = r.OtherPcr;

    for (const bool swapAndPreserve : {false, true}) {
        const std::string what = swapAndPreserve ? "swapped, other preserved" : "other moved away";
        const int otherTo = swapAndPreserve ? keptPcr : 0x0300;
        const std::string in = TempName("renumber"), out = TempName("renumber_out");
        Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
        WriteFile(in, b);
        Road road;
        road.host.PcrCorrectionAnswer = true;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        TAnalysisTables& t = road.engine->Tables();
        t.FoundStreams[static_cast<size_t>(t.FoundStreamIndex(keptPcr))].ReplacementPid = otherPcr;
        t.FoundStreams[static_cast<size_t>(t.FoundStreamIndex(otherPcr))].ReplacementPid = otherTo;
        road.pass->Options.PidRemapCount = 2;
        if (swapAndPreserve) {
            TPreserveList& list = road.pass->PreserveList;
            FillPreserveList(*road.engine, list);
            for (int i = 0; i < list.Count(); ++i) {
                int pid = -1;
                list.Item(i).Checked = TPreserveList::ItemPid(list.Item(i).Text, pid) && other.count(pid) > 0;
            }
        }
        const TCleaningResult result = road.Clean(out);
        const std::string log = AllLog();
        const Bytes copy = ReadFile(out);
        // In the copy the kept clock lies under the other's old number.
        std::set<int> keptInCopy;
        for (int pid : r.Kept)
            keptInCopy.insert(pid == keptPcr ? otherPcr : pid);
        ExpectClockOnTheStamps(LeadsOf(copy, otherPcr, &keptInCopy), what);
        EXPECT_EQ(CountOccurrences(log, "Try to correct PCR value to "), r.PcrsPutBack) << what;
        if (swapAndPreserve) {
            // (Left out, the other program's streams make the result a
            // warning by themselves.)
            EXPECT_EQ(result, TCleaningResult::Success) << what;
            EXPECT_EQ(PcrsOn(copy, {keptPcr}), PcrsOn(b, {otherPcr})) << what << ": the preserved clock was rewritten";
        }
    }
}

} // namespace

namespace {

int WrapLines(const std::string& log) { return CountOccurrences(log, "PCR wrap between paket $"); }

// The clock jumps alone; some PCRs later the stamps make the same jump (the
// muxer caught up). The correction ends right there: every PCR of the copy
// in step with the next stamp, the PCRs from the stamps' jump on as they were.
TEST(PcrJump, APutBackClockEndsWhereTheStampsCatchUp)
{
    for (const Variant& v : kVariants) {
        for (const size_t later : {size_t(3), size_t(8)}) {
            const std::string what = std::string(v.Name) + " " + std::to_string(later) + " PCRs";
            size_t middle = 0;
            Bytes b = Recording(v, middle);
            const std::vector<size_t> pcrs = PcrPackets(b);
            const size_t at = std::find(pcrs.begin(), pcrs.end(), middle) - pcrs.begin();
            ASSERT_LT(at + later + 2, pcrs.size());
            // The stamps jump a few packets before a PCR, so that the PCR
            // just before their jump meets the jumped stamps first.
            const size_t stampsFrom = pcrs[at + later] - 2;
            Shift(b, middle, 100 * kSecond27, 0, false);
            Shift(b, stampsFrom, 0, 100 * kSecond90, false);
            const Outcome o = CleanAnswering(b, true, "pcr_stamps_catch_up");
            ExpectClockOnTheStamps(o.Leads, what);
            EXPECT_EQ(o.Result, TCleaningResult::Success) << what << o.Log;
            EXPECT_LE(CountOccurrences(o.Log, "Try to correct PCR value to "), static_cast<int>(later)) << what << o.Log;
            // From the stamps' jump on, no PCR is touched (the recording near
            // the wrap has all its times moved by one offset in the copy).
            std::set<int> all;
            for (size_t i = 0; i < b.size() / 188; ++i)
                all.insert(Pid(b.data() + i * 188));
            const std::vector<int64_t> tailIn = PcrsOn(Bytes(b.begin() + static_cast<long>(stampsFrom * 188), b.end()), all);
            const std::vector<int64_t> copied = PcrsOn(o.Copy, all);
            ASSERT_GE(copied.size(), tailIn.size()) << what;
            const size_t first = copied.size() - tailIn.size();
            const int64_t offset = copied[first] - tailIn[0];
            for (size_t i = 0; i < tailIn.size(); ++i)
                EXPECT_EQ(copied[first + i] - tailIn[i], offset) << what << " " << i;
            if (!v.NearTheWrap)
                EXPECT_EQ(offset, 0) << what;
        }
    }
}

// The clock put back, and then the stamps jump by another amount than the
// clock did: the copy's clock no longer agrees with its stamps, and the pass
// says so instead of ending as a plain success.
TEST(PcrJump, APutBackClockThatLeavesItsStampsIsReported)
{
    for (const Variant& v : kVariants) {
        size_t middle = 0;
        Bytes b = Recording(v, middle);
        const std::vector<size_t> pcrs = PcrPackets(b);
        const size_t at = std::find(pcrs.begin(), pcrs.end(), middle) - pcrs.begin();
        Shift(b, middle, 100 * kSecond27, 0, false);
        Shift(b, pcrs[at + 6] - 2, 0, 40 * kSecond90, false);
        const Outcome o = CleanAnswering(b, true, "pcr_put_back_left");
        EXPECT_EQ(o.Result, TCleaningResult::SuccessWithErrors) << v.Name << o.Log;
        EXPECT_NE(o.Log.find("does not agree with the time stamps"), std::string::npos) << v.Name << o.Log;
    }
}

// The clock jumps alone a second or so before its wrap: the jumped clock is
// past the wrap at once, the put-back one a moment later. The copy's clock
// wraps once, and the log says so once.
TEST(PcrJump, AClockPutBackAcrossTheWrapIsLoggedAsOneWrap)
{
    for (const int64_t jump : {5 * kSecond27, 20 * kSecond27, -5 * kSecond27}) {
        Bytes b = ReadFile(DataFile("analysis/mpeg2_mp2.ts"));
        const std::vector<size_t> pcrs = PcrPackets(b);
        const size_t middle = pcrs[pcrs.size() / 3];
        int64_t at = 0;
        ReadPacketPcr(b.data() + middle * 188, at);
        // The PCR at `middle` 0.8 s before the wrap of 2^33.
        const int64_t to90 = kPtsModulus - 72000 - at / kClockRatio;
        Shift(b, 0, to90 * kClockRatio, to90, false);
        Shift(b, middle, jump, 0, false);
        const Outcome o = CleanAnswering(b, true, "pcr_put_back_wrap");
        ExpectClockOnTheStamps(o.Leads, std::to_string(jump));
        EXPECT_EQ(WrapLines(o.Log), 1) << jump << o.Log;
        EXPECT_EQ(o.Result, TCleaningResult::Success) << jump << o.Log;
    }
}

} // namespace

namespace {

// Constant-rate muxing leaves room between two PCRs: a clock that jumps
// 2.12 s on its own stays inside the per-packet limit. The stamps after the
// step still tell it from a sound one.
TEST(PcrJump, AJumpInsideThePerPacketLimitIsJudgedByTheStamps)
{
    for (const bool ownPid : {false, true}) {
        const std::string what = ownPid ? "own PID" : "video PID";
        const Variant v{"constant rate", ownPid, false};
        size_t middle = 0;
        int jumped = 0;
        Bytes b = NullsAfterPcrs(Recording(v, middle, &jumped), 200);
        const std::vector<size_t> pcrs = PcrPackets(b);
        const size_t from = pcrs[pcrs.size() / 2];
        Shift(b, from, 2120 * kSecond27 / 1000, 0, false);
        const Outcome o = CleanAnswering(b, true, "pcr_small_jump");
        EXPECT_EQ(o.Questions, 1) << what;
        ExpectClockOnTheStamps(o.Leads, what);
        EXPECT_EQ(o.Result, TCleaningResult::Success) << what << o.Log;
        EXPECT_EQ(CountOccurrences(o.Log, "Try to correct PCR value to "), jumped) << what << o.Log;

        // The same recording sound, and with a real gap of 2.12 s: copied as
        // it is.
        for (const bool gap : {false, true}) {
            Bytes s = NullsAfterPcrs(Recording(v, middle), 200);
            if (gap)
                Shift(s, from, 2120 * kSecond27 / 1000, 2120 * kSecond90 / 1000, false);
            const Outcome g = CleanAnswering(s, true, "pcr_small_gap");
            EXPECT_EQ(g.Questions, 0) << what << gap << g.Log;
            EXPECT_EQ(g.Result, TCleaningResult::Success) << what << gap;
            EXPECT_EQ(PcrsOn(g.Copy, {0x100, kOwnPcrPid}), PcrsOn(s, {0x100, kOwnPcrPid})) << what << gap;
        }
    }
}

// The stamps alone jumped while the clock ran on in step: a decoder waits
// out the jump with a still picture. Nothing of the clock is out of range,
// so nothing is asked; the copy is no plain success and the jump is named
// once, however many PCRs follow it. A lead a decoder's buffer holds stays
// a plain success.
TEST(PcrJump, StampsThatJumpAheadOfASoundClockAreReportedOnce)
{
    for (const Variant& v : kVariants) {
        for (const int64_t jump90 : {100 * kSecond90, 4 * kSecond90}) {
            const std::string what = std::string(v.Name) + " " + std::to_string(jump90 / kSecond90) + " s";
            size_t middle = 0;
            Bytes b = Recording(v, middle);
            Shift(b, middle, 0, jump90, false);
            const Outcome o = CleanAnswering(b, true, "stamps_alone");
            EXPECT_EQ(o.Questions, 0) << what;
            EXPECT_EQ(o.Log.find("Try to correct PCR value to "), std::string::npos) << what;
            const bool far = jump90 > 10 * kSecond90;
            EXPECT_EQ(CountOccurrences(o.Log, "ahead of the clock"), far ? 1 : 0) << what << o.Log;
            EXPECT_EQ(o.Result, far ? TCleaningResult::SuccessWithErrors : TCleaningResult::Success) << what << o.Log;
        }
    }
}

// The first PCR alone 100 s ahead of its stamps: nothing before it to judge
// it by but the stamps after it. The copy must not go out as a plain
// success with a clock 100 s off.
TEST(PcrJump, AFirstPcrOutOfLineWithItsStampsIsCaught)
{
    for (const Variant& v : kVariants) {
        size_t middle = 0;
        Bytes b = Recording(v, middle);
        const std::vector<size_t> pcrs = PcrPackets(b);
        Shift(b, pcrs.front(), 100 * kSecond27, 0, false);
        Shift(b, pcrs[1], -100 * kSecond27, 0, false);
        const Outcome o = CleanAnswering(b, true, "pcr_first_off");
        EXPECT_NE(o.Result, TCleaningResult::Success) << v.Name << o.Log;
        EXPECT_NE(o.Log.find("does not agree with the time stamps"), std::string::npos) << v.Name << o.Log;
        // Only that one: the PCRs after it are sound and none is rewritten.
        EXPECT_EQ(o.Log.find("Try to correct PCR value to "), std::string::npos) << v.Name << o.Log;
        EXPECT_EQ(CountOccurrences(o.Log, "TS  ERROR: PCR"), 1) << v.Name << o.Log;
    }
}

} // namespace
