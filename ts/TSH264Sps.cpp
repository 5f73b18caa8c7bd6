#include "ts/TSH264Sps.h"

namespace tw {

namespace {

// MSB-first bit reader over one unit copy. Reading past the end yields zero
// bits and marks the reader overrun, so a truncated or damaged set can never
// make the parse leave the copy.
class TBitReader {
public:
    TBitReader(const uint8_t* data, int length, int startByte)
        : data_(data), bitLength_(static_cast<int64_t>(length) * 8), startBit_(static_cast<int64_t>(startByte) * 8) {}

    int64_t Position() const { return pos_; }
    int64_t AbsoluteBit() const { return startBit_ + pos_; }
    bool Overrun() const { return overrun_; }
    // A value outside the syntax: the set is bad, but reading goes on.
    void MarkBad() { bad_ = true; }
    bool Bad() const { return bad_ || overrun_; }

    uint32_t Bit() {
        const int64_t b = startBit_ + pos_;
        ++pos_;
        if (b >= bitLength_) {
            overrun_ = true;
            return 0;
        }
        return (data_[b >> 3] >> (7 - (b & 7))) & 1u;
    }
    uint32_t Bits(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 1) | Bit();
        return v;
    }
    // Exp-Golomb code. A code of more than 31 leading zeros is outside the
    // syntax; it reads as 0 and marks the set bad.
    uint32_t Ue() {
        int k = 0;
        while (Bit() == 0) {
            if (overrun_) return 0;
            if (++k > 31) {
                bad_ = true;
                return 0;
            }
        }
        const uint64_t v = (uint64_t(1) << k) - 1 + Bits(k);
        return static_cast<uint32_t>(v > 0xFFFFFFFFull ? 0xFFFFFFFFull : v);
    }
    int32_t Se() {
        const uint32_t k = Ue();
        if (k & 1u) return static_cast<int32_t>((static_cast<int64_t>(k) + 1) / 2);
        return static_cast<int32_t>(-static_cast<int64_t>(k / 2));
    }

private:
    const uint8_t* data_;
    int64_t bitLength_;
    int64_t startBit_;
    int64_t pos_ = 0;
    bool overrun_ = false;
    bool bad_ = false;
};

void SkipScalingList(TBitReader& r, int size) {
    int lastScale = 8, nextScale = 8;
    for (int j = 0; j < size && !r.Overrun(); ++j) {
        if (nextScale != 0) {
            const int32_t delta = r.Se();
            nextScale = ((lastScale + delta) % 256 + 256) % 256;
        }
        lastScale = nextScale == 0 ? lastScale : nextScale;
    }
}

void ParseHrd(TBitReader& r, TH264HrdParameters& h) {
    h.cpb_cnt_minus1 = r.Ue();
    h.bit_rate_scale = static_cast<uint8_t>(r.Bits(4));
    h.cpb_size_scale = static_cast<uint8_t>(r.Bits(4));
    // The syntax allows 32 entries at most; a larger count is damage.
    uint32_t n = h.cpb_cnt_minus1;
    if (n > TH264HrdParameters::kMaxCpb - 1) {
        r.MarkBad();
        n = TH264HrdParameters::kMaxCpb - 1;
    }
    for (uint32_t i = 0; i <= n && !r.Overrun(); ++i) {
        h.bit_rate_value_minus1[i] = r.Ue();
        h.cpb_size_value_minus1[i] = r.Ue();
        h.cbr_flag[i] = r.Bit();
    }
    h.initial_cpb_removal_delay_length_minus1 = static_cast<uint8_t>(r.Bits(5));
    h.cpb_removal_delay_length_minus1 = static_cast<uint8_t>(r.Bits(5));
    h.dpb_output_delay_length_minus1 = static_cast<uint8_t>(r.Bits(5));
    h.time_offset_length = static_cast<uint8_t>(r.Bits(5));
}

std::string Label(const std::string& name) {
    std::string s = name;
    if (s.size() < 39) s.append(39 - s.size(), ' ');
    return s + ": ";
}

void Line(std::string& out, const std::string& name, int64_t value) {
    out += Label(name);
    out += std::to_string(value);
    out += "\r\n";
}

void Raw(std::string& out, const std::string& label, int64_t value) {
    out += label;
    out += std::to_string(value);
    out += "\r\n";
}

void DumpHrd(std::string& out, const TH264HrdParameters& h) {
    Line(out, "cpb_cnt_minus1", h.cpb_cnt_minus1);
    Line(out, "bit_rate_scale", h.bit_rate_scale);
    Line(out, "cpb_size_scale", h.cpb_size_scale);
    const uint32_t n = h.cpb_cnt_minus1 < TH264HrdParameters::kMaxCpb ? h.cpb_cnt_minus1 : TH264HrdParameters::kMaxCpb - 1;
    for (uint32_t i = 0; i <= n; ++i) {
        const std::string idx = std::to_string(i);
        Raw(out, "bit_rate_value_minus1_" + idx + "                : ", h.bit_rate_value_minus1[i]);
        Raw(out, "cpb_size_value_minus1_" + idx + "                : ", h.cpb_size_value_minus1[i]);
        Raw(out, "cbr_flag_" + idx + "                             : ", h.cbr_flag[i]);
    }
    Line(out, "initial_cpb_removal_delay_length_minus1", h.initial_cpb_removal_delay_length_minus1);
    Line(out, "cpb_removal_delay_length_minus1", h.cpb_removal_delay_length_minus1);
    Line(out, "dpb_output_delay_length_minus1", h.dpb_output_delay_length_minus1);
    Line(out, "time_offset_length", h.time_offset_length);
}

} // namespace

