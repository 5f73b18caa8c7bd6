#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/EsBuilder.h"
#include "ts/TSH264Reader.h"
#include "ts/TSPesReader.h"

using namespace tw;
using namespace tw::test;

namespace {

struct H264Rig {
    TComponent owner{nullptr};
    TTSH264Reader* h = new TTSH264Reader(&owner);
    std::unique_ptr<TPesCollection> block = std::make_unique<TPesCollection>();
    std::vector<std::string> log;
    std::string sequence;

    H264Rig() {
        h->SetActive(true);
        h->OnSliceReceived = [this](TObject*, int64_t pts, int64_t, TH264NALUnitType t) {
            log.push_back("unit " + std::to_string(t) + " pts " + std::to_string(pts));
        };
        h->OnChangedAUD = [this](TObject*, int64_t) { log.push_back("changed AUD"); };
        h->OnChangedSeqParameter = [this](TObject*, int64_t) { log.push_back("changed SPS"); };
        h->OnChangedPicParameter = [this](TObject*, int64_t) { log.push_back("changed PPS"); };
        h->OnSequenceParameterSet = [this](TObject*, int64_t) { log.push_back("SPS"); };
        h->OnVideoInfoChange = [this](TObject*, int64_t, TTSH264VideoInfo* o, TTSH264VideoInfo* n) {
            log.push_back("info " + std::to_string(o->Resolution_H()) + ">" + std::to_string(n->Resolution_H()));
        };
        h->OnH264Error = [this](TObject*, int64_t, TH264ErrorType e, int64_t p1, int64_t, int64_t) {
            log.push_back("error " + std::to_string(e) + " " + std::to_string(p1));
        };
        h->OnSlicesSequence = [this](TObject*, int64_t, int, const std::string& s) { sequence = s; };
    }
    // One PES packet with a 14-byte header; returns the PES bytes.
    Bytes Pes(const Bytes& es, int64_t pts = 900) {
        const Bytes p = MakePes(0xE0, es, pts, -1, 0);
        std::copy(p.begin(), p.end(), block->Bytes);
        block->Count = static_cast<int32_t>(p.size());
        h->ProcessPES(block.get(), 14, static_cast<int>(es.size()), pts);
        return p;
    }
    int Count(const std::string& s) const {
        int n = 0;
        for (const auto& l : log) n += l == s;
        return n;
    }
};

const Bytes kAud = NalUnit(9, {0xF0}, true, 0);
const Bytes kPps = NalUnit(8, {0xEE, 0x3C, 0x80});
Bytes Idr(size_t n = 40) { return NalUnit(5, Repeat(0x88, n)); }
Bytes Sps(const TSpsParams& p, bool four = true) { return NalUnit(7, SpsRbsp(p), four); }

} // namespace

TEST(H264Reader, WalksTheUnitsOfAPesPacket) {
    H264Rig r;
    TSpsParams p;
    r.Pes(Concat({kAud, Sps(p), kPps, Idr()}), 900);
    EXPECT_EQ(r.sequence, "AUD|SPS|PPS|IDR|");
    const std::vector<std::string> expected = {"changed AUD", "unit 9 pts 900", "SPS",  "unit 7 pts -1",
                                               "changed PPS", "unit 8 pts -1",   "unit 5 pts -1"};
    EXPECT_EQ(r.log, expected);
    EXPECT_EQ(r.h->H264SliceCount(), 4);
    EXPECT_EQ(r.h->H264Slice()->PreviousPTS(), -1);

    // Identical delimiter and parameter sets change nothing.
    r.log.clear();
    r.Pes(Concat({kAud, Sps(p), kPps, NalUnit(1, Repeat(0x99, 10), false)}), 4500);
    const std::vector<std::string> expected2 = {"unit 9 pts 4500", "SPS", "unit 7 pts -1", "unit 8 pts -1",
                                                "unit 1 pts -1"};
    EXPECT_EQ(r.log, expected2);
    EXPECT_EQ(r.sequence, "AUD|SPS|PPS|SLICE|");

    // Another resolution: the set changed and so did the video.
    r.log.clear();
    p.pic_width_in_mbs_minus1 = 79;
    r.Pes(Concat({kAud, Sps(p), Idr()}), 8100);
    EXPECT_EQ(r.Count("changed SPS"), 1);
    EXPECT_EQ(r.Count("info 1920>1280"), 1);
}

