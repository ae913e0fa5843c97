#include "RarDecoders.h"

#include "turnex/unrar.h"

#include <archive.h>
#include <archive_entry.h>
#include <unarr.h>
#include <zlib.h>

#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace unrar {

namespace {

constexpr size_t kChunk = 1 << 16;

uint32_t Crc32(const std::string& s, size_t from = 0)
{
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(s.data() + from), static_cast<uInt>(s.size() - from)));
}

void Put16(std::string& s, unsigned v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& s, uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

void PutVint(std::string& s, uint64_t v)
{
    do {
        uint8_t b = v & 0x7F;
        v >>= 7;
        s += static_cast<char>(v ? (b | 0x80) : b);
    } while (v);
}

// A RAR 1.5-4 block: the header CRC (low 16 bits of CRC32 from the type on) in front.
std::string Block4(const std::string& body)
{
    std::string b;
    Put16(b, Crc32(body) & 0xFFFF);
    return b + body;
}

std::string MemoryArchive4(const PackedComment& c)
{
    std::string out("Rar!\x1A\x07\x00", 7);
    std::string main;
    main += '\x73';
    Put16(main, 0);
    Put16(main, 13);
    main.append(6, '\0');
    out += Block4(main);
    std::string file;
    file += '\x74';
    Put16(file, 0x8000);
    Put16(file, 32 + 3);
    Put32(file, static_cast<uint32_t>(c.data.size()));
    Put32(file, static_cast<uint32_t>(c.unpSize));
    file += '\x02';
    Put32(file, c.crc16 ? 0 : c.crc);
    Put32(file, 0);
    file += static_cast<char>(c.unpVer);
    file += static_cast<char>(c.method);
    Put16(file, 3);
    Put32(file, 0x20);
    file += "CMT";
    out += Block4(file) + c.data;
    std::string end;
    end += '\x7B';
    Put16(end, 0x4000);
    Put16(end, 7);
    out += Block4(end);
    return out;
}

// A RAR5 header: CRC32 of the size and the body, the size, the body.
std::string Header5(const std::string& body)
{
    std::string sized;
    PutVint(sized, body.size());
    sized += body;
    std::string h;
    Put32(h, Crc32(sized));
    return h + sized;
}

std::string MemoryArchive5(const PackedComment& c)
{
    std::string out("Rar!\x1A\x07\x01\x00", 8);
    std::string main;
    PutVint(main, 1);
    PutVint(main, 0);
    PutVint(main, 0);
    out += Header5(main);
    std::string file;
    PutVint(file, 2);
    PutVint(file, 0x02);
    PutVint(file, c.data.size());
    PutVint(file, c.hasCrc ? 0x04 : 0);
    PutVint(file, c.unpSize);
    PutVint(file, 0x20);
    if (c.hasCrc)
        Put32(file, c.crc);
    PutVint(file, c.compInfo & ~uint64_t(0x40));
    PutVint(file, 0);
    PutVint(file, 3);
    file += "CMT";
    out += Header5(file) + c.data;
    std::string end;
    PutVint(end, 5);
    PutVint(end, 0);
    PutVint(end, 0);
    out += Header5(end);
    return out;
}

bool CrcMatches(const std::string& text, const PackedComment& c)
{
    if (!c.hasCrc)
        return true;
    const uint32_t crc = Crc32(text);
    return c.crc16 ? (crc & 0xFFFF) == (c.crc & 0xFFFF) : crc == c.crc;
}

std::optional<std::string> Unpack4(const PackedComment& c)
{
    const std::string arc = MemoryArchive4(c);
    ar_stream* stream = ar_open_memory(arc.data(), arc.size());
    if (!stream)
        return std::nullopt;
    std::optional<std::string> result;
    if (ar_archive* ar = ar_open_rar_archive(stream)) {
        if (ar_parse_entry(ar) && ar_entry_get_size(ar) == c.unpSize) {
            std::string text(c.unpSize, '\0');
            // An old comment keeps only 16 bits of its CRC, which the decoder cannot check: the
            // last byte is asked for apart, and the check is ours.
            bool ok = text.empty() || ar_entry_uncompress(ar, text.data(), text.size() - 1);
            if (ok && !text.empty()) {
                bool last = ar_entry_uncompress(ar, text.data() + text.size() - 1, 1);
                ok = last || c.crc16;
            }
            if (ok)
                result = std::move(text);
        }
        ar_close_archive(ar);
    }
    ar_close(stream);
    return result;
}

std::optional<std::string> Unpack5(const PackedComment& c)
{
    const std::string arc = MemoryArchive5(c);
    archive* a = archive_read_new();
    if (!a)
        return std::nullopt;
    std::optional<std::string> result;
    archive_read_support_format_rar5(a);
    archive_entry* e = nullptr;
    if (archive_read_open_memory(a, arc.data(), arc.size()) == ARCHIVE_OK &&
        archive_read_next_header(a, &e) == ARCHIVE_OK) {
        std::string text;
        char buf[4096];
        la_ssize_t n;
        while ((n = archive_read_data(a, buf, sizeof buf)) > 0 && text.size() <= c.unpSize)
            text.append(buf, static_cast<size_t>(n));
        if (n == 0 && text.size() == c.unpSize)
            result = std::move(text);
    }
    archive_read_free(a);
    return result;
}

}  // namespace

