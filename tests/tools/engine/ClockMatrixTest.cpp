// The clock and the time stamps of a recording through the main job (the
// analysis and the cleaning pass) and through the packet filter, over what
// the MPEG-2 systems layer allows: the clock on the video, on an audio, on a
// teletext stream, on a PID of its own or in the PMT's packets; one program
// or two; a clock that jumps alone (forward, back), a real gap (clock and
// stamps jump together), with and without the discontinuity indicator, far
// from the 33-bit wrap and across it; PES headers split over two packets and
// PES without stamps; the settings that drop streams on and off.
//
// Each recording is made here from ffmpeg's, and every copy is judged by a
// reader of its own (tests/support/IsoTsReader.h), never by the program's:
// - the copy carries its program's clock: PCRs on the PID its PMT names;
// - every PCR lies as far before its program's next decode stamp as in the
//   sound recording (within a tolerance);
// - no stamp is changed, nor a PCR of a sound recording (a real gap is
//   sound); where the user let the timer be patched, all move by one offset;
// - every stream the settings keep is whole, and the tables agree;
// or, for a recording whose clock is broken, the result is no plain success.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/analysis/CleaningTestSupport.h"
#include "tests/support/IsoTsReader.h"
#include "analysis/PacketHandlers.h"
#include "analysis/PatchTable.h"
#include "analysis/TableSelection.h"
#include "ts/TSPmtReader.h"
#include "tools/engine/PacketFilter.h"

using namespace tw;
namespace iso = tw::isots;
using iso::Bytes;

namespace {

constexpr int64_t kSecond90 = 90000;
constexpr int64_t kSecond27 = kSecond90 * 300;

enum class Path { Clean, Filter };
enum class Carrier { Video, Audio, Teletext, OwnPid, Pmt };
// JumpCaughtUp: the clock jumps 100 s alone, the stamps follow it 0.4 s
// later (a clock that ran ahead of a splice). StampsUp: the stamps alone
// jump 100 s ahead while the clock runs on in step.
enum class Break { None, JumpUp, JumpDown, Gap, JumpCaughtUp, StampsUp };
enum class Pes { Whole, Split, NoStamps };
// Default: the settings as installed ("No Teletext" on), nothing chosen in
// the filter. Off: nothing dropped. On: teletext and the second audio
// (English) dropped, in the main job by the setting and the audio panel, in
// the filter by the PID list.
enum class Drop { Default, Off, On };

struct Cell {
    Path path = Path::Clean;
    Carrier carrier = Carrier::Video;
    int programs = 1;
    Break brk = Break::None;
    bool flag = false; // discontinuity_indicator at the break
    bool wrap = false; // the break lies 0.3 s before the wrap of 2^33
    Pes pes = Pes::Whole;
    Drop drop = Drop::Default;