TEST(H264Reader, SynchronisesOnAFourByteStartCode) {
    H264Rig r;
    int firstSynch = 0;
    int64_t skipped = -1;
    int notStarting = 0;
    r.h->OnFirstSliceSynch = [&](TObject*, int64_t, int64_t before, TH264NALUnitType t) {
        ++firstSynch;
        skipped = before;
        EXPECT_EQ(t, frt_AUD);
    };
    r.h->OnPESNotStartingWithSynchBytes = [&](TObject*, int64_t) { ++notStarting; };
    r.Pes(Concat({Repeat(0x42, 30), NalUnit(1, Repeat(0x77, 5), false)})); // three-byte code only
    EXPECT_FALSE(r.h->Synched());
    EXPECT_EQ(r.h->BytesBeforeSliceStart(), 30 + 9 - 3);
    EXPECT_EQ(notStarting, 1);
    r.Pes(Concat({Repeat(0x42, 3), kAud, Idr()}));
    EXPECT_TRUE(r.h->Synched());
    EXPECT_EQ(notStarting, 2);
    EXPECT_EQ(firstSynch, 1);
    EXPECT_EQ(skipped, 36 + 3);
    r.Pes(Concat({kAud, Idr()}));
    EXPECT_EQ(firstSynch, 1);
    EXPECT_EQ(notStarting, 2);
}

TEST(H264Reader, RemovesEmulationPreventionBytesAndRemembersThem) {
    H264Rig r;
    std::vector<uint8_t> copy;
    std::vector<int> removed;
    r.h->OnSliceReceived = [&](TObject* s, int64_t, int64_t, TH264NALUnitType t) {
        if (t != frt_SEI) return;
        const TTSH264Slice& sl = *static_cast<TTSH264Reader*>(s)->H264Slice();
        copy.assign(sl.UnitData(), sl.UnitData() + sl.UnitLength());
        for (int i = 0; i < sl.RemovedCount(); ++i) removed.push_back(sl.RemovedPosition(i));
    };
    const Bytes sei = {0, 0, 0, 1, 6, 0x05, 0x00, 0x00, 0x03, 0x01, 0x44};
    r.Pes(Concat({kAud, sei, Idr()}));
    const Bytes want = {0, 0, 0, 1, 6, 0x05, 0x00, 0x00, 0x01, 0x44};
    EXPECT_EQ(copy, want);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0], 14 + static_cast<int>(kAud.size()) + 8);
}

TEST(H264Reader, UnitsNobodyLooksIntoAreNotCopied) {
    // A picture slice with emulation-prevention bytes: its length is known
    // without a copy, the copy is made when asked for during the report,
    // and once the PES packet is done an unasked unit leaves none behind.
    H264Rig r;
    const Bytes slice = {0, 0, 0, 1, 5, 0x88, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x01, 0x77};
    int idrLength = -1;
    std::vector<uint8_t> asked;
    r.h->OnSliceReceived = [&](TObject* s, int64_t, int64_t, TH264NALUnitType t) {
        const TTSH264Slice& sl = *static_cast<TTSH264Reader*>(s)->H264Slice();
        if (t != frt_IDR_picture) return;
        idrLength = sl.UnitLength();
        if (asked.empty()) asked.assign(sl.UnitData(), sl.UnitData() + sl.UnitLength());
    };
    r.Pes(Concat({kAud, slice}));
    EXPECT_EQ(idrLength, static_cast<int>(slice.size()) - 2);
    EXPECT_EQ(asked, (Bytes{0, 0, 0, 1, 5, 0x88, 0x00, 0x00, 0x00, 0x00, 0x01, 0x77}));
    r.Pes(Concat({kAud, slice}));
    EXPECT_EQ(idrLength, static_cast<int>(slice.size()) - 2);
    EXPECT_EQ(r.h->H264Slice()->UnitLength(), 0);
    EXPECT_EQ(r.h->H264Slice()->RemovedCount(), 2);
}

