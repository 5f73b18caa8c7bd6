#include "app/MainHost.h"

#include <windows.h>

#include "app/MainForm.h"
#include "shared/ProgressForm.h"
#include "shared/Settings.h"
#include "analysis/AppLog.h"
#include "analysis/MainTexts.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

namespace tw {

std::string SystemWindowsVersionText() {
    OSVERSIONINFOW vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&vi);
#pragma GCC diagnostic pop
    int build = static_cast<int>(vi.dwPlatformId == VER_PLATFORM_WIN32_NT ? vi.dwBuildNumber : (vi.dwBuildNumber & 0xFFFF));
    return WindowsVersionText(static_cast<int>(vi.dwPlatformId), static_cast<int>(vi.dwMajorVersion),
                              static_cast<int>(vi.dwMinorVersion), build, WideToUtf8(vi.szCSDVersion));
}

void TMainWindowHost::LogLine(const std::string& line) { AppendLogLine(line); }
void TMainWindowHost::ClearLog() { tw::ClearLog(); }

void TMainWindowHost::SetProgressStatus(const std::string& text) {
    if (Form2) Form2->sLabel1->SetCaption(text);
}

void TMainWindowHost::ShowProgress(int64_t total, int64_t position) {
    if (!Form2) return;
    if (!Form2->Visible()) Form2->Show();
    int percent = total > 0 ? static_cast<int>(position * 100 / total) : 0;
    Form2->sGauge1->SetProgress(percent);
}

void TMainWindowHost::HideProgress() {
    if (Form2) Form2->Hide();
}

void TMainWindowHost::ProcessMessages() { Application->ProcessMessages(); }

void TMainWindowHost::Pause(int milliseconds) {
    uint64_t end = GetTickCount64Ms() + static_cast<uint64_t>(milliseconds < 0 ? 0 : milliseconds);
    while (GetTickCount64Ms() < end) {
        Application->ProcessMessages();
        Sleep(10);
    }
}

bool TMainWindowHost::Ask(TAnalysisQuestion, const std::string& text) {
    return MessageDlg(text, mtConfirmation, mbYesNo) == mrYes;
}

void TMainWindowHost::ShowMessage(TMessageKind kind, const std::string& text) {
    TMsgDlgType t = kind == TMessageKind::Error ? mtError : kind == TMessageKind::Warning ? mtWarning : mtInformation;
    MessageDlg(text, t, mbOK);
}

void TMainWindowHost::PlaySound(const std::string& resourceName) { PlayNotificationSound(resourceName); }

void TMainWindowHost::ShowAnalysisBoxes(bool on) {
    form_.sPanel3->SetVisible(!on);
    TColor c = on ? clWindowText : clInactiveCaption;
    form_.sGroupBox7->Font().SetColor(c);
    form_.sGroupBox8->Font().SetColor(c);
}

void TMainWindowHost::EnableButtons(bool start, bool preserve, bool patch, bool cut) {
    form_.sBitBtn1->SetEnabled(start);
    form_.sBitBtn2->SetEnabled(preserve);
    form_.sBitBtn3->SetEnabled(patch);
    form_.sBitBtn4->SetEnabled(cut);
}

void TMainWindowHost::FileOpened(const std::string& fileName) {
    // A cleaning pass disables the raw cutter; the next opened recording
    // brings it back.
    form_.RawCutter1->SetEnabled(true);
    form_.sLabelStatus->SetCaption(fileName);
}

bool TMainWindowHost::SettingBool(const std::string& name, bool defaultValue) {
    return ReadBoolSetting(name, defaultValue);
}

int TMainWindowHost::SettingInt(const std::string& name, int defaultValue) { return ReadIntSetting(name, defaultValue); }

bool TMainWindowHost::GermanTexts() { return MainMessages().German(); }

std::string TMainWindowHost::WindowsVersionText() { return SystemWindowsVersionText(); }

std::string TMainWindowHost::ProgramNameVersion() {
    return ExtractFileName(Application->ExeName()) + " V " + VersionText();
}

std::string TMainWindowHost::SupportedFilterText(int kind) {
    // The lists of the filter probe, which ran once after the window was
    // first activated; empty until then.
    switch (kind) {
    case 0: return form_.SupportedSplitters;
    case 1: return form_.SupportedAudioFilters;
    case 2: return form_.SupportedVideoFilters;
    default: return std::string();
    }
}

} // namespace tw
