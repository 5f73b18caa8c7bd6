#include "ui/Dialogs.h"

#include <commdlg.h>

#include <algorithm>

#include "base/SysUtils.h"
#include "base/WinText.h"
#include "ui/Application.h"
#include "ui/Consts.h"
#include "ui/ExtCtrls.h"
#include "ui/Guards.h"
#include "ui/Menus.h"

namespace tw {

namespace {
TDialogHook& Hook() {
    static TDialogHook h;
    return h;
}
} // namespace

TDialogHook SetDialogHook(TDialogHook hook) {
    TDialogHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

std::optional<int> CallDialogHook(TDialogRequest& request) {
    if (!Hook()) return std::nullopt;
    TDialogHook h = Hook(); // the hook may replace itself
    return h(request);
}

// ---------------------------------------------------------------- message dialog

namespace {

struct ButtonDef {
    TMsgDlgButtons flag;
    TStdText text;
    TModalResult result;
};
const ButtonDef kButtons[] = {
    {mbYes, stYes, mrYes},         {mbNo, stNo, mrNo},           {mbOK, stOK, mrOk},
    {mbCancel, stCancel, mrCancel}, {mbAbort, stAbort, mrAbort}, {mbRetry, stRetry, mrRetry},
    {mbIgnore, stIgnore, mrIgnore}, {mbAll, stAll, mrAll},       {mbNoToAll, stNoToAll, mrNoToAll},
    {mbYesToAll, stYesToAll, mrYesToAll}, {mbHelp, stHelp, mrNone}, {mbClose, stClose, mrClose},
};

std::string DialogTitle(TMsgDlgType t) {
    switch (t) {
    case mtWarning: return StdText(stWarning);
    case mtError: return StdText(stError);
    case mtInformation: return StdText(stInformation);
    case mtConfirmation: return StdText(stConfirm);
    default: return Application->Title();
    }
}

class TMessageForm : public TForm {
public:
    explicit TMessageForm(TComponent* owner) : TForm(owner) {}
};

TMessageDialogParts& Parts() {
    static TMessageDialogParts p;
    return p;
}

} // namespace

TMessageDialogParts SetMessageDialogParts(TMessageDialogParts parts) {
    TMessageDialogParts old = std::move(Parts());
    Parts() = std::move(parts);
    return old;
}

TForm* CreateMessageDialog(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons) {
    // Owned here until it is complete: a failure half-way frees it.
    auto owned = std::make_unique<TMessageForm>(Application);
    TMessageForm* f = owned.get();
    f->SetName("MessageDlg");
    f->SetBorderStyle(bsDialog);
    f->SetBorderIcons(biSystemMenu);
    f->SetPosition(poScreenCenter);
    f->SetCaption(DialogTitle(type));
    f->Font().SetName("Tahoma");

    int left = 12;
    if (type != mtCustom) {
        LPCWSTR id = type == mtWarning ? IDI_WARNING
                     : type == mtError ? IDI_ERROR
                     : type == mtInformation ? IDI_INFORMATION
                                             : IDI_QUESTION;
        auto* img = new TImage(f);
        img->SetName("Image");
        img->SetParent(f);
        img->SetBounds(12, 12, 32, 32);
        img->Picture().Icon()->SetHandle(CopyIcon(LoadIconW(nullptr, id)));
        left = 56;
    }
    // Size the text: lines break at line feeds and at a third of the
    // screen width.
    RECT tr{0, 0, std::max<int>(200, GetSystemMetrics(SM_CXSCREEN) / 3), 0};
    {
        TWindowDC dc;
        TSelection font(dc, f->Font().Handle());
        std::wstring w = Utf8ToWide(msg);
        DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &tr, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    }

    const TMessageDialogParts& parts = Parts();
    TLabel* label = parts.NewLabel ? parts.NewLabel(f) : new TLabel(f);
    label->SetName("Message");
    label->SetParent(f);
    label->SetShowAccelChar(false);
    label->SetAutoSize(false);
    label->SetWordWrap(true);
    label->SetBounds(left, 12, tr.right + 4, std::max<int>(tr.bottom, 16));
    label->SetCaption(msg);

    std::vector<const ButtonDef*> defs;
    for (const ButtonDef& b : kButtons)
        if (buttons & b.flag) defs.push_back(&b);
    if (defs.empty()) defs.push_back(&kButtons[2]);
    const int bw = 75, bh = 25, gap = 8;
    int rowW = static_cast<int>(defs.size()) * bw + (static_cast<int>(defs.size()) - 1) * gap;
    int clientW = std::max<LONG>(left + tr.right + 16, rowW + 24);
    int textBottom = std::max<int>(12 + tr.bottom, type != mtCustom ? 44 : 0);
    int by = textBottom + 16;
    int bx = (clientW - rowW) / 2;
    bool hasCancel = (buttons & mbCancel) != 0;
    // A lone button answers Escape too, as the system's message boxes do.
    bool lone = defs.size() == 1;
    bool first = true;
    for (const ButtonDef* d : defs) {
        TButton* b = parts.NewButton ? parts.NewButton(f) : new TButton(f);
        b->SetName(StripHotkey(StdText(d->text)));
        b->SetParent(f);
        b->SetBounds(bx, by, bw, bh);
        b->SetCaption(StdText(d->text));
        b->SetModalResult(d->result);
        if (first) {
            b->SetDefault(true);
            f->SetActiveControl(b);
        }
        if (lone || d->flag == mbCancel || (!hasCancel && d->flag == mbNo)) b->SetCancel(true);
        first = false;
        bx += bw + gap;
    }
    f->SetClientSize(clientW, by + bh + 12);
    f->LoadTree();
    if (parts.Finish) parts.Finish(*f);
    return owned.release();
}

std::optional<int> ShowMessageBoxWithParts(const std::string& text, const std::string& caption, UINT flags) {
    const TMessageDialogParts& parts = Parts();
    if (!parts.NewLabel && !parts.NewButton && !parts.Finish) return std::nullopt;
    TMsgDlgButtons buttons = 0;
    switch (flags & MB_TYPEMASK) {
    case MB_OK: buttons = mbOK; break;
    case MB_OKCANCEL: buttons = mbOKCancel; break;
    case MB_ABORTRETRYIGNORE: buttons = mbAbortRetryIgnore; break;
    case MB_YESNOCANCEL: buttons = mbYesNoCancel; break;
    case MB_YESNO: buttons = mbYesNo; break;
    case MB_RETRYCANCEL: buttons = mbRetry | mbCancel; break;
    default: return std::nullopt;
    }
    TMsgDlgType type = mtCustom;
    switch (flags & MB_ICONMASK) {
    case MB_ICONERROR: type = mtError; break;
    case MB_ICONQUESTION: type = mtConfirmation; break;
    case MB_ICONWARNING: type = mtWarning; break;
    case MB_ICONINFORMATION: type = mtInformation; break;
    default: break;
    }
    std::unique_ptr<TForm> f(CreateMessageDialog(text, type, buttons));
    f->SetCaption(caption);
    // MB_DEFBUTTON2.. move the default from the first button.
    const int defaultIndex = static_cast<int>((flags & MB_DEFMASK) >> 8);
    if (defaultIndex > 0) {
        std::vector<TButton*> row;
        for (int i = 0; i < f->ControlCount(); ++i)
            if (auto* b = dynamic_cast<TButton*>(f->Controls(i))) row.push_back(b);
        if (defaultIndex < static_cast<int>(row.size())) {
            for (size_t i = 0; i < row.size(); ++i) row[i]->SetDefault(static_cast<int>(i) == defaultIndex);
            f->SetActiveControl(row[static_cast<size_t>(defaultIndex)]);
        }
    }
    // The modal results are the system's answer codes.
    return f->ShowModal();
}

int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int) {
    TDialogRequest rq;
    rq.Kind = dkMessageDlg;
    rq.Text = msg;
    rq.Caption = DialogTitle(type);
    rq.DlgType = type;
    rq.Buttons = buttons;
    if (auto r = CallDialogHook(rq)) return *r;
    std::unique_ptr<TForm> f(CreateMessageDialog(msg, type, buttons));
    return f->ShowModal();
}

void ShowMessage(const std::string& msg) {
    TDialogRequest rq;
    rq.Kind = dkShowMessage;
    rq.Text = msg;
    rq.Caption = Application->Title();
    rq.DlgType = mtCustom;
    rq.Buttons = mbOK;
    if (CallDialogHook(rq)) return;
    std::unique_ptr<TForm> f(CreateMessageDialog(msg, mtCustom, mbOK));
    f->ShowModal();
}

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    TDialogRequest rq;
    rq.Kind = dkInputQuery;
    rq.Text = prompt;
    rq.Caption = caption;
    std::string answer = value;
    rq.Value = &answer;
    if (auto r = CallDialogHook(rq)) {
        if (*r == mrOk) value = answer;
        return *r == mrOk;
    }
    std::unique_ptr<TForm> f(new TForm(Application));
    f->SetBorderStyle(bsDialog);
    f->SetBorderIcons(biSystemMenu);
    f->SetPosition(poScreenCenter);
    f->SetCaption(caption);
    auto* label = new TLabel(f.get());
    label->SetParent(f.get());
    label->SetBounds(8, 8, 260, 13);
    label->SetCaption(prompt);
    auto* edit = new TEdit(f.get());
    edit->SetName("Edit");
    edit->SetParent(f.get());
    edit->SetBounds(8, 28, 260, 21);
    edit->SetText(value);
    auto* ok = new TButton(f.get());
    ok->SetParent(f.get());
    ok->SetBounds(112, 60, 75, 25);
    ok->SetCaption(StdText(stOK));
    ok->SetModalResult(mrOk);
    ok->SetDefault(true);
    auto* cancel = new TButton(f.get());
    cancel->SetParent(f.get());
    cancel->SetBounds(193, 60, 75, 25);
    cancel->SetCaption(StdText(stCancel));
    cancel->SetModalResult(mrCancel);
    cancel->SetCancel(true);
    f->SetClientSize(276, 93);
    f->SetActiveControl(edit);
    f->LoadTree();
    if (f->ShowModal() != mrOk) return false;
    value = edit->Text();
    return true;
}

