#pragma once
// The two decompressors behind the library: libarchive for RAR5 and for the files of RAR 3.x
// compression that need no earlier member (it sizes its window to the data, so a small archive
// unpacks fast), libunarr for the rest of the RAR 1.5-4 layout (solid archives, whose continuations
// libarchive refuses, and RAR 2.0 compression, whose audio mode it decodes wrongly). Both are driven
// strictly forward, member by member, as solid archives need.
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

class LibarchiveDecoder {
public:
    LibarchiveDecoder(std::string path, int64_t start, Format format)
        : path_(std::move(path)), start_(start), format_(format)
    {
    }
    ~LibarchiveDecoder() { Close(); }
    LibarchiveDecoder(const LibarchiveDecoder&) = delete;
    LibarchiveDecoder& operator=(const LibarchiveDecoder&) = delete;
    // ERAR_SUCCESS, ERAR_BAD_DATA, the sink's code, or kUnreachable when the member's entry could
    // not be reached (nothing was handed to the sink).
    int Decode(const Member& m, const Sink& sink);
    static constexpr int kUnreachable = -1;

private:
    void Close();

    std::string path_;
    int64_t start_;
    Format format_;
    std::unique_ptr<ArchiveView> view_;
    archive* a_ = nullptr;
    int64_t index_ = -1;  // file header ordinal of libarchive's current entry
};

// Whether libarchive unpacks this RAR 1.5-4 file right: RAR 3.x compression, a file (a link keeps
// its target in its data, which libarchive takes as the target), and no dictionary of earlier members.
bool LibarchiveDecodesRar4(const Member& m, bool solidArchive);

// A packed comment is unpacked by handing its decompressor a minimal archive in memory that holds
// the comment's data as its only member. Nothing when it cannot be unpacked or fails its check.
std::optional<std::string> UnpackComment(const PackedComment& c, Format format);

}  // namespace unrar
