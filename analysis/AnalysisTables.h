// The fixed tables in which the analysis of one recording keeps what it found:
// saved PAT and PMT sections, found streams, PMT PIDs, kept PIDs, per-PID
// records, the video record and the audio and text slots. Nothing grows: each
// table is a fixed array with a count, records stay in the order they were
// added. The cleaning pass and the tools read these after the analysis.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/AnalysisHost.h"
#include "analysis/StreamCodes.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"

namespace tw {

constexpr int MAX_SAVED_PATS = 1000;
constexpr int MAX_SAVED_PMTS = 1000;
constexpr int MAX_FOUND_STREAMS = 10000;
constexpr int MAX_PMT_PIDS = 1000;
constexpr int MAX_KEPT_PIDS = 100;
constexpr int MAX_PID_RECORDS = 256;
constexpr int MAX_SAVED_PMT_ENTRIES = 256;
constexpr int MAX_PAT_PROGRAMS = 64; // a one-packet PAT holds at most 42
constexpr int AUDIO_SLOTS = 4;
constexpr int TEXT_SLOTS = 4;
constexpr int FOUND_TYPE_TEXT_MAX = 15;

// Limits fixed when the main window is created.
constexpr int64_t PID_SCAN_LIMIT = 100000;
constexpr int64_t PAT_SCAN_LIMIT = 100000;
constexpr int64_t PMT_SCAN_LIMIT = 100000;
constexpr int64_t STREAM_TYPE_SCAN_LIMIT = 100000;
constexpr int64_t START_END_LIMIT = 30000;
constexpr int64_t VIDEO_DETAIL_LIMIT = 300000;
constexpr int64_t AUDIO_DETAIL_BUDGET = 30000;
constexpr int VIDEO_PANEL_HEIGHT = 74;
constexpr int AUDIO_PANEL_HEIGHT = 74;
constexpr int TEXT_PANEL_HEIGHT = 44;

// Scan error limits: logging stops after 40 broken packets; the start/end
// scan ends after 1000 (the PID, stream type, PAT and PMT scans read past a
// dropout to their packet limits).
constexpr int SCAN_LOG_ERROR_LIMIT = 40;
constexpr int SCAN_ERROR_LIMIT = 1000;

struct TSavedPmt {
    int Pid = 0;
    int64_t PacketIndex = 0;
    uint32_t Crc32 = 0;
    int64_t Occurrences = 0;
    int PacketCount = 0;
    bool Used = false;
    bool HasVideo = false; // the section lists at least one video entry
};

struct TSavedPat {
    int Pid = 0;
    int TransportStreamID = 0;
    int VersionNumber = 0;
    int64_t PacketIndex = 0;
    uint32_t Crc32 = 0;
    int64_t Occurrences = 0;
    bool Used = false;
    int EntryCount = 0; // programs stored (at most MAX_PAT_PROGRAMS)
    std::array<uint16_t, MAX_PAT_PROGRAMS> ProgramNumbers{};
    std::array<uint16_t, MAX_PAT_PROGRAMS> PmtPids{};
};

struct TFoundStream {
    int Pid = 0;
    int ReplacementPid = -1; // set by the patch dialog; -1 = none
    bool HasPcr = false;
    int StreamID = -1;       // PES stream_id; -1 = unknown
    TPesStreamIdType StreamIDType = psid_unknown_stream;
    int64_t PacketCount = 0;
    std::string TypeText;    // at most 15 characters
};

struct TPidRecord {
    int Pid = 0;
    int EntryIndex = 0;
    bool Video = false, Audio = false, Text = false;
    int64_t Errors = 0;
    int64_t Warnings = 0;
    int64_t LastValue = 0;   // last PES PTS passed by the cleaning pass
    int64_t PacketCount = 0; // kept by the cleaning pass
    int64_t FirstPts = -1, FirstDts = -1, LastPts = -1, LastDts = -1;
};

struct TVideoInfo {
    int Kind = 0; // 0 none, 1 MPEG-2, 2 H.264
    int Resolution_H = 0;
    int Resolution_V = 0;
    double FramesPerSecond = 0;
    bool Interlaced = false;
    double Level = 1.0;
    std::string Profile;     // MPEG-2: profile@level text
    std::string Colorimetry; // H.264 only
    std::string AspectRatio; // MPEG-2 sequence header ("4/3", "16/9"); not shown
    void Clear() { *this = TVideoInfo(); }
};

enum TAudioKind : uint8_t { akNone = 0, akMpeg = 1, akAC3 = 2, akDTS = 3, akAAC = 4, akEAC3 = 5 };
// Teletext and subtitles only where a descriptor says so: no setting drops
// a text entry of another kind (private data whose kind nobody named).
enum TTextKind : uint8_t { tkNone = 0, tkTeletext = 1, tkSubtitles = 2, tkOther = 3 };

struct TAudioInfo {
    int Pid = 0; // 0 = empty slot
    uint8_t Kind = akNone;
    int SampleRate = 0; // Hz
    int BitRate = 0;    // kbit/s
    std::string Mode;   // "2.0", "5.1"
    std::string Language;
    std::string Details; // the panel's details value
    bool Dropped = false;
    bool MixedTypes = false;
    int EntryIndex = -1; // PMT entry behind the slot
};

// One single-byte correction the cleaning pass applies to packets of a PID.
struct TPatchEntry {
    uint32_t Pid = 0;
    uint8_t Kind = 0; // 3 = PES stream_id of an audio stream
    int64_t NewValue = 0;
    int64_t OldValue = 0;
    int64_t PatchedCount = 0;
    int64_t FailedCount = 0;
};
constexpr int MAX_PATCH_ENTRIES = 100;
constexpr uint8_t PATCH_KIND_STREAM_ID = 3;

struct TTextInfo {
    int Pid = 0;
    uint8_t Kind = tkNone;
    std::string Language;
    bool Flag = false;
    bool Dropped = false;
    int EntryIndex = -1;
};

// The analysis tables of one recording. Heap-allocate (about a megabyte).
class TAnalysisTables {
public:
    TAnalysisTables();

