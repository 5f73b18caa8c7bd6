// What the analysis engine needs from the window that shows it. The main
// window implements this; native tests implement it with a recorder that
// answers the questions itself. The engine never includes a window header.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

// The ten analysis steps, in their fixed order.
enum TAnalysisStep {
    asGarbageScan = 0,
    asPidScan,
    asPatScan,
    asPmtScan,
    asPatRebuild,
    asPcrCheck,
    asPmtRebuild,
    asStartEndCheck,
    asVideoDetailsScan,
    asAudioDetailsScan,
};
constexpr int ANALYSIS_STEP_COUNT = 10;

// A step panel's state: idle grey, running yellow, done green, failed red.
enum class TStepState { Idle, Running, Done, Failed };

// The Yes/No questions the analysis (and the handlers on its readers) ask.
// Each is asked at most once per opened file or analysis.
enum class TAnalysisQuestion {
    NoValidStartByte,  // continue with an offset?
    M2TSDetected,      // continue in 192-byte mode?
    Scrambled,         // skip scrambled packets?
    PcrWrap,           // patch the timer to remove the wrap?
    VideoFullRange,    // correct video_full_range_flag?
    Ac3StreamId,       // correct the AC-3 PES stream_id?
    OverwriteFile,     // replace the existing file the copy was named?
};

enum class TMessageKind { Information, Warning, Error };

// One result panel's texts. Empty strings clear a value.
struct TStreamPanel {
    bool Visible = false;
    std::string Title;         // "H264", "AC3", "Teletext", ...
    std::string TitleHint;
    std::string Pid;           // "$" + four hex digits
    std::string Size;
    std::string Errors;
    std::string LayerCheck;    // "TS,PES,ES" or "TS,PES"
    std::string Details;
    bool LanguageItemEnabled = false;
    // Audio: 1 kept, 2 dropped, 0 hidden. Text: 1 kept, 2 dropped.
    int ToggleState = 0;
};

enum class TPanelKind { Video, Audio, Text };

// Texts of the "Timeline" box.
struct TTimelineTexts {
    bool Visible = false;
    std::string Begin, End, Duration;
};

// What a window offers the engine, in the parts a window really has. A pass
// takes only the parts it uses; the main window hands each part to the
// engine (TAnalysisHost), and a host without a window (tests, benchmarks)
// can be all parts in one object (IAnalysisHost).

// The log window: one line per call (a line may hold CR LF for dump blocks).
class ILogView {
public:
    virtual ~ILogView() = default;
    virtual void LogLine(const std::string& line) = 0;
    virtual void ClearLog() = 0;
};

// The progress window and the message loop behind it.
class IProgressView {
public:
    virtual ~IProgressView() = default;
    // Status text of the running pass, then a position of a total (percent =
    // position * 100 / total). HideProgress closes it.
    virtual void SetProgressStatus(const std::string& text) = 0;
    virtual void ShowProgress(int64_t total, int64_t position) = 0;
    virtual void HideProgress() = 0;
    // Lets pending window messages run. The engine is Busy meanwhile; the
    // window must refuse open, drop, tools and close (a close may ask the
    // engine to cancel instead).
    virtual void ProcessMessages() = 0;
    // A short visible pause (the garbage step shows "scanning" a moment);
    // the window keeps processing messages meanwhile.
    virtual void Pause(int milliseconds) { (void)milliseconds; }
};

// Questions, message boxes and sounds.
class IQuestions {
public:
    virtual ~IQuestions() = default;
    // Yes/No question; true only for Yes.
    virtual bool Ask(TAnalysisQuestion question, const std::string& text) = 0;
    virtual void ShowMessage(TMessageKind kind, const std::string& text) = 0;
    virtual void PlaySound(const std::string& resourceName) = 0;
};

// The analysis steps and the streams found: step panels, result panels, the
// boxes around them, the buttons and the status line.
class IStreamView {
public:
    virtual ~IStreamView() = default;
    // Step panels: caption and status label take the state's colours; the
    // status label shows `text`.
    virtual void SetStep(TAnalysisStep step, TStepState state, const std::string& text) = 0;
    virtual void ShowPanel(TPanelKind kind, int slot, const TStreamPanel& panel) = 0;
    virtual void ShowTimeline(const TTimelineTexts& texts) = 0;
    // Preparation / Identified Streams boxes on, logo hidden (true); or the
    // idle look after a reset (false).
    virtual void ShowAnalysisBoxes(bool on) = 0;
    // START, Preserve, Patch and Cut after a finished analysis; all false
    // after a reset.
    virtual void EnableButtons(bool start, bool preserve, bool patch, bool cut) = 0;
    // File name (without folder) for the status bar after a successful open.
    virtual void FileOpened(const std::string& fileName) = 0;
};

// The settings and the texts of the program's surroundings.
class IHostSettings {
public:
    virtual ~IHostSettings() = default;
    // Registry values of the settings key; absent -> default.
    virtual bool SettingBool(const std::string& name, bool defaultValue) = 0;
    virtual int SettingInt(const std::string& name, int defaultValue) = 0;
    // The main window's language: true for German message texts.
    virtual bool GermanTexts() = 0;
    // Header lines of the log: the Windows version text, the program's file
    // name with its version, and what the filter probe found (kind 0
    // splitter, 1 audio, 2 video; empty when nothing is known).
    virtual std::string WindowsVersionText() = 0;
    virtual std::string ProgramNameVersion() = 0;
    virtual std::string SupportedFilterText(int kind) = 0;
};

// The parts one window hands the engine; all must outlive it.
struct TAnalysisHost {
    ILogView* Log = nullptr;
    IProgressView* Progress = nullptr;
    IQuestions* Questions = nullptr;
    IStreamView* Streams = nullptr;
    IHostSettings* Settings = nullptr;
};

// All parts in one object.
class IAnalysisHost : public ILogView, public IProgressView, public IQuestions, public IStreamView, public IHostSettings {
public:
    TAnalysisHost Parts() { return {this, this, this, this, this}; }
};

} // namespace tw
