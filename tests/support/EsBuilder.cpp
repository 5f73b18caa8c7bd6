#include "tests/support/EsBuilder.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "ts/TSTimeStamp.h"

namespace tw::test {

Bytes Repeat(uint8_t value, size_t count) { return Bytes(count, value); }

Bytes TimeStampField(int prefix, int64_t v) {
    Bytes b(kPtsFieldSize);
    MakePts(b.data(), prefix, v);
    return b;
}

Bytes MakePes(int streamId, const Bytes& payload, int64_t pts, int64_t dts, int lengthField) {
    Bytes opt;
    int flags = 0;
    if (pts >= 0 && dts >= 0) {
        flags = 0xC0;
        opt = Concat({TimeStampField(kPtsBeforeDtsPrefix, pts), TimeStampField(kDtsPrefix, dts)});
    } else if (pts >= 0) {
        flags = 0x80;
        opt = TimeStampField(kPtsOnlyPrefix, pts);
    }
    Bytes pes = Concat({{0x00, 0x00, 0x01, static_cast<uint8_t>(streamId), 0, 0, 0x84, static_cast<uint8_t>(flags),
                         static_cast<uint8_t>(opt.size())},
                        opt, payload});
    int len = lengthField;
    if (len < 0) {
        const size_t l = pes.size() - 6;
        len = l > 0xFFFF ? 0 : static_cast<int>(l);
    }
    pes[4] = static_cast<uint8_t>(len >> 8);
    pes[5] = static_cast<uint8_t>(len);
    return pes;
}

Bytes MakePlainPes(int streamId, const Bytes& payload) {
    return Concat({{0x00, 0x00, 0x01, static_cast<uint8_t>(streamId), static_cast<uint8_t>(payload.size() >> 8),
                    static_cast<uint8_t>(payload.size())},
                   payload});
}

void TPesFeeder::Packet(TTSPesReader& reader, const uint8_t* data, int length, bool start) {
    TTSPacketBuffer b;
    b.Length = length;
    std::copy(data, data + length, b.Data);
    reader.ProcessPesTsPacket(b, start, static_cast<uint8_t>(188 - length), nextIndex++, cc);
    cc = (cc + 1) & 15;
}

void TPesFeeder::Feed(TTSPesReader& reader, const Bytes& pes, int chunk) {
    size_t pos = 0;
    bool first = true;
    while (pos < pes.size() || first) {
        const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(chunk), pes.size() - pos));
        Packet(reader, pes.data() + pos, n, first);
        pos += static_cast<size_t>(n);
        first = false;
    }
}

void TBitWriter::Bits(uint64_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
        if (bits_ % 8 == 0) data_.push_back(0);
        if ((value >> i) & 1) data_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
        ++bits_;
    }
}

void TBitWriter::Ue(uint32_t v) {
    const uint64_t x = static_cast<uint64_t>(v) + 1;
    int len = 0;
    while ((x >> len) > 1) ++len;
    Bits(0, len);
    Bits(x, len + 1);
}

void TBitWriter::Se(int32_t v) {
    Ue(v > 0 ? static_cast<uint32_t>(2 * static_cast<int64_t>(v) - 1) : static_cast<uint32_t>(-2 * static_cast<int64_t>(v)));
}

void TBitWriter::Trailing() {
    Bit(1);
    while (bits_ % 8) Bit(0);
}

