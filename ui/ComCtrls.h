// Common controls: page control with tab sheets, status bar, track bar,
// header control, up-down buttons.
#pragma once

#include <string>
#include <vector>

#include "ui/Controls.h"

namespace tw {

class TPageControl;

// One page of a TPageControl; controls are placed on it as on a panel.
class TTabSheet : public TCustomControl {
public:
    explicit TTabSheet(TComponent* owner);
    ~TTabSheet() override;
    TPageControl* PageControl() const { return pageControl_; }
    void SetPageControl(TPageControl* pc);
    int PageIndex() const;
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool v);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int i) { imageIndex_ = i; }
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;

protected:
    friend class TPageControl;
    void CreateParams(TCreateParams& p) override;
    void TextChanged() override;
    TPageControl* pageControl_ = nullptr;
    bool tabVisible_ = true;
    int imageIndex_ = -1;
};

using TTabChangingEvent = std::function<void(TObject* sender, bool& allowChange)>;

class TPageControl : public TWinControl {
public:
    explicit TPageControl(TComponent* owner);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    TTabSheet* Pages(int i) const { return pages_.at(static_cast<size_t>(i)); }
    TTabSheet* ActivePage() const { return active_; }
    void SetActivePage(TTabSheet* p);
    int ActivePageIndex() const;
    void SetActivePageIndex(int i);
    // The next (or previous) page with a visible tab, round the end, as the
    // user picks it: OnChanging may refuse, OnChange follows.
    bool SelectNextPage(bool forward);
    TNotifyEvent OnChange;
    TTabChangingEvent OnChanging;
    void WndProc(TMessage& m) override;
    TRect DisplayRect() const;

protected:
    friend class TTabSheet;
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    void AlignControls(TRect& rect) override;
    void InsertPage(TTabSheet* p);
    void RemovePage(TTabSheet* p);
    void UpdateTabs();
    void ShowActive();
    int TabIndexOf(TTabSheet* p) const;
    std::vector<TTabSheet*> pages_;
    TTabSheet* active_ = nullptr;
};

enum TStatusPanelBevel { pbNone, pbLowered, pbRaised };

struct TStatusPanel {
    std::string Text;
    int Width = 50;
    TAlignment Alignment = taLeftJustify;
    TStatusPanelBevel Bevel = pbLowered;
};

class TStatusBar : public TWinControl {
public:
    explicit TStatusBar(TComponent* owner);
    // With SimplePanel the bar shows SimpleText only.
    bool SimplePanel() const { return simplePanel_; }
    void SetSimplePanel(bool s);
    const std::string& SimpleText() const { return simpleText_; }
    void SetSimpleText(const std::string& t);
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    TStatusPanel& Panels(int i) { return panels_.at(static_cast<size_t>(i)); }
    TStatusPanel& AddPanel(const std::string& text = "", int width = 50);
    void SetPanelText(int i, const std::string& t);
    // Call after changing panels through Panels(i).
    void UpdatePanels();
    bool SizeGrip() const { return sizeGrip_; }
    void SetSizeGrip(bool s) { sizeGrip_ = s; if (HandleAllocated()) RecreateWnd(); }
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    std::vector<TStatusPanel> panels_;
    bool simplePanel_ = false;
    std::string simpleText_;
    bool sizeGrip_ = true;
};

enum TTrackBarOrientation { trHorizontal, trVertical };
enum TTickStyle { tsNone, tsAuto, tsManual };

class TTrackBar : public TWinControl {
public:
    explicit TTrackBar(TComponent* owner);
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const;
    void SetMin(int v) { min_ = v; Apply(); }
    void SetMax(int v) { max_ = v; Apply(); }
    void SetPosition(int p);
    int Frequency() const { return frequency_; }
    void SetFrequency(int f) { frequency_ = f; Apply(); }
    TTrackBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TTrackBarOrientation o) { orientation_ = o; if (HandleAllocated()) RecreateWnd(); }
    TTickStyle TickStyle() const { return tickStyle_; }
    void SetTickStyle(TTickStyle t) { tickStyle_ = t; if (HandleAllocated()) RecreateWnd(); }
    int PageSize() const { return pageSize_; }
    void SetPageSize(int p) { pageSize_ = p; Apply(); }
    TNotifyEvent OnChange;
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    void Apply();
    int min_ = 0, max_ = 10, pos_ = 0, frequency_ = 1, pageSize_ = 2;
    TTrackBarOrientation orientation_ = trHorizontal;
    TTickStyle tickStyle_ = tsAuto;
};

struct THeaderSection {
    std::string Text;
    int Width = 50;
    TAlignment Alignment = taLeftJustify;
};
using TSectionNotifyEvent = std::function<void(TObject* sender, int section)>;

class THeaderControl : public TWinControl {
public:
    explicit THeaderControl(TComponent* owner);
    int SectionCount() const { return static_cast<int>(sections_.size()); }
    THeaderSection& Sections(int i) { return sections_.at(static_cast<size_t>(i)); }
    THeaderSection& AddSection(const std::string& text, int width);
    void UpdateSections();
    TSectionNotifyEvent OnSectionClick;
    TSectionNotifyEvent OnSectionResize;
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
    std::vector<THeaderSection> sections_;
};

enum TUDBtnType { btNext, btPrev };
using TUDClickEvent = std::function<void(TObject* sender, TUDBtnType button)>;

// Up and down arrows (not attached to a buddy; the owner reacts to OnClick).
class TUpDown : public TWinControl {
public:
    explicit TUpDown(TComponent* owner);
    TUDClickEvent OnClick;
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void HandleCreated() override;
};

} // namespace tw
