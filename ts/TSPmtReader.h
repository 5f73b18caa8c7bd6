// TTSPmtReader: assembles one program map table from the packets a packet
// reader pushes, checks its CRC, keeps the program fields, program-info
// descriptors and the elementary-stream entries (with the stream kind,
// language and details their descriptors tell), renders it as text and builds
// PMT packets.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Object.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPacketViews.h"

namespace tw {

class TPmtDescription : public TObject {
public:
    static constexpr int CAPACITY = 1028;
    int DescriptionLength() const { return length_; }
    void SetDescriptionLength(int v) { length_ = v < 0 ? 0 : (v > CAPACITY ? CAPACITY : v); }
    uint8_t* Data() { return data_; }
    const uint8_t* Data() const { return data_; }

private:
    int length_ = 0;
    uint8_t data_[CAPACITY] = {};
};

// One elementary stream of the PMT.
struct TPmtEntry {
    static constexpr int ES_INFO_CAPACITY = 2048;

    int32_t StreamType = 0;
    std::string Description;
    bool IsAudio = false, IsVideo = false, IsOther = false;
    int32_t PID = 0;
    bool HasAudioDescriptor = false, FreeFormat = false;
    int32_t AudioID = 0, Layer = 0;
    bool VariableRate = false;
    bool HasVideoDescriptor = false, MultipleFrameRate = false;
    int32_t FrameRateCode = 0;
    bool MPEG1Only = false, ConstrainedParameter = false;
    bool AC3 = false, EAC3 = false, AAC = false, DTS = false;
    bool Teletext = false, Subtitle = false;
    std::string Language;
    int32_t ComponentTag = 0;
    int32_t DescriptorCount = 0;
    int32_t EsInfoLength = 0;
    uint8_t EsInfo[ES_INFO_CAPACITY] = {};

    // Empties the record but keeps the texts' storage, so that parsing a
    // table again allocates nothing.
    void Clear() {
        std::string d = std::move(Description), l = std::move(Language);
        *this = TPmtEntry();
        d.clear();
        l.clear();
        Description = std::move(d);
        Language = std::move(l);
    }
};

// Input of BuildPmtFromStreams: PMT PID, PCR PID and nine (PID, type) pairs.
// Pairs 1..5 are written with their own type, pairs 6..9 as stream type 6
// (their type only chooses the descriptors). Types TELETEXT_TYPE and
// SUBTITLE_TYPE stand for teletext and DVB subtitles, DTS_AUDIO_TYPE for DTS
// audio (written as type 6).
struct TPmtStreams {
    struct TPair {
        int PID = 0;
        int Type = 0;
    };
    int PmtPid = 0;
    int PcrPid = 0;
    TPair Pairs[9];
};

class TTSPmtReader : public TComponent, public TTSPacketConsumer {
public:
    static constexpr int SECTION_CAPACITY = 2048;
    static constexpr int MAX_ENTRIES = 256;
    static constexpr int MAX_PARSED_ENTRIES = 255;
    static constexpr int MAX_OUTPUT_PACKETS = 8;
    static constexpr int MAX_RECORDED_INDICES = 32;
    static constexpr int TELETEXT_TYPE = 70000;
    static constexpr int SUBTITLE_TYPE = 70001;
    // DTS audio: entered as private data (6) with the DTS registration
    // descriptor, the way such streams are signalled.
    static constexpr int DTS_AUDIO_TYPE = 70002;

    explicit TTSPmtReader(TComponent* owner);
    ~TTSPmtReader() override;

    bool Active() const { return active_; }
    void SetActive(bool v);
    int PID() const { return pid_; }
    void SetPID(int v) {
        pid_ = v;
        FieldsChanged();
    }
    TTSPacketReader* TSPacketReader() const { return packetReader_; }
    void SetTSPacketReader(TTSPacketReader* r) { packetReader_ = r; }

    int64_t PacketIndex() const { return packetIndex_; }
    int TableID() const { return tableId_; }
    int SectionLength() const { return sectionLength_; }
    int VersionNumber() const { return version_; }
    int SectionNumber() const { return sectionNumber_; }
    int LastSectionNumber() const { return lastSectionNumber_; }
    bool SectionSyntaxIndicator() const { return syntax_; }
    bool CurrentNextIndicator() const { return currentNext_; }
    int ProgramNumber() const { return programNumber_; }
    int PcrPid() const { return pcrPid_; }
    int Size() const { return size_; }
    uint32_t CRC32() const { return crc_; }
    uint32_t CRC32_Calculated() const { return crcCalculated_; }
    TPmtDescription* Description() const { return description_; }
    int PMTEntryCount() const { return entryCount_; }
    int PMTPacketCount() const { return packetCount_; }
    // The last section read had to be cut short to be read: an entry or a
    // descriptor claimed more bytes than were left, bytes before the CRC
    // were too few for an entry, or there were more entries than the table
    // holds. Entries may be missing from it although its CRC holds.
    bool CutShort() const { return cutShort_; }
    // The PID of the first entry whose descriptors were cut; -1 when what
    // was cut was no entry's descriptors.
    int CutShortPid() const { return cutShortPid_; }

