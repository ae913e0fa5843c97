// The zip extractor library: UnzLibExec extracts the entries of an UnzipCommand's archive into
// the current directory through libzip; the raw bytes of a deflated member in the clear are
// inflated by libdeflate or ISA-L instead of libzip's zlib, which is much slower. Every file goes
// through one extraction folder per run and replaces its target only once its checksum (for AES
// entries, its authentication code) matched, so a damaged archive never destroys the file it was
// meant to replace; names that would leave the folder, symbolic links, and members too large for
// the disk are refused. Every file that is not extracted gets one skip call saying why.
#include "turnex/ZipRecords.h"
#include "base/CaseFold.h"
#include "base/CodePage.h"
#include "base/ExtractionFolder.h"
#include "base/Files.h"
#include "base/Paths.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <nettle/hmac.h>
#include <nettle/pbkdf2.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace ziprec;

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int32_t kVersion = 160;
constexpr int kMaxPasswordAsks = 15;
// A deflated member up to this size is inflated in one piece, the fastest way there is; a larger
// one streams through buffers of kStreamBytes, so that memory stays small whatever the archive holds.
constexpr zip_uint64_t kWholeMemberBytes = 4u << 20;
constexpr size_t kStreamBytes = 1 << 18;
// Progress is reported in pieces of this size, as libzip's reading reports it.
constexpr size_t kProgressStep = 1 << 16;

// Skip kinds (the low byte of the size value of action 11).
enum Skip : int32_t {
    skNoOverwrite = 0,
    skBadPassword = 1,
    skUnknownMethod = 2,
    skUnsafeName = 3,
    skCrcError = 4,
    skExtractError = 5
};

// Error codes of action 4 and 11 messages.
enum Code : int32_t { erArchive = 1, erUnsafe = 2, erMethod = 3, erPassword = 4, erCrc = 5, erRead = 6, erWrite = 7 };

const char* MethodName(int32_t method)
{
    switch (method) {
    case ZIP_CM_DEFLATE64: return "Deflate64";
    case ZIP_CM_LZMA: return "LZMA";
    case ZIP_CM_PPMD: return "PPMd";
    case ZIP_CM_BZIP2: return "BZip2";
    case ZIP_CM_XZ: return "XZ";
    case ZIP_CM_IMPLODE: return "Implode";
    case ZIP_CM_REDUCE_1:
    case ZIP_CM_REDUCE_2:
    case ZIP_CM_REDUCE_3:
    case ZIP_CM_REDUCE_4: return "Reduce";
    case ZIP_CM_SHRINK: return "Shrink";
    default: return nullptr;
    }
}

std::string MethodText(int32_t method)
{
    const char* name = MethodName(method);
    return name ? std::string(name) : "method " + std::to_string(method);
}

// The part after the last separator of either kind.
std::string BareName(const std::string& name)
{
    const size_t sep = name.find_last_of("/\\");
    return sep == std::string::npos ? name : name.substr(sep + 1);
}

