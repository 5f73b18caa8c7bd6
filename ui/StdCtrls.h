// Standard controls: label, edit, memo (a custom-drawn list of lines that
// stays fast with hundreds of thousands of lines), buttons, check box,
// radio button, group box, combo box, list box, scroll bar.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/Classes.h"
#include "ui/Controls.h"

namespace tw {

// Text without a window of its own, painted by its parent.
class TLabel : public TGraphicControl {
public:
    explicit TLabel(TComponent* owner);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a) { alignment_ = a; Invalidate(); }
    TVerticalAlignment Layout() const { return layout_; }
    void SetLayout(TVerticalAlignment l) { layout_ = l; Invalidate(); }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool a);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool w);
    bool Transparent() const { return transparent_; }
    // An opaque label fills its rectangle with its colour (control style
    // csOpaque); a transparent one lets its parent show around the text.
    void SetTransparent(bool t);
    // "&" marks an accelerator unless ShowAccelChar is off.
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool s) { showAccelChar_ = s; Invalidate(); }
    TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(TWinControl* c) { focusControl_ = c; }
    void AdjustBounds();
    void Loaded() override;

protected:
    void Paint() override;
    void TextChanged() override;
    void FontChanged() override;
    UINT DrawTextFlags() const;

    TAlignment alignment_ = taLeftJustify;
    TVerticalAlignment layout_ = taAlignTop;
    bool autoSize_ = true;
    bool wordWrap_ = false;
    bool transparent_ = true;
    bool showAccelChar_ = true;
    TWinControl* focusControl_ = nullptr;
};

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

// The system's EDIT control, one line.
class TCustomEdit : public TWinControl {
public:
    explicit TCustomEdit(TComponent* owner);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool r);
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int m);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle b);
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool a) { autoSelect_ = a; }
    wchar_t PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(wchar_t c);
    TEditCharCase CharCase() const { return charCase_; }
    void SetCharCase(TEditCharCase c);
    bool Modified() const;
    void SetModified(bool m);
    int SelStart() const;
    void SetSelStart(int s);
    int SelLength() const;
    void SetSelLength(int l);
    void SelectAll();
    void Clear() { SetText(""); }
    TNotifyEvent OnChange;
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    virtual void Change();
    bool readOnly_ = false;
    int maxLength_ = 0;
    TBorderStyle borderStyle_ = bsSingle;
    bool autoSelect_ = true;
    wchar_t passwordChar_ = 0;
    TEditCharCase charCase_ = ecNormal;
    bool settingText_ = false;
};

class TEdit : public TCustomEdit {
public:
    explicit TEdit(TComponent* owner) : TCustomEdit(owner) {}
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TMemo;

// The lines of a TMemo: changes redraw the memo (once per update bracket).
class TMemoStrings : public TStrings {
public:
    explicit TMemoStrings(TMemo* memo) : memo_(memo) {}
    int Count() const override { return static_cast<int>(lines_.size()); }
    std::string Get(int index) const override;
    void Put(int index, const std::string& s) override;
    void Insert(int index, const std::string& s) override;
    int Add(const std::string& s) override;
    void Delete(int index) override;
    void Clear() override;
    void EndUpdate() override;
    std::string Text() const override;
    void SetText(const std::string& text) override;
    void SaveToStream(TStream& s) const override;
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    void Changed(bool appended);
    TMemo* memo_;
    std::vector<std::string> lines_;
};

// A multi-line text view drawn by the library itself: only the visible
// lines are painted, so appending to a log of 100,000 lines stays cheap.
// Read-only by design (logs, change log, release text); it offers line
// selection and copying (Ctrl+C, Ctrl+A) with the keyboard and the mouse.
class TMemo : public TCustomControl {
public:
    explicit TMemo(TComponent* owner);
    ~TMemo() override;
    TStrings& Lines() { return *lines_; }
    const TStrings& Lines() const { return *lines_; }
    std::string Text() const override { return lines_->Text(); }
    void SetText(const std::string& t) override { lines_->SetText(t); }
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle s);
    bool WordWrap() const { return false; }
    void SetWordWrap(bool) {}
    bool ReadOnly() const { return true; }
    void SetReadOnly(bool) {}
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle b);
    void Clear() { lines_->Clear(); }
    // First visible line; scrolls so that a line is visible.
    int TopLine() const { return topLine_; }
    void SetTopLine(int line);
    void ScrollToEnd();
    int VisibleLineCount() const;
    // Selected lines (inclusive), -1 when none.
    int SelStartLine() const { return selA_ < selB_ ? selA_ : selB_; }
    int SelEndLine() const { return selA_ < selB_ ? selB_ : selA_; }
    void SelectAll();
    void CopyToClipboard();
    TNotifyEvent OnChange;
    void WndProc(TMessage& m) override;