std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& def) {
    std::string v = def;
    return InputQuery(caption, prompt, v) ? v : def;
}

// ---------------------------------------------------------------- file dialogs

TOpenDialog::TOpenDialog(TComponent* owner) : TComponent(owner) {}

bool TOpenDialog::Execute() { return Run(false); }

bool TSaveDialog::Execute() { return Run(true); }

namespace {

// The window a file dialog belongs to: the modal form the user works in,
// else the main form. Not simply the active window: a window shown just
// before (the log, say) would own the dialog, open it where it lies and
// leave the main form usable under it.
HWND FileDialogOwner() {
    HWND active = GetActiveWindow();
    if (TCustomForm* f = Screen ? Screen->ActiveForm() : nullptr; f && f->Modal()) return active;
    // A modal form in use owns it even while another window of the program
    // is the active one (a progress window it showed) or none is (the
    // program in the background): the form its loop left enabled is the
    // innermost.
    if (Screen)
        for (int i = Screen->FormCount() - 1; i >= 0; --i) {
            TCustomForm* f = Screen->Forms(i);
            HWND h = f ? f->HandleIfAllocated() : nullptr;
            if (f && f->Modal() && h && IsWindowVisible(h) && IsWindowEnabled(h)) return h;
        }
    if (TCustomForm* main = Application ? Application->MainForm() : nullptr) {
        HWND h = main->HandleIfAllocated();
        if (h && IsWindowVisible(h)) return h;
    }
    return active;
}

DWORD FileDialogFlags(TOpenOptions options) {
    DWORD flags = OFN_EXPLORER;
    if (options & ofReadOnly) flags |= OFN_READONLY;
    if (options & ofOverwritePrompt) flags |= OFN_OVERWRITEPROMPT;
    if (options & ofHideReadOnly) flags |= OFN_HIDEREADONLY;
    if (options & ofNoChangeDir) flags |= OFN_NOCHANGEDIR;
    if (options & ofAllowMultiSelect) flags |= OFN_ALLOWMULTISELECT;
    if (options & ofPathMustExist) flags |= OFN_PATHMUSTEXIST;
    if (options & ofFileMustExist) flags |= OFN_FILEMUSTEXIST;
    if (options & ofCreatePrompt) flags |= OFN_CREATEPROMPT;
    if (options & ofNoReadOnlyReturn) flags |= OFN_NOREADONLYRETURN;
    if (options & ofEnableSizing) flags |= OFN_ENABLESIZING;
    return flags;
}

} // namespace

