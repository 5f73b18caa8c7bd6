#include "tools/engine/HexUndoStore.h"

#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/SysUtils.h"

namespace tw {

namespace {

constexpr int64_t kHeaderSize = 32;

// Names drawn by the stores of this process: two editors made within the
// same millisecond must not share one file before either has made it.
std::mutex g_namesLock;
std::set<std::string> g_names;

std::string DrawName(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_namesLock);
    uint32_t tick = static_cast<uint32_t>(GetTickCount64Ms());
    for (;;) {
        std::string name = folder + IntToHex(tick, 8) + THexUndoStore::kExtension;
        if (!g_names.count(name) && !FileExists(name)) {
            g_names.insert(name);
            return name;
        }
        ++tick;
    }
}

void ReleaseName(const std::string& name) {
    std::lock_guard<std::mutex> lock(g_namesLock);
    g_names.erase(name);
}

void PutInt32(uint8_t* at, int32_t v) { std::memcpy(at, &v, 4); }
void PutInt64(uint8_t* at, int64_t v) { std::memcpy(at, &v, 8); }
int32_t GetInt32(const uint8_t* at) {
    int32_t v;
    std::memcpy(&v, at, 4);
    return v;
}
int64_t GetInt64(const uint8_t* at) {
    int64_t v;
    std::memcpy(&v, at, 8);
    return v;
}

} // namespace

std::string THexUndoStore::TemporaryFolder() {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::temp_directory_path(ec);
    if (ec) return IncludeTrailingPathDelimiter(".");
    const std::u8string u8 = p.u8string();
    return IncludeTrailingPathDelimiter(std::string(u8.begin(), u8.end()));
}

THexUndoStore::THexUndoStore(const std::string& folder)
    : folder_(IncludeTrailingPathDelimiter(folder.empty() ? TemporaryFolder() : folder)), fileName_(DrawName(folder_)) {}

THexUndoStore::~THexUndoStore() {
    // Closed before it is deleted: an open file cannot be deleted on Windows.
    file_.reset();
    if (FileExists(fileName_)) RemoveFile(fileName_);
    ReleaseName(fileName_);
}

void THexUndoStore::Open() {
    if (file_) return;
    // Another program may have taken the name since it was drawn.
    if (FileExists(fileName_)) {
        const std::string taken = fileName_;
        fileName_ = DrawName(folder_);
        ReleaseName(taken);
    }
    file_ = std::make_unique<TFileStream>(fileName_, fmCreate);
}

void THexUndoStore::Push(const THexUndoRecord& r) {
    Open();
    const int64_t at = records_.empty() ? 0 : file_->Size();
    uint8_t header[kHeaderSize] = {};
    PutInt32(header, static_cast<int32_t>(r.Kind));
    PutInt32(header + 4, r.WasModified ? 1 : 0);
    PutInt64(header + 8, r.Pos);
    PutInt64(header + 16, r.Count);
    PutInt64(header + 24, static_cast<int64_t>(r.Bytes.size()));
    try {
        file_->SetPosition(at);
        file_->WriteBuffer(header, kHeaderSize);
        if (!r.Bytes.empty()) file_->WriteBuffer(r.Bytes.data(), static_cast<int64_t>(r.Bytes.size()));
    } catch (...) {
        // A half-written record is cut off again: the records before it stay
        // readable. The reason goes on to the caller.
        file_->SetSize(at);
        throw;
    }
    records_.push_back({at, r.Kind});
}

bool THexUndoStore::Pop(THexUndoRecord& r) {
    if (records_.empty() || !file_) return false;
    const int64_t at = records_.back().Offset;
    uint8_t header[kHeaderSize];
    file_->SetPosition(at);
    file_->ReadBuffer(header, kHeaderSize);
    const int64_t saved = GetInt64(header + 24);
    if (saved < 0 || saved > file_->Size() - at - kHeaderSize)
        throw EReadError("Undo record damaged in " + fileName_);
    THexUndoRecord out;
    out.Kind = static_cast<THexUndoKind>(GetInt32(header));
    out.WasModified = (GetInt32(header + 4) & 1) != 0;
    out.Pos = GetInt64(header + 8);
    out.Count = GetInt64(header + 16);
    out.Bytes.resize(static_cast<size_t>(saved));
    if (saved > 0) file_->ReadBuffer(out.Bytes.data(), saved);
    file_->SetSize(at);
    records_.pop_back();
    r = std::move(out);
    return true;
}

void THexUndoStore::Clear() {
    records_.clear();
    if (file_) file_->SetSize(0);
}

} // namespace tw
