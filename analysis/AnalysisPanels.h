// TResultPanels: the result panels of the analysis. It makes the per-PID
// records and the video, audio and text panels from the selected program,
// sets up the cleaning chain's readers for the streams shown, and handles the
// clicks that drop or keep an audio or text stream.
#pragma once

#include <string>

#include "analysis/AnalysisHost.h"
#include "analysis/AnalysisTables.h"
#include "analysis/AnalysisTexts.h"

namespace tw {

class TAnalysisEngine;
struct TPmtEntry;

class TResultPanels {
public:
    explicit TResultPanels(TAnalysisEngine& engine) : engine_(engine) {}

    const TStreamPanel& Video() const { return videoPanel_; }
    const TStreamPanel& Audio(int slot) const { return audioPanel_[slot]; }
    const TStreamPanel& Text(int slot) const { return textPanel_[slot]; }
    // The detail steps fill in the details of the shown panels.
    TStreamPanel& Video() { return videoPanel_; }
    TStreamPanel& Audio(int slot) { return audioPanel_[slot]; }

    // Every panel hidden (a reset).
    void HideAll();
    // PID records and panels for the entries of the selected PMT.
    void FillFromSelection();
    void FillAudioPanels(int slot, int entryIndex);
    void FillTextPanels(int slot, int entryIndex);
    // Drops or keeps again audio stream `slot` (0..3); the last kept audio
    // stream cannot be dropped. Returns the new toggle state (0 hidden,
    // 1 kept, 2 dropped).
    int ToggleAudio(int slot);
    int ToggleText(int slot);
    // Drops teletext and subtitles as the settings ask.
    void ApplyTextStreamSettings();
    // Panel title by stream_type, audio kind and text kind ("H264", "AC3",
    // "Teletext"). A member, since the stream-type sniffer's StreamTypeName
    // names a sniffed type and is a different text.
    static std::string StreamTypeName(int streamType, int audioKind, int textKind) {
        return PanelStreamTypeName(streamType, audioKind, textKind);
    }
    // "Stream type: 27 = AVC video ..." for an entry of the selected PMT.
    std::string StreamHint(const TPmtEntry& entry) const;
    // Found streams not kept: what the preserve list offers.
    int PreserveCandidateCount() const;

private:
    TAnalysisEngine& engine_;
    TStreamPanel videoPanel_;
    TStreamPanel audioPanel_[AUDIO_SLOTS];
    TStreamPanel textPanel_[TEXT_SLOTS];
};

} // namespace tw
