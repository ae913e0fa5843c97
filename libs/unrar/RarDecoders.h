#pragma once
// The two decompressors behind the library: libunarr for the RAR 1.5-4 layout (it gets solid
// archives and the 2.0 audio mode right), libarchive for RAR5. Both are driven strictly forward,
// member by member, as solid archives need.
#include "RarFormat.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct ar_stream_s;
struct ar_archive_s;
struct archive;

namespace unrar {

// Receives the unpacked data; returns ERAR_SUCCESS or the code that ends the member.
using Sink = std::function<int(const uint8_t* data, size_t size)>;

// The archive of a self-extracting archive, from its signature on, mapped into memory: neither
// decoder looks for an archive behind a program, both read one from memory.
class ArchiveView {
public:
    ArchiveView(const std::string& path, int64_t start);
    ~ArchiveView();
    ArchiveView(const ArchiveView&) = delete;
    ArchiveView& operator=(const ArchiveView&) = delete;
    bool Valid() const { return map_ != nullptr; }
    const void* Data() const { return static_cast<const char*>(map_) + start_; }
    size_t Size() const { return mapSize_ - static_cast<size_t>(start_); }

private:
    void* map_ = nullptr;
    size_t mapSize_ = 0;
    int64_t start_ = 0;
};

class Rar4Decoder {
public:
    // start: where the archive begins in the file (behind the program of a self-extracting one).
    Rar4Decoder(std::string path, bool solid, int64_t start) : path_(std::move(path)), solid_(solid), start_(start) {}
    ~Rar4Decoder() { Close(); }
    Rar4Decoder(const Rar4Decoder&) = delete;
    Rar4Decoder& operator=(const Rar4Decoder&) = delete;
    // ERAR_SUCCESS, ERAR_BAD_DATA (undecodable or cut short), or the sink's code.
    int Decode(const Member& m, const Sink& sink);

private:
    void Close();
    bool Finish();  // unpacks the rest of the current entry, for the dictionary of a solid archive

    std::string path_;
    bool solid_;
    int64_t start_;
    std::unique_ptr<ArchiveView> view_;
    ar_stream_s* stream_ = nullptr;
    ar_archive_s* ar_ = nullptr;
    bool haveEntry_ = false;
    int64_t entryOffset_ = -1;
    size_t entryLeft_ = 0;
};

class Rar5Decoder {
public:
    Rar5Decoder(std::string path, int64_t start) : path_(std::move(path)), start_(start) {}
    ~Rar5Decoder() { Close(); }
    Rar5Decoder(const Rar5Decoder&) = delete;
    Rar5Decoder& operator=(const Rar5Decoder&) = delete;
    int Decode(const Member& m, const Sink& sink);

private:
    void Close();

    std::string path_;
    int64_t start_;
    std::unique_ptr<ArchiveView> view_;
    archive* a_ = nullptr;
    int64_t index_ = -1;  // file header ordinal of libarchive's current entry
};

// A packed comment is unpacked by handing its decompressor a minimal archive in memory that holds
// the comment's data as its only member. Nothing when it cannot be unpacked or fails its check.
std::optional<std::string> UnpackComment(const PackedComment& c, Format format);

}  // namespace unrar
