// The program's clock may ride on any PID its table names: the video, an
// audio stream, a teletext stream, the program map's own packets. Whatever
// the user's settings drop, the copy must carry the clock its input had, and
// its program map must name the PID the clock is on. The copies are read
// here by a reader of our own, written from the packet and section layouts
// of the standard, not by the program's readers.
#include "CleaningTestSupport.h"

#include "tests/support/EsBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace tw;
using namespace tw::cleantest;

namespace {

constexpr int kPmtPid = 0x100, kVideo = 0x101, kAudio1 = 0x102, kText = 0x103, kAudio2 = 0x104;

// EBU teletext data units (data identifier 0x10, unit 0x02, length 0x2C).
Bytes Teletext()
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

// Video, two MPEG audio streams and a teletext stream, 40 ms a frame, with
// the program's clock on `clockPid` only (on the program map's PID as
// packets of adaptation field alone). PAT and PMT every 25 frames.
std::string Build(int clockPid, Cleanup& cleanup, const std::string& tag)
{
    const std::vector<test::PmtStream> streams = {
        {2, kVideo, {}},
        {3, kAudio1, test::LanguageDescriptor("deu")},
        {3, kAudio2, test::LanguageDescriptor("eng")},
        {6, kText, test::Descriptor(0x56, {'d', 'e', 'u', 0x09, 0x00})}};
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; s.PacketCount() < 4000; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{1, kPmtPid}});
            s.AddPmt(kPmtPid, 1, clockPid, streams);
        }
        const int64_t pcr = (pts - 9000) * 300;
        if (clockPid == kPmtPid)
            s.Add({.pid = kPmtPid, .pcr = pcr});
        s.AddPes(kVideo, test::PesPacket(0xE0, test::Mpeg2VideoFrame(), pts), clockPid == kVideo ? pcr : -1);
        s.AddPes(kAudio1, test::PesPacket(0xC0, MpegAudioFrames(), pts), clockPid == kAudio1 ? pcr : -1);
        s.AddPes(kAudio2, test::PesPacket(0xC1, MpegAudioFrames(), pts), clockPid == kAudio2 ? pcr : -1);
        s.AddPes(kText, test::PesPacket(0xBD, Teletext(), pts), clockPid == kText ? pcr : -1);
        pts += 3600;
    }
    const std::string name = TempName(tag);
    s.Save(name);
    cleanup.Files.push_back(name);
    return name;
}

// What a recording or its copy holds, read packet by packet: sync byte,
// PID, the adaptation_field_control and the adaptation field with its PCR;
// the PAT's first program and every complete section of that program's map.
struct Copy {
    std::map<int, int64_t> Pcrs;          // PCRs per PID
    std::map<int, int64_t> PayloadPackets; // packets with payload per PID
    std::map<int, int64_t> BadAdaptation;  // adaptation-only packets whose field is not 183 bytes
    std::vector<Bytes> PmtSections;        // distinct sections on the program map's PID
    int PmtPid = -1, PcrPid = -1;
    std::vector<int> Streams;              // elementary PIDs of the last map
};

