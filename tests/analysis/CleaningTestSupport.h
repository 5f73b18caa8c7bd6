// Shared by the cleaning tests: a host that answers the engine's questions
// itself and records what the window would show, the whole road of one
// recording (analyse, then clean), damage applied to recordings in code, and
// an independent structural check of an output file.
#pragma once

#include "analysis/AnalysisEngine.h"
#include "analysis/AppLog.h"
#include "analysis/CleaningPass.h"
#include "analysis/QuietHost.h"
#include "analysis/TimeStampCorrection.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "tests/support/TsBuilder.h"
#include "tests/support/TsProbe.h"
#include "ts/TSPacketWriter.h"
#include "ts/dvb_crc32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tw::cleantest {

using Bytes = std::vector<uint8_t>;
using test::PacketPayloadStart;
using test::ReadPacketPcr;
using test::ReadPacketTimestamps;

class TestHost : public TQuietHost {
public:
    // Answers; every question defaults to Yes except the PCR correction.
    std::map<TAnalysisQuestion, bool> Answers;
    bool PcrCorrectionAnswer = false;
    bool AbortAnswer = true;
    int CancelAfterChecks = -1; // press cancel at the n-th check
    int TimerPatchMode = 0;
    bool DuplicateHandling = false;
    std::vector<std::pair<TMessageKind, std::string>> Messages;
    std::vector<std::string> Sounds;
    std::vector<std::string> Questions;
    int PcrQuestions = 0, AbortQuestions = 0, Steps = 0;
    int64_t MeterBits = 0;

    // IAnalysisHost
    void LogLine(const std::string& line) override { AppendLogLine(line); }
    void ClearLog() override { tw::ClearLog(); }
    bool Ask(TAnalysisQuestion q, const std::string& text) override
    {
        Questions.push_back(text);
        auto it = Answers.find(q);
        return it == Answers.end() ? true : it->second;
    }
    void ShowMessage(TMessageKind kind, const std::string& text) override { Messages.emplace_back(kind, text); }
    void PlaySound(const std::string& name) override { Sounds.push_back(name); }
    // Boolean settings a test sets; the others read as their defaults.
    std::map<std::string, bool> Bools;
    bool SettingBool(const std::string& name, bool def) override
    {
        if (name == "PESDuplicatePacketHandling")
            return DuplicateHandling;
        const auto it = Bools.find(name);
        return it == Bools.end() ? def : it->second;
    }
    int SettingInt(const std::string& name, int def) override
    {
        if (name == "TimerPatchMode")
            return TimerPatchMode;
        return def;
    }
    std::string WindowsVersionText() override { return "Test"; }
    std::string ProgramNameVersion() override { return "Tarnwick test"; }

    // ICleaningHost
    bool CancelPressed() override { return CancelAfterChecks >= 0 && ++checks_ > CancelAfterChecks && !cleared_; }
    void ClearCancel() override { cleared_ = true; }
    bool AskAbort(const std::string&) override
    {
        ++AbortQuestions;
        return AbortAnswer;
    }
    bool AskPcrCorrection(const std::string&) override
    {
        ++PcrQuestions;
        return PcrCorrectionAnswer;
    }
    void MeterSample(int, int64_t bits) override { MeterBits += bits; }
    void SetTimeText(const std::string& text) override { TimeTexts.push_back(text); }
    std::vector<std::string> TimeTexts;
    void MeterStep() override { ++Steps; }
    // The stream panels' size label per "$" + PID, as last shown.
    std::map<std::string, std::string> SizeLabels;
    void UpdateStreamLabel(const std::string& pidText, const std::string& size, const std::string&) override
    {
        SizeLabels[pidText] = size;
    }

private:
    int checks_ = 0;
    bool cleared_ = false;
};

// The log window's lines as one text, for assertions and failure output.
inline std::string AllLog()
{
    std::string s;
    for (const std::string& l : LogLines())
        s += l + "\n";
    return s;
}

