#include "app/engine/CleaningPass.h"

#include "app/engine/AppLog.h"
#include "app/engine/MainTexts.h"
#include "app/engine/PacketHandlers.h"
#include "app/engine/PesHandlers.h"
#include "app/engine/TimeStampCorrection.h"
#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "ts/TSH264Reader.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPacketWriter.h"
#include "ts/TSPatReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"
#include "ts/TSAC3Reader.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tw {

namespace {

// The ring of the clean writer must still hold the first packet of a PES
// packet when that PES completes: the duplicate fix deletes packets of the
// completed PES from the queue and the full-range fix patches the SPS at its
// start. A PES packet spans at most 6,001 transport packets of its PID (the
// PES reader's record table); the writer flushes the oldest third of its ring
// when full, so a ring of 30,000 always holds the newest 20,000 queued
// packets, enough for such a PES even when the other kept streams take two
// thirds of the multiplex.
constexpr int kCleanWriterRing = 30000;
constexpr int64_t kTableRepeat = 10000;
constexpr int64_t kMessageEvery = 10003;

const char* const kCleaningCaptionEn = "Cleaning transport stream";
const char* const kCleaningCaptionDe = "S\xC3\xA4" "ubere Transportstream";

std::string Hex8(int64_t v) { return IntToHex(v, 8); }
std::string Hex4(int64_t v) { return IntToHex(v, 4); }

bool SameFileName(const std::string& a, const std::string& b)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(fs::u8path(a), ec) && fs::exists(fs::u8path(b), ec))
        return fs::equivalent(fs::u8path(a), fs::u8path(b), ec);
    // Not both present: compare the absolute names (case-insensitively, as
    // Windows file names are).
    const auto na = fs::absolute(fs::u8path(a), ec).lexically_normal().u8string();
    const auto nb = fs::absolute(fs::u8path(b), ec).lexically_normal().u8string();
    return SameText(std::string(na.begin(), na.end()), std::string(nb.begin(), nb.end()));
}

} // namespace

TCleaningPass::TCleaningPass(TComponent* owner, TAnalysisEngine* engine, ICleaningHost* host)
    : TComponent(owner), engine_(engine), host_(host)
{
    TSPacketWriter1 = new TTSPacketWriter(this);
    TSPacketWriter1->SetName("TSPacketWriter1");
    TSPacketWriter1->SetAutoContinuityCounter(true);
    packetHandlers_ = std::make_unique<TPacketHandlers>(*this);
    pesHandlers_ = std::make_unique<TPesHandlers>(*this);
    packetHandlers_->Bind();
    pesHandlers_->Bind();
}

TCleaningPass::~TCleaningPass() = default;

std::string TCleaningPass::DefaultOutputName(const std::string& inputFileName)
{
    return ChangeFileExt(inputFileName, "_fixed.ts");
}

std::string TCleaningPass::CheckOutputName(const std::string& input, const std::string& output) const
{
    const bool de = engine_->German();
    if (output.empty())
        return de ? "Kein Dateiname f\xC3\xBCr den neuen Stream!" : "No file name for the new stream!";
    if (SameFileName(input, output))
        return de ? "Die neue Datei darf nicht die ge\xC3\xB6" "ffnete Aufnahme sein!\rBitte anderen Namen w\xC3\xA4hlen."
                  : "The new file must not be the opened recording!\rPlease choose another name.";
    const std::string log = ChangeFileExt(output, ".log");
    if (SameFileName(log, output) || SameFileName(log, input))
        return de ? "Das Log neben der neuen Datei (" + ExtractFileName(log) +
                        ") w\xC3\xBCrde sie oder die Aufnahme ersetzen!\rBitte anderen Namen w\xC3\xA4hlen."
                  : "The log beside the new file (" + ExtractFileName(log) +
                        ") would replace it or the recording!\rPlease choose another name.";
    return {};
}

int TCleaningPass::VideoPid() const { return engine_->TSPesReader_Video ? engine_->TSPesReader_Video->PID() : -1; }

int64_t TCleaningPass::StreamFirstPts() const { return engine_->Tables().FirstPts; }

std::string TCleaningPass::RelTime(int64_t pts) const { return PtsToTimeText(pts - StreamFirstPts()); }

std::string TCleaningPass::MsgText(int id) const { return MessageTextIn(id, engine_->German()); }