protected:
    friend class TMemoStrings;
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    void Paint() override;
    void FontChanged() override;
    void Resize() override;
    void LinesChanged(bool appended);
    void UpdateScrollBars();
    void MeasureFont();
    int LineAt(int y) const;
    int LongestLineWidth();

    std::unique_ptr<TMemoStrings> lines_;
    TScrollStyle scrollBars_ = ssNone;
    TBorderStyle borderStyle_ = bsSingle;
    int topLine_ = 0;
    int leftPixel_ = 0;
    int lineHeight_ = 13;
    int charWidth_ = 7;
    int maxWidth_ = 0;
    size_t measuredLines_ = 0;
    int selA_ = -1, selB_ = -1;
    bool followEnd_ = true;
    int shownLines_ = 0; // lines the view showed at its last layout (0: none yet)
    bool refreshPosted_ = false;
};

// Base of button, check box and radio button (the system BUTTON class).
class TButtonControl : public TWinControl {
public:
    explicit TButtonControl(TComponent* owner);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool w) { wordWrap_ = w; if (HandleAllocated()) RecreateWnd(); }
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    bool wordWrap_ = false;
};

class TButton : public TButtonControl {
public:
    explicit TButton(TComponent* owner);
    // Enter clicks the default button, Escape the cancel button of a form.
    bool Default() const { return default_; }
    void SetDefault(bool d);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool c) { cancel_ = c; }
    // A click sets the form's ModalResult to this (ends a modal form).
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult r) { modalResult_ = r; }
    void Click() override;

protected:
    void CreateParams(TCreateParams& p) override;
    bool default_ = false;
    bool cancel_ = false;
    TModalResult modalResult_ = mrNone;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCheckBox : public TButtonControl {
public:
    explicit TCheckBox(TComponent* owner);
    bool Checked() const { return state_ == cbChecked; }
    // Setting Checked fires OnClick when the state changes (as the class
    // library does).
    void SetChecked(bool c) { SetState(c ? cbChecked : cbUnchecked); }
    TCheckBoxState State() const { return state_; }
    void SetState(TCheckBoxState s);
    bool AllowGrayed() const { return allowGrayed_; }
    void SetAllowGrayed(bool a) { allowGrayed_ = a; }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a) { alignment_ = a; if (HandleAllocated()) RecreateWnd(); }
    // The next state, as a click gives it.
    void Toggle();
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    TCheckBoxState state_ = cbUnchecked;
    bool allowGrayed_ = false;
    TAlignment alignment_ = taRightJustify;
};

class TRadioButton : public TButtonControl {
public:
    explicit TRadioButton(TComponent* owner);
    bool Checked() const { return checked_; }
    // Checking one unchecks its siblings under the same parent.
    void SetChecked(bool c);
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    bool checked_ = false;
};