    std::string Name() const
    {
        static const char* carriers[] = {"Video", "Audio", "Teletext", "OwnPid", "Pmt"};
        static const char* breaks[] = {"Sound", "JumpUp", "JumpDown", "Gap", "JumpCaughtUp", "StampsUp"};
        static const char* headers[] = {"", "_SplitHeaders", "_NoStamps"};
        static const char* drops[] = {"", "_DropOff", "_DropOn"};
        return std::string(path == Path::Clean ? "Clean_" : "Filter_") + carriers[int(carrier)] + "_P" +
               std::to_string(programs) + "_" + breaks[int(brk)] + (flag ? "Flagged" : "") +
               (wrap ? "_AtWrap" : "_Far") + headers[int(pes)] + drops[int(drop)];
    }
};

// --- the recording --------------------------------------------------------------

// The PIDs of program k (0 or 1): the second program is the first's twin,
// 0x100 higher. The fixture's own PIDs are those of program 0.
struct Layout {
    int Number, Pmt, Video, Audio, Audio2, Text, Own;
};
Layout Of(int k)
{
    const int o = 0x100 * k;
    return {0x2A + k, 0x200 + o, 0x210 + o, 0x211 + o, 0x212 + o, 0x213 + o, 0x21F + o};
}
int ClockPid(const Layout& l, Carrier c)
{
    switch (c) {
    case Carrier::Video: return l.Video;
    case Carrier::Audio: return l.Audio2;
    case Carrier::Teletext: return l.Text;
    case Carrier::OwnPid: return l.Own;
    case Carrier::Pmt: return l.Pmt;
    }
    return -1;
}
std::set<int> StreamPids(const Layout& l) { return {l.Video, l.Audio, l.Audio2, l.Text}; }

std::vector<Bytes> Packets(const Bytes& f)
{
    std::vector<Bytes> v;
    for (size_t i = 0; i + 188 <= f.size(); i += 188)
        v.emplace_back(f.begin() + static_cast<long>(i), f.begin() + static_cast<long>(i + 188));
    return v;
}
Bytes Join(const std::vector<Bytes>& v)
{
    Bytes f;
    for (const Bytes& p : v)
        f.insert(f.end(), p.begin(), p.end());
    return f;
}
void SetPid(Bytes& p, int pid)
{
    p[1] = static_cast<uint8_t>((p[1] & 0xE0) | (pid >> 8));
    p[2] = static_cast<uint8_t>(pid & 0xFF);
}

// A packet with up to 184 payload bytes; what is short is adaptation-field
// stuffing, the field's flags byte set to afFlags.
Bytes PayloadPacket(int pid, bool start, const uint8_t* payload, size_t n, int afFlags = 0)
{
    Bytes p(188, 0xFF);
    p[0] = 0x47;
    p[1] = 0;
    SetPid(p, pid);
    if (start)
        p[1] |= 0x40;
    if (n == 184 && afFlags == 0) {
        p[3] = 0x10;
        std::copy(payload, payload + n, p.begin() + 4);
        return p;
    }
    p[3] = 0x30;
    const int afLen = 183 - static_cast<int>(n);
    p[4] = static_cast<uint8_t>(afLen);
    if (afLen > 0)
        p[5] = static_cast<uint8_t>(afFlags);
    std::copy(payload, payload + n, p.begin() + 5 + afLen);
    return p;
}

// An adaptation-field-only packet that carries a PCR.
Bytes ClockPacket(int pid, int64_t pcr27)
{
    Bytes p(188, 0xFF);
    p[0] = 0x47;
    p[1] = 0;
    SetPid(p, pid);
    p[3] = 0x20;
    p[4] = 183;
    p[5] = 0x10;
    iso::WritePcr(p.data(), pcr27);
    return p;
}

Bytes WithCrc(Bytes s)
{
    const size_t len = s.size() - 3 + 4;
    s[1] = static_cast<uint8_t>(0xB0 | (len >> 8));
    s[2] = static_cast<uint8_t>(len & 0xFF);
    const uint32_t crc = iso::Crc32(s.data(), s.size());
    for (int k = 0; k < 4; ++k)
        s.push_back(static_cast<uint8_t>(crc >> (24 - 8 * k)));
    return s;
}
Bytes PsiPacket(int pid, const Bytes& section)
{
    Bytes p(188, 0xFF);
    p[0] = 0x47;
    p[1] = 0;
    SetPid(p, pid);
    p[1] |= 0x40;
    p[3] = 0x10;
    p[4] = 0; // pointer_field
    std::copy(section.begin(), section.end(), p.begin() + 5);
    return p;
}
Bytes PatSection(int programs)
{
    Bytes s = {0x00, 0, 0, 0x00, 0x01, 0xC1, 0x00, 0x00};
    for (int k = 0; k < programs; ++k) {
        const Layout l = Of(k);
        s.insert(s.end(), {uint8_t(l.Number >> 8), uint8_t(l.Number), uint8_t(0xE0 | (l.Pmt >> 8)), uint8_t(l.Pmt)});
    }
    return WithCrc(s);
}
Bytes PmtSection(const Layout& l, int pcrPid)
{
    Bytes s = {0x02, 0, 0, uint8_t(l.Number >> 8), uint8_t(l.Number), 0xC1, 0x00, 0x00,
               uint8_t(0xE0 | (pcrPid >> 8)), uint8_t(pcrPid), 0xF0, 0x00};
    auto entry = [&s](int type, int pid, const Bytes& d) {
        s.insert(s.end(), {uint8_t(type), uint8_t(0xE0 | (pid >> 8)), uint8_t(pid), uint8_t(0xF0), uint8_t(d.size())});
        s.insert(s.end(), d.begin(), d.end());
    };
    entry(0x02, l.Video, {});
    entry(0x03, l.Audio, {0x0A, 4, 'g', 'e', 'r', 0});
    entry(0x03, l.Audio2, {0x0A, 4, 'e', 'n', 'g', 0});
    entry(0x06, l.Text, {0x56, 5, 'g', 'e', 'r', 0x09, 0x00}); // initial page 100
    return WithCrc(s);
}

// A teletext PES in one packet as broadcasters send it: header data length
// 0x24, data identifier 0x10, three stuffing data units.
Bytes TeletextPacket(int pid, int64_t pts)
{
    Bytes pes(184, 0xFF);
    const uint8_t head[] = {0x00, 0x00, 0x01, 0xBD, 0x00, 0xB2, 0x84, 0x80, 0x24, 0x21, 0, 0, 0, 0};
    std::copy(std::begin(head), std::end(head), pes.begin());
    pes[45] = 0x10; // data_identifier: EBU teletext
    for (size_t u = 0; u < 3; ++u)
        pes[46 + 46 * u + 1] = 0x2C; // stuffing data units of 44 bytes
    iso::WriteStamp(pes, {9, 10, 11, 12, 13}, 0, pts);
    return PayloadPacket(pid, true, pes.data(), pes.size());
}

// Moves every PCR and stamp of the given PIDs from packet `from` on; the
// first PCR moved on each PID gets the discontinuity indicator if `flag`.
void ShiftTimes(Bytes& f, size_t from, const std::set<int>& pcrPids, const std::set<int>& stampPids, int64_t pcr27,
                int64_t stamp90, bool flag = false)
{
    const iso::TsView v = iso::Read(f);
    std::set<int> flagged;
    for (const iso::PcrAt& c : v.Pcrs) {
        if (c.Packet < from || !pcrPids.count(c.Pid))
            continue;
        uint8_t* p = f.data() + c.Packet * 188;
        iso::WritePcr(p, c.Pcr27 + pcr27);
        if (flag && flagged.insert(c.Pid).second)
            p[5] |= 0x80;
    }
    if (stamp90 == 0)
        return;
    for (const iso::StampsAt& h : v.Stamps) {
        if (h.Packet < from || !stampPids.count(h.Pid))
            continue;
        if (h.Pts >= 0)
            iso::WriteStamp(f, h.At, 9, h.Pts + stamp90);
        if (h.Dts >= 0)
            iso::WriteStamp(f, h.At, 14, h.Dts + stamp90);
    }
}

// Every other audio PES and every third video PES loses its stamps: the
// flags say none, the bytes become header stuffing.
void DropSomeStamps(Bytes& f, const Layout& l)
{
    const iso::TsView v = iso::Read(f);
    int audio = 0, video = 0;
    for (const iso::StampsAt& h : v.Stamps) {
        const bool strip = (h.Pid == l.Audio && audio++ % 2 == 1) || (h.Pid == l.Video && video++ % 3 == 1);
        if (!strip || h.Pts < 0)
            continue;
        f[h.At[7]] &= 0x3F;
        for (size_t k = 9; k < 9 + size_t(h.Dts >= 0 ? 10 : 5); ++k)
            f[h.At[k]] = 0xFF;
    }
}

// The audio PES packets are packed anew with the header's first 12 bytes
// alone in the first packet: the PTS runs on into the next one.
Bytes SplitAudioHeaders(const Bytes& f, int pid)
{
    const std::vector<Bytes> in = Packets(f);
    struct OnePes {
        std::vector<size_t> Slots;
        Bytes Payload;
        int Flags = 0;
    };
    std::vector<OnePes> all;
    for (size_t i = 0; i < in.size(); ++i) {
        const uint8_t* p = in[i].data();
        const int s = iso::PayloadAt(p);
        if (iso::Pid(p) != pid || s < 0)
            continue;
        if (iso::UnitStart(p)) {
            all.emplace_back();
            all.back().Flags = (iso::Afc(p) & 2) && p[4] > 0 ? (p[5] & 0x60) : 0;
        }
        if (all.empty())
            continue;
        all.back().Slots.push_back(i);
        all.back().Payload.insert(all.back().Payload.end(), p + s, p + 188);
    }
    std::map<size_t, std::vector<Bytes>> at; // slot -> the packets it becomes
    std::set<size_t> slots;
    for (const OnePes& e : all) {
        std::vector<Bytes> made;
        const size_t first = std::min<size_t>(12, e.Payload.size());
        made.push_back(PayloadPacket(pid, true, e.Payload.data(), first, e.Flags));
        for (size_t q = first; q < e.Payload.size(); q += 184)
            made.push_back(PayloadPacket(pid, false, e.Payload.data() + q, std::min<size_t>(184, e.Payload.size() - q)));
        for (size_t j = 0; j < e.Slots.size(); ++j) {
            slots.insert(e.Slots[j]);
            if (j < made.size())
                at[e.Slots[j]].push_back(made[j]);
        }
        for (size_t j = e.Slots.size(); j < made.size(); ++j)
            at[e.Slots.back()].push_back(made[j]);
    }
    std::vector<Bytes> out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (!slots.count(i)) {
            out.push_back(in[i]);
            continue;
        }
        for (const Bytes& p : at[i])
            out.push_back(p);
    }
    return Join(out);
}

