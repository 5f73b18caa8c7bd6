#include "analysis/AnalysisTables.h"

#include "base/SysUtils.h"

namespace tw {

TAnalysisTables::TAnalysisTables() { ResetAnalysis(); }

void TAnalysisTables::ResetAnalysis() {
    for (int i = 0; i < FoundStreamCount; ++i) FoundStreams[static_cast<size_t>(i)] = TFoundStream();
    foundIndex_.fill(-1);
    FoundStreamCount = 0;
    SavedPatCount = 0;
    SavedPmtCount = 0;
    PmtPidCount = 0;
    IgnoredPmtPidCount = 0;
    IgnoredPmtPidList.clear();
    KeptPidCount = 0;
    PidRecordCount = 0;
    StreamsLeftOut = 0;
    identifiedLeftOut_.fill(false);
    ForgetListedNotFound();
    DamagedTables = 0;
    ListedBy.fill(PID_UNLISTED);
    ListedTypeProgram.fill(PID_UNLISTED);
    ListedType.fill(TYPE_UNLISTED);
    ListedTypeChanged.fill(false);
    StreamTypeChanges = 0;
    ListedClocks.clear();
    ClockMoves = 0;
    LanguageDescriptorChanged = false;
    PatchCount = 0;
    Video.Clear();
    ClearAudioStreams();
    ClearTextStreams();
    ClearPmtEntryTable();
    VideoEntryCount = AudioEntryCount = TextEntryCount = 0;
    VideoEntryIndex = -1;
    ProgramNumber = kOwnProgramNumber;
    TransportStreamId = 6;
    FillPacketsAtStart = FillPacketsAtEnd = 0;
    CreationMode = false;
    LogSuppressed = false;
    PcrWrap = false;
    FirstPts = LastPts = FirstDts = -1;
    FirstPtsPid = LastPtsPid = -1;
    FirstPcr = LastPcr = FirstPcr90k = LastPcr90k = -1;
    Duration = 0;
    CutIn = CutOut = 0;
    FullRangeCorrect = FullRangeIgnore = false;
}

// --- found streams ---

int TAnalysisTables::FoundStreamIndex(int pid) const {
    if (pid >= 0 && pid < 8192) return foundIndex_[static_cast<size_t>(pid)];
    for (int i = 0; i < FoundStreamCount; ++i)
        if (FoundStreams[static_cast<size_t>(i)].Pid == pid) return i;
    return -1;
}

int TAnalysisTables::AddFoundPid(int pid, int64_t packetCount, const std::string& typeText) {
    int idx = FoundStreamIndex(pid);
    if (idx >= 0) return idx;
    if (FoundStreamCount >= MAX_FOUND_STREAMS) return -1;
    idx = FoundStreamCount++;
    TFoundStream& f = FoundStreams[static_cast<size_t>(idx)];
    f = TFoundStream();
    f.Pid = pid;
    f.PacketCount = packetCount;
    f.TypeText = typeText.substr(0, FOUND_TYPE_TEXT_MAX);
    if (pid >= 0 && pid < 8192) foundIndex_[static_cast<size_t>(pid)] = static_cast<int16_t>(idx);
    return idx;
}

void TAnalysisTables::SetFoundStreamName(int pid, const std::string& text) {
    int idx = FoundStreamIndex(pid);
    if (idx >= 0) FoundStreams[static_cast<size_t>(idx)].TypeText = text.substr(0, FOUND_TYPE_TEXT_MAX);
}

void TAnalysisTables::SetFoundStreamType(int pid, int streamId, TPesStreamIdType type) {
    int idx = FoundStreamIndex(pid);
    if (idx < 0) return;
    FoundStreams[static_cast<size_t>(idx)].StreamID = streamId;
    FoundStreams[static_cast<size_t>(idx)].StreamIDType = type;
}

int TAnalysisTables::MostFrequentPid() const {
    int best = -1;
    int64_t bestCount = -1;
    for (int i = 0; i < FoundStreamCount; ++i) {
        const TFoundStream& f = FoundStreams[static_cast<size_t>(i)];
        if (f.PacketCount > bestCount) {
            bestCount = f.PacketCount;
            best = f.Pid;
        }
    }
    return best;
}

bool TAnalysisTables::PidHasPcr(int pid) const {
    int idx = FoundStreamIndex(pid);
    return idx >= 0 && FoundStreams[static_cast<size_t>(idx)].HasPcr;
}

int TAnalysisTables::CountPcrPids() const {
    int n = 0;
    for (int i = 0; i < FoundStreamCount; ++i)
        if (FoundStreams[static_cast<size_t>(i)].HasPcr) ++n;
    return n;
}

int TAnalysisTables::FirstPcrPid() const {
    for (int i = 0; i < FoundStreamCount; ++i)
        if (FoundStreams[static_cast<size_t>(i)].HasPcr) return FoundStreams[static_cast<size_t>(i)].Pid;
    return 0;
}

int64_t TAnalysisTables::TotalFoundPackets() const {
    int64_t sum = 0;
    for (int i = 0; i < FoundStreamCount; ++i) sum += FoundStreams[static_cast<size_t>(i)].PacketCount;
    return sum;
}

std::string TAnalysisTables::LogPidLine() const {
    const int64_t total = TotalFoundPackets();
    std::string out;
    for (int i = 0; i < FoundStreamCount; ++i) {
        const TFoundStream& f = FoundStreams[static_cast<size_t>(i)];
        const int64_t pct = total > 0 ? Round(static_cast<double>(f.PacketCount) * 100.0 / static_cast<double>(total)) : 0;
        out += "$" + IntToHex(f.Pid, 4) + ": " + IntToStr(pct) + "%";
        if (pct < 10) out += " ";
        out += "  = " + f.TypeText;
        if (f.StreamID >= 0)
            out += " (PES_StreamID $" + IntToHex(f.StreamID, 2) + " = " + TTSPesReader::StreamIdName(f.StreamID) + ")";
        out += "\r\n";
    }
    return out;
}

bool TAnalysisTables::HasPmtPid(int pid) const {
    for (int i = 0; i < PmtPidCount; ++i)
        if (PmtPids[static_cast<size_t>(i)] == pid) return true;
    return false;
}

// --- kept PIDs ---

void TAnalysisTables::AddSelectedPid(int pid) {
    if (IsSelectedPid(pid) || KeptPidCount >= MAX_KEPT_PIDS) return;
    KeptPids[static_cast<size_t>(KeptPidCount++)] = pid;
}

void TAnalysisTables::RemoveSelectedPid(int pid) {
    for (int i = 0; i < KeptPidCount; ++i) {
        if (KeptPids[static_cast<size_t>(i)] != pid) continue;
        for (int j = i + 1; j < KeptPidCount; ++j) KeptPids[static_cast<size_t>(j - 1)] = KeptPids[static_cast<size_t>(j)];
        --KeptPidCount;
        return;
    }
}

bool TAnalysisTables::IsSelectedPid(int pid) const {
    for (int i = 0; i < KeptPidCount; ++i)
        if (KeptPids[static_cast<size_t>(i)] == pid) return true;
    return false;
}

int TAnalysisTables::SelectedPidIndex(int pid) const {
    for (int i = 0; i < KeptPidCount; ++i)
        if (KeptPids[static_cast<size_t>(i)] == pid) return i;
    return 0;
}

std::string TAnalysisTables::KeptPidText() const {
    std::string s;
    for (int i = 0; i < KeptPidCount; ++i) {
        if (i > 0) s += ", ";
        s += "$" + IntToHex(KeptPids[static_cast<size_t>(i)], 4);
    }
    return s;
}

// --- per-PID records ---

int TAnalysisTables::AddPidRecord(int pid, int entryIndex) {
    if (PidRecordCount >= MAX_PID_RECORDS) return -1;
    TPidRecord& r = PidRecords[static_cast<size_t>(PidRecordCount)];
    r = TPidRecord();
    r.Pid = pid;
    r.EntryIndex = entryIndex;
    return PidRecordCount++;
}

int TAnalysisTables::PidRecordIndex(int pid) const {
    for (int i = 0; i < PidRecordCount; ++i)
        if (PidRecords[static_cast<size_t>(i)].Pid == pid) return i;
    return -1;
}

// A PMT may list one PID in several entries: every record of the PID
// counts, as every one of them counts the PID's packets.
void TAnalysisTables::CountError(int pid) {
    for (int i = 0; i < PidRecordCount; ++i)
        if (PidRecords[static_cast<size_t>(i)].Pid == pid) ++PidRecords[static_cast<size_t>(i)].Errors;
}

void TAnalysisTables::CountWarning(int pid) {
    for (int i = 0; i < PidRecordCount; ++i)
        if (PidRecords[static_cast<size_t>(i)].Pid == pid) ++PidRecords[static_cast<size_t>(i)].Warnings;
}

int64_t TAnalysisTables::TotalErrors() const {
    int64_t n = 0;
    for (int i = 0; i < PidRecordCount; ++i) n += PidRecords[static_cast<size_t>(i)].Errors;
    return n;
}

void TAnalysisTables::NoteListedPid(int pid, int32_t programKey) {
    if (pid < 0 || pid >= 8192) return;
    int32_t& by = ListedBy[static_cast<size_t>(pid)];
    if (by == PID_UNLISTED) by = programKey;
    else if (by != programKey) by = PID_LISTED_BY_SEVERAL;
}

void TAnalysisTables::NoteListedType(int pid, int32_t programKey, int32_t typeKey) {
    if (pid < 0 || pid >= 8192) return;
    const size_t i = static_cast<size_t>(pid);
    if (ListedType[i] == TYPE_UNLISTED) {
        ListedTypeProgram[i] = programKey;
        ListedType[i] = typeKey;
    } else if (ListedTypeProgram[i] == programKey && ListedType[i] != typeKey) {
        ListedTypeChanged[i] = true;
    }
}

void TAnalysisTables::NoteListedClock(int32_t programKey, int pcrPid) {
    if (pcrPid < 0 || pcrPid >= 0x1FFF || ListedClocks.size() >= kMaxListedClocks) return;
    for (const TListedClock& c : ListedClocks)
        if (c.Program == programKey && c.Pid == pcrPid) return;
    ListedClocks.push_back({programKey, pcrPid});
}

std::vector<int> TAnalysisTables::ClocksOf(int32_t programKey) const {
    std::vector<int> pids;
    for (const TListedClock& c : ListedClocks)
        if (c.Program == programKey && PidHasPcr(c.Pid)) pids.push_back(c.Pid);
    return pids;
}

void TAnalysisTables::NoteStreamLeftOut(int pid, bool identified) {
    ++StreamsLeftOut;
    if (identified && pid >= 0 && pid < 8192) identifiedLeftOut_[static_cast<size_t>(pid)] = true;
}

void TAnalysisTables::NoteListedNotFound(int pid, int streamType) {
    if (pid >= 0 && pid < 8192) listedNotFound_[static_cast<size_t>(pid)] = static_cast<int16_t>(streamType & 0xFF);
}

int TAnalysisTables::ListedNotFoundType(int pid) const {
    return pid >= 0 && pid < 8192 ? listedNotFound_[static_cast<size_t>(pid)] : -1;
}

bool TAnalysisTables::IdentifiedStreamMissing() const {
    if (StreamsLeftOut == 0) return false;
    for (int pid = 0; pid < 8192; ++pid)
        if (identifiedLeftOut_[static_cast<size_t>(pid)] && !IsSelectedPid(pid)) return true;
    return false;
}

int64_t TAnalysisTables::TotalWarnings() const {
    int64_t n = StreamsLeftOut + DamagedTables + StreamTypeChanges + ClockMoves;
    for (int i = 0; i < PidRecordCount; ++i) n += PidRecords[static_cast<size_t>(i)].Warnings;
    return n;
}

int64_t TAnalysisTables::MaxFirstPts(int* pid) const {
    if (PidRecordCount == 0) {
        if (pid) *pid = -1;
        return -1;
    }
    int64_t v = PidRecords[0].FirstPts;
    int p = PidRecords[0].Pid;
    for (int i = 1; i < PidRecordCount; ++i) {
        const TPidRecord& r = PidRecords[static_cast<size_t>(i)];
        if (r.FirstPts != -1 && r.FirstPts > v) {
            v = r.FirstPts;
            p = r.Pid;
        }
    }
    if (pid) *pid = p;
    return v;
}

int64_t TAnalysisTables::MaxFirstDts() const {
    if (PidRecordCount == 0) return -1;
    int64_t v = PidRecords[0].FirstDts;
    for (int i = 1; i < PidRecordCount; ++i) {
        const TPidRecord& r = PidRecords[static_cast<size_t>(i)];
        if (r.FirstDts != -1 && r.FirstDts > v) v = r.FirstDts;
    }
    return v;
}

int64_t TAnalysisTables::MaxLastPts(int* pid) const {
    if (PidRecordCount == 0) {
        if (pid) *pid = -1;
        return -1;
    }
    int64_t v = PidRecords[0].LastPts;
    int p = PidRecords[0].Pid;
    for (int i = 1; i < PidRecordCount; ++i) {
        const TPidRecord& r = PidRecords[static_cast<size_t>(i)];
        if (r.LastPts > v) {
            v = r.LastPts;
            p = r.Pid;
        }
    }
    if (pid) *pid = p;
    return v;
}

int64_t TAnalysisTables::FirstPcrRecordStart() const {
    for (int i = 0; i < PidRecordCount; ++i) {
        const TPidRecord& r = PidRecords[static_cast<size_t>(i)];
        if (PidHasPcr(r.Pid)) return r.FirstPts;
    }
    return 0;
}

// --- slots ---

void TAnalysisTables::ClearAudioStreams() {
    for (auto& a : Audio) a = TAudioInfo();
}

void TAnalysisTables::ClearTextStreams() {
    for (auto& t : Text) t = TTextInfo();
}

int TAnalysisTables::KeptAudioStreamCount() const {
    int n = 0;
    for (const auto& a : Audio)
        if (a.Pid >= 1 && !a.Dropped) ++n;
    return n;
}

void TAnalysisTables::ClearPmtEntryTable() {
    for (int i = 0; i < SavedPmtEntryCount; ++i) SavedPmtEntries[static_cast<size_t>(i)] = TPmtEntry();
    SavedPmtEntryCount = 0;
}

// --- byte patches ---

bool TAnalysisTables::AddPatchEntry(int pid, uint8_t kind, int64_t newValue, int64_t oldValue) {
    if (PatchCount >= MAX_PATCH_ENTRIES || FindPatchEntry(pid, kind) >= 0) return false;
    TPatchEntry& e = Patches[static_cast<size_t>(PatchCount++)];
    e = TPatchEntry();
    e.Pid = static_cast<uint32_t>(pid);
    e.Kind = kind;
    e.NewValue = newValue;
    e.OldValue = oldValue;
    return true;
}

int TAnalysisTables::FindPatchEntry(int pid, uint8_t kind) const {
    for (int i = 0; i < PatchCount; ++i) {
        const TPatchEntry& e = Patches[static_cast<size_t>(i)];
        if (e.Pid == static_cast<uint32_t>(pid) && e.Kind == kind) return i;
    }
    return -1;
}

bool TAnalysisTables::HasPatchEntry(int pid, uint8_t kind) const { return kind != 0 && FindPatchEntry(pid, kind) >= 0; }

// --- step panels ---

TStepColours StepStatusColours(uint32_t colour) {
    switch (colour) {
    case STEP_COLOUR_FAILED: return {0x0000FF, 0x000080, "BARPANEL_BLACK_RED"};
    case STEP_COLOUR_DONE: return {0x00FF00, 0x008000, "BARPANEL_BLACK_GREEN"};
    case STEP_COLOUR_RUNNING: return {0x00FFFF, 0x008080, "BARPANEL_BLACK_YELLOW"};
    case STEP_COLOUR_BLUE: return {0xFFFF00, 0xFF0000, "BARPANEL_BLACK_BLUE"};
    default: return {0xC0C0C0, 0x808080, "BARPANEL_BLACK_BLUE"};
    }
}

uint32_t StepStateColour(TStepState state) {
    switch (state) {
    case TStepState::Running: return STEP_COLOUR_RUNNING;
    case TStepState::Done: return STEP_COLOUR_DONE;
    case TStepState::Failed: return STEP_COLOUR_FAILED;
    default: return STEP_COLOUR_IDLE;
    }
}

const char* StepCaption(TAnalysisStep step) {
    static const char* const captions[ANALYSIS_STEP_COUNT] = {
        "Garbage scan", "PID scan",    "PAT scan",        "PMT scan",           "PAT rebuild",
        "PCR check",    "PMT rebuild", "Start/End check", "Video details scan", "Audio details scan"};
    const int i = static_cast<int>(step);
    return (i >= 0 && i < ANALYSIS_STEP_COUNT) ? captions[i] : "";
}

const char* StepLabelName(TAnalysisStep step) {
    static const char* const names[ANALYSIS_STEP_COUNT] = {
        "GarbageScanLabel", "PIDScanLabel",    "PATScanLabel",       "PMTScanLabel",        "PATRebuildLabel",
        "PCRCheckLabel",    "PMTRebuildLabel", "StartEndCheckLabel", "VideoDetailScanLabel", "AudioDetailScanLabel"};
    const int i = static_cast<int>(step);
    return (i >= 0 && i < ANALYSIS_STEP_COUNT) ? names[i] : "";
}

} // namespace tw
