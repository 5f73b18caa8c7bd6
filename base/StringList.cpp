#include "base/StringList.h"

#include <algorithm>
#include <numeric>

#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/SysUtils.h"

namespace tw {

int TStringList::Compare(const std::string& a, const std::string& b) const {
    if (caseSensitive_) return a.compare(b);
    return LowerCase(a).compare(LowerCase(b));
}

void TStringList::SetStrings(int i, const std::string& s) {
    if (sorted_) throw EListError("Operation not allowed on sorted list");
    items_.at(static_cast<size_t>(i)) = s;
}

int TStringList::Add(const std::string& s, TObject* obj) {
    if (!sorted_) {
        items_.push_back(s);
        objects_.push_back(obj);
        return Count() - 1;
    }
    int idx;
    if (Find(s, idx) && ignoreDuplicates_) return idx;
    // Equal items go after the existing ones so Add keeps arrival order.
    while (idx < Count() && Compare(items_[static_cast<size_t>(idx)], s) == 0) ++idx;
    items_.insert(items_.begin() + idx, s);
    objects_.insert(objects_.begin() + idx, obj);
    return idx;
}

void TStringList::Insert(int index, const std::string& s, TObject* obj) {
    if (sorted_) throw EListError("Operation not allowed on sorted list");
    if (index < 0 || index > Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    items_.insert(items_.begin() + index, s);
    objects_.insert(objects_.begin() + index, obj);
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    items_.erase(items_.begin() + index);
    objects_.erase(objects_.begin() + index);
}

void TStringList::Clear() {
    items_.clear();
    objects_.clear();
}

int TStringList::IndexOf(const std::string& s) const {
    if (sorted_) {
        int idx;
        return Find(s, idx) ? idx : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (Compare(items_[static_cast<size_t>(i)], s) == 0) return i;
    return -1;
}

bool TStringList::Find(const std::string& s, int& index) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = Compare(items_[static_cast<size_t>(mid)], s);
        if (c < 0) lo = mid + 1;
        else {
            hi = mid - 1;
            if (c == 0) found = true; // keep going left: first of equals
        }
    }
    index = lo;
    return found;
}

void TStringList::Sort() {
    std::vector<size_t> order(items_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](size_t a, size_t b) { return Compare(items_[a], items_[b]) < 0; });
    std::vector<std::string> ni;
    std::vector<TObject*> no;
    for (size_t i : order) {
        ni.push_back(std::move(items_[i]));
        no.push_back(objects_[i]);
    }
    items_ = std::move(ni);
    objects_ = std::move(no);
}

void TStringList::SetSorted(bool sorted) {
    if (sorted && !sorted_) {
        sorted_ = true;
        Sort();
    }
    sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool cs) {
    caseSensitive_ = cs;
    if (sorted_) Sort();
}

std::string TStringList::Text() const {
    size_t total = 0;
    for (auto& s : items_) total += s.size() + 2;
    std::string r;
    r.reserve(total);
    for (auto& s : items_) {
        r += s;
        r += "\r\n";
    }
    return r;
}

void TStringList::SetText(const std::string& text) {
    Clear();
    size_t i = 0, n = text.size();
    while (i < n) {
        size_t j = i;
        while (j < n && text[j] != '\r' && text[j] != '\n') ++j;
        Add(text.substr(i, j - i));
        if (j < n && text[j] == '\r') ++j;
        if (j < n && text[j] == '\n') ++j;
        i = j;
    }
}

std::string TStringList::Names(int i) const {
    const std::string& s = (*this)[i];
    size_t eq = s.find('=');
    return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

int TStringList::IndexOfName(const std::string& name) const {
    for (int i = 0; i < Count(); ++i) {
        const std::string& s = items_[static_cast<size_t>(i)];
        size_t eq = s.find('=');
        if (eq != std::string::npos && Compare(s.substr(0, eq), name) == 0) return i;
    }
    return -1;
}

std::string TStringList::Values(const std::string& name) const {
    int i = IndexOfName(name);
    if (i < 0) return std::string();
    const std::string& s = items_[static_cast<size_t>(i)];
    return s.substr(s.find('=') + 1);
}

void TStringList::SetValues(const std::string& name, const std::string& value) {
    int i = IndexOfName(name);
    if (i < 0) {
        Add(name + "=" + value);
        return;
    }
    items_[static_cast<size_t>(i)] = name + "=" + value;
}

void TStringList::LoadFromStream(TStream& s) {
    int64_t n = s.Size() - s.Position();
    std::string data(static_cast<size_t>(std::max<int64_t>(0, n)), '\0');
    if (n > 0) s.ReadBuffer(data.data(), n);
    if (data.size() >= 3 && static_cast<unsigned char>(data[0]) == 0xEF && static_cast<unsigned char>(data[1]) == 0xBB &&
        static_cast<unsigned char>(data[2]) == 0xBF)
        data.erase(0, 3);
    SetText(data);
}

void TStringList::SaveToStream(TStream& s) const {
    std::string t = Text();
    s.WriteBuffer(t.data(), static_cast<int64_t>(t.size()));
}

void TStringList::LoadFromFile(const std::string& fileName) {
    TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(f);
}

void TStringList::SaveToFile(const std::string& fileName) const {
    TFileStream f(fileName, fmCreate);
    SaveToStream(f);
}

} // namespace tw
