// The Windows side of the skin library's utilities: message boxes, system
// queries and the program's folder.
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/common/SkinMessages.h"

#include <shellapi.h>

#include <functional>
#include <memory>
#include <vector>

#include "base/SysUtils.h"
#include "base/WinText.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Graphics.h"
#include "ui/StdCtrls.h"

namespace skin {

const uint32_t RegisteredSkinMessage = RegisterWindowMessageA("SM_ALPHACMD");

TPoint DialogPos(-1, -1);

int ScrollBtnLength = GetSystemMetrics(SM_CXHSCROLL);

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

// ---------------------------------------------------------------------------
// Published properties by name

namespace {

enum class TPropKind { Ordinal, Set, Object };

struct TPublished {
    const char* Name;
    TPropKind Kind;
    std::function<bool(tw::TObject*)> Applies;
    std::function<int(tw::TObject*)> Get;
    std::function<void(tw::TObject*, int)> Put;
    std::function<tw::TObject*(tw::TObject*)> Object;
    std::vector<const char*> Elements;   // set members by bit
};

template <class T> std::function<bool(tw::TObject*)> Is()
{
    return [](tw::TObject* o) { return dynamic_cast<T*>(o) != nullptr; };
}

template <class T, class Getter, class Setter>
TPublished Ordinal(const char* name, Getter get, Setter put, TPropKind kind = TPropKind::Ordinal,
                   std::vector<const char*> elements = {})
{
    return TPublished{name,
                      kind,
                      Is<T>(),
                      [get](tw::TObject* o) { return int(get(*dynamic_cast<T*>(o))); },
                      [put](tw::TObject* o, int v) { put(*dynamic_cast<T*>(o), v); },
                      nullptr,
                      std::move(elements)};
}

const std::vector<TPublished>& PublishedTable()
{
    using tw::TControl;
    static const std::vector<TPublished> table = {
        Ordinal<tw::TComponent>("Tag", [](tw::TComponent& c) { return c.Tag(); },
                                [](tw::TComponent& c, int v) { c.SetTag(v); }),
        Ordinal<TControl>("Color", [](TControl& c) { return c.Color(); },
                          [](TControl& c, int v) { c.SetColor(tw::TColor(v)); }),
        Ordinal<TControl>("Enabled", [](TControl& c) { return c.Enabled(); },
                          [](TControl& c, int v) { c.SetEnabled(v != 0); }),
        Ordinal<TControl>("Visible", [](TControl& c) { return c.Visible(); },
                          [](TControl& c, int v) { c.SetVisible(v != 0); }),
        Ordinal<TControl>("Left", [](TControl& c) { return c.Left(); }, [](TControl& c, int v) { c.SetLeft(v); }),
        Ordinal<TControl>("Top", [](TControl& c) { return c.Top(); }, [](TControl& c, int v) { c.SetTop(v); }),
        Ordinal<TControl>("Width", [](TControl& c) { return c.Width(); }, [](TControl& c, int v) { c.SetWidth(v); }),
        Ordinal<TControl>("Height", [](TControl& c) { return c.Height(); },
                          [](TControl& c, int v) { c.SetHeight(v); }),
        Ordinal<TControl>("ParentColor", [](TControl& c) { return c.ParentColor(); },
                          [](TControl& c, int v) { c.SetParentColor(v != 0); }),
        Ordinal<TControl>("ParentFont", [](TControl& c) { return c.ParentFont(); },
                          [](TControl& c, int v) { c.SetParentFont(v != 0); }),
        TPublished{"Font", TPropKind::Object, Is<TControl>(), nullptr, nullptr,
                   [](tw::TObject* o) -> tw::TObject* { return &dynamic_cast<TControl*>(o)->Font(); }, {}},
        Ordinal<tw::TLabel>("Transparent", [](tw::TLabel& c) { return c.Transparent(); },
                            [](tw::TLabel& c, int v) { c.SetTransparent(v != 0); }),
        Ordinal<tw::TCustomForm>("BorderStyle", [](tw::TCustomForm& f) { return f.BorderStyle(); },
                                 [](tw::TCustomForm& f, int v) { f.SetBorderStyle(tw::TBorderStyle(v)); }),
        Ordinal<tw::TCustomForm>("BorderIcons", [](tw::TCustomForm& f) { return f.BorderIcons(); },
                                 [](tw::TCustomForm& f, int v) { f.SetBorderIcons(tw::TBorderIcons(v)); },
                                 TPropKind::Set, {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}),
        Ordinal<tw::TCustomForm>("FormStyle", [](tw::TCustomForm& f) { return f.FormStyle(); },
                                 [](tw::TCustomForm& f, int v) { f.SetFormStyle(tw::TFormStyle(v)); }),
        Ordinal<tw::TFont>("Color", [](tw::TFont& f) { return f.Color(); },
                           [](tw::TFont& f, int v) { f.SetColor(tw::TColor(v)); }),
        Ordinal<tw::TFont>("Size", [](tw::TFont& f) { return f.Size(); }, [](tw::TFont& f, int v) { f.SetSize(v); }),
        Ordinal<tw::TFont>("Style", [](tw::TFont& f) { return f.Style(); },
                           [](tw::TFont& f, int v) { f.SetStyle(tw::TFontStyles(v)); }, TPropKind::Set,
                           {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}),
    };
    return table;
}

const TPublished* FindPublished(tw::TObject* obj, const std::string& name)
{
    if (!obj) return nullptr;
    for (const TPublished& p : PublishedTable())
        if (tw::SameText(p.Name, name) && p.Applies(obj)) return &p;
    return nullptr;
}

// The set's members present in the value, as "a,b" without brackets.
std::string SetText(const TPublished& p, int value)
{
    std::string text;
    for (size_t bit = 0; bit < p.Elements.size() && bit < 32; ++bit) {
        if (!(unsigned(value) & (1u << bit))) continue;
        if (!text.empty()) text += ',';
        text += p.Elements[bit];
    }
    return text;
}

// Names that are not members (also the empty one a leading comma leaves)
// add nothing.
int SetValue(const TPublished& p, const std::string& text)
{
    unsigned value = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        const std::string name = tw::Trim(text.substr(start, end - start));
        for (size_t bit = 0; bit < p.Elements.size() && bit < 32; ++bit)
            if (name == p.Elements[bit]) value |= 1u << bit;
        start = end + 1;
    }
    return int(value);
}

} // namespace

