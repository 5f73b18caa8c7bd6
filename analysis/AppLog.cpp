#include "analysis/AppLog.h"

#include "base/Streams.h"
#include "base/SysUtils.h"

namespace tw {

namespace {

class TMemoryLog : public TLogSink {
public:
    void AddLine(const std::string& line) override { lines_.push_back(line); }
    void ClearLines() override { lines_.clear(); }
    int LineCount() const override { return static_cast<int>(lines_.size()); }
    std::string Line(int index) const override { return lines_.at(static_cast<size_t>(index)); }

private:
    std::vector<std::string> lines_;
};

TMemoryLog& MemoryLog() {
    static TMemoryLog log;
    return log;
}

TLogSink* g_sink = nullptr;

TLogSink& Sink() { return g_sink ? *g_sink : MemoryLog(); }

} // namespace

void SetLogSink(TLogSink* sink) { g_sink = sink; }
TLogSink* CurrentLogSink() { return &Sink(); }

void AppendLogLine(const std::string& line) {
    // Split on CR LF, LF or CR so that one memo line is one log line.
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r' || line[i] == '\n') {
            Sink().AddLine(line.substr(start, i - start));
            if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < line.size() || start == 0) Sink().AddLine(line.substr(start));
}

void ClearLog() { Sink().ClearLines(); }
int LogLineCount() { return Sink().LineCount(); }
std::string LogLine(int index) { return Sink().Line(index); }

std::vector<std::string> LogLines() {
    std::vector<std::string> out;
    int n = LogLineCount();
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out.push_back(LogLine(i));
    return out;
}

void SaveLogToFile(const std::string& fileName) {
    std::string text;
    for (const std::string& l : LogLines()) {
        text += l;
        text += "\r\n";
    }
    if (FileExists(fileName)) RemoveFile(fileName);
    TFileStream f(fileName, fmCreate);
    f.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

} // namespace tw
