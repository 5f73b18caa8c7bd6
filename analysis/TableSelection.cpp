#include "analysis/TableSelection.h"

#include <algorithm>

#include "analysis/AnalysisEngine.h"
#include "analysis/DetailScans.h"
#include "analysis/ScanPasses.h"
#include "analysis/StreamCodes.h"

#include "analysis/MainTexts.h"
#include "base/SysUtils.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPatReader.h"
#include "ts/TSPmtReader.h"
#include "ts/TSStreamType.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace tw {

TTableSelection::TTableSelection(TAnalysisEngine& engine) : TComponent(&engine), engine_(engine) {
    SetName("TableSelection");
    pat_ = new TTSPatReader(this);
    pat_->SetName("RebuildPat");
    pmt_ = new TTSPmtReader(this);
    pmt_->SetName("RebuildPmt");
    // The selected section is read from the scanning reader.
    pmt_->SetTSPacketReader(engine.Scan().Reader());
}

namespace {

// The own PMT has four audio and four text places.
bool TakeFreeSlot(int (&pids)[4], int (&codes)[4], int pid, int code) {
    for (int k = 0; k < 4; ++k)
        if (pids[k] < 0) {
            pids[k] = pid;
            codes[k] = code;
            return true;
        }
    return false;
}

} // namespace

void TTableSelection::LogPmtEntries() {
    TAnalysisTables& t = engine_.Tables();
    for (int i = 0; i < pmt_->PMTEntryCount(); ++i) {
        const TPmtEntry& e = pmt_->Entry(i);
        engine_.Log("");
        engine_.Log(IntToStr(i) + ".");
        engine_.Log("  stream_type              : " + IntToStr(e.StreamType) + " = " + e.Description);
        engine_.Log("  elementary_pid           : $" + IntToHex(e.PID, 4));
        engine_.Log("  ES_info_length           : " + IntToStr(e.EsInfoLength));
        t.AddSelectedPid(e.PID);
        // The kept list has a fixed size: a stream it has no room for is
        // not copied, and the user is told.
        if (!t.IsSelectedPid(e.PID)) WarnStreamLeftOut(e.PID, e.StreamType);
    }
}

