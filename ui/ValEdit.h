// A key/value grid editor: a title row and one row per "key=value" line;
// values are edited in place, OnValidate checks an edited value when the
// edit ends.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/Classes.h"
#include "ui/Controls.h"
#include "ui/StdCtrls.h"

namespace tw {

using TOnValidateEvent =
    std::function<void(TObject* sender, int col, int row, const std::string& keyName, const std::string& keyValue)>;

// The colours the grid paints in while a skin lends it some: its field and
// text, the fixed (title) row and its text, the lines between the cells, and
// the selected row with its text.
struct TValueListColors {
    TColor Field = 0;
    TColor Text = 0;
    TColor Fixed = 0;
    TColor FixedText = 0;
    TColor Lines = 0;
    TColor Selected = 0;
    TColor SelectedText = 0;
    bool operator==(const TValueListColors&) const = default;
};

class TValueListEditor : public TCustomControl {
public:
    explicit TValueListEditor(TComponent* owner);
    ~TValueListEditor() override;
    // "key=value" lines; changing them redraws the grid.
    TStrings& Strings() { return *strings_; }
    int RowCount() const { return strings_->Count() + 1; } // with the title row
    // row 1 is the first data row; col 0 key, col 1 value.
    std::string Cells(int col, int row) const;
    void SetCells(int col, int row, const std::string& v);
    std::string Keys(int row) const { return Cells(0, row); }
    std::string Values(const std::string& key) const;
    void SetValues(const std::string& key, const std::string& value);
    int ColWidths(int col) const { return colWidths_[col & 1]; }
    void SetColWidths(int col, int w);
    int DefaultRowHeight() const { return rowHeight_; }
    void SetDefaultRowHeight(int h) { rowHeight_ = h; Invalidate(); }
    void SetTitleCaptions(const std::string& key, const std::string& value);
    int Row() const { return row_; }
    void SetRow(int r);
    bool KeyReadOnly() const { return true; }
    // Starts editing the current row's value; ends it (running OnValidate).
    void EditValue();
    void EndEdit(bool accept);
    bool Editing() const { return editor_ != nullptr && editor_->Visible(); }
    TEdit* InplaceEditor() const { return editor_; }
    TOnValidateEvent OnValidate;
    TNotifyEvent OnStringsChange;
    void WndProc(TMessage& m) override;
    // Colours lent by a skin; nullptr gives the grid its own (the
    // system's) back.
    void SetSkinColors(const TValueListColors* colors);
    const TValueListColors* SkinColors() const { return skinColors_ ? &*skinColors_ : nullptr; }

    // The first data row shown (1 when the grid is scrolled to its top).
    int TopRow() const { return topRow_; }
    // Data rows that fit under the title row.
    int VisibleRows() const;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    void Paint() override;
    // Shows the rows from `top` on, kept within the rows there are.
    void ScrollTo(int top);
    // The scroll bar's range and thumb for the rows; hidden while all fit.
    void UpdateScrollBar();
    int RowAt(int y) const;
    TRect CellRect(int col, int row) const;
    std::unique_ptr<TStringsList> strings_;
    int colWidths_[2] = {150, 150};
    int rowHeight_ = 18;
    int row_ = 1;
    int topRow_ = 1;
    std::string titleKey_ = "Key", titleValue_ = "Value";
    TEdit* editor_ = nullptr;
    int editRow_ = -1;
    bool focused_ = false;
    std::optional<TValueListColors> skinColors_;
};

} // namespace tw
