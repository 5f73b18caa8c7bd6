// What the patch dialog shows and what its OK takes back: the program's
// service identifier (program number) and new PIDs for its streams. The
// cleaning pass applies both (the new service identifier from its options,
// the new PIDs from the found-stream records).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tw {

class TAnalysisEngine;

// PIDs a stream may take: 0 is the PAT's and $1FFF the null packets'.
constexpr int kFirstStreamPid = 1;
constexpr int kLastStreamPid = 0x1FFE;

struct TPatchChoices {
    std::string CurrentSid; // "$" + 4 hex digits
    std::string NewSid;
    // Key (current PID) and value (new PID), "$" + 4 hex digits each.
    std::vector<std::pair<std::string, std::string>> Rows;
};

// The dialog's contents: the current program number (first program of the
// rebuilt PAT), the new one when chosen, and one row per found stream but
// PID 0 and the PMT's own PID.
TPatchChoices FillPatchChoices(const TAnalysisEngine& engine, int newServiceId);

// A grid value that is a PID a stream may take.
bool ParseStreamPid(const std::string& text, int& pid);
// Whether a row may give the found stream on oldPid the PID newPid: a
// stream any PID it may take, the null packets ($1FFF, which constant-rate
// recordings are full of and the grid lists like any stream) only their own.
bool PatchPidAllowed(int oldPid, int newPid);
// The grid's check of an edited value: a number from 1 to 8191. Anything
// else is put back to the row's key, without a word to the user.
bool GridPidAccepted(const std::string& text);
// The message for a value that is not such a PID.
std::string StreamPidRangeMessage(bool german);

// Checks the new program number before OK takes the dialog's values: one
// from 1 to 65,535 ("$" hexadecimal or decimal), or the current one (as
// shown) left as it is. Empty when fine, else the message for the user,
// naming what was typed.
std::string CheckPatchSid(const std::string& newSidText, const std::string& currentSidText, bool german);

// Checks the rows before OK takes them: the null packets' row left at
// $1FFF, every other new PID one a stream may take, no two streams on one
// PID, none on the PMT's PID. Empty when fine, else the message for the
// user, naming the row at fault.
std::string CheckPatchRows(const std::vector<std::pair<std::string, std::string>>& rows, int pmtPid, bool german);

struct TPatchResult {
    int NewServiceId = -1; // -1 = keep the current one
    int RemapCount = 0;
};

// Takes the dialog's values back: the new service identifier (-1 when it
// does not convert, is not 1..65,535 or equals the current one) and, when it
// converted, each row's new PID into its found stream's replacement PID
// (-1 for a PID the row may not give, see PatchPidAllowed). RemapCount
// counts the rows that gave a found stream a new PID, a row left at its own
// PID included. When the identifier does not convert, the
// replacement PIDs stay as they were and RemapCount is -1 (the count chosen
// before stays as well).
TPatchResult ApplyPatchChoices(TAnalysisEngine& engine, const std::string& newSidText,
                               const std::vector<std::pair<std::string, std::string>>& rows);

} // namespace tw