Copy ReadCopy(const std::string& file)
{
    Copy c;
    const Bytes b = ReadFile(file);
    EXPECT_EQ(b.size() % 188, 0u);
    std::map<int, Bytes> sections;
    for (size_t at = 0; at + 188 <= b.size(); at += 188) {
        const uint8_t* p = b.data() + at;
        EXPECT_EQ(p[0], 0x47) << at / 188;
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        const bool unitStart = p[1] & 0x40;
        const int afc = (p[3] >> 4) & 3;
        int payload = 4;
        if (afc & 2) {
            const int len = p[4];
            if (afc == 2 && len != 183)
                ++c.BadAdaptation[pid];
            if (len > 0 && (p[5] & 0x10) && len >= 7)
                ++c.Pcrs[pid];
            payload = 5 + len;
        }
        if (!(afc & 1) || payload >= 188)
            continue;
        ++c.PayloadPackets[pid];
        if (pid != 0 && pid != c.PmtPid)
            continue;
        Bytes& a = sections[pid];
        if (unitStart) {
            const int ptr = p[payload];
            a.assign(p + payload + 1 + ptr, p + 188);
        } else if (!a.empty()) {
            a.insert(a.end(), p + payload, p + 188);
        }
        if (a.size() < 3)
            continue;
        const size_t len = static_cast<size_t>(((a[1] & 0x0F) << 8) | a[2]) + 3;
        if (a.size() < len)
            continue;
        a.resize(len);
        EXPECT_TRUE(SectionCrcOk(a.data(), static_cast<int>(len))) << "section on PID " << pid;
        if (pid == 0 && len >= 16) {
            c.PmtPid = ((a[10] & 0x1F) << 8) | a[11];
        } else if (pid == c.PmtPid && len >= 16) {
            if (std::find(c.PmtSections.begin(), c.PmtSections.end(), a) == c.PmtSections.end())
                c.PmtSections.push_back(a);
            c.PcrPid = ((a[8] & 0x1F) << 8) | a[9];
            c.Streams.clear();
            const size_t infoLen = static_cast<size_t>(((a[10] & 0x0F) << 8) | a[11]);
            for (size_t q = 12 + infoLen; q + 5 <= len - 4;) {
                c.Streams.push_back(((a[q + 1] & 0x1F) << 8) | a[q + 2]);
                q += 5 + static_cast<size_t>(((a[q + 3] & 0x0F) << 8) | a[q + 4]);
            }
        }
        a.clear();
    }
    return c;
}

} // namespace

TEST(ClockCarrier, TheClockReachesTheCopyWhateverTheSettingsDrop)
{
    struct Case {
        const char* Name;
        int ClockPid;
        bool DropSecondAudio;
        std::vector<int> Kept; // the elementary streams the copy's map lists
    };
    // "No Teletext" is on by default: the teletext entry goes in every case.
    const Case cases[] = {
        {"clock on the teletext", kText, false, {kVideo, kAudio1, kAudio2}},
        {"clock on a dropped audio", kAudio2, true, {kVideo, kAudio1}},
        {"clock in the program map's packets", kPmtPid, false, {kVideo, kAudio1, kAudio2}},
        {"clock on the video", kVideo, true, {kVideo, kAudio1}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.Name);
        Cleanup cleanup;
        const std::string in = Build(k.ClockPid, cleanup, "clockon");
        const std::string out = TempName("clockon_out");
        cleanup.Files.push_back(out);
        cleanup.Files.push_back(ChangeFileExt(out, ".log"));
        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        if (k.DropSecondAudio)
            ASSERT_EQ(road.engine->ToggleAudioStream(1), 2);
        EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();

        const Copy c = ReadCopy(out);
        EXPECT_EQ(c.PmtPid, kPmtPid);
        // One table, the rebuilt one, naming where the clock is.
        EXPECT_EQ(c.PmtSections.size(), 1u) << AllLog();
        EXPECT_EQ(c.PcrPid, k.ClockPid);
        EXPECT_EQ(c.Streams, k.Kept);
        // Every PCR of the input, and no PCR anywhere else.
        const Copy input = ReadCopy(in);
        ASSERT_EQ(input.Pcrs.size(), 1u);
        const int64_t pcrs = input.Pcrs.at(k.ClockPid);
        ASSERT_GT(pcrs, 100);
        EXPECT_EQ(c.Pcrs.size(), 1u);
        EXPECT_EQ(c.Pcrs.count(k.ClockPid) ? c.Pcrs.at(k.ClockPid) : 0, pcrs);
        EXPECT_TRUE(c.BadAdaptation.empty());
        // What the settings drop is dropped: no payload of the streams the map
        // no longer lists (the clock's packets go without theirs).
        for (int pid : {kAudio1, kText, kAudio2})
            if (std::find(k.Kept.begin(), k.Kept.end(), pid) == k.Kept.end())
                EXPECT_EQ(c.PayloadPackets.count(pid), 0u) << pid;
        // The kept streams are whole.
        const std::map<int, int64_t> inPids = PacketsPerPidOf(in);
        const OutputCheck oc = CheckOutput(out);
        for (int pid : k.Kept)
            EXPECT_EQ(oc.PacketsPerPid.count(pid) ? oc.PacketsPerPid.at(pid) : 0, inPids.at(pid)) << pid;
        EXPECT_EQ(oc.ContinuityErrors, 0);
    }
}
