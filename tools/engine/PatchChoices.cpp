#include "tools/engine/PatchChoices.h"

#include <set>

#include "analysis/TableSelection.h"
#include "analysis/AnalysisEngine.h"
#include "analysis/StreamCodes.h"
#include "base/SysUtils.h"
#include "ts/TSPatReader.h"
#include "ts/TSPmtReader.h"

namespace tw {

namespace {

// The messages of the OK check, German and English.
enum TPatchMessage { pmStreamPidRange, pmPidInUse, pmNullPacketsKeepPid, pmNullPidTaken, pmSidRange };
struct TPatchMessageText {
    const char* German;
    const char* English;
};
constexpr TPatchMessageText kPatchMessages[] = {
    {"Eine PID f\xC3\xBCr einen Stream muss zwischen 1 und 8190 ($0001 bis $1FFE) liegen!",
     "A stream's PID must lie between 1 and 8190 ($0001 to $1FFE)!"},
    {"Die PID $%s ist schon vergeben!", "PID $%s is already in use!"},
    {"Die Nullpakete behalten ihre PID $1FFF!", "The null packets keep their PID $1FFF!"},
    {"Die PID $1FFF geh\xC3\xB6rt den Nullpaketen, kein Stream kann sie bekommen!",
     "PID $1FFF belongs to the null packets, no stream can take it!"},
    {"Die Programmnummer (SID) muss zwischen 1 und 65535 ($0001 bis $FFFF) liegen!",
     "The program number (SID) must lie between 1 and 65535 ($0001 to $FFFF)!"},
};

std::string PatchMessage(TPatchMessage id, bool german, const std::string& pid = {})
{
    std::string s = german ? kPatchMessages[id].German : kPatchMessages[id].English;
    if (const size_t at = s.find("%s"); at != std::string::npos)
        s.replace(at, 2, pid);
    return s;
}

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

bool PatchPidAllowed(int oldPid, int newPid)
{
    // Null packets are stuffing: under another PID they would be a stream no
    // table declares, and a stream on $1FFF is thrown away by every receiver.
    if (oldPid == kNullPid || newPid == kNullPid)
        return oldPid == newPid;
    return newPid >= kFirstStreamPid && newPid <= kLastStreamPid;
}

bool GridPidAccepted(const std::string& text)
{
    int64_t v = 0;
    return TryStrToInt64(text, v) && v >= 1 && v <= 8191;
}

std::string StreamPidRangeMessage(bool german)
{
    return PatchMessage(pmStreamPidRange, german);
}

std::string CheckPatchSid(const std::string& newSidText, const std::string& currentSidText, bool german)
{
    // Taken back as it stands, a SID that does not convert would drop the
    // new PIDs chosen with it, and one out of range would be ignored: the
    // dialog would close on OK having taken nothing of what was asked. The
    // number shown as current passes whatever it is: it asks for no change.
    int64_t sid = 0, current = -1;
    if (TryStrToInt64(newSidText, sid) &&
        ((sid >= kFirstProgramNumber && sid <= kLastProgramNumber) ||
         (TryStrToInt64(currentSidText, current) && sid == current)))
        return {};
    return PatchMessage(pmSidRange, german) + "\r" + newSidText;
}

std::string CheckPatchRows(const std::vector<std::pair<std::string, std::string>>& rows, int pmtPid, bool german)
{
    std::set<int> used;
    for (const auto& [key, value] : rows) {
        const std::string row = "\r" + key + " = " + value;
        int64_t oldPid = -1, newPid = -1;
        const bool nullRow = TryStrToInt64(key, oldPid) && oldPid == kNullPid;
        const bool converts = TryStrToInt64(value, newPid);
        if (nullRow) {
            if (!converts || newPid != kNullPid)
                return PatchMessage(pmNullPacketsKeepPid, german) + row;
            continue;
        }
        if (converts && newPid == kNullPid)
            return PatchMessage(pmNullPidTaken, german) + row;
        int pid = 0;
        if (!ParseStreamPid(value, pid))
            return StreamPidRangeMessage(german) + row;
        // Two streams on one PID, or a stream on the PMT's PID, would mix
        // their packets in the output beyond repair.
        if (pid == pmtPid || !used.insert(pid).second)
            return PatchMessage(pmPidInUse, german, IntToHex(pid, 4));
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
    if (sid >= kFirstProgramNumber && sid <= kLastProgramNumber && sid != CurrentProgramNumber(engine))
        r.NewServiceId = static_cast<int>(sid);
    TAnalysisTables& t = engine.Tables();
    for (const auto& [key, value] : rows) {
        int64_t oldPid = -1, newPid = -1;
        if (!TryStrToInt64(key, oldPid) || !TryStrToInt64(value, newPid) || oldPid < 0 || oldPid > kNullPid)
            oldPid = newPid = -1;
        if (newPid < 0 || newPid > kNullPid || !PatchPidAllowed(static_cast<int>(oldPid), static_cast<int>(newPid)))
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
