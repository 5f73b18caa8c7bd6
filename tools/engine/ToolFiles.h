// What the whole-recording tools share: their output names beside the
// input, texts of numbers, and the two callbacks through which a pass keeps
// the window alive. (An output that is the input is told by SameFilePath of
// base/SysUtils.h.)
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tw {

// The input name with its extension replaced by suffix + the input's
// extension ("a.ts", "_filtered" -> "a_filtered.ts").
std::string ToolOutputName(const std::string& input, const std::string& suffix);

// The question before an existing file is replaced by a new recording:
// "File <name> already exists!", a line break, "Overwrite file?" (German
// "Datei <name> existiert bereits!" / "Datei überschreiben?").
std::string ReplaceFileQuestion(const std::string& fileName, bool german);

// "$" + v in upper-case hexadecimal digits ("$0011"): PIDs and packet
// numbers in the tools' texts.
std::string DollarHex(int64_t v, int digits);

// The text of a read that brought fewer bytes than the file held when it
// was opened: the file, where, how many, and the platform's reason (or that
// the file has shrunk since).
std::string ReadFailureText(const std::string& fileName, int64_t position, int64_t got, int64_t wanted,
                            const std::string& reason);

// Progress of a pass on the user-interface thread.
struct TToolProgress {
    // The progress window: position of total (percent = position * 100 / total).
    std::function<void(int64_t total, int64_t position)> ShowProgress;
    // Lets pending window messages run.
    std::function<void()> ProcessMessages;

    void Show(int64_t total, int64_t position) const {
        if (ShowProgress) ShowProgress(total, position);
    }
    void Process() const {
        if (ProcessMessages) ProcessMessages();
    }
};

// The packet numbers at which the copying tools show progress and let
// window messages run.
constexpr int64_t kToolProgressEvery = 10002;
constexpr int64_t kToolMessagesEvery = 10000;

} // namespace tw