void RenumberContinuity(Bytes& f)
{
    std::map<int, int> last;
    for (size_t i = 0; i + 188 <= f.size(); i += 188) {
        uint8_t* p = f.data() + i;
        const int pid = iso::Pid(p);
        if (pid == 0x1FFF)
            continue;
        auto it = last.emplace(pid, 15).first;
        if (iso::Afc(p) & 1)
            it->second = (it->second + 1) & 15;
        p[3] = static_cast<uint8_t>((p[3] & 0xF0) | it->second);
    }
}

const Bytes& Fixture()
{
    static const Bytes f = cleantest::ReadFile(cleantest::DataFile("mpeg2_mp2.ts"));
    return f;
}

struct Recording {
    Bytes Sound;  // as made, before the break
    Bytes Input;  // with the break
    size_t BreakPacket = 0;
};

Recording Make(const Cell& c)
{
    Recording r;
    const Layout a = Of(0);
    Bytes f = Fixture();
    if (f.empty()) {
        ADD_FAILURE() << "fixture missing";
        return r;
    }
    if (c.pes == Pes::NoStamps)
        DropSomeStamps(f, a);
    if (c.pes == Pes::Split)
        f = SplitAudioHeaders(f, a.Audio);

    // The second audio (a copy of the first), a teletext stream with the
    // video's PTS, the program's own table.
    std::map<size_t, int64_t> videoPts;
    for (const iso::StampsAt& h : iso::Read(f).Stamps)
        if (h.Pid == a.Video && h.Pts >= 0)
            videoPts[h.Packet] = h.Pts;
    const int clockPid = ClockPid(a, c.carrier);
    std::vector<Bytes> out;
    const std::vector<Bytes> in = Packets(f);
    for (size_t i = 0; i < in.size(); ++i) {
        Bytes p = in[i];
        const int pid = iso::Pid(p.data());
        if (pid == a.Pmt) {
            out.push_back(PsiPacket(a.Pmt, PmtSection(a, clockPid)));
            continue;
        }
        int64_t pcr = 0;
        if (c.carrier != Carrier::Video && pid == a.Video && iso::ReadPcr(p.data(), pcr)) {
            // ffmpeg's adaptation fields hold nothing after the PCR but stuffing.
            EXPECT_EQ(p[5] & 0x0F, 0);
            out.push_back(ClockPacket(clockPid, pcr));
            p[5] &= static_cast<uint8_t>(~0x10);
            std::fill(p.begin() + 6, p.begin() + 12, 0xFF);
        }
        out.push_back(p);
        if (pid == a.Audio) {
            Bytes twin = p;
            SetPid(twin, a.Audio2);
            out.push_back(twin);
        }
        if (videoPts.count(i))
            out.push_back(TeletextPacket(a.Text, videoPts[i]));
    }

    // The second program: every packet of the first's PIDs again under its
    // own, its times 10 s later.
    if (c.programs == 2) {
        const Layout b = Of(1);
        std::set<int> ofA = StreamPids(a);
        ofA.insert({a.Pmt, a.Own});
        std::vector<Bytes> two;
        for (const Bytes& p : out) {
            two.push_back(p);
            const int pid = iso::Pid(p.data());
            if (!ofA.count(pid))
                continue;
            Bytes twin = p;
            SetPid(twin, pid + 0x100);
            if (pid == a.Pmt && iso::PayloadAt(p.data()) >= 0)
                twin = PsiPacket(b.Pmt, PmtSection(b, ClockPid(b, c.carrier)));
            two.push_back(twin);
        }
        out = two;
        f = Join(out);
        std::set<int> ofB = StreamPids(b);
        ShiftTimes(f, 0, {ClockPid(b, c.carrier)}, ofB, 10 * kSecond27, 10 * kSecond90);
        out = Packets(f);
    }
    for (Bytes& p : out)
        if (iso::Pid(p.data()) == 0)
            p = PsiPacket(0, PatSection(c.programs));
    f = Join(out);
    RenumberContinuity(f);

    // The break: a PCR of the first program halfway, with a stamp of its
    // program between it and the PCR before, so that every PCR before the
    // break meets its next stamp before the break as well. (The second
    // program's packets follow the first's twins: the same holds for it.)
    const iso::TsView v = iso::Read(f);
    std::vector<iso::PcrAt> clock;
    for (const iso::PcrAt& p : v.Pcrs)
        if (p.Pid == clockPid)
            clock.push_back(p);
    if (clock.size() < 10) {
        ADD_FAILURE() << "too few PCRs: " << clock.size();
        return r;
    }
    const std::set<int> streamsA = StreamPids(a);
    auto breakFrom = [&](size_t k) {
        for (; k + 1 < clock.size(); ++k) {
            const bool between = std::any_of(v.Stamps.begin(), v.Stamps.end(), [&](const iso::StampsAt& h) {
                return streamsA.count(h.Pid) && h.Pts >= 0 && h.Packet > clock[k - 1].Packet &&
                       h.Packet < clock[k].Packet;
            });
            if (between)
                break;
        }
        return k;
    };
    const size_t k = breakFrom(clock.size() / 2);
    r.BreakPacket = clock[k].Packet;
    const size_t catchUp = clock[breakFrom(k + 5)].Packet;

    // Where the recording lies: the break 10 hours in (past 2^31, where
    // broadcast clocks often stand), or 0.3 s before the wrap; a clock that
    // jumps 100 s forward then wraps 0.3 s after its jump, ahead of its
    // stamps. Of two programs this is where the second one (10 s later) lies.
    const bool forward = c.brk == Break::JumpUp || c.brk == Break::JumpCaughtUp;
    const int64_t at = clock[k].Pcr27 / 300 + (c.programs == 2 ? 10 * kSecond90 : 0);
    const int64_t target = !c.wrap ? 36000 * kSecond90
                                   : iso::kWrap90 - 3 * kSecond90 / 10 - (forward ? 100 * kSecond90 : 0);
    std::set<int> pcrPids, stampPids;
    for (int q = 0; q < c.programs; ++q) {
        pcrPids.insert(ClockPid(Of(q), c.carrier));
        for (int pid : StreamPids(Of(q)))
            stampPids.insert(pid);
    }
    ShiftTimes(f, 0, pcrPids, stampPids, (target - at) * 300, target - at);
    r.Sound = f;

    // Of two programs only the second breaks: the first is the clock a
    // check that follows one clock meets first.
    const Layout broken = Of(c.programs - 1);
    const std::set<int> brokenPcr = {ClockPid(broken, c.carrier)}, brokenStamps = StreamPids(broken);
    const int64_t jump = c.brk == Break::JumpDown ? -100 * kSecond90 : 100 * kSecond90;
    if (c.brk == Break::StampsUp)
        ShiftTimes(f, r.BreakPacket, {}, brokenStamps, 0, jump);
    else if (c.brk != Break::None)
        ShiftTimes(f, r.BreakPacket, brokenPcr, brokenStamps, jump * 300, c.brk == Break::Gap ? jump : 0, c.flag);
    if (c.brk == Break::JumpCaughtUp)
        ShiftTimes(f, catchUp, {}, brokenStamps, 0, jump);
    r.Input = f;
    return r;
}

