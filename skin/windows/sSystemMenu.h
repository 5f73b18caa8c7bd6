#pragma once
// The skinned system menu of a form: the popup of the title icon and of a
// right click on the title, drawn by the skinned menus. It also answers
// which caption buttons the form shows and which of them work, and can list
// the skins the manager knows so that the user picks one.
#include <functional>
#include <memory>
#include <string>

#include "ui/Forms.h"
#include "ui/Menus.h"

namespace skin {

class TsSkinManager;
class TacDialogWnd;

class TsCustomSysMenu : public tw::TPopupMenu {
public:
    explicit TsCustomSysMenu(tw::TComponent* owner) : tw::TPopupMenu(owner) {}
    virtual bool VisibleClose() const = 0;
    virtual bool VisibleMax() const = 0;
    virtual bool VisibleMin() const = 0;
    virtual bool EnabledMax() const = 0;
    virtual bool EnabledMin() const = 0;
    virtual bool EnabledRestore() const = 0;

    // The system commands' items, made by the menu that owns them.
    tw::TMenuItem* ItemRestore = nullptr;
    tw::TMenuItem* ItemMove = nullptr;
    tw::TMenuItem* ItemSize = nullptr;
    tw::TMenuItem* ItemMinimize = nullptr;
    tw::TMenuItem* ItemMaximize = nullptr;
    tw::TMenuItem* ItemClose = nullptr;

protected:
    // Makes the items above (Close after a separator, with Alt+F4); each
    // hands its system command to command.
    void AddCommandItems(const std::function<void(WPARAM sc)>& command);
    // The items' captions from the library's texts now in force.
    void UpdateCaptions();
};

// Name of the skin-selection item and the prefix of its sub-items' names.
inline constexpr const char* kSkinSelectItem = "SkinSelectItem";
// A new column of skin names after so many.
inline constexpr int kSkinsPerColumn = 20;

class TsSystemMenu : public TsCustomSysMenu {
public:
    // owner: the form's provider; the provider sets the form.
    explicit TsSystemMenu(tw::TComponent* owner);

    tw::TCustomForm* Form() const { return form_; }
    void SetForm(tw::TCustomForm* form) { form_ = form; }
    // The manager whose skins are listed and chosen.
    TsSkinManager* SkinManager() const { return manager_; }
    void SetSkinManager(TsSkinManager* m) { manager_ = m; }

    bool VisibleClose() const override;
    bool VisibleMax() const override;
    bool VisibleMin() const override;
    bool EnabledMax() const override;
    bool EnabledMin() const override;
    bool EnabledRestore() const override;
    // What the unskinned popup allows for Restore.
    bool RestoreAllowed() const;
    bool MoveAllowed() const;
    bool SizeAllowed() const;

    // Shows, hides, enables and disables the items by the form's state.
    void UpdateItems();
    // Takes the skin-selection item out (with its sub-items) and builds it
    // again from the manager's skin names; nothing without a manager.
    void MakeSkinItems();
    void RemoveSkinItems();
    tw::TMenuItem* SkinItem() const;

private:
    void Command(WPARAM sc, bool update);
    // Maximize or Minimize: shown for a minimized form, never on a tool
    // window's small frame, else as the form's border icons say.
    bool VisibleSizeItem(tw::TBorderIcons borderIcon) const;
    tw::TCustomForm* form_ = nullptr;
    TsSkinManager* manager_ = nullptr;
};

// The system menu of a skinned system dialog: the title icon, a right click
// on the title and Alt+Space open it. Its items send their system command
// to the dialog; which of them show and work follows the dialog's frame and
// state. The size commands are the dialog's items, not caption buttons.
class TacSystemMenu : public TsCustomSysMenu {
public:
    TacSystemMenu(tw::TComponent* owner, TacDialogWnd* dialog);

    bool VisibleClose() const override;
    bool VisibleMax() const override { return false; }
    bool VisibleMin() const override { return false; }
    bool EnabledMax() const override { return false; }
    bool EnabledMin() const override { return false; }
    bool EnabledRestore() const override { return false; }

    void UpdateItems();
    // Shows the menu at a screen point with the dialog as its window (the
    // dialog hears the items' drawing and the chosen command).
    // The title given (screen coordinates, may be null) is kept clear: a
    // dialog at the screen's bottom gets its menu above its title.
    void PopupAt(int x, int y, const RECT* title = nullptr);
    TacDialogWnd* Dialog() const { return dialog_; }
    // Whether PopupAt's menu loop runs now.
    bool Open() const { return open_; }

    // Frees the menu whose dialog adapter goes. An open menu is ended and
    // freed when its loop has returned: the menu must not be destroyed
    // under the loop that shows it (the loop reads it once more when it
    // ends, and a menu window can stay on the screen with no loop to close
    // it).
    static void Release(std::unique_ptr<TacSystemMenu> menu);

private:
    void Command(WPARAM sc);
    TacDialogWnd* dialog_;
    bool open_ = false;
    bool orphaned_ = false;
};

} // namespace skin
