// The hex editor's model: layout of a packet, offset and character texts,
// changed marks and the modified flag, the key state machine with insert
// mode, selection and markers, undo, and the bounded packet record.
#include <gtest/gtest.h>

#include <numeric>

#include "tools/engine/HexEditorModel.h"

using namespace tw;

namespace {

std::vector<uint8_t> Counting(size_t n) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), 0);
    return v;
}

THexEditorModel PacketModel() {
    THexEditorModel m;
    const auto bytes = Counting(188);
    m.Load(bytes.data(), bytes.size());
    return m;
}

} // namespace

TEST(HexEditorModel, LayoutOfAPacket) {
    THexEditorModel m = PacketModel();
    EXPECT_EQ(m.RowCount(), 12);
    EXPECT_EQ(m.ColCount(), 16 * 3 + 3);
    bool inChars = false;
    int nibble = 0;
    // Row 11 holds 12 bytes: the 13th cell of the row shows nothing.
    EXPECT_EQ(m.CellByte(m.FirstHexColumn() + 2 * 11 + 1, 11, inChars, nibble), 187);
    EXPECT_EQ(nibble, 1);
    EXPECT_EQ(m.CellByte(m.FirstHexColumn() + 2 * 12, 11, inChars, nibble), -1);
    EXPECT_EQ(m.CellByte(m.FirstCharColumn() + 3, 1, inChars, nibble), 19);
    EXPECT_TRUE(inChars);
    EXPECT_EQ(m.CellByte(m.BlankColumn(), 0, inChars, nibble), -1);
    EXPECT_EQ(m.CellByte(1, 0, inChars, nibble), -1);
    // Column groups of two bytes: every fourth nibble column is wide.
    EXPECT_FALSE(m.WideColumn(m.FirstHexColumn() + 1));
    EXPECT_TRUE(m.WideColumn(m.FirstHexColumn() + 3));
    int col = 0, row = 0;
    m.ByteCell(35, false, 1, col, row);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(col, m.FirstHexColumn() + 2 * 3 + 1);

    EXPECT_THROW(m.SetBytesPerLine(0), EHexEditor);
    EXPECT_THROW(m.SetBytesPerLine(257), EHexEditor);
    m.SetBytesPerLine(256);
    EXPECT_EQ(m.RowCount(), 1);
    THexEditorModel empty;
    EXPECT_EQ(empty.RowCount(), 1);
    EXPECT_EQ(empty.OffsetText(0), "0x0:");
}

TEST(HexEditorModel, OffsetAndCharacterTexts) {
    THexEditorModel m = PacketModel();
    EXPECT_EQ(m.OffsetText(1), "0x10:");
    m.OffsetDisplay = odDec;
    EXPECT_EQ(m.OffsetText(11), "176:");
    EXPECT_EQ(m.OffsetText(0), "  0:");
    m.OffsetDisplay = odOctal;
    EXPECT_EQ(m.OffsetText(1), "o 0020:");
    m.OffsetDisplay = odNone;
    EXPECT_EQ(m.OffsetText(3), " ");
    EXPECT_EQ(m.HexText(0x47), "47");
    m.SwapNibbles = true;
    EXPECT_EQ(m.HexText(0x4A), "A4");
    EXPECT_EQ(m.CharText(0x47), 'G');
    EXPECT_EQ(m.CharText(0), '.');
    m.MaskChar = '_';
    EXPECT_EQ(m.CharText(31), '_');
    const auto all = Counting(256);
    m.Load(all.data(), all.size());
    m.Translation = ttEBCDIC;
    EXPECT_EQ(m.CharText(0xC1), 'A');
    EXPECT_EQ(m.CharText(0xF0), '0');
    m.Translation = ttASCII;
    EXPECT_EQ(m.CharText(0xC1), '_');
}

TEST(HexEditorModel, TypingMarksExactlyTheChangedByteAndUndoRestoresIt) {
    THexEditorModel m = PacketModel();
    for (int i = 0; i < 188; ++i) ASSERT_FALSE(m.Changed(i));
    EXPECT_FALSE(m.Modified());
    EXPECT_EQ(m.UndoDescription(), "No Undo");
    m.SetCaret(5, false, 0);
    EXPECT_TRUE(m.TypeHexDigit('a'));
    EXPECT_EQ(m.Data()[5], 0xA5);
    EXPECT_EQ(m.CaretPos(), 5);
    EXPECT_EQ(m.CaretNibble(), 1);
    EXPECT_TRUE(m.TypeHexDigit('F'));
    EXPECT_EQ(m.Data()[5], 0xAF);
    EXPECT_EQ(m.CaretPos(), 6);
    for (int i = 0; i < 188; ++i) ASSERT_EQ(m.Changed(i), i == 5) << i;
    EXPECT_TRUE(m.Modified());
    EXPECT_FALSE(m.TypeHexDigit('g'));
    EXPECT_EQ(m.UndoDescription(), "Byte changed");
    EXPECT_TRUE(m.Undo());
    EXPECT_TRUE(m.Undo());
    EXPECT_EQ(m.Data()[5], 5);
    EXPECT_FALSE(m.Modified());

    m.Key(hkTab, false, false);
    ASSERT_TRUE(m.CaretInChars());
    m.SetCaret(0, true, 0);
    EXPECT_TRUE(m.TypeChar('G'));
    EXPECT_EQ(m.Data()[0], 0x47);
    EXPECT_EQ(m.CaretPos(), 1);

    // A new load forgets every change.
    const auto bytes = Counting(188);
    m.Load(bytes.data(), bytes.size());
    EXPECT_FALSE(m.Changed(0));
    EXPECT_FALSE(m.Modified());

    m.ReadOnlyView = true;
    m.SetCaret(0, false, 0);
    EXPECT_FALSE(m.TypeHexDigit('1'));
    EXPECT_EQ(m.Data()[0], 0);
}

