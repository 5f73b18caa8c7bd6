// TTableSelection: settles the one program the cleaned recording carries.
// It selects a saved PMT (or builds an own one from the found streams),
// checks its PCR PID, drops the entries of absent streams, builds the
// one-program PAT and decides the kept PIDs. It owns the PAT and PMT the
// cleaning pass writes, and makes the two PMT edits that pass needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Object.h"

namespace tw {

struct TFoundStream;

class TAnalysisEngine;
class TTSPatReader;
class TTSPmtReader;

class TTableSelection : public TComponent {
public:
    // Owned by the engine; its PMT reads the selected section from the
    // engine's scanning reader.
    explicit TTableSelection(TAnalysisEngine& engine);

    // The PAT and PMT the cleaning writes.
    TTSPatReader& Pat() const { return *pat_; }
    TTSPmtReader& Pmt() const { return *pmt_; }

    // Reads the PMT section that starts at packetIndex (the one with that
    // CRC when crc is given: several sections may start in one packet).
    bool SelectPmt(int pmtPid, int sectionPackets, int64_t packetIndex, std::optional<uint32_t> crc = std::nullopt);
    int FindVideoStream();
    // A PMT of the found streams on the PMT PID of an own PAT.
    bool BuildOwnPmt(int pmtPid);
    // The one-program PAT of the copy. A program number no program may
    // carry (0) is replaced, in the tables' program number too, by the one
    // a saved PAT gives pmtPid, else by that of our own tables; the log
    // says which.
    bool BuildNewPat(int pmtPid, int programNumber);
    bool CheckPcr();
    // The PIDs the kept program's clock rides on during the recording, in
    // the order its tables name them (the copy's table's PCR PID among
    // them), as CheckPcr settled them; and the program's number and PMT PID
    // in the recording.
    const std::vector<int>& KeptClocks() const { return keptClocks_; }
    int KeptProgramNumber() const { return keptProgramNumber_; }
    void DeleteMissingPmtEntries();
    // Found streams the stream type scan named that the selected PMT does
    // not list: a damaged table (cut short) gets an entry for each that no
    // other program's table lists, as the own PMT would carry it; an intact
    // one leaves the video and audio among them out, by name. The video and
    // audio of other programs are left out by name in either case.
    // Warns of each kept stream whose type the recording's tables of the
    // selected program changed on the way.
    void WarnChangedStreamTypes(int pmtPid);
    void TakeUnlistedStreams(int pmtPid);
    // Entries that neither their stream type nor a descriptor class as
    // video, audio, teletext or subtitles (private data without a kind
    // descriptor, user-private types) become audio entries when the stream
    // type scan found audio in their packets.
    void TakeSniffedAudio();
    // The audio kind (TAudioKind) of a stream type scan's name, akNone when
    // the name is no audio.
    static int SniffedAudioKind(const std::string& typeText);
    // Logs an elementary stream of the program that the rebuild leaves out
    // and counts it as a warning.
    void WarnStreamLeftOut(int pid, int streamType);
    // The own PMT's word for a found stream it does not carry (named by the
    // sniffer's type text: it has no stream type of the recording's own).
    void WarnOwnPmtLeftOut(const TFoundStream& f);
    // Whether a found stream's type text is the sniffer's (an elementary
    // stream) rather than a table, a clock or nothing.
    static bool IsSniffedStream(const std::string& typeText);
    // Whether the stream type scan's name is one of video or audio.
    static bool IsPictureOrSound(const std::string& typeText);
    void DeletePmtEntry(); // cleaning: drop entries of PIDs not kept
    void PatchPmtEntry();  // cleaning: apply replacement PIDs
    static int OwnPmtStreamCode(const std::string& typeText);
    // The PMT entry dump of the selection ("0.", "  stream_type ..."); marks
    // the entries' PIDs as kept.
    void LogPmtEntries();

private:
    int LogOwnPmtPcr();
    // A stream the copy leaves out: its log line, logged and counted at
    // once, or held while a selected table may still give way to the own
    // PMT (which then decides anew what it carries).
    struct TLeftOut {
        std::string Line;
        int Pid;
        bool Identified;
    };
    void NoteLeftOut(const std::string& line, int pid, bool identified);
    void Report(const TLeftOut& l);
    std::vector<TLeftOut>* held_ = nullptr;
    std::vector<int> keptClocks_;
    int keptProgramNumber_ = -1;

    TAnalysisEngine& engine_;
    TTSPatReader* pat_ = nullptr;
    TTSPmtReader* pmt_ = nullptr;
};

} // namespace tw