Bytes AddEmulationPrevention(const Bytes& rbsp) {
    Bytes out;
    int zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

namespace {

int WriteSps(const TSpsParams& p, TBitWriter& w) {
    int flagBit = -1;
    w.Bits(static_cast<uint32_t>(p.profile_idc), 8);
    w.Bits(static_cast<uint32_t>(p.constraint_flags), 8);
    w.Bits(static_cast<uint32_t>(p.level_idc), 8);
    w.Ue(static_cast<uint32_t>(p.seq_parameter_set_id));
    if (p.profile_idc == 100 || p.profile_idc == 110 || p.profile_idc == 122 || p.profile_idc == 144 ||
        p.profile_idc == 244) {
        w.Ue(static_cast<uint32_t>(p.chroma_format_idc));
        if (p.chroma_format_idc == 3) w.Bit(0);
        w.Ue(0);
        w.Ue(0);
        w.Bit(0);
        w.Bit(p.scaling_matrix);
        if (p.scaling_matrix) {
            const int lists = p.chroma_format_idc != 3 ? 8 : 12;
            for (int i = 0; i < lists; ++i) {
                const bool present = i == 0 || i == 6;
                w.Bit(present);
                if (present) {
                    // A list whose deltas end it early (nextScale 0).
                    w.Se(5);
                    w.Se(-3);
                    w.Se(-10); // 8+5-3-10 = 0: the rest repeat lastScale
                }
            }
        }
    }
    w.Ue(static_cast<uint32_t>(p.log2_max_frame_num_minus4));
    w.Ue(static_cast<uint32_t>(p.pic_order_cnt_type));
    if (p.pic_order_cnt_type == 0) {
        w.Ue(static_cast<uint32_t>(p.log2_max_pic_order_cnt_lsb_minus4));
    } else if (p.pic_order_cnt_type == 1) {
        w.Bit(0);
        w.Se(-2);
        w.Se(1);
        const uint32_t n = p.num_ref_frames_in_cycle_override != 0xFFFFFFFF
                               ? p.num_ref_frames_in_cycle_override
                               : static_cast<uint32_t>(p.offset_for_ref_frame.size());
        w.Ue(n);
        for (int32_t v : p.offset_for_ref_frame) w.Se(v);
    }
    w.Ue(static_cast<uint32_t>(p.num_ref_frames));
    w.Bit(0);
    w.Ue(p.pic_width_in_mbs_minus1);
    w.Ue(p.pic_height_in_map_units_minus1);
    w.Bit(p.frame_mbs_only_flag);
    if (!p.frame_mbs_only_flag) w.Bit(1);
    w.Bit(1);
    w.Bit(p.frame_cropping);
    if (p.frame_cropping) {
        w.Ue(0);
        w.Ue(0);
        w.Ue(0);
        w.Ue(p.crop_bottom);
    }
    w.Bit(p.vui);
    if (p.vui) {
        w.Bit(p.aspect_ratio_info);
        if (p.aspect_ratio_info) {
            w.Bits(static_cast<uint32_t>(p.aspect_ratio_idc), 8);
            if (p.aspect_ratio_idc == 255) {
                w.Bits(16, 16);
                w.Bits(11, 16);
            }
        }
        w.Bit(0); // overscan_info_present_flag
        w.Bit(p.video_signal_type);
        if (p.video_signal_type) {
            w.Bits(static_cast<uint32_t>(p.video_format), 3);
            flagBit = static_cast<int>(w.BitCount());
            w.Bit(p.video_full_range_flag);
            w.Bit(p.colour_description);
            if (p.colour_description) {
                w.Bits(static_cast<uint32_t>(p.colour_primaries), 8);
                w.Bits(static_cast<uint32_t>(p.transfer_characteristics), 8);
                w.Bits(static_cast<uint32_t>(p.matrix_coefficients), 8);
            }
        }
        w.Bit(0); // chroma_loc_info_present_flag
        w.Bit(p.timing_info);
        if (p.timing_info) {
            w.Bits(p.num_units_in_tick, 32);
            w.Bits(p.time_scale, 32);
            w.Bit(1);
        }
        w.Bit(p.nal_hrd);
        if (p.nal_hrd) {
            w.Ue(p.cpb_cnt_minus1);
            w.Bits(4, 4);
            w.Bits(3, 4);
            const uint32_t n = std::min<uint32_t>(p.cpb_cnt_minus1, 40);
            for (uint32_t i = 0; i <= n; ++i) {
                w.Ue(1000 + i);
                w.Ue(2000 + i);
                w.Bit(i & 1);
            }
            w.Bits(23, 5);
            w.Bits(23, 5);
            w.Bits(23, 5);
            w.Bits(24, 5);
        }
        w.Bit(0); // vcl_hrd_parameters_present_flag
        if (p.nal_hrd) w.Bit(0); // low_delay_hrd_flag
        w.Bit(0); // pic_struct_present_flag
        w.Bit(0); // bitstream_restriction_flag
    }
    w.Trailing();
    return flagBit;
}

} // namespace

Bytes SpsRbsp(const TSpsParams& p) {
    TBitWriter w;
    WriteSps(p, w);
    return w.Data();
}

int SpsFullRangeBit(const TSpsParams& p) {
    TBitWriter w;
    return WriteSps(p, w);
}

Bytes NalUnit(int nalType, const Bytes& rbsp, bool fourByteStartCode, int nalRefIdc) {
    Bytes out = fourByteStartCode ? Bytes{0, 0, 0, 1} : Bytes{0, 0, 1};
    out.push_back(static_cast<uint8_t>((nalRefIdc << 5) | (nalType & 31)));
    const Bytes esc = AddEmulationPrevention(rbsp);
    out.insert(out.end(), esc.begin(), esc.end());
    return out;
}

uint16_t Crc16Ac3(const uint8_t* data, size_t length, uint16_t crc) {
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int k = 0; k < 8; ++k) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1);
    }
    return crc;
}

