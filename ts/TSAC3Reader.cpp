#include "ts/TSAC3Reader.h"

#include <array>
#include <cstring>

#include "base/SysUtils.h"
#include "ts/TSPesReader.h"

namespace tw {

namespace {

// ATSC A/52 table 5.18: 16-bit words per sync frame by frmsizecod, for
// 48, 44.1 and 32 kHz.
const uint16_t kFrameWords[38][3] = {
    {64, 69, 96},       {64, 70, 96},       {80, 87, 120},      {80, 88, 120},      {96, 104, 144},
    {96, 105, 144},     {112, 121, 168},    {112, 122, 168},    {128, 139, 192},    {128, 140, 192},
    {160, 174, 240},    {160, 175, 240},    {192, 208, 288},    {192, 209, 288},    {224, 243, 336},
    {224, 244, 336},    {256, 278, 384},    {256, 279, 384},    {320, 348, 480},    {320, 349, 480},
    {384, 417, 576},    {384, 418, 576},    {448, 487, 672},    {448, 488, 672},    {512, 557, 768},
    {512, 558, 768},    {640, 696, 960},    {640, 697, 960},    {768, 835, 1152},   {768, 836, 1152},
    {896, 975, 1344},   {896, 976, 1344},   {1024, 1114, 1536}, {1024, 1115, 1536}, {1152, 1253, 1728},
    {1152, 1254, 1728}, {1280, 1393, 1920}, {1280, 1394, 1920},
};

const int kNominalRates[19] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};

std::string ChannelText(int acmod, bool lfe) {
    const char* front;
    switch (acmod) {
    case 1: front = "1."; break;
    case 0:
    case 2: front = "2."; break;
    case 3:
    case 4: front = "3."; break;
    case 5:
    case 6: front = "4."; break;
    default: front = "5."; break;
    }
    return std::string(front) + (lfe ? "1" : "0");
}

const char* RateText(TSamplingRate r) {
    switch (r) {
    case sr48k: return "48kHz";
    case sr44_1k: return "44.1kHz";
    case sr32k: return "32kHz";
    default: return "";
    }
}

} // namespace

int SamplingRateHz(TSamplingRate rate) {
    switch (rate) {
    case sr48k: return 48000;
    case sr44_1k: return 44100;
    case sr32k: return 32000;
    case sr24k: return 24000;
    case sr22_05k: return 22050;
    case sr16k: return 16000;
    default: return 0;
    }
}

TTSAC3Frame::TTSAC3Frame() : bytes_(new uint8_t[kAC3FrameCapacity]) {}

// What one frame header says, before it is taken over into the frame.
struct TTSAC3Reader::THeader {
    int bsid = 0;
    bool eac3 = false;
    uint16_t crc1 = 0;
    int frameSize = 0;
    int frmsizcod = 0;
    TSamplingRate rate = sr48k;
    bool setAcmod = false;
    int acmod = 0;
    bool lfe = false;
    std::string mode;
    int bitRate = 0;
};

TTSAC3Reader::TTSAC3Reader(TComponent* owner)
    : TComponent(owner), ownFrame_(new TTSAC3Frame), buffer_(new uint8_t[kAC3BufferCapacity]) {
    frame_ = ownFrame_.get();
    lastMode_.reserve(8);
}

TTSAC3Reader::~TTSAC3Reader() { SetActive(false); }

void TTSAC3Reader::Loaded() {
    TComponent::Loaded();
    if (tsPesReader_) tsPesReader_->AddReader(this);
}

int TTSAC3Reader::PID() const { return tsPesReader_ ? tsPesReader_->PID() : 0; }

void TTSAC3Reader::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    frameCount_ = 0;
    synched_ = false;
    count_ = 0;
    bytesBeforeFrameStart_ = 0;
    // The buffers (3 MB) are not cleared: only their first count_ and
    // byteCount_ bytes mean anything, and both counts start again at 0.
    if (frame_) {
        frame_->byteCount_ = 0;
        frame_->crc1_ = frame_->crc2_ = 0;
        frame_->samplingRate_ = sr48k;
        frame_->eac3_ = false;
        frame_->bitStreamID_ = 0;
        frame_->frmsizcod_ = 0;
        frame_->frameSize_ = 0;
        frame_->audioCodingMode_ = 0;
        frame_->bitRate_ = 0;
        frame_->lfePresent_ = false;
        frame_->ac3AudioMode_.clear();
        frame_->pts_ = -1;
    }
    haveLast_ = false;
    lastMode_.clear();
}

namespace {

using TCrc16Tables = std::array<std::array<uint16_t, 256>, 8>;

// CRC-16 with polynomial 0x8005, most significant bit first. Table k advances
// a byte that has k more bytes behind it in a step of up to eight bytes.
constexpr TCrc16Tables MakeCrc16Tables() {
    TCrc16Tables t{};
    for (int i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i << 8);
        for (int k = 0; k < 8; ++k) c = static_cast<uint16_t>((c & 0x8000) ? ((c << 1) ^ 0x8005) : (c << 1));
        t[0][static_cast<size_t>(i)] = c;
    }
    for (size_t k = 1; k < 8; ++k)
        for (size_t i = 0; i < 256; ++i)
            t[k][i] = static_cast<uint16_t>((t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 8]);
    return t;
}