// --- what the copy is judged by -----------------------------------------------------

struct Leads {
    int64_t Min = INT64_MAX, Max = INT64_MIN;
    int Count = 0;
};

// How far each PCR of the clock lies before the next decode stamp of the
// given streams, as a decoder meets them (90 kHz).
Leads LeadsOf(const iso::TsView& v, int pcrPid, const std::set<int>& streams)
{
    struct Event {
        size_t Packet;
        int Kind; // 0 PCR, 1 stamp: a PCR precedes the payload of its packet
        int64_t Value;
    };
    std::vector<Event> ev;
    for (const iso::PcrAt& p : v.Pcrs)
        if (p.Pid == pcrPid)
            ev.push_back({p.Packet, 0, p.Pcr27 / 300});
    for (const iso::StampsAt& h : v.Stamps)
        if (streams.count(h.Pid) && h.Decode() >= 0)
            ev.push_back({h.Packet, 1, h.Decode()});
    std::stable_sort(ev.begin(), ev.end(),
                     [](const Event& x, const Event& y) { return std::tie(x.Packet, x.Kind) < std::tie(y.Packet, y.Kind); });
    Leads l;
    std::vector<int64_t> open;
    for (const Event& e : ev) {
        if (e.Kind == 0) {
            open.push_back(e.Value);
            continue;
        }
        for (int64_t pcr : open) {
            const int64_t lead = iso::Diff90(e.Value, pcr);
            l.Min = std::min(l.Min, lead);
            l.Max = std::max(l.Max, lead);
            ++l.Count;
        }
        open.clear();
    }
    return l;
}

