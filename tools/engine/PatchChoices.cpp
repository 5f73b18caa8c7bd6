#include "tools/engine/PatchChoices.h"

#include <set>

#include "analysis/TableSelection.h"
#include "analysis/AnalysisEngine.h"
#include "base/SysUtils.h"
#include "ts/TSPatReader.h"
#include "ts/TSPmtReader.h"

namespace tw {

namespace {

std::string Hex(int v)
{
    std::string s(1, '$');
    return s += IntToHex(v, 4);
}

int CurrentProgramNumber(const TAnalysisEngine& engine)
{
    const TTSPatReader* pat = &engine.Selection().Pat();
    return pat->PATEntryCount() > 0 ? pat->Entry(0).ProgramNumber : 0;
}

} // namespace

TPatchChoices FillPatchChoices(const TAnalysisEngine& engine, int newServiceId)
{
    TPatchChoices c;
    c.CurrentSid = c.NewSid = Hex(CurrentProgramNumber(engine));
    if (newServiceId != -1)
        c.NewSid = Hex(newServiceId);
    const TAnalysisTables& t = engine.Tables();
    const int pmtPid = engine.Selection().Pmt().PID();
    for (int i = 0; i < t.FoundStreamCount; ++i) {
        const TFoundStream& f = t.FoundStreams[static_cast<size_t>(i)];
        if (f.Pid == 0 || f.Pid == pmtPid)
            continue;
        c.Rows.emplace_back(Hex(f.Pid), Hex(f.ReplacementPid == -1 ? f.Pid : f.ReplacementPid));
    }
    return c;
}

bool ParseStreamPid(const std::string& text, int& pid)
{
    int64_t v = 0;
    if (!TryStrToInt64(text, v) || v < kFirstStreamPid || v > kLastStreamPid)
        return false;
    pid = static_cast<int>(v);
    return true;
}

bool GridPidAccepted(const std::string& text)
{
    int64_t v = 0;
    return TryStrToInt64(text, v) && v >= 1 && v <= 8191;
}

std::string StreamPidRangeMessage(bool german)
{
    return german ? "Eine PID f\xC3\xBCr einen Stream muss zwischen 1 und 8190 ($0001 bis $1FFE) liegen!"
                  : "A stream's PID must lie between 1 and 8190 ($0001 to $1FFE)!";
}

std::string CheckPatchRows(const std::vector<std::pair<std::string, std::string>>& rows, int pmtPid, bool german)
{
    std::set<int> used;
    for (const auto& [key, value] : rows) {
        int pid = 0;
        if (!ParseStreamPid(value, pid))
            return StreamPidRangeMessage(german) + "\r" + key + " = " + value;
        // Two streams on one PID, or a stream on the PMT's PID, would mix
        // their packets in the output beyond repair.
        if (pid == pmtPid || !used.insert(pid).second)
            return (german ? "Die PID $" : "PID $") + IntToHex(pid, 4) +
                   (german ? " ist schon vergeben!" : " is already in use!");
    }
    return {};
}

TPatchResult ApplyPatchChoices(TAnalysisEngine& engine, const std::string& newSidText,
                               const std::vector<std::pair<std::string, std::string>>& rows)
{
    TPatchResult r;
    int64_t sid = 0;
    if (!TryStrToInt64(newSidText, sid)) {
        r.RemapCount = -1;
        return r;
    }
    // Program number 0 names the network PID in a PAT, not a program.
    if (sid >= 1 && sid <= 65535 && sid != CurrentProgramNumber(engine))
        r.NewServiceId = static_cast<int>(sid);
    TAnalysisTables& t = engine.Tables();
    for (const auto& [key, value] : rows) {
        int64_t oldPid = -1, newPid = -1;
        if (!TryStrToInt64(key, oldPid) || !TryStrToInt64(value, newPid))
            oldPid = newPid = -1;
        if (newPid < kFirstStreamPid || newPid > kLastStreamPid)
            newPid = -1;
        const int i = oldPid >= 0 ? t.FoundStreamIndex(static_cast<int>(oldPid)) : -1;
        if (i < 0)
            continue;
        t.FoundStreams[static_cast<size_t>(i)].ReplacementPid = static_cast<int>(newPid);
        if (newPid != -1)
            ++r.RemapCount;
    }
    return r;
}

} // namespace tw
