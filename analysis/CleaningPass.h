// TCleaningPass: writes the repaired copy of an analysed recording. It reads
// the recording again through the engine's RemuxPacketReader, keeps the
// packets of the kept PIDs between the cut points, drops broken ones, shifts
// PCR/PTS/DTS/ESCR when the timer correction applies, and queues the packets
// to its clean packet writer (TSPacketWriter1) with a rebuilt PAT and PMT in
// front and again every 10,000 written packets. The handlers bound to the
// cleaning chain (packet reader, PES readers, analysers, writer) count, log
// and fix what those components report while the pass runs.
//
// Runs on the caller's (user-interface) thread; the writer's write thread
// does the disk writes. The analysis must have run on the same engine.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "analysis/AnalysisEngine.h"
#include "analysis/PatchTable.h"
#include "analysis/PcrClock.h"
#include "analysis/ProgramClocks.h"
#include "analysis/SplitPesStamps.h"
#include "base/Object.h"
#include "ts/TSPacketViews.h"

namespace tw {

class TTSPacketWriter;
class TTSPmtReader;
class TPacketHandlers;
class TPesHandlers;

// What the cleaning pass needs from the window beyond the analysis host, in
// the window's parts: the progress window's cancel button, time panel and
// bandwidth meter; its two questions; the stream panels' size and error
// labels.
class ICleaningProgress {
public:
    virtual ~ICleaningProgress() = default;
    // The progress window's cancel flag (set by its button).
    virtual bool CancelPressed() = 0;
    virtual void ClearCancel() = 0;
    // The progress window shown with its cancel button and meter panel
    // (true), or hidden with them.
    virtual void ShowCleaningControls(bool on) {}
    virtual void ClearMeter() {}
    virtual void SetMeterLineVisible(int line, bool visible) {}
    // Bits of one PES to line 0 (video) or 1..4 (audio); Step advances.
    virtual void MeterSample(int line, int64_t bits) {}
    virtual void MeterStep() {}
    // The progress window's time panel.
    virtual void SetTimeText(const std::string& text) {}
};

class ICleaningQuestions {
public:
    virtual ~ICleaningQuestions() = default;
    // "Do you want to abort the process?" (Yes = true).
    virtual bool AskAbort(const std::string& text) = 0;
    // "PCR value out of range!\rDo you want the PCR values to be corrected?"
    virtual bool AskPcrCorrection(const std::string& text) = 0;
};

class IStreamLabels {
public:
    virtual ~IStreamLabels() = default;
    // Size and error labels of the panel showing this PID ("$" + 4 hex).
    virtual void UpdateStreamLabel(const std::string& pidText, const std::string& size, const std::string& errors) {}
};

// The three parts in one object (the cleaning view, hosts without a window).
class ICleaningHost : public ICleaningProgress, public ICleaningQuestions, public IStreamLabels {};

enum class TCleaningResult {
    NotRun,           // refused before it began (bad output name)
    Failed,           // "Process aborted with errors!"
    Aborted,          // "Process aborted!"
    Success,          // "Process successfully completed!"
    SuccessWithErrors // ... "But errors occurred, please check log!"
};

// Inputs the pass takes from the cut editor and the patch dialog.
struct TCleaningOptions {
    int64_t CutIn = 0;      // 90 kHz, relative to the stream start; 0 = from the start
    int64_t CutOut = -1;    // 90 kHz; -1 = the stream length of the analysis
    int NewServiceId = -1;  // -1 = unchanged
    // Rows the patch dialog took a new PID from, one left at its own PID
    // included: while there are any, the PMT is rebuilt with the new PIDs
    // and logged as recreated, and every packet written is given its PID.
    int PidRemapCount = 0;
    // Ring slots of the clean writer; large enough to reach back over the
    // largest PES packet the fixes patch (see CleaningPass.cpp).
    int WriterBufferPackets = 0;
};

class TCleaningPass : public TComponent {
public:
    // Both hosts and the engine must outlive the pass.
    TCleaningPass(TComponent* owner, TAnalysisEngine* engine, ICleaningHost* host);
    ~TCleaningPass() override;

    TAnalysisEngine& Engine() { return *engine_; }
    TTSPacketWriter* TSPacketWriter1 = nullptr;
    TCleaningOptions Options;
    // Streams the user ticked in the preserve-streams dialog.
    TPreserveList PreserveList;