std::optional<std::string> UnpackComment(const PackedComment& c, Format format)
{
    std::optional<std::string> text;
    const bool stored = format == Format::Rar4 ? c.method == 0x30 : ((c.compInfo >> 7) & 7) == 0;
    if (stored)
        text = c.data.substr(0, std::min<size_t>(c.data.size(), c.unpSize));
    else if (c.unpSize <= (1u << 20))
        text = format == Format::Rar4 ? Unpack4(c) : Unpack5(c);
    if (!text || !CrcMatches(*text, c))
        return std::nullopt;
    return text;
}

ArchiveView::ArchiveView(const std::string& path, int64_t start) : start_(start)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && start >= 0 && st.st_size > start) {
        void* map = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            map_ = map;
            mapSize_ = static_cast<size_t>(st.st_size);
        }
    }
    close(fd);
}

ArchiveView::~ArchiveView()
{
    if (map_)
        munmap(map_, mapSize_);
}

// ---- RAR 1.5-4 through libunarr ----

void Rar4Decoder::Close()
{
    if (ar_)
        ar_close_archive(ar_);
    if (stream_)
        ar_close(stream_);
    view_.reset();
    ar_ = nullptr;
    stream_ = nullptr;
    haveEntry_ = false;
    entryOffset_ = -1;
    entryLeft_ = 0;
}

bool Rar4Decoder::Finish()
{
    std::vector<uint8_t> buf(std::min(kChunk, entryLeft_));
    while (entryLeft_ > 0) {
        size_t n = std::min(buf.size(), entryLeft_);
        if (!ar_entry_uncompress(ar_, buf.data(), n)) {
            entryLeft_ = 0;
            return false;
        }
        entryLeft_ -= n;
    }
    return true;
}

int Rar4Decoder::Decode(const Member& m, const Sink& sink)
{
    // The decoder counts its offsets from the signature.
    const int64_t headerOffset = m.headerOffset - start_;
    // Behind the cursor (or half read): start again from the first member.
    if (ar_ && haveEntry_ && entryOffset_ >= headerOffset)
        Close();
    if (!ar_) {
        if (start_ > 0) {
            view_ = std::make_unique<ArchiveView>(path_, start_);
            if (view_->Valid())
                stream_ = ar_open_memory(view_->Data(), view_->Size());
        } else {
            stream_ = ar_open_file(path_.c_str());
        }
        if (!stream_) {
            Close();
            return ERAR_EOPEN;
        }
        ar_ = ar_open_rar_archive(stream_);
        if (!ar_) {
            Close();
            return ERAR_BAD_DATA;
        }
    }
    while (!haveEntry_ || entryOffset_ < headerOffset) {
        // A solid archive's dictionary needs every member before this one unpacked.
        if (haveEntry_ && solid_ && entryLeft_ > 0)
            Finish();
        if (!ar_parse_entry(ar_)) {
            Close();
            return ERAR_BAD_DATA;
        }
        haveEntry_ = true;
        entryOffset_ = ar_entry_get_offset(ar_);
        entryLeft_ = ar_entry_get_size(ar_);
    }
    if (entryOffset_ != headerOffset || entryLeft_ != m.unpSize)
        return ERAR_BAD_DATA;
    std::vector<uint8_t> buf(std::min(kChunk, entryLeft_));
    while (entryLeft_ > 0) {
        size_t n = std::min(buf.size(), entryLeft_);
        if (!ar_entry_uncompress(ar_, buf.data(), n)) {
            entryLeft_ = 0;
            return ERAR_BAD_DATA;
        }
        entryLeft_ -= n;
        if (int rc = sink(buf.data(), n); rc != ERAR_SUCCESS) {
            if (solid_)
                Finish();
            return rc;
        }
    }
    return ERAR_SUCCESS;
}