// A framed box with a caption that holds other controls.
class TGroupBox : public TCustomControl {
public:
    explicit TGroupBox(TComponent* owner);

protected:
    void CreateParams(TCreateParams& p) override;
    void Paint() override;
    TRect AdjustedClientRect() const override;
    void TextChanged() override { Invalidate(); }
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

class TComboBox;
class TListBox;

// Items of a combo or list box, kept in the control's native list and in a
// copy for when the window is recreated.
class TNativeListStrings : public TStrings {
public:
    TNativeListStrings(TWinControl* ctl, bool combo) : ctl_(ctl), combo_(combo) {}
    int Count() const override { return static_cast<int>(items_.size()); }
    std::string Get(int index) const override;
    void Put(int index, const std::string& s) override;
    void Insert(int index, const std::string& s) override;
    void Delete(int index) override;
    void Clear() override;
    // Refills the native list from the copy (after the window is created).
    void Fill();

private:
    TWinControl* ctl_;
    bool combo_;
    std::vector<std::string> items_;
};

class TComboBox : public TWinControl {
public:
    explicit TComboBox(TComponent* owner);
    ~TComboBox() override;
    TStrings& Items() { return *items_; }
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle s);
    int ItemIndex() const;
    void SetItemIndex(int i);
    int DropDownCount() const { return dropDownCount_; }
    void SetDropDownCount(int c) { dropDownCount_ = c; }
    bool Sorted() const { return sorted_; }
    void SetSorted(bool s) { sorted_ = s; if (HandleAllocated()) RecreateWnd(); }
    std::string Text() const override;
    void SetText(const std::string& t) override;
    TNotifyEvent OnChange;
    TNotifyEvent OnSelect;
    TNotifyEvent OnDropDown;
    TNotifyEvent OnCloseUp;
    void SetBounds(int left, int top, int width, int height) override;
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    void HandleDestroying() override;
    std::unique_ptr<TNativeListStrings> items_;
    TComboBoxStyle style_ = csDropDown;
    int dropDownCount_ = 8;
    bool sorted_ = false;
    int itemIndex_ = -1;
};

class TListBox : public TWinControl {
public:
    explicit TListBox(TComponent* owner);
    ~TListBox() override;
    TStrings& Items() { return *items_; }
    int ItemIndex() const;
    void SetItemIndex(int i);
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool m) { multiSelect_ = m; if (HandleAllocated()) RecreateWnd(); }
    bool Selected(int i) const;
    void SetSelected(int i, bool s);
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int h) { itemHeight_ = h; if (HandleAllocated()) RecreateWnd(); }
    int TopIndex() const;
    void SetTopIndex(int i);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool s) { sorted_ = s; if (HandleAllocated()) RecreateWnd(); }
    TRect ItemRect(int i) const;
    int ItemAtPos(TPoint p, bool existing = true) const;
    void Clear() { items_->Clear(); }
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    void HandleDestroying() override;
    // Owner-drawn list boxes (check list) override DrawItem.
    virtual void DrawItem(int index, const TRect& r, UINT state, HDC dc);
    virtual bool OwnerDraw() const { return false; }
    std::unique_ptr<TNativeListStrings> items_;
    bool multiSelect_ = false;
    bool sorted_ = false;
    int itemHeight_ = 16;
    int itemIndex_ = -1;
};

enum TScrollBarKind { sbHorizontal, sbVertical };
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };
using TScrollEvent = std::function<void(TObject* sender, TScrollCode code, int& pos)>;

class TScrollBar : public TWinControl {
public:
    explicit TScrollBar(TComponent* owner);
    TScrollBarKind Kind() const { return kind_; }
    void SetKind(TScrollBarKind k);
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return pos_; }
    int PageSize() const { return page_; }
    void SetMin(int v) { SetParams(pos_, v, max_); }
    void SetMax(int v) { SetParams(pos_, min_, v); }
    void SetPosition(int p) { SetParams(p, min_, max_); }
    void SetPageSize(int p);
    void SetParams(int pos, int min, int max);
    int SmallChange() const { return small_; }
    void SetSmallChange(int s) { small_ = s; }
    int LargeChange() const { return large_; }
    void SetLargeChange(int l) { large_ = l; }
    TNotifyEvent OnChange;
    TScrollEvent OnScroll;
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    void Apply();
    TScrollBarKind kind_ = sbHorizontal;
    int min_ = 0, max_ = 100, pos_ = 0, page_ = 0, small_ = 1, large_ = 1;
};

} // namespace tw
