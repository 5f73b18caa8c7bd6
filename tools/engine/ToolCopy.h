// The packet loop the copying tools share (packet filter, low-level fix):
// open, refuse an output that is the input, copy the packets `keep` admits
// with progress and window messages at the fixed packet numbers, flush, and
// report a failed write with its reason.
#pragma once

#include <string>

#include "base/SysUtils.h"
#include "tools/engine/ToolFiles.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPacketWriter.h"

namespace tw {

// The message for an input without a single transport-stream packet.
inline std::string NoPacketsText(const std::string& input) {
    return "No transport stream packets found in " + input;
}

// Reader buffer of the copying tools (bytes) and the writer's ring (packets).
constexpr int kToolReaderBuffer = 1000000;
constexpr int kToolWriterRing = 20000;

// TResult needs Ok, Error, Read and Written; keep(header, result, writer)
// decides per packet and counts what it drops (it may queue a packet of its
// own, and answers false when it did).
template <class TResult, class TKeep>
TResult RunToolCopy(TTSPacketReader& reader, TTSPacketWriter& writer, const std::string& input,
                    const std::string& output, const TToolProgress& progress, TKeep keep) {
    TResult res;
    // Writing a copy over its own source would destroy the source.
    if (SameFilePath(input, output)) {
        res.Error = "The output file must not be the input file";
        return res;
    }
    reader.SetActive(false);
    reader.SetPacketBufferSize(kToolReaderBuffer);
    reader.SetFileName(input);
    reader.SetActive(true);
    if (!reader.Active()) {
        const std::string why = reader.LastErrorText();
        res.Error = "Could not open " + input + (why.empty() ? "" : " (" + why + ")");
        return res;
    }
    // A recording without a single packet has nothing to copy: an empty
    // output would only look like a result.
    if (reader.PacketCount() <= 0 || reader.Eof()) {
        res.Error = NoPacketsText(input);
        reader.SetActive(false);
        return res;
    }
    writer.SetActive(false);
    writer.SetAutoContinuityCounter(false);
    writer.SetPacketBufferSize(kToolWriterRing);
    writer.SetFileName(output);
    writer.SetActive(true);
    if (!writer.Active()) {
        const std::string why = writer.LastErrorText();
        res.Error = "Could not create " + output + (why.empty() ? "" : " (" + why + ")");
        reader.SetActive(false);
        return res;
    }
    const int64_t total = reader.PacketCount();
    bool writeFailed = false;
    bool anyPacket = false;   // a packet with its sync byte: garbage alone is no recording
    while (!reader.Eof()) {
        const int64_t no = reader.PacketIndex();
        if (no % kToolProgressEvery == 0) progress.Show(total, no);
        ++res.Read;
        anyPacket = anyPacket || reader.TSPacketHeader()->Synch();
        if (keep(*reader.TSPacketHeader(), res, writer)) {
            if (!writer.QueuePacket(reader.RawPacket(), no)) {
                writeFailed = true;
                break;
            }
        }
        reader.Next();
        if (reader.PacketIndex() % kToolMessagesEvery == 0) progress.Process();
    }
    if (!writer.Flush()) writeFailed = true;
    res.Written = writer.PacketCount();
    const std::string why = writer.LastErrorText();
    if (!writer.Close()) writeFailed = true;
    // A read that failed ended the loop as the end of the file would; the
    // copy lacks the rest, and the recording is the one to blame.
    const std::string readError = reader.ReadErrorText();
    reader.SetActive(false);
    if (writeFailed) res.Error = "Writing " + output + " failed" + (why.empty() ? "" : ": " + why);
    if (!readError.empty()) res.Error = "Reading " + input + " failed: " + readError;
    res.Ok = !writeFailed && readError.empty();
    if (res.Ok && !anyPacket) {
        // The reader found no packet after all (nothing but garbage): the
        // file made for the copy goes again.
        RemoveFile(output);
        res.Error = NoPacketsText(input);
        res.Ok = false;
    }
    return res;
}

} // namespace tw
