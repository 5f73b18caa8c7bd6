// Main and popup menus. Each item with children owns a native menu handle
// that stays the same while the item lives; property changes update the
// native item in place, so items can change while their menu is open
// (OnClick of a parent item runs when its submenu opens).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/Object.h"
#include "ui/Graphics.h"
#include "ui/Types.h"

namespace tw {

class TMenu;
class TCustomForm;

using TMenuDrawItemEvent = std::function<void(TObject* sender, TCanvas& canvas, const TRect& r, bool selected)>;
using TMenuMeasureItemEvent = std::function<void(TObject* sender, TCanvas& canvas, int& width, int& height)>;
// With the system's ODS_* state of the item (selected, grayed, checked, hot
// on a menu bar, ...).
using TAdvancedMenuDrawItemEvent = std::function<void(TObject* sender, TCanvas& canvas, const TRect& r, UINT state)>;

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;

    // "-" makes a separator; "&" marks the access key.
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& c);
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut s);
    bool Checked() const { return checked_; }
    // Checking a radio item unchecks the other radio items of its group.
    void SetChecked(bool c);
    bool RadioItem() const { return radioItem_; }
    void SetRadioItem(bool r);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int g) { groupIndex_ = g; }
    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool a) { autoCheck_ = a; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool e);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    bool Default() const { return default_; }
    void SetDefault(bool d);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& h) { hint_ = h; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int i) { imageIndex_ = i; }
    bool IsLine() const { return caption_ == "-"; }
    // The item starts a new column of its popup.
    bool Break() const { return break_; }
    void SetBreak(bool b);
    // The item is drawn by its owner-draw handler (its own, else its
    // menu's) even when its menu as a whole is not owner-drawn.
    bool OwnerDraw() const { return ownerDraw_; }
    void SetOwnerDraw(bool o);

    // --- children
    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int i) const { return items_.at(static_cast<size_t>(i)); }
    TMenuItem* operator[](int i) const { return Items(i); }
    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    // Takes the item out without deleting it.
    void Remove(TMenuItem* item);
    void Delete(int index);
    void Clear();
    int IndexOf(const TMenuItem* item) const;
    TMenuItem* ParentItem() const { return parent_; }
    TMenu* GetParentMenu() const;
    // Convenience: creates an item owned by the same owner as this one.
    TMenuItem* AddItem(const std::string& caption, TNotifyEvent onClick = nullptr, TShortCut sc = 0);

    // The native submenu of an item with children (created on demand).
    HMENU Handle();
    UINT Command() const { return command_; }
    virtual void Click();
    // Finds the item of a command id anywhere in the process.
    static TMenuItem* FindByCommand(UINT id);
    TMenuItem* FindBySubmenu(HMENU h);
    TMenuItem* FindByShortCut(TShortCut sc);

    TNotifyEvent OnClick;
    // Room for owner-drawn items (used when the menu or the item is
    // OwnerDraw).
    TMenuDrawItemEvent OnDrawItem;
    TMenuMeasureItemEvent OnMeasureItem;
    TAdvancedMenuDrawItemEvent OnAdvancedDrawItem;
    // The item of a native submenu handle anywhere in the process.
    static TMenuItem* FindByHandle(HMENU h);
    // The item a WM_DRAWITEM/WM_MEASUREITEM record names: its id, else its
    // item data when that is a live item (a stale pointer is never used).
    static TMenuItem* FromOwnerDraw(UINT id, ULONG_PTR data);

private:
    friend class TMenu;
    void Changed();
    void RebuildSubmenu();
    void FillInfo(MENUITEMINFOW& mi, std::wstring& text);
    int NativePosition() const;
    std::string caption_;
    TShortCut shortCut_ = 0;
    bool break_ = false;
    bool ownerDraw_ = false;
    bool checked_ = false, radioItem_ = false, autoCheck_ = false, enabled_ = true, visible_ = true, default_ = false;
    int groupIndex_ = 0;
    int imageIndex_ = -1;
    std::string hint_;
    std::vector<TMenuItem*> items_;
    TMenuItem* parent_ = nullptr;
    TMenu* menu_ = nullptr; // set on the root item
    HMENU handle_ = nullptr;
    UINT command_ = 0;
};

