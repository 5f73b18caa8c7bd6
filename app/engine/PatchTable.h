// Two small lists that carry decisions of the analysis to the cleaning pass:
// the byte-patch table (single-byte corrections applied to the packets of one
// PID, today the PES stream_id of an AC-3 stream that should read $BD) and the
// preserve list (found streams the analysis did not keep, which the user can
// tick to carry into the output all the same).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tw {

constexpr int kMaxPatchEntries = 100;
// Kind 3: the PES stream_id of an audio stream (the only kind in use).
constexpr uint8_t kPatchAudioStreamId = 3;

struct TPatchEntry {
    uint32_t PID = 0;
    uint8_t Kind = 0;
    int64_t NewValue = 0;
    int64_t OldValue = 0;
    int64_t PatchedCount = 0;
    int64_t FailedCount = 0;
};

class TPatchTable {
public:
    // Appends an entry with both counters zero; refused (False) when the table
    // is full or (PID, Kind) is already present.
    bool AddPatchEntry(int pid, uint8_t kind, int64_t newValue, int64_t oldValue);
    // Index of the entry, -1 when none.
    int FindPatchEntry(int pid, uint8_t kind) const;
    bool HasPatchEntry(int pid, uint8_t kind) const;
    void Clear() { count_ = 0; }
    int Count() const { return count_; }
    bool Empty() const { return count_ == 0; }
    TPatchEntry& Entry(int index) { return entries_[index]; }
    const TPatchEntry& Entry(int index) const { return entries_[index]; }

private:
    TPatchEntry entries_[kMaxPatchEntries];
    int count_ = 0;
};

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

} // namespace tw