bool TTableSelection::SelectPmt(int pmtPid, int sectionPackets, int64_t packetIndex, std::optional<uint32_t> crc) {
    engine_.Log("Selecting PMT with PID $" + IntToHex(pmtPid, 4) + " at position $" + IntToHex(packetIndex, 8));
    // Only the table that is kept speaks for the streams it lists.
    engine_.Tables().ForgetListedNotFound();
    pmt_->SetPID(pmtPid);
    pmt_->SetActive(true);
    // The selected section may end in a packet that starts the next one, or
    // share its packet with other sections: the reader stops at it, so that
    // no section after it takes its place.
    pmt_->OnPmtReceived = [this, packetIndex, crc](TObject*) {
        if (pmt_->PacketIndex() == packetIndex && (!crc || pmt_->CRC32() == *crc)) pmt_->SetActive(false);
    };
    struct TUnhook {
        TTSPmtReader* Pmt;
        ~TUnhook() { Pmt->OnPmtReceived = nullptr; }
    } unhook{pmt_};
    TTSPacketReader* r = engine_.Scan().Reader();
    r->SetPacketIndex(packetIndex);
    if (sectionPackets >= 2) {
        int counted = 1;
        int64_t read = 0;
        while (counted < sectionPackets && read <= PMT_SCAN_LIMIT) {
            const int64_t next = r->PacketIndex() + 1;
            r->SetPacketIndex(next);
            if (r->PacketIndex() != next) break;
            ++read;
            // A packet sent twice (same bytes, same counter) is one packet
            // of the section: the scan that counted them never saw the second.
            if (r->TSPacketHeader()->Valid() && r->TSPacketHeader()->PID() == pmtPid && !r->RepeatedPacket())
                ++counted;
        }
    }
    // The section is in RebuildPmt now: switch it off before any other pass
    // moves the scanning reader, so that no later section of the PID can
    // replace the one selected here.
    pmt_->SetActive(false);
    if (pmt_->PacketIndex() != packetIndex) {
        engine_.Log("PMT not found!");
        return false;
    }
    // A section read only in part has no CRC to compare yet (both read 0).
    if (pmt_->SectionContinues() || pmt_->Size() == 0 || pmt_->CRC32() != pmt_->CRC32_Calculated()) {
        engine_.Log("CRC error!");
        return false;
    }
    engine_.Log("CRC OK!");
    // What this table leaves out is told only once the table is kept: a
    // table that keeps no stream gives way to the own PMT, which carries
    // the streams named here.
    std::vector<TLeftOut> leftOut;
    held_ = &leftOut;
    struct THold {
        TTableSelection* Selection;
        ~THold() { Selection->held_ = nullptr; }
    } hold{this};
    TakeUnlistedStreams(pmtPid);
    const int entriesBefore = pmt_->PMTEntryCount();

    if (pmt_->VideoEntryCount() == 0) {
        engine_.Log("");
        engine_.Log("No video stream in PMT!");
        engine_.Log("Starting video stream search!");
        const int vpid = FindVideoStream();
        if (vpid >= 0) {
            engine_.Log("Video stream found: PID $" + IntToHex(vpid, 4));
            const int idx = pmt_->IndexOfPid(vpid);
            if (idx >= 0) {
                pmt_->SetEntryStreamType(vpid, kStreamTypeH264);
                const TPmtEntry& e = pmt_->Entry(idx);
                engine_.Log("Patched PMT entry for $" + IntToHex(vpid, 4) + " to stream type " + IntToStr(e.StreamType) + ": " +
                    e.Description);
                engine_.Questions().ShowMessage(TMessageKind::Warning, MessageTextIn(mmNoVideoInPmt, engine_.German()));
            }
        }
        engine_.Log("");
    }

    TakeSniffedAudio();
    DeleteMissingPmtEntries();
    const int deleted = entriesBefore - pmt_->PMTEntryCount();
    if (deleted > 0) engine_.Log(IntToStr(deleted) + " entries deleted from stream list (not found in stream)!");
    LogPmtEntries();
    const bool kept = pmt_->PMTEntryCount() > 0;
    if (!kept) engine_.Tables().ForgetListedNotFound();
    held_ = nullptr;
    if (kept) {
        for (const TLeftOut& l : leftOut) Report(l);
        WarnChangedStreamTypes(pmtPid);
    }
    engine_.Log("");
    return kept;
}

void TTableSelection::WarnChangedStreamTypes(int pmtPid) {
    TAnalysisTables& t = engine_.Tables();
    const int32_t program = TAnalysisTables::ProgramKey(pmtPid, pmt_->ProgramNumber());
    for (int i = 0; i < pmt_->PMTEntryCount(); ++i) {
        const TPmtEntry& e = pmt_->Entry(i);
        if (e.PID < 0 || e.PID >= 8192 || !t.IsSelectedPid(e.PID)) continue;
        const size_t p = static_cast<size_t>(e.PID);
        if (!t.ListedTypeChanged[p] || t.ListedTypeProgram[p] != program) continue;
        // Players decode the whole stream as the one type the copy's table
        // names: the part sent under another type may not play.
        engine_.Log("TS  WARNING: The PMT changes the type of stream PID $" + IntToHex(e.PID, 4) +
                    " during the recording: the cleaned stream declares stream type " + IntToStr(e.StreamType) +
                    " = " + e.Description + " for all of it!");
        ++t.StreamTypeChanges;
    }
}

