#include "skin/engine/data/SkinIni.h"

#include "base/SysUtils.h"

namespace skin {

void TsIniText::SetText(const std::string& text)
{
    sections_.clear();
    TSection* current = nullptr;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = tw::Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            const std::string name = line.substr(1, line.size() - 2);
            current = nullptr;
            for (TSection& s : sections_)
                if (tw::SameText(s.Name, name)) current = &s;
            if (!current) {
                sections_.push_back({name, {}});
                current = &sections_.back();
            }
            continue;
        }
        if (!current) continue;
        const size_t eq = line.find('=');
        TKey key;
        if (eq == std::string::npos) {
            key.Name = line;
        } else {
            key.Name = tw::Trim(line.substr(0, eq));
            key.Value = line.substr(eq + 1);
        }
        current->Keys.push_back(std::move(key));
    }
}

const TsIniText::TSection* TsIniText::Find(const std::string& section) const
{
    for (const TSection& s : sections_)
        if (tw::SameText(s.Name, section)) return &s;
    return nullptr;
}

const TsIniText::TKey* TsIniText::FindKey(const std::string& section, const std::string& key) const
{
    if (const TSection* s = Find(section))
        for (const TKey& k : s->Keys)
            if (tw::SameText(k.Name, key)) return &k;
    return nullptr;
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
