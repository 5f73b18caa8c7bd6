// TTSHexEditor: a grid of an offset column, a marker column, hexadecimal
// digit columns and character columns over a byte buffer, in which the
// user overwrites (or, where allowed, inserts) bytes by typing digits or
// characters. Changed bytes are drawn in their own colours. The model
// (data, changed marks, undo, markers, caret, selection, layout, keys) is
// THexEditorModel; this control draws it and feeds it the keyboard and the
// mouse. The packet editor loads one transport packet into it.
#pragma once

#include <memory>
#include <optional>

#include "skin/windows/acCtrlAdapter.h"
#include "tools/engine/HexEditorModel.h"
#include "ui/Controls.h"
#include "ui/Guards.h"

namespace tw {

class TTSHexEditor;

enum TCaretStyle { csFull, csLeftLine, csBottomLine };

// The editor's colour roles; each setter repaints the editor.
class TColors : public TObject {
public:
    explicit TColors(TTSHexEditor* owner) : owner_(owner) {}
#define TW_HEX_COLOR(Name, Default)                                                                                    \
    TColor Name() const { return Name##_; }                                                                           \
    void Set##Name(TColor c) {                                                                                         \
        Name##_ = c;                                                                                                   \
        Changed();                                                                                                     \
    }
    TW_HEX_COLOR(Background, clWindow)
    TW_HEX_COLOR(Offset, clBlack)
    TW_HEX_COLOR(OddColumn, clBlue)
    TW_HEX_COLOR(EvenColumn, clNavy)
    TW_HEX_COLOR(PositionBackground, clNavy)
    TW_HEX_COLOR(PositionText, clWhite)
    TW_HEX_COLOR(ChangedBackground, clYellow)
    TW_HEX_COLOR(ChangedText, clMaroon)
    TW_HEX_COLOR(CursorFrame, clNavy)
#undef TW_HEX_COLOR

private:
    friend class TTSHexEditor;
    void Changed();
    // The control's own colour taken as the background, without repainting
    // twice.
    void TakeBackground(TColor c) { Background_ = c; }
    TTSHexEditor* owner_;
    TColor Background_ = clWindow, Offset_ = clBlack, OddColumn_ = clBlue, EvenColumn_ = clNavy,
           PositionBackground_ = clNavy, PositionText_ = clWhite, ChangedBackground_ = clYellow,
           ChangedText_ = clMaroon, CursorFrame_ = clNavy;
};

class TTSHexEditor : public TCustomControl, public skin::IacFieldColors {
public:
    // The message the control posts itself so that OnStateChanged runs after
    // a change has been completed (both parameters 7).
    static constexpr UINT kStateChangedMessage = WM_USER + 2;

    explicit TTSHexEditor(TComponent* owner);
    ~TTSHexEditor() override;

    THexEditorModel& Model() { return model_; }
    const THexEditorModel& Model() const { return model_; }
    TColors& Colors() { return *colors_; }

    // --- properties (the model's, with a repaint)
    int BytesPerLine() const { return model_.BytesPerLine(); }
    void SetBytesPerLine(int v);
    // Row `row` gets `length` bytes (1..BytesPerLine, else EHexEditor
    // "Invalid Line Length argument"); the rows after it move with it.
    void SetLineLength(int row, int length);
    int BytesPerColumn() const { return model_.BytesPerColumn(); }
    void SetBytesPerColumn(int v);
    TOffsetDisplayStyle OffsetDisplay() const { return model_.OffsetDisplay; }
    void SetOffsetDisplay(TOffsetDisplayStyle v);
    void SetOffsetSeparator(char c);
    void SetTranslation(TTranslationType t);
    void SetShowMarkerColumn(bool v);
    TCaretStyle CaretStyle() const { return caretStyle_; }
    void SetCaretStyle(TCaretStyle s);
    bool FocusFrame() const { return focusFrame_; }
    void SetFocusFrame(bool v);
    bool AutoCaretMode = true;
    bool CreateBackup = true;
    std::string BackupExtension = ".bak";
    const std::string& FileName() const { return fileName_; }
    bool Modified() const { return model_.Modified(); }

