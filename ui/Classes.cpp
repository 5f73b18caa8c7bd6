#include "ui/Classes.h"

#include <stdexcept>

#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "ui/Guards.h"

namespace tw {

namespace {

// BeginUpdate now, EndUpdate when the caller's scope ends.
auto UpdateScope(TStrings& s) {
    s.BeginUpdate();
    return TScopeExit([&s] { s.EndUpdate(); });
}

// The lines replace the whole content, with one redraw.
void ReplaceLines(TStrings& s, const std::vector<std::string>& lines) {
    auto update = UpdateScope(s);
    s.Clear();
    for (const auto& l : lines) s.Add(l);
}

} // namespace

int TStrings::Add(const std::string& s) {
    int n = Count();
    Insert(n, s);
    return n;
}

void TStrings::AddStrings(const std::vector<std::string>& lines) {
    auto update = UpdateScope(*this);
    for (const auto& l : lines) Add(l);
}

int TStrings::IndexOf(const std::string& s) const {
    for (int i = 0; i < Count(); ++i)
        if (Get(i) == s) return i;
    return -1;
}

std::string TStrings::Text() const {
    std::string r;
    for (int i = 0; i < Count(); ++i) {
        r += Get(i);
        r += "\r\n";
    }
    return r;
}

namespace {
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> v;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            v.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) v.push_back(text.substr(start));
    return v;
}
} // namespace

void TStrings::SetText(const std::string& text) { ReplaceLines(*this, SplitLines(text)); }

void TStrings::Assign(const TStrings& other) {
    if (&other == this) return;
    ReplaceLines(*this, other.ToVector());
}

void TStrings::Assign(const TStringList& other) {
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(other.Count()));
    for (int i = 0; i < other.Count(); ++i) lines.push_back(other[i]);
    ReplaceLines(*this, lines);
}

std::vector<std::string> TStrings::ToVector() const {
    std::vector<std::string> v;
    v.reserve(static_cast<size_t>(Count()));
    for (int i = 0; i < Count(); ++i) v.push_back(Get(i));
    return v;
}

std::string TStrings::Values(const std::string& name) const {
    for (int i = 0; i < Count(); ++i) {
        std::string s = Get(i);
        size_t p = s.find('=');
        if (p != std::string::npos && s.compare(0, p, name) == 0 && p == name.size()) return s.substr(p + 1);
    }
    return "";
}

std::string TStrings::Names(int index) const {
    std::string s = Get(index);
    size_t p = s.find('=');
    return p == std::string::npos ? "" : s.substr(0, p);
}

void TStrings::LoadFromFile(const std::string& fileName) {
    TFileStream f(fileName, fmOpenRead);
    LoadFromStream(f);
}

void TStrings::SaveToFile(const std::string& fileName) const {
    TFileStream f(fileName, fmCreate);
    SaveToStream(f);
}

void TStrings::LoadFromStream(TStream& s) {
    int64_t n = s.Size() - s.Position();
    std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) s.ReadBuffer(text.data(), n);
    // A UTF-8 byte-order mark is not part of the first line.
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF)
        text.erase(0, 3);
    SetText(text);
}

void TStrings::SaveToStream(TStream& s) const {
    std::string t = Text();
    if (!t.empty()) s.WriteBuffer(t.data(), static_cast<int64_t>(t.size()));
}

std::string TStringsList::Get(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    return items_[static_cast<size_t>(index)];
}

void TStringsList::Put(int index, const std::string& s) {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    items_[static_cast<size_t>(index)] = s;
    Changed();
}

void TStringsList::Insert(int index, const std::string& s) {
    if (index < 0 || index > Count()) throw EListError(Format("List index out of bounds (%d)", index));
    items_.insert(items_.begin() + index, s);
    Changed();
}

void TStringsList::Delete(int index) {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    items_.erase(items_.begin() + index);
    Changed();
}

void TStringsList::Clear() {
    if (items_.empty()) return;
    items_.clear();
    Changed();
}

void TStringsList::EndUpdate() {
    TStrings::EndUpdate();
    if (UpdateCount() == 0) Changed();
}

void TStringsList::Changed() {
    if (UpdateCount() == 0 && OnChange) OnChange();
}

} // namespace tw