// ---- RAR5, and RAR 3.x files that stand alone, through libarchive ----

bool LibarchiveDecodesRar4(const Member& m, bool solidArchive)
{
    constexpr unsigned kUsesEarlierMembers = 0x0010;
    return !solidArchive && !(m.flags & kUsesEarlierMembers) && m.unpVer == 29 && m.method != 0x30 && !m.isDir &&
           m.link == LinkKind::None && !m.encrypted && !m.splitBefore && !m.splitAfter;
}

void LibarchiveDecoder::Close()
{
    if (a_)
        archive_read_free(a_);
    view_.reset();
    a_ = nullptr;
    index_ = -1;
}

int LibarchiveDecoder::Decode(const Member& m, const Sink& sink)
{
    if (a_ && index_ >= static_cast<int64_t>(m.fileIndex))
        Close();
    if (!a_) {
        a_ = archive_read_new();
        if (!a_)
            return ERAR_NO_MEMORY;
        // Registered exactly once per handle: a second registration crashes libarchive.
        if (format_ == Format::Rar5)
            archive_read_support_format_rar5(a_);
        else
            archive_read_support_format_rar(a_);
        int opened = ARCHIVE_FATAL;
        if (start_ > 0) {
            view_ = std::make_unique<ArchiveView>(path_, start_);
            if (view_->Valid())
                opened = archive_read_open_memory(a_, view_->Data(), view_->Size());
        } else {
            opened = archive_read_open_filename(a_, path_.c_str(), kChunk);
        }
        if (opened != ARCHIVE_OK) {
            Close();
            return format_ == Format::Rar5 ? ERAR_BAD_DATA : kUnreachable;
        }
    }
    archive_entry* e = nullptr;
    while (index_ < static_cast<int64_t>(m.fileIndex)) {
        int r = archive_read_next_header(a_, &e);
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            Close();
            return format_ == Format::Rar5 ? ERAR_BAD_DATA : kUnreachable;
        }
        ++index_;
    }
    // Both readers count the same file headers; should they ever disagree, the entry's size says so
    // before a byte of another file reaches the sink.
    if (format_ == Format::Rar4 && e &&
        (!archive_entry_size_is_set(e) || static_cast<uint64_t>(archive_entry_size(e)) != m.unpSize)) {
        Close();
        return kUnreachable;
    }
    std::vector<uint8_t> buf(kChunk);
    uint64_t total = 0;
    for (;;) {
        la_ssize_t n = archive_read_data(a_, buf.data(), buf.size());
        if (n < 0) {
            Close();
            return ERAR_BAD_DATA;
        }
        if (n == 0)
            break;
        total += static_cast<uint64_t>(n);
        // The sink sees the bytes past the declared size first: the writer stops the member
        // on its own rule, and a test without a writer still ends here.
        if (int rc = sink(buf.data(), static_cast<size_t>(n)); rc != ERAR_SUCCESS)
            return rc;
        if (m.unpSizeKnown && total > m.unpSize) {
            Close();
            return ERAR_BAD_DATA;
        }
    }
    return ERAR_SUCCESS;
}

}  // namespace unrar
