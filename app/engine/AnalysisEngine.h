// TAnalysisEngine: the portable heart of the main window. It owns the stream
// components the main window places on itself (packet readers, PAT, PMT and
// PES readers, the stream-type sniffer and the MPEG-2, H.264 and AC-3
// analysers), wires them at construction as a loaded layout would, keeps the
// analysis tables and runs the ten analysis steps on the scanning reader.
//
// Everything it needs from the window goes through the parts of
// TAnalysisHost (log, progress, questions, stream view, settings), so a
// native test can analyse a whole recording and answer the questions itself.
//
// Re-entrancy: the scans let the host process window messages. While Busy()
// holds, the window must refuse whatever would pull the readers away (open,
// drop, tools, close); a close may call RequestCancel(), after which the
// running pass ends at its next packet and the analysis stops with
// "Process aborted!".
//
// Files: AnalysisEngine.cpp (components, wiring, reset, the ten steps),
// ScanPasses.cpp, TableSelection.cpp, StartEndScan.cpp, DetailScans.cpp,
// StreamPanels (panel filling and toggles, in AnalysisPanels.cpp) and
// StreamHandlers.cpp (the handlers bound to the readers' events).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/engine/AnalysisHost.h"
#include "app/engine/AnalysisTables.h"
#include "app/engine/StreamCodes.h"
#include "base/Object.h"

namespace tw {

class TTSPacketReader;
class TTSPatReader;
class TTSPmtReader;
class TTSPesReader;
class TStreamTypeScan;
class TCleaningChain;
class TTableSelection;
class TTSMPEG2Reader;
class TTSH264Reader;
class TTSAC3Reader;
struct TPmtEntry;

class TAnalysisEngine : public TComponent {
public:
    // The host must outlive the engine. The engine wires its components in
    // its constructor (as a loaded layout would), so it has no owner: hold it
    // in a unique_ptr, never make it part of another component's LoadTree.
    explicit TAnalysisEngine(IAnalysisHost* host);
    explicit TAnalysisEngine(const TAnalysisHost& host);
    // With an owner that destroys it. The owner must not run LoadTree after
    // this (the components would register a second time).
    TAnalysisEngine(TComponent* owner, IAnalysisHost* host);
    TAnalysisEngine(TComponent* owner, const TAnalysisHost& host);
    ~TAnalysisEngine() override;

    ILogView& LogView() { return *host_.Log; }
    IProgressView& Progress() { return *host_.Progress; }
    IQuestions& Questions() { return *host_.Questions; }
    IStreamView& Streams() { return *host_.Streams; }
    IHostSettings& Settings() { return *host_.Settings; }
    TAnalysisTables& Tables() { return *tables_; }
    const TAnalysisTables& Tables() const { return *tables_; }

    // ---- stream components (owned by the engine, wired at construction) ----
    // The readers the recording is cleaned through.
    TCleaningChain& Chain() const { return *chain_; }
    // The program settled by the analysis, with the PAT and PMT it writes.
    TTableSelection& Selection() const { return *selection_; }
    TTSPacketReader* TSPacketReader1 = nullptr;      // scanning
    TTSPacketReader* Raw_TSPacketReader = nullptr;   // raw cutter
    TTSPacketReader* FilterPacketReader = nullptr;   // packet filter
    TTSPacketReader* TSPacketReader_LowLevel = nullptr;
    TTSPatReader* TSPatReader_Scan = nullptr;        // on TSPacketReader1
    TTSPmtReader* TSPmtReader_Scan = nullptr;        // on TSPacketReader1
    TTSPesReader* TSPesReader_Scan = nullptr;        // on TSPacketReader1
    TTSMPEG2Reader* TSMPEG2Reader_Scan = nullptr;    // on TSPesReader_Scan
    TTSH264Reader* TSH264Reader_Scan = nullptr;      // on TSPesReader_Scan
    TTSAC3Reader* TSAC3Reader_Scan = nullptr;        // on TSPesReader_Scan

