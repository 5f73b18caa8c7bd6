// The hex editor's model: layout of a packet, offset and character texts,
// changed marks and the modified flag, the key state machine with insert
// mode, selection and markers, undo, and the bounded packet record.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>

#include "base/Streams.h"
#include "base/SysUtils.h"
#include "tests/support/TsBuilder.h"
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

namespace {

// A folder of its own for a test's undo files, removed with what is left in it.
struct UndoFolder {
    std::string Name = IncludeTrailingPathDelimiter(test::UniqueTempName("hexundo", ""));
    UndoFolder() { ForceDirectories(Name); }
    ~UndoFolder() {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::u8path(Name), ec);
    }
};

std::vector<uint8_t> FileBytes(const std::string& name) {
    std::vector<uint8_t> out(static_cast<size_t>(std::max<int64_t>(FileSizeOf(name), 0)));
    if (out.empty()) return out;
    TFileStream f(name, fmOpenRead | fmShareDenyNone);
    f.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
    return out;
}

int64_t Int64At(const std::vector<uint8_t>& b, size_t at) {
    int64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}

} // namespace

// Every edit leaves a record of a 32-byte header and the bytes it saved in a
// file of the undo folder, named by 8 hexadecimal digits; undoing reads the
// records back from the file's end, a load forgets them, and the file goes
// with the model.
TEST(HexEditorModel, UndoRecordsLiveInAFileThatGoesWithTheModel) {
    UndoFolder folder;
    std::string file;
    {
        THexEditorModel m(folder.Name);
        const auto bytes = Counting(188);
        m.Load(bytes.data(), bytes.size());
        file = m.UndoFileName();
        EXPECT_EQ(ExtractFilePath(file), folder.Name);
        const std::string name = ExtractFileName(file);
        ASSERT_EQ(name.size(), 12u) << name;
        EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF"), 8u) << name;
        EXPECT_EQ(name.substr(8), ".hxu");
        EXPECT_FALSE(FileExists(file)); // nothing to undo yet

        // A changed byte saves that one byte: 32 + 1.
        m.SetCaret(5, false, 0);
        ASSERT_TRUE(m.TypeHexDigit('a'));
        EXPECT_EQ(FileSizeOf(file), 33);
        std::vector<uint8_t> b = FileBytes(file);
        ASSERT_EQ(b.size(), 33u);
        EXPECT_EQ(b[0], 0); // kind "Byte changed"
        EXPECT_EQ(b[4], 0); // not modified before
        EXPECT_EQ(Int64At(b, 8), 5);
        EXPECT_EQ(Int64At(b, 16), 1);
        EXPECT_EQ(Int64At(b, 24), 1);
        EXPECT_EQ(b[32], 0x05); // the byte as it was
        ASSERT_TRUE(m.TypeHexDigit('f'));
        EXPECT_EQ(FileSizeOf(file), 66);
        b = FileBytes(file);
        EXPECT_EQ(b[33 + 4], 1); // modified by then
        EXPECT_EQ(b[65], 0xA5);
        // Replacing three bytes by two saves the three: 32 + 3.
        m.SetSelStart(10);
        m.SetSelEnd(12);
        const uint8_t two[] = {0xEE, 0xDD};
        ASSERT_TRUE(m.ReplaceSelection(two, 2));
        EXPECT_EQ(FileSizeOf(file), 66 + 35);
        // Inserting keeps only place and count.
        const uint8_t three[] = {1, 2, 3};
        ASSERT_TRUE(m.InsertBuffer(three, 3, 0));
        EXPECT_EQ(FileSizeOf(file), 101 + 32);
        EXPECT_EQ(m.UndoDescription(), "Insert buffer");

        // Back, record by record, from the file.
        ASSERT_TRUE(m.Undo());
        EXPECT_EQ(FileSizeOf(file), 101);
        EXPECT_EQ(m.Size(), 187);
        EXPECT_EQ(m.UndoDescription(), "Replace selection");
        ASSERT_TRUE(m.Undo());
        EXPECT_EQ(FileSizeOf(file), 66);
        EXPECT_EQ(m.Data(), [] {
            auto v = Counting(188);
            v[5] = 0xAF;
            return v;
        }());
        ASSERT_TRUE(m.Undo());
        EXPECT_EQ(m.Data()[5], 0xA5);
        ASSERT_TRUE(m.Undo());
        EXPECT_EQ(FileSizeOf(file), 0);
        EXPECT_EQ(m.Data(), Counting(188));
        EXPECT_FALSE(m.Modified());
        EXPECT_FALSE(m.Undo());
        EXPECT_EQ(m.UndoDescription(), "No Undo");

        // A nibble put in saves one byte as well.
        m.AllowInsertMode = true;
        m.Key(hkInsert, false, false);
        m.SetCaret(0, false, 0);
        ASSERT_TRUE(m.TypeHexDigit('7'));
        EXPECT_EQ(m.Size(), 189);
        EXPECT_EQ(FileSizeOf(file), 33);
        EXPECT_EQ(m.UndoDescription(), "Insert nibble");
        ASSERT_TRUE(m.Undo());
        EXPECT_EQ(m.Data(), Counting(188));

        // New data: what was done to the old bytes is never undone into them.
        m.Key(hkInsert, false, false);
        m.SetCaret(3, false, 0);
        ASSERT_TRUE(m.TypeHexDigit('e'));
        const auto other = std::vector<uint8_t>(188, 0x47);
        m.Load(other.data(), other.size());
        EXPECT_FALSE(m.CanUndo());
        EXPECT_FALSE(m.Undo());
        EXPECT_EQ(m.Data(), other);
        EXPECT_EQ(FileSizeOf(file), 0);
        EXPECT_TRUE(FileExists(file));

        // Two models never share a file.
        THexEditorModel second(folder.Name);
        EXPECT_NE(second.UndoFileName(), file);
    }
    EXPECT_FALSE(FileExists(file));
}

