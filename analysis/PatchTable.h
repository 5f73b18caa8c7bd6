// The preserve list: found streams the analysis did not keep, which the user
// can tick in the preserve-streams dialog to carry into the output all the
// same. (The byte-patch table lives with the analysis tables, which the
// analysis fills; the cleaning pass applies it.)
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tw {

struct TPreserveItem {
    std::string Text; // "$" + PID in 4 hex digits + ": " + type text
    bool Checked = false;
};

// What the preserve list needs to know of the analysis tables; the engine
// fills it from its found-stream table, kept-PID list and rebuilt PMT.
struct TPreserveContext {
    std::function<bool(int pid)> IsKept;
    std::function<void(int pid)> AddKept;
    // Re-adds the saved PMT entry of the PID to the rebuilt PMT.
    std::function<bool(int pid)> RestorePmtEntry;
    std::function<void(const std::string&)> Log;
};

class TPreserveList {
public:
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    TPreserveItem& Item(int i) { return items_[i]; }
    const TPreserveItem& Item(int i) const { return items_[i]; }
    void Add(const std::string& text) { items_.push_back({text, false}); }

    // "$0123: AC3 Audio", or the unknown text when the type text is empty.
    static std::string ItemText(int pid, const std::string& typeText, const std::string& unknownText);
    // The PID from the first five characters of an item text.
    static bool ItemPid(const std::string& text, int& pid);

    // Rebuilds the list: every found stream (PID, type text, in table order)
    // that is not kept, not 0 and not the PMT's own PID, unticked.
    void Fill(const std::vector<std::pair<int, std::string>>& foundStreams, const std::function<bool(int)>& isKept,
              int pmtPid, const std::string& unknownText);

    // Takes the ticked streams back into the kept-PID list and the rebuilt
    // PMT; True when at least one PMT entry was restored. A broken item is
    // skipped, a ticked PID that is already kept is skipped silently.
    bool PreserveStreams(const TPreserveContext& ctx);

private:
    std::vector<TPreserveItem> items_;
};

class TAnalysisEngine;

// The preserve list from the engine's tables: found streams not kept, not
// PID 0 and not the rebuilt PMT's PID ("Unknown" in the window's language).
void FillPreserveList(TAnalysisEngine& engine, TPreserveList& list);
// Applies the ticked items to the engine: kept-PID list, saved PMT entries
// back into the selected PMT, log lines. True when a PMT entry was restored.
bool PreserveStreams(TAnalysisEngine& engine, TPreserveList& list);
// Re-adds the first saved PMT entry of the PID to the selected PMT.
bool RestorePmtEntry(TAnalysisEngine& engine, int pid);

} // namespace tw
