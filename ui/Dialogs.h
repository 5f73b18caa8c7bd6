// Common dialogs (open, save), message dialogs whose button captions and
// titles come from the standard-text table, ShowMessage and InputQuery.
//
// Test seam: SetDialogHook installs a function that sees every dialog
// request first; when it returns a value the dialog is not shown and that
// value is the answer. Window tests and end-to-end runs answer questions
// and pick files this way.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8, mbAbort = 16, mbRetry = 32, mbIgnore = 64,
                         mbAll = 128, mbNoToAll = 256, mbYesToAll = 512, mbHelp = 1024, mbClose = 2048;
constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;
constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;
constexpr TMsgDlgButtons mbAbortRetryIgnore = mbAbort | mbRetry | mbIgnore;

enum TDialogKind { dkMessageDlg, dkMessageBox, dkShowMessage, dkInputQuery, dkOpenFile, dkSaveFile };

// What a dialog is about to ask. For file dialogs and input queries the
// hook may fill Value (file name, answer) and return mrOk / mrCancel.
struct TDialogRequest {
    TDialogKind Kind = dkMessageDlg;
    std::string Text;    // message or prompt
    std::string Caption; // window title
    TMsgDlgType DlgType = mtCustom;
    TMsgDlgButtons Buttons = 0;
    UINT Flags = 0; // MessageBox flags; a file dialog's OPENFILENAME flags
    std::string* Value = nullptr;
};
using TDialogHook = std::function<std::optional<int>(TDialogRequest& request)>;
// Returns the previous hook.
TDialogHook SetDialogHook(TDialogHook hook);
// Asks the hook (if any); used by every dialog of the library.
std::optional<int> CallDialogHook(TDialogRequest& request);

// What the message dialogs are built from. The library builds them from its
// plain label and buttons; a program with a look of its own (the skin) puts
// its classes in place here, and the layout, the answers and the keys stay
// the same. Each member may be empty (the plain one is used); Finish runs
// on the complete form.
struct TMessageDialogParts {
    std::function<TLabel*(TComponent* owner)> NewLabel;
    std::function<TButton*(TComponent* owner)> NewButton;
    std::function<void(TForm& form)> Finish;
};
// Returns the parts in use before.
TMessageDialogParts SetMessageDialogParts(TMessageDialogParts parts);
// A system message box (MB_ flags) as a message dialog of the installed
// parts, answering the system's IDOK.. codes; nullopt when no parts are
// installed or the flags ask for buttons the dialogs do not have (the
// caller then shows the system's box).
std::optional<int> ShowMessageBoxWithParts(const std::string& text, const std::string& caption, UINT flags);

// Shows a message dialog and returns the modal result (mrYes, mrOk, ...).
int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx = 0);
// Builds the dialog form without showing it (the caller owns it).
TForm* CreateMessageDialog(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons);
void ShowMessage(const std::string& msg);
// Asks for a text; true when confirmed with OK (value then holds the answer).
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& def);

using TOpenOptions = unsigned;
constexpr TOpenOptions ofReadOnly = 1, ofOverwritePrompt = 2, ofHideReadOnly = 4, ofNoChangeDir = 8,
                       ofAllowMultiSelect = 16, ofPathMustExist = 32, ofFileMustExist = 64, ofCreatePrompt = 128,
                       ofNoReadOnlyReturn = 256, ofEnableSizing = 512;

class TOpenDialog : public TComponent {
public:
    explicit TOpenDialog(TComponent* owner);
    // "Description|*.ts;*.trp|Other|*.*"
    const std::string& Filter() const { return filter_; }
    void SetFilter(const std::string& f) { filter_ = f; }
    int FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int i) { filterIndex_ = i; }
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& f) { fileName_ = f; }
    const std::vector<std::string>& Files() const { return files_; }
    const std::string& InitialDir() const { return initialDir_; }
    void SetInitialDir(const std::string& d) { initialDir_ = d; }
    const std::string& DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const std::string& e) { defaultExt_ = e; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& t) { title_ = t; }
    TOpenOptions Options() const { return options_; }
    void SetOptions(TOpenOptions o) { options_ = o; }
    // True when the user chose a file (FileName, Files, FilterIndex set).
    virtual bool Execute();

protected:
    bool Run(bool save);
    std::string filter_, fileName_, initialDir_, defaultExt_, title_;
    std::vector<std::string> files_;
    int filterIndex_ = 1;
    TOpenOptions options_ = ofHideReadOnly | ofEnableSizing;
};

class TSaveDialog : public TOpenDialog {
public:
    explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) {}
    bool Execute() override;
};

} // namespace tw
