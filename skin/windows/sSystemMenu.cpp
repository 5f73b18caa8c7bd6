#include "skin/windows/sSystemMenu.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acDials.h"
#include "ui/Consts.h"

namespace skin {

namespace {

// The skin names' item: the skins' own word, in every language.
constexpr const char* kSkinsCaption = "Skins";

bool SmallFrame(tw::TBorderStyle bs)
{
    return bs == tw::bsDialog || bs == tw::bsNone || bs == tw::bsToolWindow || bs == tw::bsSizeToolWin;
}

} // namespace

void TsCustomSysMenu::AddCommandItems(const std::function<void(WPARAM sc)>& command)
{
    auto add = [this, &command](const char* name, WPARAM sc) {
        tw::TMenuItem* item = Items()->AddItem("", [command, sc](tw::TObject*) { command(sc); });
        item->SetName(name);
        return item;
    };
    ItemRestore = add("miRestore", SC_RESTORE);
    ItemMove = add("miMove", SC_MOVE);
    ItemSize = add("miSize", SC_SIZE);
    ItemMinimize = add("miMinimize", SC_MINIMIZE);
    ItemMaximize = add("miMaximize", SC_MAXIMIZE);
    Items()->AddItem("-");
    ItemClose = add("miClose", SC_CLOSE);
    ItemClose->SetShortCut(tw::TShortCut(tw::scAlt | VK_F4));
    UpdateCaptions();
}

void TsCustomSysMenu::UpdateCaptions()
{
    // Forms are made before the start-up turns the library's texts to the
    // program's language, so the captions are taken anew each time the
    // items are updated for showing, never kept from the form's making.
    const std::pair<tw::TMenuItem*, tw::TStdText> captions[] = {
        {ItemRestore, tw::stMenuRestore},   {ItemMove, tw::stMenuMove},         {ItemSize, tw::stMenuSize},
        {ItemMinimize, tw::stMenuMinimize}, {ItemMaximize, tw::stMenuMaximize}, {ItemClose, tw::stMenuClose},
    };
    for (const auto& [item, text] : captions)
        if (item && item->Caption() != tw::StdText(text))
            item->SetCaption(tw::StdText(text));
}

TsSystemMenu::TsSystemMenu(tw::TComponent* owner) : TsCustomSysMenu(owner)
{
    // Restore and Maximize change what the other items offer.
    AddCommandItems([this](WPARAM sc) { Command(sc, sc == SC_RESTORE || sc == SC_MAXIMIZE); });
    ItemClose->SetDefault(true);
}

void TsSystemMenu::Command(WPARAM sc, bool update)
{
    if (form_ && form_->HandleAllocated())
        SendMessageW(form_->HandleIfAllocated(), WM_SYSCOMMAND, sc, 0);
    if (update)
        UpdateItems();
}

bool TsSystemMenu::VisibleClose() const
{
    return form_ && (form_->BorderIcons() & tw::biSystemMenu);
}

bool TsSystemMenu::VisibleSizeItem(tw::TBorderIcons borderIcon) const
{
    if (!VisibleClose())
        return false;
    if (form_->WindowState() == tw::wsMinimized)
        return true;
    if (SmallFrame(form_->BorderStyle()))
        return false;
    return (form_->BorderIcons() & borderIcon) != 0;
}

bool TsSystemMenu::VisibleMax() const { return VisibleSizeItem(tw::biMaximize); }

bool TsSystemMenu::VisibleMin() const { return VisibleSizeItem(tw::biMinimize); }

bool TsSystemMenu::EnabledMax() const
{
    if (!form_ || form_->WindowState() == tw::wsMaximized)
        return false;
    const tw::TBorderStyle bs = form_->BorderStyle();
    if (bs != tw::bsSingle && bs != tw::bsSizeable)
        return false;
    return (form_->BorderIcons() & tw::biMaximize) != 0;
}

bool TsSystemMenu::EnabledMin() const
{
    return form_ && (form_->BorderIcons() & tw::biMinimize) && form_->WindowState() != tw::wsMinimized;
}

bool TsSystemMenu::EnabledRestore() const
{
    if (!form_)
        return false;
    const tw::TWindowState ws = form_->WindowState();
    return ((form_->BorderIcons() & tw::biMaximize) && ws != tw::wsNormal) || ws == tw::wsMinimized;
}

bool TsSystemMenu::RestoreAllowed() const
{
    return form_ && !SmallFrame(form_->BorderStyle()) && EnabledRestore();
}

bool TsSystemMenu::MoveAllowed() const
{
    return form_ && form_->WindowState() == tw::wsNormal;
}

bool TsSystemMenu::SizeAllowed() const
{
    if (!form_ || form_->WindowState() != tw::wsNormal)
        return false;
    const tw::TBorderStyle bs = form_->BorderStyle();
    return bs == tw::bsSizeable || bs == tw::bsSizeToolWin;
}

void TsSystemMenu::UpdateItems()
{
    UpdateCaptions();
    ItemRestore->SetEnabled(RestoreAllowed());
    ItemMove->SetEnabled(MoveAllowed());
    ItemSize->SetEnabled(SizeAllowed());
    ItemMinimize->SetVisible(VisibleMin());
    ItemMinimize->SetEnabled(EnabledMin());
    ItemMaximize->SetVisible(VisibleMax());
    ItemMaximize->SetEnabled(EnabledMax());
    ItemClose->SetVisible(VisibleClose());
}

tw::TMenuItem* TsSystemMenu::SkinItem() const
{
    for (int i = 0; i < Items()->Count(); ++i)
        if (Items()->Items(i)->Name() == kSkinSelectItem)
            return Items()->Items(i);
    return nullptr;
}

void TsSystemMenu::RemoveSkinItems()
{
    tw::TMenuItem* item = SkinItem();
    if (!item)
        return;
    const int at = Items()->IndexOf(item);
    // The line that set the list apart goes with it.
    if (at + 1 < Items()->Count() && Items()->Items(at + 1)->IsLine())
        Items()->Delete(at + 1);
    Items()->Delete(at);
}

void TsSystemMenu::MakeSkinItems()
{
    RemoveSkinItems();
    if (!manager_)
        return;
    const std::vector<std::string> names = manager_->GetSkinNames(2);
    if (names.empty())
        return;
    auto* root = new tw::TMenuItem(this);
    root->SetName(kSkinSelectItem);
    root->SetCaption(kSkinsCaption);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string name = names[i];
        auto* item = new tw::TMenuItem(this);
        item->SetName(kSkinSelectItem + std::to_string(i));
        // A skin name is shown as it is: "&" is no access key here.
        std::string caption;
        for (char c : name) {
            caption += c;
            if (c == '&')
                caption += '&';
        }
        item->SetCaption(caption);
        item->SetRadioItem(true);
        item->SetBreak(i > 0 && i % kSkinsPerColumn == 0);
        item->SetChecked(name == manager_->SkinName());
        item->OnClick = [this, name](tw::TObject*) {
            if (manager_ && manager_->SkinName() != name)
                manager_->SetSkinName(name);
        };
        root->Add(item);
    }
    // Just above the close command, set apart from it by a line.
    const int at = std::max(0, Items()->IndexOf(ItemClose));
    Items()->Insert(at, root);
    auto* line = new tw::TMenuItem(this);
    line->SetCaption("-");
    Items()->Insert(at + 1, line);
}

