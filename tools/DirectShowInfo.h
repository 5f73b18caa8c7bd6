// Which DirectShow filters are installed (by friendly name) and which
// DirectX version the system reports. The main window asks once after start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Object.h"

namespace tw {

// The answer of a lookup and an entry of the filter list.
struct TDxFilterInfo {
    bool Found = false; // only set in lookup answers
    std::string FriendlyName;
    std::string ClassID; // registry form with braces
};

class TDirectShowInfo : public TComponent {
public:
    explicit TDirectShowInfo(TComponent* owner);
    ~TDirectShowInfo() override;

    // The first filter whose friendly name equals the name ignoring the case
    // of ASCII letters; the list is read from the system on the first call
    // (and again while it is empty).
    TDxFilterInfo FindFilter(const std::string& name);
    // "9.0c" and the like; empty when the diagnostics provider cannot say.
    std::string DirectXVersionText();

    int FilterCount() const { return count_; }
    int Capacity() const { return static_cast<int>(list_.size()); }

    // Appends one entry, growing the list by 128 when it is full. Public so
    // that tests can fill the list as a machine with many filters would.
    void AddFilterEntry(const std::string& friendlyName, const std::string& classId);

protected:
    // Appends every filter of the legacy DirectShow filter category.
    void EnumerateFilters();
    // S_OK when major, minor and letter were all read, else E_FAIL.
    int32_t ReadDxDiagVersion(uint32_t& major, uint32_t& minor, char& letter);

private:
    std::vector<TDxFilterInfo> list_;
    int count_ = 0;
};

// The version text from the three values: 9, 0, 'c' give "9.0c".
std::string DirectXVersionFromParts(uint32_t major, uint32_t minor, char letter);

} // namespace tw