namespace {

// Polynomial arithmetic over GF(2) modulo x^16 + x^15 + x^2 + 1.
uint32_t PolyMul(uint32_t a, uint32_t b) {
    uint32_t r = 0;
    while (a) {
        if (a & 1) r ^= b;
        a >>= 1;
        b <<= 1;
        if (b & 0x10000) b ^= 0x18005;
    }
    return r;
}

uint32_t PolyPow(uint32_t a, uint64_t n) {
    uint32_t r = 1;
    while (n) {
        if (n & 1) r = PolyMul(r, a);
        a = PolyMul(a, a);
        n >>= 1;
    }
    return r;
}

const uint16_t kWords48[38] = {64,  64,  80,  80,  96,  96,  112, 112, 128, 128, 160, 160, 192, 192, 224, 224, 256, 256, 320,
                               320, 384, 384, 448, 448, 512, 512, 640, 640, 768, 768, 896, 896, 1024, 1024, 1152, 1152, 1280, 1280};
const uint16_t kWords441[38] = {69,  70,  87,  88,  104, 105, 121, 122, 139, 140, 174, 175, 208,  209,  243,  244,  278,  279,  348,
                                349, 417, 418, 487, 488, 557, 558, 696, 697, 835, 836, 975, 976, 1114, 1115, 1253, 1254, 1393, 1394};

} // namespace

Bytes MakeAc3Frame(int fscod, int frmsizecod, int acmod, bool lfe, int bsid, uint8_t fill) {
    int words;
    if (fscod == 0) words = kWords48[frmsizecod];
    else if (fscod == 1) words = kWords441[frmsizecod];
    else words = kWords48[frmsizecod] * 3 / 2;
    const size_t size = static_cast<size_t>(words) * 2;
    Bytes f(size, fill);
    f[0] = 0x0B;
    f[1] = 0x77;
    f[4] = static_cast<uint8_t>((fscod << 6) | frmsizecod);
    TBitWriter w;
    w.Bits(static_cast<uint32_t>(bsid), 5);
    w.Bits(0, 3); // bsmod
    w.Bits(static_cast<uint32_t>(acmod), 3);
    if ((acmod & 1) && acmod != 1) w.Bits(1, 2);
    if (acmod & 4) w.Bits(1, 2);
    if (acmod == 2) w.Bits(0, 2);
    w.Bit(lfe);
    w.Bits(27, 5); // dialnorm
    w.Bits(0, 8);
    for (size_t i = 0; i < w.Data().size(); ++i) f[5 + i] = w.Data()[i];
    const size_t n = 2 * ((static_cast<size_t>(words) >> 1) + (static_cast<size_t>(words) >> 3));
    const uint16_t dataCrc = Crc16Ac3(f.data() + 4, n - 4);
    const uint16_t crc1 = static_cast<uint16_t>(PolyMul(PolyPow(0xC002, 8 * n - 16), dataCrc));
    f[2] = static_cast<uint8_t>(crc1 >> 8);
    f[3] = static_cast<uint8_t>(crc1);
    const uint16_t crc2 = Crc16Ac3(f.data() + n, size - 2 - n);
    f[size - 2] = static_cast<uint8_t>(crc2 >> 8);
    f[size - 1] = static_cast<uint8_t>(crc2);
    return f;
}