void TTableSelection::TakeUnlistedStreams(int pmtPid) {
    TAnalysisTables& t = engine_.Tables();
    const bool damaged = pmt_->CutShort();
    if (damaged) {
        // A table whose CRC holds but whose entries had to be cut short may
        // have lost the entries behind the cut with it.
        const int pid = pmt_->CutShortPid();
        engine_.Log(pid >= 0 ? "TS  WARNING: PMT damaged: entry for PID $" + IntToHex(pid, 4) + " cut short!"
                             : std::string("TS  WARNING: PMT damaged: table cut short!"));
        ++t.DamagedTables;
    }
    const int32_t program = TAnalysisTables::ProgramKey(pmtPid, pmt_->ProgramNumber());
    for (int i = 0; i < t.FoundStreamCount; ++i) {
        const TFoundStream& f = t.FoundStreams[static_cast<size_t>(i)];
        if (!IsSniffedStream(f.TypeText) || pmt_->IndexOfPid(f.Pid) >= 0) continue;
        // A stream another program's table lists is that program's.
        const int32_t listedBy = f.Pid >= 0 && f.Pid < 8192 ? t.ListedBy[static_cast<size_t>(f.Pid)]
                                                            : TAnalysisTables::PID_UNLISTED;
        if (listedBy != TAnalysisTables::PID_UNLISTED && listedBy != program) {
            // The copy carries one program; the sound and picture of the
            // others are lost to it, and the user is told which.
            if (IsPictureOrSound(f.TypeText)) {
                const std::string owner = listedBy == TAnalysisTables::PID_LISTED_BY_SEVERAL
                                              ? std::string("other programs")
                                              : "program " + IntToStr(listedBy & 0xFFFF);
                NoteLeftOut("TS  WARNING: Stream PID $" + IntToHex(f.Pid, 4) + " (" + f.TypeText + ") of " + owner +
                                " is not carried into the cleaned stream!",
                            f.Pid, true);
            }
            continue;
        }
        if (!damaged) {
            // The intact table is the broadcaster's word on the program; a
            // sound or picture it does not carry is still named.
            if (IsPictureOrSound(f.TypeText)) WarnOwnPmtLeftOut(f);
            continue;
        }
        // As the own PMT of the creation mode keeps them.
        const int code = OwnPmtStreamCode(f.TypeText);
        const int index = code >= 0 ? pmt_->AddStreamEntry(f.Pid, code) : -1;
        if (index < 0) {
            WarnOwnPmtLeftOut(f);
            continue;
        }
        // The made entry's descriptors carry a fixed language; the table
        // gives the stream none, so the copy declares none.
        pmt_->RemoveEntryLanguage(f.Pid);
        engine_.Log("Stream PID $" + IntToHex(f.Pid, 4) + " (" + f.TypeText +
                    ") is not listed in the damaged PMT: entry added with stream type " +
                    IntToStr(pmt_->Entry(index).StreamType));
    }
}

int TTableSelection::FindVideoStream() {
    const int pid = engine_.Tables().MostFrequentPid();
    if (pid >= 0 && engine_.Details().ScanH264Details(pid, VIDEO_DETAIL_LIMIT)) return pid;
    return -1;
}

void TTableSelection::DeleteMissingPmtEntries() {
    TAnalysisTables& t = engine_.Tables();
    int i = 0;
    while (i < pmt_->PMTEntryCount()) {
        const TPmtEntry& e = pmt_->Entry(i);
        const bool found = t.IsFoundPid(e.PID);
        if (found && (e.IsVideo || e.IsAudio || e.IsOther)) {
            ++i;
            continue;
        }
        engine_.Log("Deleting PMT entry: PID $" + IntToHex(e.PID, 4) + " type " + IntToStr(e.StreamType) + " = " +
            e.Description);
        if (found) WarnStreamLeftOut(e.PID, e.StreamType);
        else t.NoteListedNotFound(e.PID, e.StreamType);
        // Unseen because damage filled what the PID scan could read: the
        // stream may well be in the recording, which the user must know.
        if (!found && t.PidScanEndedInDamage)
            engine_.Log("TS  WARNING: PID $" + IntToHex(e.PID, 4) +
                        " was not found: the PID scan ended in damaged packets before it met it");
        if (found && t.SavedPmtEntryCount < MAX_SAVED_PMT_ENTRIES)
            t.SavedPmtEntries[static_cast<size_t>(t.SavedPmtEntryCount++)] = e;
        pmt_->DeleteEntry(i);
    }
}

int TTableSelection::SniffedAudioKind(const std::string& typeText) {
    static const struct {
        TEsStreamType Type;
        int Kind;
    } kAudio[] = {{estMPEG1Audio, akMpeg}, {estMPEG2Audio, akMpeg}, {estMP3, akMpeg}, {estAC3, akAC3},
                  {estEAC3, akEAC3},       {estAAC, akAAC},         {estDTS, akDTS},
                  {estAACLatm, akAAC}};
    for (const auto& a : kAudio)
        if (!typeText.empty() && typeText == StreamTypeName(a.Type)) return a.Kind;
    return akNone;
}

