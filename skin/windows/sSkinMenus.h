#pragma once
// Menus drawn from the skin. The service switches a form's main menu and its
// popup menus to owner-drawn items and paints them: the menu line from
// MENULINE (a hot or open item from MAINMENU), popup items from MENUITEM
// with the icon column of ICOLINE at their left, the shortcut in a
// right-aligned column, and the popup window's frame from MAINMENU. The
// system keeps everything else of a menu (opening, keyboard, hit tests,
// commands), so a skinned menu works exactly as an unskinned one.
#include <windows.h>

#include <functional>
#include <string>

#include "skin/engine/common/SkinUtils.h"
#include "ui/Menus.h"

namespace skin {

class TsSkinManager;

// The item state the menu line's painter adds to the system's ODS_* flags
// (no access-key underline, and the bit the system leaves unused).
inline constexpr UINT kMenuLineState = ODS_NOACCEL | 0x400;

// Sizes of the popup items (pixels).
inline constexpr int kMenuIconColumn = 24;     // the ICOLINE strip
inline constexpr int kMenuSeparatorHeight = 7;
inline constexpr int kMenuMinItemHeight = 20;
inline constexpr int kMenuShortCutGap = 24;    // between caption and shortcut
inline constexpr int kMenuArrowRoom = 16;      // the submenu arrow the system draws

// What the extra line along a popup's left edge shows; asked for the popup's
// first item. LineVisible false (the default) leaves the line out; a glyph
// the handler puts into the (empty) bitmap is drawn at the line's top.
using TacGetExtraLineData = std::function<void(tw::TMenuItem* firstItem, std::string& skinSection,
                                               std::string& caption, tw::TBitmap& glyph, bool& lineVisible)>;

// The service's record of one popup menu: its menu, the window that shows it
// (once known) and the first item its painter drew.
struct TacMenuInfo {
    HMENU Menu = nullptr;
    HWND Wnd = nullptr;
    tw::TMenuItem* FirstItem = nullptr;
};

class TsSkinableMenus : public tw::TComponent {
public:
    // Owned (and freed) by its manager.
    explicit TsSkinableMenus(TsSkinManager* manager);
    ~TsSkinableMenus() override;
    // The service of a manager, made on first use; nullptr without manager.
    static TsSkinableMenus* Of(TsSkinManager* manager);

    TsSkinManager* Manager() const { return manager_; }
    // True while the loaded skin draws menus (it has the MENUITEM section)
    // and the manager's SkinnedPopups is on.
    bool Active() const;
    // Takes the skin's menu setting again; true when it changed.
    bool UpdateFromSkin();
    bool ActiveState() const { return active_; }

    // Switches a popup menu (and items added to it later) into or out of
    // skinned owner-drawn painting.
    void PrepareMenu(tw::TMenu* menu, bool skinned);
    // The same for a main menu: the menu line and every dropdown.
    void PrepareMainMenu(tw::TMainMenu* menu, bool skinned) { PrepareMenu(menu, skinned); }
    // One item alone (of a menu the service does not paint as a whole): it
    // measures and paints itself through the service, or no more. An item
    // of a main menu's line only gets the painting; the line is drawn
    // owner-drawn with its menu.
    void PrepareMenu(tw::TMenuItem* item, bool skinned);
    // The record of a popup menu, found by its first item (item) or, without
    // one, by its window (wnd); with create a missing one is made. nullptr
    // when there is none. The record stays valid until its window is
    // forgotten or the records are cleared.
    static TacMenuInfo* GetMenuInfo(tw::TMenuItem* item, bool create, HWND wnd = nullptr);
    // Drops the records of popups whose window is gone or never came (a new
    // skin, the skin removed).
    static void ClearMenuInfos();
    bool Prepared(const tw::TMenu* menu) const;

    // WM_MEASUREITEM of an item (canvas with the menu font selected).
    void MeasureItem(tw::TMenuItem* item, tw::TCanvas& canvas, int& width, int& height);
    // Paints one item into a canvas: on the menu line when it is a top-level
    // item of a main menu or the state has kMenuLineState.
    void DrawItem(tw::TMenuItem* item, tw::TCanvas& canvas, const TRect& r, UINT state);
    static bool OnMenuLine(const tw::TMenuItem* item, UINT state);

    // Gives a popup-menu window ("#32768") the skin's frame; a window that is
    // already ours is told that its menu was prepared again.
    void SubclassMenuWindow(HWND wnd);
    // Number of popup windows skinned so far (tests).
    int SubclassedWindows() const { return subclassed_; }

    TacGetExtraLineData OnGetMenuExtraLineData;

    // The skin sections the painter takes its look from.
    struct TMenuSections {
        int Line = -1, Item = -1, Main = -1, Icons = -1;
    };
    // Looked up once per skin, not for every item painted.
    const TMenuSections& Sections();
    // A new skin: the sections are looked up again at the next paint.
    void ResetSkinCache() { sectionsValid_ = false; }

private:
    friend bool SkinMenuWindowMessage(HWND, UINT, WPARAM, LPARAM, const std::function<LRESULT(UINT, WPARAM, LPARAM)>&,
                                      LRESULT&);
    const TacGetExtraLineData& ExtraLineEvent() const;
    void PaintPopupFrame(HWND wnd, HDC dc);
    static LRESULT CALLBACK MenuWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    void PostPopupMessage(tw::TMenuItem* item);

    TsSkinManager* manager_;
    bool active_ = false;
    int subclassed_ = 0;
    TMenuSections sections_;
    std::string sectionsIcoLine_;   // the icon-line section name they were found for
    bool sectionsValid_ = false;
};

// A top-level item of a main menu that the system drew hot or open straight
// onto its form's window: the form's frame picture keeps the item's normal
// look, and the system does not draw it normal again once the mouse moved on
// to the skinned title. The form's provider draws it normal before a title
// button changes its hot state. One item at a time, for every form.
struct TacPendingMenuItem {
    // Only compared: the record is used once the item is found alive by its
    // command (command numbers are never given twice).
    tw::TMenuItem* Item = nullptr;
    UINT Command = 0;
    HWND Wnd = nullptr;   // the form's window
    TRect Rect;           // the item, in window coordinates
};
// The pending item, nullptr when there is none or its item, its menu or its
// form has gone (the record is dropped then).
const TacPendingMenuItem* PendingMenuLineItem();
void ClearPendingMenuLineItem();

// Set while a form's skinned system menu is what came up last: it pops up
// as a plain popup of the form's, and the next popup the form opens (its
// menu line's, not the window menu the system tracks) clears it.
bool SystemMenuUp();
void SetSystemMenuUp(bool up);

// The skin's part in one message of a popup-menu window: the frame painted
// after the window's own painting (callOld runs the window's own procedure).
// False leaves the message to the window's procedure alone.
bool SkinMenuWindowMessage(HWND wnd, UINT msg, WPARAM wp, LPARAM lp,
                           const std::function<LRESULT(UINT, WPARAM, LPARAM)>& callOld, LRESULT& result);
// The popup window of a menu is skinned now (or no more): the painter of
// its first item stops (or starts again) reporting it. True when the table
// changed (a window or menu it did not know).
bool RememberMenuWindow(HWND wnd);
void ForgetMenuWindow(HWND wnd);

// The frame of a popup-menu window as the system laid it out: how far its
// first item lies inside the client area (what the skin's frame covers).
TRect PopupMenuInsets(HWND wnd);
// True while the visible popup window of this menu has the skin's frame.
bool SkinnedMenuWindow(HMENU menu);

} // namespace skin
