// The packet writer: ring hand-over to the write thread, deletion and bit
// patches of queued packets, continuity repair, the unbuffered mode, and
// that a failed write is reported rather than swallowed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "base/Sync.h"
#include "tests/support/TsBuilder.h"
#include "ts/TSPacketWriter.h"

using namespace tw;
using namespace tw::test;

namespace {

TTSPacketBuffer Packet(int pid, int cc, int afc = 1, uint8_t fill = 0) {
    TsPacketOptions o;
    o.pid = pid;
    o.cc = cc;
    o.afc = afc;
    if (afc == 2) o.adaptation = true;
    else o.payload.assign(184, fill);
    Bytes b = MakePacket(o);
    TTSPacketBuffer buf;
    buf.Length = 188;
    std::memcpy(buf.Data, b.data(), 188);
    return buf;
}

struct Written {
    std::vector<std::pair<int, int>> blocks;
    void Attach(TTSPacketWriter& w) {
        w.OnAfterBufferWritten = [this](TObject* sender, int written, int deleted) {
            EXPECT_TRUE(IsMainThread());
            EXPECT_NE(dynamic_cast<TWriteThread*>(sender), nullptr);
            blocks.emplace_back(written, deleted);
        };
    }
};

} // namespace

TEST(TSPacketWriter, RingHandsOverAThirdWhenFull) {
    TempFile f;
    TTSPacketWriter w(nullptr);
    Written wr;
    wr.Attach(w);
    w.SetPacketBufferSize(300);
    w.SetFileName(f.Name());
    w.SetActive(true);
    ASSERT_TRUE(w.Active());
    for (int i = 0; i < 299; ++i) ASSERT_TRUE(w.QueuePacket(Packet(0x100, i & 15, 1, static_cast<uint8_t>(i)), i));
    EXPECT_EQ(w.QueuedCount(), 299);
    EXPECT_TRUE(w.QueuePacket(Packet(0x100, 299 & 15, 1, 43), 299));
    EXPECT_EQ(w.QueuedCount(), 200);
    ASSERT_TRUE(WaitServicing([&] { return wr.blocks.size() == 1; }, 5000));
    EXPECT_EQ(wr.blocks[0], std::make_pair(100, 0));
    EXPECT_EQ(w.PacketCount(), 100);
    EXPECT_EQ(w.PacketIndex(), 100);
    // Deactivation writes the rest.
    w.SetActive(false);
    EXPECT_FALSE(w.Active());
    Bytes out = f.Read();
    ASSERT_EQ(out.size(), 300u * 188);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(out[static_cast<size_t>(i) * 188 + 4], i == 299 ? 43 : (i & 0xFF)) << i;
    EXPECT_EQ(wr.blocks.back(), std::make_pair(200, 0));
}

TEST(TSPacketWriter, DeletedAndPatchedQueuedPackets) {
    TempFile f;
    TTSPacketWriter w(nullptr);
    Written wr;
    wr.Attach(w);
    w.SetPacketBufferSize(30);
    w.SetFileName(f.Name());
    w.SetActive(true);
    for (int i = 0; i < 10; ++i) w.QueuePacket(Packet(0x100, i), 1000 + i);
    EXPECT_TRUE(w.DeleteQueuedPacket(1003));
    EXPECT_FALSE(w.DeleteQueuedPacket(5));
    const int slot = w.FindQueuedPacket(1005);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(w.QueuedPacketByte(slot, 1), 0x01);
    EXPECT_TRUE(w.SetQueuedPacketBit(slot, 13, true)); // 0x04 of byte 1
    EXPECT_EQ(w.QueuedPacketByte(slot, 1), 0x05);
    EXPECT_TRUE(w.SetQueuedPacketBit(slot, 15, false)); // 0x01 of byte 1
    EXPECT_EQ(w.QueuedPacketByte(slot, 1), 0x04);
    EXPECT_FALSE(w.SetQueuedPacketBit(99, 0, true));
    EXPECT_EQ(w.QueuedPacketByte(99, 0), 0);
    EXPECT_TRUE(w.Flush());
    EXPECT_EQ(wr.blocks.back(), std::make_pair(9, 1));
    EXPECT_EQ(w.PacketCount(), 9);
    EXPECT_EQ(w.FindQueuedPacket(1005), -1);
    EXPECT_TRUE(w.Close());
    Bytes out = f.Read();
    ASSERT_EQ(out.size(), 9u * 188);
    EXPECT_EQ(out[3 * 188 + 3] & 15, 4); // packet 1003 is gone
    EXPECT_EQ(out[4 * 188 + 1], 0x04);   // the patched PID bits
}