    // START after the save dialog: checks the names, runs CleanStream and
    // reports with a sound and a message box. Exceptions end as the result
    // Failed with the exception text logged and shown (TerminateRequested()
    // then tells the window to end the program).
    TCleaningResult Run(const std::string& outputFileName);
    // The pass alone (no sound, no message): flags, counters, output, log.
    void CleanStream();
    bool Running() const { return running_; }
    // The choices made for one recording (cut range, new program number,
    // preserved streams) are forgotten when another one is opened or the
    // analysis is reset, so that they never reach the next recording's copy.
    void ForgetRecordingChoices();
    bool TerminateRequested() const { return terminateRequested_; }

    // Default output: the input name with "_fixed.ts" in place of its extension.
    static std::string DefaultOutputName(const std::string& inputFileName);
    // Refusal text (window language) when the output cannot be used; empty when fine.
    std::string CheckOutputName(const std::string& inputFileName, const std::string& outputFileName) const;

    // ---- run state shared with the handlers ----
    struct TRunState {
        bool Started = false, Ended = false, Failed = false, Aborted = false;
        int64_t TimerOffset = 0; // 90 kHz; 0 = no correction
        int64_t CutAtBeginning = 0, CutAtEnd = 0, NotNeeded = 0, InvalidDiscarded = 0;
        int64_t Written = 0, BytesPassed = 0, GlobalErrors = 0;
        // The number of the last packet whose invalid report was counted;
        // the discard of that packet counts no second error.
        int64_t BrokenCountedAt = -1;
        int PatCC = 0, PmtCC = 0;
        int64_t LastPesPts = -1;
        int64_t CurrentPts = -1;   // latest PCR in 90 kHz
        int64_t PcrStartValue = 0; // PTS at the cut-in point
        int64_t ElapsedPts = 0;
        int64_t StartValue = -1;
        int64_t EndLimit = -1;
        bool CutInReached = false, CutOutPassed = false;
        bool InRange() const { return CutInReached && !CutOutPassed; }
        // Packet handlers (reset per pass).
        int64_t ScrambledCount = 0;
        int64_t DiscontinuityCount = 0;
        bool AskPcrCorrection = true, CorrectPcr = false;
        // PES handlers.
        int64_t NalCounters[14] = {};
        int64_t LastMeterStepPts = 0;
        int FullRangeExpectedByte = -1;
        int64_t FullRangeCorrected = 0;
        // Deleted duplicates (statistics only).
        int64_t DuplicatesDeleted = 0;
        // Streams the program's table lists that began after the part of the
        // recording the analysis scanned: each named once and counted as a
        // warning, as the copy goes without them.
        int64_t LateStreamsLeftOut = 0;
        // Streams the analysis named as left out that the preserve list
        // carries after all.
        int64_t PreservedLeftOut = 0;
        std::array<bool, 8192> LateStreamNamed{};
        // Changes the pass met in the program's tables that the copy's one
        // table cannot follow: a kept stream's type, the clock's PID (each a
        // warning; the copy is no plain success).
        int64_t StreamTypeChanges = 0, ClockMoves = 0;
        std::string WriteError;  // the writer failed on the disk
        std::string ReadError;   // the recording could not be read to its end (file and reason), or it is
                                 // no longer the analysed one
        std::string OutputError; // the output could not be created or the recording not opened (the platform's reason)
    };
    TRunState State;

    int64_t TotalErrors() const;
    int64_t TotalWarnings() const;
    // Size and error labels of the video and audio panels.
    void UpdateStreamLabels();
    // The NAL statistics block (title and 14 count lines, CR LF each).
    std::string NalStatisticsText() const;
    const std::string& LogFileName() const { return logFileName_; }
    const std::string& OutputFileName() const { return outputFileName_; }