constexpr TCrc16Tables kCrc16 = MakeCrc16Tables();

} // namespace

uint16_t TTSAC3Reader::Crc16(const uint8_t* data, int length, uint16_t crc) const {
    // Every frame is checked whole: eight bytes a step through independent
    // look-ups rather than a chain of one per byte.
    const auto& t = kCrc16;
    int i = 0;
    for (; i + 8 <= length; i += 8) {
        const unsigned x = crc ^ (unsigned(data[i]) << 8 | data[i + 1]);
        crc = static_cast<uint16_t>(t[7][x >> 8] ^ t[6][x & 0xFF] ^ t[5][data[i + 2]] ^ t[4][data[i + 3]] ^
                                    t[3][data[i + 4]] ^ t[2][data[i + 5]] ^ t[1][data[i + 6]] ^ t[0][data[i + 7]]);
    }
    for (; i + 4 <= length; i += 4) {
        const unsigned x = crc ^ (unsigned(data[i]) << 8 | data[i + 1]);
        crc = static_cast<uint16_t>(t[3][x >> 8] ^ t[2][x & 0xFF] ^ t[1][data[i + 2]] ^ t[0][data[i + 3]]);
    }
    for (; i < length; ++i) crc = static_cast<uint16_t>(t[0][(data[i] ^ (crc >> 8)) & 0xFF] ^ (crc << 8));
    return crc;
}

int TTSAC3Reader::ChannelsFromAudioMode(const std::string& mode) {
    if (mode.size() != 3) return 0;
    const char a = mode[0], b = mode[2];
    if (a < '0' || a > '9' || b < '0' || b > '9') return 0;
    return (a - '0') + (b - '0');
}

std::string TTSAC3Reader::PropertiesText(const std::string& mode, TSamplingRate rate) {
    return mode + " " + RateText(rate);
}

void TTSAC3Reader::ProcessPES(const TPesCollection* Buffer, int DataStart, int DataLength, int64_t PTS,
                              int64_t PacketIndex) {
    if (!Buffer || DataStart < 0 || DataLength <= 0) return;
    if (static_cast<int64_t>(DataStart) + DataLength > Buffer->Count) return;
    const uint8_t* pes = Buffer->Bytes;
    const int end = DataStart + DataLength;

    if (!synched_) {
        count_ = 0;
        for (int p = DataStart; p <= end - 2; ++p) {
            if (pes[p] == 0x0B && pes[p + 1] == 0x77) {
                synched_ = true;
                frame_->pts_ = PTS;
                break;
            }
            ++bytesBeforeFrameStart_;
        }
        if (!synched_) return;
    }

    if (static_cast<int64_t>(count_) + DataLength > kAC3BufferCapacity) {
        if (OnAC3BufferOverflow) OnAC3BufferOverflow(this, PID(), frame_->pts_, PacketIndex);
        count_ = 0;
        return;
    }
    std::memcpy(buffer_.get() + count_, pes + DataStart, static_cast<size_t>(DataLength));
    count_ += DataLength;
    ParseFrames(PTS, PacketIndex);
}

