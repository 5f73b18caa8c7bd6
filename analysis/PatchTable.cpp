#include "analysis/TableSelection.h"
#include "analysis/PatchTable.h"

#include "base/SysUtils.h"

namespace tw {

std::string TPreserveList::ItemText(int pid, const std::string& typeText, const std::string& unknownText)
{
    return "$" + IntToHex(pid, 4) + ": " + (typeText.empty() ? unknownText : typeText);
}

bool TPreserveList::ItemPid(const std::string& text, int& pid)
{
    return TryStrToInt(text.substr(0, 5), pid);
}

void TPreserveList::Fill(const std::vector<std::pair<int, std::string>>& foundStreams,
                         const std::function<bool(int)>& isKept, int pmtPid, const std::string& unknownText)
{
    items_.clear();
    for (const auto& [pid, type] : foundStreams) {
        if (pid == 0 || pid == pmtPid || (isKept && isKept(pid)))
            continue;
        Add(ItemText(pid, type, unknownText));
    }
}

bool TPreserveList::PreserveStreams(const TPreserveContext& ctx)
{
    bool restored = false;
    for (const TPreserveItem& item : items_) {
        if (!item.Checked)
            continue;
        try {
            int pid = 0;
            if (!ItemPid(item.Text, pid))
                continue; // not a number: this item is skipped
            if (ctx.IsKept && ctx.IsKept(pid))
                continue;
            if (ctx.AddKept)
                ctx.AddKept(pid);
            if (ctx.Log)
                ctx.Log("Preserving " + item.Text);
            if (ctx.RestorePmtEntry && ctx.RestorePmtEntry(pid)) {
                if (ctx.Log)
                    ctx.Log("Restoring PMT entry for $" + IntToHex(pid, 4));
                restored = true;
            }
        } catch (const std::exception&) {
            // One broken item must not stop the others.
        }
    }
    return restored;
}

} // namespace tw

// --- On the engine's tables -------------------------------------------------

#include "analysis/AnalysisEngine.h"
#include "analysis/MainTexts.h"
#include "ts/TSPmtReader.h"

namespace tw {

void FillPreserveList(TAnalysisEngine& engine, TPreserveList& list)
{
    const TAnalysisTables& t = engine.Tables();
    std::vector<std::pair<int, std::string>> found;
    found.reserve(static_cast<size_t>(t.FoundStreamCount));
    for (int i = 0; i < t.FoundStreamCount; ++i)
        found.emplace_back(t.FoundStreams[i].Pid, t.FoundStreams[i].TypeText);
    list.Fill(found, [&t](int pid) { return t.IsSelectedPid(pid); }, engine.Selection().Pmt().PID(),
              MessageTextIn(mmUnknown, engine.German()));
}

bool RestorePmtEntry(TAnalysisEngine& engine, int pid)
{
    const TAnalysisTables& t = engine.Tables();
    for (int i = 0; i < t.SavedPmtEntryCount; ++i)
        if (t.SavedPmtEntries[i].PID == pid)
            return engine.Selection().Pmt().AddEntry(t.SavedPmtEntries[i]) >= 0;
    return false;
}

bool PreserveStreams(TAnalysisEngine& engine, TPreserveList& list)
{
    TPreserveContext ctx;
    ctx.IsKept = [&engine](int pid) { return engine.Tables().IsSelectedPid(pid); };
    ctx.AddKept = [&engine](int pid) { engine.Tables().AddSelectedPid(pid); };
    ctx.RestorePmtEntry = [&engine](int pid) { return RestorePmtEntry(engine, pid); };
    ctx.Log = [&engine](const std::string& line) { engine.Log(line); };
    return list.PreserveStreams(ctx);
}

} // namespace tw