    // ---- the pipeline ----
    // Back to the state before an analysis (step panels idle, readers off,
    // panels hidden, buttons disabled, log cleared).
    void ResetAll();
    // Resets, then runs the ten steps on the file. True when every step
    // passed (the buttons are then enabled). Refused (false) while Busy().
    bool AnalyseStream(const std::string& fileName);
    bool Busy() const { return busy_; }
    bool Analysed() const { return analysed_; }
    const std::string& FileName() const { return fileName_; }
    // Asks the running pass to stop at its next packet.
    void RequestCancel() { cancelRequested_ = true; }
    bool CancelRequested() const { return cancelRequested_; }
    // The last step's state and status text, as shown on the panels.
    TStepState StepState(TAnalysisStep s) const { return stepState_[s]; }
    const std::string& StepText(TAnalysisStep s) const { return stepText_[s]; }

    // ---- scan passes ----
    int64_t CountFillPacketsAtStart();
    int64_t CountFillPacketsAtEnd();
    void ScanPids(int64_t limit);
    void ScanStreamTypes(int64_t limit);
    void ScanPats(int64_t limit);
    void ScanPmts(int64_t limit);
    void CollectPatPmtPids();
    // The scanning reader's current packet is broken (invalid for another
    // reason than scrambling only).
    bool IsBrokenPacket() const;
    // Counts a broken packet against `errors` (logging the notice after 40);
    // true when the pass must end.
    bool CountBrokenPacket(int& errors, int limit);
    void ShowProgress(int64_t total, int64_t position);
    void LogPatDump(TTSPatReader* reader, int number);
    void LogPmtDump(TTSPmtReader* reader, int number);
    void LogH264Dump(TTSH264Reader* reader);

    // ---- start/end and PCR wrap ----
    int64_t FindNextPcr(int pid, int64_t limit);
    int64_t FindPreviousPcr(int pid, int64_t limit);
    int64_t CheckPcrWrap();
    void ScanStartEnd(int64_t limit);

    // ---- detail scans ----
    // Steps the scan reader on from where it stands, at most `limit` packets,
    // until found() holds; keeps the window alive and stops on cancel.
    bool ScanUntil(int64_t limit, const std::function<bool()>& found);
    bool ScanH264Details(int pid, int64_t limit);
    bool ScanMpeg2Details(int64_t limit);
    bool ScanAudioDetails(int slot, int64_t budget);

    // ---- result panels and stream toggles ----
    void FillAudioPanels(int slot, int entryIndex);
    void FillTextPanels(int slot, int entryIndex);
    // Drops or keeps again audio stream `slot` (0..3); the last kept audio
    // stream cannot be dropped. Returns the new toggle state (0 hidden,
    // 1 kept, 2 dropped).
    int ToggleAudioStream(int slot);
    int ToggleTextStream(int slot);
    void ApplyTextStreamSettings();
    const TStreamPanel& VideoPanel() const { return videoPanel_; }
    const TStreamPanel& AudioPanel(int slot) const { return audioPanel_[slot]; }
    const TStreamPanel& TextPanel(int slot) const { return textPanel_[slot]; }
    // "Stream type: 27 = AVC video ..." for an entry of RebuildPmt.
    std::string StreamHint(const TPmtEntry& entry) const;
    // Found streams not kept: what the preserve list offers.
    int PreserveCandidateCount() const;

    // ---- shared with the stream event handlers ----
    void Log(const std::string& line) { host_.Log->LogLine(line); }
    bool German() { return host_.Settings->GermanTexts(); }
    void CountError(int pid) { tables_->CountError(pid); }
    void CountWarning(int pid) { tables_->CountWarning(pid); }
    // Scrambled-packet mode per opened file: 0 not asked, 1 ignore the
    // scrambling control, 3 skip scrambled packets.
    TScrambledMode ScrambledMode = TScrambledMode::NotAsked;
    // Asks once per opened file what to do with scrambled packets (logs the
    // answer) and returns the mode.
    TScrambledMode AskScrambledMode();
    bool DuplicatePacketHandling = false;
    int LastResyncOffset = 0;
    // PTS and DTS of the last valid PES completed on TSPesReader_Scan.
    int64_t ScanPesPts = -1, ScanPesDts = -1;
    // Set while a pass suppresses the log (after 40 broken packets).
    bool& LogSuppressed() { return tables_->LogSuppressed; }

