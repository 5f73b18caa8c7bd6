#include "analysis/TableSelection.h"
#include "analysis/CleaningChain.h"
#include "analysis/AnalysisPanels.h"

#include "analysis/AnalysisEngine.h"
#include "analysis/CleaningChain.h"
#include "analysis/TableSelection.h"

#include "analysis/AnalysisTexts.h"
#include "analysis/MainTexts.h"
#include "base/SysUtils.h"
#include "ts/TSAC3Reader.h"
#include "ts/TSH264Reader.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"

namespace tw {

namespace {

std::string ReplaceBarsByCr(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c == '|') c = '\r';
    return out;
}

} // namespace

std::string TResultPanels::StreamHint(const TPmtEntry& entry) const {
    return "Stream type: " + IntToStr(entry.StreamType) + " = " + Trim(ReplaceBarsByCr(entry.Description));
}

void TResultPanels::FillFromSelection() {
    TAnalysisTables& t = engine_.Tables();
    for (int i = 0; i < engine_.Selection().Pmt().PMTEntryCount(); ++i) {
        const TPmtEntry& e = engine_.Selection().Pmt().Entry(i);
        const int rec = t.AddPidRecord(e.PID, i);
        if (e.IsVideo) {
            if (t.VideoEntryIndex < 0) {
                t.VideoEntryIndex = i;
                engine_.Chain().VideoPes().SetPID(e.PID);
                engine_.Chain().VideoPes().SetActive(true);
                if (e.StreamType == kStreamTypeH264) engine_.Chain().H264().SetActive(true);
                if (e.StreamType == kStreamTypeMpeg2Video) engine_.Chain().Mpeg2().SetActive(true);
                videoPanel_ = TStreamPanel();
                videoPanel_.Visible = true;
                videoPanel_.Title = StreamTypeName(e.StreamType, 0, 0);
                videoPanel_.TitleHint = StreamHint(e);
                videoPanel_.Pid = "$" + IntToHex(e.PID, 4);
                videoPanel_.LayerCheck =
                    (engine_.Chain().H264().Active() || engine_.Chain().Mpeg2().Active()) ? "TS,PES,ES" : "TS,PES";
                engine_.Streams().ShowPanel(TPanelKind::Video, 0, videoPanel_);
            }
            if (rec >= 0) t.PidRecords[static_cast<size_t>(rec)].Video = true;
            ++t.VideoEntryCount;
        } else if (e.IsAudio) {
            if (t.AudioEntryCount < AUDIO_SLOTS) FillAudioPanels(t.AudioEntryCount, i);
            ++t.AudioEntryCount;
            if (rec >= 0) t.PidRecords[static_cast<size_t>(rec)].Audio = true;
        } else if (e.IsOther) {
            if (t.TextEntryCount < TEXT_SLOTS) FillTextPanels(t.TextEntryCount, i);
            ++t.TextEntryCount;
            if (rec >= 0) t.PidRecords[static_cast<size_t>(rec)].Text = true;
        }
    }
}

void TResultPanels::FillAudioPanels(int slot, int entryIndex) {
    TAnalysisTables& t = engine_.Tables();
    const TPmtEntry& e = engine_.Selection().Pmt().Entry(entryIndex);
    uint8_t kind = akMpeg;
    if (e.AC3) kind = akAC3;
    else if (e.DTS) kind = akDTS;
    else if (e.EAC3) kind = akEAC3;
    else if (e.AAC) kind = akAAC;
    TAudioInfo& a = t.Audio[static_cast<size_t>(slot)];
    a = TAudioInfo();
    a.Pid = e.PID;
    a.Language = e.Language;
    a.Kind = kind;
    a.EntryIndex = entryIndex;

    TStreamPanel& p = audioPanel_[slot];
    p = TStreamPanel();
    p.Visible = true;
    p.ToggleState = 1;
    // MPEG audio that its entry declares as private data (or user private)
    // is named by what its packets are, not by the entry's text class.
    const bool sniffedMpeg = kind == akMpeg && !e.IsVideo && !TTSPmtReader::IsAudioType(e.StreamType);
    p.Title = StreamTypeName(sniffedMpeg ? kStreamTypeMpeg2Audio : e.StreamType, kind, 0);
    p.Details = LanguageCodeName(e.Language, engine_.German());
    a.Details = p.Details;
    p.TitleHint = AudioStreamHint(slot + 1, StreamHint(e), engine_.German());
    engine_.Chain().AudioPes(slot).SetPID(e.PID);
    if (kind == akAC3 || kind == akEAC3) {
        engine_.Chain().Ac3(slot).SetActive(true);
        p.LayerCheck = "TS,PES,ES";
    } else {
        p.LayerCheck = "TS,PES";
    }
    engine_.Chain().AudioPes(slot).SetActive(true);
    p.Pid = "$" + IntToHex(e.PID, 4);
    p.LanguageItemEnabled = !e.Language.empty();
    engine_.Streams().ShowPanel(TPanelKind::Audio, slot, p);
}