TEST(TSPacketWriter, ContinuityRepairReportsOncePerRun) {
    TempFile f;
    TTSPacketWriter w(nullptr);
    w.SetPacketBufferSize(30);
    w.SetAutoContinuityCounter(true);
    std::vector<std::vector<int64_t>> events;
    w.OnContinuityCounterCorrected = [&](TObject*, int pid, int64_t no, int corrected, int old) {
        events.push_back({pid, no, corrected, old});
    };
    w.SetFileName(f.Name());
    w.SetActive(true);
    int n = 0;
    for (int cc : {3, 4, 9, 10, 11}) w.QueuePacket(Packet(0x100, cc), n++);
    w.QueuePacket(Packet(0x200, 7), n++);
    w.QueuePacket(Packet(0x200, 8, 2), n++); // adaptation only keeps the counter
    w.QueuePacket(Packet(0x200, 8), n++);
    w.Close();
    Bytes out = f.Read();
    ASSERT_EQ(out.size(), 8u * 188);
    std::vector<int> ccs;
    for (int i = 0; i < 8; ++i) ccs.push_back(out[static_cast<size_t>(i) * 188 + 3] & 15);
    EXPECT_EQ(ccs, (std::vector<int>{3, 4, 5, 6, 7, 7, 7, 8}));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (std::vector<int64_t>{0x100, 2, 5, 9}));
    EXPECT_EQ(events[1], (std::vector<int64_t>{0x200, 6, 7, 8}));
}

TEST(TSPacketWriter, ContinuityRepairLeavesNullPacketsAsTheyCame) {
    TempFile f;
    TTSPacketWriter w(nullptr);
    w.SetPacketBufferSize(30);
    w.SetAutoContinuityCounter(true);
    int events = 0;
    w.OnContinuityCounterCorrected = [&](TObject*, int, int64_t, int, int) { ++events; };
    w.SetFileName(f.Name());
    w.SetActive(true);
    int n = 0;
    for (int cc : {0, 0, 0, 9, 2}) w.QueuePacket(Packet(0x1FFF, cc), n++);
    w.Close();
    Bytes out = f.Read();
    ASSERT_EQ(out.size(), 5u * 188);
    std::vector<int> ccs;
    for (int i = 0; i < 5; ++i) ccs.push_back(out[static_cast<size_t>(i) * 188 + 3] & 15);
    EXPECT_EQ(ccs, (std::vector<int>{0, 0, 0, 9, 2}));
    EXPECT_EQ(events, 0);
}

TEST(TSPacketWriter, ContinuityRepairSeesQueuedChangesAndSkipsDeletions) {
    TempFile f;
    TTSPacketWriter w(nullptr);
    w.SetPacketBufferSize(30);
    w.SetAutoContinuityCounter(true);
    std::vector<std::vector<int64_t>> events;
    w.OnContinuityCounterCorrected = [&](TObject*, int pid, int64_t no, int corrected, int old) {
        events.push_back({pid, no, corrected, old});
    };
    w.SetFileName(f.Name());
    w.SetActive(true);
    w.QueuePacket(Packet(0x100, 3), 0);
    w.QueuePacket(Packet(0x100, 4), 1);
    w.QueuePacket(Packet(0x200, 9), 2);
    w.QueuePacket(Packet(0x100, 5), 3);
    w.QueuePacket(Packet(0x100, 7), 4);
    w.QueuePacket(Packet(0x100, 6), 5);
    // Packet 1 becomes adaptation-only (control 2), packet 2 moves to PID
    // 0x100, packet 4 is dropped: the repair must follow all three.
    const int s1 = w.FindQueuedPacket(1), s2 = w.FindQueuedPacket(2);
    ASSERT_GE(s1, 0);
    ASSERT_GE(s2, 0);
    EXPECT_TRUE(w.SetQueuedPacketBit(s1, 3 * 8 + 2, true));
    EXPECT_TRUE(w.SetQueuedPacketBit(s1, 3 * 8 + 3, false));
    EXPECT_TRUE(w.SetQueuedPacketBit(s2, 1 * 8 + 6, false));
    EXPECT_TRUE(w.SetQueuedPacketBit(s2, 1 * 8 + 7, true));
    EXPECT_TRUE(w.DeleteQueuedPacket(4));
    w.Close();
    Bytes out = f.Read();
    ASSERT_EQ(out.size(), 5u * 188);
    std::vector<int> ccs;
    for (size_t i = 0; i < 5; ++i) ccs.push_back(out[i * 188 + 3] & 15);
    EXPECT_EQ(ccs, (std::vector<int>{3, 3, 4, 5, 6}));
    EXPECT_EQ((out[188 + 3] >> 4) & 3, 2);
    EXPECT_EQ(out[2 * 188 + 1] & 0x1F, 0x01);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], (std::vector<int64_t>{0x100, 1, 3, 4}));
}