std::vector<std::pair<int64_t, int64_t>> StampsOf(const iso::TsView& v, int pid)
{
    std::vector<std::pair<int64_t, int64_t>> s;
    for (const iso::StampsAt& h : v.Stamps)
        if (h.Pid == pid)
            s.emplace_back(h.Pts, h.Dts);
    return s;
}

// PIDs whose stamps or PCRs run over 2^33 back to small values (a step
// back of less than half the circle is no wrap).
int WrappingPids(const iso::TsView& v)
{
    std::map<int, int64_t> last;
    std::set<int> wrapping;
    auto step = [&](int key, int64_t t90) {
        const auto it = last.find(key);
        if (it != last.end() && t90 < it->second && iso::Diff90(t90, it->second) > 0)
            wrapping.insert(key);
        last[key] = t90;
    };
    for (const iso::PcrAt& p : v.Pcrs)
        step(p.Pid | 0x10000, p.Pcr27 / 300);
    for (const iso::StampsAt& h : v.Stamps)
        if (h.Decode() >= 0)
            step(h.Pid, h.Decode());
    return static_cast<int>(wrapping.size());
}

// Log lines that report a wrap found.
int WrapLines(const std::string& log)
{
    int n = 0;
    size_t at = 0;
    while (at < log.size()) {
        size_t eol = log.find('\n', at);
        if (eol == std::string::npos)
            eol = log.size();
        const std::string line = log.substr(at, eol - at);
        at = eol + 1;
        if (line.find("wrap") != std::string::npos && line.find("detected") != std::string::npos)
            ++n;
    }
    return n;
}

std::string Seconds(int64_t t90)
{
    std::ostringstream s;
    s << double(t90) / kSecond90 << " s";
    return s.str();
}

// The log lines that speak of the clock, the stamps, dropped streams and
// the result, for the failure message.
std::string Gist(const std::string& log)
{
    static const char* keys[] = {"ERROR", "WARNING", "PCR", "Process", "wrap", "Patch", "not be imported",
                                 "Deleting", "does not agree", "dropped", "DTS", "PTS"};
    std::string out;
    int lines = 0;
    size_t at = 0;
    while (at < log.size() && lines < 40) {
        size_t eol = log.find('\n', at);
        if (eol == std::string::npos)
            eol = log.size();
        const std::string line = log.substr(at, eol - at);
        at = eol + 1;
        for (const char* k : keys)
            if (line.find(k) != std::string::npos) {
                out += line + "\n";
                ++lines;
                break;
            }
    }
    return out;
}

struct CellRun {
    bool Ran = false;
    bool PlainSuccess = false;
    bool TimerPatched = false; // the user let the timer be patched (one offset for all)
    int KeptProgram = -1;      // of the main job; the filter keeps all
    Bytes Copy;
    std::string Log;
};

std::set<int> DroppedPids(const Cell& c, int k)
{
    const Layout l = Of(k);
    std::set<int> d;
    if (c.drop == Drop::On)
        d = {l.Text, l.Audio2};
    if (c.path == Path::Clean && c.drop == Drop::Default)
        d = {l.Text};
    return d;
}