    // --- operations
    bool LoadPacketBuffer(const TTSPacketBuffer& buffer);
    bool GetPacketBuffer(TTSPacketBuffer& buffer) const { return model_.GetPacketBuffer(buffer); }
    void SetMarker(int index, int row);
    int64_t SelStart() const { return model_.SelStart(); }
    int64_t SelEnd() const { return model_.SelEnd(); }
    int64_t SelCount() const { return model_.SelCount(); }
    void SetSelStart(int64_t v);
    void SetSelEnd(int64_t v);
    void ResetUndo() { model_.ResetUndo(); }
    bool InsertBuffer(const uint8_t* bytes, int64_t count, int64_t pos);
    bool AppendBuffer(const uint8_t* bytes, int64_t count);
    bool ReplaceSelection(const uint8_t* bytes, int64_t count);
    bool Undo();
    void Seek(int64_t offset, int origin);

    TNotifyEvent OnStateChanged;

    // On a skinned form the grid wears the skin's field colours instead of
    // its own (which stay as set and come back with nullptr).
    void SkinFieldColors(const skin::TacFieldColors* colors) override;

    // --- geometry (client pixels), for drawing and tests
    int ColumnLeft(int col) const;
    int ColumnWidth(int col) const;
    int RowHeight() const { return rowHeight_; }
    int TopRow() const { return topRow_; }
    // The cell under a client point; false outside the grid.
    bool CellAt(int x, int y, int& col, int& row) const;

    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    void Paint() override;
    void Resize() override;
    bool DoKeyDown(WORD& key, TShiftState shift) override;
    bool DoKeyPress(wchar_t& key) override;
    void MouseDown(TMouseButton b, TShiftState s, int x, int y) override;
    void FontChanged() override;
    void ColorChanged() override;

private:
    friend class TColors;
    void Measure();
    void Changed(bool stateChanged);
    void ScrollToCaret();
    // Rows of the view, and the first row shown put at `row` (clamped so the
    // last row ends the view); the scroll bar follows.
    int VisibleRows() const;
    void ScrollTo(int row);
    void UpdateScrollBar();
    // A scroll bar's request; `thumb` is where its thumb was let go.
    void VScroll(int code, int thumb);
    void PlaceCaret();
    // The caret: a bitmap of one cell in the inverse of the cursor frame's
    // colour, shaped by the caret style (the insert mode's left line with
    // AutoCaretMode). The system shows it inverting what lies under it, so
    // on the grid's background it takes the frame's colour.
    void MakeCaret();
    void DropCaret();
    // The colours changed: repaint, and the caret takes the new frame colour.
    void ColorsChanged();
    // Starts an empty buffer named "Untitled".
    void NewBuffer();
    // The colours the grid is drawn in now: its own, or the skin's.
    struct TLook {
        TColor Background, Offset, OddColumn, EvenColumn, Chars, PositionBackground, PositionText, CursorFrame;
        // Selected bytes: the skin's highlight; none of their own (they swap
        // text and background) when the grid shows its own colours.
        std::optional<TColor> Selection, SelectionText;
    };
    TLook Look() const;
    // One cell in the colours the paint took once for all of them.
    void DrawCell(int col, int row, const TRect& r, const TLook& k);

    THexEditorModel model_;
    std::unique_ptr<TColors> colors_;
    std::optional<skin::TacFieldColors> skinColors_;
    TCaretStyle caretStyle_ = csFull;
    bool focusFrame_ = true;
    bool hasCaret_ = false;
    // The caret's picture, kept while the caret lives (the system draws
    // from it).
    TGdiObject<HBITMAP> caretBitmap_;
    bool altReleased_ = false;
    std::string fileName_ = "---";
    int unit_ = 8;
    int rowHeight_ = 16;
    int topRow_ = 0;
    int wheel_ = 0; // wheel turns not yet a whole notch
};

} // namespace tw