void TTSAC3Reader::ParseFrames(int64_t pts, int64_t packetIndex) {
    uint8_t* buf = buffer_.get();
    TTSAC3Frame& fr = *frame_;
    THeader h;
    // Frames are taken off the front by moving a start offset; the rest is
    // moved down once at the end.
    int base = 0;
    for (;;) {
        int sync = -1;
        for (int i = base; i <= count_ - 2; ++i) {
            if (buf[i] == 0x0B && buf[i + 1] == 0x77) {
                sync = i;
                break;
            }
        }
        if (sync < 0) {
            base = count_;
            break;
        }
        base = sync;
        if (count_ - base < 8) break;
        const uint8_t* f = buf + base;

        if (fr.pts_ < 0) {
            fr.pts_ = pts;
            packetIndex_ = packetIndex;
        }

        h.bsid = f[5] >> 3;
        // A 0B 77 inside the data is no frame: step over it rather than
        // waiting on it until the buffer limit throws everything away.
        if (h.bsid > 16) {
            ++base;
            continue;
        }
        h.eac3 = h.bsid > 10;
        h.setAcmod = false;
        if (h.eac3) {
            h.crc1 = 0;
            h.frameSize = ((f[2] & 7) * 256 + f[3] + 1) * 2;
            h.frmsizcod = 0;
            const int fscod = f[4] >> 6;
            int blocks = 6;
            if (fscod != 3) {
                static const int kBlocks[4] = {1, 2, 3, 6};
                blocks = kBlocks[(f[4] >> 4) & 3];
                h.rate = static_cast<TSamplingRate>(fscod); // 0, 1, 2 = 48, 44.1, 32 kHz
            } else {
                static const TSamplingRate kRates2[4] = {sr24k, sr22_05k, sr16k, sr_reserved};
                h.rate = kRates2[(f[4] >> 4) & 3];
            }
            const int acmod = (f[4] >> 1) & 7;
            h.lfe = f[4] & 1;
            h.mode = ChannelText(acmod, h.lfe);
            h.bitRate = static_cast<int>(
                Round(static_cast<double>(SamplingRateHz(h.rate)) * h.frameSize / (blocks * 32000.0)));
        } else {
            h.crc1 = static_cast<uint16_t>(f[2] << 8 | f[3]);
            const int fscod = f[4] >> 6;
            h.rate = fscod == 3 ? sr_reserved : static_cast<TSamplingRate>(fscod);
            h.frmsizcod = f[4] & 63;
            h.frameSize = (h.frmsizcod <= 37 && fscod != 3) ? kFrameWords[h.frmsizcod][fscod] * 2 : 0;
            h.bitRate = (h.frmsizcod / 2) <= 18 ? kNominalRates[h.frmsizcod / 2] : 0;
            h.setAcmod = true;
            h.acmod = f[6] >> 5;
            int optional = 0;
            if ((h.acmod & 1) && h.acmod != 1) ++optional; // cmixlev
            if (h.acmod & 4) ++optional;                   // surmixlev
            if (h.acmod == 2) ++optional;                  // dsurmod
            h.lfe = (f[6] >> (4 - 2 * optional)) & 1;
            h.mode = ChannelText(h.acmod, h.lfe);
        }
        // An unknown frame size cannot be a frame either.
        if (h.frameSize == 0) {
            ++base;
            continue;
        }

        fr.bitStreamID_ = h.bsid;
        fr.eac3_ = h.eac3;
        fr.crc1_ = h.crc1;
        fr.frameSize_ = h.frameSize;
        fr.frmsizcod_ = h.frmsizcod;
        fr.samplingRate_ = h.rate;
        if (h.setAcmod) fr.audioCodingMode_ = h.acmod;
        fr.lfePresent_ = h.lfe;
        fr.ac3AudioMode_ = h.mode;
        fr.bitRate_ = h.bitRate;

        if (h.frameSize > count_ - base) break; // the frame waits for more data

        std::memcpy(fr.bytes_.get(), f, static_cast<size_t>(h.frameSize));
        fr.byteCount_ = h.frameSize;
        fr.crc2_ = static_cast<uint16_t>(f[h.frameSize - 2] << 8 | f[h.frameSize - 1]);
        base += h.frameSize;
        const uint8_t* fb = fr.bytes_.get();

        if (!CrcOk(fb, h.frameSize, h.eac3, fr.crc1_, fr.crc2_) && OnCRCError)
            OnCRCError(this, PID(), packetIndex_, fr.pts_);
        if (frameCount_ == 0 && OnFirstFrameSynch) OnFirstFrameSynch(this, fr.pts_, bytesBeforeFrameStart_);
        if (OnFrameReceived) OnFrameReceived(this, fr.pts_, fr.previousPTS_);
        if (haveLast_ && !lastMode_.empty() &&
            (lastRate_ != fr.samplingRate_ || lastLfe_ != fr.lfePresent_ || lastMode_ != fr.ac3AudioMode_) &&
            OnAC3PropertyChange)
            OnAC3PropertyChange(this, PID(), fr.pts_, PropertiesText(lastMode_, lastRate_),
                                PropertiesText(fr.ac3AudioMode_, fr.samplingRate_));
        haveLast_ = true;
        lastRate_ = fr.samplingRate_;
        lastLfe_ = fr.lfePresent_;
        lastMode_ = fr.ac3AudioMode_;

        fr.previousPTS_ = fr.pts_;
        ++frameCount_;
        fr.pts_ = -1;
    }
    if (base > 0) {
        if (base < count_) std::memmove(buf, buf + base, static_cast<size_t>(count_ - base));
        count_ = base < count_ ? count_ - base : 0;
    }
}

bool TTSAC3Reader::CrcOk(const uint8_t* f, int size, bool eac3, uint16_t crc1, uint16_t crc2) const {
    if (size < 6) return false;
    if (eac3) return Crc16(f + 2, size - 4) == crc2;
    // crc1 protects the first 5/8 of the frame (A/52: frame_size_58 words,
    // (words >> 1) + (words >> 3)); it is right when the CRC over the frame
    // from crc1 to that boundary comes out 0. crc2 covers the rest.
    const int words = size / 2;
    const int n = 2 * ((words >> 1) + (words >> 3));
    if (n < 4 || n > size - 2) return false;
    (void)crc1;
    const bool ok1 = Crc16(f + 2, n - 2) == 0;
    const bool ok2 = Crc16(f + n, size - 2 - n) == crc2;
    return ok1 && ok2;
}

} // namespace tw