CellRun RunCell(const Cell& c, const Bytes& input)
{
    CellRun r;
    const std::string in = cleantest::TempName("clock_matrix"), out = cleantest::TempName("clock_matrix_out");
    cleantest::Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    cleantest::WriteFile(in, input);
    cleantest::Road road;
    road.host.PcrCorrectionAnswer = true;
    if (c.drop == Drop::Off)
        road.host.Bools["NoTeletext"] = false;
    ClearLog();
    if (c.path == Path::Filter) {
        TPacketFilter filter(road.engine->FilterReader(), &road.pass->PacketHandlers());
        for (int k = 0; k < c.programs; ++k)
            for (int pid : DroppedPids(c, k))
                filter.Pids.push_back(pid);
        const TPacketFilter::TResult res = filter.Run(in, out, {});
        r.Log = cleantest::AllLog();
        // The filter has no summary: a copy it made is a plain success
        // unless it failed or counted an error (a PCR it put back counts
        // as a warning, as in the main job). Its errors are counted on PID
        // records where the recording has them, else for the copy as a whole.
        r.PlainSuccess = res.Ok && res.Errors == 0 && road.engine->Tables().TotalErrors() == 0;
        r.Ran = true;
    } else {
        if (!road.Analyse(in)) {
            ADD_FAILURE() << "the analysis refused the recording\n" << cleantest::AllLog();
            return r;
        }
        const int pmt = road.engine->Selection().Pmt().PID();
        for (int k = 0; k < c.programs; ++k)
            if (Of(k).Pmt == pmt)
                r.KeptProgram = k;
        if (r.KeptProgram < 0) {
            ADD_FAILURE() << "the analysis chose no program of the recording: PMT $" << std::hex << pmt;
            return r;
        }
        TAnalysisTables& t = road.engine->Tables();
        if (c.drop == Drop::On) {
            bool dropped = false;
            for (int slot = 0; slot < AUDIO_SLOTS; ++slot)
                if (t.Audio[static_cast<size_t>(slot)].Pid == Of(r.KeptProgram).Audio2)
                    dropped = road.engine->ToggleAudioStream(slot) == 2;
            EXPECT_TRUE(dropped) << "the English audio could not be dropped";
        }
        if (c.programs == 2) {
            // The other program's streams are kept as they are (the preserve
            // list): left out, they alone would make the result a warning.
            const std::set<int> other = StreamPids(Of(1 - r.KeptProgram));
            TPreserveList& list = road.pass->PreserveList;
            FillPreserveList(*road.engine, list);
            for (int i = 0; i < list.Count(); ++i) {
                int pid = -1;
                list.Item(i).Checked = TPreserveList::ItemPid(list.Item(i).Text, pid) && other.count(pid) > 0;
            }
        }
        const TCleaningResult result = road.Clean(out);
        r.TimerPatched = t.TimerPatchMode != 0;
        r.Log = cleantest::AllLog();
        r.PlainSuccess = result == TCleaningResult::Success;
        r.Ran = true;
    }
    r.Copy = cleantest::ReadFile(out);
    return r;
}

void PrintTo(const Cell& c, std::ostream* os) { *os << c.Name(); }

// The main job and the filter copy the same recording: neighbouring cells
// share it (the cells list the two paths one after the other).
struct Prepared {
    std::string Key;
    Recording Rec;
    iso::TsView Sound, In;
};
const Prepared& PreparedFor(const Cell& c)
{
    static Prepared last;
    Cell keyCell = c;
    keyCell.path = Path::Clean;
    const std::string key = keyCell.Name();
    if (last.Key != key) {
        last.Key = key;
        last.Rec = Make(c);
        last.Sound = iso::Read(last.Rec.Sound);
        last.In = iso::Read(last.Rec.Input);
    }
    return last;
}

class ClockMatrix : public ::testing::TestWithParam<Cell> {};

