#include "tools/engine/RawCutter.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "tools/engine/StreamProbe.h"
#include "tools/engine/ToolFiles.h"

namespace tw {

TRawCutSetup RawCutSetup(int packetSize, int garbageOffset, int64_t fileSize, bool skipGarbage)
{
    TRawCutSetup s;
    s.PacketSize = packetSize > 0 ? packetSize : 188;
    if (skipGarbage && garbageOffset > 0) {
        s.From = garbageOffset / s.PacketSize;
        s.Offset = garbageOffset % s.PacketSize;
    }
    const int64_t usable = std::max<int64_t>(0, fileSize - s.Offset);
    s.PacketCount = usable / s.PacketSize;
    s.To = s.PacketCount - 1;
    s.SizeMB = RawRangeSizeMB(s.From, s.To, s.PacketSize, true);
    return s;
}

namespace {

// The dialog's numbers are typed by the user, up to the largest 64-bit
// value: every product and sum saturates instead of wrapping, so a huge To
// means "up to the end of the file", never a negative or empty range.
int64_t SaturatedAdd(int64_t a, int64_t b)
{
    int64_t r;
    if (__builtin_add_overflow(a, b, &r))
        return b < 0 ? INT64_MIN : INT64_MAX;
    return r;
}

int64_t SaturatedSub(int64_t a, int64_t b)
{
    int64_t r;
    if (__builtin_sub_overflow(a, b, &r))
        return b > 0 ? INT64_MIN : INT64_MAX;
    return r;
}

int64_t SaturatedMul(int64_t a, int64_t b)
{
    int64_t r;
    if (__builtin_mul_overflow(a, b, &r))
        return (a < 0) != (b < 0) ? INT64_MIN : INT64_MAX;
    return r;
}

// A rounded double held to the 64-bit range (Round gives INT64_MIN beyond it).
int64_t SaturatedRound(double v)
{
    if (v >= 9223372036854775807.0)
        return INT64_MAX;
    if (v <= -9223372036854775808.0)
        return INT64_MIN;
    return Round(v);
}

} // namespace

int64_t RawRangeSizeMB(int64_t from, int64_t to, int packetSize, bool rounded)
{
    const int64_t bytes = SaturatedMul(SaturatedSub(to, from), packetSize);
    if (!rounded)
        return bytes / kMegaByte;
    return Round(static_cast<double>(bytes) / static_cast<double>(kMegaByte));
}

int64_t RawToFromSize(int64_t sizeMB, int64_t from, int packetSize)
{
    const double bytes = static_cast<double>(sizeMB) * kMegaByte + static_cast<double>(from) * packetSize;
    return SaturatedRound(bytes / packetSize);
}

TRawRange RawCutRange(int64_t from, int64_t to, int packetSize, int offset)
{
    return {SaturatedAdd(SaturatedMul(from, packetSize), offset),
            SaturatedAdd(SaturatedMul(SaturatedAdd(to, 1), packetSize), offset)};
}

std::string RawCutterOutputName(const std::string& inputFileName)
{
    return ChangeFileExt(inputFileName, "_cutted" + ExtractFileExt(inputFileName));
}

bool RawNumberKeyAllowed(char key, const std::string& decidingText)
{
    if ((key >= '0' && key <= '9') || key == '\b' || key == '$')
        return true;
    if (!decidingText.empty() && decidingText[0] == '$')
        return (key >= 'a' && key <= 'f') || (key >= 'A' && key <= 'F');
    return false;
}

TRawCopyReport RawCopyFile(const std::string& input, const std::string& output, int64_t start, int64_t end,
                           const TRawProgress& progress, const TOutputFactory& createOutput, int packetSize)
{
    TRawCopyReport r;
    if (output.empty() || SameFilePath(input, output)) {
        r.Error = "The output must not be the file being cut.";
        return r;
    }
    std::unique_ptr<TFileStream> in;
    try {
        in = std::make_unique<TFileStream>(input, fmOpenRead | fmShareDenyNone);
    } catch (const Exception& e) {
        r.Error = e.Message();
        return r;
    }
    // Nothing beyond the end of the input can be copied: without this a
    // range past the end would wait for ever for bytes that never come.
    const int64_t size = in->Size();
    start = std::clamp<int64_t>(start, 0, size);
    if (end > size) {
        r.Shortened = true;
        end = size;
    }
    // A range without a single byte of the file (From at or beyond its end)
    // is no copy: refused before an existing output is deleted for it.
    if (end <= start) {
        r.Shortened = false;
        r.Error = "The range holds no byte of the file: nothing to copy.";
        return r;
    }
    if (FileExists(output) && (!RemoveFile(output) || FileExists(output))) {
        r.Error = "Cannot replace " + output;
        return r;
    }
    std::unique_ptr<TStream> out;
    try {
        out = createOutput ? createOutput(output) : std::make_unique<TFileStream>(output, fmCreate);
        std::vector<uint8_t> buffer(static_cast<size_t>(std::min(kRawCopyBlock, end - start)));
        in->SetPosition(start);
        int64_t pos = start;
        r.Result = TRawCopyResult::Done;
        while (pos < end) {
            if (progress && !progress(end - start, pos - start)) {
                r.Result = TRawCopyResult::Cancelled;
                break;
            }
            const int64_t chunk = std::min<int64_t>(static_cast<int64_t>(buffer.size()), end - pos);
            // A short read inside the file's size is a read failure: the
            // file shrank or the medium failed.
            const int64_t got = in->Read(buffer.data(), chunk);
            if (got != chunk) throw EReadError(ReadFailureText(input, pos, got, chunk, in->LastErrorText()));
            out->WriteBuffer(buffer.data(), chunk);
            pos += chunk;
            r.Copied += chunk;
        }
        if (auto* f = dynamic_cast<TFileStream*>(out.get()))
            f->Flush();
    } catch (const Exception& e) {
        r.Result = TRawCopyResult::Failed;
        r.Error = e.Message();
    }
    // A block that stopped the copy ends inside a packet (blocks are no
    // multiple of a packet): the output keeps the whole packets before it.
    if (out && packetSize > 0 && r.Result != TRawCopyResult::Done) {
        try {
            const int64_t size = out->Size();
            if (size % packetSize != 0)
                out->SetSize(size / packetSize * packetSize);
        } catch (const Exception&) {
            // The reason that ended the copy is the one to report.
        }
    }
    return r;
}

} // namespace tw