void TTableSelection::TakeSniffedAudio() {
    TAnalysisTables& t = engine_.Tables();
    for (int i = 0; i < pmt_->PMTEntryCount(); ++i) {
        TPmtEntry& e = pmt_->Entry(i);
        // A teletext or subtitle descriptor is the broadcaster's word and
        // stands; so does a stream type or descriptor that names the class.
        if (e.IsVideo || e.IsAudio || e.Teletext || e.Subtitle) continue;
        const int idx = t.FoundStreamIndex(e.PID);
        if (idx < 0) continue;
        const std::string& sniffed = t.FoundStreams[static_cast<size_t>(idx)].TypeText;
        const int kind = SniffedAudioKind(sniffed);
        if (kind == akNone) continue;
        // Receivers write MPEG audio as private data without a descriptor:
        // left as an "other" entry it would be taken for text, and the
        // settings that drop teletext would drop the program's sound.
        e.IsAudio = true;
        e.IsOther = false;
        e.AC3 = kind == akAC3;
        e.EAC3 = kind == akEAC3;
        e.AAC = kind == akAAC;
        e.DTS = kind == akDTS;
        engine_.Log("PMT entry for $" + IntToHex(e.PID, 4) + " (stream type " + IntToStr(e.StreamType) +
                    ") carries " + sniffed + ": taken as audio stream");
    }
}

void TTableSelection::WarnStreamLeftOut(int pid, int streamType) {
    const TAnalysisTables& t = engine_.Tables();
    const int idx = t.FoundStreamIndex(pid);
    NoteLeftOut("TS  WARNING: Stream PID $" + IntToHex(pid, 4) + " type " + IntToStr(streamType) +
                    " is not carried into the cleaned stream!",
                pid, idx >= 0 && IsSniffedStream(t.FoundStreams[static_cast<size_t>(idx)].TypeText));
}

void TTableSelection::NoteLeftOut(const std::string& line, int pid, bool identified) {
    if (held_) held_->push_back({line, pid, identified});
    else Report({line, pid, identified});
}

void TTableSelection::Report(const TLeftOut& l) {
    engine_.Log(l.Line);
    engine_.Tables().NoteStreamLeftOut(l.Pid, l.Identified);
}

bool TTableSelection::IsPictureOrSound(const std::string& typeText) {
    return typeText.find("Video") != std::string::npos || typeText.find("Audio") != std::string::npos;
}

bool TTableSelection::IsSniffedStream(const std::string& typeText) {
    return !typeText.empty() && typeText != "PAT" && typeText != "PMT" && typeText != "PCR";
}

void TTableSelection::WarnOwnPmtLeftOut(const TFoundStream& f) {
    NoteLeftOut("TS  WARNING: Stream PID $" + IntToHex(f.Pid, 4) + " (" + f.TypeText +
                    ") is not carried into the cleaned stream!",
                f.Pid, IsSniffedStream(f.TypeText));
}

void TTableSelection::DeletePmtEntry() {
    TAnalysisTables& t = engine_.Tables();
    int i = 0;
    while (i < pmt_->PMTEntryCount()) {
        const TPmtEntry& e = pmt_->Entry(i);
        if (t.IsSelectedPid(e.PID)) {
            ++i;
            continue;
        }
        engine_.Log("Deleting PMT entry: PID $" + IntToHex(e.PID, 4) + " type " + IntToStr(e.StreamType) + " = " +
            e.Description);
        pmt_->DeleteEntry(i);
    }
}

void TTableSelection::PatchPmtEntry() {
    TAnalysisTables& t = engine_.Tables();
    for (int i = 0; i < pmt_->PMTEntryCount(); ++i) {
        const int pid = pmt_->Entry(i).PID;
        const int idx = t.FoundStreamIndex(pid);
        if (idx < 0) continue;
        const int repl = t.FoundStreams[static_cast<size_t>(idx)].ReplacementPid;
        if (repl >= 0 && repl != pid) {
            pmt_->Entry(i).PID = repl;
            engine_.Log("Patching PMT entry: PID $" + IntToHex(pid, 4) + " to $" + IntToHex(repl, 4));
        }
    }
    // The clock goes with its stream: a PCR PID left on the old number would
    // name a PID the output no longer carries.
    const int pcrIdx = t.FoundStreamIndex(pmt_->PcrPid());
    if (pcrIdx >= 0) {
        const int repl = t.FoundStreams[static_cast<size_t>(pcrIdx)].ReplacementPid;
        if (repl >= 0 && repl != pmt_->PcrPid()) {
            engine_.Log("Patching PCR PID: $" + IntToHex(pmt_->PcrPid(), 4) + " to $" + IntToHex(repl, 4));
            pmt_->SetPcrPid(repl);
        }
    }
}

