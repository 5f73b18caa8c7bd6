// The packet filter's PCR check on real recordings (ffmpeg's) whose clocks
// were changed by hand: every program's clock is followed, each judged by
// the time stamps of its own program's streams, wherever the clock rides.
// Copies are judged by an independent reading: every PCR against the next
// decode time of its program, and a sound input copied unchanged.
#include <gtest/gtest.h>

#include <set>

#include "tests/analysis/ClockEditing.h"
#include "analysis/PacketHandlers.h"
#include "tools/engine/PacketFilter.h"

using namespace tw;
using namespace tw::cleantest;

namespace {

struct FilterOutcome {
    bool Ok = false;
    int Questions = 0;
    std::string Log;
    Bytes Copy;
};

FilterOutcome FilterAnswering(const Bytes& recording, bool yes, const std::string& tag)
{
    FilterOutcome o;
    const std::string in = TempName(tag), out = TempName(tag + "_out");
    Cleanup cleanup{{in, out}};
    WriteFile(in, recording);
    Road road;
    road.host.PcrCorrectionAnswer = yes;
    TPacketFilter filter(road.engine->FilterReader(), &road.pass->PacketHandlers());
    ClearLog();
    const TPacketFilter::TResult res = filter.Run(in, out, {});
    o.Ok = res.Ok;
    o.Questions = road.host.PcrQuestions;
    o.Log = AllLog();
    o.Copy = ReadFile(out);
    return o;
}

std::vector<int64_t> PcrsOf(const Bytes& b, int pid)
{
    std::vector<int64_t> v;
    int64_t pcr;
    for (size_t i = 0; i < b.size() / 188; ++i)
        if (Pid(b.data() + i * 188) == pid && ReadPacketPcr(b.data() + i * 188, pcr))
            v.push_back(pcr);
    return v;
}

// The ffmpeg recording with its clock on the video PID or on a PID of its
// own (which carries nothing but the clock), and the packet from which the
// change starts: halfway along the PCRs.
Bytes OneProgram(bool ownPid, size_t& middle, int& pcrsFromMiddle)
{
    Bytes b = ReadFile(DataFile("analysis/mpeg2_mp2.ts"));
    if (ownPid)
        b = PcrOnItsOwnPid(b);
    const std::vector<size_t> pcrs = PcrPackets(b);
    middle = pcrs[pcrs.size() / 2];
    pcrsFromMiddle = static_cast<int>(pcrs.size() - pcrs.size() / 2);
    return b;
}

// A gap in the recording (clock and stamps 100 s on, announced or not) is
// copied as it is, without a question, wherever the clock rides; a clock
// that jumped alone (announced or not) is put back onto its program's stamps
// to the end.
TEST(FilterClock, AClockIsJudgedByItsProgramsStampsWhereverItRides)
{
    for (const bool ownPid : {false, true}) {
        for (const bool announce : {false, true}) {
            const std::string what = std::string(ownPid ? "own PID" : "video PID") + (announce ? " announced" : "");
            size_t middle = 0;
            int jumped = 0;
            Bytes gap = OneProgram(ownPid, middle, jumped);
            Shift(gap, middle, 100 * kSecond27, 100 * kSecond90, announce);
            const FilterOutcome g = FilterAnswering(gap, true, "filter_gap");
            ASSERT_TRUE(g.Ok) << what;
            EXPECT_EQ(g.Questions, 0) << what << g.Log;
            EXPECT_EQ(g.Log.find("PCR timing"), std::string::npos) << what << g.Log;
            EXPECT_TRUE(g.Copy == gap) << what << ": a sound recording was changed";

            Bytes alone = OneProgram(ownPid, middle, jumped);
            Shift(alone, middle, 100 * kSecond27, 0, announce);
            const FilterOutcome a = FilterAnswering(alone, true, "filter_alone");
            ASSERT_TRUE(a.Ok) << what;
            EXPECT_EQ(a.Questions, 1) << what;
            EXPECT_EQ(CountOccurrences(a.Log, "Try to correct PCR value to "), jumped) << what << a.Log;
            ExpectClockOnTheStamps(LeadsOf(a.Copy), what);
        }
    }
}

// Two programs, each with its own clock: whichever of them jumps 10 s on its
// own is put back onto its program's stamps; the other is copied untouched.
TEST(FilterClock, EveryProgramsClockIsFollowed)
{
    const Bytes original = ReadFile(DataFile("cleaning/two_programs_cbr.ts"));
    struct Program {
        int PcrPid;
        std::set<int> Streams;
    };
    const Program programs[] = {{0x200, {0x200, 0x201}}, {0x202, {0x202, 0x203}}};
    // The fixture as this test knows it: each clock on its program's video.
    for (const Program& p : programs)
        ASSERT_GT(PcrsOf(original, p.PcrPid).size(), 60u) << p.PcrPid;
    for (const Program& jumps : programs) {
        const std::string what = "clock $" + IntToHex(jumps.PcrPid, 4);
        std::vector<size_t> pcrs;
        int64_t pcr;
        for (size_t i = 0; i < original.size() / 188; ++i)
            if (Pid(original.data() + i * 188) == jumps.PcrPid && ReadPacketPcr(original.data() + i * 188, pcr))
                pcrs.push_back(i);
        Bytes b = original;
        const std::set<int> clock{jumps.PcrPid};
        Shift(b, pcrs[pcrs.size() / 2], 10 * kSecond27, 0, false, &clock);
        const FilterOutcome o = FilterAnswering(b, true, "filter_two_programs");
        ASSERT_TRUE(o.Ok) << what;
        EXPECT_EQ(o.Questions, 1) << what;
        EXPECT_EQ(CountOccurrences(o.Log, "Try to correct PCR value to "),
                  static_cast<int>(pcrs.size() - pcrs.size() / 2))
            << what << o.Log;
        for (const Program& p : programs) {
            ExpectClockOnTheStamps(LeadsOf(o.Copy, p.PcrPid, &p.Streams), what + " program $" + IntToHex(p.PcrPid, 4));
            if (p.PcrPid != jumps.PcrPid)
                EXPECT_EQ(PcrsOf(o.Copy, p.PcrPid), PcrsOf(b, p.PcrPid)) << what;
        }
    }
}

// The user's choice of PIDs is kept, also when it takes a program's clock:
// the copy then has no clock for a program that keeps streams, and the
// filter says so, naming the PID and the program, and the copy is no plain
// success. Leaving out a whole program, or a stream that carries no clock,
// is no fault.
TEST(FilterClock, LeavingOutTheClocksCarrierIsToldAndCounted)
{
    const Bytes original = ReadFile(DataFile("cleaning/two_programs_cbr.ts"));
    struct Case {
        std::vector<int> drop;
        bool told;
    };
    // Program 201: clock and video on $0200, audio $0201; 202: $0202, $0203.
    const Case cases[] = {
        {{0x200}, true},
        {{0x200, 0x203}, true},
        {{0x201}, false},
        {{0x202, 0x203}, false},
    };
    for (const Case& c : cases) {
        std::string what = "drop";
        for (int pid : c.drop)
            what += " $" + IntToHex(pid, 4);
        const std::string in = TempName("filter_drop_clock"), out = TempName("filter_drop_clock_out");
        Cleanup cleanup{{in, out}};
        WriteFile(in, original);
        Road road;
        TPacketFilter filter(road.engine->FilterReader(), &road.pass->PacketHandlers());
        filter.Pids = c.drop;
        ClearLog();
        const TPacketFilter::TResult res = filter.Run(in, out, {});
        const std::string log = AllLog();
        ASSERT_TRUE(res.Ok) << what << res.Error;
        EXPECT_EQ(res.Errors > 0, c.told) << what << log;
        EXPECT_EQ(res.ClocksLeftOut, c.told ? 1 : 0) << what;
        EXPECT_EQ(log.find("$0200") != std::string::npos && log.find("program 201") != std::string::npos, c.told)
            << what << log;
        // What the user left out stays out.
        const Bytes copy = ReadFile(out);
        for (size_t i = 0; i < copy.size() / 188; ++i)
            for (int pid : c.drop)
                ASSERT_NE(Pid(copy.data() + i * 188), pid) << what;
    }
}

// Constant-rate muxing: a clock that jumps 2.12 s alone stays inside the
// per-packet limit and is still put back onto its stamps; a real gap of the
// same size is copied as it is.
TEST(FilterClock, AJumpInsideThePerPacketLimitIsJudgedByTheStamps)
{
    for (const bool ownPid : {false, true}) {
        const std::string what = ownPid ? "own PID" : "video PID";
        size_t middle = 0;
        int jumped = 0;
        const Bytes sound = NullsAfterPcrs(OneProgram(ownPid, middle, jumped), 200);
        const std::vector<size_t> pcrs = PcrPackets(sound);
        Bytes alone = sound;
        Shift(alone, pcrs[pcrs.size() / 2], 2120 * kSecond27 / 1000, 0, false);
        const FilterOutcome a = FilterAnswering(alone, true, "filter_small_jump");
        ASSERT_TRUE(a.Ok) << what;
        EXPECT_EQ(a.Questions, 1) << what;
        EXPECT_EQ(CountOccurrences(a.Log, "Try to correct PCR value to "), jumped) << what << a.Log;
        ExpectClockOnTheStamps(LeadsOf(a.Copy), what);

        Bytes gap = sound;
        Shift(gap, pcrs[pcrs.size() / 2], 2120 * kSecond27 / 1000, 2120 * kSecond90 / 1000, false);
        const FilterOutcome g = FilterAnswering(gap, true, "filter_small_gap");
        EXPECT_EQ(g.Questions, 0) << what << g.Log;
        EXPECT_TRUE(g.Copy == gap) << what << ": a sound recording was changed";
    }
}

// No PAT or PMT and the clock on a PID of its own, the recording's only
// clock: it is judged by the stamps of the recording's streams. A lone jump
// is put back to the end; a real gap is copied as it is.
TEST(FilterClock, WithoutTablesTheOnlyClockIsJudgedByEveryStreamsStamps)
{
    size_t middle = 0;
    int jumped = 0;
    const Bytes withTables = OneProgram(true, middle, jumped);
    Bytes sound;
    for (size_t i = 0; i < withTables.size() / 188; ++i) {
        const uint8_t* p = withTables.data() + i * 188;
        if (Pid(p) != 0 && Pid(p) != 0x1000)
            sound.insert(sound.end(), p, p + 188);
    }
    const std::vector<size_t> pcrs = PcrPackets(sound);
    const size_t from = pcrs[pcrs.size() / 2];
    for (const bool announce : {false, true}) {
        Bytes alone = sound;
        Shift(alone, from, 100 * kSecond27, 0, announce);
        const FilterOutcome a = FilterAnswering(alone, true, "filter_no_tables_alone");
        ASSERT_TRUE(a.Ok);
        EXPECT_EQ(a.Questions, 1) << announce;
        EXPECT_EQ(CountOccurrences(a.Log, "Try to correct PCR value to "), jumped) << announce << a.Log;
        ExpectClockOnTheStamps(LeadsOf(a.Copy), "no tables");

        Bytes gap = sound;
        Shift(gap, from, 100 * kSecond27, 100 * kSecond90, announce);
        const FilterOutcome g = FilterAnswering(gap, true, "filter_no_tables_gap");
        EXPECT_EQ(g.Questions, 0) << announce << g.Log;
        EXPECT_TRUE(g.Copy == gap) << announce << ": a sound recording was changed";
    }
}

} // namespace
