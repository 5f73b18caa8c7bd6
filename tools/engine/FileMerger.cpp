#include "tools/engine/FileMerger.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "analysis/MainTexts.h"
#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/StringList.h"
#include "base/SysUtils.h"
#include "tools/engine/StreamProbe.h"
#include "tools/engine/ToolFiles.h"

namespace tw {

TMergeSource ProbeMergeSource(const std::string& fileName)
{
    TMergeSource s;
    s.FileName = fileName;
    const TStreamProbe p = ProbeStreamFile(fileName);
    if (!p.Found || p.PacketSize <= 0)
        return s;
    s.PacketSize = p.PacketSize;
    s.SyncOffset = p.GarbageOffset;
    const int64_t usable = std::max<int64_t>(0, p.FileSize - s.SyncOffset);
    s.PacketCount = usable / s.PacketSize;
    s.Remainder = static_cast<int>(usable % s.PacketSize);
    return s;
}

bool TMergeSourceTable::Add(const TMergeSource& source)
{
    if (FindMergeSource(source.FileName) >= 0)
        return false;
    entries_.push_back(source);
    return true;
}

int TMergeSourceTable::FindMergeSource(const std::string& fileName) const
{
    for (int i = Count() - 1; i >= 0; --i)
        if (SameText(entries_[static_cast<size_t>(i)].FileName, fileName))
            return i;
    return -1;
}

bool TMergeSourceTable::RemoveMergeSource(const std::string& fileName)
{
    const int i = FindMergeSource(fileName);
    if (i < 0)
        return false;
    entries_.erase(entries_.begin() + i);
    return true;
}

int64_t TMergeSourceTable::TotalMergeSize() const
{
    int64_t total = 0;
    for (const TMergeSource& s : entries_)
        total += static_cast<int64_t>(s.PacketSize) * s.PacketCount;
    return total;
}

std::string MergedDestinationName(const std::string& fileName)
{
    return ChangeFileExt(fileName, "_merged" + ExtractFileExt(fileName));
}

std::string MergeLogName(const std::string& destination) { return ChangeFileExt(destination, ".log"); }

std::string CheckMergeDestination(const std::string& destination, const std::vector<std::string>& sources,
                                  bool german)
{
    const std::string log = MergeLogName(destination);
    for (const std::string& s : sources) {
        if (SameFilePath(s, destination))
            return german ? "Die Zieldatei darf keine der Quelldateien sein!\r" + s
                          : "The destination must not be one of the source files!\r" + s;
        if (SameFilePath(s, log))
            return german ? "Das Log " + log + " w\xC3\xBCrde eine Quelldatei ersetzen!"
                          : "The log " + log + " would replace a source file!";
    }
    if (SameFilePath(log, destination))
        return german ? "Das Log w\xC3\xBCrde die Zieldatei ersetzen!" : "The log would replace the destination!";
    return {};
}

int64_t FindMergeOverlap(const uint8_t* tail, int64_t tailLength, const uint8_t* head, int64_t headLength,
                         int packetSize)
{
    if (packetSize <= 0)
        return 0;
    const int64_t limit = std::min(tailLength, headLength);
    // Largest first: the whole tail from that point on must be repeated.
    for (int64_t n = limit - limit % packetSize; n >= kMergeMinOverlap; n -= packetSize)
        if (std::memcmp(tail + tailLength - n, head, static_cast<size_t>(n)) == 0)
            return n;
    return 0;
}

std::string MergeSpeedText(double mbs)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", mbs);
    return buf;
}

namespace {

std::string Duration(uint64_t ms)
{
    const uint64_t s = ms / 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02llu:%02llu:%02llu", static_cast<unsigned long long>(s / 3600),
                  static_cast<unsigned long long>(s / 60 % 60), static_cast<unsigned long long>(s % 60));
    return buf;
}

int Percent(int64_t part, int64_t whole) { return whole > 0 ? static_cast<int>(part * 100 / whole) : 0; }

// One run of the merge; the report is filled as it goes, so whatever ends it
// the log and the figures are there.
class TMergeRun {
public:
    TMergeRun(const TMergeSourceTable& table, bool cutMode, IMergeHost& host, TMergeReport& report)
        : table_(table), cut_(cutMode), host_(host), r_(report)
    {
    }

    void Run(const std::vector<std::string>& order, TStream& dest)
    {
        buffer_.resize(static_cast<size_t>(kMergeBlock));
        for (const std::string& name : order) {
            if (!FileExists(name)) {
                r_.Outcome = TMergeOutcome::MissingSource;
                r_.MissingFile = name;
                Log("File " + name + " not found!");
                return;
            }
            if (!CopySource(name, dest))
                return;
        }
        r_.Outcome = TMergeOutcome::Success;
    }

