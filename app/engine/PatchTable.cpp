#include "app/engine/PatchTable.h"

#include "base/SysUtils.h"

namespace tw {

bool TPatchTable::AddPatchEntry(int pid, uint8_t kind, int64_t newValue, int64_t oldValue)
{
    if (count_ >= kMaxPatchEntries || FindPatchEntry(pid, kind) >= 0)
        return false;
    TPatchEntry& e = entries_[count_++];
    e = TPatchEntry{};
    e.PID = static_cast<uint32_t>(pid);
    e.Kind = kind;
    e.NewValue = newValue;
    e.OldValue = oldValue;
    return true;
}

int TPatchTable::FindPatchEntry(int pid, uint8_t kind) const
{
    for (int i = 0; i < count_; ++i)
        if (entries_[i].PID == static_cast<uint32_t>(pid) && entries_[i].Kind == kind)
            return i;
    return -1;
}

bool TPatchTable::HasPatchEntry(int pid, uint8_t kind) const
{
    if (kind == 0 || count_ == 0)
        return false;
    return FindPatchEntry(pid, kind) >= 0;
}

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
