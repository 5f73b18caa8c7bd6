// Settling the one program the cleaned recording carries: select a saved PMT
// (or build an own one from the found streams), check its PCR PID, drop the
// entries of absent streams, build the one-program PAT and decide the kept
// PIDs. Also the two PMT edits the cleaning pass uses.
#include "app/engine/AnalysisEngine.h"

#include "app/engine/MainTexts.h"
#include "base/SysUtils.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPatReader.h"
#include "ts/TSPmtReader.h"

namespace tw {

void TAnalysisEngine::LogPmtEntries() {
    TAnalysisTables& t = *tables_;
    for (int i = 0; i < RebuildPmt->PMTEntryCount(); ++i) {
        const TPmtEntry& e = RebuildPmt->Entry(i);
        Log("");
        Log(IntToStr(i) + ".");
        Log("  stream_type              : " + IntToStr(e.StreamType) + " = " + e.Description);
        Log("  elementary_pid           : $" + IntToHex(e.PID, 4));
        Log("  ES_info_length           : " + IntToStr(e.EsInfoLength));
        t.AddSelectedPid(e.PID);
    }
}

bool TAnalysisEngine::SelectPmt(int pmtPid, int sectionPackets, int64_t packetIndex) {
    Log("Selecting PMT with PID $" + IntToHex(pmtPid, 4) + " at position $" + IntToHex(packetIndex, 8));
    RebuildPmt->SetPID(pmtPid);
    RebuildPmt->SetActive(true);
    TTSPacketReader* r = TSPacketReader1;
    r->SetPacketIndex(packetIndex);
    if (sectionPackets >= 2) {
        int counted = 1;
        int64_t read = 0;
        while (counted < sectionPackets && read <= PMT_SCAN_LIMIT) {
            const int64_t next = r->PacketIndex() + 1;
            r->SetPacketIndex(next);
            if (r->PacketIndex() != next) break;
            ++read;
            if (r->TSPacketHeader()->Valid() && r->TSPacketHeader()->PID() == pmtPid) ++counted;
        }
    }
    // The section is in RebuildPmt now: switch it off before any other pass
    // moves the scanning reader, so that no later section of the PID can
    // replace the one selected here.
    RebuildPmt->SetActive(false);
    if (RebuildPmt->PacketIndex() != packetIndex) {
        Log("PMT not found!");
        return false;
    }
    if (RebuildPmt->CRC32() != RebuildPmt->CRC32_Calculated()) {
        Log("CRC error!");
        return false;
    }
    Log("CRC OK!");
    const int entriesBefore = RebuildPmt->PMTEntryCount();

    if (RebuildPmt->VideoEntryCount() == 0) {
        Log("");
        Log("No video stream in PMT!");
        Log("Starting video stream search!");
        const int vpid = FindVideoStream();
        if (vpid >= 0) {
            Log("Video stream found: PID $" + IntToHex(vpid, 4));
            const int idx = RebuildPmt->IndexOfPid(vpid);
            if (idx >= 0) {
                RebuildPmt->SetEntryStreamType(vpid, 27);
                const TPmtEntry& e = RebuildPmt->Entry(idx);
                Log("Patched PMT entry for $" + IntToHex(vpid, 4) + " to stream type " + IntToStr(e.StreamType) + ": " +
                    e.Description);
                host_->ShowMessage(TMessageKind::Warning, MsgText(mmNoVideoInPmt));
            }
        }
        Log("");
    }

    DeleteMissingPmtEntries();
    const int deleted = entriesBefore - RebuildPmt->PMTEntryCount();
    if (deleted > 0) Log(IntToStr(deleted) + " entries deleted from stream list (not found in stream)!");
    LogPmtEntries();
    Log("");
    return RebuildPmt->PMTEntryCount() > 0;
}

int TAnalysisEngine::FindVideoStream() {
    const int pid = tables_->MostFrequentPid();
    if (pid >= 0 && ScanH264Details(pid, VIDEO_DETAIL_LIMIT)) return pid;
    return -1;
}

void TAnalysisEngine::DeleteMissingPmtEntries() {
    TAnalysisTables& t = *tables_;
    int i = 0;
    while (i < RebuildPmt->PMTEntryCount()) {
        const TPmtEntry& e = RebuildPmt->Entry(i);
        const bool found = t.IsFoundPid(e.PID);
        if (found && (e.IsVideo || e.IsAudio || e.IsOther)) {
            ++i;
            continue;
        }
        Log("Deleting PMT entry: PID $" + IntToHex(e.PID, 4) + " type " + IntToStr(e.StreamType) + " = " +
            e.Description);
        if (found && t.SavedPmtEntryCount < MAX_SAVED_PMT_ENTRIES)
            t.SavedPmtEntries[static_cast<size_t>(t.SavedPmtEntryCount++)] = e;
        RebuildPmt->DeleteEntry(i);
    }
}

void TAnalysisEngine::DeletePmtEntry() {
    TAnalysisTables& t = *tables_;
    int i = 0;
    while (i < RebuildPmt->PMTEntryCount()) {
        const TPmtEntry& e = RebuildPmt->Entry(i);
        if (t.IsSelectedPid(e.PID)) {
            ++i;
            continue;
        }
        Log("Deleting PMT entry: PID $" + IntToHex(e.PID, 4) + " type " + IntToStr(e.StreamType) + " = " +
            e.Description);
        RebuildPmt->DeleteEntry(i);
    }
}

void TAnalysisEngine::PatchPmtEntry() {
    TAnalysisTables& t = *tables_;
    for (int i = 0; i < RebuildPmt->PMTEntryCount(); ++i) {
        const int pid = RebuildPmt->Entry(i).PID;
        const int idx = t.FoundStreamIndex(pid);
        if (idx < 0) continue;
        const int repl = t.FoundStreams[static_cast<size_t>(idx)].ReplacementPid;
        if (repl >= 0 && repl != pid) {
            RebuildPmt->Entry(i).PID = repl;
            Log("Patching PMT entry: PID $" + IntToHex(pid, 4) + " to $" + IntToHex(repl, 4));
        }
    }
    // The clock goes with its stream: a PCR PID left on the old number would
    // name a PID the output no longer carries.
    const int pcrIdx = t.FoundStreamIndex(RebuildPmt->PcrPid());
    if (pcrIdx >= 0) {
        const int repl = t.FoundStreams[static_cast<size_t>(pcrIdx)].ReplacementPid;
        if (repl >= 0 && repl != RebuildPmt->PcrPid()) {
            Log("Patching PCR PID: $" + IntToHex(RebuildPmt->PcrPid(), 4) + " to $" + IntToHex(repl, 4));
            RebuildPmt->SetPcrPid(repl);
        }
    }
}

int TAnalysisEngine::LogOwnPmtPcr() {
    const TAnalysisTables& t = *tables_;
    int pcrPid = -1;
    for (int i = 0; i < t.FoundStreamCount; ++i) {
        const TFoundStream& f = t.FoundStreams[static_cast<size_t>(i)];
        if (!f.HasPcr) continue;
        Log("PCR for selfmade PMT: $" + IntToHex(f.Pid, 4));
        pcrPid = f.Pid;
    }
    return pcrPid;
}

int TAnalysisEngine::OwnPmtStreamCode(const std::string& typeText) {
    const std::string u = UpperCase(typeText);
    if (u == "H264 VIDEO") return 27;
    if (u == "AC3 AUDIO") return 129;
    if (u == "E-AC3 AUDIO") return 6;
    if (u == "MPEG2 VIDEO") return 2;
    if (u == "MPEG1 AUDIO") return 4;
    if (u == "AAC AUDIO") return 17;
    if (u == "TELETEXT") return 70000;
    if (u == "SUBTITLES") return 70001;
    return -1;
}

bool TAnalysisEngine::BuildOwnPmt() {
    const TAnalysisTables& t = *tables_;
    const int pcrPid = LogOwnPmtPcr();
    int videoPid = -1, videoCode = -1;
    int audioPid[4] = {-1, -1, -1, -1}, audioCode[4] = {-1, -1, -1, -1};
    int textPid[4] = {-1, -1, -1, -1}, textCode[4] = {-1, -1, -1, -1};
    for (int i = 0; i < t.FoundStreamCount; ++i) {
        const TFoundStream& f = t.FoundStreams[static_cast<size_t>(i)];
        const int code = OwnPmtStreamCode(f.TypeText);
        if (code < 0) continue;
        if (f.TypeText.find("Video") != std::string::npos) {
            videoPid = f.Pid;
            videoCode = code;
        } else if (f.TypeText.find("Audio") != std::string::npos) {
            for (int k = 0; k < 4; ++k)
                if (audioPid[k] < 0) {
                    audioPid[k] = f.Pid;
                    audioCode[k] = code;
                    break;
                }
        } else if (f.TypeText.find("text") != std::string::npos || f.TypeText.find("titles") != std::string::npos) {
            for (int k = 0; k < 4; ++k)
                if (textPid[k] < 0) {
                    textPid[k] = f.Pid;
                    textCode[k] = code;
                    break;
                }
        }
    }
    bool missing = false;
    if (videoPid < 0) {
        Log("New PMT: No video stream found error!");
        missing = true;
    }
    if (audioPid[0] < 0) {
        Log("New PMT: No audio stream found error!");
        missing = true;
    }
    if (pcrPid < 0) {
        Log("New PMT: No PCR found error!");
        missing = true;
    }
    if (missing) return false;

    TPmtStreams streams;
    streams.PmtPid = ownPmtPid_;
    streams.PcrPid = pcrPid;
    streams.Pairs[0].PID = videoPid;
    streams.Pairs[0].Type = videoCode;
    for (int k = 0; k < 4; ++k) {
        streams.Pairs[1 + k].PID = audioPid[k];
        streams.Pairs[1 + k].Type = audioCode[k];
        streams.Pairs[5 + k].PID = textPid[k];
        streams.Pairs[5 + k].Type = textCode[k];
    }
    RebuildPmt->BuildPmtFromStreams(streams);
    if (RebuildPmt->CRC32() == RebuildPmt->CRC32_Calculated()) {
        Log("New PMT: CRC OK!");
        LogPmtEntries();
        Log("");
        return true;
    }
    Log("New PMT: CRC error!");
    return false;
}

bool TAnalysisEngine::BuildNewPat(int pmtPid, int programNumber) {
    const TAnalysisTables& t = *tables_;
    RebuildPat->Clear();
    int tsid = 6, version = 11;
    bool fromSaved = false;
    for (int i = 0; i < t.SavedPatCount && !fromSaved; ++i) {
        const TSavedPat& p = t.SavedPats[static_cast<size_t>(i)];
        for (int k = 0; k < p.EntryCount; ++k)
            if (p.PmtPids[static_cast<size_t>(k)] == pmtPid) {
                tsid = p.TransportStreamID;
                version = p.VersionNumber;
                fromSaved = true;
                break;
            }
    }
    // The single-program PAT has table_id 0, the syntax indicator, section
    // numbers 0 and current_next set, and its packet starts 47 40 00 10 00 00;
    // only the stream id and version come from the recording's own PAT.
    RebuildPat->BuildSingleProgramPat(programNumber, pmtPid);
    RebuildPat->SetTransportStreamID(tsid);
    RebuildPat->SetVersionNumber(version);
    RebuildPat->UpdateSectionLength();
    tables_->TransportStreamId = tsid;
    return true;
}

bool TAnalysisEngine::CheckPcr() {
    TAnalysisTables& t = *tables_;
    int pcrPid = RebuildPmt->PcrPid();
    if (t.CountPcrPids() == 0) {
        Log("No PIDs with PCR infos found!");
        return false;
    }
    if (!t.PidHasPcr(pcrPid)) {
        Log("");
        Log("PCR entry in PMT invalid (No PCR infos found for PID $" + IntToHex(pcrPid, 4) + ") !!!");
        int newPid = -1;
        for (int i = 0; i < RebuildPmt->PMTEntryCount() && newPid < 0; ++i) {
            const TPmtEntry& e = RebuildPmt->Entry(i);
            if (e.IsVideo && t.PidHasPcr(e.PID)) newPid = e.PID;
        }
        if (newPid < 0) newPid = t.FirstPcrPid();
        RebuildPmt->SetPcrPid(newPid);
        pcrPid = newPid;
        Log("Change PCR entry in PMT to PID $" + IntToHex(newPid, 4) + "!");
        Log("");
    }
    if (t.IsFoundPid(pcrPid)) {
        t.AddSelectedPid(pcrPid);
        return true;
    }
    return false;
}

} // namespace tw
