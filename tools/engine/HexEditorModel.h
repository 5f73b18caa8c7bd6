// The hex editor's model, free of any window: the bytes being edited with
// their changed marks, the undo store, ten row markers, caret and selection,
// the grid layout (which column shows which nibble or character) and the
// keyboard's state machine. The control TTSHexEditor draws it and feeds it
// key and mouse input.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "tools/engine/HexUndoStore.h"
#include "ts/TSPacketViews.h"

namespace tw {

class EHexEditor : public Exception {
public:
    using Exception::Exception;
};

enum TOffsetDisplayStyle { odHex, odDec, odOctal, odNone };
enum TTranslationType { ttAnsi, ttDos8, ttASCII, ttMac, ttEBCDIC };

// Keys the state machine knows (the control maps virtual keys to them).
enum THexKey { hkLeft, hkRight, hkUp, hkDown, hkPageUp, hkPageDown, hkHome, hkEnd, hkTab, hkInsert, hkDelete, hkBack };

class THexEditorModel {
public:
    static constexpr int kMarkers = 10;
    // Drawing reads the bytes through a window of the data this large.
    static constexpr int64_t kReadCacheSize = 65536;

    // The undo store goes to `undoFolder` (empty: the system's temporary
    // folder).
    explicit THexEditorModel(const std::string& undoFolder = {});

    // --- data
    // Replaces the data; no byte is changed afterwards, nothing modified,
    // caret on the first digit of row 0, no selection, nothing to undo (an
    // edit of the bytes before must never be undone into these).
    void Load(const uint8_t* data, size_t count);
    // The packet record's first Length bytes (at most its 256).
    bool LoadPacketBuffer(const TTSPacketBuffer& buffer);
    // The data into a packet record. The record holds at most 256 bytes: a
    // longer buffer gives the first 256 and false (never a write past the
    // record).
    bool GetPacketBuffer(TTSPacketBuffer& buffer) const;
    const std::vector<uint8_t>& Data() const { return data_; }
    int64_t Size() const { return static_cast<int64_t>(data_.size()); }
    bool Changed(int64_t pos) const { return pos >= 0 && pos < Size() && changed_[static_cast<size_t>(pos)]; }
    bool Modified() const { return modified_; }

    // --- settings
    int BytesPerLine() const { return bytesPerLine_; }
    void SetBytesPerLine(int v); // 1..256, else "Invalid BytesPerLine argument"
    int BytesPerColumn() const { return bytesPerColumn_; }
    void SetBytesPerColumn(int v) { bytesPerColumn_ = v < 1 ? 1 : v; }
    TOffsetDisplayStyle OffsetDisplay = odHex;
    char OffsetSeparator = ':';
    bool ShowMarkerColumn = true;
    TTranslationType Translation = ttAnsi;
    bool SwapNibbles = false;
    bool MaskWhiteSpaces = true;
    char MaskChar = '.';
    bool AllowInsertMode = false;
    bool NoSizeChange() const { return noSizeChange_; }
    void SetNoSizeChange(bool v) {
        noSizeChange_ = v;
        if (v) AllowInsertMode = false;
    }
    bool WantTabs = true;
    bool ReadOnlyView = false;
    // Insert mode is in force only when allowed and the size may change.
    bool InsertMode() const { return insertMode_ && AllowInsertMode && !noSizeChange_; }

    // --- rows of their own lengths: off until a row's length is set. Row
    // `row` then holds `length` bytes (1..BytesPerLine, else "Invalid Line
    // Length argument"; a row that does not exist is refused the same way)
    // and the rows after it start that much earlier or later, each keeping
    // its length. Bytes a change leaves over at the end get rows of
    // BytesPerLine; rows pushed past the end go. A shorter BytesPerLine
    // splits the rows that no longer fit.
    void SetLineLength(int row, int length);
    bool OwnLineLengths() const { return !lineStarts_.empty(); }
    // Back to rows of BytesPerLine each.
    void ResetLineLengths() { lineStarts_.clear(); }
    // First byte of a row and its number of bytes (0 for the one row of an
    // empty buffer); the row a byte lies in.
    int64_t RowStart(int row) const;
    int RowLength(int row) const;
    int RowOfByte(int64_t pos) const;

    // --- layout: column 0 offset, 1 marker, then 2 x BytesPerLine nibble
    // columns, one blank column, BytesPerLine character columns.
    int ColCount() const { return bytesPerLine_ * 3 + 3; }
    int RowCount() const;
    int FirstHexColumn() const { return 2; }
    int BlankColumn() const { return 2 + 2 * bytesPerLine_; }
    int FirstCharColumn() const { return BlankColumn() + 1; }
    // A nibble column that ends a column group is drawn twice as wide.
    bool WideColumn(int col) const;
    // The byte under a cell; -1 for cells that show none (offset, marker,
    // blank, past the end). nibble 0 = first digit shown.
    int64_t CellByte(int col, int row, bool& inChars, int& nibble) const;
    // The cell of a byte in the hex half (its first digit) or the characters.
    void ByteCell(int64_t pos, bool inChars, int nibble, int& col, int& row) const;
    // Width of the offset column in characters.
    int OffsetWidth() const;
    std::string OffsetText(int row) const;
    std::string HexText(int64_t pos) const;
    // The character shown for a byte (MaskChar for those below 32 when masked).
    char CharText(int64_t pos) const;
    // The read cache HexText and CharText read through: its first byte and
    // its length (0 while it holds nothing).
    int64_t ReadCacheStart() const { return cacheStart_; }
    int64_t ReadCacheLength() const { return static_cast<int64_t>(cache_.size()); }
    // Which digit colour a nibble column takes: true for the odd groups
    // (the first group is odd).
    bool OddGroup(int col) const { return ((col - 2) / 2 / bytesPerColumn_) % 2 == 0; }