bool HasProperty(tw::TObject* obj, const std::string& name) { return FindPublished(obj, name) != nullptr; }

tw::TObject* GetObjectPropByName(tw::TObject* obj, const std::string& name)
{
    const TPublished* p = FindPublished(obj, name);
    return p && p->Kind == TPropKind::Object ? p->Object(obj) : nullptr;
}

int GetOrdPropByName(tw::TObject* obj, const std::string& name)
{
    const TPublished* p = FindPublished(obj, name);
    return p && p->Kind != TPropKind::Object ? p->Get(obj) : -1;
}

void SetOrdPropByName(tw::TObject* obj, const std::string& name, int value)
{
    const TPublished* p = FindPublished(obj, name);
    if (p && p->Kind != TPropKind::Object) p->Put(obj, value);
}

bool SetPropHasElement(tw::TObject* obj, const std::string& propName, const std::string& elementName)
{
    const TPublished* p = FindPublished(obj, propName);
    if (!p || p->Kind != TPropKind::Set) return false;
    const unsigned value = unsigned(p->Get(obj));
    for (size_t bit = 0; bit < p->Elements.size() && bit < 32; ++bit)
        if ((value & (1u << bit)) && elementName == p->Elements[bit]) return true;
    return false;
}

void ChangeSetProp(tw::TObject* obj, const std::string& propName, const std::string& elementName, bool add)
{
    const TPublished* p = FindPublished(obj, propName);
    if (!p || p->Kind != TPropKind::Set || elementName.empty()) return;
    std::string text = SetText(*p, p->Get(obj));
    if (add) {
        if (text.find(elementName) != std::string::npos) return;
        text += "," + elementName;
    } else {
        size_t at;
        if ((at = text.find("," + elementName)) != std::string::npos)
            text.erase(at, elementName.size() + 1);
        else if ((at = text.find(elementName + ",")) != std::string::npos)
            text.erase(at, elementName.size() + 1);
        else if ((at = text.find(elementName)) != std::string::npos)
            text.erase(at, elementName.size());
        else
            return;
    }
    p->Put(obj, SetValue(*p, text));
}

} // namespace skin