void TResultPanels::FillTextPanels(int slot, int entryIndex) {
    TAnalysisTables& t = engine_.Tables();
    const TPmtEntry& e = engine_.Selection().Pmt().Entry(entryIndex);
    const int titleKind = e.Teletext ? 1 : e.Subtitle ? 2 : 0;
    TTextInfo& x = t.Text[static_cast<size_t>(slot)];
    x = TTextInfo();
    x.Pid = e.PID;
    x.Language = e.Language;
    x.Kind = e.Teletext ? tkTeletext : e.Subtitle ? tkSubtitles : tkOther;
    x.EntryIndex = entryIndex;

    TStreamPanel& p = textPanel_[slot];
    p = TStreamPanel();
    p.Visible = true;
    p.ToggleState = 1;
    p.Title = StreamTypeName(e.StreamType, 0, titleKind);
    p.Details = LanguageCodeName(e.Language, engine_.German());
    p.TitleHint = TextStreamHint(slot + 1, StreamHint(e), engine_.German());
    engine_.Chain().TextPes(slot).SetPID(e.PID);
    engine_.Chain().TextPes(slot).SetActive(true);
    p.LayerCheck = "TS,PES";
    p.Pid = "$" + IntToHex(e.PID, 4);
    p.LanguageItemEnabled = !e.Language.empty();
    engine_.Streams().ShowPanel(TPanelKind::Text, slot, p);
}

int TResultPanels::ToggleAudio(int slot) {
    if (slot < 0 || slot >= AUDIO_SLOTS) return 0;
    TAnalysisTables& t = engine_.Tables();
    TStreamPanel& p = audioPanel_[slot];
    TAudioInfo& a = t.Audio[static_cast<size_t>(slot)];
    if (p.ToggleState == 1 && t.KeptAudioStreamCount() > 1) {
        p.ToggleState = 2;
        a.Dropped = true;
        engine_.Chain().AudioPes(slot).SetActive(false);
        t.RemoveSelectedPid(a.Pid);
    } else if (p.ToggleState == 2) {
        p.ToggleState = 1;
        a.Dropped = false;
        engine_.Chain().AudioPes(slot).SetActive(true);
        t.AddSelectedPid(a.Pid);
    } else {
        // The last kept audio stream stays; a hidden panel does not react.
        return p.ToggleState;
    }
    engine_.Streams().ShowPanel(TPanelKind::Audio, slot, p);
    return p.ToggleState;
}

int TResultPanels::ToggleText(int slot) {
    if (slot < 0 || slot >= TEXT_SLOTS) return 0;
    TAnalysisTables& t = engine_.Tables();
    TStreamPanel& p = textPanel_[slot];
    TTextInfo& x = t.Text[static_cast<size_t>(slot)];
    if (p.ToggleState == 1) {
        p.ToggleState = 2;
        x.Dropped = true;
        t.RemoveSelectedPid(engine_.Chain().TextPes(slot).PID());
    } else if (p.ToggleState == 2) {
        p.ToggleState = 1;
        x.Dropped = false;
        t.AddSelectedPid(engine_.Chain().TextPes(slot).PID());
    } else {
        return 0;
    }
    engine_.Streams().ShowPanel(TPanelKind::Text, slot, p);
    return p.ToggleState;
}

void TResultPanels::ApplyTextStreamSettings() {
    const TAnalysisTables& t = engine_.Tables();
    // A stream a setting drops is named, so that the log tells why the copy
    // lacks it.
    auto drop = [this](int slot, const char* what, const char* setting) {
        if (ToggleText(slot) == 2)
            engine_.Log("Text stream " + IntToStr(slot + 1) + ": " + what + " PID $" +
                        IntToHex(engine_.Tables().Text[static_cast<size_t>(slot)].Pid, 4) +
                        " will not be imported (setting \"" + setting + "\")");
    };
    for (int i = 0; i < TEXT_SLOTS; ++i) {
        if (t.Text[static_cast<size_t>(i)].Pid == 0) continue;
        if (engine_.Settings().SettingBool("NoTeletext", true) && t.Text[static_cast<size_t>(i)].Kind == tkTeletext)
            drop(i, "Teletext", "No Teletext");
        if (engine_.Settings().SettingBool("NoSubtitles", false) && t.Text[static_cast<size_t>(i)].Kind == tkSubtitles)
            drop(i, "Subtitles", "No Subtitles");
    }
}

void TResultPanels::HideAll() {
    videoPanel_ = TStreamPanel();
    engine_.Streams().ShowPanel(TPanelKind::Video, 0, videoPanel_);
    for (int i = 0; i < AUDIO_SLOTS; ++i) {
        audioPanel_[i] = TStreamPanel();
        engine_.Streams().ShowPanel(TPanelKind::Audio, i, audioPanel_[i]);
    }
    for (int i = 0; i < TEXT_SLOTS; ++i) {
        textPanel_[i] = TStreamPanel();
        engine_.Streams().ShowPanel(TPanelKind::Text, i, textPanel_[i]);
    }
}

int TResultPanels::PreserveCandidateCount() const {
    const TAnalysisTables& t = engine_.Tables();
    const int pmtPid = engine_.Selection().Pmt().PID();
    int n = 0;
    for (int i = 0; i < t.FoundStreamCount; ++i) {
        const int pid = t.FoundStreams[static_cast<size_t>(i)].Pid;
        if (pid != 0 && pid != pmtPid && !t.IsSelectedPid(pid)) ++n;
    }
    return n;
}

} // namespace tw