    void Log(const std::string& line) { r_.Log.push_back(line); }
    int64_t total = 0;

    // The destination's size cut back to the last whole packet of the
    // source being copied; the size itself between sources.
    int64_t WholePacketEnd(int64_t destSize) const
    {
        if (!inSource_ || destSize <= sourceDestStart_)
            return destSize;
        // Source positions where a packet begins: sync_ + k x packet_.
        const int64_t reached = sourceFrom_ + (destSize - sourceDestStart_);
        int64_t boundary = reached < sync_ ? sourceFrom_ : sync_ + (reached - sync_) / packet_ * packet_;
        boundary = std::max(boundary, sourceFrom_);
        return sourceDestStart_ + (boundary - sourceFrom_);
    }

private:
    bool CopySource(const std::string& name, TStream& dest)
    {
        Log("");
        Log("Merging file        : " + name);
        TFileStream in(name, fmOpenRead | fmShareDenyNone);
        const int64_t size = in.Size();
        const std::string shortName = ExtractFileName(name);
        host_.SetAction("Merging: " + shortName);
        int64_t pos = 0, drop = 0;
        int packetSize = 0;
        // Where the source's packets lie, to cut a torn copy back to them.
        sync_ = 0;
        packet_ = 188;
        const int i = table_.FindMergeSource(name);
        if (i >= 0 && table_.Entry(i).PacketSize > 0) {
            packet_ = table_.Entry(i).PacketSize;
            sync_ = table_.Entry(i).SyncOffset;
        }
        if (cut_) {
            if (i >= 0) {
                const TMergeSource& s = table_.Entry(i);
                pos = s.SyncOffset;
                drop = s.Remainder;
                packetSize = s.PacketSize;
            }
            if (tail_.size() > 0 && packetSize > 0) {
                host_.SetAction("Checking: " + shortName);
                // The probe is as long as the tail, so the whole tail can be
                // compared; a source shorter than that is compared as far as
                // it goes.
                std::vector<uint8_t> probe(tail_.size());
                in.SetPosition(pos);
                const int64_t got = in.Read(probe.data(), static_cast<int64_t>(probe.size()));
                host_.SetAction("Merging: " + shortName);
                const int64_t overlap = got >= kMergeMinOverlap
                                            ? FindMergeOverlap(tail_.data(), static_cast<int64_t>(tail_.size()),
                                                               probe.data(), got, packetSize)
                                            : 0;
                if (overlap > 0) {
                    Log("       Overlapping  : " + IntToStr(overlap / packetSize) + " packets");
                    pos += overlap;
                }
            }
        }
        if (packetSize < 1)
            packetSize = 188;
        Log("       Byte offset  : " + IntToStr(pos));
        Log("       Packet size  : " + IntToStr(packetSize));
        Log("       Packet start : $" + IntToHex(dest.Size() / packetSize, 8));
        const int64_t gaugeStep = std::max<int64_t>(1, size / 1000000000);
        const int64_t end = std::max<int64_t>(0, size - drop);
        in.SetPosition(pos);
        sourceFrom_ = pos;
        sourceDestStart_ = dest.Size();
        inSource_ = true;
        while (pos < end) {
            const int64_t block = std::min(kMergeBlock, end - pos);
            // A source that gives less than it held at opening is not
            // merged whole: the merge fails, naming it.
            const int64_t got = in.Read(buffer_.data(), block);
            if (got != block) throw EReadError(ReadFailureText(name, pos, got, block, in.LastErrorText()));
            dest.WriteBuffer(buffer_.data(), block);
            pos += block;
            r_.Written += block;
            if (++blocks_ % gaugeStep == 0)
                host_.SetProgress(Percent(pos, size), Percent(r_.Written, total));
            if (host_.Cancelled()) {
                r_.Outcome = TMergeOutcome::Cancelled;
                return false;
            }
        }
        inSource_ = false;
        Log("       Packet end   : $" + IntToHex(dest.Size() / packetSize - 1, 8));
        tail_.clear();
        const int64_t destSize = dest.Size();
        if (cut_ && destSize >= kMergeTail) {
            tail_.resize(static_cast<size_t>(kMergeTail));
            dest.SetPosition(destSize - kMergeTail);
            dest.ReadBuffer(tail_.data(), kMergeTail);
        }
        dest.SetPosition(destSize);
        return true;
    }

