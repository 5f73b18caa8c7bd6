#pragma once
// The packed skin archive (".asz", signature "ASzf"): the option text
// "Options.dat" and the skin's picture files, each one zlib stream, read
// whole into memory streams.
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/Streams.h"

namespace skin {

using tw::Exception;
TW_EXCEPTION(ESkinPackError, Exception);

// The largest skin file or option text read: a skin is a few hundred
// kilobytes, and a file from the skin folder must not take all memory.
inline constexpr int64_t kMaxPackedSkinBytes = int64_t(64) << 20;

struct TacPackedFile {
    std::string FileName;   // as stored
    bool IsBitmap = false;  // the extension is ".BMP"
    int64_t PackedSize = 0; // the bytes of its zlib stream in the archive
    std::unique_ptr<tw::TMemoryStream> Data;
};

class TacSkinConvertor {
public:
    TacSkinConvertor() = default;
    ~TacSkinConvertor() { Clear(); }
    TacSkinConvertor(const TacSkinConvertor&) = delete;
    TacSkinConvertor& operator=(const TacSkinConvertor&) = delete;

    // Reads the archive from the packed data stream. Raises ESkinPackError on
    // a wrong signature or damaged data, tw::EReadError when it is short.
    void ExtractPackedData();
    void Clear();

    int ImageCount = 0;
    std::vector<TacPackedFile> Files;
    std::unique_ptr<tw::TMemoryStream> Options;   // nullptr until read

    // The archive being read; owned when loaded from a file, borrowed when a
    // stored skin's data is handed in (take it back before destruction).
    tw::TStream* PackedData = nullptr;
    bool OwnsPackedData = false;
    void SetPackedData(tw::TStream* stream, bool owned);
    void FreePackedData();
};

// Loads an archive file; nothing happens when the file does not exist. An
// existing convertor is emptied first, otherwise one is made.
void LoadPackedFile(const std::string& fileName, std::unique_ptr<TacSkinConvertor>& convertor, bool freePacked);

// Writes an archive of the given files (name, content), for the skin
// generator and tests.
struct TacPackEntry {
    std::string FileName;
    std::string Data;
};
void WritePackedData(tw::TStream& target, const std::vector<TacPackEntry>& entries);

} // namespace skin
