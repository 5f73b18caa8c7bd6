// The raw cutter's arithmetic and copy: a range of whole packets of any
// transport-stream file, copied byte for byte without looking inside the
// packets. The dialog (tools/RawCutterForm) keeps its three edits in step
// with these functions; the copy runs in blocks of at most 1,000,001 bytes
// and lets the caller show progress and cancel between blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Streams.h"

namespace tw {

constexpr int64_t kRawCopyBlock = 1000001;
constexpr int64_t kMegaByte = 1048576;

// The dialog's first values for a probed file.
struct TRawCutSetup {
    int PacketSize = 188;
    int Offset = 0; // bytes before packet 0 (the garbage, when the user agreed)
    int64_t From = 0;
    int64_t To = -1; // last packet, inclusive
    int64_t PacketCount = 0;
    int64_t SizeMB = 0;
};

// packetSize 0 (nothing found) counts as 188; the offset is used only when
// the user agreed to skip the garbage.
TRawCutSetup RawCutSetup(int packetSize, int garbageOffset, int64_t fileSize, bool skipGarbage);

// Size in MB of packets From..To: rounded (From edit) or truncated (To edit).
int64_t RawRangeSizeMB(int64_t from, int64_t to, int packetSize, bool rounded);
// The To that makes the range From.. hold sizeMB megabytes.
int64_t RawToFromSize(int64_t sizeMB, int64_t from, int packetSize);

// Byte range [Start, End) of packets From..To behind the offset; saturates
// at the largest position instead of wrapping.
struct TRawRange {
    int64_t Start = 0;
    int64_t End = 0;
};
TRawRange RawCutRange(int64_t from, int64_t to, int packetSize, int offset);

// "rec.ts" -> "rec_cutted.ts".
std::string RawCutterOutputName(const std::string& inputFileName);

// The key filter of the number edits: digits, backspace and "$"; after a
// leading "$" in decidingText also a..f and A..F.
bool RawNumberKeyAllowed(char key, const std::string& decidingText);

enum class TRawCopyResult {
    Done,      // the whole range (up to the end of the input) was copied
    Cancelled, // the user stopped it; what was copied stays
    Failed,    // reading or writing failed; what was written so far stays
    Refused    // the output would be the input or could not be replaced, or the
               // range holds no byte of the input
};

struct TRawCopyReport {
    TRawCopyResult Result = TRawCopyResult::Refused;
    int64_t Copied = 0;
    // True when the range reached beyond the end of the input and was cut
    // at the end.
    bool Shortened = false;
    std::string Error; // reason of Failed / Refused
};

// Called before each block with the bytes to copy and copied so far; false
// stops the copy (the user agreed to cancel).
using TRawProgress = std::function<bool(int64_t total, int64_t done)>;
// Creates the output stream (tests put a failing stream in between).
using TOutputFactory = std::function<std::unique_ptr<TStream>(const std::string& fileName)>;

// Copies [start, end) of the input into a new output. The input is opened
// read-only and never touched otherwise: an output equal to the input is
// refused before anything is deleted. A range beyond the end of the input
// ends at the end. A failed read or write ends as Failed and leaves the
// output as far as it was written: bytes the user may still want, never
// deleted behind their back.
// With a packet size, a copy that ends early (failed or cancelled) is cut
// back to the whole packets it holds; 0 keeps every byte written.
TRawCopyReport RawCopyFile(const std::string& input, const std::string& output, int64_t start, int64_t end,
                           const TRawProgress& progress, const TOutputFactory& createOutput = nullptr,
                           int packetSize = 0);

} // namespace tw
