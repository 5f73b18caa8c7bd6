// The H.264 sequence parameter set as the H.264 analyser reads it: the record
// of the last parsed set (H.264 clause 7.3.2.1 with the VUI of Annex E), the
// bounded bit reader that fills it, and the multi-line dump of its fields.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

struct TH264HrdParameters {
    static constexpr int kMaxCpb = 32;
    uint32_t cpb_cnt_minus1 = 0;
    uint8_t bit_rate_scale = 0;
    uint8_t cpb_size_scale = 0;
    uint32_t bit_rate_value_minus1[kMaxCpb] = {};
    uint32_t cpb_size_value_minus1[kMaxCpb] = {};
    bool cbr_flag[kMaxCpb] = {};
    uint8_t initial_cpb_removal_delay_length_minus1 = 0;
    uint8_t cpb_removal_delay_length_minus1 = 0;
    uint8_t dpb_output_delay_length_minus1 = 0;
    uint8_t time_offset_length = 0;
};

struct TH264SequenceParameterSet {
    // The offsets of the pic-order cycle that are kept (more are read and
    // dropped).
    static constexpr uint32_t kRefFrameOffsets = 256;

    uint8_t profile_idc = 0;
    bool constraint_set0_flag = false;
    bool constraint_set1_flag = false;
    bool constraint_set2_flag = false;
    bool constraint_set3_flag = false;
    uint8_t reserved_zero_4bits = 0;
    uint8_t level_idc = 0;
    uint8_t seq_parameter_set_id = 0;
    uint32_t chroma_format_idc = 0;
    bool separate_colour_plane_flag = false;
    uint32_t bit_depth_luma_minus8 = 0;
    uint32_t bit_depth_chroma_minus8 = 0;
    bool qpprime_y_zero_transform_bypass_flag = false;
    bool seq_scaling_matrix_present_flag = false;
    bool seq_scaling_list_present_flag[12] = {};
    uint8_t log2_max_frame_num_minus4 = 0;
    uint8_t pic_order_cnt_type = 0;
    uint8_t log2_max_pic_order_cnt_lsb_minus4 = 0;
    bool delta_pic_order_always_zero_flag = false;
    int32_t offset_for_non_ref_pic = 0;
    int32_t offset_for_top_to_bottom_field = 0;
    uint32_t num_ref_frames_in_pic_order_cnt_cycle = 0;
    int32_t offset_for_ref_frame[kRefFrameOffsets] = {};
    uint8_t num_ref_frames = 0;
    bool gaps_in_frame_num_value_allowed_flag = false;
    uint32_t pic_width_in_mbs_minus1 = 0;
    uint32_t pic_height_in_map_units_minus1 = 0;
    bool frame_mbs_only_flag = false;
    bool mb_adaptive_frame_field_flag = false;
    bool direct_8x8_inference_flag = false;
    bool frame_cropping_flag = false;
    uint32_t frame_crop_left_offset = 0;
    uint32_t frame_crop_right_offset = 0;
    uint32_t frame_crop_top_offset = 0;
    uint32_t frame_crop_bottom_offset = 0;
    bool vui_parameters_present_flag = false;
    bool aspect_ratio_info_present_flag = false;
    uint8_t aspect_ratio_idc = 0;
    uint32_t sar_width = 0;
    uint32_t sar_height = 0;
    bool overscan_info_present_flag = false;
    bool overscan_appropriate_flag = false;
    bool video_signal_type_present_flag = false;
    uint8_t video_format = 0;
    bool video_full_range_flag = false;
    bool colour_description_present_flag = false;
    uint8_t colour_primaries = 0;
    uint8_t transfer_characteristics = 0;
    uint8_t matrix_coefficients = 0;
    bool chroma_loc_info_present_flag = false;
    uint8_t chroma_sample_loc_type_top_field = 0;
    uint8_t chroma_sample_loc_type_bottom_field = 0;
    bool timing_info_present_flag = false;
    uint32_t num_units_in_tick = 0;
    uint32_t time_scale = 0;
    bool fixed_frame_rate_flag = false;
    bool nal_hrd_parameters_present_flag = false;
    TH264HrdParameters nal_hrd;
    bool vcl_hrd_parameters_present_flag = false;
    TH264HrdParameters vcl_hrd;
    bool low_delay_hrd_flag = false;
    bool pic_struct_present_flag = false;

    // Parse results beside the syntax elements.
    bool Parsed = false;    // a set has been parsed since the last clear
    bool Bad = false;       // the parse read past the copy or met a value out of range
    int ScalingListCount = 0; // presence flags read (8, or 12 for 4:4:4)
    // Bit position of video_full_range_flag in the unit copy, counted from
    // the copy's first bit; 0 when the set carries no video signal type.
    int VideoFullRangeFlagBit = 0;

    void Clear() { *this = TH264SequenceParameterSet(); }
};

// Whether a profile carries the chroma format and bit-depth fields.
bool H264ProfileHasChromaInfo(int profile_idc);

// Parses a sequence parameter set from the unit copy: `copy` holds the start
// code of `startCodeLength` bytes (3 or 4), the NAL header byte and the rest
// of the unit without emulation-prevention bytes. Reads never go past
// `length`; a parse that wants more marks the record Bad and reads zeros.
void ParseH264Sps(const uint8_t* copy, int length, int startCodeLength, TH264SequenceParameterSet& sps);

// One line per field present in the record, "label: value" with CR LF.
std::string SpsDumpText(const TH264SequenceParameterSet& sps);

} // namespace tw
