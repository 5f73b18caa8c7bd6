#include "ts/TSStreamType.h"

#include "base/SysUtils.h"
#include "ts/TSPesReader.h"

namespace tw {

std::string StreamTypeName(TEsStreamType value) {
    switch (value) {
    case estMPEG2Video: return "MPEG2 Video";
    case estMPEG1Audio: return "MPEG1 Audio";
    case estMPEG2Audio: return "MPEG2 Audio";
    case estMP3: return "MP3 Audio";
    case estAC3: return "AC3 Audio";
    case estDTS: return "DTS Audio";
    case estH264: return "H264 Video";
    case estVC1: return "VC1 Video";
    case astMPEG4: return "MPEG4 Video";
    case estAAC: return "AAC Audio";
    case estTeletext: return "Teletext";
    case estSubTitles: return "Subtitles";
    case estEAC3: return "E-AC3 Audio";
    case estAACLatm: return "AAC LATM Audio";
    case estUnknown: break;
    }
    return "";
}

namespace {

// The frame header of MPEG audio layer I, II or III: the 11-bit sync, a
// layer, a bit rate other than free or forbidden and a sample rate.
// Encoders write many combinations (layer II at 192 kbit/s and 48 kHz
// without CRC is FF FD A4), so the fields are checked, not a list.
bool IsMpegAudioHeader(const uint8_t* h) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
    const int layer = (h[1] >> 1) & 3, bitrate = h[2] >> 4, sampleRate = (h[2] >> 2) & 3;
    return layer != 0 && bitrate >= 1 && bitrate <= 14 && sampleRate <= 2;
}

// An ADTS header of AAC: sync, layer 00 and a defined sampling-frequency index.
bool IsAdtsHeader(const uint8_t* h) {
    return h[0] == 0xFF && (h[1] & 0xF6) == 0xF0 && ((h[2] >> 2) & 0x0F) <= 12;
}

// A LOAS frame of AAC in LATM at p: the 11-bit sync 0x2B7 and a 13-bit
// length of the frame behind its three header bytes. Two bytes alone match
// too easily inside other audio, so the frame must end where the payload
// does or where the next frame's sync stands.
bool IsLoasFrame(const uint8_t* b, int64_t p, int64_t end) {
    if (p + 3 > end || b[p] != 0x56 || (b[p + 1] & 0xE0) != 0xE0) return false;
    const int64_t next = p + 3 + (((b[p + 1] & 0x1F) << 8) | b[p + 2]);
    if (next == end) return true;
    return next + 2 <= end && b[next] == 0x56 && (b[next + 1] & 0xE0) == 0xE0;
}

} // namespace

TTSStreamTypeReader::TTSStreamTypeReader(TComponent* owner) : TComponent(owner) { Reset(); }

TTSStreamTypeReader::~TTSStreamTypeReader() { SetActive(false); }

void TTSStreamTypeReader::Loaded() {
    TComponent::Loaded();
    if (tsPesReader_) tsPesReader_->AddReader(this);
}

void TTSStreamTypeReader::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    Reset();
}

void TTSStreamTypeReader::SetTSPesReader(TTSPesReader* value) {
    tsPesReader_ = value;
    pid_ = value ? value->PID() : 0;
}

void TTSStreamTypeReader::Reset() {
    esStreamType_ = estUnknown;
    scannedPackets_ = 0;
    for (auto& v : votes_) v = 0;
}

TEsStreamType TTSStreamTypeReader::VotedStreamType() const {
    int best = 0;
    int64_t bestCount = 0;
    for (int i = 0; i < kEsStreamTypeCount; ++i) {
        if (votes_[i] > bestCount) {
            best = i;
            bestCount = votes_[i];
        }
    }
    return static_cast<TEsStreamType>(best);
}

void TTSStreamTypeReader::SniffStreamType(const TPesCollection* Buffer, int DataStart, int DataLength, int64_t,
                                          int64_t) {
    firstEightBytes_.clear();
    if (!Buffer) return;
    const int S = tsPesReader_ ? tsPesReader_->PESHeader()->StreamID() : 0;
    const bool anyId = S == 0;
    const bool audioId = S >= 0xC0 && S <= 0xDF;
    const bool videoGate = anyId || (S >= 0xE0 && S <= 0xEF);
    const bool mpaGate = anyId || S == 0xBC || S == 0xFD || audioId;
    const bool aacGate = anyId || S == 0xBC || S == 0xFA || S == 0xFD || audioId;
    const bool ac3Gate = anyId || S == 0xBC || S == 0xBD || S == 0xFD || audioId;

    // Signatures must lie wholly inside the payload: bytes behind it are
    // left over from earlier packets and would give false matches.
    int64_t start = DataStart < 0 ? 0 : DataStart;
    int64_t end = static_cast<int64_t>(DataStart) + (DataLength < 0 ? 0 : DataLength);
    if (end > Buffer->Count) end = Buffer->Count;
    const uint8_t* b = Buffer->Bytes;
    auto has = [&](int64_t p, int n) { return p + n <= end; };
    auto m3 = [&](int64_t p, uint8_t x, uint8_t y, uint8_t z) {
        return has(p, 3) && b[p] == x && b[p + 1] == y && b[p + 2] == z;
    };

    bool matched = false;
    for (int64_t p = start; p < end && !matched; ++p) {
        TEsStreamType t = estUnknown;
        if (videoGate && m3(p, 0x00, 0x00, 0x01)) t = estMPEG2Video;
        else if (videoGate && has(p, 4) && b[p] == 0 && b[p + 1] == 0 && b[p + 2] == 0 && b[p + 3] == 1) t = estH264;
        else if (mpaGate && has(p, 3) && IsMpegAudioHeader(b + p))
            t = estMPEG1Audio;
        else if (m3(p, 0x10, 0x02, 0x2C) && has(p, 5) && b[p + 4] == 0xE4) t = estTeletext;
        else if (m3(p, 0x20, 0x00, 0x0F)) t = estSubTitles;
        else if (aacGate && IsLoasFrame(b, p, end)) t = estAACLatm;
        else if (aacGate && has(p, 3) && IsAdtsHeader(b + p)) t = estAAC;
        else if (ac3Gate) {
            if (m3(p, 0x7F, 0xFE, 0x80)) t = estDTS;
            else if (has(p, 6) && b[p] == 0x0B && b[p + 1] == 0x77) t = ((b[p + 5] >> 3) <= 10) ? estAC3 : estEAC3;
            else if (m3(p, 0xFF, 0xFC, 0x94)) t = estAC3;
        }
        if (t != estUnknown) {
            esStreamType_ = t;
            matched = true;
        }
    }

    ++scannedPackets_;
    ++votes_[static_cast<int>(esStreamType_)];

    if ((matched && OnIdentified) || (!matched && OnNotIdentified)) {
        // Eight entries always; positions behind the payload show as 00.
        for (int64_t i = start; i < start + 8; ++i) {
            firstEightBytes_ += IntToHex(i < end ? b[i] : 0, 2);
            firstEightBytes_ += ',';
        }
        if (matched) OnIdentified(this, esStreamType_, firstEightBytes_);
        else OnNotIdentified(this, firstEightBytes_);
    }
}

} // namespace tw