class TMenu : public TComponent {
public:
    explicit TMenu(TComponent* owner, bool popup);
    ~TMenu() override;
    TMenuItem* Items() const { return items_; }
    HMENU Handle() { return items_->Handle(); }
    bool OwnerDraw() const { return ownerDraw_; }
    void SetOwnerDraw(bool o);
    bool DispatchCommand(UINT id);
    TMenuItem* FindItem(HMENU submenu) { return items_->FindBySubmenu(submenu); }
    bool IsShortCut(TShortCut sc);
    // Called when the native menu changed (a form redraws its menu bar).
    virtual void MenuChanged() {}
    // Painting of owner-drawn items that have no handler of their own (so
    // that items added later are painted the same way).
    TAdvancedMenuDrawItemEvent OnAdvancedDrawItem;
    TMenuMeasureItemEvent OnMeasureItem;

protected:
    // The native menu given up by its items: they no longer change it or
    // destroy it with themselves, and whoever took it destroys it.
    HMENU TakeHandle();

    TMenuItem* items_;
    bool ownerDraw_ = false;
};

class TMainMenu : public TMenu {
public:
    explicit TMainMenu(TComponent* owner);
    void MenuChanged() override;
    // The form whose menu bar this is (set by TCustomForm::SetMenu).
    TCustomForm* Form() const { return form_; }

private:
    friend class TCustomForm;
    TCustomForm* form_ = nullptr;
};

enum TPopupAlignment { paLeft, paRight, paCenter };

class TPopupMenu : public TMenu {
public:
    explicit TPopupMenu(TComponent* owner);
    // A menu freed while Popup shows it (by a message its loop ran) ends
    // that loop and leaves its native menu to Popup, which frees it once the
    // loop has returned and touches nothing else of it.
    ~TPopupMenu() override;
    // Shows the menu at a screen point and runs the chosen item's click.
    void Popup(int x, int y) { Popup(x, y, nullptr); }
    // The same, kept off a screen rectangle (a title the menu was opened
    // from): where there is no room below it, the menu opens above it.
    void Popup(int x, int y, const RECT* keepClear);
    bool AutoPopup() const { return autoPopup_; }
    void SetAutoPopup(bool a) { autoPopup_ = a; }
    TPopupAlignment Alignment() const { return alignment_; }
    void SetAlignment(TPopupAlignment a) { alignment_ = a; }
    // The control that was right-clicked.
    TObject* PopupComponent() const { return popupComponent_; }
    void SetPopupComponent(TObject* c) { popupComponent_ = c; }
    TNotifyEvent OnPopup;
    TNotifyEvent OnClose;

private:
    // Set while Popup's loop runs: where it learns that this menu is gone.
    bool* freedWhileOpen_ = nullptr;
    bool autoPopup_ = true;
    TPopupAlignment alignment_ = paLeft;
    TObject* popupComponent_ = nullptr;
};

// Removes "&" access-key marks ("&&" stays one "&").
std::string StripHotkey(const std::string& caption);
// The access key of a caption (upper case), 0 when it has none.
wchar_t HotkeyOf(const std::string& caption);
// The text of a shortcut ("Ctrl+O"), in the current key names.
std::string ShortCutToText(TShortCut sc);

// WM_MEASUREITEM, WM_DRAWITEM of menu items and WM_MENUCHAR for owner-drawn
// menus, sent to the window that owns the menu: true when handled (the
// result is in m.Result).
bool DispatchMenuOwnerDraw(TMessage& m);

// Ends the thread's menu loop that shows this menu: the system's end, and a
// cancel to the menu window showing it (the loop may not be the one the
// system takes as the top one).
void EndMenuLoop(HMENU shown);

// TrackPopupMenuEx with a screen rectangle to keep clear (may be null): the
// title a menu was opened from. Where the menu has no room below the point,
// it opens above the rectangle, as the system's own title menu does; the
// rectangle is also handed to the system, but not every system honours it,
// so the menu's height is measured the way the menu loop will (owner-drawn
// items ask the owner) and the menu placed by it.
UINT TrackMenuKeepingClear(HMENU menu, UINT flags, int x, int y, HWND owner, const RECT* keepClear);

} // namespace tw