TEST(H264Reader, UnknownUnitTypes) {
    H264Rig r;
    std::vector<TH264NALUnitType> types;
    r.h->OnSliceReceived = [&](TObject*, int64_t, int64_t, TH264NALUnitType t) { types.push_back(t); };
    r.Pes(Concat({NalUnit(0, {0x11}), NalUnit(20, {0x22}), NalUnit(13, {0x33})}));
    EXPECT_EQ(r.sequence, "Unknown[$00]|Unknown[$14]|SPSE|");
    EXPECT_EQ(types, (std::vector<TH264NALUnitType>{frt_Unknown, frt_Unknown, frt_SeqParameterSetExt}));
    EXPECT_EQ(TTSH264Reader::NalTypeName(14), "Unknown");
    EXPECT_EQ(TTSH264Reader::NalTypeName(5), "IDR Picture");
    EXPECT_EQ(TTSH264Reader::NalTypeName(13), "Sequence Parameter Set Extension");
}

TEST(H264Reader, DerivesTheVideoInformation) {
    struct Case {
        TSpsParams p;
        int w, h;
        bool interlaced;
        double fps, level;
        const char* profile;
        const char* colorimetry;
    };
    std::vector<Case> cases;
    {
        Case c{TSpsParams{}, 1920, 1088, true, 25, 4.0, "High",
               "ColourPrimaries=BT.709, TransferCharacteristics=BT.709, MatrixCoefficients=BT.709"};
        cases.push_back(c);
    }
    {
        Case c{TSpsParams{}, 720, 576, false, 25, 3.0, "Main", "Assumed BT.601 but unspecified"};
        c.p.profile_idc = 77;
        c.p.level_idc = 30;
        c.p.pic_width_in_mbs_minus1 = 44;
        c.p.pic_height_in_map_units_minus1 = 35;
        c.p.frame_mbs_only_flag = true;
        c.p.colour_description = false;
        cases.push_back(c);
    }
    {
        Case c{TSpsParams{}, 1280, 720, false, 50, 3.2, "Unknown(88)", "Assumed BT.709 but unspecified"};
        c.p.profile_idc = 88;
        c.p.level_idc = 32;
        c.p.pic_width_in_mbs_minus1 = 79;
        c.p.pic_height_in_map_units_minus1 = 44;
        c.p.frame_mbs_only_flag = true;
        c.p.video_signal_type = false;
        c.p.time_scale = 100;
        cases.push_back(c);
    }
    {
        Case c{TSpsParams{}, 1920, 1088, true, 0, 4.0, "High",
               "ColourPrimaries=BT.470-2, TransferCharacteristics=170M, MatrixCoefficients=240M"};
        c.p.num_units_in_tick = 0; // no tick length: no frame rate, and no division by zero
        c.p.colour_primaries = 5;
        c.p.transfer_characteristics = 6;
        c.p.matrix_coefficients = 7;
        cases.push_back(c);
    }
    {
        // Scaling lists in the way: the fields behind them still come out right.
        Case c{TSpsParams{}, 1920, 1088, true, 25, 4.1, "High",
               "ColourPrimaries=BT.709, TransferCharacteristics=BT.709, MatrixCoefficients=BT.709"};
        c.p.scaling_matrix = true;
        c.p.level_idc = 41;
        cases.push_back(c);
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        H264Rig r;
        r.Pes(Concat({kAud, Sps(c.p), Idr()}), 1234);
        const TTSH264VideoInfo& v = *r.h->H264VideoInfo();
        EXPECT_EQ(v.Resolution_H(), c.w) << i;
        EXPECT_EQ(v.Resolution_V(), c.h) << i;
        EXPECT_EQ(v.Interlaced(), c.interlaced) << i;
        EXPECT_DOUBLE_EQ(v.FramesPerSecond(), c.fps) << i;
        EXPECT_DOUBLE_EQ(v.Level(), c.level) << i;
        EXPECT_EQ(v.Profile(), c.profile) << i;
        EXPECT_EQ(v.Colorimetry(), c.colorimetry) << i;
        EXPECT_EQ(v.PTS(), -1) << i; // the set was not the packet's first unit
        EXPECT_FALSE(r.h->Sps().Bad) << i;
    }
}