    // ---- handlers bound to the scanning chain (StreamHandlers.cpp) ----
    void TSPacketReader1NoValidStartByte(TObject* sender, int offset, bool& Continue);
    void TSPacketReader1M2TSPacketsDetectEvent(TObject* sender, bool& Continue);
    void TSPacketReader1ScrambledPacketEvent(TObject* sender, int64_t packetNo, int pid,
                                             int& transport_scrambling_control, bool& Ignore);
    void TSPacketReader1InvalidPacketEvent(TObject* sender, int64_t packetNo, const std::string& errors);
    void TSPacketReader1PacketResynchEvent(TObject* sender, int64_t packetNo, int offset);
    void TSPatReader_ScanPatReceived(TObject* sender);
    void TSPatReader_ScanInvalidPat(TObject* sender, const std::string& errorString, int tableId, int64_t packetIndex);
    void TSPmtReader_ScanPmtReceived(TObject* sender);
    void TSPmtReader_ScanPmtErrorReceived(TObject* sender);
    void TSPesReader_ScanPESPacketCompleted(TObject* sender, int64_t pts, int pid, int headerSize, int size,
                                            int packetCount, bool isValid);
    void TSH264Reader_ScanH264Error(TObject* sender, int64_t pts, int errorType, int64_t param1, int64_t param2,
                                    int64_t param3);

protected:
    void CreateComponents();
    void RunStartEndStep();
    void BindAnalysisHandlers();
    void SetStep(TAnalysisStep step, TStepState state, const std::string& text);
    void SetStepState(TAnalysisStep step, TStepState state);
    void SetStepText(TAnalysisStep step, const std::string& text);
    void FailStep(TAnalysisStep step, const std::string& status, const std::string& logLine, const std::string& message);
    bool RunSteps(const std::string& fileName);
    bool SettlePrograms();
    void FillPidRecordsAndPanels();
    void RunVideoStep();
    void RunAudioStep();
    void HideAllPanels();
    void PublishAudioPanel(int slot);
    void PublishTextPanel(int slot);
    std::string MsgText(int msg);

    // The packet loop shared by the scans: examines packets 1..limit (see
    // ScanPasses.cpp). Returns false when the pass was cancelled.

private:
    TAnalysisHost host_;
    TCleaningChain* chain_ = nullptr; // owned as a component
    TTableSelection* selection_ = nullptr; // owned as a component
    std::unique_ptr<TAnalysisTables> tables_;
    bool busy_ = false;
    bool analysed_ = false;
    bool cancelRequested_ = false;
    std::string fileName_;
    TStepState stepState_[ANALYSIS_STEP_COUNT] = {};
    std::string stepText_[ANALYSIS_STEP_COUNT];
    TStreamPanel videoPanel_;
    TStreamPanel audioPanel_[AUDIO_SLOTS];
    TStreamPanel textPanel_[TEXT_SLOTS];
    // The PMT PID chosen for an own PAT in creation mode.
    int ownPmtPid_ = -1;
    // A question at opening was answered No (the handler logged it).
    bool openDeclined_ = false;
    // Questions asked at most once per analysis, and their answers.
    bool fullRangeAsked_ = false;
    bool ac3StreamIdAsked_ = false;
    bool ac3StreamIdAnswer_ = false;
    // What the H.264 scan saw (kept before its analyser is switched off).
    bool scanFullRangeFlag_ = false;
    // The stream-type step, with its per-PID readers.
    std::unique_ptr<TStreamTypeScan> typeScan_;
};

} // namespace tw