    // --- caret and selection
    int64_t CaretPos() const { return caret_; }
    bool CaretInChars() const { return inChars_; }
    int CaretNibble() const { return nibble_; }
    void SetCaret(int64_t pos, bool inChars, int nibble, bool extendSelection = false);
    // Seek: origin 0 from the start, 1 from the caret, 2 from the end.
    void Seek(int64_t offset, int origin);
    bool HasSelection() const { return selAnchor_ >= 0; }
    int64_t SelStart() const;
    int64_t SelEnd() const;
    int64_t SelCount() const { return HasSelection() ? SelEnd() - SelStart() + 1 : 0; }
    void SetSelStart(int64_t v); // "Invalid SelStart" outside the data
    void SetSelEnd(int64_t v);   // "Invalid SelEnd"
    void ClearSelection() { selAnchor_ = -1; }

    // --- markers (rows, -1 unset)
    void SetMarker(int index, int row); // "SetMarker : Invalid marker index"
    int Marker(int index) const;
    // The marker number set on a row, -1 none.
    int MarkerOnRow(int row) const;

    // --- editing (each true when it changed something)
    bool TypeHexDigit(char c);
    bool TypeChar(uint8_t translated);
    // Keys; shift extends the selection, ctrl as described per key.
    bool Key(THexKey key, bool shift, bool ctrl);
    // Ctrl+digit / Ctrl+Shift+digit.
    bool MarkerKey(int digit, bool shift);
    bool InsertBuffer(const uint8_t* bytes, int64_t count, int64_t pos);
    bool AppendBuffer(const uint8_t* bytes, int64_t count);
    bool ReplaceSelection(const uint8_t* bytes, int64_t count);
    bool DeleteSelection();

    // --- undo
    bool CanUndo() const { return !undo_->Empty(); }
    // "Byte changed", ...; "No Undo" when nothing can be undone.
    std::string UndoDescription() const;
    bool Undo();
    void ResetUndo() { undo_->Clear(); }
    // The undo store's file (made with the first edit, deleted with the model).
    const std::string& UndoFileName() const { return undo_->FileName(); }

    // True when an edit reached the gate (admitted or refused) since the
    // last call: the control reports the state after either.
    bool TakeEditTried() {
        const bool tried = editTried_;
        editTried_ = false;
        return tried;
    }

    // Rows a page moves (set by the control from its height).
    int PageRows = 8;

private:
    // The gate of every edit: refused on an empty buffer (except insert and
    // append) and, without size changes, for edits that change the length.
    bool Admit(THexUndoKind kind, int64_t count = 0) const;
    mutable bool editTried_ = false;
    // Stores the undo record of an admitted edit before the edit is made:
    // when the store fails, its exception leaves the data untouched.
    void Store(THexUndoKind kind, int64_t pos, int64_t count, const uint8_t* saved, int64_t savedCount);
    // The byte at pos through the read cache, refilled from the row of pos
    // when pos lies outside it.
    uint8_t CachedByte(int64_t pos) const;
    // A byte's new value into the data and, when it lies in the cache, into
    // the cache too.
    void PutByte(int64_t pos, uint8_t value);
    // Bytes moved (inserted or removed): the cache no longer matches.
    void DropCache() { cache_.clear(); }
    void ClearChangedFrom(int64_t pos);
    void Remove(int64_t pos, int64_t count);
    // Puts bytes in at pos, unchanged and selected.
    void PutSelected(int64_t pos, const uint8_t* bytes, int64_t count);
    // Removes one byte (undo kind "Byte(s) removed") and puts the caret there.
    bool RemoveByte(int64_t pos);
    void MoveCaretBy(int64_t bytes, bool shift);
    void StepNibble(int dir, bool shift);
    void BeginShift(bool shift);

    // The row starts fitted to the data's size and BytesPerLine of now.
    const std::vector<int64_t>& Lines() const;
    // Row starts beginning at 0 for `size` bytes: every row 1..BytesPerLine
    // bytes long, rows past the end gone, the rest filled up.
    void FitLines(std::vector<int64_t>& starts, int64_t size) const;

    std::vector<uint8_t> data_;
    std::vector<bool> changed_;
    // Row starts of the own-lengths mode (empty: rows of BytesPerLine).
    mutable std::vector<int64_t> lineStarts_;
    mutable int64_t linesSize_ = -1;
    mutable int linesWidth_ = 0;
    std::unique_ptr<THexUndoStore> undo_;
    mutable std::vector<uint8_t> cache_;
    mutable int64_t cacheStart_ = 0;
    int markers_[kMarkers] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    int bytesPerLine_ = 16;
    int bytesPerColumn_ = 2;
    bool noSizeChange_ = false;
    bool insertMode_ = false;
    bool modified_ = false;
    int64_t caret_ = 0;
    bool inChars_ = false;
    int nibble_ = 0;
    int64_t selAnchor_ = -1;
};

} // namespace tw