TEST(H264Reader, ReadsExpGolombCodes) {
    // seq_parameter_set_id 0..3 are the codes 1, 010, 011, 00100; the
    // offsets of pic_order_cnt_type 1 are signed.
    for (int id = 0; id < 4; ++id) {
        H264Rig r;
        TSpsParams p;
        p.seq_parameter_set_id = id;
        p.pic_order_cnt_type = 1;
        p.offset_for_ref_frame = {1, -1, 7, -300, 0};
        r.Pes(Concat({kAud, Sps(p), Idr()}));
        const TH264SequenceParameterSet& s = r.h->Sps();
        EXPECT_EQ(s.seq_parameter_set_id, id);
        EXPECT_EQ(s.offset_for_non_ref_pic, -2);
        EXPECT_EQ(s.offset_for_top_to_bottom_field, 1);
        ASSERT_EQ(s.num_ref_frames_in_pic_order_cnt_cycle, 5u);
        EXPECT_EQ(s.offset_for_ref_frame[0], 1);
        EXPECT_EQ(s.offset_for_ref_frame[1], -1);
        EXPECT_EQ(s.offset_for_ref_frame[3], -300);
        EXPECT_EQ(r.h->H264VideoInfo()->Resolution_H(), 1920);
    }
}

namespace {

// Where the escaping puts rbsp byte `index`: its index among the escaped
// bytes, and how many emulation-prevention bytes lie after `index` itself and
// before that place (the ones a count of only the bytes before the unit-copy
// place would miss). Worked out from the rule, not from the reader.
struct EscapedPlace {
    size_t index = 0;
    int missed = 0;
};
EscapedPlace EscapedPlaceOf(const Bytes& rbsp, size_t index) {
    EscapedPlace at;
    std::vector<size_t> inserted;
    size_t out = 0;
    int zeros = 0;
    for (size_t i = 0; i < rbsp.size() && i <= index; ++i) {
        if (zeros >= 2 && rbsp[i] <= 3) {
            inserted.push_back(out++);
            zeros = 0;
        }
        if (i == index) at.index = out;
        ++out;
        zeros = rbsp[i] == 0 ? zeros + 1 : 0;
    }
    for (size_t e : inserted) at.missed += e > index && e < at.index;
    return at;
}

} // namespace