    // Fields the PMT rebuild sets before BuildPmtPackets.
    void SetTableID(int v) { tableId_ = v; }
    void SetSectionSyntaxIndicator(bool v) { syntax_ = v; }
    void SetProgramNumber(int v) { programNumber_ = v; }
    void SetVersionNumber(int v) { version_ = v; }
    void SetCurrentNextIndicator(bool v) { currentNext_ = v; }
    void SetSectionNumber(int v) { sectionNumber_ = v; }
    void SetLastSectionNumber(int v) { lastSectionNumber_ = v; }
    void SetPcrPid(int v) { pcrPid_ = v; }

    const TPmtEntry& Entry(int i) const { return entries_[i]; }
    TPmtEntry& Entry(int i) { return entries_[i]; }
    int RecordedIndexCount() const { return indexCount_; }
    int64_t RecordedIndex(int i) const { return indices_[i]; }
    const uint8_t* SectionBuffer() const { return section_; }
    int SectionCount() const { return count_; }
    bool SectionContinues() const { return continues_; }

    int OutputPacketCount() const { return outputCount_; }
    const TTSPacketBuffer& OutputPacket(int i) const { return output_[i]; }

    TNotifyEvent OnPmtReceived;
    TNotifyEvent OnPmtChange;
    TNotifyEvent OnPmtErrorReceived;

    void ProcessPacket(const TTSPacketBuffer& raw, int64_t packetIndex) override;
    void Clear();
    int AddEntry(const TPmtEntry& record);
    void AssignEntry(const TPmtEntry& record, int slot);
    void ClearEntry(int slot);
    void DeleteEntry(int index);
    int IndexOfPid(int pid) const;
    int VideoEntryCount() const;
    bool SetEntryStreamType(int pid, int streamType);
    bool SetEntryLanguage(int pid, const std::string& text);
    // Drops the ISO 639 language descriptors of the entry; whether it had one.
    bool RemoveEntryLanguage(int pid);
    static const std::string& StreamTypeDescription(int streamType);
    static bool IsVideoType(int streamType);
    static bool IsAudioType(int streamType);
    static bool IsOtherType(int streamType);
    // Descriptor bytes for a stream of the given type, "UNKNOWN" when none.
    static std::string DefaultEsDescriptors(int type);
    // The stream_type an entry of the given type is written with: teletext,
    // subtitles and DTS audio as private data (6).
    static int OwnEntryStreamType(int type);
    // Appends an entry for a stream of the given type (as BuildPmtFromStreams
    // takes them) with its default descriptors; the index, or -1 when the
    // type has none, the PID is listed or the table is full.
    int AddStreamEntry(int pid, int type);
    bool BuildPmtPackets();
    void BuildPmtFromStreams(const TPmtStreams& streams);
    std::string PmtDumpText() const;
    void Loaded() override;

    TConsumerKind ConsumerKind() const override { return ckPmt; }
    bool ConsumerActive() const override { return active_; }
    int ConsumerPID() const override { return pid_; }

private:
    // prOther: a section of another table (not a PMT), skipped quietly.
    enum TParseResult { prOk, prIncomplete, prFailed, prOther };
    // Reads the sections that start at `from` in the packet, one after
    // another until stuffing, the packet's end or a section that continues.
    void ReadNewSections(const TTSPacketBuffer& raw, int from, int end, int64_t packetIndex);
    // What the collected bytes are: too few yet, another table, or Parse's.
    TParseResult Advance();
    // Reports a section read to its end; the reader collects none after it.
    void Finish(TParseResult r);
    TParseResult Parse();
    void ParseEsEntry(int streamType, int pid, const uint8_t* info, int infoLength);
    void ParseEsDescriptors(TPmtEntry& e);

    bool active_ = false;
    int pid_ = 0;
    TTSPacketReader* packetReader_ = nullptr;
    int64_t packetIndex_ = 0;
    int tableId_ = 0;
    int sectionLength_ = 0;
    int version_ = 0;
    int sectionNumber_ = 0;
    int lastSectionNumber_ = 0;
    bool syntax_ = false;
    bool currentNext_ = false;
    int programNumber_ = 0;
    int pcrPid_ = 0;
    int size_ = 0;
    uint32_t crc_ = 0;
    uint32_t crcCalculated_ = 0;
    TPmtDescription* description_ = nullptr;
    int entryCount_ = 0;
    int packetCount_ = 0;
    bool cutShort_ = false;
    int cutShortPid_ = -1;

    uint8_t section_[SECTION_CAPACITY] = {};
    int count_ = 0;
    bool continues_ = false;
    bool switchedOn_ = false; // Active when the current packet came in
    int64_t indices_[MAX_RECORDED_INDICES] = {};
    int indexCount_ = 0;
    uint32_t changeCrc_ = 0;
    bool haveChangeCrc_ = false;
    TPmtEntry* entries_ = nullptr; // MAX_ENTRIES records
    TTSPacketBuffer output_[MAX_OUTPUT_PACKETS];
    TTSPacketBuffer scratch_; // a packet with its section moved to byte 5
    int outputCount_ = 0;
};

} // namespace tw