int64_t TCleaningPass::TotalErrors() const { return State.GlobalErrors + engine_->Tables().TotalErrors(); }

int64_t TCleaningPass::TotalWarnings() const
{
    return engine_->Tables().TotalWarnings() + State.DiscontinuityCount;
}

void TCleaningPass::ResetRunState()
{
    State = TRunState();
    packetHandlers_->ResetPass();
    pesHandlers_->ResetPass();
    lastTimeTextPts_ = -1;
    expectedWritten_ = 0;
    terminateRequested_ = false;
}

// ---------------------------------------------------------------------------
// START

TCleaningResult TCleaningPass::Run(const std::string& outputFileName)
{
    if (running_ || engine_->Busy())
        return TCleaningResult::NotRun;
    IAnalysisHost& h = engine_->Host();
    const std::string refusal = CheckOutputName(engine_->FileName(), outputFileName);
    if (!refusal.empty()) {
        h.ShowMessage(TMessageKind::Error, refusal);
        return TCleaningResult::NotRun;
    }
    outputFileName_ = outputFileName;
    logFileName_ = ChangeFileExt(outputFileName, ".log");
    TSPacketWriter1->SetFileName(outputFileName);
    engine_->RemuxPacketReader->SetFileName(engine_->TSPacketReader1->FileName());

    running_ = true;
    try {
        CleanStream();
    } catch (const std::exception& e) {
        running_ = false;
        const std::string first = DescribeException(e);
        const std::string second = "TS paket: $" + Hex8(engine_->RemuxPacketReader->PacketIndex());
        h.PlaySound("ERROR");
        h.ShowMessage(TMessageKind::Error, first + "\r\n" + second);
        try {
            Deactivate();
            Log("");
            Log(h.ProgramNameVersion());
            Log(first);
            Log(second);
            SaveLogFile();
        } catch (...) {
        }
        terminateRequested_ = true;
        return TCleaningResult::Failed;
    }
    running_ = false;

    if (State.Failed) {
        h.PlaySound("STREAMCLEANINGFAILED");
        h.ShowMessage(TMessageKind::Error, MsgText(mmAbortedWithErrors));
        return TCleaningResult::Failed;
    }
    if (State.Aborted) {
        h.PlaySound("STREAMCLEANINGFAILED");
        h.ShowMessage(TMessageKind::Warning, MsgText(mmAborted));
        return TCleaningResult::Aborted;
    }
    if (TotalErrors() <= 0) {
        h.PlaySound("STREAMCLEANINGSUCCESSFULLYCOMPLETED");
        h.ShowMessage(TMessageKind::Information, MsgText(mmSuccess));
        return TCleaningResult::Success;
    }
    h.PlaySound("PROBLEMSFOUND");
    h.ShowMessage(TMessageKind::Warning, MsgText(mmSuccess) + "\r" + MsgText(mmButErrors));
    return TCleaningResult::SuccessWithErrors;
}

// ---------------------------------------------------------------------------
// Preparation

bool TCleaningPass::PmtHasUnkeptEntries() const
{
    const TTSPmtReader* pmt = engine_->RebuildPmt;
    for (int i = 0; i < pmt->PMTEntryCount(); ++i)
        if (!engine_->Tables().IsSelectedPid(pmt->Entry(i).PID))
            return true;
    return false;
}

