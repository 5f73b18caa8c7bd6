// The Windows side of the skin library's utilities: message boxes, system
// queries and the program's folder.
#include "skin/engine/common/SkinUtils.h"

#include <shellapi.h>

#include <memory>

#include "base/SysUtils.h"
#include "base/WinText.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Graphics.h"

namespace skin {

TPoint DialogPos(-1, -1);

namespace {

const char* const kCaptions[] = {"Warning", "Error", "Information", "Confirm"};

tw::TMsgDlgType DialogType(int kind)
{
    switch (kind) {
    case 0: return tw::mtWarning;
    case 1: return tw::mtError;
    case 2: return tw::mtInformation;
    case 3: return tw::mtConfirmation;
    default: return tw::mtCustom;
    }
}

} // namespace

int ShowSkinMessage(const std::string& text, int kind, unsigned buttons, int)
{
    const std::string caption = kind >= 0 && kind <= 3 ? kCaptions[kind] : tw::Application->Title();
    tw::TDialogRequest rq;
    rq.Kind = tw::dkMessageDlg;
    rq.Text = text;
    rq.Caption = caption;
    rq.DlgType = DialogType(kind);
    rq.Buttons = buttons;
    if (auto r = tw::CallDialogHook(rq)) return *r;
    std::unique_ptr<tw::TForm> box(tw::CreateMessageDialog(text, DialogType(kind), buttons));
    box->SetCaption(caption);
    // A box asked for at a screen point (ShowSkinMessageAt) is shown there.
    if (DialogPos.X != -1 || DialogPos.Y != -1) {
        box->SetPosition(tw::poDesigned);
        box->SetBounds(DialogPos.X, DialogPos.Y, box->Width(), box->Height());
    }
    // The message must not hide behind a topmost or inactive window.
    box->SetFormStyle(tw::fsStayOnTop);
    box->OnShow = [](tw::TObject* sender) { SetForegroundWindow(static_cast<tw::TForm*>(sender)->Handle()); };
    return box->ShowModal();
}

int ShowSkinMessageAt(const std::string& text, int kind, unsigned buttons, int x, int y)
{
    // The dialog skinning moves the next message box to DialogPos; the
    // position is given back however the box ends.
    struct TRestore {
        ~TRestore() { DialogPos = TPoint(-1, -1); }
    } restore;
    DialogPos = TPoint(x, y);
    return ShowSkinMessage(text, kind, buttons, 0);
}

void ShowWarning(const std::string& text) { ShowSkinMessage(text, 0, tw::mbOK, 0); }
int ShowError(const std::string& text) { return ShowSkinMessage(text, 1, tw::mbOK, 0); }
void ShowAlert() { ShowWarning("Alert"); }

std::string AppFolder() { return tw::ExtractFilePath(tw::Application->ExeName()); }

std::unique_ptr<tw::TIcon> GetFileIcon(const std::string& fileName, unsigned flags)
{
    if (!tw::FileExists(fileName)) return nullptr;
    SHFILEINFOW info{};
    const std::wstring name = tw::Utf8ToWide(fileName);
    if (!SHGetFileInfoW(name.c_str(), 0, &info, sizeof(info), flags | SHGFI_ICON) || info.hIcon == nullptr)
        return nullptr;
    auto icon = std::make_unique<tw::TIcon>();
    icon->SetHandle(info.hIcon);
    if (icon->Empty()) return nullptr;
    return icon;
}

int FindFirstEntry(const std::string& pathMask, int attr, TSearchRec& rec)
{
    FindCloseEntry(rec);
    rec.ExcludeAttr = ~attr & (faHidden | faSysFile | faDirectory);
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(tw::Utf8ToWide(pathMask).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return int(GetLastError());
    rec.FindHandle = h;
    // Skip what the attributes leave out, as the first match may be one.
    for (;;) {
        if (!(int(data.dwFileAttributes) & rec.ExcludeAttr)) {
            rec.Name = tw::WideToUtf8(data.cFileName);
            rec.Size = (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            rec.Attr = int(data.dwFileAttributes) & faAnyFile;
            return 0;
        }
        if (!FindNextFileW(h, &data)) return int(GetLastError());
    }
}

int FindNextEntry(TSearchRec& rec)
{
    if (rec.FindHandle == nullptr) return ERROR_NO_MORE_FILES;
    WIN32_FIND_DATAW data;
    while (FindNextFileW(static_cast<HANDLE>(rec.FindHandle), &data)) {
        if (int(data.dwFileAttributes) & rec.ExcludeAttr) continue;
        rec.Name = tw::WideToUtf8(data.cFileName);
        rec.Size = (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        rec.Attr = int(data.dwFileAttributes) & faAnyFile;
        return 0;
    }
    return int(GetLastError());
}

void FindCloseEntry(TSearchRec& rec)
{
    if (rec.FindHandle) FindClose(static_cast<HANDLE>(rec.FindHandle));
    rec.FindHandle = nullptr;
}

bool IsWinXPUp()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return false;
#pragma GCC diagnostic pop
    return info.dwMajorVersion > 5 || (info.dwMajorVersion == 5 && info.dwMinorVersion >= 1);
}

namespace {

// The caption font from the non-client metrics, queried with the structure
// size of the oldest systems (without the padded border width).
bool CaptionFont(LOGFONTW& font)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = 340 + 160; // the 8-bit structure's 340 bytes with wide face names
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) return false;
    font = metrics.lfCaptionFont;
    return true;
}

} // namespace

int CaptionFontHeight()
{
    LOGFONTW font;
    return CaptionFont(font) ? font.lfHeight : 0;
}

HFONT CreateCaptionFont()
{
    LOGFONTW font;
    return CaptionFont(font) ? CreateFontIndirectW(&font) : nullptr;
}

void WaitWithMessages(unsigned milliseconds)
{
    const uint64_t start = tw::GetTickCount64Ms();
    do {
        tw::Application->ProcessMessages();
        if (tw::GetTickCount64Ms() - start < milliseconds) Sleep(1);
    } while (tw::GetTickCount64Ms() - start < milliseconds);
}

} // namespace skin