// A packet may be sent twice in a row with the same counter: the second
// sending keeps the counter its original is written with, and the packets
// after it keep theirs. Only the second sending of a packet with payload
// that repeats every byte counts; a third, a changed one, and one whose
// original was deleted are counted like any other packet.
TEST(TSPacketWriter, ContinuityRepairKeepsTheSecondSendingOfAPacket) {
    TempFile f;
    TTSPacketWriter w(nullptr);
    w.SetPacketBufferSize(30);
    w.SetAutoContinuityCounter(true);
    std::vector<std::vector<int64_t>> events;
    w.OnContinuityCounterCorrected = [&](TObject*, int pid, int64_t no, int corrected, int old) {
        events.push_back({pid, no, corrected, old});
    };
    w.SetFileName(f.Name());
    w.SetActive(true);
    int n = 0;
    // 0x100: a repeat, a real gap, and a repeat inside the repaired run.
    for (int cc : {3, 4, 4, 5, 9, 9, 10}) w.QueuePacket(Packet(0x100, cc, 1, 0x11), n++);
    // 0x400: a third sending is counted on.
    for (int k = 0; k < 3; ++k) w.QueuePacket(Packet(0x400, 5, 1, 0x44), n++);
    // 0x200: the same counter with other bytes is no repeat; nor is an
    // adaptation-only packet sent twice (it keeps its counter anyway).
    w.QueuePacket(Packet(0x200, 7, 1, 0x22), n++);
    w.QueuePacket(Packet(0x200, 7, 1, 0x23), n++);
    w.QueuePacket(Packet(0x200, 8, 2), n++);
    w.QueuePacket(Packet(0x200, 8, 2), n++);
    // 0x300: the original of a repeat deleted before it is written.
    w.QueuePacket(Packet(0x300, 1, 1, 0x33), n++);
    w.QueuePacket(Packet(0x300, 2, 1, 0x33), n++);
    w.QueuePacket(Packet(0x300, 2, 1, 0x33), n++);
    w.QueuePacket(Packet(0x300, 3, 1, 0x33), n++);
    EXPECT_TRUE(w.DeleteQueuedPacket(15));
    w.Close();
    const Bytes out = f.Read();
    ASSERT_EQ(out.size(), 17u * 188);
    std::vector<int> ccs;
    for (size_t i = 0; i < 17; ++i) ccs.push_back(out[i * 188 + 3] & 15);
    EXPECT_EQ(ccs, (std::vector<int>{3, 4, 4, 5, 6, 6, 7, 5, 5, 6, 7, 8, 8, 8, 1, 2, 3}));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], (std::vector<int64_t>{0x100, 4, 6, 9}));
    EXPECT_EQ(events[1], (std::vector<int64_t>{0x400, 9, 6, 5}));
    EXPECT_EQ(events[2], (std::vector<int64_t>{0x200, 11, 8, 7}));
}

// A patch of a queued packet that was sent twice must reach its second
// sending: the writer finds the next queued packet of the PID, across the
// ring's end, and hands out a slot's bytes. Patching the PID's last queued
// packet changes what its second sending is compared with: one patched
// alike still keeps the counter, one with the old bytes is new data.
TEST(TSPacketWriter, TheNextQueuedPacketOfAPidAndPatchesBeforeASecondSending) {
    TempFile f;
    TTSPacketWriter w(nullptr);
    w.SetPacketBufferSize(31);
    w.SetAutoContinuityCounter(true);
    w.SetFileName(f.Name());
    w.SetActive(true);
    // Two PIDs in turn, numbered by their place; the ring wraps more than once.
    for (int i = 0; i < 100; ++i) {
        TTSPacketBuffer p = Packet(i % 2 ? 0x200 : 0x100, (i / 2) & 15, 1, static_cast<uint8_t>(i));
        ASSERT_TRUE(w.QueuePacket(p, i));
    }
    ASSERT_GT(w.QueuedCount(), 2);
    int walked = 0;
    for (int64_t no = 100 - w.QueuedCount(); no < 100; ++no) {
        const int slot = w.FindQueuedPacket(no);
        ASSERT_GE(slot, 0) << no;
        TTSPacketBuffer b;
        ASSERT_TRUE(w.CopyQueuedPacket(slot, b));
        EXPECT_EQ(b.Length, 188);
        EXPECT_EQ(b.Data[4], no);
        const int next = w.NextQueuedPacketOfPid(slot);
        EXPECT_EQ(next, no + 2 < 100 ? w.FindQueuedPacket(no + 2) : -1) << no;
        ++walked;
    }
    EXPECT_EQ(walked, w.QueuedCount());
    TTSPacketBuffer none;
    EXPECT_FALSE(w.CopyQueuedPacket(w.FindQueuedPacket(0), none));
    EXPECT_EQ(none.Length, 0);
    EXPECT_EQ(w.NextQueuedPacketOfPid(-1), -1);
    EXPECT_TRUE(w.Flush());

    // 0x300: patched, then sent again patched alike; 0x400: patched, then
    // sent again as it was read.
    for (int pid : {0x300, 0x400}) {
        const TTSPacketBuffer read = Packet(pid, 5, 1, 0x32);
        w.QueuePacket(read, 200 + pid);
        ASSERT_TRUE(w.SetQueuedPacketBit(w.FindQueuedPacket(200 + pid), 100 * 8 + 7, true));
        TTSPacketBuffer again = read;
        if (pid == 0x300) again.Data[100] |= 1;
        w.QueuePacket(again, 201 + pid);
    }
    EXPECT_TRUE(w.Close());
    const Bytes out = f.Read();
    ASSERT_EQ(out.size(), 104u * 188);
    std::vector<int> ccs, byte100;
    for (size_t i = 100; i < 104; ++i) {
        ccs.push_back(out[i * 188 + 3] & 15);
        byte100.push_back(out[i * 188 + 100]);
    }
    EXPECT_EQ(ccs, (std::vector<int>{5, 5, 5, 6}));
    EXPECT_EQ(byte100, (std::vector<int>{0x33, 0x33, 0x33, 0x32}));
}