bool TCleaningPass::PrepareTables()
{
    TAnalysisTables& t = engine_->Tables();
    TTSPmtReader* pmt = engine_->RebuildPmt;
    TTSPatReader* pat = engine_->RebuildPat;
    bool pmtChanged = tw::PreserveStreams(*engine_, PreserveList);

    if (Options.NewServiceId >= 0) {
        Log("Patching ProgramNumber(SID) from $" + Hex4(pmt->ProgramNumber()) + " to $" +
            Hex4(Options.NewServiceId));
        pmt->SetProgramNumber(Options.NewServiceId);
        pmt->BuildPmtPackets();
        if (pat->PATEntryCount() > 0) {
            TPatEntry e = pat->Entry(0);
            e.ProgramNumber = Options.NewServiceId;
            pat->SetEntry(0, e);
        }
        pat->BuildPatPacket();
        pmtChanged = true;
    }

    // Every PMT entry whose PID is not kept goes: dropped audio streams, but
    // also text and data streams the user dropped or never kept.
    bool rebuild = false;
    if (t.KeptAudioCount() < t.AudioEntryCount || PmtHasUnkeptEntries()) {
        engine_->DeletePmtEntry();
        rebuild = true;
    }
    // The packets are always built from the entries as they stand now, so
    // whatever the analysis changed in the table reaches the output.
    {
        if (!pmt->BuildPmtPackets()) {
            Deactivate();
            State.Failed = true;
            Log("");
            Log("Problem creating modified PMT");
            // The builder refuses only a section that does not fit.
            Log("New PMT would be too large!");
            return false;
        }
        if (rebuild)
            pmtChanged = true;
    }
    if (pat->OutputPacket().Length != TS_PACKET_SIZE)
        pat->BuildPatPacket();

    remaps_ = false;
    for (int i = 0; i < t.FoundStreamCount; ++i)
        if (t.FoundStreams[i].ReplacementPid >= 0 && t.FoundStreams[i].ReplacementPid != t.FoundStreams[i].Pid)
            remaps_ = true;
    if (remaps_) {
        engine_->PatchPmtEntry();
        pmt->BuildPmtPackets();
        pmtChanged = true;
    }
    if (pmtChanged) {
        Log("");
        Log("Recreated PMT:");
        engine_->LogPmtDump(pmt, 0);
        Log("");
    }
    return true;
}

int TCleaningPass::InsertTablePackets()
{
    TTSPatReader* pat = engine_->RebuildPat;
    TTSPmtReader* pmt = engine_->RebuildPmt;
    TTSPacketBuffer buf = pat->OutputPacket();
    TTSPacketWriter::SetPacketCC(buf, State.PatCC);
    State.PatCC = (State.PatCC + 1) & 15;
    TSPacketWriter1->QueuePacket(buf, -1);
    int n = 1;
    for (int i = 0; i < pmt->OutputPacketCount(); ++i) {
        buf = pmt->OutputPacket(i);
        TTSPacketWriter::SetPacketCC(buf, State.PmtCC);
        State.PmtCC = (State.PmtCC + 1) & 15;
        TSPacketWriter1->QueuePacket(buf, -1);
        ++n;
    }
    expectedWritten_ += n;
    return n;
}

void TCleaningPass::RemapPacketPid(TTSPacketBuffer& packet)
{
    try {
        const int pid = ((packet.Data[1] & 0x1F) << 8) | packet.Data[2];
        const TAnalysisTables& t = engine_->Tables();
        const int i = t.FoundStreamIndex(pid);
        if (i >= 0 && t.FoundStreams[i].ReplacementPid >= 0)
            TTSPacketWriter::SetPacketPID(packet, t.FoundStreams[i].ReplacementPid);
    } catch (...) {
    }
}

bool TCleaningPass::PatchPacketPcr(int64_t offset27)
{
    TTSPacketReader* r = engine_->RemuxPacketReader;
    try {
        const int64_t pcr = r->TSPacketHeader()->AdaptationField()->PCR()->PCR();
        return r->SetPacketPCR(ShiftPcr(pcr, offset27));
    } catch (...) {
        Log("TS  ERROR: Patching PCR for paket $" + Hex8(r->PacketIndex()) + " exception occured!");
        return false;
    }
}

bool TCleaningPass::PatchPesTimers(int64_t offset90)
{
    TTSPacketReader* r = engine_->RemuxPacketReader;
    int64_t escr = -1, dts = -1, pts = -1;
    if (!TTSPacketReader::PacketTimestamps(r->RawPacket(), *r->TSPacketHeader(), escr, dts, pts) || pts < 0)
        return true;
    bool ok = true;
    if (pts >= 0 && !r->SetPacketPTS(ShiftPts(pts, offset90)))
        ok = false;
    if (dts >= 0 && !r->SetPacketDTS(ShiftPts(dts, offset90)))
        ok = false;
    if (escr >= 0 && !r->SetPacketESCR(ShiftEscr(escr, offset90)))
        ok = false;
    return ok;
}