// Whether the log holds exactly this line.
inline bool HasLine(const std::string& line)
{
    const std::vector<std::string> lines = LogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// MPEG-1 layer II frames, 192 kbit/s at 48 kHz without CRC (FF FD A4), as
// most encoders write them.
inline Bytes MpegAudioFrames()
{
    Bytes f(576 * 2, 0x55);
    for (size_t at : {size_t{0}, size_t{576}}) {
        f[at] = 0xFF;
        f[at + 1] = 0xFD;
        f[at + 2] = 0xA4;
        f[at + 3] = 0x00;
    }
    return f;
}

// One engine and cleaning pass with their host (a TestHost or one derived
// from it that fails or answers on purpose).
template <class Host>
struct RoadWith {
    Host host;
    std::unique_ptr<TAnalysisEngine> engine;
    TCleaningPass* pass = nullptr;
    RoadWith()
    {
        engine = std::make_unique<TAnalysisEngine>(static_cast<IAnalysisHost*>(&host));
        pass = new TCleaningPass(engine.get(), engine.get(), &host);
    }
    bool Analyse(const std::string& file) { return engine->AnalyseStream(file); }
    TCleaningResult Clean(const std::string& out) { return pass->Run(out); }
};
using Road = RoadWith<TestHost>;

inline std::string TempName(const std::string& tag, const std::string& ext = ".ts")
{
    return test::UniqueTempName("clean_" + tag, ext);
}

// Removes the files it was given when the test ends, also after a skip.
struct Cleanup {
    std::vector<std::string> Files;
    ~Cleanup()
    {
        for (const std::string& f : Files)
            RemoveFile(f);
    }
};

inline Bytes ReadFile(const std::string& name)
{
    Bytes b;
    FILE* f = std::fopen(name.c_str(), "rb");
    if (!f)
        return b;
    std::fseek(f, 0, SEEK_END);
    const long n = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    b.resize(static_cast<size_t>(n > 0 ? n : 0));
    if (n > 0 && std::fread(b.data(), 1, b.size(), f) != b.size())
        b.clear();
    std::fclose(f);
    return b;
}

inline void WriteFile(const std::string& name, const Bytes& b)
{
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f)
        return;
    if (!b.empty())
        std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

inline std::string DataFile(const std::string& name) { return std::string(TW_TEST_DATA_DIR) + "/" + name; }

inline int Pid(const uint8_t* p) { return ((p[1] & 0x1F) << 8) | p[2]; }

// What an independent look at an output finds.
struct OutputCheck {
    bool WholePackets = false;
    bool AllSync = false;
    int64_t Packets = 0;
    int ContinuityErrors = 0;
    int PatSections = 0, PatCrcErrors = 0;
    int PmtSections = 0, PmtCrcErrors = 0;
    int PmtPid = -1;
    int ProgramNumber = -1; // of the program the copy's PAT names
    int PatPrograms = -1;   // entries of the copy's last PAT
    int PmtProgramNumber = -1; // program_number of the copy's last PMT
    std::set<int> Pids;
    std::map<int, int64_t> PacketsPerPid;
    std::vector<int> PmtStreamPids;
    int64_t FirstPatPacket = -1, FirstPmtPacket = -1;
    // Time stamps (90 kHz) of PES headers and PCRs, in file order.
    std::vector<int64_t> Pts;
    std::vector<int64_t> Pcr90;
};

inline bool SectionCrcOk(const uint8_t* section, int len)
{
    return Crc32Mpeg(section, 0xFFFFFFFFu, len) == 0;
}

inline OutputCheck CheckOutput(const std::string& file)
{
    OutputCheck c;
    const Bytes b = ReadFile(file);
    c.WholePackets = !b.empty() && b.size() % 188 == 0;
    c.Packets = static_cast<int64_t>(b.size() / 188);
    c.AllSync = true;
    std::map<int, int> lastCC;
    std::map<int, Bytes> assembling;
    for (int64_t i = 0; i < c.Packets; ++i) {
        const uint8_t* p = b.data() + i * 188;
        if (p[0] != 0x47) {
            c.AllSync = false;
            continue;
        }
        const int pid = Pid(p);
        c.Pids.insert(pid);
        ++c.PacketsPerPid[pid];
        const int afc = (p[3] >> 4) & 3;
        const int cc = p[3] & 15;
        if (pid != 0x1FFF && (afc == 1 || afc == 3)) {
            auto it = lastCC.find(pid);
            if (it != lastCC.end() && cc != ((it->second + 1) & 15))
                ++c.ContinuityErrors;
            lastCC[pid] = cc;
        }
        int64_t pcr = 0;
        if (ReadPacketPcr(p, pcr))
            c.Pcr90.push_back(pcr / 300);
        int64_t escr, dts, pts;
        if (ReadPacketTimestamps(p, escr, dts, pts) && pts >= 0)
            c.Pts.push_back(pts);
        // PSI: PAT on PID 0, the PMT on the PID the PAT names.
        if (pid == 0 || pid == c.PmtPid) {
            const int s = PacketPayloadStart(p);
            if (s < 0)
                continue;
            Bytes& a = assembling[pid];
            if (p[1] & 0x40) {
                const int ptr = p[s];
                a.assign(p + s + 1 + ptr, p + 188);
            } else if (!a.empty()) {
                a.insert(a.end(), p + s, p + 188);
            }
            if (a.size() < 3)
                continue;
            const int len = ((a[1] & 0x0F) << 8) | a[2];
            if (static_cast<int>(a.size()) < len + 3)
                continue;
            const bool ok = SectionCrcOk(a.data(), len + 3);
            if (pid == 0) {
                ++c.PatSections;
                if (c.FirstPatPacket < 0)
                    c.FirstPatPacket = i;
                if (!ok)
                    ++c.PatCrcErrors;
                else {
                    c.PatPrograms = (len - 9) / 4;
                    if (len >= 13) {
                        c.ProgramNumber = (a[8] << 8) | a[9];
                        c.PmtPid = ((a[10] & 0x1F) << 8) | a[11];
                    }
                }
            } else {
                ++c.PmtSections;
                if (c.FirstPmtPacket < 0)
                    c.FirstPmtPacket = i;
                if (!ok) {
                    ++c.PmtCrcErrors;
                } else {
                    c.PmtProgramNumber = (a[3] << 8) | a[4];
                    c.PmtStreamPids.clear();
                    const int infoLen = ((a[10] & 0x0F) << 8) | a[11];
                    for (int q = 12 + infoLen; q + 5 <= len + 3 - 4;) {
                        c.PmtStreamPids.push_back(((a[q + 1] & 0x1F) << 8) | a[q + 2]);
                        q += 5 + (((a[q + 3] & 0x0F) << 8) | a[q + 4]);
                    }
                }
            }
            a.clear();
        }
    }
    return c;
}

// Packets per PID of a recording as it lies on the disk: 188-byte packets,
// or 192-byte ones with a 4-byte time code in front; whatever does not start
// with a sync byte where the packet size puts one is not counted.
inline std::map<int, int64_t> PacketsPerPidOf(const std::string& file)
{
    const Bytes b = ReadFile(file);
    std::map<int, int64_t> n;
    const bool m2ts = b.size() > 196 && b[4] == 0x47 && b[196] == 0x47 && b[0] != 0x47;
    const size_t size = m2ts ? 192 : 188, lead = m2ts ? 4 : 0;
    for (size_t i = lead; i + 188 <= b.size(); i += size)
        if (b[i] == 0x47)
            ++n[Pid(b.data() + i)];
    return n;
}

// --- ffmpeg / ffprobe -------------------------------------------------------

// The outside decoder (ffmpeg and ffprobe) checks what our own look at the
// bytes cannot: that a real decoder reads the output without complaint. The
// native builds always have it (scripts/setup installs it), so a machine
// without it fails here instead of passing without those checks. The Windows
// build cannot start it and answers false: its callers skip.
inline bool HaveFfmpeg()
{
#if defined(_WIN32)
    return false;
#else
    static const bool have = std::system("ffprobe -version >/dev/null 2>&1") == 0 &&
                             std::system("ffmpeg -version >/dev/null 2>&1") == 0;
    if (!have)
        ADD_FAILURE() << "ffmpeg/ffprobe not installed (scripts/setup installs them): the outside decoder's "
                         "checks cannot run";
    return have;
#endif
}

inline std::string RunCapture(const std::string& cmd)
{
    std::string out;
#if !defined(_WIN32)
    FILE* f = ::popen(cmd.c_str(), "r");
    if (!f)
        return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    ::pclose(f);
#endif
    return out;
}

// Lines of "key=value" for every stream ffprobe sees.
inline std::string Probe(const std::string& file, const std::string& entries)
{
    return RunCapture("ffprobe -v error -show_entries " + entries + " -of default=noprint_wrappers=1 '" + file +
                      "' 2>&1");
}

inline int CountOccurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// Errors ffmpeg reports decoding the whole file.
inline std::string DecodeErrors(const std::string& file)
{
    return RunCapture("ffmpeg -hide_banner -nostdin -v error -i '" + file + "' -f null - 2>&1");
}

// The video frames ffprobe decodes from a file. Callers compare two counts:
// a file that yields none (no video stream left, ffprobe failing) fails the
// test here, so that two failed counts never pass as equal.
inline int64_t VideoFrameCount(const std::string& file)
{
    const std::string s = RunCapture("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                                     "stream=nb_read_frames -of default=noprint_wrappers=1:nokey=1 '" +
                                     file + "' 2>/dev/null");
    // A recording with a program table lists its streams twice (under the
    // program and on their own): one number a line, the first counts.
    const std::string first = s.substr(0, s.find('\n'));
    const int64_t frames = StrToInt64Def(Trim(first), -1);
    EXPECT_GT(frames, 0) << "no video frames counted in " << file << ": " << s;
    return frames;
}

// ffprobe's codec_type ("video", "audio", "subtitle", "data") per PID of a
// recording; empty where ffprobe cannot run.
inline std::map<int, std::string> ProbeCodecTypes(const std::string& file)
{
    std::map<int, std::string> types;
#if !defined(_WIN32)
    const std::string text = Probe(file, "stream=id,codec_type");
    std::string type;
    size_t at = 0;
    while (at < text.size()) {
        size_t eol = text.find('\n', at);
        if (eol == std::string::npos)
            eol = text.size();
        const std::string line = text.substr(at, eol - at);
        at = eol + 1;
        if (line.rfind("codec_type=", 0) == 0)
            type = line.substr(11);
        else if (line.rfind("id=0x", 0) == 0)
            types[static_cast<int>(std::strtol(line.c_str() + 5, nullptr, 16))] = type;
    }
#endif
    return types;
}

// The streams a copy of a recording must hold, with the packets each has in
// the recording: every video, audio and subtitle stream of the program the
// copy carries (the recording's program on the copy's PMT PID, by number
// where several share it; every stream of a recording without a usable PAT
// and PMT). Read without the program under test: the test probe's own PSI
// and PES reading of the recording and, where it runs, ffprobe's codecs of
// the recording. Teletext is left to the "No Teletext" setting, which the
// test hosts leave at its default (on).
inline std::map<int, int64_t> StreamsTheCopyMustHold(const std::string& recording, int copyPmtPid,
                                                     int copyProgram)
{
    const test::TRecordingStreams rs = test::ReadRecordingStreams(recording);
    std::map<int, test::TProbeClass> candidates;
    const test::TProbeProgram* program = nullptr;
    for (const test::TProbeProgram& p : rs.Programs)
        if (p.PmtPid == copyPmtPid && !p.Streams.empty() && (!program || p.Number == copyProgram))
            program = &p;
    if (program) {
        for (const test::TProbeStream& st : program->Streams)
            candidates[st.Pid] = st.Class;
    } else {
        std::set<int> tablePids = {0, 0x1FFF};
        for (const test::TProbeProgram& p : rs.Programs)
            tablePids.insert(p.PmtPid);
        for (const auto& [pid, n] : rs.PacketsPerPid)
            if (!tablePids.count(pid))
                candidates[pid] = rs.ClassByStreamId(pid);
    }
    const std::map<int, std::string> codecs = HaveFfmpeg() ? ProbeCodecTypes(recording) : std::map<int, std::string>{};
    std::map<int, int64_t> must;
    for (const auto& [pid, cls] : candidates) {
        const auto codec = codecs.find(pid);
        const bool decoded = codec != codecs.end() && (codec->second == "audio" || codec->second == "video");
        if (decoded || cls == test::TProbeClass::Video || cls == test::TProbeClass::Audio ||
            cls == test::TProbeClass::Subtitles) {
            const auto n = rs.PacketsPerPid.find(pid);
            must[pid] = n == rs.PacketsPerPid.end() ? 0 : n->second;
        }
    }
    return must;
}

// --- damage -------------------------------------------------------------------

struct Damage {
    size_t LeadingGarbage = 0;
    size_t MidGarbageAtPacket = 0, MidGarbage = 0;
    std::vector<size_t> BitErrorPackets;      // flip a payload bit
    std::vector<size_t> TransportErrorPackets; // set transport_error_indicator
    std::vector<size_t> LostPackets;
    std::vector<size_t> RepeatedPackets;
    // A copy of the first packet goes behind the second (a later one).
    std::vector<std::pair<size_t, size_t>> CopiedBehind;
    bool DropPsi = false; // every other PAT and PMT packet lost
    size_t TruncateTail = 0; // bytes cut off the last packet
};

inline Bytes Damaged(const Bytes& in188, const Damage& d)
{
    const size_t n = in188.size() / 188;
    std::set<size_t> lost(d.LostPackets.begin(), d.LostPackets.end());
    std::set<size_t> rep(d.RepeatedPackets.begin(), d.RepeatedPackets.end());
    std::set<size_t> bits(d.BitErrorPackets.begin(), d.BitErrorPackets.end());
    std::set<size_t> tei(d.TransportErrorPackets.begin(), d.TransportErrorPackets.end());
    Bytes out;
    uint32_t seed = 12345;
    auto garbage = [&](size_t count) {
        for (size_t i = 0; i < count; ++i) {
            seed = seed * 1103515245u + 12345u;
            uint8_t v = static_cast<uint8_t>(seed >> 16);
            out.push_back(v == 0x47 ? 0x46 : v);
        }
    };
    garbage(d.LeadingGarbage);
    std::map<int, int> psiSeen; // per PID: every other table packet is lost
    for (size_t i = 0; i < n; ++i) {
        Bytes p(in188.begin() + static_cast<long>(i * 188), in188.begin() + static_cast<long>(i * 188 + 188));
        if (d.MidGarbage && i == d.MidGarbageAtPacket)
            garbage(d.MidGarbage);
        if (lost.count(i))
            continue;
        const int pid = Pid(p.data());
        if (d.DropPsi && (pid == 0 || (p[1] & 0x40 && p[4] == 0 && p[5] == 2)) && (psiSeen[pid]++ % 2 == 1))
            continue;
        if (bits.count(i))
            p[100] ^= 0x10;
        if (tei.count(i))
            p[1] |= 0x80;
        out.insert(out.end(), p.begin(), p.end());
        if (rep.count(i))
            out.insert(out.end(), p.begin(), p.end());
        for (const auto& [copied, behind] : d.CopiedBehind)
            if (behind == i)
                out.insert(out.end(), in188.begin() + static_cast<long>(copied * 188),
                           in188.begin() + static_cast<long>(copied * 188 + 188));
    }
    if (d.TruncateTail && out.size() > d.TruncateTail)
        out.resize(out.size() - d.TruncateTail);
    return out;
}

// Indices of packets of a PID that carry payload and no PCR (safe to repeat).
inline std::vector<size_t> PayloadPacketsOf(const Bytes& in188, int pid)
{
    std::vector<size_t> v;
    for (size_t i = 0; i < in188.size() / 188; ++i) {
        const uint8_t* p = in188.data() + i * 188;
        int64_t pcr;
        if (Pid(p) == pid && ((p[3] >> 4) & 1) && !(p[1] & 0x40) && !ReadPacketPcr(p, pcr))
            v.push_back(i);
    }
    return v;
}

} // namespace tw::cleantest