// A packet whose adaptation field flags a discontinuity may restart the
// count: it and the packets after it keep their counters, also in the middle
// of a repaired run; without the flag the same jump is repaired.
TEST(TSPacketWriter, ContinuityRepairLetsAFlaggedDiscontinuityRestartTheCount) {
    TempFile f;
    TTSPacketWriter w(nullptr);
    w.SetPacketBufferSize(30);
    w.SetAutoContinuityCounter(true);
    int events = 0;
    w.OnContinuityCounterCorrected = [&](TObject*, int, int64_t, int, int) { ++events; };
    w.SetFileName(f.Name());
    w.SetActive(true);
    auto flagged = [](int pid, int cc, bool withPayload) {
        TsPacketOptions o;
        o.pid = pid;
        o.cc = cc;
        o.adaptation = true;
        o.afFlags = 0x80;
        if (withPayload) o.payload.assign(100, 0x55);
        Bytes b = MakePacket(o);
        TTSPacketBuffer buf;
        buf.Length = 188;
        std::memcpy(buf.Data, b.data(), 188);
        return buf;
    };
    int n = 0;
    for (int cc : {3, 4}) w.QueuePacket(Packet(0x100, cc), n++);
    w.QueuePacket(flagged(0x100, 12, true), n++);
    for (int cc : {13, 14}) w.QueuePacket(Packet(0x100, cc), n++);
    // 0x200: a real gap starts a repaired run, which a flagged packet ends;
    // an adaptation-only packet may flag it too.
    for (int cc : {1, 2, 7}) w.QueuePacket(Packet(0x200, cc), n++);
    w.QueuePacket(flagged(0x200, 0, true), n++);
    w.QueuePacket(Packet(0x200, 1), n++);
    w.QueuePacket(flagged(0x200, 9, false), n++);
    w.QueuePacket(Packet(0x200, 10), n++);
    w.Close();
    const Bytes out = f.Read();
    ASSERT_EQ(out.size(), 12u * 188);
    std::vector<int> ccs;
    for (size_t i = 0; i < 12; ++i) ccs.push_back(out[i * 188 + 3] & 15);
    EXPECT_EQ(ccs, (std::vector<int>{3, 4, 12, 13, 14, 1, 2, 3, 0, 1, 9, 10}));
    EXPECT_EQ(events, 1);
}

TEST(TSPacketWriter, RefusesWrongLengthsAndInactiveUse) {
    TempFile f;
    TTSPacketWriter w(nullptr);
    TTSPacketBuffer p = Packet(0x100, 0);
    EXPECT_FALSE(w.QueuePacket(p, 0));
    EXPECT_FALSE(w.Flush());
    w.SetPacketBufferSize(10);
    w.SetFileName(f.Name());
    w.SetActive(true);
    p.Length = 187;
    EXPECT_FALSE(w.QueuePacket(p, 0));
    EXPECT_EQ(w.QueuedCount(), 0);
    w.SetPacketBufferSize(20); // ignored while active
    EXPECT_EQ(w.PacketBufferSize(), 10);
}