TEST(HexEditorModel, InsertModeOnlyWhereTheSizeMayChange) {
    THexEditorModel m = PacketModel();
    m.Key(hkInsert, false, false);
    EXPECT_FALSE(m.InsertMode()); // not allowed
    m.SetCaret(10, false, 0);
    EXPECT_FALSE(m.Key(hkDelete, false, false));
    EXPECT_EQ(m.Size(), 188);

    m.AllowInsertMode = true;
    EXPECT_TRUE(m.InsertMode());
    EXPECT_TRUE(m.Key(hkDelete, false, false));
    EXPECT_EQ(m.Size(), 187);
    EXPECT_EQ(m.Data()[10], 11);
    EXPECT_EQ(m.UndoDescription(), "Byte(s) removed");
    m.Undo();
    EXPECT_EQ(m.Size(), 188);
    EXPECT_EQ(m.Data()[10], 10);

    m.SetNoSizeChange(true);
    EXPECT_FALSE(m.AllowInsertMode);
    EXPECT_FALSE(m.InsertMode());
    const uint8_t two[2] = {1, 2};
    EXPECT_FALSE(m.InsertBuffer(two, 2, 0));
    EXPECT_FALSE(m.AppendBuffer(two, 2));
    // The selection holds the bytes from the anchor to the caret, both in.
    m.SetCaret(4, true, 0);
    m.Key(hkRight, true, false);
    m.Key(hkRight, true, false);
    ASSERT_EQ(m.SelCount(), 3);
    // The new bytes are cut to... the selection shortened to them.
    EXPECT_TRUE(m.ReplaceSelection(two, 2));
    EXPECT_EQ(m.Size(), 188);
    EXPECT_EQ(m.Data()[4], 1);
    EXPECT_EQ(m.Data()[5], 2);
    EXPECT_EQ(m.Data()[6], 6);
}

TEST(HexEditorModel, CaretSelectionAndMarkers) {
    THexEditorModel m = PacketModel();
    m.Key(hkEnd, false, false);
    EXPECT_EQ(m.CaretPos(), 15);
    m.Key(hkDown, true, false);
    EXPECT_EQ(m.SelStart(), 15);
    EXPECT_EQ(m.SelEnd(), 31);
    EXPECT_EQ(m.SelCount(), 17);
    m.Key(hkEnd, false, true);
    EXPECT_EQ(m.CaretPos(), 187);
    EXPECT_FALSE(m.HasSelection());
    m.Key(hkRight, false, false);
    m.Key(hkRight, false, false);
    EXPECT_EQ(m.CaretPos(), 187); // never past the last byte
    EXPECT_THROW(m.SetSelStart(188), EHexEditor);
    EXPECT_THROW(m.SetSelEnd(-1), EHexEditor);

    EXPECT_THROW(m.SetMarker(10, 0), EHexEditor);
    m.SetCaret(40, false, 1);
    EXPECT_TRUE(m.MarkerKey(3, true));
    EXPECT_EQ(m.MarkerOnRow(2), 3);
    m.Key(hkHome, false, true);
    EXPECT_TRUE(m.MarkerKey(3, false));
    EXPECT_EQ(m.CaretPos(), 32);
    m.SetMarker(4, 40);
    EXPECT_FALSE(m.MarkerKey(4, false)); // a row that does not exist
    m.Seek(-2, 2);
    EXPECT_EQ(m.CaretPos(), 185);
}

TEST(HexEditorModel, PacketRecordNeverOverflows) {
    THexEditorModel m;
    TTSPacketBuffer rec;
    rec.Length = 188;
    for (int i = 0; i < 188; ++i) rec.Data[i] = static_cast<uint8_t>(i);
    EXPECT_TRUE(m.LoadPacketBuffer(rec));
    TTSPacketBuffer back;
    EXPECT_TRUE(m.GetPacketBuffer(back));
    EXPECT_EQ(back.Length, 188);
    EXPECT_EQ(back.Data[187], 187);

    // Data grown past the record's 256 bytes: only 256 are copied.
    m.AllowInsertMode = true;
    const std::vector<uint8_t> more(100, 0xEE);
    ASSERT_TRUE(m.AppendBuffer(more.data(), static_cast<int64_t>(more.size())));
    struct Guarded {
        TTSPacketBuffer rec;
        uint8_t guard[64];
    } g{};
    std::fill(std::begin(g.guard), std::end(g.guard), 0x5A);
    EXPECT_FALSE(m.GetPacketBuffer(g.rec));
    EXPECT_EQ(g.rec.Length, 256);
    for (uint8_t b : g.guard) ASSERT_EQ(b, 0x5A);

    rec.Length = 300; // a record claiming more than it can hold
    EXPECT_FALSE(m.LoadPacketBuffer(rec));
    EXPECT_EQ(m.Size(), 256);
}