bool H264ProfileHasChromaInfo(int p) {
    switch (p) {
    case 100: case 110: case 122: case 244: case 44: case 83: case 86: case 118: case 128: case 138: case 139:
    case 134: case 135: case 144:
        return true;
    default:
        return false;
    }
}

void ParseH264Sps(const uint8_t* copy, int length, int startCodeLength, TH264SequenceParameterSet& s) {
    s.Clear();
    s.Parsed = true;
    const int hdr = startCodeLength; // NAL header byte
    auto byteAt = [&](int i) -> uint8_t {
        if (i < length) return copy[i];
        s.Bad = true;
        return 0;
    };
    s.profile_idc = byteAt(hdr + 1);
    const uint8_t c = byteAt(hdr + 2);
    s.constraint_set0_flag = (c >> 7) & 1;
    s.constraint_set1_flag = (c >> 6) & 1;
    s.constraint_set2_flag = (c >> 5) & 1;
    s.constraint_set3_flag = (c >> 4) & 1;
    s.reserved_zero_4bits = c & 15;
    s.level_idc = byteAt(hdr + 3);

    TBitReader r(copy, length, hdr + 4);
    s.seq_parameter_set_id = static_cast<uint8_t>(r.Ue());
    if (H264ProfileHasChromaInfo(s.profile_idc)) {
        s.chroma_format_idc = r.Ue();
        if (s.chroma_format_idc == 3) s.separate_colour_plane_flag = r.Bit();
        s.bit_depth_luma_minus8 = r.Ue();
        s.bit_depth_chroma_minus8 = r.Ue();
        s.qpprime_y_zero_transform_bypass_flag = r.Bit();
        s.seq_scaling_matrix_present_flag = r.Bit();
        if (s.seq_scaling_matrix_present_flag) {
            // The lists themselves are skipped by their syntax, so that the
            // fields behind them are read from the right place.
            s.ScalingListCount = s.chroma_format_idc != 3 ? 8 : 12;
            for (int i = 0; i < s.ScalingListCount; ++i) {
                s.seq_scaling_list_present_flag[i] = r.Bit();
                if (s.seq_scaling_list_present_flag[i]) SkipScalingList(r, i < 6 ? 16 : 64);
            }
        }
    }
    s.log2_max_frame_num_minus4 = static_cast<uint8_t>(r.Ue());
    s.pic_order_cnt_type = static_cast<uint8_t>(r.Ue());
    if (s.pic_order_cnt_type == 0) {
        s.log2_max_pic_order_cnt_lsb_minus4 = static_cast<uint8_t>(r.Ue());
    } else if (s.pic_order_cnt_type == 1) {
        s.delta_pic_order_always_zero_flag = r.Bit();
        s.offset_for_non_ref_pic = r.Se();
        s.offset_for_top_to_bottom_field = r.Se();
        s.num_ref_frames_in_pic_order_cnt_cycle = r.Ue();
        // Offsets beyond the table are read and dropped, so that the fields
        // behind them are read where they are. The copy bounds the loop: a
        // read past its end stops it.
        const uint32_t n = s.num_ref_frames_in_pic_order_cnt_cycle;
        for (uint32_t i = 0; i < n && !r.Overrun(); ++i) {
            const int32_t v = r.Se();
            if (i < TH264SequenceParameterSet::kRefFrameOffsets) s.offset_for_ref_frame[i] = v;
        }
    }
    s.num_ref_frames = static_cast<uint8_t>(r.Ue());
    s.gaps_in_frame_num_value_allowed_flag = r.Bit();
    s.pic_width_in_mbs_minus1 = r.Ue();
    s.pic_height_in_map_units_minus1 = r.Ue();
    s.frame_mbs_only_flag = r.Bit();
    if (!s.frame_mbs_only_flag) s.mb_adaptive_frame_field_flag = r.Bit();
    s.direct_8x8_inference_flag = r.Bit();
    s.frame_cropping_flag = r.Bit();
    if (s.frame_cropping_flag) {
        s.frame_crop_left_offset = r.Ue();
        s.frame_crop_right_offset = r.Ue();
        s.frame_crop_top_offset = r.Ue();
        s.frame_crop_bottom_offset = r.Ue();
    }
    s.vui_parameters_present_flag = r.Bit();
    if (s.vui_parameters_present_flag) {
        s.aspect_ratio_info_present_flag = r.Bit();
        if (s.aspect_ratio_info_present_flag) {
            s.aspect_ratio_idc = static_cast<uint8_t>(r.Bits(8));
            if (s.aspect_ratio_idc == 255) {
                s.sar_width = r.Bits(16);
                s.sar_height = r.Bits(16);
            }
        }
        s.overscan_info_present_flag = r.Bit();
        if (s.overscan_info_present_flag) s.overscan_appropriate_flag = r.Bit();
        s.video_signal_type_present_flag = r.Bit();
        if (s.video_signal_type_present_flag) {
            s.video_format = static_cast<uint8_t>(r.Bits(3));
            const int64_t flagBit = r.AbsoluteBit();
            const bool before = r.Overrun();
            s.video_full_range_flag = r.Bit();
            // Only a flag that really lies inside the copy may be patched.
            if (!before && !r.Overrun() && flagBit < static_cast<int64_t>(length) * 8)
                s.VideoFullRangeFlagBit = static_cast<int>(flagBit);
            s.colour_description_present_flag = r.Bit();
            if (s.colour_description_present_flag) {
                s.colour_primaries = static_cast<uint8_t>(r.Bits(8));
                s.transfer_characteristics = static_cast<uint8_t>(r.Bits(8));
                s.matrix_coefficients = static_cast<uint8_t>(r.Bits(8));
            }
        }
        s.chroma_loc_info_present_flag = r.Bit();
        if (s.chroma_loc_info_present_flag) {
            s.chroma_sample_loc_type_top_field = static_cast<uint8_t>(r.Ue());
            s.chroma_sample_loc_type_bottom_field = static_cast<uint8_t>(r.Ue());
        }
        s.timing_info_present_flag = r.Bit();
        if (s.timing_info_present_flag) {
            s.num_units_in_tick = r.Bits(32);
            s.time_scale = r.Bits(32);
            s.fixed_frame_rate_flag = r.Bit();
        }
        s.nal_hrd_parameters_present_flag = r.Bit();
        if (s.nal_hrd_parameters_present_flag) ParseHrd(r, s.nal_hrd);
        s.vcl_hrd_parameters_present_flag = r.Bit();
        if (s.vcl_hrd_parameters_present_flag) ParseHrd(r, s.vcl_hrd);
        s.low_delay_hrd_flag = false;
        s.pic_struct_present_flag = false;
    }
    if (r.Bad()) s.Bad = true;
}

