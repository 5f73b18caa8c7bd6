// The main window's texts in German and English: the captions, hints and
// file filters of its controls, the message texts that the analysis, the
// cleaning pass and the patch dialog use, and the helpers that build
// language-dependent texts. Portable, so the engines take the same texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tw {

enum TControlTextKind { ctCaption, ctHint, ctFilter };

// One text of one control of the main window (by component name).
struct TControlText {
    const char* control;
    TControlTextKind kind;
    const char* german;
    const char* english;
};

// Every control text of the main window, one row per control and kind.
const std::vector<TControlText>& MainControlTexts();
// The text of a control in one language; empty when the table has none.
std::string ControlText(const std::string& control, TControlTextKind kind, bool german);

// The message texts; other code names them by these ids. Numbers follow the
// order of the table (1-based), mmCount is one past the last.
enum TMainMessageId {
    mmNoValidPat = 1,
    mmPmtInvalid,
    mmPcrMissing,
    mmUnknown,
    mmAbortQuestion,
    mmStartByteNotFound,
    mmM2tsDetected,
    mmPcrWrapDetected,
    mmPcrWrapTrouble,
    mmPatchTimerQuestion,
    mmFullRangeSet,
    mmFullRangeNotForDvb,
    mmFullRangeCorrect,
    mmAc3StreamIdWrong,
    mmAc3StreamIdForDvb,
    mmAc3StreamIdCorrect,
    mmPcrOutOfRange,
    mmPcrCorrect,
    mmNoVideoInPmt,
    mmAbbreviations,
    mmAbortedWithErrors,
    mmAborted,
    mmSuccess,
    mmScrambledDetected,
    mmSkipScrambled,
    mmButErrors,
    mmPreserveStreams,
    mmWarning,
    mmProgNoSid,
    mmExperimental,
    mmExpertWarning,
    mmCurrentPnr,
    mmNewPnr,
    mmCurrentPid,
    mmNewPid,
    mmCancel,
    mmCount
};

// What became of the output of a failed cleaning pass, for its result
// message: deleted again (it held nothing of the recording), or kept though
// incomplete (the output's name follows the text).
enum class TOutputNote { Removed, Incomplete };
std::string OutputNoteText(TOutputNote note, bool german);

// The refusal of every copy and tool of an analysed recording that changed
// after its analysis (its size or time of change): the analysis no longer
// describes it.
std::string RecordingChangedText(bool german);

// The refusal of a new file whose log, saved under `log` once the copy is
// made, would replace that file or the opened recording; empty when it
// replaces neither. Every copy that saves a log of its own refuses with
// these words.
std::string LogNameRefusal(const std::string& input, const std::string& output, const std::string& log, bool german);

// The fixed German and English text of a message id (empty for ids out of range).
std::string MessageTextIn(int id, bool german);

// The message table of the main window: English until a language is set;
// SetGermanTexts / SetEnglishTexts of the window set it. Process-wide, so the
// engines read what the window shows.
class TMainMessages {
public:
    TMainMessages();
    void SetLanguage(bool german);
    bool German() const { return german_; }
    const std::string& Text(int id) const;

private:
    bool german_ = false;
    std::vector<std::string> texts_;
};

TMainMessages& MainMessages();
inline const std::string& MainMessage(int id) { return MainMessages().Text(id); }

// Language name of an ISO 639 code (case-insensitive); unknown codes come
// back lower-cased.
std::string LanguageCodeName(const std::string& code, bool german);

// Tooltips of the audio and text stream panels.
std::string AudioStreamHint(int number, const std::string& extra, bool german);
std::string TextStreamHint(int number, const std::string& extra, bool german);

// "Windows " + name + " " + " Version %d.%d Build %d %s". platformId is the
// system's platform code: 1 the 9x family, 2 the NT family.
std::string WindowsVersionText(int platformId, int major, int minor, int build, const std::string& servicePack);

// The program version as text: two decimals, a "." whatever the locale, " beta".
extern const double kProgramVersion;
std::string VersionText(double version);
inline std::string VersionText() { return VersionText(kProgramVersion); }

// The stream panels' size of a byte count, one decimal with a "." whatever
// the locale: "1.5 GB" above 1 GiB, "14.7 MB" from 1 MiB, "3.0 KB" from
// 1 KiB, "512 B" below.
std::string SizeText(int64_t bytes);

// Start-up texts.
extern const char* const kProblemCaption; // "Tarnwick Problem"
std::string PlatformProblemText(bool german);
extern const char* const kPlatformEventText; // "This OS is not supported!"
std::string DataFolderErrorText(const std::string& path);

// The language-descriptor question of the stream panels' popup menus.
std::string DescriptorDialogCaption(bool german);
std::string DescriptorDialogPrompt(bool german);
std::string DescriptorLengthMessage(bool german);

} // namespace tw
