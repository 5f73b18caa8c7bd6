// TStrings: the list-of-lines interface that memos, list boxes, combo boxes
// and radio groups expose for their contents. Text is UTF-8.
#pragma once

#include <string>
#include <vector>

#include "base/Object.h"
#include "base/StringList.h"

namespace tw {

class TStream;

class TStrings : public TObject {
public:
    virtual int Count() const = 0;
    virtual std::string Get(int index) const = 0;
    virtual void Put(int index, const std::string& s) = 0;
    virtual void Insert(int index, const std::string& s) = 0;
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;
    // Brackets bulk changes so that a control redraws once.
    virtual void BeginUpdate() { ++updateCount_; }
    virtual void EndUpdate() { if (updateCount_ > 0) --updateCount_; }

    std::string Strings(int index) const { return Get(index); }
    std::string operator[](int index) const { return Get(index); }
    void SetStrings(int index, const std::string& s) { Put(index, s); }
    virtual int Add(const std::string& s);
    void AddStrings(const std::vector<std::string>& lines);
    int IndexOf(const std::string& s) const;
    // Lines joined with CR LF (each line ends with one).
    virtual std::string Text() const;
    // Splits at CR LF, LF or CR.
    virtual void SetText(const std::string& text);
    void Assign(const TStrings& other);
    void Assign(const TStringList& other);
    std::vector<std::string> ToVector() const;
    std::string Values(const std::string& name) const;
    std::string Names(int index) const;
    void LoadFromFile(const std::string& fileName);
    virtual void SaveToFile(const std::string& fileName) const;
    void LoadFromStream(TStream& s);
    virtual void SaveToStream(TStream& s) const;

protected:
    int UpdateCount() const { return updateCount_; }

private:
    int updateCount_ = 0;
};

// A plain TStrings in memory (for radio-group items and the like), with a
// change callback for its owner.
class TStringsList : public TStrings {
public:
    int Count() const override { return static_cast<int>(items_.size()); }
    std::string Get(int index) const override;
    void Put(int index, const std::string& s) override;
    void Insert(int index, const std::string& s) override;
    void Delete(int index) override;
    void Clear() override;
    void EndUpdate() override;
    std::function<void()> OnChange;

private:
    void Changed();
    std::vector<std::string> items_;
};

} // namespace tw