    // Everything back to the state before an analysis.
    void ResetAnalysis();

    // --- saved PAT and PMT sections ---
    std::array<TSavedPat, MAX_SAVED_PATS> SavedPats;
    int SavedPatCount = 0;
    std::array<TSavedPmt, MAX_SAVED_PMTS> SavedPmts;
    int SavedPmtCount = 0;

    // --- found streams ---
    std::array<TFoundStream, MAX_FOUND_STREAMS> FoundStreams;
    int FoundStreamCount = 0;
    int FoundStreamIndex(int pid) const; // -1 when absent
    bool IsFoundPid(int pid) const { return FoundStreamIndex(pid) >= 0; }
    // Appends unless present (returns the index either way; -1 when full).
    int AddFoundPid(int pid, int64_t packetCount, const std::string& typeText);
    void SetFoundStreamName(int pid, const std::string& text);
    void SetFoundStreamType(int pid, int streamId, TPesStreamIdType type);
    int MostFrequentPid() const; // -1 for an empty table
    bool PidHasPcr(int pid) const;
    int CountPcrPids() const;
    int FirstPcrPid() const; // 0 when none
    int64_t TotalFoundPackets() const;
    // One line per found stream: "$0100: 95%  = H264 Video (PES_StreamID ...)".
    std::string LogPidLine() const;
    // Fast path for the PID scan: index by PID without a search.
    int FoundIndexFast(int pid) const { return (pid >= 0 && pid < 8192) ? foundIndex_[pid] : -1; }

