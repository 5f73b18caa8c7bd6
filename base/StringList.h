// A list of text lines. Text joins with CRLF; setting Text splits on CRLF, LF
// or CR. Sorted lists keep their order on Add and find by binary search.
#pragma once

#include <string>
#include <vector>

#include "base/Object.h"

namespace tw {

class TStream;

class TStringList : public TObject {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
    const std::string& Strings(int i) const { return (*this)[i]; }
    void SetStrings(int i, const std::string& s);
    TObject* Objects(int i) const { return objects_.at(static_cast<size_t>(i)); }
    void SetObjects(int i, TObject* o) { objects_.at(static_cast<size_t>(i)) = o; }

    int Add(const std::string& s, TObject* obj = nullptr);
    void Insert(int index, const std::string& s, TObject* obj = nullptr);
    void Delete(int index);
    void Clear();
    int IndexOf(const std::string& s) const;
    // Binary search in a sorted list: true when found; index is the match or
    // the insertion point.
    bool Find(const std::string& s, int& index) const;

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);
    // Duplicates in a sorted list: accepted (default) or ignored.
    void SetIgnoreDuplicates(bool ignore) { ignoreDuplicates_ = ignore; }
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool cs);

    std::string Text() const;
    void SetText(const std::string& text);
    // "name=value" access
    std::string Values(const std::string& name) const;
    void SetValues(const std::string& name, const std::string& value);
    std::string Names(int i) const;
    int IndexOfName(const std::string& name) const;

    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;
    void LoadFromStream(TStream& s);
    void SaveToStream(TStream& s) const;

    const std::vector<std::string>& Items() const { return items_; }

private:
    int Compare(const std::string& a, const std::string& b) const;
    void Sort();

    std::vector<std::string> items_;
    std::vector<TObject*> objects_;
    bool sorted_ = false;
    bool ignoreDuplicates_ = false;
    bool caseSensitive_ = false;
};

} // namespace tw