TEST(H264Reader, FullRangeFlagPositionSurvivesEmulationPrevention) {
    // Offsets with long zero prefixes force emulation-prevention bytes into
    // the set before video_full_range_flag.
    TSpsParams p;
    p.profile_idc = 66;
    p.constraint_flags = 0;
    p.level_idc = 0;
    p.seq_parameter_set_id = 63;
    p.pic_order_cnt_type = 1;
    p.offset_for_ref_frame = {1 << 17, -(1 << 17), 1 << 17, -(1 << 17)};
    p.video_full_range_flag = true;
    const Bytes rbsp = SpsRbsp(p);
    const Bytes escaped = AddEmulationPrevention(rbsp);
    ASSERT_GE(escaped.size() - rbsp.size(), 2u) << "the set must carry emulation-prevention bytes";
    // A bottom cropping of 2^k - 1 ends in k zero bits right before the VUI,
    // so one more emulation-prevention byte falls just before the flag: past
    // the flag's place in the unit copy, short of its place in the PES bytes.
    // Only a count that moves on with every removed byte it passes gets there.
    TSpsParams nearFlag = p;
    nearFlag.frame_cropping = true;
    nearFlag.crop_bottom = (1u << 23) - 1;
    ASSERT_GE(EscapedPlaceOf(SpsRbsp(nearFlag), static_cast<size_t>(SpsFullRangeBit(nearFlag) / 8)).missed, 1)
        << "an emulation-prevention byte must lie between the flag's place in the unit copy and in the PES bytes";

    for (const TSpsParams& sp : {p, nearFlag}) {
        const int flagRbspBit = SpsFullRangeBit(sp);
        const EscapedPlace flagByte = EscapedPlaceOf(SpsRbsp(sp), static_cast<size_t>(flagRbspBit / 8));
        for (bool fourByte : {true, false}) {
            H264Rig r;
            const Bytes pes = r.Pes(Concat({kAud, Sps(sp, fourByte), Idr()}));
            ASSERT_TRUE(r.h->VideoFullRangeFlag());
            EXPECT_FALSE(r.h->Sps().Bad);
            const int hdr = fourByte ? 4 : 3;
            EXPECT_EQ(r.h->H264Slice()->PatchBitInUnit(0), (hdr + 1) * 8 + flagRbspBit);
            const int pesBit = r.h->VideoFullRangeFlagPesBit();
            ASSERT_GT(pesBit, 0);
            // 14 bytes of PES header, the delimiter, the start code and the
            // unit's header byte lie before the escaped set.
            EXPECT_EQ(pesBit, static_cast<int>((14 + kAud.size() + hdr + 1 + flagByte.index) * 8) + flagRbspBit % 8)
                << fourByte;
            // Clearing that bit in the PES bytes must clear the flag and nothing else.
            Bytes patched = pes;
            patched[static_cast<size_t>(pesBit / 8)] &= static_cast<uint8_t>(~(0x80 >> (pesBit % 8)));
            H264Rig check;
            std::copy(patched.begin(), patched.end(), check.block->Bytes);
            check.block->Count = static_cast<int32_t>(patched.size());
            check.h->ProcessPES(check.block.get(), 14, static_cast<int>(patched.size()) - 14, 1);
            EXPECT_FALSE(check.h->VideoFullRangeFlag()) << fourByte;
            TSpsParams q = sp;
            q.video_full_range_flag = false;
            EXPECT_EQ(check.h->SpsDumpText(), [&] {
                H264Rig ref;
                ref.Pes(Concat({kAud, Sps(q, fourByte), Idr()}));
                return ref.h->SpsDumpText();
            }()) << fourByte;
        }
    }
    // No video signal type: no position.
    H264Rig none;
    TSpsParams n;
    n.video_signal_type = false;
    none.Pes(Concat({kAud, Sps(n), Idr()}));
    EXPECT_EQ(none.h->VideoFullRangeFlagPesBit(), 0);
    EXPECT_EQ(none.h->H264Slice()->PatchBitInUnit(0), 0);
}