bool TOpenDialog::Run(bool save) {
    TDialogRequest rq;
    rq.Kind = save ? dkSaveFile : dkOpenFile;
    rq.Text = filter_;
    rq.Caption = title_;
    rq.Flags = FileDialogFlags(options_);
    std::string answer = fileName_;
    rq.Value = &answer;
    if (auto r = CallDialogHook(rq)) {
        if (*r != mrOk) return false;
        fileName_ = answer;
        files_ = {answer};
        return true;
    }
    std::wstring filter = Utf8ToWide(filter_);
    for (auto& c : filter)
        if (c == L'|') c = L'\0';
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    std::wstring buf(65536, L'\0');
    std::wstring initial = Utf8ToWide(fileName_);
    if (initial.size() < buf.size()) std::copy(initial.begin(), initial.end(), buf.begin());
    std::wstring dir = Utf8ToWide(initialDir_), ext = Utf8ToWide(defaultExt_), title = Utf8ToWide(title_);
    if (!ext.empty() && ext[0] == L'.') ext.erase(0, 1);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = FileDialogOwner();
    ofn.lpstrFilter = filter_.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(filterIndex_);
    ofn.lpstrFile = buf.data();
    ofn.nMaxFile = static_cast<DWORD>(buf.size());
    ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    ofn.Flags = rq.Flags;
    // The dialog disables only its owner; like a modal form it must hold
    // every other window of the program too, or a click there reaches a
    // window that acts as if nothing were open.
    std::vector<HWND> others;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND h, LPARAM lp) -> BOOL {
        auto* v = reinterpret_cast<std::vector<HWND>*>(lp);
        if (IsWindowVisible(h) && IsWindowEnabled(h)) v->push_back(h);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&others));
    others.erase(std::remove(others.begin(), others.end(), ofn.hwndOwner), others.end());
    for (HWND h : others) EnableWindow(h, FALSE);
    TScopeExit enableOthers([&] {
        for (HWND h : others)
            if (IsWindow(h)) EnableWindow(h, TRUE);
    });
    BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    enableOthers.Run();
    if (!ok) return false;
    filterIndex_ = static_cast<int>(ofn.nFilterIndex);
    files_.clear();
    // Several files: folder, NUL, names..., NUL NUL.
    const wchar_t* p = buf.c_str();
    std::wstring first = p;
    p += first.size() + 1;
    if ((options_ & ofAllowMultiSelect) && *p) {
        std::string folder = WideToUtf8(first);
        if (!folder.empty() && folder.back() != '\\') folder += '\\';
        while (*p) {
            std::wstring name = p;
            files_.push_back(folder + WideToUtf8(name));
            p += name.size() + 1;
        }
    } else {
        files_.push_back(WideToUtf8(first));
    }
    fileName_ = files_.front();
    return true;
}

} // namespace tw
