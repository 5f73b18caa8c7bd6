// TAnalysisEngine: the portable heart of the main window. It runs the ten
// analysis steps and keeps what they found; the passes are objects of their
// own, each owning its readers:
//   TScanPasses      the scanning reader with its PAT, PMT and PES readers and
//                    analysers; fill packets, PIDs, stream types, PATs, PMTs
//   TScanHandlers    the handlers bound to the scanning chain's events
//   TTableSelection  the program kept, with the PAT and PMT the cleaning writes
//   TStartEndScan    first and last time stamps, PCR wrap, duration
//   TDetailScans     video format and audio mode
//   TCleaningChain   the readers the recording is cleaned through
// and the tables (TAnalysisTables) hold the results. The engine itself keeps
// the step states and the result panels.
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
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "analysis/AnalysisHost.h"
#include "analysis/AnalysisTables.h"
#include "analysis/StreamCodes.h"
#include "base/Object.h"
#include "base/SysUtils.h"

namespace tw {

class TTSPacketReader;
class TTSPatReader;
class TTSPmtReader;
class TTSH264Reader;
class TScanPasses;
class TScanHandlers;
class TStartEndScan;
class TDetailScans;
class TResultPanels;
class TCleaningChain;
class TTableSelection;
struct TPmtEntry;

class TAnalysisEngine : public TComponent {
    // First: the scanning reader's alias below is taken from it.
    TScanPasses* scan_; // owned as a component

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

    // ---- the passes (owned by the engine, wired at construction) ----
    TScanPasses& Scan() const { return *scan_; }
    TTableSelection& Selection() const { return *selection_; }
    TStartEndScan& StartEnd() const { return *startEnd_; }
    TDetailScans& Details() const { return *details_; }
    TCleaningChain& Chain() const { return *chain_; }
    // The scanning reader (Scan().Reader()), for callers that name it.
    TTSPacketReader* const TSPacketReader1;
    // Readers the packet tools borrow: the raw reader (protocol, duplicates),
    // the packet filter's and the low-level fix's.
    TTSPacketReader& RawReader() const { return *rawReader_; }
    TTSPacketReader& FilterReader() const { return *filterReader_; }
    TTSPacketReader& LowLevelReader() const { return *lowLevelReader_; }

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
    // The recording's size and time of its last write, taken as the analysis
    // opened it. Everything that works from the analysis (the copy, the cut
    // range, the patch and preserve choices) holds only for that state.
    const TFileStamp& AnalysedStamp() const { return analysedStamp_; }
    // True when the recording is no longer the one analysed: another size,
    // another time of its last write (a recording still being written, a
    // file cut or replaced), or gone.
    bool RecordingChanged() const;
    // For the tools of the analysed recording: when it changed, says so in
    // the log and in a message that asks for a new analysis, and answers
    // false; true when the analysis still holds.
    bool CheckRecordingUnchanged();
    // The log's line (one line, English) for a recording that changed.
    static std::string RecordingChangedLogText(const std::string& fileName);
    // Asks the running pass to stop at its next packet.
    void RequestCancel() { cancelRequested_ = true; }
    bool CancelRequested() const { return cancelRequested_; }
    // The last step's state and status text, as shown on the panels.
    TStepState StepState(TAnalysisStep s) const { return stepState_[s]; }
    const std::string& StepText(TAnalysisStep s) const { return stepText_[s]; }

    // Shared by the passes: the progress window at a position (with the
    // window's messages), the dumps of the log.
    void ShowProgress(int64_t total, int64_t position);
    void LogPatDump(TTSPatReader* reader, int number);
    void LogPmtDump(TTSPmtReader* reader, int number);
    void LogH264Dump(TTSH264Reader* reader);
    std::string MsgText(int msg);
    // Step panels: state and status text (the last ones are kept).
    void SetStep(TAnalysisStep step, TStepState state, const std::string& text);
    void SetStepState(TAnalysisStep step, TStepState state);
    void SetStepText(TAnalysisStep step, const std::string& text);
    void FailStep(TAnalysisStep step, const std::string& status, const std::string& logLine, const std::string& message);
    // True, with the step failed and the reason logged and shown, when the
    // scanning reader could not read the recording as far as it went.
    bool ReadFailedIn(TAnalysisStep step);

    // ---- result panels and stream toggles ----
    TResultPanels& Panels() const { return *panels_; }
    // Drops or keeps again audio stream `slot` (see TResultPanels).
    int ToggleAudioStream(int slot);
    int ToggleTextStream(int slot);
    const TStreamPanel& VideoPanel() const;
    const TStreamPanel& AudioPanel(int slot) const;
    const TStreamPanel& TextPanel(int slot) const;

    // Writes a new language code (three letters, lower case) into the
    // language descriptors of the selected PMT's entry for the PID, logs the
    // change and marks the PMT changed. False when the entry has none.
    bool ChangeLanguageDescriptor(int pid, const std::string& code);

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
    int64_t LastResyncOffset = 0;
    // Set while a pass suppresses the log (after 40 broken packets).
    bool& LogSuppressed() { return tables_->LogSuppressed; }

protected:
    void CreateComponents();
    void RunStartEndStep();
    bool RunSteps(const std::string& fileName);
    bool SettlePrograms();
    void RunVideoStep();
    void RunAudioStep();

private:
    TAnalysisHost host_;
    TCleaningChain* chain_ = nullptr; // owned as a component
    TTableSelection* selection_ = nullptr; // owned as a component
    TTSPacketReader* rawReader_ = nullptr;      // owned as components
    TTSPacketReader* filterReader_ = nullptr;
    TTSPacketReader* lowLevelReader_ = nullptr;
    std::unique_ptr<TDetailScans> details_;
    std::unique_ptr<TResultPanels> panels_;
    std::unique_ptr<TStartEndScan> startEnd_;
    std::unique_ptr<TScanHandlers> handlers_;
    std::unique_ptr<TAnalysisTables> tables_;
    bool busy_ = false;
    bool analysed_ = false;
    bool cancelRequested_ = false;
    std::string fileName_;
    TFileStamp analysedStamp_;
    TStepState stepState_[ANALYSIS_STEP_COUNT] = {};
    std::string stepText_[ANALYSIS_STEP_COUNT];
    // The PMT PID chosen for an own PAT in creation mode.
    int ownPmtPid_ = -1;
    // The full-range question is asked at most once per analysis.
    bool fullRangeAsked_ = false;
};

} // namespace tw
