// The hex editor's undo store: a file in the temporary folder that holds one
// record per edit, a fixed header followed by the bytes the edit saved, so
// that a long editing session keeps its undo history out of memory. The
// file is named from the millisecond clock in 8 hexadecimal digits with the
// extension ".hxu" (the next number while a name is taken), made when the
// first record is stored and deleted with the store.
//
// Record layout (little-endian, 32-byte header):
//   0  int32  kind (THexUndoKind)
//   4  int32  flags: bit 0 = the data were modified before the edit
//   8  int64  position of the edit
//   16 int64  number of bytes the edit concerned
//   24 int64  number of saved bytes that follow
//   32 ...    the saved bytes
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tw {

class TFileStream;

// Undo kinds in the order of their descriptions.
enum THexUndoKind {
    ukByteChanged = 0,
    ukBytesRemoved,
    ukInsertBuffer,
    ukReplaceSelection,
    ukAppendBuffer,
    ukInsertNibble,
    ukDeleteNibble,
    ukConvert,
};

struct THexUndoRecord {
    THexUndoKind Kind = ukByteChanged;
    int64_t Pos = 0;
    int64_t Count = 0;
    bool WasModified = false;
    std::vector<uint8_t> Bytes;
};

class THexUndoStore {
public:
    static constexpr const char* kExtension = ".hxu";

    // `folder` empty: the system's temporary folder.
    explicit THexUndoStore(const std::string& folder = {});
    ~THexUndoStore();
    THexUndoStore(const THexUndoStore&) = delete;
    THexUndoStore& operator=(const THexUndoStore&) = delete;

    // The file's full name (it exists once a record was stored).
    const std::string& FileName() const { return fileName_; }
    bool Empty() const { return records_.empty(); }
    // Kind of the last record; only when not empty.
    THexUndoKind LastKind() const { return records_.back().Kind; }

    // Appends a record. A file that cannot be made or written raises the
    // stream's exception with its reason, and the store stays as it was.
    void Push(const THexUndoRecord& record);
    // Takes the last record back out of the file; false when empty. A file
    // that cannot be read raises, and the record stays.
    bool Pop(THexUndoRecord& record);
    // Forgets every record (the file is emptied, not deleted).
    void Clear();

    // The system's temporary folder with a trailing separator.
    static std::string TemporaryFolder();

private:
    struct TEntry {
        int64_t Offset;
        THexUndoKind Kind;
    };
    void Open();

    std::string folder_;
    std::string fileName_;
    std::unique_ptr<TFileStream> file_;
    std::vector<TEntry> records_;
};

} // namespace tw