int TTableSelection::LogOwnPmtPcr() {
    const TAnalysisTables& t = engine_.Tables();
    int pcrPid = -1;
    for (int i = 0; i < t.FoundStreamCount; ++i) {
        const TFoundStream& f = t.FoundStreams[static_cast<size_t>(i)];
        if (!f.HasPcr) continue;
        engine_.Log("PCR for selfmade PMT: $" + IntToHex(f.Pid, 4));
        pcrPid = f.Pid;
    }
    return pcrPid;
}

int TTableSelection::OwnPmtStreamCode(const std::string& typeText) {
    const std::string u = UpperCase(typeText);
    if (u == "H264 VIDEO") return kStreamTypeH264;
    if (u == "AC3 AUDIO") return kStreamTypeAc3;
    if (u == "E-AC3 AUDIO") return kStreamTypePrivateData;
    if (u == "MPEG2 VIDEO") return kStreamTypeMpeg2Video;
    if (u == "MPEG1 AUDIO") return kStreamTypeMpeg2Audio;
    if (u == "MPEG2 AUDIO") return kStreamTypeMpeg2Audio;
    if (u == "MP3 AUDIO") return kStreamTypeMpeg2Audio;
    if (u == "DTS AUDIO") return TTSPmtReader::DTS_AUDIO_TYPE;
    if (u == "AAC AUDIO") return kStreamTypeAacAdts;
    if (u == "AAC LATM AUDIO") return kStreamTypeAacLatm;
    if (u == "TELETEXT") return TTSPmtReader::TELETEXT_TYPE;
    if (u == "SUBTITLES") return TTSPmtReader::SUBTITLE_TYPE;
    return -1;
}