TEST(TSPacketWriter, ManyHandOversKeepOrderAndReportEveryBlock) {
    // Blocks follow each other faster than the thread writes them: the
    // output keeps the queue's order, drops the deleted packets and every
    // block is reported once.
    TempFile f;
    TTSPacketWriter w(nullptr);
    Written wr;
    wr.Attach(w);
    w.SetPacketBufferSize(30);
    w.SetFileName(f.Name());
    w.SetActive(true);
    ASSERT_TRUE(w.Active());
    const int total = 5000;
    std::vector<int> kept;
    for (int i = 0; i < total; ++i) {
        TTSPacketBuffer p = Packet(0x100 + (i % 7), i & 15, 1, static_cast<uint8_t>(i * 13));
        p.Data[4] = static_cast<uint8_t>(i >> 8);
        p.Data[5] = static_cast<uint8_t>(i);
        ASSERT_TRUE(w.QueuePacket(p, i));
        if (i % 11 == 5) {
            EXPECT_TRUE(w.DeleteQueuedPacket(i));
        } else {
            kept.push_back(i);
        }
    }
    EXPECT_TRUE(w.Close());
    const Bytes out = f.Read();
    ASSERT_EQ(out.size(), kept.size() * 188);
    for (size_t k = 0; k < kept.size(); ++k) {
        const int i = kept[k];
        ASSERT_EQ((out[k * 188 + 4] << 8) | out[k * 188 + 5], i) << k;
        ASSERT_EQ(out[k * 188 + 100], static_cast<uint8_t>(i * 13)) << k;
    }
    int written = 0, deleted = 0;
    for (const auto& b : wr.blocks) {
        written += b.first;
        deleted += b.second;
    }
    EXPECT_EQ(written, static_cast<int>(kept.size()));
    EXPECT_EQ(deleted, total - static_cast<int>(kept.size()));
}

TEST(TSPacketWriter, HandedOverSlotsAreNeitherFoundNorPatched) {
    // The thread writes straight from the ring: once a packet is handed over
    // its slot must not answer, or a late patch could race the disk write.
    TempFile f;
    TTSPacketWriter w(nullptr);
    w.SetPacketBufferSize(31);
    w.SetFileName(f.Name());
    w.SetActive(true);
    ASSERT_TRUE(w.Active());
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(w.QueuePacket(Packet(0x100, i & 15, 1, 7), i));
    const int slot = w.FindQueuedPacket(0);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(w.QueuedPacketByte(slot, 4), 7);
    ASSERT_TRUE(w.QueuePacket(Packet(0x100, 30 & 15, 1, 7), 30)); // hands over packets 0..9
    EXPECT_EQ(w.QueuedCount(), 21);
    EXPECT_EQ(w.FindQueuedPacket(0), -1);
    EXPECT_EQ(w.QueuedPacketByte(slot, 4), 0);
    EXPECT_FALSE(w.SetQueuedPacketBit(slot, 32, true));
    EXPECT_FALSE(w.DeleteQueuedPacket(9));
    EXPECT_TRUE(w.DeleteQueuedPacket(10));
    EXPECT_TRUE(w.Close());
    const Bytes out = f.Read();
    ASSERT_EQ(out.size(), 30u * 188);
    EXPECT_EQ(out[4], 7);
    EXPECT_EQ(out[10 * 188 + 3] & 15, 11); // packet 10 is gone
}

TEST(TSPacketWriter, RunsAcrossTheRingEndKeepOrder) {
    // Ring sizes whose hand-overs do not divide the ring: runs wrap at its
    // end, and deleted packets inside a wrapping run close up.
    for (int ring : {1, 2, 4, 31, 100}) {
        TempFile f;
        TTSPacketWriter w(nullptr);
        w.SetPacketBufferSize(ring);
        w.SetFileName(f.Name());
        w.SetActive(true);
        ASSERT_TRUE(w.Active());
        std::vector<int> kept;
        for (int i = 0; i < 1000; ++i) {
            TTSPacketBuffer p = Packet(0x100, i & 15);
            p.Data[4] = static_cast<uint8_t>(i >> 8);
            p.Data[5] = static_cast<uint8_t>(i);
            ASSERT_TRUE(w.QueuePacket(p, i));
            if (i % 3 == 1 && w.DeleteQueuedPacket(i - 1)) kept.pop_back();
            kept.push_back(i);
            if (i == 500) EXPECT_TRUE(w.Flush());
        }
        EXPECT_TRUE(w.Close());
        const Bytes out = f.Read();
        ASSERT_EQ(out.size(), kept.size() * 188) << ring;
        for (size_t k = 0; k < kept.size(); ++k) ASSERT_EQ((out[k * 188 + 4] << 8) | out[k * 188 + 5], kept[k]) << ring;
    }
}

TEST(TSPacketWriter, OutputIsCreatedEmpty) {
    TempFile f;
    f.Write(Bytes(188 * 50, 0xAA));
    for (int ring : {0, 12}) {
        TTSPacketWriter w(nullptr);
        w.SetPacketBufferSize(ring);
        w.SetFileName(f.Name());
        w.SetActive(true);
        ASSERT_TRUE(w.Active());
        EXPECT_EQ(w.PacketCount(), 0);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(w.QueuePacket(Packet(0x100, i), i));
        EXPECT_TRUE(w.Close());
        EXPECT_EQ(f.Read().size(), 3u * 188) << ring;
    }
}