void TCleaningPass::PatchAudioStreamId(int slot)
{
    TAnalysisTables& t = engine_->Tables();
    TTSPesReader* pes = engine_->TSPesReader_Audio[slot];
    const int idx = t.FindPatchEntry(pes->PID(), PATCH_KIND_STREAM_ID);
    if (idx < 0)
        return;
    TPatchEntry& e = t.Patches[idx];
    TTSPacketReader* r = engine_->RemuxPacketReader;
    const int64_t startNo = pes->PayloadStartIndex();
    if (startNo == r->PacketIndex()) {
        const int pos = r->TSPacketHeader()->Payload()->PayloadStartByte() + 3;
        const int value = (pos < r->RawPacket().Length) ? r->RawPacket().Data[pos] : -1;
        if (value != e.OldValue)
            Log("Warning (unexpected value " + IntToStr(value) + "<>" + IntToStr(e.OldValue) +
                ") while patching of StreamID at $" + Hex8(startNo));
        if (r->SetPacketByte(static_cast<uint8_t>(e.NewValue), pos)) {
            ++e.PatchedCount;
            return;
        }
    }
    ++e.FailedCount;
    Log("Patching of StreamID failed for packet: $" + Hex8(startNo));
}

void TCleaningPass::ComputeTimerOffset()
{
    const TAnalysisTables& t = engine_->Tables();
    if (!pcrMode_ || !TimerCorrectionApplies(t.TimerPatchMode, true, passWraps_))
        return;
    State.TimerOffset = TimerOffsetFor(CleaningStartTime(t.FirstPts, t.FirstDts, t.FirstPcr90k));
    Log("Patching timer PCR/PTS/DTS/ESCR with offset " + PtsToTimeText(State.TimerOffset));
    Log("");
}

// ---------------------------------------------------------------------------
// The pass