bool TTableSelection::BuildOwnPmt(int pmtPid) {
    const TAnalysisTables& t = engine_.Tables();
    const int pcrPid = LogOwnPmtPcr();
    int videoPid = -1, videoCode = -1;
    int audioPid[4] = {-1, -1, -1, -1}, audioCode[4] = {-1, -1, -1, -1};
    int textPid[4] = {-1, -1, -1, -1}, textCode[4] = {-1, -1, -1, -1};
    for (int i = 0; i < t.FoundStreamCount; ++i) {
        const TFoundStream& f = t.FoundStreams[static_cast<size_t>(i)];
        const int code = OwnPmtStreamCode(f.TypeText);
        if (code < 0) {
            // Tables, clocks and unnamed PIDs are no streams; a stream the
            // sniffer named that the table has no code for is one the copy
            // loses, and the user is told.
            if (IsSniffedStream(f.TypeText)) WarnOwnPmtLeftOut(f);
            continue;
        }
        if (f.TypeText.find("Video") != std::string::npos) {
            if (videoPid >= 0) WarnOwnPmtLeftOut(t.FoundStreams[static_cast<size_t>(t.FoundStreamIndex(videoPid))]);
            videoPid = f.Pid;
            videoCode = code;
        } else if (f.TypeText.find("Audio") != std::string::npos) {
            if (!TakeFreeSlot(audioPid, audioCode, f.Pid, code)) WarnOwnPmtLeftOut(f);
        } else if (f.TypeText.find("text") != std::string::npos || f.TypeText.find("titles") != std::string::npos) {
            if (!TakeFreeSlot(textPid, textCode, f.Pid, code)) WarnOwnPmtLeftOut(f);
        } else {
            WarnOwnPmtLeftOut(f);
        }
    }
    bool missing = false;
    if (videoPid < 0) {
        engine_.Log("New PMT: No video stream found error!");
        missing = true;
    }
    if (audioPid[0] < 0) {
        engine_.Log("New PMT: No audio stream found error!");
        missing = true;
    }
    if (pcrPid < 0) {
        engine_.Log("New PMT: No PCR found error!");
        missing = true;
    }
    if (missing) return false;

    TPmtStreams streams;
    streams.PmtPid = pmtPid;
    streams.PcrPid = pcrPid;
    streams.Pairs[0].PID = videoPid;
    streams.Pairs[0].Type = videoCode;
    for (int k = 0; k < 4; ++k) {
        streams.Pairs[1 + k].PID = audioPid[k];
        streams.Pairs[1 + k].Type = audioCode[k];
        streams.Pairs[5 + k].PID = textPid[k];
        streams.Pairs[5 + k].Type = textCode[k];
    }
    pmt_->BuildPmtFromStreams(streams);
    if (pmt_->CRC32() == pmt_->CRC32_Calculated()) {
        engine_.Log("New PMT: CRC OK!");
        // The made table's descriptors carry fixed languages. Where the
        // recording has a program table of its own (met by the stream type
        // scan, though no PAT names it), each stream keeps the language that
        // table gives it.
        TTSPacketReader* r = engine_.Scan().Reader();
        std::unique_ptr<TTSPmtReader> own;
        // Per entry of the made table: whether a table of the recording
        // lists its PID (the first one that does gives its language).
        std::vector<bool> listed(static_cast<size_t>(pmt_->PMTEntryCount()), false);
        bool anyRead = false;
        for (int i = 0; i < t.FoundStreamCount; ++i) {
            const TFoundStream& f = t.FoundStreams[static_cast<size_t>(i)];
            if (f.TypeText != "PMT" || f.Pid == pmtPid) continue;
            if (!own) own = std::make_unique<TTSPmtReader>(nullptr);
            own->SetActive(false);
            own->SetPID(f.Pid);
            own->SetActive(true);
            bool read = false;
            own->OnPmtReceived = [&read](TObject*) { read = true; };
            const int64_t last = r->PacketCount() - 1 < PMT_SCAN_LIMIT ? r->PacketCount() - 1 : PMT_SCAN_LIMIT;
            // The scans have logged the damage on the way already.
            const bool quiet = engine_.Tables().LogSuppressed;
            engine_.Tables().LogSuppressed = true;
            for (int64_t n = 0; n <= last && !read; ++n) {
                r->SetPacketIndex(n);
                if (r->PacketIndex() != n) break;
                const TTSPacketHeader* h = r->TSPacketHeader();
                if (h->Valid() && h->PID() == f.Pid) own->ProcessPacket(r->RawPacket(), n);
            }
            engine_.Tables().LogSuppressed = quiet;
            own->OnPmtReceived = nullptr;
            if (!read) continue;
            anyRead = true;
            for (int k = 0; k < pmt_->PMTEntryCount() && k < static_cast<int>(listed.size()); ++k) {
                const int pid = pmt_->Entry(k).PID;
                const int at = own->IndexOfPid(pid);
                if (at < 0 || listed[static_cast<size_t>(k)]) continue;
                listed[static_cast<size_t>(k)] = true;
                // A language code has three letters; several codes in one
                // descriptor run together, the first is the stream's.
                const std::string lang = own->Entry(at).Language.substr(0, 3);
                if (lang.size() < 3) {
                    // The recording's table gives the stream no language:
                    // the copy's must not make one up.
                    if (pmt_->RemoveEntryLanguage(pid))
                        engine_.Log("New PMT: PID $" + IntToHex(pid, 4) + " has no language in the PMT on PID $" +
                                    IntToHex(f.Pid, 4) + ": none declared");
                    continue;
                }
                if (lang == pmt_->Entry(k).Language) continue;
                if (pmt_->SetEntryLanguage(pid, lang))
                    engine_.Log("New PMT: language of PID $" + IntToHex(pid, 4) + " taken from the PMT on PID $" +
                                IntToHex(f.Pid, 4) + ": " + lang);
            }
        }
        // A stream no table of the recording lists has no language of its own.
        for (int k = 0; anyRead && k < pmt_->PMTEntryCount() && k < static_cast<int>(listed.size()); ++k)
            if (!listed[static_cast<size_t>(k)]) pmt_->RemoveEntryLanguage(pmt_->Entry(k).PID);
        LogPmtEntries();
        engine_.Log("");
        return true;
    }
    engine_.Log("New PMT: CRC error!");
    return false;
}

namespace {

bool IsProgramNumber(int n) { return n >= kFirstProgramNumber && n <= kLastProgramNumber; }

} // namespace