TEST(H264Reader, DamagedParameterSetsStayInsideTheirBuffers) {
    // A set cut short: zeros are read, the set is marked bad, no flag position.
    {
        H264Rig r;
        Bytes sps = Sps(TSpsParams{});
        sps.resize(12);
        r.Pes(Concat({kAud, sps, Idr()}));
        EXPECT_TRUE(r.h->Sps().Bad);
        EXPECT_EQ(r.h->VideoFullRangeFlagPesBit(), 0);
        EXPECT_EQ(r.Count("SPS"), 1);
    }
    // A CPB count far beyond the 32 table entries.
    {
        H264Rig r;
        TSpsParams p;
        p.nal_hrd = true;
        p.cpb_cnt_minus1 = 40;
        r.Pes(Concat({kAud, Sps(p), Idr()}));
        EXPECT_TRUE(r.h->Sps().Bad);
        EXPECT_EQ(r.h->Sps().nal_hrd.bit_rate_value_minus1[31], 1031u);
    }
    // A cycle longer than the copy: the offsets are read until it ends, and
    // a set read past its end is bad.
    {
        H264Rig r;
        TSpsParams p;
        p.pic_order_cnt_type = 1;
        p.offset_for_ref_frame = std::vector<int32_t>(20, 3);
        p.num_ref_frames_in_cycle_override = 100000000;
        r.Pes(Concat({kAud, Sps(p), Idr()}));
        EXPECT_TRUE(r.h->Sps().Bad);
        EXPECT_EQ(r.h->Sps().offset_for_ref_frame[19], 3);
    }
    // Parameter sets above 256 bytes are reported, not stored; a long
    // delimiter is harmless.
    {
        H264Rig r;
        r.Pes(Concat({NalUnit(9, Repeat(0xF0, 400)), NalUnit(7, Concat({SpsRbsp(TSpsParams{}), Repeat(0x80, 300)})),
                      NalUnit(8, Repeat(0x81, 300)), Idr()}));
        EXPECT_EQ(r.Count("error 2 " + std::to_string(5 + SpsRbsp(TSpsParams{}).size() + 300)), 1);
        EXPECT_EQ(r.Count("error 3 305"), 1);
        EXPECT_EQ(r.Count("SPS"), 0);
        EXPECT_EQ(r.Count("changed AUD"), 0);
    }
}

// A cycle of more than 256 reference-frame offsets: the offsets beyond the
// table are read and dropped, so every field behind them is read right and
// the set is sound; its full-range bit can be patched where it really is.
TEST(H264Reader, LongPicOrderCycleIsReadToItsEnd) {
    for (int entries : {255, 256, 300, 480}) {
        TSpsParams p;
        p.pic_order_cnt_type = 1;
        for (int i = 0; i < entries; ++i) p.offset_for_ref_frame.push_back(i % 5 - 2);
        p.num_ref_frames = 3;
        p.pic_width_in_mbs_minus1 = 79;
        p.video_full_range_flag = true;
        const Bytes rbsp = SpsRbsp(p);
        ASSERT_LE(rbsp.size() + 5, 256u) << entries; // larger sets are not kept (see above)
        H264Rig r;
        r.Pes(Concat({kAud, Sps(p, true), Idr()}));
        const TH264SequenceParameterSet& s = r.h->Sps();
        EXPECT_FALSE(s.Bad) << entries;
        EXPECT_EQ(s.num_ref_frames_in_pic_order_cnt_cycle, static_cast<uint32_t>(entries));
        const int last = std::min(entries, 256) - 1;
        EXPECT_EQ(s.offset_for_ref_frame[last], last % 5 - 2) << entries;
        EXPECT_EQ(s.num_ref_frames, 3) << entries;
        EXPECT_EQ(s.pic_width_in_mbs_minus1, 79u) << entries;
        EXPECT_TRUE(r.h->VideoFullRangeFlag()) << entries;
        EXPECT_EQ(r.h->H264Slice()->PatchBitInUnit(0), 5 * 8 + SpsFullRangeBit(p)) << entries;
        // The dump lists the offsets the table holds.
        const std::string dump = r.h->SpsDumpText();
        EXPECT_NE(dump.find("offset_for_ref_frame_" + std::to_string(last) + " "), std::string::npos) << entries;
        EXPECT_EQ(dump.find("offset_for_ref_frame_" + std::to_string(last + 1) + " "), std::string::npos) << entries;
    }
}