// The ring's size is taken only while the writer is closed and only within
// 0..1,000,000 slots; naming another file closes the writer, writing what
// is queued.
TEST(TSPacketWriter, RingSizeOnlyWhileClosedAndRenamingWritesTheQueue) {
    TTSPacketWriter w(nullptr);
    EXPECT_EQ(w.PacketBufferSize(), 0);
    w.SetPacketBufferSize(-1);
    EXPECT_EQ(w.PacketBufferSize(), 0);
    w.SetPacketBufferSize(1000001);
    EXPECT_EQ(w.PacketBufferSize(), 0);
    w.SetPacketBufferSize(1000000);
    EXPECT_EQ(w.PacketBufferSize(), 1000000);
    w.SetPacketBufferSize(30);
    TempFile f, g;
    w.SetFileName(f.Name());
    w.SetActive(true);
    ASSERT_TRUE(w.Active());
    w.SetPacketBufferSize(60);
    EXPECT_EQ(w.PacketBufferSize(), 30);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(w.QueuePacket(Packet(0x100, i), i));
    w.SetFileName(g.Name());
    EXPECT_FALSE(w.Active());
    EXPECT_EQ(f.Read().size(), 5u * 188);
}

TEST(TSPacketWriter, UnbufferedWritesAtOnce) {
    TempFile f;
    TTSPacketWriter w(nullptr);
    w.SetFileName(f.Name());
    w.SetActive(true);
    ASSERT_TRUE(w.Active());
    EXPECT_TRUE(w.QueuePacket(Packet(0x100, 0), 0));
    EXPECT_TRUE(w.QueuePacket(Packet(0x100, 1), 1));
    EXPECT_EQ(w.PacketCount(), 2);
    EXPECT_EQ(w.PacketIndex(), 2);
    EXPECT_EQ(f.Read().size(), 2u * 188);
    // Rewriting from an earlier position.
    w.SetPacketIndex(0);
    EXPECT_EQ(w.PacketIndex(), 0);
    EXPECT_TRUE(w.QueuePacket(Packet(0x300, 5), 2));
    w.SetActive(false);
    Bytes out = f.Read();
    EXPECT_EQ(out.size(), 2u * 188);
    EXPECT_EQ(out[2], 0x00);
    EXPECT_EQ(out[1], 0x03);
}

TEST(TSPacketWriter, UncreatableOutputLeavesTheWriterInactive) {
    for (int ring : {0, 9}) {
        TTSPacketWriter w(nullptr);
        w.SetPacketBufferSize(ring);
        w.SetFileName("/nonexistent-dir/out.ts");
        w.SetActive(true);
        EXPECT_FALSE(w.Active()) << ring;
    }
}

TEST(TSPacketWriter, PidAndCcHelpers) {
    TTSPacketBuffer p = Packet(0x100, 3);
    p.Data[1] |= 0x40;
    EXPECT_TRUE(TTSPacketWriter::SetPacketPID(p, 0x1ABC));
    EXPECT_EQ(p.Data[1], 0x40 | 0x1A);
    EXPECT_EQ(p.Data[2], 0xBC);
    EXPECT_TRUE(TTSPacketWriter::SetPacketCC(p, 0x1F));
    EXPECT_EQ(p.Data[3], 0x1F);
}

// An output that cannot be created says why, in the platform's words.
TEST(TSPacketWriter, OutputThatCannotBeCreatedKeepsItsReason) {
    TempFile plainFile;
    plainFile.Write({0});
    // A file stands where the folder should be.
    const std::string name = plainFile.Name() + "/out.ts";
    for (int ring : {0, 9}) {
        TTSPacketWriter w(nullptr);
        w.SetPacketBufferSize(ring);
        w.SetFileName(name);
        w.SetActive(true);
        EXPECT_FALSE(w.Active()) << ring;
        const std::string reason = w.LastErrorText();
        EXPECT_NE(reason.find("Cannot create file"), std::string::npos) << reason;
        // More than our own words: the platform's reason follows them.
        EXPECT_GT(reason.size(), std::string("Cannot create file \"" + name + "\". ").size()) << reason;
        EXPECT_FALSE(w.QueuePacket(Packet(0x100, 0), 0)) << ring;
        EXPECT_FALSE(w.Close()) << ring;
    }
}

