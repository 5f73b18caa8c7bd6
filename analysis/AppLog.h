// The program's log: every finding, step and result becomes one line. The
// log window shows the lines (it installs itself as the sink at start); where
// no window exists (portable tests, tools run without the window) the lines
// are kept in memory. Everybody appends through AppendLogLine.
#pragma once

#include <string>
#include <vector>

namespace tw {

class TLogSink {
public:
    virtual ~TLogSink() = default;
    virtual void AddLine(const std::string& line) = 0;
    virtual void ClearLines() = 0;
    virtual int LineCount() const = 0;
    virtual std::string Line(int index) const = 0;
};

// Installs the sink (nullptr returns to the in-memory one). The sink is not
// owned; its owner removes it before it goes away.
void SetLogSink(TLogSink* sink);
TLogSink* CurrentLogSink();

// Appends one line. A text holding line breaks becomes several lines.
void AppendLogLine(const std::string& line);
void ClearLog();
int LogLineCount();
std::string LogLine(int index);
std::vector<std::string> LogLines();
// Writes the lines with CR LF endings; an existing file of that name is
// replaced. Throws EFCreateError / EWriteError when the file cannot be written.
void SaveLogToFile(const std::string& fileName);

} // namespace tw