void TCleaningPass::CleanStream()
{
    TAnalysisEngine& en = *engine_;
    TAnalysisTables& t = en.Tables();
    IAnalysisHost& h = en.Host();
    TTSPacketReader* r = en.RemuxPacketReader;
    TTSPesReader* video = en.TSPesReader_Video;

    startTick_ = GetTickCount64Ms();
    ResetRunState();
    pcrMode_ = t.FirstPcr >= 0 && t.CountPcrPids() > 0;
    const int64_t cutIn = Options.CutIn;
    const int64_t cutOut = Options.CutOut >= 0 ? Options.CutOut : t.Duration;

    en.TSPacketReader1->SetActive(false);
    // The writer creates the output empty, so an existing file is replaced
    // whole and no old tail survives.
    TSPacketWriter1->SetPacketBufferSize(Options.WriterBufferPackets > 0 ? Options.WriterBufferPackets
                                                                       : kCleanWriterRing);
    TSPacketWriter1->SetActive(true);
    r->SetActive(true);

    referencePts_ = t.FirstPcrRecordStart();

    host_->ClearMeter();
    host_->ShowCleaningControls(true);
    en.ShowProgress(r->PacketCount(), 0);
    host_->SetMeterLineVisible(0, true);
    for (int i = 0; i < AUDIO_SLOTS; ++i)
        host_->SetMeterLineVisible(i + 1, en.TSPesReader_Audio[i]->Active());

    if (!PrepareTables()) {
        EndOfPass();
        return;
    }

    if (!TSPacketWriter1->Active() || !r->Active()) {
        // Nothing can be written or read: the pass fails instead of reporting
        // an empty success.
        State.Failed = true;
        Log("");
        if (!r->Active())
            Log("TS  ERROR: Could not open the recording " + r->FileName());
        if (!TSPacketWriter1->Active())
            Log("TS  ERROR: Could not create the output file " + outputFileName_ +
                (State.WriteError.empty() ? "" : " (" + State.WriteError + ")"));
        EndOfPass();
        return;
    }

    const bool german = en.German();
    h.SetProgressStatus(german ? kCleaningCaptionDe : kCleaningCaptionEn);
    pesHandlers_->ClearNalStatistics();
    r->SetPacketIndex(0);
    State.Written = InsertTablePackets();
    Log("");
    passWraps_ = false;
    if (!pcrMode_) {
        Log("Cut in  at PTS: " + PtsToTimeText(cutIn) + " (" + PtsToTimeText(referencePts_ + cutIn) + ")");
        Log("Cut out at PCR: " + PtsToTimeText(cutOut) + " (" + PtsToTimeText(referencePts_ + cutOut) + ")");
    } else {
        passWraps_ = PassCrossesWrap(t.FirstPcr90k, cutOut);
        Log("Cut in  at PCR: " + PtsToTimeText(cutIn) + " (" + PtsToTimeText(t.FirstPcr90k + cutIn) + ")");
        const int64_t absOut = t.FirstPcr90k + cutOut;
        Log("Cut out at PCR: " + PtsToTimeText(cutOut) + " (" +
            PtsToTimeText(passWraps_ ? absOut % kPtsWrap : absOut) + (passWraps_ ? ") [with PCR warp]" : ")"));
    }

    const int64_t packetCount = r->PacketCount();
    const int64_t fillAtEnd = t.FillPacketsAtEnd;
    while (!r->Eof() && !State.Ended && !State.Failed) {
        const int64_t no = r->PacketIndex();
        // 1. time panel
        const int64_t fixed = video->PESHeader()->PTS_Fixed();
        if (fixed != lastTimeTextPts_) {
            lastTimeTextPts_ = fixed;
            host_->SetTimeText(PtsToTimeText(State.ElapsedPts));
        }
        // 2. cancel
        if (host_->CancelPressed()) {
            if (host_->AskAbort(MsgText(mmAbortQuestion))) {
                Log("Aborted at paket $" + Hex8(no) + " " + PtsToTimeText(video->PESHeader()->PTS()));
                State.Aborted = true;
                break;
            }
            host_->ClearCancel();
        }
        TTSPacketHeader* hd = r->TSPacketHeader();
        const int pid = hd->PID();
        if (!hd->Valid()) {
            // 3. broken packets are never written
            ++State.InvalidDiscarded;
            if (t.IsSelectedPid(pid))
                t.CountError(pid);
            else
                ++State.GlobalErrors;
            h.ProcessMessages();
        } else if (!t.IsSelectedPid(pid)) {
            ++State.NotNeeded;
        } else {
            // a. cut-in
            if (!State.Started) {
                bool start = false;
                if (cutIn == 0) {
                    start = true;
                    State.StartValue = referencePts_;
                    State.PcrStartValue = t.FirstPcr90k;
                    Log("");
                    if (!pcrMode_) {
                        Log("Starting at paket $" + Hex8(no) + " PTS: " + PtsToTimeText(State.StartValue - t.FirstPts) +
                            " (" + PtsToTimeText(State.StartValue) + ")");
                    } else {
                        ComputeTimerOffset();
                        Log("Starting at paket $" + Hex8(no) + " PCR: " +
                            PtsToTimeText(State.PcrStartValue - t.FirstPcr90k) + " (" +
                            PtsToTimeText(State.PcrStartValue) + ")");
                    }
                } else if (!pcrMode_) {
                    if (State.LastPesPts >= referencePts_ + cutIn) {
                        start = true;
                        State.StartValue = State.LastPesPts;
                        Log("");
                        Log("Starting at paket $" + Hex8(no) + " PTS: " +
                            PtsToTimeText(State.LastPesPts - referencePts_) + " (" + PtsToTimeText(State.LastPesPts) +
                            ")");
                    }
                } else if (tw::CutInReached(State.CurrentPts, t.FirstPcr90k, cutIn)) {
                    start = true;
                    State.PcrStartValue = State.CurrentPts;
                    ComputeTimerOffset();
                    Log("");
                    Log("Starting at paket $" + Hex8(no) + " PCR: " + PtsToTimeText(State.PcrStartValue - t.FirstPcr90k) +
                        " (" + PtsToTimeText(State.CurrentPts) + ")");
                }
                if (start) {
                    State.Started = true;
                    State.CutInReached = true;
                    // b. only on the starting packet
                    if (State.StartValue >= 0)
                        video->PESHeader()->SetPTS_Fix_Offset(State.StartValue);
                    if (cutOut == t.Duration) {
                        Log("No cutting at the end needed");
                        State.EndLimit = -1;
                    } else {
                        State.EndLimit = pcrMode_ ? State.PcrStartValue + cutOut - cutIn - 3500 : cutOut - cutIn;
                    }
                }
            }
            // c. cut-out
            if (State.Started && !State.Ended && video->PESHeader()->Valid() && State.EndLimit >= 0) {
                if (!pcrMode_) {
                    if (video->PESHeader()->PTS_Fixed() >= State.EndLimit) {
                        State.Ended = true;
                        Log("Cutting the end at paket $" + Hex8(no) + " PTS: " +
                            PtsToTimeText(State.LastPesPts - referencePts_) + " (" + PtsToTimeText(State.LastPesPts) +
                            ")");
                    }
                } else if (tw::CutOutReached(State.CurrentPts, t.FirstPcr90k, State.EndLimit)) {
                    State.Ended = true;
                    Log("Cutting the end at paket $" + Hex8(no) + " PCR: " + PtsToTimeText(State.ElapsedPts) + " (" +
                        PtsToTimeText(State.CurrentPts) + ")");
                }
                if (State.Ended)
                    State.CutOutPassed = true;
            }
            // d. write
            if (!State.Started) {
                ++State.CutAtBeginning;
            } else if (State.Ended) {
                ++State.CutAtEnd;
            } else {
                const TAdaptationFieldControl afc = hd->AdaptationFieldControl();
                if (State.TimerOffset != 0 &&
                    (afc == afc_adaptation_field_only || afc == afc_adaptation_field_followed_by_payload) &&
                    hd->AdaptationField()->PCRFlag()) {
                    if (!PatchPacketPcr(State.TimerOffset * 300))
                        Log("TS  ERROR: Patching PCR for paket $" + Hex8(no) + " failed!");
                }
                if (State.TimerOffset != 0 && hd->PayloadStart()) {
                    if (!PatchPesTimers(State.TimerOffset))
                        Log("TS  ERROR: Patching PTS/DTS/ESCR for paket $" + Hex8(no) + " failed!");
                }
                if (remaps_) {
                    packet_ = r->RawPacket();
                    RemapPacketPid(packet_);
                    TSPacketWriter1->QueuePacket(packet_, no);
                } else {
                    TSPacketWriter1->QueuePacket(r->RawPacket(), no);
                }
                ++expectedWritten_;
                CountPidPacket(pid, State.LastPesPts);
                ++State.Written;
                // e. tables again every 10,000 written packets
                if (State.Written % kTableRepeat == 0)
                    State.Written += InsertTablePackets();
            }
        }
        // f. keep the window alive
        if (no % kMessageEvery == 0) {
            h.ProcessMessages();
            CheckWriterHealth();
            if (!State.WriteError.empty())
                State.Failed = true;
        }
        // 6. fill packets at the end
        if (!State.Ended && fillAtEnd > 0 && no >= packetCount - fillAtEnd) {
            State.Ended = true;
            State.CutOutPassed = true;
            if (!pcrMode_)
                Log("Ending at paket $" + Hex8(no) + " PTS: " + PtsToTimeText(State.LastPesPts - referencePts_) + " (" +
                    PtsToTimeText(State.LastPesPts) + ")");
            else
                Log("Ending at paket $" + Hex8(no) + " PCR: " + PtsToTimeText(State.CurrentPts - t.FirstPcr90k) +
                    " (" + PtsToTimeText(State.CurrentPts) + ")");
        }
        // 7. next
        if (State.Ended || State.Failed || State.Aborted)
            break;
        if (State.Started)
            State.BytesPassed += r->PacketSize();
        r->Next();
    }
    if (State.Ended)
        State.CutAtEnd = packetCount - r->PacketIndex();
    EndOfPass();
}

