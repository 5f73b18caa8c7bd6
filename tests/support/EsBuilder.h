// Elementary-stream and PES generators for the analyser tests: PES packets
// with PTS/DTS, their split into transport payloads, H.264 parameter sets
// written bit by bit, AC-3 and E-AC-3 frames with correct CRC words, MPEG-2
// video headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TsBuilder.h"
#include "ts/TSPesReader.h"

namespace tw::test {

Bytes Repeat(uint8_t value, size_t count);

// The five bytes of a PTS or DTS field with its 4-bit prefix and markers.
Bytes TimeStampField(int prefix, int64_t value);

// A PES packet. pts/dts < 0 leave them out. lengthField: -1 computes the
// PES_packet_length (0 when it does not fit 16 bits), otherwise taken as is.
Bytes MakePes(int streamId, const Bytes& payload, int64_t pts = -1, int64_t dts = -1, int lengthField = -1);
// A PES packet without the optional header (padding, private stream 2, ...).
Bytes MakePlainPes(int streamId, const Bytes& payload);

// Feeds bytes to a PES reader as transport payloads of at most `chunk`
// bytes; the first carries payload_unit_start. Packet indexes and
// continuity counters run on from the given ones.
struct TPesFeeder {
    int64_t nextIndex = 0;
    int cc = 0;
    uint8_t payloadOffset = 4;
    void Feed(TTSPesReader& reader, const Bytes& pes, int chunk = 184);
    // One transport payload.
    void Packet(TTSPesReader& reader, const uint8_t* data, int length, bool start);
};

// MSB-first bit writer with exp-Golomb codes.
class TBitWriter {
public:
    void Bit(uint32_t b) { Bits(b & 1u, 1); }
    void Bits(uint64_t value, int n);
    void Ue(uint32_t v);
    void Se(int32_t v);
    // rbsp_trailing_bits: a 1 and zeros to the byte boundary.
    void Trailing();
    size_t BitCount() const { return bits_; }
    const Bytes& Data() const { return data_; }

private:
    Bytes data_;
    size_t bits_ = 0;
};

// Inserts emulation-prevention bytes (00 00 0x -> 00 00 03 0x for x <= 3).
Bytes AddEmulationPrevention(const Bytes& rbsp);

struct TSpsParams {
    int profile_idc = 100;
    int constraint_flags = 0; // the byte after profile_idc
    int level_idc = 40;
    int seq_parameter_set_id = 0;
    int chroma_format_idc = 1;
    bool scaling_matrix = false; // writes list 0 with a few deltas, the rest absent
    int log2_max_frame_num_minus4 = 0;
    int pic_order_cnt_type = 0;
    int log2_max_pic_order_cnt_lsb_minus4 = 2;
    std::vector<int32_t> offset_for_ref_frame; // poc type 1
    uint32_t num_ref_frames_in_cycle_override = 0xFFFFFFFF; // write this count instead of the vector's size
    int num_ref_frames = 4;
    uint32_t pic_width_in_mbs_minus1 = 119;
    uint32_t pic_height_in_map_units_minus1 = 33;
    bool frame_mbs_only_flag = false;
    bool frame_cropping = false;
    uint32_t crop_bottom = 0;
    bool vui = true;
    bool aspect_ratio_info = false;
    int aspect_ratio_idc = 1;
    bool video_signal_type = true;
    int video_format = 5;
    bool video_full_range_flag = false;
    bool colour_description = true;
    int colour_primaries = 1, transfer_characteristics = 1, matrix_coefficients = 1;
    bool timing_info = true;
    uint32_t num_units_in_tick = 1;
    uint32_t time_scale = 50;
    bool nal_hrd = false;
    uint32_t cpb_cnt_minus1 = 0;
};

// The SPS RBSP (from profile_idc on, trailing bits included).
Bytes SpsRbsp(const TSpsParams& p);
// A whole NAL unit: 00 00 00 01, header byte, emulation-prevented RBSP.
Bytes NalUnit(int nalType, const Bytes& rbsp, bool fourByteStartCode = true, int nalRefIdc = 3);
// Bit position of video_full_range_flag in the RBSP written by SpsRbsp
// (counted from the first bit of profile_idc), -1 when none is written.
int SpsFullRangeBit(const TSpsParams& p);

// CRC-16 of AC-3: polynomial 0x8005, start 0, MSB first (bitwise, slow).
uint16_t Crc16Ac3(const uint8_t* data, size_t length, uint16_t crc = 0);

// One AC-3 sync frame with both CRC words right. fscod 0/1/2, frmsizecod
// 0..37, acmod 0..7, bsid 0..10. The audio blocks are filler bytes.
Bytes MakeAc3Frame(int fscod, int frmsizecod, int acmod, bool lfe, int bsid = 8, uint8_t fill = 0x5A);
// One E-AC-3 frame (bsid 16) of (frmsiz + 1) * 2 bytes with its CRC right.
Bytes MakeEac3Frame(int frmsiz, int fscod, int numblkscod, int acmod, bool lfe, int bsid = 16, uint8_t fill = 0x3C);

// MPEG-2 video headers.
Bytes Mpeg2SequenceHeader(int width, int height, int aspect, int frameRateCode, int bitRateValue = 15000);
Bytes Mpeg2SequenceExtension(int profileAndLevel, bool progressive, int chromaFormat = 1);
Bytes Mpeg2PictureHeader(int temporalReference = 0, int codingType = 1);
Bytes Mpeg2Slice(int slice, size_t bodyBytes, uint8_t fill = 0x55);
// A whole PAL frame: sequence header and extension, picture header, one slice.
Bytes Mpeg2VideoFrame();

// Reads a whole file (tests/data relative paths are joined by the caller).
Bytes ReadFileBytes(const std::string& path);

} // namespace tw::test
