// Shows a form with the library's controls and saves a screenshot of it as
// a BMP (argument: file name) for looking at.
#include <windows.h>

#include "ui/Application.h"
#include "ui/Buttons.h"
#include "ui/CheckLst.h"
#include "ui/ComCtrls.h"
#include "ui/ExtCtrls.h"
#include "ui/Gauges.h"
#include "ui/ImageFormats.h"
#include "ui/Mask.h"
#include "ui/Menus.h"
#include "ui/Spin.h"
#include "ui/StdCtrls.h"
#include "ui/ValEdit.h"

using namespace tw;

class TDemoForm : public TForm {
public:
    explicit TDemoForm(TComponent* owner) : TForm(owner) {
        SetCaption("Tarnwick UI – Demo");
        SetBounds(0, 0, 640, 480);
        auto* menu = new TMainMenu(this);
        auto* file = new TMenuItem(this);
        file->SetCaption("&Datei");
        menu->Items()->Add(file);
        file->AddItem("&Öffnen...", nullptr, ShortCut('O', ssCtrl));
        auto* help = new TMenuItem(this);
        help->SetCaption("&Hilfe");
        menu->Items()->Add(help);
        SetMenu(menu);

        auto* status = new TStatusBar(this);
        status->SetParent(this);
        status->AddPanel("Bereit", 200);
        status->AddPanel("Größe: 1.2 GB", 200);

        auto* top = new TPanel(this);
        top->SetParent(this);
        top->SetAlign(alTop);
        top->SetHeight(40);
        top->SetCaption("Panel mit Überschrift");
        top->Font().SetStyle(fsBold);

        auto* box = new TGroupBox(this);
        box->SetParent(this);
        box->SetBounds(8, 48, 300, 150);
        box->SetCaption("Vorbereitung");
        auto* label = new TLabel(this);
        label->SetParent(box);
        label->SetBounds(10, 22, 100, 13);
        label->SetCaption("PID scan: OK");
        label->Font().SetColor(clGreen);
        auto* edit = new TEdit(this);
        edit->SetParent(box);
        edit->SetBounds(10, 44, 130, 21);
        edit->SetText("Aufnahme.ts");
        auto* mask = new TMaskEdit(this);
        mask->SetParent(box);
        mask->SetBounds(150, 44, 130, 21);
        mask->SetEditMask("!90:00:00.000;1;_");
        mask->SetText("01:02:03.456");
        auto* check = new TCheckBox(this);
        check->SetParent(box);
        check->SetBounds(10, 74, 130, 17);
        check->SetCaption("Kein Teletext");
        check->SetChecked(true);
        auto* spin = new TSpinEdit(this);
        spin->SetParent(box);
        spin->SetBounds(150, 72, 80, 21);
        spin->SetValue(42);
        auto* combo = new TComboBox(this);
        combo->SetParent(box);
        combo->SetBounds(10, 100, 130, 21);
        combo->SetStyle(csDropDownList);
        combo->Items().Add("Deutsch");
        combo->Items().Add("English");
        combo->SetItemIndex(0);
        auto* ok = new TBitBtn(this);
        ok->SetParent(box);
        ok->SetBounds(150, 100, 90, 27);
        ok->SetKind(bkOK);
        ok->Glyph().SetSize(16, 16);
        ok->Glyph().Canvas().Brush().SetColor(clFuchsia);
        ok->Glyph().Canvas().FillRect(TRect(0, 0, 16, 16));
        ok->Glyph().Canvas().Pen().SetColor(clGreen);
        ok->Glyph().Canvas().Pen().SetWidth(3);
        ok->Glyph().Canvas().MoveTo(2, 8);
        ok->Glyph().Canvas().LineTo(6, 13);
        ok->Glyph().Canvas().LineTo(14, 3);

        auto* radio = new TRadioGroup(this);
        radio->SetParent(this);
        radio->SetBounds(316, 48, 150, 90);
        radio->SetCaption("Priorität");
        radio->Items().Add("Normal");
        radio->Items().Add("Hoch");
        radio->SetItemIndex(1);

        auto* gauge = new TGauge(this);
        gauge->SetParent(this);
        gauge->SetBounds(316, 146, 300, 20);
        gauge->SetForeColor(clNavy);
        gauge->SetProgress(63);

        auto* track = new TTrackBar(this);
        track->SetParent(this);
        track->SetBounds(316, 172, 300, 30);

        auto* pages = new TPageControl(this);
        pages->SetParent(this);
        pages->SetBounds(8, 206, 300, 200);
        auto* sheet1 = new TTabSheet(this);
        sheet1->SetPageControl(pages);
        sheet1->SetCaption("Log");
        auto* memo = new TMemo(this);
        memo->SetParent(sheet1);
        memo->SetAlign(alClient);
        memo->SetScrollBars(ssBoth);
        memo->Font().SetName("Courier New");
        for (int i = 0; i < 50; ++i)
            memo->Lines().Add("TS  ERROR: Continuity error PID $0" + std::to_string(100 + i) + " packet 0000" +
                              std::to_string(1000 + i));
        auto* sheet2 = new TTabSheet(this);
        sheet2->SetPageControl(pages);
        sheet2->SetCaption("PIDs");
        auto* vle = new TValueListEditor(this);
        vle->SetParent(sheet2);
        vle->SetAlign(alClient);
        vle->Strings().Add("$0100=$0100");
        vle->Strings().Add("$0101=$0201");

        auto* checks = new TCheckListBox(this);
        checks->SetParent(this);
        checks->SetBounds(316, 206, 150, 80);
        checks->Items().Add("Video $0100");
        checks->Items().Add("Audio $0101");
        checks->Items().Add("Teletext $0102");
        checks->SetChecked(0, true);
        checks->SetChecked(2, true);

        auto* image = new TImage(this);
        image->SetParent(this);
        image->SetBounds(476, 206, 140, 80);
        image->SetStretch(true);
        auto* png = new TPngImage();
        png->LoadFromResourceID(GetModuleHandleW(nullptr), 100);
        image->Picture().SetGraphic(png);

        auto* speed = new TSpeedButton(this);
        speed->SetParent(this);
        speed->SetBounds(316, 296, 60, 24);
        speed->SetCaption("Flach");
        speed->SetGroupIndex(1);
        speed->SetDown(true);
        auto* button = new TButton(this);
        button->SetParent(this);
        button->SetBounds(386, 296, 80, 24);
        button->SetCaption("START");
        LoadTree();
    }
};

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR cmd, int) {
    Application->Initialize();
    Application->SetTitle("UI demo");
    TDemoForm* form = nullptr;
    Application->CreateForm(form);
    form->Show();
    for (int i = 0; i < 30; ++i) {
        Application->ProcessMessages();
        Sleep(20);
    }
    RECT r;
    GetWindowRect(form->Handle(), &r);
    TBitmap shot(r.right - r.left, r.bottom - r.top, pf24bit);
    HDC screen = GetDC(nullptr);
    BitBlt(shot.Canvas().Handle(), 0, 0, shot.Width(), shot.Height(), screen, r.left, r.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    std::wstring name = cmd && *cmd ? cmd : L"ui-demo.bmp";
    int n = WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string u(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, u.data(), n, nullptr, nullptr);
    shot.SaveToFile(u);
    Application->DestroyForms();
    return 0;
}
