#include "skin/engine/data/acSkinPack.h"

#include <zlib.h>

#include <cstring>

#include "base/SysUtils.h"
#include "skin/engine/data/SkinIni.h"

namespace skin {

namespace {

const char kSignature[4] = {'A', 'S', 'z', 'f'};
const char* const kOptionsName = "Options.dat";
// The smallest entry: name length, size and an empty zlib stream (two header
// bytes, an empty final block, the four-byte checksum).
constexpr int64_t kMinEntryBytes = 4 + 4 + 8;
// Deflate never makes more than this many bytes of one input byte.
constexpr int64_t kMaxInflateRatio = 1032;
// An entry's first room; it doubles from there as its stream fills it.
constexpr int64_t kFirstEntryRoom = int64_t(64) << 10;

[[noreturn]] void Damaged(const std::string& why)
{
    throw ESkinPackError("Skin archive is damaged: " + why);
}

int32_t Le32(const uint8_t* p)
{
    return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}

void PutLe32(tw::TStream& s, int32_t v)
{
    const uint32_t u = uint32_t(v);
    const uint8_t b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
    s.WriteBuffer(b, 4);
}

// Reads the archive from memory; every count and length is checked against
// the bytes that are really there before it is used.
class TArchiveReader {
public:
    TArchiveReader(const uint8_t* data, size_t size) : data_(data), size_(int64_t(size)) {}

    int64_t Left() const { return size_ - pos_; }

    const uint8_t* Take(int64_t n)
    {
        // An archive that ends before its counts and names is damaged, and
        // the user is told so, not that a stream could not be read.
        if (n < 0 || n > Left()) Damaged("the file ends before its contents");
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }

    int32_t Int() { return Le32(Take(4)); }

    // Inflates exactly size bytes of the zlib stream at the current position
    // and moves past the stream's end. The entry takes memory as its stream
    // fills it, doubling up to the stated size: the size is only a claim,
    // and one a small file cannot back must not cost its full amount.
    void Inflate(tw::TMemoryStream& out, int32_t size)
    {
        if (size < 0) Damaged("negative file size");
        if (int64_t(size) > kMaxInflateRatio * Left()) Damaged("file size beyond the data");
        int64_t room = 0;
        z_stream z{};
        if (inflateInit(&z) != Z_OK) Damaged("zlib failed to start");
        struct TEnd {
            z_stream* Z;
            ~TEnd() { inflateEnd(Z); }
        } end{&z};
        z.next_in = const_cast<Bytef*>(data_ + pos_);
        int64_t written = 0;
        uint8_t spare = 0;
        int rc = Z_OK;
        while (rc != Z_STREAM_END) {
            // zlib counts in 32 bits; feed large inputs in slices.
            if (z.avail_in == 0) {
                const int64_t inLeft = size_ - (int64_t(z.next_in - data_));
                if (inLeft <= 0) Damaged("zlib stream cut short");
                z.avail_in = uInt(std::min<int64_t>(inLeft, 1 << 30));
            }
            if (written < size) {
                if (written == room) {
                    room = std::min<int64_t>(size, std::max(kFirstEntryRoom, 2 * room));
                    out.Reserve(room);
                    out.SetSize(room);
                }
                z.next_out = out.Memory() + written;
                z.avail_out = uInt(std::min<int64_t>(room - written, 1 << 30));
            } else {
                // Past the stated size only the stream's end may follow.
                z.next_out = &spare;
                z.avail_out = 1;
            }
            const uInt before = z.avail_out;
            rc = inflate(&z, Z_NO_FLUSH);
            if (written >= size && z.avail_out == 0) Damaged("file larger than its stated size");
            written += before - z.avail_out;
            if (rc != Z_OK && rc != Z_STREAM_END) Damaged(z.msg ? z.msg : "zlib error");
        }
        if (written != size) Damaged("file smaller than its stated size");
        pos_ = int64_t(z.next_in - data_);
        out.SetSize(size);
        out.SetPosition(size);
    }

private:
    const uint8_t* data_;
    int64_t size_;
    int64_t pos_ = 0;
};

} // namespace

void TacSkinConvertor::SetPackedData(tw::TStream* stream, bool owned)
{
    FreePackedData();
    PackedData = stream;
    OwnsPackedData = owned;
}

void TacSkinConvertor::FreePackedData()
{
    // A borrowed stream (a stored skin's data) stays with its owner.
    if (OwnsPackedData) delete PackedData;
    PackedData = nullptr;
    OwnsPackedData = false;
}

void TacSkinConvertor::Clear()
{
    while (!Files.empty()) Files.pop_back();
    Options.reset();
    FreePackedData();
}

void TacSkinConvertor::ExtractPackedData()
{
    if (PackedData == nullptr) throw ESkinPackError("No packed skin data");
    // The whole archive is in memory first: read from a memory stream as it
    // stands, from any other stream through a copy.
    PackedData->SetPosition(0);
    std::vector<uint8_t> copy;
    const uint8_t* bytes = nullptr;
    size_t byteCount = 0;
    if (auto* memory = dynamic_cast<tw::TMemoryStream*>(PackedData)) {
        bytes = memory->Memory();
        byteCount = size_t(memory->Size());
    } else {
        copy.resize(size_t(std::max<int64_t>(0, PackedData->Size())));
        PackedData->ReadBuffer(copy.data(), int64_t(copy.size()));
        bytes = copy.data();
        byteCount = copy.size();
    }

    TArchiveReader in(bytes, byteCount);
    if (byteCount < 4 || std::memcmp(bytes, kSignature, 4) != 0) {
        Clear();
        throw ESkinPackError("Loaded data is not a packed skin file");
    }
    in.Take(4);
    const int32_t count = in.Int();
    if (count < 0 || int64_t(count) * kMinEntryBytes > in.Left()) Damaged("entry count beyond the data");
    // Each entry costs a record and a stream, far more than the sixteen
    // bytes it may take in the file; an option text names at most
    // MaxKeys pictures, so more files than that serve nothing.
    if (int64_t(count) > int64_t(TsIniText::MaxKeys) + 1)
        throw ESkinPackError("Skin archive holds more files than a skin can use");
    ImageCount = count - 1;
    // What a skin can use of its archive: an option text and the pictures
    // its readers take, each at most kMaxPackedSkinBytes. Each entry's size
    // is checked against what is left before it is inflated.
    int64_t optionBytes = 0, fileBytes = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t nameLength = in.Int();
        if (nameLength < 0 || nameLength > in.Left()) Damaged("name length beyond the data");
        const uint8_t* name = in.Take(nameLength);
        std::string fileName(reinterpret_cast<const char*>(name), size_t(nameLength));
        const int32_t size = in.Int();
        const bool options = tw::SameText(fileName, kOptionsName);
        int64_t& used = options ? optionBytes : fileBytes;
        if (size > kMaxPackedSkinBytes - used)
            throw ESkinPackError("Skin archive is too large: its files unpack to more than a skin can use");
        used += std::max<int32_t>(size, 0);
        auto data = std::make_unique<tw::TMemoryStream>();
        const int64_t packedFrom = in.Left();
        in.Inflate(*data, size);
        const int64_t packedSize = packedFrom - in.Left();
        if (options) {
            Options = std::move(data);
        } else {
            TacPackedFile file;
            file.IsBitmap = tw::UpperCase(tw::ExtractFileExt(fileName)) == ".BMP";
            file.FileName = std::move(fileName);
            file.Data = std::move(data);
            file.PackedSize = packedSize;
            Files.push_back(std::move(file));
        }
    }
    PackedData->SetPosition(PackedData->Size());
}