// A set marked bad gives no position for the full-range patch, even when the
// flag itself was read before the damage: a bit found in a set that is
// misread may be any bit of the copy.
TEST(H264Reader, ABadSetGivesNoPatchPosition) {
    H264Rig r;
    TSpsParams p;
    p.video_full_range_flag = true;
    p.nal_hrd = true;
    p.cpb_cnt_minus1 = 40;
    r.Pes(Concat({kAud, Sps(p), Idr()}));
    ASSERT_TRUE(r.h->Sps().Bad);
    EXPECT_EQ(r.h->VideoFullRangeFlagPesBit(), 0);
    EXPECT_EQ(r.h->H264Slice()->PatchBitInUnit(0), 0);
}

TEST(H264Reader, TooManyEmulationPreventionBytesCutTheUnit) {
    H264Rig r;
    Bytes sei = {0, 0, 0, 1, 6};
    for (int i = 0; i < kH264RemovedCapacity + 10; ++i) sei.insert(sei.end(), {0x00, 0x00, 0x03, 0x01});
    r.Pes(Concat({kAud, sei, Idr()}));
    EXPECT_EQ(r.Count("error 1 0"), 1);
    EXPECT_EQ(r.sequence, "AUD|SEI|"); // the walk cannot go on behind the cut
}

TEST(H264Reader, SpsDumpText) {
    H264Rig r;
    TSpsParams p;
    p.nal_hrd = true;
    p.cpb_cnt_minus1 = 1;
    p.scaling_matrix = true;
    r.Pes(Concat({kAud, Sps(p), Idr()}));
    const std::string d = r.h->SpsDumpText();
    EXPECT_EQ(d.substr(0, 46), "profile_idc                            : 100\r\n");
    EXPECT_NE(d.find("constrained_set0_flag                  : 0\r\n"), std::string::npos);
    EXPECT_NE(d.find("seq_scaling_list_present_flag_0      : 1\r\n"), std::string::npos);
    EXPECT_NE(d.find("seq_scaling_list_present_flag_7      : 0\r\n"), std::string::npos);
    EXPECT_NE(d.find("pic_width_in_mbs_minus1                : 119\r\n"), std::string::npos);
    EXPECT_NE(d.find("mb_adaptive_frame_field_flag           : 1\r\n"), std::string::npos);
    EXPECT_NE(d.find("video_full_range_flag                  : 0\r\n"), std::string::npos);
    EXPECT_NE(d.find("time_scale                             : 50\r\n"), std::string::npos);
    EXPECT_NE(d.find("bit_rate_value_minus1_1                : 1001\r\n"), std::string::npos);
    EXPECT_NE(d.find("cbr_flag_1                             : 1\r\n"), std::string::npos);
    EXPECT_NE(d.find("time_offset_length                     : 24\r\n"), std::string::npos);
    EXPECT_EQ(d.find("aspect_ratio_idv"), std::string::npos); // no aspect ratio info
    EXPECT_EQ(d.find("frame_crop_left_offset"), std::string::npos);
    EXPECT_EQ(d.substr(d.size() - 44), "vcl_hrd_parameters_present_flag        : 0\r\n");

    H264Rig b;
    TSpsParams q;
    q.profile_idc = 66;
    q.vui = false;
    q.frame_cropping = true;
    q.crop_bottom = 4;
    b.Pes(Concat({kAud, Sps(q), Idr()}));
    const std::string e = b.h->SpsDumpText();
    EXPECT_EQ(e.find("chroma_format_idc"), std::string::npos);
    EXPECT_NE(e.find("frame_crop_bottom_offset               : 4\r\n"), std::string::npos);
    EXPECT_EQ(e.substr(e.size() - 44), "vui_parameters_present_flag            : 0\r\n");
}