// The bytes are drawn through a 64 KiB window of the data: it starts at the
// row of the byte asked for, moves when a row outside it is drawn, takes a
// typed byte in place and is read afresh after bytes moved.
TEST(HexEditorModel, DrawingReadsThroughA64KiBWindowThatFollowsRowsAndEdits) {
    THexEditorModel m;
    const auto bytes = Counting(200000); // byte i holds i mod 256
    m.Load(bytes.data(), bytes.size());
    EXPECT_EQ(m.ReadCacheLength(), 0);
    EXPECT_EQ(m.HexText(0), "00");
    EXPECT_EQ(m.ReadCacheStart(), 0);
    EXPECT_EQ(m.ReadCacheLength(), 65536);
    EXPECT_EQ(m.HexText(65535), "FF");
    EXPECT_EQ(m.ReadCacheStart(), 0);
    EXPECT_EQ(m.HexText(65536), "00");
    EXPECT_EQ(m.ReadCacheStart(), 65536);
    // 150001 lies in the row from 150000; 50000 bytes are left from there.
    EXPECT_EQ(m.HexText(150001), "F1");
    EXPECT_EQ(m.ReadCacheStart(), 150000);
    EXPECT_EQ(m.ReadCacheLength(), 50000);
    EXPECT_EQ(m.HexText(199999), "3F");

    m.SetCaret(150001, false, 0);
    ASSERT_TRUE(m.TypeHexDigit('0'));
    ASSERT_TRUE(m.TypeHexDigit('0'));
    EXPECT_EQ(m.HexText(150001), "00");
    EXPECT_EQ(m.ReadCacheStart(), 150000);
    // Typed outside the window: shown right once its row is drawn.
    m.SetCaret(5, false, 0);
    ASSERT_TRUE(m.TypeHexDigit('c'));
    EXPECT_EQ(m.HexText(5), "C5");
    EXPECT_EQ(m.ReadCacheStart(), 0);
    // Bytes moved: everything behind them is read again.
    const uint8_t one[] = {0xAB};
    ASSERT_TRUE(m.InsertBuffer(one, 1, 0));
    EXPECT_EQ(m.HexText(0), "AB");
    EXPECT_EQ(m.HexText(6), "C5");
    EXPECT_EQ(m.HexText(150002), "00");
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(m.HexText(0), "00");
    EXPECT_EQ(m.HexText(5), "C5");
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(m.HexText(5), "05");
    EXPECT_EQ(m.CharText(0x47), 'G');
}

// The model tells its control when an edit reached the gate, let through or
// refused; caret moves and keys that are no edit do not count.
TEST(HexEditorModel, EditsThatReachTheGateAreToldAdmittedOrNot)
{
    THexEditorModel m;
    EXPECT_FALSE(m.TypeHexDigit('7')); // empty buffer: refused
    EXPECT_TRUE(m.TakeEditTried());
    EXPECT_FALSE(m.TakeEditTried());
    const std::vector<uint8_t> bytes(32, 0x11);
    m.Load(bytes.data(), bytes.size());
    m.TakeEditTried();
    EXPECT_TRUE(m.TypeHexDigit('a'));
    EXPECT_TRUE(m.TakeEditTried());
    EXPECT_FALSE(m.TypeHexDigit('x')); // no digit: no edit
    EXPECT_FALSE(m.TakeEditTried());
    m.Key(hkRight, false, false);
    EXPECT_FALSE(m.TakeEditTried());
    m.SetNoSizeChange(true);
    m.Key(hkRight, true, false); // a selection
    m.TakeEditTried();
    m.Key(hkDelete, false, true); // Ctrl+Delete would shorten the data
    EXPECT_TRUE(m.TakeEditTried());
    EXPECT_EQ(m.Size(), 32);
    m.ReadOnlyView = true;
    EXPECT_FALSE(m.TypeHexDigit('5'));
    EXPECT_TRUE(m.TakeEditTried());
}