std::string SpsDumpText(const TH264SequenceParameterSet& s) {
    std::string o;
    if (!s.Parsed) return o;
    Line(o, "profile_idc", s.profile_idc);
    Line(o, "constrained_set0_flag", s.constraint_set0_flag);
    Line(o, "constrained_set1_flag", s.constraint_set1_flag);
    Line(o, "constrained_set2_flag", s.constraint_set2_flag);
    Line(o, "constrained_set3_flag", s.constraint_set3_flag);
    Line(o, "reserved_zero_4bits", s.reserved_zero_4bits);
    Line(o, "level_idc", s.level_idc);
    Line(o, "seq_parameter_set_id", s.seq_parameter_set_id);
    if (H264ProfileHasChromaInfo(s.profile_idc)) {
        Line(o, "chroma_format_idc", s.chroma_format_idc);
        if (s.chroma_format_idc == 3) Line(o, "residual_colour_transform_flag", s.separate_colour_plane_flag);
        Line(o, "bit_depth_luma_minus8", s.bit_depth_luma_minus8);
        Line(o, "bit_depth_chroma_minus8", s.bit_depth_chroma_minus8);
        Line(o, "qpprime_y_zero_transform_bypass_flag", s.qpprime_y_zero_transform_bypass_flag);
        Line(o, "seq_scaling_matrix_present_flag", s.seq_scaling_matrix_present_flag);
        if (s.seq_scaling_matrix_present_flag)
            for (int i = 0; i < s.ScalingListCount; ++i)
                Raw(o, "seq_scaling_list_present_flag_" + std::to_string(i) + "      : ",
                    s.seq_scaling_list_present_flag[i]);
    }
    Line(o, "log2_max_frame_num_minus4", s.log2_max_frame_num_minus4);
    Line(o, "pic_order_cnt_type", s.pic_order_cnt_type);
    if (s.pic_order_cnt_type == 0) {
        Line(o, "log2_max_pic_order_cnt_lsb_minus4", s.log2_max_pic_order_cnt_lsb_minus4);
    } else if (s.pic_order_cnt_type == 1) {
        Line(o, "delta_pic_order_always_zero_flag", s.delta_pic_order_always_zero_flag);
        Line(o, "offset_for_non_ref_pic", s.offset_for_non_ref_pic);
        Line(o, "offset_for_top_to_bottom_field", s.offset_for_top_to_bottom_field);
        Line(o, "num_ref_frames_in_pic_order_cnt_cycle", s.num_ref_frames_in_pic_order_cnt_cycle);
        uint32_t n = s.num_ref_frames_in_pic_order_cnt_cycle;
        if (n > TH264SequenceParameterSet::kRefFrameOffsets) n = TH264SequenceParameterSet::kRefFrameOffsets;
        for (uint32_t i = 0; i < n; ++i)
            Raw(o, "offset_for_ref_frame_" + std::to_string(i) + "                : ", s.offset_for_ref_frame[i]);
    }
    Line(o, "num_ref_frames", s.num_ref_frames);
    Line(o, "gaps_in_frame_num_value_allowed_flag", s.gaps_in_frame_num_value_allowed_flag);
    Line(o, "pic_width_in_mbs_minus1", s.pic_width_in_mbs_minus1);
    Line(o, "pic_height_in_map_units_minus1", s.pic_height_in_map_units_minus1);
    Line(o, "frame_mbs_only_flag", s.frame_mbs_only_flag);
    if (!s.frame_mbs_only_flag) Line(o, "mb_adaptive_frame_field_flag", s.mb_adaptive_frame_field_flag);
    Line(o, "direct_8x8_inference_flag", s.direct_8x8_inference_flag);
    Line(o, "frame_cropping_flag", s.frame_cropping_flag);
    if (s.frame_cropping_flag) {
        Line(o, "frame_crop_left_offset", s.frame_crop_left_offset);
        Line(o, "frame_crop_right_offset", s.frame_crop_right_offset);
        Line(o, "frame_crop_top_offset", s.frame_crop_top_offset);
        Line(o, "frame_crop_bottom_offset", s.frame_crop_bottom_offset);
    }
    Line(o, "vui_parameters_present_flag", s.vui_parameters_present_flag);
    if (!s.vui_parameters_present_flag) return o;
    Line(o, "aspect_ratio_info_present_flag", s.aspect_ratio_info_present_flag);
    if (s.aspect_ratio_info_present_flag) {
        Line(o, "aspect_ratio_idv", s.aspect_ratio_idc);
        if (s.aspect_ratio_idc == 255) {
            Line(o, "sar_width", s.sar_width);
            Line(o, "sar_height", s.sar_height);
        }
    }
    Line(o, "overscan_info_present_flag", s.overscan_info_present_flag);
    if (s.overscan_info_present_flag) Line(o, "overscan_appropriate_flag", s.overscan_appropriate_flag);
    Line(o, "video_signal_type_present_flag", s.video_signal_type_present_flag);
    if (s.video_signal_type_present_flag) {
        Line(o, "video_format", s.video_format);
        Line(o, "video_full_range_flag", s.video_full_range_flag);
        Line(o, "colour_description_present_flag", s.colour_description_present_flag);
        if (s.colour_description_present_flag) {
            Line(o, "colour_primaries", s.colour_primaries);
            Line(o, "transfer_characteristics", s.transfer_characteristics);
            Line(o, "matrix_coefficients", s.matrix_coefficients);
        }
    }
    Line(o, "chroma_loc_info_present_flag", s.chroma_loc_info_present_flag);
    if (s.chroma_loc_info_present_flag) {
        Line(o, "chroma_sample_loc_type_top_field", s.chroma_sample_loc_type_top_field);
        Line(o, "chroma_sample_loc_type_bottom_field", s.chroma_sample_loc_type_bottom_field);
    }
    Line(o, "timing_info_present_flag", s.timing_info_present_flag);
    if (s.timing_info_present_flag) {
        Line(o, "num_units_in_tick", s.num_units_in_tick);
        Line(o, "time_scale", s.time_scale);
        Line(o, "fixed_frame_rate_flag", s.fixed_frame_rate_flag);
    }
    Line(o, "nal_hrd_parameters_present_flag", s.nal_hrd_parameters_present_flag);
    if (s.nal_hrd_parameters_present_flag) DumpHrd(o, s.nal_hrd);
    Line(o, "vcl_hrd_parameters_present_flag", s.vcl_hrd_parameters_present_flag);
    if (s.vcl_hrd_parameters_present_flag) DumpHrd(o, s.vcl_hrd);
    return o;
}

} // namespace tw
