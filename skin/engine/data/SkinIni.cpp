#include "skin/engine/data/SkinIni.h"

#include "base/SysUtils.h"

namespace skin {

namespace {

// Names of sections and keys are ASCII; other bytes compare as they are.
unsigned char Lower(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

} // namespace

size_t TsIniText::TNoCaseHash::operator()(const std::string& s) const
{
    size_t h = 14695981039346656037ull;   // FNV-1a over the lower-cased bytes
    for (char c : s) h = (h ^ Lower(c)) * 1099511628211ull;
    return h;
}

bool TsIniText::TNoCaseEqual::operator()(const std::string& a, const std::string& b) const
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

void TsIniText::SetText(const std::string& text)
{
    sections_.clear();
    sectionIndex_.clear();
    overflowed_ = false;
    TSection* current = nullptr;
    size_t keys = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = tw::Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
        if (line.empty() || line[0] == ';') continue;
        // A value copied into every section that inherits it must stay
        // small: no skin writes lines of kilobytes. Comments and text before
        // the first section are skipped unread, so their length is no harm.
        const bool tooLong = line.size() > MaxLineLength;
        if (line.front() == '[' && line.back() == ']') {
            if (tooLong) {
                overflowed_ = true;
                break;
            }
            const std::string name = line.substr(1, line.size() - 2);
            if (sections_.size() == MaxSections && !sectionIndex_.count(name)) {
                overflowed_ = true;
                break;
            }
            const auto [at, added] = sectionIndex_.try_emplace(name, sections_.size());
            if (added) sections_.push_back({name, {}, {}});
            current = &sections_[at->second];
            continue;
        }
        if (!current) continue;
        if (tooLong || keys == MaxKeys) {
            overflowed_ = true;
            break;
        }
        ++keys;
        const size_t eq = line.find('=');
        TKey key;
        if (eq == std::string::npos) {
            key.Name = line;
        } else {
            key.Name = tw::Trim(line.substr(0, eq));
            key.Value = line.substr(eq + 1);
        }
        current->KeyIndex.try_emplace(key.Name, current->Keys.size());
        current->Keys.push_back(std::move(key));
    }
}

const TsIniText::TSection* TsIniText::Find(const std::string& section) const
{
    const auto at = sectionIndex_.find(section);
    return at == sectionIndex_.end() ? nullptr : &sections_[at->second];
}

const TsIniText::TKey* TsIniText::FindKey(const std::string& section, const std::string& key) const
{
    const TSection* s = Find(section);
    if (!s) return nullptr;
    const auto at = s->KeyIndex.find(key);
    return at == s->KeyIndex.end() ? nullptr : &s->Keys[at->second];
}

std::vector<std::string> TsIniText::SectionNames() const
{
    std::vector<std::string> names;
    for (const TSection& s : sections_) names.push_back(s.Name);
    return names;
}

std::vector<std::string> TsIniText::SectionKeys(const std::string& section) const
{
    std::vector<std::string> keys;
    if (const TSection* s = Find(section))
        for (const TKey& k : s->Keys) keys.push_back(k.Name);
    return keys;
}

std::string TsIniText::ReadString(const std::string& section, const std::string& key, const std::string& def) const
{
    const TKey* k = FindKey(section, key);
    return k ? k->Value : def;
}

int TsIniText::ReadInteger(const std::string& section, const std::string& key, int def) const
{
    const TKey* k = FindKey(section, key);
    return k ? tw::StrToIntDef(k->Value, def) : def;
}

} // namespace skin