    // Used by the handlers.
    void Log(const std::string& line) { engine_->Log(line); }
    ICleaningHost& CleaningHost() { return *host_; }
    // The packet-level handlers (the packet filter's copy runs through them).
    TPacketHandlers& PacketHandlers() { return *packetHandlers_; }
    int VideoPid() const;
    // Every PID the kept program's clock rides on in the recording, as far
    // as the pass knows them now (a table version met on the way may add one).
    const std::vector<int>& ClockPids() const { return clockPids_; }
    // The number a PID's packets carry in the copy (the patch dialog's
    // remap, where the pass applies one).
    int CopyPid(int pid) const;
    int64_t StreamFirstPts() const;
    // Time text of a PTS relative to the stream's first PTS.
    std::string RelTime(int64_t pts) const;

private:
    friend class TPacketHandlers;
    friend class TPesHandlers;
    void ResetRunState();
    // A recording that is no longer the analysed one fails the pass before
    // anything is written (true then).
    bool RefuseChangedRecording();
    void FailAsChanged();
    // The stages of the pass, in their order; HandlePacket is one packet's
    // way: broken, not kept, before the cut-in, after the cut-out, or written.
    bool BeginPass();
    void LogCutPoints();
    // The per-packet checks are cheap tests; what they rarely lead to
    // (questions, log lines, the start of writing) lies in functions of its
    // own that are kept out of line, so the tests need no stack frame.
    // Called when the video's PTS may have moved on.
    [[gnu::noinline]] void UpdateTimePanel();
    bool AbortRequested(int64_t no);
    [[gnu::cold, gnu::noinline]] bool AbortConfirmed(int64_t no);
    void HandlePacket(int64_t no);
    [[gnu::cold, gnu::noinline]] void DiscardBrokenPacket(int64_t no, const TTSPacketHeader& header);
    [[gnu::noinline]] bool CutInReachedAt(int64_t no);
    [[gnu::cold, gnu::noinline]] void StartWriting();
    void CheckCutOut(int64_t no);
    [[gnu::cold, gnu::noinline]] void EndAtCutOut(int64_t no);
    void WritePacket(int64_t no, int pid);
    // With the duplicate setting on: drops the second sending of a packet
    // (the reader's RepeatedPacket) and says so; true when it did.
    bool DropRepeat(int64_t no);
    // A packet of a PID the copy does not keep: a stream the program's table
    // lists but the analysis never saw is named the first time its payload
    // would have gone into the copy.
    void NoteLateStream(int pid);
    [[gnu::noinline]] void ShiftPacketTimers(int64_t no);
    [[gnu::cold, gnu::noinline]] void KeepWindowAlive();
    // The window's messages, unless they were fetched a moment ago.
    void PumpMessages();
    void EndAtFillPackets(int64_t no);
    [[gnu::cold, gnu::noinline]] void EndAtFill(int64_t no);
    bool PrepareTables();
    void NotePreservedStreams();
    [[gnu::cold, gnu::noinline]] int InsertTablePackets();
    void RemapPacketPid(TTSPacketBuffer& packet);
    bool PatchPacketPcr(int64_t offset27);
    bool PatchPesTimers(int64_t offset90);
    // The next written packet of a PID whose PES header's stamps began in an
    // earlier packet: true when the packet was a second sending of the one
    // before and is patched alike (it starts nothing of its own then).
    bool ContinueSplitStamps(int64_t no);
    // Patches a byte of a packet waiting in the writer's queue.
    bool PatchQueuedByte(int64_t packetNo, int index, uint8_t value);
    // A time stamp that could not be shifted: logged and counted as an
    // error of its stream.
    void PatchTimersFailed(int64_t startNo, int pid);
    void FailPendingSplitStamps();
    void PatchAudioStreamId(int slot);
    // A PES start sent twice in a row reaches no PES reader the second time:
    // it gets the stream_id its original got, so that the two stay alike.
    [[gnu::cold, gnu::noinline]] void PatchRepeatedStreamId(int pid);
    void ComputeTimerOffset();
    void StartAt(int64_t packetNo);
    void EndOfPass();
    void Deactivate();
    void SaveLogFile();
    void CheckWriterHealth();
    // Sets each stream's packet count to what the output file holds of it
    // (inFile whole packets), once everything queued was written or failed.
    void CountWhatTheFileHolds(int64_t inFile);
    // After a failed pass: an output that holds nothing of the recording is
    // deleted again; one that holds part of it stays. outputNote_ says which
    // for the result message (empty when there was no output of ours).
    void DisposeFailedOutput();
    // Counts a written packet in every record of its PID (the index's way
    // when it is stale or the PID has several records).
    [[gnu::noinline]] void CountPidPacket(int pid, int64_t timeStamp);
    // A queued packet taken back (a deleted duplicate) leaves the records it
    // was counted in: the stream panels show what the file holds.
    void UncountPidPacket(int pid);
    void IndexPidRecords();
    bool PmtHasUnkeptEntries() const;
    // The program's clock where the copy carries no stream of its PID (a
    // dropped teletext or audio stream, the program map's own packets): only
    // the packets with a PCR go out, as adaptation fields without payload,
    // so that the copy keeps its clock and the PID nothing else. -1 when the
    // clock's stream is copied whole (or there is no clock).
    int ClockOnlyPid() const;
    // A copy without the clock its recording had is no success.
    void CheckClockCopied();
    // A PID the program's clock rides on (at some time): its PCRs go into
    // the copy, as adaptation fields alone where the rest of it does not.
    void AddClock(int pid);
    bool IsTablePid(int pid) const;
    // The program's tables as the pass meets them: a version the analysis
    // did not read (it reads the recording's start only) may change a kept
    // stream's type or move the clock.
    [[gnu::cold, gnu::noinline]] void ReadPassPmt();
    void NotePassPmt();
    // The first PCR on a PID a table met in the pass named as the clock's.
    [[gnu::cold, gnu::noinline]] void ClockMovedTo(int pid);
    std::string MsgText(int id) const;

