// The PCR check of the cleaning pass on a real recording (ffmpeg's MPEG-2
// video and MP2 audio) whose clock was changed by hand: a PCR that jumped on
// its own is put back on the program's time stamps to the end, a jump the
// time stamps made as well (a gap in the recording) is left alone, and a
// copy whose clock still disagrees with its time stamps is no plain success.
// What the copy is judged by: every PCR against the next decode time of the
// program after it, as a decoder meets them.
#include <gtest/gtest.h>

#include <set>

#include "CleaningTestSupport.h"

#include "analysis/PatchTable.h"
#include "analysis/TableSelection.h"
#include "ts/TSPmtReader.h"
#include "ts/TSTimeStamp.h"

using namespace tw;
using namespace tw::cleantest;

namespace {

constexpr int64_t kSecond90 = 90000;
constexpr int64_t kSecond27 = kSecond90 * kClockRatio;
// The own PID the PCR is moved to in the variants that carry it apart.
constexpr int kOwnPcrPid = 0x1FF0;

int64_t Signed33(int64_t v)
{
    v = WrapClock(v, kPtsModulus);
    return v >= kPtsModulus / 2 ? v - kPtsModulus : v;
}

// Offset of the PES header's stamps in a packet that starts one; -1 none.
// flags gets the PTS_DTS_flags.
int StampOffset(const uint8_t* p, int& flags)
{
    const int s = PacketPayloadStart(p);
    if (s < 0 || !(p[1] & 0x40) || s + 19 > 188 || p[s] != 0 || p[s + 1] != 0 || p[s + 2] != 1)
        return -1;
    flags = p[s + 7] >> 6;
    return (flags & 2) ? s + 9 : -1;
}

bool HasPcr(const uint8_t* p)
{
    int64_t pcr;
    return ReadPacketPcr(p, pcr);
}

// From packet `from` on: every PCR moved by pcrShift27 (on the discontinuity
// indicator's word when `announce`, at the first one), every PTS and DTS by
// stampShift90.
// Only the packets of `pids`, where given.
void Shift(Bytes& b, size_t from, int64_t pcrShift27, int64_t stampShift90, bool announce,
           const std::set<int>* pids = nullptr)
{
    bool first = true;
    for (size_t i = from; i < b.size() / 188; ++i) {
        uint8_t* p = b.data() + i * 188;
        if (pids && !pids->count(Pid(p)))
            continue;
        int64_t pcr;
        if (pcrShift27 != 0 && ReadPacketPcr(p, pcr)) {
            WritePcr(p + 6, pcr + pcrShift27);
            if (announce && first)
                p[5] |= 0x80; // discontinuity_indicator
            first = false;
        }
        int flags = 0;
        const int at = StampOffset(p, flags);
        if (stampShift90 != 0 && at >= 0) {
            WritePts(p + at, ReadPts(p + at) + stampShift90);
            if (flags == 3)
                WritePts(p + at + 5, ReadPts(p + at + 5) + stampShift90);
        }
    }
}

// Every PCR of the recording moves to a PID of its own: an adaptation-only
// packet in front of the packet that carried it, whose PCR becomes stuffing,
// and the PMT names the new PID.
Bytes PcrOnItsOwnPid(const Bytes& in)
{
    Bytes out;
    int cc = 0;
    for (size_t i = 0; i < in.size() / 188; ++i) {
        Bytes p(in.begin() + i * 188, in.begin() + (i + 1) * 188);
        // (ffmpeg's adaptation fields carry nothing after the PCR but stuffing.)
        if (HasPcr(p.data()) && (p[5] & 0x0F) == 0) {
            Bytes own(188, 0xFF);
            own[0] = 0x47;
            own[1] = static_cast<uint8_t>(kOwnPcrPid >> 8);
            own[2] = static_cast<uint8_t>(kOwnPcrPid & 0xFF);
            own[3] = static_cast<uint8_t>(0x20 | cc); // adaptation field only: the counter stays
            own[4] = 183;
            own[5] = 0x10;
            std::copy(p.begin() + 6, p.begin() + 12, own.begin() + 6);
            out.insert(out.end(), own.begin(), own.end());
            p[5] &= static_cast<uint8_t>(~0x10);
            std::fill(p.begin() + 6, p.begin() + 12, 0xFF);
        }
        // The PMT (ffmpeg's, one packet per section): PCR_PID and CRC.
        if (Pid(p.data()) == 0x1000 && (p[1] & 0x40)) {
            uint8_t* s = p.data() + 5 + p[4];
            const int len = ((s[1] & 0x0F) << 8) | s[2];
            s[8] = static_cast<uint8_t>(0xE0 | (kOwnPcrPid >> 8));
            s[9] = static_cast<uint8_t>(kOwnPcrPid & 0xFF);
            const uint32_t crc = Crc32Mpeg(s, 0xFFFFFFFFu, len - 1);
            for (int k = 0; k < 4; ++k)
                s[len - 1 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
        }
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// The PCR packets' indices.
std::vector<size_t> PcrPackets(const Bytes& b)
{
    std::vector<size_t> v;
    for (size_t i = 0; i < b.size() / 188; ++i)
        if (HasPcr(b.data() + i * 188))
            v.push_back(i);
    return v;
}

// How far the program's next decode time lies ahead of each PCR (90 kHz,
// the smallest and the largest), as a decoder meets them.
struct ClockLeads {
    int64_t Min = INT64_MAX, Max = INT64_MIN;
    int Pcrs = 0;
};

// Of one program, where given: its clock's PID and its streams.
ClockLeads LeadsOf(const Bytes& b, int pcrPid = -1, const std::set<int>* streams = nullptr)
{
    ClockLeads l;
    std::vector<int64_t> open; // PCRs (90 kHz) still waiting for a stamp
    for (size_t i = 0; i < b.size() / 188; ++i) {
        const uint8_t* p = b.data() + i * 188;
        int64_t pcr;
        if ((pcrPid < 0 || Pid(p) == pcrPid) && ReadPacketPcr(p, pcr))
            open.push_back(pcr / kClockRatio);
        int64_t escr, dts, pts;
        if (streams && !streams->count(Pid(p)))
            continue;
        if (!open.empty() && ReadPacketTimestamps(p, escr, dts, pts) && pts >= 0) {
            for (int64_t c : open) {
                const int64_t lead = Signed33((dts >= 0 ? dts : pts) - c);
                l.Min = std::min(l.Min, lead);
                l.Max = std::max(l.Max, lead);
                ++l.Pcrs;
            }
            open.clear();
        }
    }
    return l;
}

// Sound: no PCR after its stamps, none further behind them than a decoder's
// buffer holds.
void ExpectClockOnTheStamps(const ClockLeads& l, const std::string& what)
{
    EXPECT_GT(l.Pcrs, 30) << what;
    EXPECT_GE(l.Min, -kSecond90 / 10) << what;
    EXPECT_LE(l.Max, 3 * kSecond90) << what;
}

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
        for (const int64_t jump : {100 * kSecond27, -100 * kSecond27}) {
            const std::string what = std::string(v.Name) + (jump > 0 ? " forward" : " back");
            size_t middle = 0;
            int jumped = 0;
            Bytes b = Recording(v, middle, &jumped);
            Shift(b, middle, jump, 0, false);
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
