// A host for the analysis engine in native tests: records every log line,
// step state, question, message and panel, and answers the questions from a
// table (Yes unless told otherwise).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analysis/AnalysisEngine.h"
#include "analysis/QuietHost.h"

namespace tw::test {

class TRecordingHost : public TQuietHost {
public:
    std::vector<std::string> Lines;
    std::vector<TAnalysisQuestion> Questions;
    std::map<TAnalysisQuestion, bool> Answers;
    std::vector<std::string> Messages;
    TStepState States[ANALYSIS_STEP_COUNT] = {};
    std::string Texts[ANALYSIS_STEP_COUNT];
    TStreamPanel Video, Audio[4], Text[4];
    TTimelineTexts Timeline;
    bool StartEnabled = false, PreserveEnabled = false;
    std::map<std::string, int> Settings;
    int ProgressCalls = 0;
    std::vector<std::pair<int64_t, int64_t>> ProgressShown; // total, position
    int ProcessCalls = 0;
    // Called from ProcessMessages: lets a test act "while the window is
    // responsive" (try to open another file, ask to cancel).
    std::function<void()> OnProcessMessages;

    void LogLine(const std::string& line) override { Lines.push_back(line); }
    void ClearLog() override { Lines.clear(); }
    void SetStep(TAnalysisStep step, TStepState state, const std::string& text) override {
        States[step] = state;
        Texts[step] = text;
    }
    void ShowProgress(int64_t total, int64_t position) override {
        ++ProgressCalls;
        ProgressShown.emplace_back(total, position);
        EXPECT_GE(position, 0);
        if (total > 0) EXPECT_LE(position, total);
    }
    void ProcessMessages() override {
        ++ProcessCalls;
        if (OnProcessMessages) OnProcessMessages();
    }
    bool Ask(TAnalysisQuestion q, const std::string&) override {
        Questions.push_back(q);
        auto it = Answers.find(q);
        return it == Answers.end() ? true : it->second;
    }
    void ShowMessage(TMessageKind, const std::string& text) override { Messages.push_back(text); }
    void ShowPanel(TPanelKind kind, int slot, const TStreamPanel& panel) override {
        if (kind == TPanelKind::Video) Video = panel;
        else if (kind == TPanelKind::Audio) Audio[slot] = panel;
        else Text[slot] = panel;
    }
    void ShowTimeline(const TTimelineTexts& t) override { Timeline = t; }
    void EnableButtons(bool start, bool preserve, bool, bool) override {
        StartEnabled = start;
        PreserveEnabled = preserve;
    }
    bool SettingBool(const std::string& name, bool def) override {
        auto it = Settings.find(name);
        return it == Settings.end() ? def : it->second != 0;
    }
    int SettingInt(const std::string& name, int def) override {
        auto it = Settings.find(name);
        return it == Settings.end() ? def : it->second;
    }
    std::string WindowsVersionText() override { return "Windows test"; }
    std::string ProgramNameVersion() override { return "Tarnwick.exe V 1.00"; }
    // What the filter probe found: splitters, audio, video.
    std::string FilterTexts[3];
    std::string SupportedFilterText(int kind) override {
        return kind >= 0 && kind < 3 ? FilterTexts[kind] : "unknown kind";
    }

    // Lines that contain `text`.
    int Count(const std::string& text) const {
        int n = 0;
        for (const auto& l : Lines)
            if (l.find(text) != std::string::npos) ++n;
        return n;
    }
    bool Has(const std::string& text) const { return Count(text) > 0; }
    int Asked(TAnalysisQuestion q) const {
        int n = 0;
        for (auto x : Questions)
            if (x == q) ++n;
        return n;
    }
    std::string All() const {
        std::string s;
        for (const auto& l : Lines) s += l + "\n";
        return s;
    }
};

} // namespace tw::test