void LoadPackedFile(const std::string& fileName, std::unique_ptr<TacSkinConvertor>& convertor, bool freePacked)
{
    if (!tw::FileExists(fileName)) return;
    if (convertor) convertor->Clear();
    else convertor = std::make_unique<TacSkinConvertor>();
    auto packed = std::make_unique<tw::TMemoryStream>();
    {
        tw::TFileStream file(fileName, tw::fmOpenRead | tw::fmShareDenyWrite);
        if (file.Size() > kMaxPackedSkinBytes) {
            convertor.reset();
            throw ESkinPackError("The skin file \"" + fileName + "\" is too large");
        }
        packed->LoadFromStream(file);
    }
    convertor->SetPackedData(packed.release(), true);
    // A convertor that failed to read is dropped: the caller must not use
    // what it half holds.
    struct TDropOnFailure {
        std::unique_ptr<TacSkinConvertor>& C;
        bool Done = false;
        ~TDropOnFailure() { if (!Done) C.reset(); }
    } guard{convertor};
    convertor->ExtractPackedData();
    guard.Done = true;
    if (freePacked) convertor->FreePackedData();
}

void WritePackedData(tw::TStream& target, const std::vector<TacPackEntry>& entries)
{
    target.WriteBuffer(kSignature, 4);
    PutLe32(target, int32_t(entries.size()));
    for (const TacPackEntry& e : entries) {
        PutLe32(target, int32_t(e.FileName.size()));
        target.WriteBuffer(e.FileName.data(), int64_t(e.FileName.size()));
        PutLe32(target, int32_t(e.Data.size()));
        uLongf packedSize = compressBound(uLong(e.Data.size()));
        std::vector<uint8_t> packed(packedSize);
        if (compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(e.Data.data()), uLong(e.Data.size()),
                      Z_BEST_COMPRESSION) != Z_OK)
            throw ESkinPackError("Skin archive could not be compressed");
        target.WriteBuffer(packed.data(), int64_t(packedSize));
    }
}

} // namespace skin