TEST_P(ClockMatrix, TheCopyKeepsItsClockInStepAndItsStreamsWhole)
{
    const Cell c = GetParam();
    const Prepared& prepared = PreparedFor(c);
    const Recording& rec = prepared.Rec;
    ASSERT_FALSE(rec.Input.empty());
    const CellRun run = RunCell(c, rec.Input);
    ASSERT_TRUE(run.Ran);
    const iso::TsView &sound = prepared.Sound, &in = prepared.In;
    const iso::TsView copy = iso::Read(run.Copy);
    ASSERT_TRUE(copy.Whole) << "the copy is no sequence of whole packets";

    // A clock-free look at the recording is sound throughout; a real gap is
    // sound as well (clock and stamps agree on both sides).
    // Of two programs only the second breaks.
    auto soundClockOf = [&c](int k) {
        return c.brk == Break::None || c.brk == Break::Gap || (c.programs == 2 && k == 0);
    };
    const std::string tail = "\n--- what the log says ---\n" + Gist(run.Log);

    // The user let the timer be patched to remove a wrap the recording has:
    // every PCR and stamp moves by one offset, which the first video stamp
    // tells. A recording without a wrap is not patched.
    const int wrapping = WrappingPids(in);
    int64_t offset90 = 0;
    if (run.TimerPatched && wrapping > 0) {
        const int video = Of(std::max(run.KeptProgram, 0)).Video;
        const auto inV = StampsOf(in, video), outV = StampsOf(copy, video);
        if (!inV.empty() && !outV.empty())
            offset90 = iso::Diff90(outV.front().first, inV.front().first);
    }
    auto moved = [offset90](int64_t v90) { return v90 < 0 ? v90 : iso::Wrap(v90 + offset90, iso::kWrap90); };

    // The log tells of no wrap the recording does not have, and of each
    // once (in the analysis and in the pass).
    const int wrapLines = WrapLines(run.Log);
    EXPECT_LE(wrapLines, wrapping == 0 ? 0 : 2 * wrapping + 1)
        << "the log reports " << wrapLines << " wraps; PIDs whose stamps or PCRs wrap: " << wrapping << tail;
    EXPECT_EQ(copy.CrcErrors, 0) << tail;
    EXPECT_FALSE(copy.TablesDisagree) << "two different tables under one version number" << tail;

    std::vector<std::string> clockFaults; // excused by a result that is no plain success
    for (int k = 0; k < c.programs; ++k) {
        const bool soundClock = soundClockOf(k);
        if (c.path == Path::Clean && k != run.KeptProgram)
            continue;
        const Layout l = Of(k);
        SCOPED_TRACE("program " + std::to_string(l.Number));
        std::set<int> kept = StreamPids(l);
        for (int pid : DroppedPids(c, k))
            kept.erase(pid);

        const auto pat = copy.PatPrograms.find(l.Number);
        ASSERT_NE(pat, copy.PatPrograms.end()) << "the copy's PAT lacks the program" << tail;
        const auto prog = copy.Programs.find(l.Number);
        ASSERT_NE(prog, copy.Programs.end()) << "the copy has no PMT of the program" << tail;
        ASSERT_EQ(prog->second.PmtPid, pat->second);
        const int inClock = ClockPid(l, c.carrier);
        const int outClock = prog->second.PcrPid;

        // Every kept stream is listed and whole, its stamps as they were.
        const std::set<int> listed = prog->second.StreamPids();
        for (int pid : kept) {
            EXPECT_TRUE(listed.count(pid)) << "PID " << std::hex << pid << " is missing in the copy's PMT" << tail;
            EXPECT_EQ(copy.PerPid.count(pid) ? copy.PerPid.at(pid) : 0, in.PerPid.at(pid))
                << "packets of PID " << std::hex << pid << tail;
            auto want = StampsOf(in, pid);
            for (auto& [pts, dts] : want) {
                pts = moved(pts);
                dts = moved(dts);
            }
            EXPECT_EQ(StampsOf(copy, pid), want) << "stamps of PID " << std::hex << pid << tail;
        }

        // The clock: PCRs on the PID the copy's table names.
        std::vector<int64_t> inPcrs, outPcrs, inBefore;
        for (const iso::PcrAt& p : in.Pcrs)
            if (p.Pid == inClock) {
                inPcrs.push_back(iso::Wrap(p.Pcr27 + offset90 * 300, iso::kWrap27));
                if (p.Packet < rec.BreakPacket)
                    inBefore.push_back(inPcrs.back());
            }
        for (const iso::PcrAt& p : copy.Pcrs)
            if (p.Pid == outClock)
                outPcrs.push_back(p.Pcr27);
        std::vector<std::string> faults;
        std::ostringstream what;
        if (outPcrs.size() * 10 < inPcrs.size() * 9)
            what << outPcrs.size() << " PCRs on the PCR PID $" << std::hex << outClock << std::dec << " of the copy, "
                 << inPcrs.size() << " in the recording; ";
        if (soundClock && outPcrs != inPcrs)
            what << "the PCRs of a sound clock were changed; ";
        if (!soundClock && (outPcrs.size() < inBefore.size() ||
                            !std::equal(inBefore.begin(), inBefore.end(), outPcrs.begin())))
            what << "PCRs before the break were changed; ";
        const Leads want = LeadsOf(sound, inClock, kept), got = LeadsOf(copy, outClock, kept);
        const int64_t tolerance = kSecond90 / 5;
        if (got.Count == 0)
            what << "no PCR of the copy meets a decode stamp of its program; ";
        else if (got.Min < want.Min - tolerance || got.Max > want.Max + tolerance)
            what << "PCR ahead of the next decode stamp by " << Seconds(got.Min) << " .. " << Seconds(got.Max)
                 << " (" << got.Count << " PCRs), in the sound recording " << Seconds(want.Min) << " .. "
                 << Seconds(want.Max) << "; ";
        if (what.str().empty())
            continue;
        // The filter keeps to the PIDs the user chose, also when one carries
        // the clock: that copy has no clock, and must not be a plain success.
        const bool carrierLeftOut = c.path == Path::Filter && DroppedPids(c, k).count(inClock) > 0;
        if (soundClock && !carrierLeftOut)
            ADD_FAILURE() << "program " << l.Number << " (its clock sound): " << what.str() << tail;
        else
            clockFaults.push_back("program " + std::to_string(l.Number) + ": " + what.str());
    }
    if (!clockFaults.empty()) {
        std::string all;
        for (const std::string& f : clockFaults)
            all += f + "\n";
        EXPECT_FALSE(run.PlainSuccess) << "a plain success with a wrong clock:\n" << all << tail;
    }
}

std::vector<Cell> ClockCells()
{
    std::vector<Cell> v;
    for (Carrier carrier : {Carrier::Video, Carrier::Audio, Carrier::Teletext, Carrier::OwnPid, Carrier::Pmt})
        for (int programs : {1, 2})
            for (Break brk : {Break::None, Break::JumpUp, Break::JumpDown, Break::Gap, Break::JumpCaughtUp,
                              Break::StampsUp})
                for (bool flag : {false, true})
                    for (bool wrap : {false, true})
                        for (Path path : {Path::Clean, Path::Filter}) {
                            if ((brk == Break::None || brk == Break::JumpCaughtUp || brk == Break::StampsUp) && flag)
                                continue;
                            // What two programs add (which clock is followed,
                            // which program is kept) does not hang on the wrap.
                            if (programs == 2 && wrap)
                                continue;
                            Cell c;
                            c.path = path;
                            c.carrier = carrier;
                            c.programs = programs;
                            c.brk = brk;
                            c.flag = flag;
                            c.wrap = wrap;
                            v.push_back(c);
                        }
    return v;
}