    const TMergeSourceTable& table_;
    bool cut_;
    IMergeHost& host_;
    TMergeReport& r_;
    std::vector<uint8_t> buffer_;
    std::vector<uint8_t> tail_;
    int64_t blocks_ = 0;
    bool inSource_ = false;
    int64_t sourceFrom_ = 0, sourceDestStart_ = 0, sync_ = 0;
    int packet_ = 188;
};

} // namespace

TMergeReport MergeFiles(const std::vector<std::string>& order, const TMergeSourceTable& table,
                        const std::string& destination, bool cutMode, IMergeHost& host,
                        const TMergeOutputFactory& openDestination)
{
    TMergeReport r;
    const uint64_t startTick = GetTickCount64Ms();
    TMergeRun run(table, cutMode, host, r);
    run.total = table.TotalMergeSize();
    run.Log(destination);
    run.Log("Calculated size: " + IntToStr(run.total) + " bytes");
    // Nothing to merge makes no recording: refused before the destination is
    // touched. A source without a single packet is merged all the same: only
    // a source the user agreed to add gets here.
    if (order.empty()) {
        r.Outcome = TMergeOutcome::Failed;
        r.Error = "No files to merge";
    } else {
        bool opened = false;
        try {
            std::unique_ptr<TStream> dest =
                openDestination ? openDestination(destination)
                                : std::make_unique<TFileStream>(destination,
                                                                FileExists(destination) ? fmOpenReadWrite : fmCreate);
            opened = true;
            dest->SetSize(0);
            dest->SetPosition(0);
            try {
                run.Run(order, *dest);
            } catch (const Exception& e) {
                r.Outcome = TMergeOutcome::Failed;
                r.Error = e.Message();
            }
            if (r.Outcome == TMergeOutcome::Failed || r.Outcome == TMergeOutcome::Cancelled) {
                // A block that stopped in the middle of a packet would leave
                // a torn packet at the end: the copy keeps whole packets, as
                // far as the merge got.
                r.Incomplete = destination;
                try {
                    const int64_t size = dest->Size();
                    const int64_t whole = run.WholePacketEnd(size);
                    if (whole < size)
                        dest->SetSize(whole);
                } catch (const Exception&) {
                    // The failure that ended the merge is the one to report.
                }
            }
            if (auto* file = dynamic_cast<TFileStream*>(dest.get()))
                file->Flush();
        } catch (const Exception& e) {
            if (r.Error.empty())
                r.Error = e.Message();
            r.Outcome = TMergeOutcome::Failed;
            if (opened)
                r.Incomplete = destination;
        }
    }
    if (r.Outcome == TMergeOutcome::Failed)
        run.Log("Error: " + r.Error);
    if (!r.Incomplete.empty())
        run.Log(OutputNoteText(TOutputNote::Incomplete, false) + " " + r.Incomplete);
    const uint64_t elapsed = GetTickCount64Ms() - startTick;
    // A merge quicker than the clock's step has no measurable speed.
    r.SpeedMBs = elapsed > 0 ? (static_cast<double>(r.Written) / 1048576.0) / (static_cast<double>(elapsed) / 1000.0) : 0;
    run.Log("");
    run.Log("Speed   : " + MergeSpeedText(r.SpeedMBs) + " MBytes/sec");
    run.Log("Duration: " + Duration(elapsed));
    try {
        TStringList log;
        for (const std::string& line : r.Log)
            log.Add(line);
        log.SaveToFile(MergeLogName(destination));
    } catch (const Exception&) {
        // The merge's result stands; a log that cannot be written does not
        // turn it into a failure.
    }
    return r;
}

std::string MergeResultText(const TMergeReport& report, bool german)
{
    switch (report.Outcome) {
    case TMergeOutcome::Success:
        return german ? "Dateien erfolgreich zusammengef\xC3\xBCgt!\rGeschwindigkeit : " + MergeSpeedText(report.SpeedMBs) +
                            " MBytes/sec"
                      : "Merging successfully compleated!\rSpeed : " + MergeSpeedText(report.SpeedMBs) + " MBytes/sec";
    case TMergeOutcome::MissingSource:
    case TMergeOutcome::Cancelled:
    case TMergeOutcome::Failed:
        break;
    }
    return (german ? "Dateien zusammenf\xC3\xBCgen unvollst\xC3\xA4ndig!" : "Merging failed!") +
           std::string(report.Error.empty() ? "" : "\r" + report.Error) +
           (report.Incomplete.empty() ? std::string()
                                      : "\r" + OutputNoteText(TOutputNote::Incomplete, german) + " " + report.Incomplete);
}

std::string MergeMissingText(const std::string& fileName, bool german)
{
    return german ? "Datei " + fileName + " nicht gefunden!" : "File " + fileName + " not found!";
}

} // namespace tw
