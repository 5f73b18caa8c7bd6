// Components, wiring, reset and the ten analysis steps.
#include "analysis/AnalysisEngine.h"

#include "analysis/AnalysisPanels.h"
#include "analysis/AnalysisTexts.h"
#include "analysis/CleaningChain.h"
#include "analysis/MainTexts.h"
#include "analysis/DetailScans.h"
#include "analysis/ScanPasses.h"
#include "analysis/StartEndScan.h"
#include "analysis/StreamCodes.h"
#include "analysis/StreamHandlers.h"
#include "analysis/TableSelection.h"
#include "analysis/TimeStampCorrection.h"
#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "ts/TSAC3Reader.h"
#include "ts/TSH264Reader.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPatReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"
#include "ts/TSStreamType.h"

namespace tw {

namespace {

// Marks the engine busy for the length of a pass and clears the mark however
// the pass ends.
class TBusyScope {
public:
    explicit TBusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~TBusyScope() { flag_ = false; }

private:
    bool& flag_;
};

template <class T> T* Make(TComponent* owner, const char* name) {
    T* c = new T(owner);
    c->SetName(name);
    return c;
}

} // namespace

TAnalysisEngine::TAnalysisEngine(IAnalysisHost* host) : TAnalysisEngine(nullptr, host->Parts()) {}

TAnalysisEngine::TAnalysisEngine(const TAnalysisHost& host) : TAnalysisEngine(nullptr, host) {}

TAnalysisEngine::TAnalysisEngine(TComponent* owner, IAnalysisHost* host) : TAnalysisEngine(owner, host->Parts()) {}

TAnalysisEngine::TAnalysisEngine(TComponent* owner, const TAnalysisHost& host)
    : TComponent(owner), scan_(new TScanPasses(*this)), TSPacketReader1(scan_->Reader()), host_(host), tables_(std::make_unique<TAnalysisTables>()) {
    CreateComponents();
    handlers_->Bind();
}

TAnalysisEngine::~TAnalysisEngine() {
    // The readers hold raw pointers to each other; take them down while the
    // tables and the host they report to still exist.
    DestroyComponents();
}

void TAnalysisEngine::CreateComponents() {
    chain_ = new TCleaningChain(this);
    rawReader_ = Make<TTSPacketReader>(this, "Raw_TSPacketReader");
    filterReader_ = Make<TTSPacketReader>(this, "FilterPacketReader");
    lowLevelReader_ = Make<TTSPacketReader>(this, "TSPacketReader_LowLevel");
    selection_ = new TTableSelection(*this);
    details_ = std::make_unique<TDetailScans>(*this, *scan_);
    panels_ = std::make_unique<TResultPanels>(*this);
    startEnd_ = std::make_unique<TStartEndScan>(*this, *scan_);
    handlers_ = std::make_unique<TScanHandlers>(*this, *scan_);

    // As a loaded layout does: every consumer registers with its producer.
    // The engine is never part of another LoadTree, so this runs once.
    LoadTree();
}

void TAnalysisEngine::ShowProgress(int64_t total, int64_t position) {
    host_.Progress->ShowProgress(total, position);
    host_.Progress->ProcessMessages();
}

int TAnalysisEngine::ToggleAudioStream(int slot) { return panels_->ToggleAudio(slot); }

int TAnalysisEngine::ToggleTextStream(int slot) { return panels_->ToggleText(slot); }

const TStreamPanel& TAnalysisEngine::VideoPanel() const { return panels_->Video(); }

const TStreamPanel& TAnalysisEngine::AudioPanel(int slot) const { return panels_->Audio(slot); }

const TStreamPanel& TAnalysisEngine::TextPanel(int slot) const { return panels_->Text(slot); }

bool TAnalysisEngine::ChangeLanguageDescriptor(int pid, const std::string& code) {
    TTSPmtReader& pmt = Selection().Pmt();
    const int index = pmt.IndexOfPid(pid);
    if (index < 0) return false;
    const std::string old = pmt.Entry(index).Language;
    if (!pmt.SetEntryLanguage(pid, code)) return false;
    Log("Changed PMT Language_Descriptor for PID $" + IntToHex(pid, 4) + " from " + old + " to " + code);
    tables_->LanguageDescriptorChanged = true;
    return true;
}

std::string TAnalysisEngine::MsgText(int msg) { return MessageTextIn(msg, host_.Settings->GermanTexts()); }

// ---------------------------------------------------------------------------
// Step panels

void TAnalysisEngine::SetStep(TAnalysisStep step, TStepState state, const std::string& text) {
    stepState_[step] = state;
    stepText_[step] = text;
    host_.Streams->SetStep(step, state, text);
}

void TAnalysisEngine::SetStepState(TAnalysisStep step, TStepState state) { SetStep(step, state, stepText_[step]); }

void TAnalysisEngine::SetStepText(TAnalysisStep step, const std::string& text) { SetStep(step, stepState_[step], text); }

void TAnalysisEngine::FailStep(TAnalysisStep step, const std::string& status, const std::string& logLine,
                               const std::string& message) {
    SetStep(step, TStepState::Failed, status);
    if (!logLine.empty()) Log(logLine);
    if (!message.empty()) host_.Questions->ShowMessage(TMessageKind::Error, message);
}

// A scan ends at a failed read as it does at the end of the file; what it
// found then describes part of a recording, and an analysis built on it
// would be offered for cleaning as if the file were whole.
bool TAnalysisEngine::ReadFailedIn(TAnalysisStep step) {
    const std::string& why = scan_->Reader()->ReadErrorText();
    if (why.empty()) return false;
    const std::string text = "Reading " + fileName_ + " failed: " + why;
    host_.Progress->HideProgress();
    FailStep(step, "Read error", text, text);
    return true;
}

bool TAnalysisEngine::RecordingChanged() const {
    // A stamp that could not be taken proves nothing about the file: that
    // counts as changed as well.
    const TFileStamp now = FileStampOf(fileName_);
    return !analysedStamp_.Valid() || !now.Valid() || !(now == analysedStamp_);
}

std::string TAnalysisEngine::RecordingChangedLogText(const std::string& fileName) {
    std::string text = RecordingChangedText(false) + " " + fileName;
    for (char& c : text)
        if (c == '\r') c = ' ';
    return text;
}

bool TAnalysisEngine::CheckRecordingUnchanged() {
    if (!RecordingChanged()) return true;
    Log("");
    Log("TS  ERROR: " + RecordingChangedLogText(fileName_));
    host_.Questions->ShowMessage(TMessageKind::Error, RecordingChangedText(German()) + "\r" + fileName_);
    return false;
}

// ---------------------------------------------------------------------------
// Reset

void TAnalysisEngine::ResetAll() {
    // ResetStepLabels: all twenty labels idle, status texts empty.
    for (int i = 0; i < ANALYSIS_STEP_COUNT; ++i) SetStep(static_cast<TAnalysisStep>(i), TStepState::Idle, "");

    chain_->Deactivate();

    DuplicatePacketHandling = host_.Settings->SettingBool("PESDuplicatePacketHandling", false);

    Selection().Pmt().SetActive(false);
    Selection().Pat().SetActive(false);
    scan_->Deactivate();

    ScrambledMode = TScrambledMode::NotAsked;
    LastResyncOffset = 0;
    tables_->ProgramNumber = kOwnProgramNumber;
    tables_->TransportStreamId = 6;
    TTimelineTexts timeline;
    timeline.Begin = timeline.End = timeline.Duration = PtsToTimeText(0);
    host_.Streams->ShowTimeline(timeline);
    Selection().Pmt().Clear();
    scan_->PmtScan()->Clear();
    rawReader_->SetActive(false);

    tables_->ClearAudioStreams();
    tables_->ClearTextStreams();
    host_.Streams->EnableButtons(false, false, false, false);
    host_.Log->ClearLog();
    panels_->HideAll();
    host_.Streams->ShowAnalysisBoxes(false);
    tables_->ClearPmtEntryTable();
    analysed_ = false;
}

// ---------------------------------------------------------------------------
// The ten steps

bool TAnalysisEngine::AnalyseStream(const std::string& fileName) {
    if (busy_) return false;
    TBusyScope busy(busy_);
    cancelRequested_ = false;
    ResetAll();
    bool ok = false;
    try {
        ok = RunSteps(fileName);
    } catch (const std::exception& e) {
        // Files, memory and the platform report by exceptions; the analysis
        // turns them into a line and a message instead of leaving the window.
        Log("Analysis stopped: " + DescribeException(e));
        host_.Progress->HideProgress();
        host_.Questions->ShowMessage(TMessageKind::Error, DescribeException(e));
        ok = false;
    }
    if (!ok && cancelRequested_) Log(MsgText(mmAborted));
    // Leave no reader active that a later pass would feed by surprise.
    scan_->PesScan()->SetActive(false);
    scan_->PmtScan()->SetActive(false);
    scan_->PatScan()->SetActive(false);
    Selection().Pmt().SetActive(false);
    analysed_ = ok;
    return ok;
}

bool TAnalysisEngine::RunSteps(const std::string& fileName) {
    TAnalysisTables& t = *tables_;
    // 1. A fresh analysis state.
    t.ResetAnalysis();
    t.TimerPatchMode = host_.Settings->SettingInt("TimerPatchMode", 0);
    fileName_ = fileName;
    ownPmtPid_ = -1;
    scan_->OpenDeclined = false;
    fullRangeAsked_ = false;
    scan_->Reader()->SetFileName(fileName);
    host_.Streams->ShowAnalysisBoxes(true);

    // 2. Log header.
    Log("Opening file " + fileName);
    Log("");
    Log("OS: " + host_.Settings->WindowsVersionText());
    Log(host_.Settings->ProgramNameVersion());
    Log("");
    Log("Supported splitter filter found : " + host_.Settings->SupportedFilterText(0));
    Log("Supported audio filter found    : " + host_.Settings->SupportedFilterText(1));
    Log("Supported video filter found    : " + host_.Settings->SupportedFilterText(2));

    // 3. Open. The stamp is taken first: a file that changes while it is
    // opened or read then differs from it, and the copy refuses it.
    analysedStamp_ = FileStampOf(fileName);
    scan_->Reader()->SetActive(true);
    if (!scan_->Reader()->Active()) {
        // A declined question has logged "ABORTED !!!" already; a file that
        // cannot be opened at all says so once.
        if (!scan_->OpenDeclined) {
            const std::string reason = scan_->Reader()->LastErrorText();
            Log("Could not open file " + fileName + (reason.empty() ? "" : " (" + reason + ")"));
            host_.Questions->ShowMessage(TMessageKind::Error,
                                         "Could not open file " + fileName + (reason.empty() ? "" : "\r" + reason));
        }
        return false;
    }
    host_.Streams->FileOpened(ExtractFileName(fileName));
    Log("");
    Log("Scanning for TRP fill pakets");

    // 4. Step 1: fill packets.
    SetStep(asGarbageScan, TStepState::Running, "scanning");
    host_.Progress->ProcessMessages();
    t.FillPacketsAtStart = scan_->CountFillPacketsAtStart();
    t.FillPacketsAtEnd = scan_->CountFillPacketsAtEnd();
    if (ReadFailedIn(asGarbageScan)) return false;
    if (t.FillPacketsAtStart > 0) Log("Found " + IntToStr(t.FillPacketsAtStart) + " fill pakets at start");
    if (t.FillPacketsAtEnd > 0) Log("Found " + IntToStr(t.FillPacketsAtEnd) + " fill pakets at end");
    if (const int64_t rest = scan_->Reader()->TrailingBytes(); rest > 0)
        Log("The recording ends in an incomplete paket of " + IntToStr(rest) + " bytes, which is left out");
    if (t.FillPacketsAtStart == 0 && t.FillPacketsAtEnd == 0) {
        host_.Progress->Pause(200);
        SetStep(asGarbageScan, TStepState::Done, "Clean");
    } else {
        SetStep(asGarbageScan, TStepState::Done, IntToStr(t.FillPacketsAtStart + t.FillPacketsAtEnd) + " packet found");
    }
    if (cancelRequested_) return false;

    // 5. Step 2: PIDs and their stream types.
    Log("");
    Log("Scanning for PIDs");
    SetStepState(asPidScan, TStepState::Running);
    host_.Progress->ProcessMessages();
    scan_->ScanPids(PID_SCAN_LIMIT);
    if (cancelRequested_ || ReadFailedIn(asPidScan)) return false;
    Log("");
    Log("Found " + IntToStr(t.FoundStreamCount) + " different PIDs");
    const std::string pidStatus = IntToStr(t.FoundStreamCount) + " PIDs found";
    if (t.FoundStreamCount < 2) {
        // A program needs a table and a stream: one PID is too few to go on
        // with, but it is a PID found, and the log must not deny it.
        const std::string why = t.FoundStreamCount == 0 ? std::string("No PIDs found!")
                                                        : "Only " + IntToStr(t.FoundStreamCount) +
                                                              " PID found! A recording needs at least 2.";
        FailStep(asPidScan, pidStatus, why, why);
        return false;
    }
    SetStep(asPidScan, TStepState::Done, pidStatus);
    Log("");
    Log("Identifying stream types");
    scan_->ScanStreamTypes(STREAM_TYPE_SCAN_LIMIT);
    if (cancelRequested_ || ReadFailedIn(asPidScan)) return false;
    Log("");
    Log(t.LogPidLine());
    Log("");

    // 6. Steps 3 and 4: PAT and PMT.
    Log("Scanning for PATs");
    SetStepState(asPatScan, TStepState::Running);
    host_.Progress->ProcessMessages();
    scan_->ScanPats(PAT_SCAN_LIMIT);
    if (cancelRequested_ || ReadFailedIn(asPatScan)) return false;
    if (!SettlePrograms() || ReadFailedIn(asPmtScan)) return false;

    // 7. Step 5: the new PAT.
    SetStep(asPatRebuild, TStepState::Running, "scanning");
    host_.Progress->ProcessMessages();
    if (!Selection().BuildNewPat(Selection().Pmt().PID(), t.ProgramNumber)) {
        FailStep(asPatRebuild, "New PAT invalid", "New PAT invalid!", "New PAT invalid!");
        return false;
    }
    SetStep(asPatRebuild, TStepState::Done, "OK");

    // 8. Step 6: PCR.
    SetStep(asPcrCheck, TStepState::Running, "checking");
    host_.Progress->ProcessMessages();
    if (!Selection().CheckPcr()) {
        FailStep(asPcrCheck, "PCR PID is missing", "PCR PID is missing in stream!", "PCR PID is missing in stream!");
        return false;
    }
    SetStep(asPcrCheck, TStepState::Done, "OK");
    Log("PCR PID is $" + IntToHex(Selection().Pmt().PcrPid(), 4));

    // 9. Per-PID records and panels.
    panels_->FillFromSelection();

    // 10. The PAT packet.
    Selection().Pat().BuildPatPacket();
    Log("");
    Log("Created PAT:");
    LogPatDump(&Selection().Pat(), 0);
    Log("");

    // 11. Step 7: the PMT packets.
    SetStep(asPmtRebuild, TStepState::Running, "checking");
    host_.Progress->ProcessMessages();
    Selection().Pmt().SetProgramNumber(t.ProgramNumber);
    if (!Selection().Pmt().BuildPmtPackets()) {
        Log("");
        FailStep(asPmtRebuild, "Creating PMT failed", "New PMT could not be created!", "New PMT could not be created!");
        return false;
    }
    Log("");
    Log("Created PMT:");
    LogPmtDump(&Selection().Pmt(), 0);
    Log("");
    SetStep(asPmtRebuild, TStepState::Done, "OK");

    // 12. Step 8: start, end and duration.
    SetStep(asStartEndCheck, TStepState::Running, "scanning");
    host_.Progress->ProcessMessages();
    RunStartEndStep();
    if (cancelRequested_ || ReadFailedIn(asStartEndCheck)) return false;
    SetStep(asStartEndCheck, TStepState::Done, "OK");

    // 13. The wrap question.
    if (t.PcrWrap && t.TimerPatchMode == 0) {
        if (host_.Questions->Ask(TAnalysisQuestion::PcrWrap, MsgText(mmPcrWrapDetected) + "\r" + MsgText(mmPcrWrapTrouble) +
                                                       "\r" + MsgText(mmPatchTimerQuestion)))
            t.TimerPatchMode = 1;
    }

    // 14. What the cleaning pass will copy; a program without video stops
    // at the next step, and then nothing is promised.
    if (t.VideoEntryIndex >= 0) {
        Log("");
        Log("The following PIDs will be imported into new stream: " + t.KeptPidText());
    }

    // 15. Step 9: video details.
    SetStep(asVideoDetailsScan, TStepState::Running, "scanning");
    host_.Progress->ProcessMessages();
    if (t.VideoEntryIndex < 0) {
        // The table may list a video the program cannot carry: named, so
        // that the user knows why there is none.
        for (int i = 0; i < t.SavedPmtEntryCount; ++i) {
            const TPmtEntry& e = t.SavedPmtEntries[static_cast<size_t>(i)];
            if (e.StreamType == kStreamTypeHevc)
                Log("Video stream PID $" + IntToHex(e.PID, 4) + " type " + IntToStr(e.StreamType) + " = " +
                    e.Description + " is not supported!");
        }
        FailStep(asVideoDetailsScan, "No video stream in PMT", "No video stream found in PMT", "");
        return false;
    }
    Log("");
    Log("Scanning for video details");
    RunVideoStep();
    if (cancelRequested_ || ReadFailedIn(asVideoDetailsScan)) return false;

    // 16. Step 10: audio details.
    SetStep(asAudioDetailsScan, TStepState::Running, "scanning");
    host_.Progress->ProcessMessages();
    Log("");
    Log("Scanning for audio details");
    RunAudioStep();
    if (cancelRequested_ || ReadFailedIn(asAudioDetailsScan)) return false;
    int slots = 0;
    for (const TAudioInfo& a : t.Audio)
        if (a.Pid != 0) ++slots;
    SetStep(asAudioDetailsScan, TStepState::Done,
            slots == 1 ? std::string("1 stream scanned") : IntToStr(slots) + " streams scanned");

    // 17. Finish.
    panels_->ApplyTextStreamSettings();
    host_.Streams->EnableButtons(true, panels_->PreserveCandidateCount() > 0, true, true);
    TTimelineTexts timeline;
    timeline.Visible = true;
    timeline.Begin = PtsToTimeText(0);
    timeline.End = timeline.Duration = PtsToTimeText(t.Duration);
    host_.Streams->ShowTimeline(timeline);
    return true;
}

bool TAnalysisEngine::SettlePrograms() {
    TAnalysisTables& t = *tables_;
    for (int round = 0; round < 2; ++round) {
        // 6.1 No PAT: the program makes its own on a free PMT PID.
        if (t.SavedPatCount == 0) {
            int pid = -1;
            for (int candidate : kOwnPmtPids)
                if (pid < 0 && !t.IsFoundPid(candidate)) pid = candidate;
            if (pid >= 0) {
                t.CreationMode = true;
                ownPmtPid_ = pid;
                Log("");
                Log("No valid PAT found!");
                Log("--- PAT/PMT creation mode ---");
                Log("Creating new PAT for PMT PID $" + IntToHex(pid, 4));
                t.AddFoundPid(pid, 1, "PMT");
                // Parsing the built PAT fires OnPatReceived, which records it.
                scan_->PatScan()->BuildSingleProgramPat(kOwnProgramNumber, pid);
                Log("");
            }
        }
        // 6.2
        Log("Found " + IntToStr(t.SavedPatCount) + " different PATs");
        std::string line = "Found " + IntToStr(t.PmtPidCount) + " different PMT PIDs";
        if (t.IgnoredPmtPidCount > 0)
            line += " (" + IntToStr(t.IgnoredPmtPidCount) + " PMTPIDs ignored " + t.IgnoredPmtPidList + " )";
        Log(line);
        // 6.3
        if (t.SavedPatCount == 0) {
            const std::string status = MsgText(mmNoValidPat);
            FailStep(asPatScan, status, "No valid PAT found!", status);
            return false;
        }
        SetStep(asPatScan, TStepState::Done, "OK");

        // 6.4 Creation mode: an own PMT from the found streams.
        if (t.CreationMode) {
            SetStep(asPmtScan, TStepState::Running, "scanning");
            host_.Progress->ProcessMessages();
            Log("Creating new PMT PID $" + IntToHex(ownPmtPid_, 4));
            if (t.CountPcrPids() == 0) {
                const std::string status = MsgText(mmPcrMissing);
                FailStep(asPmtScan, status, "PMT could not be build because of missing PCR!", status);
                return false;
            }
            if (!Selection().BuildOwnPmt(ownPmtPid_)) {
                const std::string status = MsgText(mmPmtInvalid);
                FailStep(asPmtScan, status, "PMT could not be build!", status);
                return false;
            }
            SetStep(asPmtScan, TStepState::Done, "OK");
            return true;
        }

        // 6.5 Normal: scan the PMT PIDs, select one.
        bool settled = false;
        if (t.PmtPidCount > 0) {
            Log("Scanning for PMTs");
            SetStepState(asPmtScan, TStepState::Running);
            host_.Progress->ProcessMessages();
            scan_->ScanPmts(PMT_SCAN_LIMIT);
            if (cancelRequested_) return false;
            Log("Found " + IntToStr(t.SavedPmtCount) + " different PMTs");
            if (t.SavedPmtCount == 1) {
                Log("");
                const TSavedPmt& p = t.SavedPmts[0];
                settled = Selection().SelectPmt(p.Pid, p.PacketCount, p.PacketIndex, p.Crc32);
            } else if (t.SavedPmtCount > 1) {
                Log("");
                // The last PMT, as a later version of a program's table
                // replaces an earlier one. With several programs the last
                // one may carry only audio while another carries the video:
                // then the last PMT that lists video is taken, so a
                // recording with a TV program is never reduced to a radio
                // program (the analysis would stop at the video step).
                int chosen = t.SavedPmtCount - 1;
                if (!t.SavedPmts[static_cast<size_t>(chosen)].HasVideo) {
                    for (int i = chosen - 1; i >= 0; --i) {
                        if (t.SavedPmts[static_cast<size_t>(i)].HasVideo) {
                            chosen = i;
                            break;
                        }
                    }
                }
                Log(chosen == t.SavedPmtCount - 1 ? "PES WARNING: More than 1 PMT found, selecting last one"
                                                  : "PES WARNING: More than 1 PMT found, selecting last one with video");
                const TSavedPmt& p = t.SavedPmts[static_cast<size_t>(chosen)];
                settled = Selection().SelectPmt(p.Pid, p.PacketCount, p.PacketIndex, p.Crc32);
            }
        }
        // 6.6
        if (!settled) {
            if (round == 1) {
                const std::string status = MsgText(mmPmtInvalid);
                FailStep(asPmtScan, status, "PMT missing error!", status);
                return false;
            }
            Log("PMT missing warning!");
            Log("Trying to rebuild!");
            t.SavedPatCount = 0;
            continue;
        }
        // 6.7
        SetStep(asPmtScan, TStepState::Done, "OK");
        t.ProgramNumber = Selection().Pmt().ProgramNumber();
        return true;
    }
    return false;
}

void TAnalysisEngine::RunStartEndStep() {
    TAnalysisTables& t = *tables_;
    startEnd_->ScanStartEnd(START_END_LIMIT);
    int firstPid = -1, lastPid = -1;
    t.FirstPts = t.MaxFirstPts(&firstPid);
    t.LastPts = t.MaxLastPts(&lastPid);
    t.FirstPtsPid = firstPid;
    t.LastPtsPid = lastPid;
    t.FirstDts = t.MaxFirstDts();
    // The clock may move to another PID on the way: the recording begins on
    // the first PID its tables name, and ends on the last.
    const int pcrPid = Selection().Pmt().PcrPid();
    const std::vector<int>& clocks = Selection().KeptClocks();
    int64_t firstPcr = startEnd_->FindNextPcr(clocks.empty() ? pcrPid : clocks.front(), START_END_LIMIT);
    firstPcr = (firstPcr / kClockRatio) * kClockRatio;
    int64_t lastPcr = startEnd_->FindPreviousPcr(clocks.empty() ? pcrPid : clocks.back(), START_END_LIMIT);
    if (lastPcr == -1) {
        Log("Last PCR not found! Using last PTS instead!");
        lastPcr = t.LastPts * kClockRatio;
    }
    t.FirstPcr = firstPcr;
    t.LastPcr = lastPcr;
    t.FirstPcr90k = firstPcr / kClockRatio;
    t.LastPcr90k = lastPcr / kClockRatio;
    t.Duration = startEnd_->CheckPcrWrap();
    t.CutOut = t.Duration;

    Log("First PTS is " + IntToStr(t.FirstPts) + " " + PtsToTimeText(t.FirstPts) + " PID:" + IntToStr(firstPid));
    Log("Last PTS is " + IntToStr(t.LastPts) + " " + PtsToTimeText(t.LastPts) + " PID:" + IntToStr(lastPid));
    Log("First DTS is " + IntToStr(t.FirstDts) + " " + PtsToTimeText(t.FirstDts));
    Log("First PCR  is " + IntToStr(t.FirstPcr) + " " + PcrToTimeText(t.FirstPcr));
    Log("First PCR\xC2\xB4 is " + IntToStr(t.FirstPcr / kClockRatio) + " " + PtsToTimeText(t.FirstPcr / kClockRatio));
    Log("Last PCR  is " + IntToStr(t.LastPcr) + " " + PcrToTimeText(t.LastPcr));
    Log("Duration of video stream is " + IntToStr(t.Duration) + " " + PtsToTimeText(t.Duration));
    // The end and the duration are known now: shown at once, so that they
    // stay in view when a later step stops the analysis. The box itself
    // turns on only when the analysis finishes.
    TTimelineTexts timeline;
    timeline.Begin = PtsToTimeText(0);
    timeline.End = timeline.Duration = PtsToTimeText(t.Duration);
    host_.Streams->ShowTimeline(timeline);
}

// ---------------------------------------------------------------------------
// Dumps

void TAnalysisEngine::LogPatDump(TTSPatReader* reader, int number) {
    Log("\r\n----------- PAT " + IntToStr(number) + " -----------\r\n" + reader->PatDumpText() +
        "-----------------------------\r\n");
}

void TAnalysisEngine::LogPmtDump(TTSPmtReader* reader, int number) {
    Log("\r\n----------- PMT " + IntToStr(number) + " -----------\r\n" + reader->PmtDumpText() +
        "-----------------------------\r\n");
}

void TAnalysisEngine::LogH264Dump(TTSH264Reader* reader) {
    Log("\r\n-------- H264 Video ---------\r\n" + reader->SpsDumpText() + "-----------------------------\r\n");
}


TScrambledMode TAnalysisEngine::AskScrambledMode() {
    if (ScrambledMode == TScrambledMode::NotAsked) {
        Log("Scrambled pakets detected!");
        if (host_.Questions->Ask(TAnalysisQuestion::Scrambled, MsgText(mmScrambledDetected) + "\r" + MsgText(mmSkipScrambled))) {
            ScrambledMode = TScrambledMode::SkipScrambled;
            Log("Ignore scrambled pakets!");
        } else {
            ScrambledMode = TScrambledMode::IgnoreControl;
            Log("Ignore transport_scrambling_control!");
        }
    }
    return ScrambledMode;
}

// ---------------------------------------------------------------------------
// Steps 9 and 10: video and audio details

void TAnalysisEngine::RunVideoStep() {
    TAnalysisTables& t = *tables_;
    const TPmtEntry& entry = Selection().Pmt().Entry(t.VideoEntryIndex);
    const TVideoInfo& v = t.Video;
    if (entry.StreamType == kStreamTypeH264) {
        if (details_->ScanH264Details(entry.PID, VIDEO_DETAIL_LIMIT)) {
            std::string format = IntToStr(v.Resolution_H) + "x" + IntToStr(v.Resolution_V) + (v.Interlaced ? "i" : "p") +
                                 "/" + NumberText(v.FramesPerSecond) + " fps/" + v.Profile + "@" + LevelText(v.Level);
            if (!v.Colorimetry.empty()) format += "\r\nColorimetry : " + v.Colorimetry;
            LogH264Dump(scan_->H264Scan());
            Log("Video format: H264 " + format);
            panels_->Video().Details =
                VideoDetailsText(v.Resolution_H, v.Resolution_V, v.Profile, v.Level, v.FramesPerSecond, v.Interlaced);
            if (details_->FullRangeFlag()) {
                Log("ES  WARNING: video_full_range_flag is set!");
                bool correct = false;
                if (!fullRangeAsked_) {
                    fullRangeAsked_ = true;
                    correct = host_.Questions->Ask(TAnalysisQuestion::VideoFullRange, MsgText(mmFullRangeSet) + "\r" +
                                                                                MsgText(mmFullRangeNotForDvb) + "\r" +
                                                                                MsgText(mmFullRangeCorrect));
                    if (correct) {
                        t.FullRangeCorrect = true;
                        Log("Reset video_full_range_flag !");
                    } else {
                        t.FullRangeIgnore = true;
                        Log("Ignore video_full_range_flag !");
                    }
                }
            }
        } else {
            Log("Video format: Could not detect video header details");
            panels_->Video().Details = "Format details not found";
        }
        host_.Streams->ShowPanel(TPanelKind::Video, 0, panels_->Video());
        SetStep(asVideoDetailsScan, TStepState::Done, "1 stream scanned");
    } else if (entry.StreamType == kStreamTypeMpeg2Video) {
        std::string format;
        if (details_->ScanMpeg2Details(VIDEO_DETAIL_LIMIT)) {
            format = IntToStr(v.Resolution_H) + "x" + IntToStr(v.Resolution_V) + " / " + NumberText(v.FramesPerSecond) +
                     " fps";
            panels_->Video().Details =
                VideoDetailsText(v.Resolution_H, v.Resolution_V, v.Profile, 0, v.FramesPerSecond, v.Interlaced);
        } else {
            format = "Format unknown";
            panels_->Video().Details.clear();
        }
        host_.Streams->ShowPanel(TPanelKind::Video, 0, panels_->Video());
        SetStep(asVideoDetailsScan, TStepState::Done, "1 stream scanned");
        Log("Video format: MPEG2 " + format);
    }
    // Any other video type leaves the step running.
}

void TAnalysisEngine::RunAudioStep() {
    TAnalysisTables& t = *tables_;
    for (int i = 0; i < AUDIO_SLOTS && !cancelRequested_; ++i) {
        TAudioInfo& a = t.Audio[static_cast<size_t>(i)];
        if (a.Pid == 0) continue;
        const int fidx = t.FoundStreamIndex(a.Pid);
        std::string description;
        if (a.Kind != akAC3 && a.Kind != akEAC3) {
            if (fidx >= 0 && LowerCase(t.FoundStreams[static_cast<size_t>(fidx)].TypeText).find("audio") != std::string::npos)
                description = t.FoundStreams[static_cast<size_t>(fidx)].TypeText;
        } else {
            if (details_->ScanAudioDetails(i, AUDIO_DETAIL_BUDGET)) {
                description = std::string(a.Kind == akEAC3 ? "E-AC3 " : "AC3 ") + a.Mode + " " +
                              IntToStr(a.SampleRate) + "Hz (" + UpperCase(a.Language) + ")";
                a.Details = a.Mode + " (" + LanguageCodeName(a.Language, German()) + ")\r" + SampleRateText(a.SampleRate) +
                            "\r" + IntToStr(a.BitRate) + "kBit";
                panels_->Audio(i).Details = a.Details;
                host_.Streams->ShowPanel(TPanelKind::Audio, i, panels_->Audio(i));
            }
            if (fidx >= 0 && t.FoundStreams[static_cast<size_t>(fidx)].StreamID != 0xBD) {
                const int oldId = t.FoundStreams[static_cast<size_t>(fidx)].StreamID;
                // Asked for each stream: the user may correct one and keep
                // another as it is.
                const bool correct = host_.Questions->Ask(TAnalysisQuestion::Ac3StreamId,
                                                          MsgText(mmAc3StreamIdWrong) + "\r" + MsgText(mmAc3StreamIdForDvb) +
                                                              "\r" + MsgText(mmAc3StreamIdCorrect));
                if (correct) {
                    t.AddPatchEntry(a.Pid, PATCH_KIND_STREAM_ID, 0xBD, oldId);
                    Log("Audio stream " + IntToStr(i + 1) + ": Patch StreamID from $" + IntToHex(oldId & 0xFF, 2) +
                        " to $BD !");
                } else {
                    Log("Audio stream " + IntToStr(i + 1) + ": Ignore AC3 StreamID $" + IntToHex(oldId & 0xFF, 2) +
                        "<> $BD !");
                }
            }
        }
        Log("Audio stream " + IntToStr(i + 1) + ": " + description);
    }
}

} // namespace tw