    // --- which program's table lists a PID ---
    // Per PID: the program (ProgramKey) of the PMT sections that list it,
    // PID_UNLISTED when none does, PID_LISTED_BY_SEVERAL when tables of
    // several programs do. Filled from every distinct PMT the scan saves.
    static constexpr int32_t PID_UNLISTED = -1;
    static constexpr int32_t PID_LISTED_BY_SEVERAL = -2;
    std::array<int32_t, 8192> ListedBy{};
    static int32_t ProgramKey(int pmtPid, int programNumber) {
        return (pmtPid & 0x1FFF) * 65536 + (programNumber & 0xFFFF);
    }
    void NoteListedPid(int pid, int32_t programKey);
    // Per PID: the stream type (with the audio and text kind its
    // descriptors give, see TypeKey) under which the first scanned table of
    // a program lists it, and whether a later table of the same program
    // lists it as something else (a programme change from AC-3 to MPEG
    // audio on the same PID). One table goes out for the whole copy.
    static constexpr int32_t TYPE_UNLISTED = -1;
    std::array<int32_t, 8192> ListedTypeProgram{};
    std::array<int32_t, 8192> ListedType{};
    std::array<bool, 8192> ListedTypeChanged{};
    void NoteListedType(int pid, int32_t programKey, int32_t typeKey);
    // The PCR PIDs the scanned tables of each program name, each once, in
    // the order they were first met: a new table version may move the clock
    // to another PID, and the clock of every part must reach the copy.
    static constexpr size_t kMaxListedClocks = 64;
    struct TListedClock {
        int32_t Program;
        int Pid;
    };
    std::vector<TListedClock> ListedClocks;
    void NoteListedClock(int32_t programKey, int pcrPid);
    // The program's PCR PIDs in that order that carry PCRs.
    std::vector<int> ClocksOf(int32_t programKey) const;
    // What a player must decode: the audio kind a descriptor names, whatever
    // stream type carries it (AC-3 as 6 or 0x81); MPEG-1 and MPEG-2 video or
    // audio alike; otherwise the stream type with its text kind.
    static int32_t TypeKey(int streamType, bool ac3, bool eac3, bool aac, bool dts, bool teletext, bool subtitle) {
        if (ac3 || eac3 || aac || dts) return (ac3 ? 0x100 : 0) | (eac3 ? 0x200 : 0) | (aac ? 0x400 : 0) | (dts ? 0x800 : 0);
        const int type = streamType == 3 ? 4 : streamType == 1 ? 2 : streamType & 0xFF;
        return type | (teletext ? 0x1000 : 0) | (subtitle ? 0x2000 : 0);
    }

    // --- PMT PIDs from the PATs ---
    std::array<int, MAX_PMT_PIDS> PmtPids{};
    int PmtPidCount = 0;
    int IgnoredPmtPidCount = 0;
    std::string IgnoredPmtPidList;
    bool HasPmtPid(int pid) const;

    // --- kept PIDs (what the cleaning pass copies) ---
    std::array<int, MAX_KEPT_PIDS> KeptPids{};
    int KeptPidCount = 0;
    // A full list (100 PIDs) takes no more: the PID is not added.
    void AddSelectedPid(int pid);
    void RemoveSelectedPid(int pid);
    bool IsSelectedPid(int pid) const;
    int SelectedPidIndex(int pid) const; // 0 when absent
    std::string KeptPidText() const;     // "$0100, $0101"

    // --- per-PID records (one per rebuilt PMT entry) ---
    std::array<TPidRecord, MAX_PID_RECORDS> PidRecords;
    int PidRecordCount = 0;
    int AddPidRecord(int pid, int entryIndex); // -1 when full
    int PidRecordIndex(int pid) const;         // -1 when absent
    // A PID without a record counts nothing.
    void CountError(int pid);
    void CountWarning(int pid);
    int64_t TotalErrors() const;
    // Includes the streams left out of the rebuilt program and the damaged
    // program tables.
    int64_t TotalWarnings() const;
    // Elementary streams of the kept program that the rebuilt PMT leaves out
    // (each logged with its PID and type).
    int StreamsLeftOut = 0;
    // Counts a stream left out; `identified` when the stream type scan named
    // what its packets carry (sound, picture, text).
    void NoteStreamLeftOut(int pid, bool identified);
    // Whether a stream left out that the stream type scan had identified is
    // not kept even now (the preserve list may have taken it back): the
    // copy lacks it.
    bool IdentifiedStreamMissing() const;
    // Whether the analysis named this identified stream as left out.
    bool IdentifiedLeftOut(int pid) const {
        return pid >= 0 && pid < 8192 && identifiedLeftOut_[static_cast<size_t>(pid)];
    }
    // Program tables that had to be cut short to be read (each a warning).
    int DamagedTables = 0;
    // Kept streams whose type the recording's tables change on the way while
    // the copy declares one type for all of it (each a warning; the copy is
    // no plain success).
    int StreamTypeChanges = 0;
    // Moves of the kept program's clock to another PID that its one table in
    // the copy cannot follow (each a warning; the copy is no plain success).
    int ClockMoves = 0;
    // Entries of the selected program's table whose PID the PID scan did
    // not meet: the stream may begin only after the scanned part of the
    // recording, and then the cleaning pass must say that it leaves it out.
    void NoteListedNotFound(int pid, int streamType);
    // The listed stream type of such an entry; -1 for any other PID.
    int ListedNotFoundType(int pid) const;
    void ForgetListedNotFound() { listedNotFound_.fill(-1); }
    // The PID scan read as many packets as it may before it met its good
    // packets: damage, not the end of the scanned part, hid what it missed.
    bool PidScanEndedInDamage = false;
    // Reductions of the start/end check.
    int64_t MaxFirstPts(int* pid) const;
    int64_t MaxFirstDts() const;
    int64_t MaxLastPts(int* pid) const;
    int64_t FirstPcrRecordStart() const;