std::vector<Cell> SettingsCells()
{
    std::vector<Cell> v;
    for (Drop drop : {Drop::Off, Drop::On})
        for (Carrier carrier : {Carrier::Video, Carrier::Audio, Carrier::Teletext, Carrier::OwnPid, Carrier::Pmt})
            for (Break brk : {Break::None, Break::JumpUp})
                for (Path path : {Path::Clean, Path::Filter}) {
                    if (path == Path::Filter && drop == Drop::Off)
                        continue; // the filter's default drops nothing: the clock cells
                    Cell c;
                    c.path = path;
                    c.carrier = carrier;
                    c.brk = brk;
                    c.drop = drop;
                    v.push_back(c);
                }
    return v;
}

std::vector<Cell> PesCells()
{
    std::vector<Cell> v;
    for (Pes pes : {Pes::Split, Pes::NoStamps})
        for (Carrier carrier : {Carrier::Video, Carrier::Audio})
            for (Break brk : {Break::None, Break::JumpUp, Break::JumpDown, Break::Gap})
                for (bool flag : {false, true})
                    for (bool wrap : {false, true})
                        for (Path path : {Path::Clean, Path::Filter}) {
                            if (brk == Break::None && flag)
                                continue;
                            // Stamps left out are read alike on every PID.
                            if (pes == Pes::NoStamps && carrier != Carrier::Video)
                                continue;
                            Cell c;
                            c.path = path;
                            c.pes = pes;
                            c.carrier = carrier;
                            c.brk = brk;
                            c.flag = flag;
                            c.wrap = wrap;
                            v.push_back(c);
                        }
    return v;
}

std::string CellName(const ::testing::TestParamInfo<Cell>& info) { return info.param.Name(); }

INSTANTIATE_TEST_SUITE_P(Clock, ClockMatrix, ::testing::ValuesIn(ClockCells()), CellName);
INSTANTIATE_TEST_SUITE_P(Settings, ClockMatrix, ::testing::ValuesIn(SettingsCells()), CellName);
INSTANTIATE_TEST_SUITE_P(PesHeaders, ClockMatrix, ::testing::ValuesIn(PesCells()), CellName);

// The recordings themselves, read by the test's own reader: the matrix is
// only worth what they hold.
TEST(ClockMatrixRecordings, HoldWhatEachCellSaysTheyHold)
{
    for (Carrier carrier : {Carrier::Video, Carrier::Audio, Carrier::Teletext, Carrier::OwnPid, Carrier::Pmt})
        for (Pes pes : {Pes::Whole, Pes::Split, Pes::NoStamps}) {
            Cell c;
            c.carrier = carrier;
            c.pes = pes;
            c.programs = 2;
            c.brk = Break::JumpUp;
            c.flag = true;
            c.wrap = true;
            SCOPED_TRACE(c.Name());
            const Recording rec = Make(c);
            const iso::TsView s = iso::Read(rec.Sound), v = iso::Read(rec.Input);
            ASSERT_TRUE(s.Whole);
            EXPECT_EQ(s.CrcErrors, 0);
            ASSERT_EQ(s.Programs.size(), 2u);
            for (int k = 0; k < 2; ++k) {
                SCOPED_TRACE(k);
                const Layout l = Of(k);
                const iso::Program& p = s.Programs.at(l.Number);
                EXPECT_EQ(p.PcrPid, ClockPid(l, carrier));
                EXPECT_EQ(p.StreamPids(), StreamPids(l));
                // Every stream carries stamps, the clock runs sound with a
                // lead below a decoder's buffer.
                for (int pid : StreamPids(l))
                    EXPECT_GT(StampsOf(s, pid).size(), 5u) << std::hex << pid;
                const Leads lead = LeadsOf(s, p.PcrPid, StreamPids(l));
                EXPECT_GT(lead.Count, 15);
                EXPECT_GE(lead.Min, 0);
                EXPECT_LT(lead.Max, kSecond90);
                // After the break the clock lies 100 s ahead of its stamps.
                // After the break the second program's clock lies 100 s
                // ahead of its stamps; the first's runs on.
                const Leads broken = LeadsOf(v, p.PcrPid, StreamPids(l));
                if (k == 1)
                    EXPECT_LT(broken.Min, -99 * kSecond90) << broken.Min << " " << broken.Max;
                else
                    EXPECT_EQ(broken.Min, lead.Min);
            }
            // Across the wrap: the jumped clock of the second program wraps
            // after its jump.
            bool wrapped = false;
            int64_t last = -1;
            for (const iso::PcrAt& p : v.Pcrs)
                if (p.Pid == ClockPid(Of(1), carrier) && p.Packet > rec.BreakPacket + 1) {
                    wrapped = wrapped || (last >= 0 && p.Pcr27 < last);
                    last = p.Pcr27;
                }
            EXPECT_TRUE(wrapped);
            // Split headers: the audio's PTS bytes lie in two packets.
            if (pes == Pes::Split) {
                int split = 0;
                for (const iso::StampsAt& h : s.Stamps)
                    if (h.Pid == Of(0).Audio && h.At[9] / 188 != h.At[13] / 188)
                        ++split;
                EXPECT_GT(split, 5);
            }
            if (pes == Pes::NoStamps) {
                int none = 0;
                for (const iso::StampsAt& h : s.Stamps)
                    none += h.Pts < 0 ? 1 : 0;
                EXPECT_GT(none, 10);
            }
        }
}

} // namespace