// A name as a message shows it: a control character in it could break the lines of the box, and
// bytes that are not UTF-8 would garble the rest of the text.
std::string Printable(std::string text)
{
    text = base::TextToUtf8(text);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

bool IsUnsafe(const base::Outcome& outcome)
{
    return outcome.refusal == base::Refusal::UnsafeName || outcome.refusal == base::Refusal::UnreadableName ||
           outcome.refusal == base::Refusal::ThroughLink;
}

bool IsFolderName(const std::string& name) { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }

bool IsAes(const zip_stat_t& st)
{
    return (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method >= ZIP_EM_AES_128 &&
           st.encryption_method <= ZIP_EM_AES_256;
}

// WinZip AES: the password and the salt give, through PBKDF2-HMAC-SHA1, the encryption key, the
// authentication key and a two-byte password check; the data end in the first ten bytes of the
// HMAC-SHA1 of the encrypted bytes under the authentication key. Checking that code ourselves
// tells damage apart from the checksum compare this libzip makes against the zero CRC of AE-2
// entries, which fails for sound ones too.
class AesAuthenticator {
public:
    static constexpr size_t kCheckBytes = 2;
    static constexpr size_t kCodeBytes = 10;

    AesAuthenticator(uint16_t method, std::string password) : password_(std::move(password))
    {
        keyBytes_ = method == ZIP_EM_AES_128 ? 16 : method == ZIP_EM_AES_192 ? 24 : 32;
        head_.reserve(SaltBytes() + kCheckBytes);
    }
    size_t SaltBytes() const { return keyBytes_ / 2; }

    // The raw bytes of the entry, in order, as often as they come.
    void Add(const uint8_t* data, size_t size)
    {
        while (size > 0 && head_.size() < SaltBytes() + kCheckBytes) {
            head_.push_back(*data++);
            --size;
            if (head_.size() == SaltBytes() + kCheckBytes)
                Key();
        }
        if (size == 0)
            return;
        // The last ten bytes are the code itself: hold them back until more data follows.
        if (size >= kCodeBytes) {
            Mac(held_.data(), held_.size());
            Mac(data, size - kCodeBytes);
            held_.assign(data + size - kCodeBytes, data + size);
        } else {
            held_.insert(held_.end(), data, data + size);
            if (held_.size() > kCodeBytes) {
                const size_t extra = held_.size() - kCodeBytes;
                Mac(held_.data(), extra);
                held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(extra));
            }
        }
    }
    // True when the password check and the authentication code both match.
    bool Genuine()
    {
        if (!keyed_ || !passwordFits_ || held_.size() != kCodeBytes)
            return false;
        uint8_t code[kCodeBytes];
        hmac_sha1_digest(&mac_, kCodeBytes, code);
        return std::memcmp(code, held_.data(), kCodeBytes) == 0;
    }

private:
    void Key()
    {
        std::vector<uint8_t> derived(2 * keyBytes_ + kCheckBytes);
        pbkdf2_hmac_sha1(password_.size(), reinterpret_cast<const uint8_t*>(password_.data()), 1000, SaltBytes(),
                         head_.data(), derived.size(), derived.data());
        passwordFits_ = std::memcmp(derived.data() + 2 * keyBytes_, head_.data() + SaltBytes(), kCheckBytes) == 0;
        hmac_sha1_set_key(&mac_, keyBytes_, derived.data() + keyBytes_);
        keyed_ = true;
    }
    void Mac(const uint8_t* data, size_t size)
    {
        if (size > 0)
            hmac_sha1_update(&mac_, size, data);
    }

    std::string password_;
    size_t keyBytes_ = 32;
    std::vector<uint8_t> head_;
    std::vector<uint8_t> held_;
    hmac_sha1_ctx mac_ {};
    bool keyed_ = false;
    bool passwordFits_ = false;
};

bool Wanted(const std::string& name, const std::vector<std::string>& items)
{
    if (items.empty())
        return true;
    std::string back = name;
    std::replace(back.begin(), back.end(), '/', '\\');
    for (std::string s : items) {
        std::replace(s.begin(), s.end(), '/', '\\');
        if (base::WildcardMatch(s, back) || base::WildcardMatch(s, BareName(back)))
            return true;
    }
    return false;
}

class Extractor {
public:
    Extractor(uint8_t* raw)
        : cmd_(raw, kUnzipCommand),
          cb_(reinterpret_cast<CallbackFn>(cmd_.PtrV(ucCallback)), cmd_.PtrV(ucCaller), cmd_.PtrV(ucHandle))
    {
    }

    int32_t Run()
    {
        if (cmd_.U32(ucEndMarker) != kEndMarker)
            return 0;
        const char* archive = cmd_.Text(ucArchive);
        if (!archive || !*archive)
            return 0;
        if (const char* pw = cmd_.Text(ucPassword); pw && *pw)
            password_ = pw;
        test_ = cmd_.I32v(ucTest) != 0;
        overwrite_ = cmd_.I32v(ucOverwrite) != 0;
        dirNames_ = cmd_.I32v(ucDirNames) != 0;
        update_ = cmd_.I32v(ucUpdate) != 0;
        freshen_ = !update_ && cmd_.I32v(ucFreshen) != 0;
        passwordAsks_ = std::min<uint32_t>(cmd_.U32(ucPasswordReqCount), kMaxPasswordAsks);
        if (const uint8_t* items = static_cast<const uint8_t*>(cmd_.PtrV(ucSpecs)))
            for (uint32_t i = 0; i < cmd_.U32(ucSpecCount); ++i)
                if (const char* t = static_cast<const char*>(GetPtrAt(items + i * kUnzipFileSpec.size)))
                    patterns_.emplace_back(t);
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            return 0;
        dest_ = cwd;

        int err = 0;
        const std::string native = base::NativePath(archive);
        za_ = zip_open(native.c_str(), ZIP_RDONLY, &err);
        if (!za_ && (err == ZIP_ER_NOZIP || err == ZIP_ER_INCONS))
            za_ = OpenAfterPrefix(native, err);
        if (!za_) {
            zip_error_t ze;
            zip_error_init_with_code(&ze, err);
            cb_.Message(std::string("Cannot open archive ") + archive + ": " + zip_error_strerror(&ze), erArchive);
            zip_error_fini(&ze);
            return 0;
        }
        const zip_int64_t n = zip_get_num_entries(za_, 0);
        // Folders are no members: they count neither among the files to come nor in the result.
        int32_t files = 0;
        int64_t total = 0;
        for (zip_int64_t i = 0; i < n; ++i) {
            zip_stat_t st;
            if (zip_stat_index(za_, static_cast<zip_uint64_t>(i), 0, &st) != 0) {
                ++files;  // reported as skipped when its turn comes
                continue;
            }
            const std::string name = NameOf(static_cast<zip_uint64_t>(i));
            if (IsFolderName(name) || !Wanted(name, patterns_))
                continue;
            ++files;
            if (st.valid & ZIP_STAT_SIZE)
                total += static_cast<int64_t>(st.size);
        }
        bool go = cb_.Call(acTotalFiles, 0, files, "").result != -1 &&
                  cb_.Call(acTotalSize, 0, static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX)), "").result != -1;
        // A test writes nothing, so it needs no folder.
        if (!test_)
            folder_ = std::make_unique<base::ExtractionFolder>(dest_);
        for (zip_int64_t i = 0; go && i < n; ++i)
            go = Entry(static_cast<zip_uint64_t>(i));
        zip_discard(za_);
        PlaceCommitted();
        cb_.Call(acEndOfBatch, 0, 0, "");
        return done_;
    }