// ---------------------------------------------------------------------------
// The system menu of a skinned system dialog

TacSystemMenu::TacSystemMenu(tw::TComponent* owner, TacDialogWnd* dialog) : TsCustomSysMenu(owner), dialog_(dialog)
{
    AddCommandItems([this](WPARAM sc) { Command(sc); });
}

void TacSystemMenu::Command(WPARAM sc)
{
    // Posted: closing a dialog may end it, and with it this menu, before a
    // sent command came back. The dialog updates the items once it ran.
    if (dialog_ && IsWindow(dialog_->Handle()))
        PostMessageW(dialog_->Handle(), WM_SYSCOMMAND, sc, 0);
}

bool TacSystemMenu::VisibleClose() const { return dialog_ && (dialog_->Style() & WS_SYSMENU); }

void TacSystemMenu::UpdateItems()
{
    UpdateCaptions();
    if (!dialog_)
        return;
    const LONG_PTR style = dialog_->Style();
    const int kind = dialog_->BorderKind();
    const bool sysMenu = (style & WS_SYSMENU) != 0;
    const HWND wnd = dialog_->Handle();
    ItemRestore->SetVisible(kind != 0 && kind != 2 && kind != 4 && kind != 5 && sysMenu);
    ItemMove->SetVisible(true);
    ItemSize->SetVisible(kind != 0 && kind != 2 && kind != 4);
    ItemMinimize->SetVisible((style & WS_MINIMIZEBOX) != 0);
    ItemMaximize->SetVisible((style & WS_MAXIMIZEBOX) != 0);
    ItemClose->SetVisible(sysMenu);
    ItemRestore->SetEnabled(dialog_->RestoreEnabled());
    ItemMove->SetEnabled(!IsZoomed(wnd));
    ItemSize->SetEnabled(kind != 1 && !IsIconic(wnd));
    ItemMinimize->SetEnabled(dialog_->MinimizeEnabled());
    ItemMaximize->SetEnabled(dialog_->MaximizeEnabled());
    ItemClose->SetEnabled(true);
}

void TacSystemMenu::PopupAt(int x, int y, const RECT* title)
{
    if (!dialog_ || !IsWindow(dialog_->Handle()))
        return;
    UpdateItems();
    if (OnPopup)
        OnPopup(this);
    // The menu's loop runs the program's messages: the dialog's adapter may
    // be gone when it returns (the skin taken away). This menu then outlived
    // it for the loop's sake (Release) and goes now.
    const TacMainWnd::TLife life(*dialog_);
    open_ = true;
    const UINT cmd = tw::TrackMenuKeepingClear(Handle(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y,
                                               dialog_->Handle(), title);
    open_ = false;
    if (orphaned_) {
        delete this;
        return;
    }
    if (!life.Alive())
        return;
    if (OnClose)
        OnClose(this);
    if (cmd)
        DispatchCommand(cmd);
}

void TacSystemMenu::Release(std::unique_ptr<TacSystemMenu> menu)
{
    if (!menu || !menu->open_)
        return;   // a closed menu goes with the pointer
    TacSystemMenu* open = menu.release();
    open->orphaned_ = true;
    open->dialog_ = nullptr;
    // Its items are no longer drawn by the skin that goes.
    open->OnMeasureItem = nullptr;
    open->OnAdvancedDrawItem = nullptr;
    tw::EndMenuLoop(open->Handle());
}

} // namespace skin