    // --- video, audio and text ---
    TVideoInfo Video;
    std::array<TAudioInfo, AUDIO_SLOTS> Audio;
    std::array<TTextInfo, TEXT_SLOTS> Text;
    void ClearAudioStreams();
    void ClearTextStreams();
    int KeptAudioStreamCount() const; // slots with a PID that are not dropped

    // --- PMT entries removed by the rebuild although their PID occurs ---
    std::array<TPmtEntry, MAX_SAVED_PMT_ENTRIES> SavedPmtEntries;
    int SavedPmtEntryCount = 0;
    void ClearPmtEntryTable();

    // --- byte patches (unique by PID and kind) ---
    std::array<TPatchEntry, MAX_PATCH_ENTRIES> Patches;
    int PatchCount = 0;
    bool AddPatchEntry(int pid, uint8_t kind, int64_t newValue, int64_t oldValue);
    int FindPatchEntry(int pid, uint8_t kind) const;
    bool HasPatchEntry(int pid, uint8_t kind) const;

    // --- scalars of one analysis ---
    int VideoEntryCount = 0, AudioEntryCount = 0, TextEntryCount = 0;
    int VideoEntryIndex = -1;
    int ProgramNumber = kOwnProgramNumber;
    int TransportStreamId = 6;
    int64_t FillPacketsAtStart = 0, FillPacketsAtEnd = 0;
    bool CreationMode = false;
    int TimerPatchMode = 0;
    bool LogSuppressed = false;
    bool PcrWrap = false;
    // A stream's language descriptor was changed by the user: the cleaning
    // pass shows the PMT it writes.
    bool LanguageDescriptorChanged = false;
    int64_t FirstPts = -1, LastPts = -1, FirstDts = -1;
    int FirstPtsPid = -1, LastPtsPid = -1;
    int64_t FirstPcr = -1, LastPcr = -1, FirstPcr90k = -1, LastPcr90k = -1;
    int64_t Duration = 0;
    int64_t CutIn = 0, CutOut = 0; // the cut range (90 kHz from the start)
    bool FullRangeCorrect = false, FullRangeIgnore = false;

private:
    std::array<int16_t, 8192> foundIndex_{};
    std::array<bool, 8192> identifiedLeftOut_{};
    std::array<int16_t, 8192> listedNotFound_{};
};

// Status colours of the step panels (stored with blue in the high byte).
constexpr uint32_t STEP_COLOUR_FAILED = 0x0000FF;
constexpr uint32_t STEP_COLOUR_DONE = 0x00FF00;
constexpr uint32_t STEP_COLOUR_RUNNING = 0x00FFFF;
constexpr uint32_t STEP_COLOUR_BLUE = 0xFFFF00;
constexpr uint32_t STEP_COLOUR_IDLE = 0xC0C0C0;

struct TStepColours {
    uint32_t Font;
    uint32_t Shadow;
    const char* SkinSection;
};
TStepColours StepStatusColours(uint32_t colour);
uint32_t StepStateColour(TStepState state);
const char* StepCaption(TAnalysisStep step);   // "Garbage scan", ...
const char* StepLabelName(TAnalysisStep step); // "GarbageScanLabel", ...

} // namespace tw
