// PES headers whose time stamps run into the next packet of their PID (a long
// adaptation field in front of the PES start leaves room for only part of
// the header): the timer correction shifts those stamps like all others.
#include "tests/analysis/CleaningTestSupport.h"

namespace tw::cleantest {
namespace {

constexpr int kVideo = 0x101, kAudio = 0x102;

// A PES packet whose first packet carries only `first` bytes of it.
void AddSplitPes(test::TsStream& s, int pid, const Bytes& pes, size_t first, int64_t pcr = -1)
{
    test::TsPacketOptions o;
    o.pid = pid;
    o.payloadStart = true;
    o.pcr = pcr;
    o.payload.assign(pes.begin(), pes.begin() + static_cast<std::ptrdiff_t>(first));
    s.Add(o);
    for (size_t at = first; at < pes.size(); at += 184) {
        test::TsPacketOptions c;
        c.pid = pid;
        c.payload.assign(pes.begin() + static_cast<std::ptrdiff_t>(at),
                         pes.begin() + static_cast<std::ptrdiff_t>(std::min(pes.size(), at + 184)));
        s.Add(c);
    }
}

// Video with PTS and DTS, audio with PTS; every PES start cut at another
// byte of its header: before, inside and after each stamp.
test::TsStream SplitHeaderRecording()
{
    static const size_t kCuts[] = {1, 4, 8, 9, 11, 13, 14, 16, 18, 19, 40};
    test::TsStream s;
    int64_t pts = 900000;
    for (int f = 0; f < 66; ++f) {
        if (f % 6 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, kVideo, {{2, kVideo, {}}, {3, kAudio, {}}});
        }
        Bytes es(1500, 0x11);
        es[2] = 1;
        es[3] = 0xB3;
        const size_t cut = kCuts[static_cast<size_t>(f) % std::size(kCuts)];
        AddSplitPes(s, kVideo, test::PesPacket(0xE0, es, pts + 7200, pts), cut, (pts - 9000) * 300);
        AddSplitPes(s, kAudio, test::PesPacket(0xC0, MpegAudioFrames(), pts + 3600),
                    kCuts[static_cast<size_t>(f + 5) % std::size(kCuts)]);
        pts += 3600;
    }
    return s;
}

struct Stamps {
    int64_t Pts = -1, Dts = -1;
};

// PTS and DTS of every PES header of a PID, the header gathered from as
// many packets as carry it, read from the bytes as the standard lays them out.
std::vector<Stamps> HeaderStampsOf(const std::string& file, int pid)
{
    std::vector<Stamps> v;
    const Bytes b = ReadFile(file);
    Bytes header;
    bool collecting = false;
    auto stamp = [](const uint8_t* p) {
        return (int64_t((p[0] >> 1) & 7) << 30) | (int64_t(p[1]) << 22) | (int64_t(p[2] >> 1) << 15) |
               (int64_t(p[3]) << 7) | int64_t(p[4] >> 1);
    };
    auto finish = [&]() {
        if (collecting && header.size() >= 14) {
            Stamps st;
            const int flags = header[7] >> 6;
            if (flags >= 2)
                st.Pts = stamp(&header[9]);
            if (flags == 3 && header.size() >= 19)
                st.Dts = stamp(&header[14]);
            v.push_back(st);
        }
        header.clear();
        collecting = false;
    };
    for (size_t at = 0; at + 188 <= b.size(); at += 188) {
        const uint8_t* p = b.data() + at;
        if (Pid(p) != pid)
            continue;
        const int s = test::PacketPayloadStart(p);
        if (p[1] & 0x40) {
            finish();
            collecting = true;
        }
        if (collecting && s >= 0 && header.size() < 19)
            header.insert(header.end(), p + s, p + 188);
    }
    finish();
    return v;
}

} // namespace

TEST(SplitHeaderStamps, TimerCorrectionShiftsStampsThatRunIntoTheNextPacket)
{
    const std::string in = TempName("split_stamps");
    const std::string out = TempName("split_stamps_out");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    SplitHeaderRecording().Save(in);
    Road road;
    road.host.TimerPatchMode = 2;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const std::string log = AllLog();
    EXPECT_EQ(log.find("Patching PTS/DTS/ESCR"), std::string::npos) << log;
    const TAnalysisTables& t = road.engine->Tables();
    // Every stamp moves by the same step: the earliest one to 300.
    const int64_t shift = 300 - CleaningStartTime(t.FirstPts, t.FirstDts, t.FirstPcr90k);
    for (const int pid : {kVideo, kAudio}) {
        const std::vector<Stamps> before = HeaderStampsOf(in, pid);
        const std::vector<Stamps> after = HeaderStampsOf(out, pid);
        ASSERT_EQ(before.size(), 66u) << pid;
        ASSERT_EQ(after.size(), before.size()) << pid;
        for (size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(after[i].Pts, before[i].Pts + shift) << "PID " << pid << " PES " << i;
            EXPECT_EQ(after[i].Dts, before[i].Dts < 0 ? -1 : before[i].Dts + shift) << "PID " << pid << " PES " << i;
        }
    }
}

TEST(SplitHeaderStamps, AHeaderWhoseRestNeverComesIsAnError)
{
    // The packet that would bring the rest of the last audio header is
    // broken: the stamp cannot be shifted, which the log and the count say.
    test::TsStream s = SplitHeaderRecording();
    const std::string in = TempName("split_stamps_lost");
    const std::string out = TempName("split_stamps_lost_out");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    size_t start = 0;
    for (size_t i = 0; i < s.PacketCount(); ++i)
        if (Pid(s.Packet(i).data()) == kAudio && (s.Packet(i)[1] & 0x40) && (s.Packet(i)[3] & 0x30) == 0x30 &&
            s.Packet(i)[4] > 180)
            start = i; // a start that holds only a few header bytes
    ASSERT_GT(start, 0u);
    s.SetTransportError(start + 1);
    s.Save(in);
    Road road;
    road.host.TimerPatchMode = 2;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
    EXPECT_TRUE(HasLine("TS  ERROR: Patching PTS/DTS/ESCR for paket $" + IntToHex(static_cast<int64_t>(start), 8) +
                        " failed!"))
        << AllLog();
}

} // namespace tw::cleantest