private:
    // An archive behind other data whose offsets were not moved (a stub in front): libzip
    // refuses it, so it is opened as the window of the file that starts where the archive does.
    static zip_t* OpenAfterPrefix(const std::string& path, int& err)
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            return nullptr;
        std::vector<uint8_t> tail;
        int64_t size = 0;
        if (std::fseek(f, 0, SEEK_END) == 0)
            size = std::ftell(f);
        const int64_t n = std::min<int64_t>(size, 65557);
        tail.resize(static_cast<size_t>(n));
        const bool ok = n >= 22 && std::fseek(f, static_cast<long>(size - n), SEEK_SET) == 0 &&
                        std::fread(tail.data(), 1, tail.size(), f) == tail.size();
        std::fclose(f);
        if (!ok)
            return nullptr;
        for (int64_t i = n - 22; i >= 0; --i) {
            const uint8_t* p = tail.data() + i;
            if (GetU32(p) != kEndSig)
                continue;
            // The central directory ends where the Zip64 end record starts, when there is one.
            int64_t dirEnd = size - n + i;
            uint64_t cdSize = GetU32(p + kEndRecord.offset[erCdSize]);
            uint64_t cdOffset = GetU32(p + kEndRecord.offset[erCdOffset]);
            const int64_t z64 = i - static_cast<int64_t>(kZip64Locator.size + kZip64EndRecord.size);
            if (z64 >= 0 && GetU32(p - kZip64Locator.size) == kZip64LocatorSig &&
                GetU32(tail.data() + z64) == kZip64EndSig) {
                const uint8_t* z = tail.data() + z64;
                dirEnd = size - n + z64;
                cdSize = GetU64(z + kZip64EndRecord.offset[zeCdSize]);
                cdOffset = GetU64(z + kZip64EndRecord.offset[zeCdOffset]);
            }
            const int64_t prefix = dirEnd - static_cast<int64_t>(cdSize) - static_cast<int64_t>(cdOffset);
            if (prefix <= 0 || prefix >= size)
                return nullptr;
            zip_error_t ze;
            zip_error_init(&ze);
            zip_source_t* src =
                zip_source_file_create(path.c_str(), static_cast<zip_uint64_t>(prefix), size - prefix, &ze);
            zip_t* za = src ? zip_open_from_source(src, ZIP_RDONLY, &ze) : nullptr;
            if (!za) {
                if (src)
                    zip_source_free(src);
                err = zip_error_code_zip(&ze);
            }
            zip_error_fini(&ze);
            return za;
        }
        return nullptr;
    }

    // The member name as UTF-8, for the callbacks, the patterns and the disk alike. Names of
    // MS-DOS, OS/2 and NTFS hosts come from the OEM page unless flagged as UTF-8 (then the strict
    // reading leaves them as stored). Other hosts' names stay as stored; one that is not UTF-8
    // is refused by the extraction folder, never written as raw bytes.
    std::string NameOf(zip_uint64_t i)
    {
        const char* raw = zip_get_name(za_, i, ZIP_FL_ENC_RAW);
        std::string name = raw ? raw : "";
        const char* strict = zip_get_name(za_, i, ZIP_FL_ENC_STRICT);
        const bool fromOem = strict && name != strict;
        zip_uint8_t opsys = 0;
        zip_uint32_t attr = 0;
        if (fromOem && zip_file_get_external_attributes(za_, i, 0, &opsys, &attr) == 0 &&
            (opsys == ZIP_OPSYS_DOS || opsys == ZIP_OPSYS_OS_2 || opsys == ZIP_OPSYS_WINDOWS_NTFS))
            name = base::OemToUtf8(name);
        return name;
    }

    bool Skipped(std::string name, Skip kind, int32_t code, std::string why)
    {
        name = Printable(std::move(name));
        why = Printable(std::move(why));
        if (!why.empty() && !cb_.Message(why, code))
            return false;
        return cb_.Call(acSkipped, code, kind, name).result != -1;
    }

    // A member the extraction folder refused or could not finish, with the folder's reason.
    bool Refused(const std::string& name, const base::Outcome& outcome)
    {
        const bool unsafe = IsUnsafe(outcome);
        return Skipped(name, unsafe ? skUnsafeName : skExtractError, unsafe ? erUnsafe : erWrite,
                       "Cannot extract " + name + ": " + base::Describe(outcome));
    }

    // What the folder says when it could not be opened at all.
    base::Outcome FolderFailure() const { return {base::Refusal::CannotCreate, folder_->OpenError()}; }

    // The relative path a file member takes: without folder names only its last part counts.
    std::optional<std::string> Target(const std::string& name) const
    {
        return base::ExtractionFolder::CheckName(dirNames_ ? name : BareName(name));
    }

    // A folder entry: made (when folder names are kept) so that an empty folder comes out too.
    bool Folder(const std::string& name)
    {
        if (!dirNames_ || test_)
            return true;
        const auto rel = base::ExtractionFolder::CheckName(name);
        if (!rel)
            return Refused(name, {base::ExtractionFolder::NameRefusal(name)});
        if (!folder_->IsOpen())
            return Refused(name, FolderFailure());
        if (const base::Outcome outcome = folder_->MakeFolder(*rel); !outcome)
            return Refused(name, outcome);
        return true;
    }

    // Unix links would let a later member, or the game, write outside the game folder; battle
    // archives never need them, so they are refused like any other unsafe name.
    bool IsSymlink(zip_uint64_t i)
    {
        zip_uint8_t opsys = 0;
        zip_uint32_t attr = 0;
        return zip_file_get_external_attributes(za_, i, 0, &opsys, &attr) == 0 && opsys == ZIP_OPSYS_UNIX &&
               ((attr >> 16) & S_IFMT) == S_IFLNK;
    }

    // The modification time of the file rel already stands for (in any letter case, or written
    // earlier in this run), or nothing when there is none.
    std::optional<time_t> ExistingTime(const std::string& rel)
    {
        if (!folder_ || !folder_->IsOpen())
            return std::nullopt;
        const int fd = folder_->OpenForReading(rel);
        if (fd < 0)
            return std::nullopt;
        struct stat st {};
        const bool known = fstat(fd, &st) == 0;
        close(fd);
        return known ? std::optional<time_t>(st.st_mtime) : std::nullopt;
    }

    // The committed members take their places; one that cannot is taken back from the count.
    void PlaceCommitted()
    {
        if (!folder_)
            return;
        for (const auto& failed : folder_->Finish()) {
            // The folder reports the path as it is on the disk, in the spelling it found there.
            const std::string& rel = failed.first;
            const auto member = std::find_if(committed_.rbegin(), committed_.rend(),
                                             [&rel](const auto& c) { return base::EqualIgnoringCase(c.first, rel); });
            --done_;
            Refused(member != committed_.rend() ? member->second : rel, failed.second);
        }
        committed_.clear();
    }

    // True when the entry reads through to its end with its checksum under this password.
    // Traditional encryption checks a password by one byte only, so a wrong one slips through
    // one time in 256; reading the entry once is what tells.
    bool Fits(zip_uint64_t i, const std::string& password)
    {
        zip_file_t* f = zip_fopen_index_encrypted(za_, i, 0, password.c_str());
        if (!f)
            return false;
        zip_stat_t st;
        const bool haveCrc = zip_stat_index(za_, i, 0, &st) == 0 && (st.valid & ZIP_STAT_CRC) &&
                             st.encryption_method == ZIP_EM_TRAD_PKWARE;
        if (!haveCrc) {
            zip_fclose(f);
            return true;  // AES carries its own password check and authentication
        }
        // libzip compares the checksum when the entry is read to its end, and fails that read.
        std::vector<char> buf(1 << 16);
        zip_int64_t r;
        while ((r = zip_fread(f, buf.data(), buf.size())) > 0) {
        }
        zip_fclose(f);
        return r == 0;
    }

    // The checksum of what an entry decompresses to, for the message about one whose stored
    // checksum did not match. Only that rare case reads the entry a second time: a sound entry's
    // checksum is compared once, by libzip, as it is read.
    // password: the one the entry was opened with, empty for an entry in the clear.
    uint32_t FoundCrc(zip_uint64_t i, const std::string& password)
    {
        zip_file_t* f =
            password.empty() ? zip_fopen_index(za_, i, 0) : zip_fopen_index_encrypted(za_, i, 0, password.c_str());
        if (!f)
            return 0;
        std::vector<char> buf(1 << 16);
        uLong crc = crc32(0, nullptr, 0);
        zip_int64_t r;
        while ((r = zip_fread(f, buf.data(), buf.size())) > 0)
            crc = crc32(crc, reinterpret_cast<const Bytef*>(buf.data()), static_cast<uInt>(r));
        zip_fclose(f);
        return static_cast<uint32_t>(crc);
    }

    // Opens an entry for reading; for an encrypted one password comes back as the one that fits.
    zip_file_t* Open(zip_uint64_t i, const std::string& name, bool encrypted, bool& stop, std::string& password)
    {
        if (!encrypted)
            return zip_fopen_index(za_, i, 0);
        if (!password_.empty() && Fits(i, password_)) {
            password = password_;
            return zip_fopen_index_encrypted(za_, i, 0, password_.c_str());
        }
        int asks = 0;
        uint32_t remaining = passwordRefused_ ? 0 : passwordAsks_;
        while (remaining > 0 && asks < kMaxPasswordAsks) {
            auto a = cb_.Call(acPassword, 0, static_cast<int32_t>(remaining), name);
            ++asks;
            if (a.result == -1) {
                stop = true;
                return nullptr;
            }
            if (a.errorCode != 1 || a.text.empty()) {
                // A cancelled prompt answers for the whole archive: the player is not asked again.
                passwordRefused_ = true;
                break;
            }
            if (Fits(i, a.text)) {
                password_ = a.text;  // the next entries most likely share it
                password = a.text;
                return zip_fopen_index_encrypted(za_, i, 0, a.text.c_str());
            }
            remaining = std::min<uint32_t>(static_cast<uint32_t>(std::max(a.size, 0)), kMaxPasswordAsks);
            remaining = remaining > 0 ? remaining - 1 : 0;
        }
        return nullptr;
    }

    // Reads an AES entry's raw bytes and checks its authentication code under the password.
    bool Authentic(zip_uint64_t i, const zip_stat_t& st, const std::string& password)
    {
        zip_file_t* raw = zip_fopen_index(za_, i, ZIP_FL_ENCRYPTED);
        if (!raw)
            return false;
        AesAuthenticator check(st.encryption_method, password);
        std::vector<uint8_t> buf(1 << 16);
        zip_uint64_t got = 0;
        zip_int64_t r;
        while ((r = zip_fread(raw, buf.data(), buf.size())) > 0) {
            check.Add(buf.data(), static_cast<size_t>(r));
            got += static_cast<zip_uint64_t>(r);
        }
        zip_fclose(raw);
        // Stored entries pass the same zero-CRC compare even raw: every byte having come is
        // what counts here.
        return (st.valid & ZIP_STAT_COMP_SIZE) && got == st.comp_size && check.Genuine();
    }

    bool Entry(zip_uint64_t i)
    {
        zip_stat_t st;
        if (zip_stat_index(za_, i, 0, &st) != 0) {
            const char* raw = zip_get_name(za_, i, ZIP_FL_ENC_RAW);
            const std::string name = raw ? raw : "entry " + std::to_string(i + 1);
            return Skipped(name, skExtractError, erRead, "Cannot read " + name + ": " + zip_strerror(za_));
        }
        const std::string name = NameOf(i);
        if (!Wanted(name, patterns_))
            return true;
        if (IsFolderName(name))
            return Folder(name);
        const auto rel = Target(name);
        if (!rel)
            return Refused(name, {base::ExtractionFolder::NameRefusal(name)});
        if (IsSymlink(i))
            return Skipped(name, skUnsafeName, erUnsafe,
                           "Cannot extract " + name + ": it is a symbolic link, which could lead out of the folder");
        if (folder_ && !folder_->IsOpen())
            return Refused(name, FolderFailure());
        if (!zip_compression_method_supported(st.comp_method, 0))
            return Skipped(name, skUnknownMethod, erMethod,
                           "Cannot extract " + name + ": " + MethodText(st.comp_method) +
                               " compression is not supported");
        const bool encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
        if (encrypted && !zip_encryption_method_supported(st.encryption_method, 0))
            return Skipped(name, skBadPassword, erPassword, "Cannot decrypt " + name + ": unsupported encryption");

        const std::optional<time_t> existing = ExistingTime(*rel);
        const bool exists = existing.has_value();
        const uint32_t entryTime = static_cast<uint32_t>(base::PackDosDateTime(st.mtime));
        const uint32_t fileTime = exists ? static_cast<uint32_t>(base::PackDosDateTime(*existing)) : 0;
        const bool isOlder = exists && fileTime < entryTime;
        if (freshen_ && !exists)
            return true;  // freshening brings only files that are there already
        if ((freshen_ || update_) && exists && !isOlder)
            return Skipped(name, skNoOverwrite, 0, "");
        if (exists && !overwrite_ && !update_ && !freshen_) {
            auto a = cb_.Call(acOverwrite, isOlder ? 1 : 0, 0, name);
            if (a.result == -1)
                return false;
            if ((a.size & 0xFF) == 0)
                return Skipped(name, skNoOverwrite, 0, "");
        }

        // Refused before anything is read when it could not be finished: too large, no room, no
        // safe place for it. A test writes nothing.
        base::MemberFile out;
        if (folder_) {
            const std::optional<uint64_t> declared =
                (st.valid & ZIP_STAT_SIZE) ? std::optional<uint64_t>(st.size) : std::nullopt;
            if (const base::Outcome outcome = folder_->OpenFile(*rel, declared, out); !outcome)
                return Refused(name, outcome);
        }

        if (cb_.Call(acFileStart, 0, static_cast<int32_t>(std::min<zip_uint64_t>(st.size, INT32_MAX)), name).result ==
            -1)
            return false;
        bool stop = false;
        if (!encrypted && st.comp_method == ZIP_CM_DEFLATE) {
            if (const std::optional<bool> done = FastInflated(i, st, name, *rel, folder_ ? &out : nullptr, stop))
                return *done && !stop;
            // libzip reads it again from the start, and its reading tells the player what is wrong.
            if (folder_ && out.Written() > 0) {
                out.Discard();
                const std::optional<uint64_t> declared =
                    (st.valid & ZIP_STAT_SIZE) ? std::optional<uint64_t>(st.size) : std::nullopt;
                if (const base::Outcome outcome = folder_->OpenFile(*rel, declared, out); !outcome)
                    return Refused(name, outcome);
            }
        }
        std::string password;
        zip_file_t* f = Open(i, name, encrypted, stop, password);
        if (stop)
            return false;
        if (!f) {
            if (encrypted)
                return Skipped(name, skBadPassword, erPassword, "Wrong or missing password for " + name);
            return Skipped(name, skExtractError, erRead, std::string("Cannot read ") + name + ": " + zip_strerror(za_));
        }
        std::optional<bool> genuine;
        if (IsAes(st))
            genuine = Authentic(i, st, password);
        return Write(f, i, st, name, *rel, folder_ ? &out : nullptr, password, genuine, stop) && !stop;
    }

    // A deflated member in the clear, its raw bytes from libzip inflated by a faster inflater than
    // libzip's own: whole when small, streamed when large. Nothing when it does not decode to what
    // the archive declares (or libzip cannot give its raw bytes): libzip's normal reading then
    // takes over. Otherwise what the member's extraction returns.
    std::optional<bool> FastInflated(zip_uint64_t i, const zip_stat_t& st, const std::string& name,
                                     const std::string& rel, base::MemberFile* out, bool& stop)
    {
        constexpr zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC;
        if ((st.valid & needed) != needed)
            return std::nullopt;
        if (st.size <= kWholeMemberBytes && st.comp_size <= kWholeMemberBytes)
            return InflatedWhole(i, st, name, rel, out, stop);
        return InflatedStreaming(i, st, name, rel, out, stop);
    }

    // Inflated in one piece and checked against its size and checksum before anything is written.
    // Any mismatch, the checksum's too, is left to libzip's reading, which asks the player.
    std::optional<bool> InflatedWhole(zip_uint64_t i, const zip_stat_t& st, const std::string& name,
                                      const std::string& rel, base::MemberFile* out, bool& stop)
    {
        zip_file_t* raw = zip_fopen_index(za_, i, ZIP_FL_COMPRESSED);
        if (!raw)
            return std::nullopt;
        packed_.resize(static_cast<size_t>(st.comp_size));
        size_t got = 0;
        zip_int64_t r = 0;
        while (got < packed_.size() && (r = zip_fread(raw, packed_.data() + got, packed_.size() - got)) > 0)
            got += static_cast<size_t>(r);
        zip_fclose(raw);
        if (got != packed_.size())
            return std::nullopt;
        if (!wholeInflater_)
            wholeInflater_.reset(libdeflate_alloc_decompressor());
        if (!wholeInflater_)
            return std::nullopt;
        unpacked_.resize(static_cast<size_t>(st.size));
        // Without a place for the actual size, anything but exactly the declared size fails.
        if (libdeflate_deflate_decompress(wholeInflater_.get(), packed_.data(), packed_.size(), unpacked_.data(),
                                          unpacked_.size(), nullptr) != LIBDEFLATE_SUCCESS ||
            libdeflate_crc32(0, unpacked_.data(), unpacked_.size()) != st.crc)
            return std::nullopt;
        if (const std::optional<bool> ended = Pass(unpacked_.data(), unpacked_.size(), name, out, stop))
            return ended;
        return Kept(st, name, rel, out);
    }

    // Streamed into the member's file with its checksum summed on the way; a checksum that does
    // not match asks the player as libzip's reading would. Nothing when the data end early, run
    // past the declared size or are no deflate stream.
    std::optional<bool> InflatedStreaming(zip_uint64_t i, const zip_stat_t& st, const std::string& name,
                                          const std::string& rel, base::MemberFile* out, bool& stop)
    {
        zip_file_t* raw = zip_fopen_index(za_, i, ZIP_FL_COMPRESSED);
        if (!raw)
            return std::nullopt;
        if (!streamInflater_)
            streamInflater_ = std::make_unique<inflate_state>();
        inflate_state& state = *streamInflater_;
        isal_inflate_init(&state);
        state.crc_flag = ISAL_GZIP_NO_HDR;  // the checksum a zip member carries
        packed_.resize(kStreamBytes);
        unpacked_.resize(kStreamBytes);
        zip_uint64_t left = st.comp_size, got = 0;
        bool finished = false;
        while (!finished) {
            if (state.avail_in == 0 && left > 0) {
                const zip_int64_t r = zip_fread(raw, packed_.data(), std::min<zip_uint64_t>(left, packed_.size()));
                if (r <= 0)
                    break;
                left -= static_cast<zip_uint64_t>(r);
                state.next_in = reinterpret_cast<uint8_t*>(packed_.data());
                state.avail_in = static_cast<uint32_t>(r);
            }
            state.next_out = reinterpret_cast<uint8_t*>(unpacked_.data());
            state.avail_out = static_cast<uint32_t>(unpacked_.size());
            if (isal_inflate(&state) != ISAL_DECOMP_OK)
                break;
            const size_t produced = unpacked_.size() - state.avail_out;
            finished = state.block_state == ISAL_BLOCK_FINISH;
            if (produced > st.size - got || (!finished && produced == 0 && state.avail_in == 0 && left == 0))
                break;  // more than the member declares, or the data end before the stream does
            got += produced;
            if (const std::optional<bool> ended = Pass(unpacked_.data(), produced, name, out, stop)) {
                zip_fclose(raw);
                return ended;
            }
        }
        zip_fclose(raw);
        if (!finished || got != st.size)
            return std::nullopt;
        if (state.crc != st.crc) {
            auto a = cb_.Call(acCrcError, static_cast<int32_t>(state.crc), static_cast<int32_t>(st.crc), name);
            if (a.result == -1)
                return false;
            if (a.errorCode != 1)
                return Skipped(name, skCrcError, erCrc, "Checksum error in " + name + ", not kept");
        }
        return Kept(st, name, rel, out);
    }

    // Decoded bytes to the member's file, with progress; nothing while all is well, else what the
    // member's extraction returns.
    std::optional<bool> Pass(const char* data, size_t size, const std::string& name, base::MemberFile* out, bool& stop)
    {
        for (size_t at = 0; at < size; at += kProgressStep) {
            const size_t piece = std::min(kProgressStep, size - at);
            if (out)
                if (const base::Outcome outcome = out->Write(data + at, piece); !outcome)
                    return Refused(name, outcome);
            if (cb_.Call(acProgress, 0, static_cast<int32_t>(piece), "").result == -1) {
                stop = true;
                return false;
            }
        }
        return std::nullopt;
    }

    // The member checked out: its file takes its time and waits for its place.
    bool Kept(const zip_stat_t& st, const std::string& name, const std::string& rel, base::MemberFile* out)
    {
        if (out) {
            if (const base::Outcome outcome = out->Commit({st.mtime, std::nullopt}); !outcome)
                return Refused(name, outcome);
            committed_.emplace_back(rel, name);
        }
        ++done_;
        return true;
    }

    // out: the member's file, or null for a test, which reads the entry through its checksum and
    // writes nothing. aesGenuine: for an AES entry, whether its authentication code matched.
    // libzip compares the stored checksum as the entry is read and fails the last read when it
    // differs, so the bytes are not summed again here.
    bool Write(zip_file_t* f, zip_uint64_t i, const zip_stat_t& st, const std::string& name, const std::string& rel,
               base::MemberFile* out, const std::string& password, std::optional<bool> aesGenuine, bool& stop)
    {
        std::vector<char> buf(kProgressStep);
        zip_uint64_t got = 0;
        bool readError = false, crcError = false;
        std::string why;
        // AES entries of the second kind store no CRC; this libzip still compares the zero and
        // reports a checksum error at their end. Their authentication code, checked beforehand,
        // is what tells a sound entry from a damaged one.
        for (;;) {
            const zip_int64_t r = zip_fread(f, buf.data(), buf.size());
            if (r < 0) {
                zip_error_t* ze = zip_file_get_error(f);
                if (zip_error_code_zip(ze) == ZIP_ER_CRC && aesGenuine.value_or(false) && (st.valid & ZIP_STAT_SIZE) &&
                    got == st.size)
                    break;
                if (zip_error_code_zip(ze) == ZIP_ER_CRC)
                    crcError = true;
                else
                    readError = true;
                why = zip_error_strerror(ze);
                break;
            }
            if (r == 0)
                break;
            got += static_cast<zip_uint64_t>(r);
            if (out) {
                // Also what stops a member that grows past what it declared.
                if (const base::Outcome outcome = out->Write(buf.data(), static_cast<size_t>(r)); !outcome) {
                    zip_fclose(f);
                    return Refused(name, outcome);
                }
            }
            if (cb_.Call(acProgress, 0, static_cast<int32_t>(r), "").result == -1) {
                zip_fclose(f);
                stop = true;
                return false;
            }
        }
        zip_fclose(f);
        if (!readError && !crcError && ((st.valid & ZIP_STAT_SIZE) && got != st.size))
            readError = true, why = "size mismatch";
        // A damaged AES entry (or, once in 65536, a wrong password that passed the two-byte
        // check) fails its code whatever the decompression made of the bytes.
        const bool forged = aesGenuine.has_value() && !*aesGenuine;
        bool readThrough = true;
        if (forged) {
            readThrough = !readError;
            readError = false;
            crcError = true;
        }
        if (readError)
            return Skipped(name, skExtractError, erRead, "Cannot extract " + name + ": " + why);
        if (crcError) {
            int32_t answer = 0;
            if (readThrough) {
                const uint32_t found = FoundCrc(i, password);
                auto a = cb_.Call(acCrcError, static_cast<int32_t>(found), static_cast<int32_t>(st.crc), name);
                if (a.result == -1)
                    return false;
                answer = a.errorCode;
            }
            if (answer != 1) {
                const std::string what = forged ? ": its authentication code does not match" : "";
                return Skipped(name, skCrcError, erCrc, "Checksum error in " + name + what + ", not kept");
            }
        }
        return Kept(st, name, rel, out);
    }

    struct InflaterFree {
        void operator()(libdeflate_decompressor* inflater) const { libdeflate_free_decompressor(inflater); }
    };

    Record<ucFieldCount> cmd_;
    LibraryCallback cb_;
    zip_t* za_ = nullptr;
    std::unique_ptr<libdeflate_decompressor, InflaterFree> wholeInflater_;
    std::unique_ptr<inflate_state> streamInflater_;
    // Raw and inflated bytes of the member at hand, kept between members to spare allocations.
    std::vector<char> packed_, unpacked_;
    std::string dest_;
    std::unique_ptr<base::ExtractionFolder> folder_;
    // Members committed and not yet in place: relative path and name as the callbacks give it.
    std::vector<std::pair<std::string, std::string>> committed_;
    std::string password_;
    std::vector<std::string> patterns_;
    uint32_t passwordAsks_ = 0;
    bool passwordRefused_ = false;  // a password prompt was cancelled: no more for this archive
    bool test_ = false, overwrite_ = false, dirNames_ = false, update_ = false, freshen_ = false;
    int32_t done_ = 0;
};

}  // namespace

EXPORT int32_t GetUnzLibVersion() { return kVersion; }

EXPORT int32_t UnzLibExec(uint8_t* record)
{
    try {
        return record ? Extractor(record).Run() : 0;
    } catch (...) {
        return 0;
    }
}