TEST(H264Reader, ActivationClearsTheVideoButKeepsCounters) {
    H264Rig r;
    r.Pes(Concat({kAud, Sps(TSpsParams{}), Idr()}));
    ASSERT_EQ(r.h->H264VideoInfo()->Resolution_H(), 1920);
    r.h->SetActive(false);
    EXPECT_EQ(r.h->H264VideoInfo()->Resolution_H(), 0);
    EXPECT_EQ(r.h->H264VideoInfo()->Profile(), "");
    EXPECT_FALSE(r.h->Synched());
    EXPECT_EQ(r.h->H264SliceCount(), 3);
    r.h->SetActive(true);
    EXPECT_FALSE(r.h->Sps().Parsed);
    // The stored set survives: the same set again is not a change.
    r.log.clear();
    r.Pes(Concat({kAud, Sps(TSpsParams{}), Idr()}));
    EXPECT_EQ(r.Count("changed SPS"), 0);
    EXPECT_EQ(r.Count("changed AUD"), 0);
}

// Units full of zeros, 01 and 03 bytes, so that start codes, emulation
// prevention and near misses of both fall at every place and across the
// search's 32-byte steps: the units found must be those of a plain walk over
// every byte.
TEST(H264Reader, UnitsOfZeroRichDataMatchAPlainWalk) {
    struct Unit {
        int first, length;
        std::vector<int> removed;
        bool operator==(const Unit& o) const {
            return first == o.first && length == o.length && removed == o.removed;
        }
    };
    auto plainWalk = [](const Bytes& b, int start, int end) {
        auto sc4 = [&](int i) { return b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 0 && b[i + 3] == 1; };
        auto sc3 = [&](int i) { return b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1; };
        std::vector<Unit> units;
        int pos = end;
        for (int p = start; p <= end - 5; ++p)
            if (sc4(p)) {
                pos = p;
                break;
            }
        while (end >= 5 && pos < end) {
            if (!(pos + 4 <= end && sc4(pos)) && !(pos + 3 <= end && sc3(pos))) break;
            Unit u{pos, 0, {}};
            int i = pos;
            while (i < end) {
                if (i + 2 < end && b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 3) {
                    u.removed.push_back(i + 2);
                    i += 3;
                } else {
                    ++i;
                }
                if (i + 4 < end && (sc4(i) || (i > pos + 2 && sc3(i)))) break;
            }
            u.length = i - pos - static_cast<int>(u.removed.size());
            units.push_back(u);
            pos = i;
        }
        return units;
    };

    H264Rig r;
    std::vector<Unit> got;
    r.h->OnSliceReceived = [&](TObject* s, int64_t, int64_t, TH264NALUnitType) {
        const TTSH264Slice& sl = *static_cast<TTSH264Reader*>(s)->H264Slice();
        Unit u{sl.UnitFirstPosition(), sl.UnitLength(), {}};
        for (int i = 0; i < sl.RemovedCount(); ++i) u.removed.push_back(sl.RemovedPosition(i));
        got.push_back(u);
    };
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    for (int pes = 0; pes < 300; ++pes) {
        Bytes es = {0, 0, 0, 1, 9, 0xF0};
        const int units = 1 + static_cast<int>(next() % 6);
        for (int u = 0; u < units; ++u) {
            const int len = static_cast<int>(next() % 200);
            for (int k = 0; k < len; ++k) {
                const uint32_t roll = next() % 10;
                es.push_back(roll < 4 ? 0 : roll == 4 ? 1 : roll == 5 ? 3 : static_cast<uint8_t>(next()));
            }
            if (next() % 2) es.insert(es.end(), {0, 0, 0, 1, 1});
            else es.insert(es.end(), {0, 0, 1, 5});
        }
        got.clear();
        const Bytes p = r.Pes(es);
        const std::vector<Unit> want = plainWalk(p, 14, static_cast<int>(p.size()));
        ASSERT_EQ(got.size(), want.size()) << "PES " << pes;
        for (size_t k = 0; k < want.size(); ++k) ASSERT_TRUE(got[k] == want[k]) << "PES " << pes << " unit " << k;
    }
}