bool TTableSelection::BuildNewPat(int pmtPid, int programNumber) {
    TAnalysisTables& t = engine_.Tables();
    pat_->Clear();
    int tsid = 6, version = 11;
    bool fromSaved = false;
    int listed = -1; // the first number a saved PAT gives the PMT PID that a program may carry
    for (int i = 0; i < t.SavedPatCount; ++i) {
        const TSavedPat& p = t.SavedPats[static_cast<size_t>(i)];
        for (int k = 0; k < p.EntryCount; ++k) {
            if (p.PmtPids[static_cast<size_t>(k)] != pmtPid) continue;
            if (!fromSaved) {
                tsid = p.TransportStreamID;
                version = p.VersionNumber;
                fromSaved = true;
            }
            if (listed < 0 && IsProgramNumber(p.ProgramNumbers[static_cast<size_t>(k)]))
                listed = p.ProgramNumbers[static_cast<size_t>(k)];
        }
    }
    if (!IsProgramNumber(programNumber)) {
        // Program number 0 names the network PID in a PAT: a copy whose only
        // entry said so would carry no program any player finds. The PAT's
        // word for the PMT's PID comes first, else the number our own tables
        // take; the PMT rebuild takes the tables' number, so PAT and PMT of
        // the copy agree.
        const int chosen = listed >= 0 ? listed : kOwnProgramNumber;
        engine_.Log("Program number $" + IntToHex(programNumber, 4) +
                    (listed >= 0 ? " in PMT invalid, using $" + IntToHex(chosen, 4) + " from PAT!"
                                 : " in PMT and PAT invalid, using $" + IntToHex(chosen, 4) + "!"));
        programNumber = chosen;
        t.ProgramNumber = chosen;
    }
    // The single-program PAT has table_id 0, the syntax indicator, section
    // numbers 0 and current_next set, and its packet starts 47 40 00 10 00 00;
    // only the stream id and version come from the recording's own PAT.
    pat_->BuildSingleProgramPat(programNumber, pmtPid);
    pat_->SetTransportStreamID(tsid);
    pat_->SetVersionNumber(version);
    pat_->UpdateSectionLength();
    t.TransportStreamId = tsid;
    return true;
}

bool TTableSelection::CheckPcr() {
    TAnalysisTables& t = engine_.Tables();
    int pcrPid = pmt_->PcrPid();
    if (t.CountPcrPids() == 0) {
        engine_.Log("No PIDs with PCR infos found!");
        return false;
    }
    if (!t.PidHasPcr(pcrPid)) {
        engine_.Log("");
        engine_.Log("PCR entry in PMT invalid (No PCR infos found for PID $" + IntToHex(pcrPid, 4) + ") !!!");
        int newPid = -1;
        for (int i = 0; i < pmt_->PMTEntryCount() && newPid < 0; ++i) {
            const TPmtEntry& e = pmt_->Entry(i);
            if (e.IsVideo && t.PidHasPcr(e.PID)) newPid = e.PID;
        }
        if (newPid < 0) newPid = t.FirstPcrPid();
        pmt_->SetPcrPid(newPid);
        pcrPid = newPid;
        engine_.Log("Change PCR entry in PMT to PID $" + IntToHex(newPid, 4) + "!");
        engine_.Log("");
    }
    // A new table version may move the clock to another PID: the copy's one
    // table names one of them, the PCRs of every one go into the copy.
    keptProgramNumber_ = pmt_->ProgramNumber();
    keptClocks_ = t.ClocksOf(TAnalysisTables::ProgramKey(pmt_->PID(), keptProgramNumber_));
    if (std::find(keptClocks_.begin(), keptClocks_.end(), pcrPid) == keptClocks_.end())
        keptClocks_.push_back(pcrPid);
    for (size_t i = 1; i < keptClocks_.size(); ++i) {
        engine_.Log("TS  WARNING: The clock (PCR) of the program moves from PID $" + IntToHex(keptClocks_[i - 1], 4) +
                    " to PID $" + IntToHex(keptClocks_[i], 4) + " during the recording: the cleaned stream's PMT names PID $" +
                    IntToHex(pcrPid, 4) + " for all of it!");
        ++t.ClockMoves;
    }
    if (t.IsFoundPid(pcrPid)) {
        t.AddSelectedPid(pcrPid);
        return true;
    }
    return false;
}

} // namespace tw