void TCleaningPass::CountPidPacket(int pid, int64_t timeStamp)
{
    TAnalysisTables& t = engine_->Tables();
    for (int i = 0; i < t.PidRecordCount; ++i) {
        TPidRecord& rec = t.PidRecords[i];
        if (rec.Pid == pid) {
            ++rec.PacketCount;
            rec.LastValue = timeStamp;
        }
    }
}

void TCleaningPass::CheckWriterHealth()
{
    if (!State.WriteError.empty())
        return;
    State.WriteError = TSPacketWriter1->LastErrorText();
}

void TCleaningPass::EndOfPass()
{
    TAnalysisEngine& en = *engine_;
    if (TSPacketWriter1->Active()) {
        TSPacketWriter1->Flush();
        CheckWriterHealth();
        // The file must hold every packet that was queued and not deleted.
        const int64_t expected = expectedWritten_ - State.DuplicatesDeleted;
        if (State.WriteError.empty() && TSPacketWriter1->PacketCount() != expected)
            State.WriteError = "the output holds " + IntToStr(TSPacketWriter1->PacketCount()) + " packets instead of " +
                               IntToStr(expected);
    }
    if (!State.WriteError.empty()) {
        Log("");
        Log("TS  ERROR: Writing " + outputFileName_ + " failed: " + State.WriteError);
        State.Failed = true;
    }
    if (State.Failed || State.Aborted) {
        Log("");
        Log("---------- ABORTED ----------");
        Log("");
    }
    if (en.TSH264Reader1 && en.TSH264Reader1->Active()) {
        Log("");
        Log(NalStatisticsText());
        Log("");
    }
    Log("Cutted pakets at the beginning: " + IntToStr(State.CutAtBeginning));
    Log("Cutted pakets at the end: " + IntToStr(State.CutAtEnd));
    if (State.NotNeeded > 0)
        Log("Discarded pakets (not needed): " + IntToStr(State.NotNeeded));
    if (State.InvalidDiscarded > 0)
        Log("Discarded invalid pakets : " + IntToStr(State.InvalidDiscarded));
    if (State.ScrambledCount > 0)
        Log("Scrambled pakets : " + IntToStr(State.ScrambledCount));
    if (State.FullRangeCorrected > 0)
        Log("Changed Sequence Parameter Sets: " + IntToStr(State.FullRangeCorrected) + " of " +
            IntToStr(State.NalCounters[7]));
    Log("");
    Log("ERRORS : " + IntToStr(TotalErrors()));
    Log("WARNINGS : " + IntToStr(TotalWarnings()));
    Log("");
    UpdateStreamLabels();
    Deactivate();
    const uint64_t ms = GetTickCount64Ms() - startTick_;
    // A pass over a tiny file can take less than a millisecond.
    const double seconds = ms > 0 ? double(ms) / 1000.0 : 0.001;
    Log(Format("Speed: %.1f MBytes/sec", double(State.BytesPassed) / 1024.0 / 1024.0 / seconds));
    const uint64_t secs = ms / 1000;
    Log(Format("Duration: %02llu:%02llu:%02llu", static_cast<unsigned long long>(secs / 3600),
               static_cast<unsigned long long>((secs / 60) % 60), static_cast<unsigned long long>(secs % 60)));
    SaveLogFile();
    en.Host().ProcessMessages();
}