Bytes MakeEac3Frame(int frmsiz, int fscod, int numblkscod, int acmod, bool lfe, int bsid, uint8_t fill) {
    const size_t size = static_cast<size_t>(frmsiz + 1) * 2;
    Bytes f(size, fill);
    f[0] = 0x0B;
    f[1] = 0x77;
    f[2] = static_cast<uint8_t>((0 << 6) | (0 << 3) | ((frmsiz >> 8) & 7));
    f[3] = static_cast<uint8_t>(frmsiz & 0xFF);
    f[4] = static_cast<uint8_t>((fscod << 6) | (numblkscod << 4) | (acmod << 1) | (lfe ? 1 : 0));
    f[5] = static_cast<uint8_t>((bsid << 3) | 3);
    const uint16_t crc2 = Crc16Ac3(f.data() + 2, size - 4);
    f[size - 2] = static_cast<uint8_t>(crc2 >> 8);
    f[size - 1] = static_cast<uint8_t>(crc2);
    return f;
}

Bytes Mpeg2SequenceHeader(int width, int height, int aspect, int frameRateCode, int bitRateValue) {
    TBitWriter w;
    w.Bits(0x000001B3, 32);
    w.Bits(static_cast<uint32_t>(width), 12);
    w.Bits(static_cast<uint32_t>(height), 12);
    w.Bits(static_cast<uint32_t>(aspect), 4);
    w.Bits(static_cast<uint32_t>(frameRateCode), 4);
    w.Bits(static_cast<uint32_t>(bitRateValue), 18);
    w.Bit(1);
    w.Bits(112, 10);
    w.Bits(0, 3);
    return w.Data();
}

Bytes Mpeg2SequenceExtension(int profileAndLevel, bool progressive, int chromaFormat) {
    TBitWriter w;
    w.Bits(0x000001B5, 32);
    w.Bits(1, 4);
    w.Bits(static_cast<uint32_t>(profileAndLevel), 8);
    w.Bit(progressive);
    w.Bits(static_cast<uint32_t>(chromaFormat), 2);
    w.Bits(0, 2);
    w.Bits(0, 2);
    w.Bits(0, 12);
    w.Bit(1);
    w.Bits(0, 8);
    w.Bit(0);
    w.Bits(0, 2);
    w.Bits(0, 5);
    return w.Data();
}

Bytes Mpeg2PictureHeader(int temporalReference, int codingType) {
    TBitWriter w;
    w.Bits(0x00000100, 32);
    w.Bits(static_cast<uint32_t>(temporalReference), 10);
    w.Bits(static_cast<uint32_t>(codingType), 3);
    w.Bits(0xFFFF, 16);
    w.Bits(0, 3);
    return w.Data();
}

Bytes Mpeg2Slice(int slice, size_t bodyBytes, uint8_t fill) {
    return Concat({{0, 0, 1, static_cast<uint8_t>(slice)}, Bytes(bodyBytes, fill)});
}

Bytes Mpeg2VideoFrame() {
    return Concat({Mpeg2SequenceHeader(720, 576, 2, 3), Mpeg2SequenceExtension(0x48, false), Mpeg2PictureHeader(),
                   Mpeg2Slice(1, 1200)});
}

Bytes ReadFileBytes(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error("cannot open " + path);
    Bytes out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

} // namespace tw::test
