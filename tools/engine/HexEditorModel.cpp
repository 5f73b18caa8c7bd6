#include "tools/engine/HexEditorModel.h"

#include <algorithm>
#include <cstring>

namespace tw {

namespace {

const char kDigits[] = "0123456789ABCDEF";

// EBCDIC (code page 037) letters, digits and common signs; the rest is not
// translatable and shows as the mask character.
uint8_t FromEbcdic(uint8_t b) {
    static const char* const kRows[16] = {
        nullptr, nullptr, nullptr, nullptr,
        " ...........<(+|", "&.........!$*);.", "-/.........,%_>?", ".........`:#@'=\"",
        ".abcdefghi......", ".jklmnopqr......", ".~stuvwxyz......", "^.........[]....",
        "{ABCDEFGHI......", "}JKLMNOPQR......", "\\.STUVWXYZ......", "0123456789......"};
    const char* row = kRows[b >> 4];
    if (!row) return 0;
    const char c = row[b & 15];
    return c == '.' && b != 0x4B ? 0 : static_cast<uint8_t>(c);
}

std::string Padded(const std::string& s, int width, char pad) {
    const size_t n = width > 0 ? static_cast<size_t>(width) : 0;
    return s.size() >= n ? s : std::string(n - s.size(), pad) + s;
}

uint8_t ToEbcdic(uint8_t c) {
    for (int b = 0x40; b < 256; ++b)
        if (FromEbcdic(static_cast<uint8_t>(b)) == c) return static_cast<uint8_t>(b);
    return 0;
}

// Mac (Roman) characters 128..255 as Windows (code page 1252) characters;
// 0 where Windows has no such character (shown as the mask character).
const uint8_t kMacHigh[128] = {
    0xC4, 0xC5, 0xC7, 0xC9, 0xD1, 0xD6, 0xDC, 0xE1, 0xE0, 0xE2, 0xE4, 0xE3, 0xE5, 0xE7, 0xE9, 0xE8,
    0xEA, 0xEB, 0xED, 0xEC, 0xEE, 0xEF, 0xF1, 0xF3, 0xF2, 0xF4, 0xF6, 0xF5, 0xFA, 0xF9, 0xFB, 0xFC,
    0x86, 0xB0, 0xA2, 0xA3, 0xA7, 0x95, 0xB6, 0xDF, 0xAE, 0xA9, 0x99, 0xB4, 0xA8, 0x00, 0xC6, 0xD8,
    0x00, 0xB1, 0x00, 0x00, 0xA5, 0xB5, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xBA, 0x00, 0xE6, 0xF8,
    0xBF, 0xA1, 0xAC, 0x00, 0x83, 0x00, 0x00, 0xAB, 0xBB, 0x85, 0xA0, 0xC0, 0xC3, 0xD5, 0x8C, 0x9C,
    0x96, 0x97, 0x93, 0x94, 0x91, 0x92, 0xF7, 0x00, 0xFF, 0x9F, 0x00, 0x80, 0x8B, 0x9B, 0x00, 0x00,
    0x87, 0xB7, 0x82, 0x84, 0x89, 0xC2, 0xCA, 0xC1, 0xCB, 0xC8, 0xCD, 0xCE, 0xCF, 0xCC, 0xD3, 0xD4,
    0x00, 0xD2, 0xDA, 0xDB, 0xD9, 0x00, 0x88, 0x98, 0xAF, 0x00, 0x00, 0x00, 0xB8, 0x00, 0x00, 0x00,
};

uint8_t FromMac(uint8_t b) { return b < 128 ? b : kMacHigh[b - 128]; }

// A Windows character typed into the Mac half: its Mac byte, 0 when the Mac
// character set has none.
uint8_t ToMac(uint8_t c) {
    if (c < 128) return c;
    for (int i = 0; i < 128; ++i)
        if (kMacHigh[i] == c) return static_cast<uint8_t>(128 + i);
    return 0;
}

} // namespace

// --- data -------------------------------------------------------------------

THexEditorModel::THexEditorModel(const std::string& undoFolder)
    : undo_(std::make_unique<THexUndoStore>(undoFolder)) {}

void THexEditorModel::Load(const uint8_t* data, size_t count) {
    data_.assign(data, data + count);
    changed_.assign(count, false);
    DropCache();
    undo_->Clear();
    modified_ = false;
    caret_ = 0;
    inChars_ = false;
    nibble_ = 0;
    selAnchor_ = -1;
}

bool THexEditorModel::LoadPacketBuffer(const TTSPacketBuffer& buffer) {
    const int n = std::clamp(buffer.Length, 0, TS_PACKET_BUFFER_CAPACITY);
    Load(buffer.Data, static_cast<size_t>(n));
    return n == buffer.Length;
}

bool THexEditorModel::GetPacketBuffer(TTSPacketBuffer& buffer) const {
    const size_t n = std::min<size_t>(data_.size(), TS_PACKET_BUFFER_CAPACITY);
    if (n) std::memcpy(buffer.Data, data_.data(), n);
    buffer.Length = static_cast<int32_t>(n);
    return n == data_.size();
}

// --- settings and layout ------------------------------------------------------

void THexEditorModel::SetBytesPerLine(int v) {
    if (v < 1 || v > 256) throw EHexEditor("Invalid BytesPerLine argument");
    bytesPerLine_ = v;
}

int THexEditorModel::RowCount() const {
    if (OwnLineLengths()) return static_cast<int>(Lines().size());
    const int64_t rows = (Size() + bytesPerLine_ - 1) / bytesPerLine_;
    return static_cast<int>(std::max<int64_t>(rows, 1));
}

void THexEditorModel::FitLines(std::vector<int64_t>& starts, int64_t size) const {
    std::vector<int64_t> fitted{0};
    for (size_t i = 1; i < starts.size(); ++i) {
        const int64_t at = starts[i];
        if (at >= size) break;
        if (at <= fitted.back()) continue;
        // A row longer than a line is split where a line ends.
        while (at - fitted.back() > bytesPerLine_) fitted.push_back(fitted.back() + bytesPerLine_);
        fitted.push_back(at);
    }
    while (size - fitted.back() > bytesPerLine_) fitted.push_back(fitted.back() + bytesPerLine_);
    starts.swap(fitted);
}

const std::vector<int64_t>& THexEditorModel::Lines() const {
    // Edits change the size after the rows were laid out: the rows are
    // fitted again before they are used, never trusted as they stand.
    if (linesSize_ != Size() || linesWidth_ != bytesPerLine_) {
        FitLines(lineStarts_, Size());
        linesSize_ = Size();
        linesWidth_ = bytesPerLine_;
    }
    return lineStarts_;
}

void THexEditorModel::SetLineLength(int row, int length) {
    if (length < 1 || length > bytesPerLine_ || row < 0 || row >= RowCount())
        throw EHexEditor("Invalid Line Length argument");
    std::vector<int64_t> starts;
    if (OwnLineLengths()) {
        starts = Lines();
    } else {
        // The rows as they stand become the list of starts.
        for (int r = 0, n = RowCount(); r < n; ++r) starts.push_back(RowStart(r));
    }
    const size_t r = static_cast<size_t>(row);
    const int64_t oldNext = r + 1 < starts.size() ? starts[r + 1] : Size();
    const int64_t shift = starts[r] + length - oldNext;
    for (size_t i = r + 1; i < starts.size(); ++i) starts[i] += shift;
    // A last row made shorter leaves bytes over: they start a row of their own.
    if (r + 1 == starts.size()) starts.push_back(starts[r] + length);
    FitLines(starts, Size());
    lineStarts_ = starts;
    linesSize_ = Size();
    linesWidth_ = bytesPerLine_;
}

int64_t THexEditorModel::RowStart(int row) const {
    if (row < 0) return 0;
    if (!OwnLineLengths()) return std::min<int64_t>(static_cast<int64_t>(row) * bytesPerLine_, Size());
    const std::vector<int64_t>& l = Lines();
    return static_cast<size_t>(row) < l.size() ? l[static_cast<size_t>(row)] : Size();
}

int THexEditorModel::RowLength(int row) const {
    if (row < 0 || row >= RowCount()) return 0;
    const int64_t next = row + 1 < RowCount() ? RowStart(row + 1) : Size();
    return static_cast<int>(std::min<int64_t>(next - RowStart(row), bytesPerLine_));
}

int THexEditorModel::RowOfByte(int64_t pos) const {
    if (pos <= 0) return 0;
    if (!OwnLineLengths()) return static_cast<int>(pos / bytesPerLine_);
    const std::vector<int64_t>& l = Lines();
    return static_cast<int>(std::upper_bound(l.begin(), l.end(), pos) - l.begin()) - 1;
}

bool THexEditorModel::WideColumn(int col) const {
    if (col < FirstHexColumn() || col >= BlankColumn()) return false;
    const int nib = col - FirstHexColumn();
    return nib % 2 == 1 && ((nib / 2) + 1) % bytesPerColumn_ == 0;
}

int64_t THexEditorModel::CellByte(int col, int row, bool& inChars, int& nibble) const {
    inChars = false;
    nibble = 0;
    int inLine;
    if (col >= FirstHexColumn() && col < BlankColumn()) {
        inLine = (col - FirstHexColumn()) / 2;
        nibble = (col - FirstHexColumn()) % 2;
    } else if (col >= FirstCharColumn() && col < ColCount()) {
        inLine = col - FirstCharColumn();
        inChars = true;
    } else {
        return -1;
    }
    if (OwnLineLengths()) {
        if (row < 0 || row >= RowCount() || inLine >= RowLength(row)) return -1;
        return RowStart(row) + inLine;
    }
    const int64_t pos = static_cast<int64_t>(row) * bytesPerLine_ + inLine;
    return pos < Size() ? pos : -1;
}

void THexEditorModel::ByteCell(int64_t pos, bool inChars, int nibble, int& col, int& row) const {
    row = RowOfByte(pos);
    const int inLine = static_cast<int>(pos - RowStart(row));
    col = inChars ? FirstCharColumn() + inLine : FirstHexColumn() + inLine * 2 + nibble;
}

int THexEditorModel::OffsetWidth() const {
    // Room for the largest offset in the chosen base plus prefix and separator.
    int64_t last = std::max<int64_t>(Size(), 1);
    int digits = 1;
    const int base = OffsetDisplay == odDec ? 10 : OffsetDisplay == odOctal ? 8 : 16;
    for (int64_t v = last; v >= base; v /= base) ++digits;
    switch (OffsetDisplay) {
    case odHex: return digits + 3;
    case odDec: return digits + 1;
    case odOctal: return digits + 4;
    default: return 1;
    }
}

std::string THexEditorModel::OffsetText(int row) const {
    const int64_t off = OwnLineLengths() ? RowStart(row) : static_cast<int64_t>(row) * bytesPerLine_;
    const int width = OffsetWidth();
    std::string digits;
    switch (OffsetDisplay) {
    case odHex: {
        for (int64_t v = off; digits.empty() || v; v /= 16) digits.insert(digits.begin(), kDigits[v % 16]);
        return "0x" + Padded(digits, width - 3, '0') + OffsetSeparator;
    }
    case odDec: {
        return Padded(std::to_string(off), width - 1, ' ') + OffsetSeparator;
    }
    case odOctal: {
        for (int64_t v = off; v; v /= 8) digits.insert(digits.begin(), static_cast<char>('0' + v % 8));
        digits.insert(digits.begin(), '0');
        return "o " + Padded(digits, width - 3, '0') + OffsetSeparator;
    }
    default: return " ";
    }
}

uint8_t THexEditorModel::CachedByte(int64_t pos) const {
    if (cache_.empty() || pos < cacheStart_ || pos >= cacheStart_ + ReadCacheLength()) {
        // The window starts with the row the byte is drawn in.
        cacheStart_ = RowStart(RowOfByte(pos));
        const int64_t n = std::min<int64_t>(kReadCacheSize, Size() - cacheStart_);
        cache_.assign(data_.begin() + cacheStart_, data_.begin() + cacheStart_ + n);
    }
    return cache_[static_cast<size_t>(pos - cacheStart_)];
}

void THexEditorModel::PutByte(int64_t pos, uint8_t value) {
    data_[static_cast<size_t>(pos)] = value;
    if (pos >= cacheStart_ && pos < cacheStart_ + ReadCacheLength()) cache_[static_cast<size_t>(pos - cacheStart_)] = value;
}

std::string THexEditorModel::HexText(int64_t pos) const {
    if (pos < 0 || pos >= Size()) return "";
    const uint8_t b = CachedByte(pos);
    std::string s{kDigits[b >> 4], kDigits[b & 15]};
    if (SwapNibbles) std::swap(s[0], s[1]);
    return s;
}

char THexEditorModel::CharText(int64_t pos) const {
    if (pos < 0 || pos >= Size()) return ' ';
    uint8_t b = CachedByte(pos);
    switch (Translation) {
    case ttASCII: b = b < 128 ? b : 0; break;
    case ttMac: b = FromMac(b); break;
    case ttEBCDIC: b = FromEbcdic(b); break;
    default: break;
    }
    if (b < 32 && MaskWhiteSpaces) return MaskChar;
    return static_cast<char>(b);
}

// --- caret and selection ------------------------------------------------------

void THexEditorModel::BeginShift(bool shift) {
    if (shift) {
        if (selAnchor_ < 0 && Size() > 0) selAnchor_ = caret_;
    } else {
        selAnchor_ = -1;
    }
}

void THexEditorModel::SetCaret(int64_t pos, bool inChars, int nibble, bool extendSelection) {
    BeginShift(extendSelection);
    const int64_t last = std::max<int64_t>(Size() - 1, 0);
    caret_ = std::clamp<int64_t>(pos, 0, last);
    inChars_ = inChars;
    nibble_ = inChars ? 0 : (nibble & 1);
}

void THexEditorModel::Seek(int64_t offset, int origin) {
    const int64_t base = origin == 1 ? caret_ : origin == 2 ? Size() - 1 : 0;
    SetCaret(base + offset, inChars_, 0);
}

int64_t THexEditorModel::SelStart() const { return HasSelection() ? std::min(selAnchor_, caret_) : caret_; }
int64_t THexEditorModel::SelEnd() const { return HasSelection() ? std::max(selAnchor_, caret_) : caret_; }

void THexEditorModel::SetSelStart(int64_t v) {
    if (v < 0 || v >= Size()) throw EHexEditor("Invalid SelStart");
    selAnchor_ = v;
}

void THexEditorModel::SetSelEnd(int64_t v) {
    if (v < 0 || v >= Size()) throw EHexEditor("Invalid SelEnd");
    if (selAnchor_ < 0) selAnchor_ = caret_;
    caret_ = v;
}

// --- markers ------------------------------------------------------------------

void THexEditorModel::SetMarker(int index, int row) {
    if (index < 0 || index >= kMarkers) throw EHexEditor("SetMarker : Invalid marker index");
    markers_[index] = row;
}

int THexEditorModel::Marker(int index) const { return index >= 0 && index < kMarkers ? markers_[index] : -1; }

int THexEditorModel::MarkerOnRow(int row) const {
    for (int i = 0; i < kMarkers; ++i)
        if (markers_[i] == row) return i;
    return -1;
}

// --- editing ------------------------------------------------------------------

bool THexEditorModel::Admit(THexUndoKind kind, int64_t count) const {
    editTried_ = true;
    if (ReadOnlyView) return false;
    if (data_.empty() && kind != ukInsertBuffer && kind != ukAppendBuffer) return false;
    if (noSizeChange_) {
        switch (kind) {
        case ukBytesRemoved:
        case ukInsertBuffer:
        case ukAppendBuffer:
        case ukInsertNibble:
        case ukDeleteNibble: return false;
        case ukReplaceSelection: return count == SelCount();
        default: break;
        }
    }
    return true;
}

void THexEditorModel::Store(THexUndoKind kind, int64_t pos, int64_t count, const uint8_t* saved, int64_t savedCount) {
    THexUndoRecord r;
    r.Kind = kind;
    r.Pos = pos;
    r.Count = count;
    r.WasModified = modified_;
    if (saved && savedCount > 0) r.Bytes.assign(saved, saved + savedCount);
    undo_->Push(r);
    modified_ = true;
}

void THexEditorModel::ClearChangedFrom(int64_t pos) {
    for (size_t i = static_cast<size_t>(std::max<int64_t>(pos, 0)); i < changed_.size(); ++i) changed_[i] = false;
}

void THexEditorModel::Remove(int64_t pos, int64_t count) {
    DropCache();
    data_.erase(data_.begin() + pos, data_.begin() + pos + count);
    changed_.erase(changed_.begin() + pos, changed_.begin() + pos + count);
}

bool THexEditorModel::TypeHexDigit(char c) {
    const char* p = std::strchr("0123456789abcdef0123456789ABCDEF", c);
    if (c == 0 || !p || inChars_) return false;
    const int v = static_cast<int>(p - "0123456789abcdef0123456789ABCDEF") & 15;
    if (InsertMode() && nibble_ == 0) {
        if (!Admit(ukInsertNibble)) return false;
        // The record keeps the byte the nibble makes.
        const uint8_t b = static_cast<uint8_t>(SwapNibbles ? v : v << 4);
        Store(ukInsertNibble, caret_, 1, &b, 1);
        DropCache();
        data_.insert(data_.begin() + caret_, b);
        changed_.insert(changed_.begin() + caret_, true);
    } else {
        if (!Admit(ukByteChanged)) return false;
        const uint8_t b = data_[static_cast<size_t>(caret_)];
        Store(ukByteChanged, caret_, 1, &b, 1);
        // The first digit shown is the high nibble, unless swapped.
        const bool high = (nibble_ == 0) != SwapNibbles;
        PutByte(caret_, static_cast<uint8_t>(high ? (b & 0x0F) | (v << 4) : (b & 0xF0) | v));
        changed_[static_cast<size_t>(caret_)] = true;
    }
    selAnchor_ = -1;
    StepNibble(1, false);
    return true;
}

bool THexEditorModel::TypeChar(uint8_t c) {
    if (!inChars_) return false;
    uint8_t b = c;
    if (Translation == ttEBCDIC) b = ToEbcdic(c);
    else if (Translation == ttMac) b = ToMac(c);
    else if (Translation == ttASCII && c >= 128) return false;
    if (b == 0 && c != 0) return false;
    if (InsertMode()) {
        if (!Admit(ukInsertBuffer)) return false;
        return InsertBuffer(&b, 1, caret_) && (SetCaret(caret_ + 1, true, 0), true);
    }
    if (!Admit(ukByteChanged)) return false;
    const uint8_t d = data_[static_cast<size_t>(caret_)];
    Store(ukByteChanged, caret_, 1, &d, 1);
    PutByte(caret_, b);
    changed_[static_cast<size_t>(caret_)] = true;
    selAnchor_ = -1;
    MoveCaretBy(1, false);
    return true;
}

void THexEditorModel::PutSelected(int64_t pos, const uint8_t* bytes, int64_t count) {
    DropCache();
    data_.insert(data_.begin() + pos, bytes, bytes + count);
    changed_.insert(changed_.begin() + pos, static_cast<size_t>(count), false);
    // The marks behind the edit no longer sit on the bytes they marked.
    ClearChangedFrom(pos);
    selAnchor_ = pos;
    caret_ = pos + count - 1;
}

bool THexEditorModel::RemoveByte(int64_t pos) {
    if (pos < 0 || pos >= Size() || !Admit(ukBytesRemoved)) return false;
    Store(ukBytesRemoved, pos, 1, data_.data() + pos, 1);
    Remove(pos, 1);
    ClearChangedFrom(pos);
    SetCaret(pos, inChars_, 0);
    return true;
}

bool THexEditorModel::InsertBuffer(const uint8_t* bytes, int64_t count, int64_t pos) {
    if (count <= 0 || pos < 0 || pos > Size() || !Admit(ukInsertBuffer, count)) return false;
    Store(ukInsertBuffer, pos, count, nullptr, 0);
    PutSelected(pos, bytes, count);
    return true;
}

bool THexEditorModel::AppendBuffer(const uint8_t* bytes, int64_t count) {
    if (count <= 0 || !Admit(ukAppendBuffer, count)) return false;
    const int64_t pos = Size();
    Store(ukAppendBuffer, pos, count, nullptr, 0);
    PutSelected(pos, bytes, count);
    return true;
}

bool THexEditorModel::ReplaceSelection(const uint8_t* bytes, int64_t count) {
    editTried_ = true;
    if (count <= 0 || data_.empty()) return false;
    int64_t start = SelStart();
    int64_t sel = SelCount() > 0 ? SelCount() : 1;
    if (noSizeChange_) {
        // Cut the new bytes to the selection, or the selection to them.
        count = std::min(count, sel);
        sel = count;
    }
    if (ReadOnlyView) return false;
    Store(ukReplaceSelection, start, count, data_.data() + start, sel);
    Remove(start, sel);
    PutSelected(start, bytes, count);
    return true;
}

bool THexEditorModel::DeleteSelection() {
    if (!HasSelection() || !Admit(ukBytesRemoved)) return false;
    const int64_t start = SelStart(), n = SelCount();
    Store(ukBytesRemoved, start, n, data_.data() + start, n);
    Remove(start, n);
    ClearChangedFrom(start);
    selAnchor_ = -1;
    SetCaret(start, inChars_, 0);
    return true;
}

// --- keys ---------------------------------------------------------------------

void THexEditorModel::MoveCaretBy(int64_t bytes, bool shift) {
    BeginShift(shift);
    const int64_t last = std::max<int64_t>(Size() - 1, 0);
    caret_ = std::clamp<int64_t>(caret_ + bytes, 0, last);
    nibble_ = 0;
}

void THexEditorModel::StepNibble(int dir, bool shift) {
    if (inChars_) {
        MoveCaretBy(dir, shift);
        return;
    }
    BeginShift(shift);
    const int64_t last = std::max<int64_t>(Size() - 1, 0);
    int64_t n = caret_ * 2 + nibble_ + dir;
    n = std::clamp<int64_t>(n, 0, last * 2 + 1);
    caret_ = n / 2;
    nibble_ = static_cast<int>(n % 2);
}

bool THexEditorModel::Key(THexKey key, bool shift, bool ctrl) {
    const int64_t line = bytesPerLine_;
    if (OwnLineLengths()) {
        // Rows differ in length: up and down keep the place in the row as far
        // as the row reaches; Home and End go to the ends of the caret's row.
        const int row = RowOfByte(caret_);
        const int inLine = static_cast<int>(caret_ - RowStart(row));
        auto toRow = [&](int target) {
            target = std::clamp(target, 0, RowCount() - 1);
            const int64_t pos = RowStart(target) + std::min(inLine, std::max(RowLength(target) - 1, 0));
            MoveCaretBy(pos - caret_, shift);
            return true;
        };
        switch (key) {
        case hkUp: return toRow(row - 1);
        case hkDown: return toRow(row + 1);
        case hkPageUp: return toRow(row - std::max(PageRows, 1));
        case hkPageDown: return toRow(row + std::max(PageRows, 1));
        case hkHome:
            if (ctrl) break;
            MoveCaretBy(RowStart(row) - caret_, shift);
            return true;
        case hkEnd:
            if (ctrl) break;
            MoveCaretBy(RowStart(row) + std::max(RowLength(row) - 1, 0) - caret_, shift);
            return true;
        default: break;
        }
    }
    switch (key) {
    case hkLeft: StepNibble(-1, shift); return true;
    case hkRight: StepNibble(1, shift); return true;
    case hkUp: MoveCaretBy(-line, shift); return true;
    case hkDown: MoveCaretBy(line, shift); return true;
    case hkPageUp: MoveCaretBy(-line * std::max(PageRows, 1), shift); return true;
    case hkPageDown: MoveCaretBy(line * std::max(PageRows, 1), shift); return true;
    case hkHome: MoveCaretBy(ctrl ? -caret_ : -(caret_ % line), shift); return true;
    case hkEnd: MoveCaretBy(ctrl ? Size() : line - 1 - caret_ % line, shift); return true;
    case hkTab:
        if (!WantTabs && !ctrl) return false;
        inChars_ = !inChars_;
        nibble_ = 0;
        return true;
    case hkInsert:
        insertMode_ = !insertMode_;
        std::fill(changed_.begin(), changed_.end(), false);
        return true;
    case hkBack:
        if (InsertMode() && !ReadOnlyView) {
            const bool removed = DeleteSelection();
            return RemoveByte(caret_ - 1) || removed;
        }
        StepNibble(-1, false);
        return true;
    case hkDelete:
        if (ReadOnlyView) return false;
        if (ctrl) return DeleteSelection();
        if (!InsertMode()) return false;
        if (HasSelection()) return DeleteSelection();
        return RemoveByte(caret_);
    }
    return false;
}

bool THexEditorModel::MarkerKey(int digit, bool shift) {
    if (digit < 0 || digit >= kMarkers) return false;
    if (shift) {
        markers_[digit] = RowOfByte(caret_);
        return true;
    }
    const int row = markers_[digit];
    if (row < 0 || row >= RowCount() || RowStart(row) >= std::max<int64_t>(Size(), 1))
        return false;
    SetCaret(RowStart(row), false, 0);
    return true;
}

// --- undo ---------------------------------------------------------------------

std::string THexEditorModel::UndoDescription() const {
    static const char* const kTexts[] = {"Byte changed",  "Byte(s) removed", "Insert buffer", "Replace selection",
                                         "Append buffer", "Insert nibble",   "Delete nibble", "Convert"};
    return undo_->Empty() ? "No Undo" : kTexts[undo_->LastKind()];
}

bool THexEditorModel::Undo() {
    THexUndoRecord u;
    if (!undo_->Pop(u)) return false;
    auto insertSaved = [&] { PutSelected(u.Pos, u.Bytes.data(), static_cast<int64_t>(u.Bytes.size())); };
    switch (u.Kind) {
    case ukByteChanged:
    case ukDeleteNibble:
        if (u.Pos >= 0 && u.Pos < Size() && !u.Bytes.empty()) {
            PutByte(u.Pos, u.Bytes[0]);
            changed_[static_cast<size_t>(u.Pos)] = false;
        }
        break;
    case ukInsertNibble:
    case ukInsertBuffer:
    case ukAppendBuffer: Remove(u.Pos, std::min(u.Count, Size() - u.Pos)); break;
    case ukBytesRemoved:
    case ukConvert: insertSaved(); break;
    case ukReplaceSelection:
        Remove(u.Pos, std::min(u.Count, Size() - u.Pos));
        insertSaved();
        break;
    }
    modified_ = u.WasModified;
    selAnchor_ = -1;
    SetCaret(u.Pos, inChars_, 0);
    return true;
}

} // namespace tw
