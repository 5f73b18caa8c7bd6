// The file merger's engine: probing sources, the source table, and the merge
// that copies the sources one after another into the destination. In the
// cut-to-packets mode every source is copied from its first whole packet to
// its last, and the start of a source that repeats the end of what was
// already written is skipped. The merge writes its log beside the
// destination. The window (tools/FileMergerForm) adds the questions, the
// progress window and the messages.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tw {

class TStream;

constexpr int64_t kMergeBlock = 10000000;
constexpr int64_t kMergeTail = 188000;
constexpr int64_t kMergeMinOverlap = 1024;

struct TMergeSource {
    std::string FileName;
    int PacketSize = 0; // 188 or 192; 0 when no valid packet was found
    int SyncOffset = 0; // first valid packet modulo the packet size
    int64_t PacketCount = 0;
    int Remainder = 0; // bytes after the last whole packet
};

// Probes the file read-only.
TMergeSource ProbeMergeSource(const std::string& fileName);

// The probe results by file name. It grows with the list: a receiver
// recording alone can have 1,000 parts.
class TMergeSourceTable {
public:
    int Count() const { return static_cast<int>(entries_.size()); }
    const TMergeSource& Entry(int i) const { return entries_[static_cast<size_t>(i)]; }
    // False (nothing added) when the name is there already.
    bool Add(const TMergeSource& source);
    // The last entry with that name (case-insensitive); -1 when absent.
    int FindMergeSource(const std::string& fileName) const;
    bool RemoveMergeSource(const std::string& fileName);
    void Clear() { entries_.clear(); }
    // Sum of PacketSize x PacketCount over all entries.
    int64_t TotalMergeSize() const;

private:
    std::vector<TMergeSource> entries_;
};

// "a.ts" -> "a_merged.ts".
std::string MergedDestinationName(const std::string& fileName);
// The destination with ".log" in place of its extension.
std::string MergeLogName(const std::string& destination);
// Why the destination cannot be used (empty when it can): it is one of the
// sources, or its log would replace it or a source.
std::string CheckMergeDestination(const std::string& destination, const std::vector<std::string>& sources,
                                  bool german);

// Bytes at the start of head that repeat the whole end of tail, in whole
// packets: the largest n (a multiple of packetSize, at least 1,024) for which
// the last n bytes of tail equal the first n bytes of head; 0 when none.
int64_t FindMergeOverlap(const uint8_t* tail, int64_t tailLength, const uint8_t* head, int64_t headLength,
                         int packetSize);

// What the merge needs of its window.
class IMergeHost {
public:
    virtual ~IMergeHost() = default;
    // "Merging: a.ts", "Checking: a.ts".
    virtual void SetAction(const std::string& text) {}
    virtual void SetProgress(int filePercent, int totalPercent) {}
    // The progress window's cancel button was pressed.
    virtual bool Cancelled() { return false; }
};

enum class TMergeOutcome { Success, Cancelled, MissingSource, Failed };

struct TMergeReport {
    TMergeOutcome Outcome = TMergeOutcome::Failed;
    std::string MissingFile;
    std::string Error;
    int64_t Written = 0;
    // The destination's name when the merge ended inside it (failure or
    // cancel): it holds whole packets up to where the merge stopped.
    std::string Incomplete;
    double SpeedMBs = 0; // 0 when too quick to measure
    std::vector<std::string> Log;
};

// Opens the destination for reading and writing (tests put a failing
// stream in between).
using TMergeOutputFactory = std::function<std::unique_ptr<TStream>(const std::string& fileName)>;

// Merges the sources in the given order. Sources are opened read-only; an
// existing destination is overwritten. A source without a single packet (the
// user added it all the same) is copied whole. A merge that ends inside a
// source is cut back to its last whole packet and reported as incomplete.
// The log is saved beside the destination whatever the outcome; failures end
// as an outcome with their reason, never as an exception.
TMergeReport MergeFiles(const std::vector<std::string>& order, const TMergeSourceTable& table,
                        const std::string& destination, bool cutMode, IMergeHost& host,
                        const TMergeOutputFactory& openDestination = nullptr);

// The closing message: success with the speed, or failure (with the reason
// of a file that could not be read or written).
std::string MergeResultText(const TMergeReport& report, bool german);
// The message for a source that went missing before the merge reached it.
std::string MergeMissingText(const std::string& fileName, bool german);
// One decimal, "." as separator.
std::string MergeSpeedText(double mbs);

} // namespace tw