namespace {

// An output whose n-th write puts only part of its bytes and fails, as a
// disk that hiccups; later writes go through again.
class HiccupStream : public TFileStream {
public:
    HiccupStream(const std::string& name, int failingWrite, int64_t partial)
        : TFileStream(name, fmCreate), failingWrite_(failingWrite), partial_(partial) {}
    int64_t Write(const void* buffer, int64_t count) override {
        if (++writes_ != failingWrite_) return TFileStream::Write(buffer, count);
        const int64_t put = TFileStream::Write(buffer, std::min(count, partial_));
        SetLastErrorText("The device is not ready.");
        return put;
    }

private:
    int failingWrite_;
    int64_t partial_;
    int writes_ = 0;
};

} // namespace

TEST(TSPacketWriter, AFailedWriteEndsTheFileWithTheLastWholePacketAndWritesNothingLater) {
    // Unbuffered, every packet is a write: the third puts 100 bytes. With a
    // ring of 9, blocks of three packets: the third block puts 300 bytes
    // (one packet and a torn one). Both files end with the last whole
    // packet before the failure, with no later packet behind a hole.
    for (const auto& [ring, wholePackets] : {std::pair<int, int64_t>{0, 2}, {9, 7}}) {
        TempFile file;
        TTSPacketWriter w(nullptr);
        w.SetPacketBufferSize(ring);
        w.CreateOutputStream = [ring = ring](const std::string& name) {
            return std::unique_ptr<TFileStream>(std::make_unique<HiccupStream>(name, 3, ring == 0 ? 100 : 300));
        };
        w.SetFileName(file.Name());
        w.SetActive(true);
        ASSERT_TRUE(w.Active());
        Bytes queued;
        for (int i = 0; i < 60; ++i) {
            const TTSPacketBuffer p = Packet(i % 3 == 0 ? 0x200 : 0x100, (i / 3) & 15, 1, static_cast<uint8_t>(i));
            queued.insert(queued.end(), p.Data, p.Data + 188);
            w.QueuePacket(p, i);
        }
        EXPECT_FALSE(w.Flush()) << ring;
        EXPECT_NE(w.LastErrorText().find("The device is not ready."), std::string::npos) << w.LastErrorText();
        EXPECT_FALSE(w.Close());
        const Bytes out = file.Read();
        ASSERT_EQ(out.size(), static_cast<size_t>(wholePackets * 188)) << ring;
        EXPECT_TRUE(std::equal(out.begin(), out.end(), queued.begin())) << ring;
        // Per PID, what the file holds (PID $200 is every third packet).
        const int64_t of200 = (wholePackets + 2) / 3;
        EXPECT_EQ(w.WrittenPackets(0x200), of200) << ring;
        EXPECT_EQ(w.WrittenPackets(0x100), wholePackets - of200) << ring;
    }
}

#ifdef __linux__
// A full disk: /dev/full accepts the open and fails every write. The failure
// must come back from Flush and Close, never end in a reported success.
TEST(TSPacketWriter, WriteErrorIsReported) {
    for (int ring : {0, 9}) {
        TTSPacketWriter w(nullptr);
        w.SetPacketBufferSize(ring);
        w.SetFileName("/dev/full");
        w.SetActive(true);
        ASSERT_TRUE(w.Active()) << ring;
        for (int i = 0; i < 20; ++i) w.QueuePacket(Packet(0x100, i & 15), i);
        EXPECT_FALSE(w.Flush()) << ring;
        // How much is missing, and the platform's reason.
        EXPECT_NE(w.LastErrorText().find("bytes written"), std::string::npos) << w.LastErrorText();
        EXPECT_NE(w.LastErrorText().find(std::strerror(ENOSPC)), std::string::npos) << w.LastErrorText();
        EXPECT_FALSE(w.QueuePacket(Packet(0x100, 0), 99)) << ring;
        EXPECT_FALSE(w.Close()) << ring;
        EXPECT_FALSE(w.Active());
    }
}
#endif

namespace {

// An output whose every write takes a while (a slow disk or share) and then
// fails or succeeds, so that a caller that does not wait for it sees the
// file short or misses the failure.
class SlowStream : public TFileStream {
public:
    SlowStream(const std::string& name, bool fail) : TFileStream(name, fmCreate), fail_(fail) {}
    int64_t Write(const void* buffer, int64_t count) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        if (!fail_) return TFileStream::Write(buffer, count);
        SetLastErrorText("The specified network name is no longer available.");
        return 0;
    }

private:
    bool fail_;
};

} // namespace

