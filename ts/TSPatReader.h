// TTSPatReader: takes the PAT packets a packet reader pushes, checks and
// parses each one-packet section in them (wherever the packet's adaptation
// field and pointer_field put the first, the others back to back after it),
// keeps the programs of all sections of the table in force (a table
// announced for later waits until it is sent as current), reports new and
// changed tables, renders them as text and builds PAT packets (a copy of the
// current table, or a fixed single-program PAT).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Object.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPacketViews.h"

namespace tw {

struct TPatEntry {
    int32_t ProgramNumber = 0;
    int32_t PID = 0;
    int32_t Reserved = 7; // the three bits above the PID
};

class TTSPatReader : public TComponent, public TTSPacketConsumer {
public:
    static constexpr int MAX_ENTRIES = 255;
    // Programs that fit into one built PAT packet.
    static constexpr int MAX_BUILD_ENTRIES = 42;

    explicit TTSPatReader(TComponent* owner);
    ~TTSPatReader() override;

    bool Active() const { return active_; }
    void SetActive(bool v) {
        active_ = v;
        FieldsChanged();
    }
    int PID() const { return pid_; }
    void SetPID(int v) {
        pid_ = v;
        FieldsChanged();
    }
    TTSPacketReader* TSPacketReader() const { return packetReader_; }
    void SetTSPacketReader(TTSPacketReader* r) { packetReader_ = r; }

    int64_t PacketIndex() const { return packetIndex_; }
    int TableID() const { return tableId_; }
    bool SectionSyntaxIndicator() const { return syntax_; }
    int SectionLength() const { return sectionLength_; }
    int TransportStreamID() const { return tsid_; }
    int VersionNumber() const { return version_; }
    bool CurrentNextIndicator() const { return currentNext_; }
    int SectionNumber() const { return sectionNumber_; }
    int LastSectionNumber() const { return lastSectionNumber_; }
    uint32_t CRC32() const { return crc_; }
    uint32_t CRC32_Calculated() const { return crcCalculated_; }
    int PATEntryCount() const { return entryCount_; }
    const TPatEntry& Entry(int i) const { return entries_[i]; }
    // The section_number of the section program i came in.
    int EntrySection(int i) const { return entrySection_[i]; }
    // Reserved bits 0..4 of the section (see PatDumpText).
    bool ReservedBit(int i) const { return reserved_[i]; }

    // Fields callers set before BuildPatPacket (the PAT rebuild).
    void SetTransportStreamID(int v) { tsid_ = v; }
    void SetVersionNumber(int v) { version_ = v; }
    void SetEntry(int i, const TPatEntry& e) { entries_[i] = e; }
    void SetPATEntryCount(int n) { entryCount_ = n < 0 ? 0 : (n > MAX_ENTRIES ? MAX_ENTRIES : n); }

    const TTSPacketBuffer& InputPacket() const { return input_; }
    // The packet written by BuildPatPacket; callers queue it to a writer.
    const TTSPacketBuffer& OutputPacket() const { return output_; }

    TNotifyEvent OnPatReceived;
    TNotifyEvent OnPatChange;
    std::function<void(TObject* sender, const std::string& errorString, int tableID, int64_t packetIndex)> OnInvalidPat;

    void ProcessPacket(const TTSPacketBuffer& raw, int64_t packetIndex) override;
    void Clear();
    void BuildSingleProgramPat(int programNumber, int pmtPid);
    void BuildPatPacket();
    void UpdateSectionLength() { sectionLength_ = entryCount_ * 4 + 9; }
    std::string PatDumpText() const;
    void Loaded() override;

    TConsumerKind ConsumerKind() const override { return ckPat; }
    bool ConsumerActive() const override { return active_; }
    int ConsumerPID() const override { return pid_; }

private:
    void ResetSection();
    // Reads the section at byte 5 of `raw`, reporting it as received or
    // invalid; its section_length when it was a good PAT section (taken, or
    // passed over as announced for later), else 0.
    int ReadSection(const TTSPacketBuffer& raw, int64_t packetIndex);
    int Parse(const TTSPacketBuffer& raw, int64_t packetIndex);

    bool active_ = false;
    int pid_ = 0;
    TTSPacketReader* packetReader_ = nullptr;
    int64_t packetIndex_ = 0;
    int tableId_ = 0;
    bool syntax_ = false;
    int sectionLength_ = 0;
    int tsid_ = 0;
    int version_ = 0;
    bool currentNext_ = false;
    int sectionNumber_ = 0;
    int lastSectionNumber_ = 0;
    uint32_t crc_ = 0;
    uint32_t crcCalculated_ = 0;
    int entryCount_ = 0;
    bool reserved_[5] = {false, false, false, false, false};
    TPatEntry entries_[256];
    // The section_number each program came in: a table of several sections
    // keeps the programs of all of them.
    uint8_t entrySection_[256] = {};
    bool haveTable_ = false;
    std::string signature_;
    std::string newSignature_;
    TTSPacketBuffer input_;
    TTSPacketBuffer output_;
    TTSPacketBuffer scratch_; // a packet with its section moved to byte 5
};

} // namespace tw