void TCleaningPass::Deactivate()
{
    TAnalysisEngine& en = *engine_;
    TSPacketWriter1->SetActive(false);
    en.RemuxPacketReader->SetActive(false);
    en.TSPacketReader1->SetActive(false);
    en.TSPesReader_Video->SetActive(false);
    en.TSPesReader_Video->PESHeader()->SetPTS_Fix_Offset(0);
    if (en.TSH264Reader1)
        en.TSH264Reader1->SetActive(false);
    if (en.TSMPEG2Reader1)
        en.TSMPEG2Reader1->SetActive(false);
    for (int i = 0; i < AUDIO_SLOTS; ++i)
        en.TSPesReader_Audio[i]->SetActive(false);
    for (int i = 0; i < TEXT_SLOTS; ++i)
        en.TSPesReader_Text[i]->SetActive(false);
    en.RebuildPmt->SetActive(false);
    en.RebuildPat->SetActive(false);
    UpdateStreamLabels();
    host_->ShowCleaningControls(false);
    en.Host().HideProgress();
}

void TCleaningPass::SaveLogFile()
{
    try {
        if (FileExists(logFileName_))
            RemoveFile(logFileName_);
        SaveLogToFile(logFileName_);
    } catch (...) {
        const bool german = engine_->German();
        engine_->Host().ShowMessage(TMessageKind::Error, german ? "Fehler beim Speichern des Logfiles!"
                                                                : "Error while saving log file!");
    }
}

void TCleaningPass::UpdateStreamLabels()
{
    const TAnalysisTables& t = engine_->Tables();
    for (int i = 0; i < t.PidRecordCount; ++i) {
        const TPidRecord& rec = t.PidRecords[i];
        host_->UpdateStreamLabel("$" + Hex4(rec.Pid), SizeText(rec.PacketCount * TS_PACKET_SIZE),
                                 IntToStr(rec.Errors));
    }
}

std::string TCleaningPass::NalStatisticsText() const { return pesHandlers_->NalStatisticsText(); }

} // namespace tw