// Rows of their own lengths: a packet shown with its 4-byte header on a row
// of its own, the rest following in rows of 16 that keep their lengths.
TEST(HexEditorModel, RowsOfTheirOwnLengths) {
    THexEditorModel m = PacketModel();
    EXPECT_FALSE(m.OwnLineLengths());
    EXPECT_THROW(m.SetLineLength(0, 0), EHexEditor);
    EXPECT_THROW(m.SetLineLength(0, 17), EHexEditor);
    EXPECT_THROW(m.SetLineLength(12, 4), EHexEditor); // no such row
    EXPECT_FALSE(m.OwnLineLengths());
    m.SetLineLength(0, 4);
    // Rows: 4, then 16 x 11 from 4 on (ends at 180), then the 8 left over.
    ASSERT_EQ(m.RowCount(), 13);
    EXPECT_EQ(m.RowStart(1), 4);
    EXPECT_EQ(m.RowLength(11), 16);
    EXPECT_EQ(m.RowStart(12), 180);
    EXPECT_EQ(m.RowLength(12), 8);
    bool inChars = false;
    int nibble = 0;
    EXPECT_EQ(m.CellByte(m.FirstHexColumn() + 2 * 3, 0, inChars, nibble), 3);
    EXPECT_EQ(m.CellByte(m.FirstHexColumn() + 2 * 4, 0, inChars, nibble), -1);
    EXPECT_EQ(m.CellByte(m.FirstCharColumn(), 1, inChars, nibble), 4);
    int col = 0, row = 0;
    m.ByteCell(20, true, 0, col, row);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(col, m.FirstCharColumn());
    EXPECT_EQ(m.OffsetText(1), "0x04:");
    EXPECT_EQ(m.RowOfByte(187), 12);

    // Lengthening a row pushes the rest back; rows past the end go.
    m.SetLineLength(12, 16);
    EXPECT_EQ(m.RowCount(), 13);
    m.SetLineLength(0, 16);
    EXPECT_EQ(m.RowStart(1), 16);
    EXPECT_EQ(m.RowStart(11), 176);
    EXPECT_EQ(m.RowLength(11), 12);
    EXPECT_EQ(m.RowCount(), 12);
    // A narrower line splits the rows that no longer fit.
    m.SetLineLength(1, 3);
    m.SetBytesPerLine(8);
    EXPECT_EQ(m.RowStart(1), 8);
    EXPECT_EQ(m.RowStart(2), 16);
    EXPECT_EQ(m.RowLength(2), 3);
    EXPECT_EQ(m.RowStart(3), 19);
    int64_t total = 0;
    for (int r = 0; r < m.RowCount(); ++r) total += m.RowLength(r);
    EXPECT_EQ(total, 188);
}

TEST(HexEditorModel, KeysAndMarkersFollowRowsOfTheirOwnLengths) {
    THexEditorModel m = PacketModel();
    m.SetLineLength(0, 4);
    m.SetCaret(3, false, 0);
    m.Key(hkDown, false, false);
    EXPECT_EQ(m.CaretPos(), 7); // same place in the next row
    m.Key(hkDown, false, false);
    EXPECT_EQ(m.CaretPos(), 23);
    m.SetCaret(19, false, 0); // last byte of row 1
    m.Key(hkUp, false, false);
    EXPECT_EQ(m.CaretPos(), 3); // row 0 is only 4 bytes long
    m.SetCaret(10, false, 0);
    m.Key(hkHome, false, false);
    EXPECT_EQ(m.CaretPos(), 4);
    m.Key(hkEnd, true, false);
    EXPECT_EQ(m.CaretPos(), 19);
    EXPECT_EQ(m.SelCount(), 16);
    m.SetCaret(99, false, 0);
    EXPECT_TRUE(m.MarkerKey(5, true));
    EXPECT_EQ(m.MarkerOnRow(6), 5); // 99 lies in the row from 84
    m.SetCaret(0, false, 0);
    EXPECT_TRUE(m.MarkerKey(5, false));
    EXPECT_EQ(m.CaretPos(), 84);
    // Removing bytes shortens the rows from the end; none reaches past it.
    m.SetCaret(0, false, 0);
    m.SetSelStart(0);
    m.SetSelEnd(99);
    m.AllowInsertMode = true;
    ASSERT_TRUE(m.DeleteSelection());
    ASSERT_EQ(m.Size(), 88);
    EXPECT_EQ(m.RowStart(m.RowCount() - 1) + m.RowLength(m.RowCount() - 1), 88);
}