    TAnalysisEngine* engine_;
    ICleaningHost* host_;
    std::unique_ptr<TPacketHandlers> packetHandlers_;
    std::unique_ptr<TPesHandlers> pesHandlers_;
    std::string outputFileName_;
    std::string logFileName_;
    std::string logSaveError_;   // why the last log could not be saved; empty when it was
    bool running_ = false;
    bool terminateRequested_ = false;
    bool outputCreated_ = false; // this pass created the output file
    std::string outputNote_;
    bool pcrMode_ = false;
    bool passWraps_ = false;
    bool remaps_ = false; // PID remaps of the patch dialog exist
    int64_t referencePts_ = 0;
    int64_t cutIn_ = 0, cutOut_ = 0; // 90 kHz, of this pass
    int64_t packetCount_ = 0;
    int64_t lastTimeTextPts_ = -1;
    uint64_t timeTextTick_ = 0;
    uint64_t messagesTick_ = 0;
    bool messagesPumped_ = false; // this pass fetched them once
    uint64_t startTick_ = 0;
    int64_t expectedWritten_ = 0;
    TTSPacketBuffer packet_; // the packet on its way to the writer
    int clockPid_ = -1;        // the clock's PID in the recording (-1: none)
    int clockOnlyPid_ = -1;    // see ClockOnlyPid
    int64_t pcrsWritten_ = 0;  // packets of the clock's PIDs with a PCR in the copy
    TPidSet clocks_;           // every PID of clockPids_
    TPidSet clockOnly_;        // the clock's PIDs whose PCRs go out alone
    std::vector<int> clockPids_;
    int lastClockPid_ = -1;    // the clock's PID as the last table met names it
    // The reader of the program's tables during the pass (on passPmtPid_;
    // -1 when there is none or it read enough versions).
    static constexpr int kMaxPassPmtVersions = 256;
    std::unique_ptr<TTSPmtReader> passPmt_;
    int passPmtPid_ = -1, passProgram_ = -1, passPmtVersions_ = 0;
    bool passPmtCrcSeen_ = false;
    uint32_t passPmtCrc_ = 0;
    TPidSet typeWarned_;
    // PIDs a table met in the pass names as the clock's that carried no PCR
    // yet: the clock moves there with its first one.
    TPidSet namedClocks_;
    int namedClockCount_ = 0;
    int16_t movedFrom_[8192] = {}; // the clock's PID before, per PID of namedClocks_
    // PES headers whose stamps run into the next packet of their PID, and
    // the bytes written into the packet that completed the last one (its
    // second sending must carry them too).
    TSplitPesStamps splitStamps_;
    struct TSplitDone {
        int Pid = -1;
        std::vector<TSplitPesStamps::TByteWrite> Writes;
    };
    TSplitDone splitDone_;
    // The stream_id written into each audio stream's latest PES start (Pos
    // < 0: none was), for its second sending.
    struct TStreamIdPatched {
        int64_t StartNo = -1;
        int Pos = -1;
        uint8_t Value = 0;
    };
    TStreamIdPatched streamIdPatched_[AUDIO_SLOTS];
    // PID -> its record among the analysis tables' PID records, rebuilt when
    // the number of records changed.
    static constexpr int16_t kNoPidRecord = -1;
    static constexpr int16_t kSeveralPidRecords = -2;
    int16_t pidRecordOf_[8192] = {};
    int indexedPidRecords_ = -1;
};

} // namespace tw