// Tiny rings hand every packet over at once, so nothing stays queued: Flush
// must still wait for the write thread, and report what it met. Larger rings
// with the queue just emptied likewise.
TEST(TSPacketWriter, FlushWaitsForTheBlockWhateverIsQueued) {
    for (int ring : {1, 2, 3, 9}) {
        for (bool fail : {false, true}) {
            TempFile file;
            TTSPacketWriter w(nullptr);
            w.SetPacketBufferSize(ring);
            w.CreateOutputStream = [fail](const std::string& name) {
                return std::unique_ptr<TFileStream>(std::make_unique<SlowStream>(name, fail));
            };
            w.SetFileName(file.Name());
            w.SetActive(true);
            ASSERT_TRUE(w.Active());
            const int packets = ring == 9 ? 9 : ring;
            for (int i = 0; i < packets; ++i) w.QueuePacket(Packet(0x100, i & 15), i);
            const std::string what = std::to_string(ring) + (fail ? " failing" : "");
            if (ring <= 2) EXPECT_EQ(w.QueuedCount(), 0) << what;
            EXPECT_EQ(w.Flush(), !fail) << what;
            if (fail) {
                EXPECT_NE(w.LastErrorText().find("no longer available"), std::string::npos) << w.LastErrorText();
            } else {
                // Everything is in the file when Flush returns.
                EXPECT_EQ(file.Read().size(), static_cast<size_t>(packets) * 188) << what;
                EXPECT_EQ(w.WrittenPackets(0x100), packets) << what;
            }
            EXPECT_EQ(w.Close(), !fail) << what;
        }
    }
}

// While it waits for the write thread, the user-interface thread lets the
// windows' pending messages run (through the pump the class library
// registers), not only the thread's hand-overs.
TEST(TSPacketWriter, WaitingForTheThreadLetsPendingMessagesRun) {
    TempFile file;
    int pumped = 0;
    bool onMainThread = true;
    SetMessagePump([&] {
        ++pumped;
        onMainThread = onMainThread && IsMainThread();
    });
    TTSPacketWriter w(nullptr);
    w.SetPacketBufferSize(3);
    w.CreateOutputStream = [](const std::string& name) {
        return std::unique_ptr<TFileStream>(std::make_unique<SlowStream>(name, false));
    };
    w.SetFileName(file.Name());
    w.SetActive(true);
    for (int i = 0; i < 3; ++i) w.QueuePacket(Packet(0x100, i), i);
    EXPECT_TRUE(w.Flush());
    SetMessagePump(nullptr);
    EXPECT_GE(pumped, 1);
    EXPECT_TRUE(onMainThread);
    EXPECT_TRUE(w.Close());
}

TEST(TSPacketWriter, FindsTheOldestQueuedPacketOfANumberAcrossTheRing) {
    // A small ring wrapped many times over, with packets built rather than
    // read (number -1) between the numbered ones, numbers queued twice in a
    // row, and a stretch of falling numbers in the middle. After every packet
    // queued, each number around the queued ones must find the oldest queued
    // packet under it, as a walk of the queue from its head does (the packet
    // found is told by a serial in its bytes), and nothing once it is handed
    // over.
    TempFile f;
    TTSPacketWriter w(nullptr);
    w.SetPacketBufferSize(31);
    w.SetFileName(f.Name());
    w.SetActive(true);
    ASSERT_TRUE(w.Active());
    std::vector<std::pair<int64_t, int>> queue; // (number, serial), oldest first
    int64_t number = 100;
    for (int serial = 0; serial < 1500; ++serial) {
        int64_t no;
        if (serial % 7 == 3) no = -1;
        else if (serial % 5 == 1) no = number; // the last number again
        else if (serial >= 600 && serial < 640) no = number -= 3;
        else no = number += 1 + serial % 3;
        if (serial == 640) number += 200; // past everything queued before
        TTSPacketBuffer p = Packet(0x100, serial & 15);
        p.Data[4] = static_cast<uint8_t>(serial >> 8);
        p.Data[5] = static_cast<uint8_t>(serial);
        ASSERT_TRUE(w.QueuePacket(p, no));
        queue.emplace_back(no, serial);
        if (static_cast<int>(queue.size()) == 31) queue.erase(queue.begin(), queue.begin() + 10);
        ASSERT_EQ(w.QueuedCount(), static_cast<int>(queue.size()));
        int64_t lo = -1, hi = -1;
        for (const auto& q : queue) {
            if (q.first < 0) continue;
            lo = lo < 0 ? q.first : std::min(lo, q.first);
            hi = std::max(hi, q.first);
        }
        for (int64_t probe = std::max<int64_t>(-1, lo - 40); probe <= hi + 2; ++probe) {
            int expected = -1;
            for (const auto& q : queue) {
                if (q.first == probe) {
                    expected = q.second;
                    break;
                }
            }
            const int slot = w.FindQueuedPacket(probe);
            if (expected < 0) {
                ASSERT_EQ(slot, -1) << "serial " << serial << ", number " << probe;
            } else {
                ASSERT_GE(slot, 0) << "serial " << serial << ", number " << probe;
                ASSERT_EQ((w.QueuedPacketByte(slot, 4) << 8) | w.QueuedPacketByte(slot, 5), expected)
                    << "serial " << serial << ", number " << probe;
            }
        }
    }
    EXPECT_TRUE(w.Close());
}
