// The zip writer library: ZipLibExec adds the files of a ZipCommand to an archive through libzip.
// The archive is written to a temporary file and renamed over the old one by zip_close, so a
// failure or a stop leaves the old archive as it was. A file meant to be encrypted is never
// stored in the clear: when it cannot be encrypted it is left out, and the message says so.
#include "turnex/ZipRecords.h"
#include "base/Files.h"
#include "base/Paths.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace ziprec;

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int32_t kVersion = 160;

// Traditional encryption, which every unzip program the players may have can read. A build for
// the tests names a method this libzip cannot write, to see the refusal handled.
#ifndef ZIPLIB_ENCRYPTION_METHOD
#define ZIPLIB_ENCRYPTION_METHOD ZIP_EM_TRAD_PKWARE
#endif
constexpr zip_uint16_t kEncryptionMethod = ZIPLIB_ENCRYPTION_METHOD;

// Error codes of the messages (action 4).
enum Code : int32_t {
    erNoArchive = 1,
    erNoFile = 2,
    erOpenArchive = 3,
    erNoPassword = 4,
    erRead = 5,
    erAdd = 6,
    erEncrypt = 7,
    erWrite = 8
};

struct Job {
    std::string path;  // program path string
    std::string name;  // entry name
    int64_t size = 0;
    bool encrypt = false;
    std::string password;
};

struct CloseState {
    const LibraryCallback* cb;
    int64_t total;
    bool stopped = false;
};

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Why libzip failed, in plain words: the system's reason when there is one ("No space left on
// device" rather than "Write error: No space left on device").
std::string Reason(const zip_error_t* error)
{
    auto* ze = const_cast<zip_error_t*>(error);
    if (zip_error_system_type(ze) == ZIP_ET_SYS && zip_error_code_system(ze) != 0)
        return std::strerror(zip_error_code_system(ze));
    return zip_error_strerror(ze);
}

// Whether a file can be read to its end; error gets the system's error number when not.
bool ReadsThrough(const std::string& nativePath, int& error)
{
    const int fd = open(nativePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    char buf[65536];
    ssize_t r;
    while ((r = read(fd, buf, sizeof buf)) > 0 || (r < 0 && errno == EINTR)) {
    }
    error = r < 0 ? errno : 0;
    close(fd);
    return r == 0;
}

// Files up to this size are deflated by libdeflate, in memory, before libzip sees them: at the
// same level it is faster than zlib and its output no larger. Larger ones are left to libzip's
// streaming zlib, so that no file has to fit in memory whole.
constexpr int64_t kWholeBufferLimit = int64_t {256} << 20;

// A libzip source that hands over a file already deflated, with its CRC and both sizes, so libzip
// writes the bytes as they are. The file is read, summed and compressed when libzip first asks
// for its size (just before it writes the entry) and the bytes are released when libzip frees
// the source.
class DeflatedFile {
public:
    DeflatedFile(std::string nativePath, int level) : path_(std::move(nativePath)), level_(level)
    {
        zip_error_init(&error_);
    }
    ~DeflatedFile() { zip_error_fini(&error_); }

    // A source for za that owns this object; null (and the object freed) when libzip refuses.
    static zip_source_t* Create(zip_t* za, const std::string& nativePath, int level)
    {
        auto* file = new DeflatedFile(nativePath, level);
        zip_source_t* src = zip_source_function(za, &DeflatedFile::Callback, file);
        if (!src)
            delete file;
        return src;
    }

private:
    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t cmd)
    {
        auto* self = static_cast<DeflatedFile*>(state);
        switch (cmd) {
        case ZIP_SOURCE_OPEN:
            if (!self->Prepare())
                return -1;
            self->position_ = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            const size_t n = std::min<size_t>(length, self->deflated_.size() - self->position_);
            std::memcpy(data, self->deflated_.data() + self->position_, n);
            self->position_ += n;
            return static_cast<zip_int64_t>(n);
        }
        case ZIP_SOURCE_CLOSE: return 0;
        case ZIP_SOURCE_STAT: {
            if (!self->Prepare())
                return -1;
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD |
                        ZIP_STAT_ENCRYPTION_METHOD | ZIP_STAT_MTIME;
            st->size = self->size_;
            st->comp_size = self->deflated_.size();
            st->crc = self->crc_;
            st->comp_method = ZIP_CM_DEFLATE;
            st->encryption_method = ZIP_EM_NONE;
            st->mtime = self->mtime_;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
            // What libzip's own file source and deflater would say: Unix permissions, and the
            // level's two flag bits (maximum, normal or fast) that other tools show.
            if (length < sizeof(zip_file_attributes_t) || !self->Prepare())
                return -1;
            auto* attributes = static_cast<zip_file_attributes_t*>(data);
            zip_file_attributes_init(attributes);
            attributes->valid = ZIP_FILE_ATTRIBUTES_HOST_SYSTEM | ZIP_FILE_ATTRIBUTES_EXTERNAL_FILE_ATTRIBUTES |
                                ZIP_FILE_ATTRIBUTES_VERSION_NEEDED | ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
            attributes->host_system = ZIP_OPSYS_UNIX;
            attributes->external_file_attributes = static_cast<zip_uint32_t>(self->mode_) << 16;
            attributes->version_needed = 20;
            attributes->general_purpose_bit_mask = 0x0006;
            attributes->general_purpose_bit_flags = self->level_ < 3 ? 4 : self->level_ > 7 ? 2 : 0;
            return sizeof(zip_file_attributes_t);
        }
        case ZIP_SOURCE_ERROR: return zip_error_to_data(&self->error_, data, length);
        case ZIP_SOURCE_FREE: delete self; return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_GET_FILE_ATTRIBUTES,
                                                  -1);
        default: zip_error_set(&self->error_, ZIP_ER_OPNOTSUPP, 0); return -1;
        }
    }

    bool Fail(int zipError, int systemError)
    {
        zip_error_set(&error_, zipError, systemError);
        return false;
    }

    // Reads the whole file, sums it and deflates it, once.
    bool Prepare()
    {
        if (prepared_)
            return true;
        const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return Fail(ZIP_ER_OPEN, errno);
        struct stat st {};
        if (fstat(fd, &st) != 0) {
            const int why = errno;
            close(fd);
            return Fail(ZIP_ER_READ, why);
        }
        mtime_ = st.st_mtime;
        mode_ = st.st_mode;
        // Read to the end rather than to the size of a moment ago: a file that changed size
        // since is taken as it is now.
        std::vector<uint8_t> plain(static_cast<size_t>(std::max<off_t>(st.st_size, 0)) + 1);
        size_t have = 0;
        for (;;) {
            if (have == plain.size())
                plain.resize(plain.size() * 2);
            const ssize_t r = read(fd, plain.data() + have, plain.size() - have);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0) {
                const int why = errno;
                close(fd);
                return Fail(ZIP_ER_READ, why);
            }
            if (r == 0)
                break;
            have += static_cast<size_t>(r);
        }
        close(fd);
        size_ = have;
        crc_ = libdeflate_crc32(0, plain.data(), have);
        libdeflate_compressor* compressor = libdeflate_alloc_compressor(level_);
        if (!compressor)
            return Fail(ZIP_ER_MEMORY, 0);
        deflated_.resize(libdeflate_deflate_compress_bound(compressor, have));
        const size_t packed =
            libdeflate_deflate_compress(compressor, plain.data(), have, deflated_.data(), deflated_.size());
        libdeflate_free_compressor(compressor);
        if (packed == 0)
            return Fail(ZIP_ER_INTERNAL, 0);
        deflated_.resize(packed);
        deflated_.shrink_to_fit();
        prepared_ = true;
        return true;
    }

    std::string path_;
    int level_;
    zip_error_t error_;
    bool prepared_ = false;
    uint64_t size_ = 0;
    uint32_t crc_ = 0;
    time_t mtime_ = 0;
    mode_t mode_ = 0;
    std::vector<uint8_t> deflated_;
    size_t position_ = 0;
};

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

std::string DirectoryOf(const std::string& path)
{
    const size_t sep = path.find_last_of("\\/");
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

// The files one name of the list stands for: itself, or the matches of its wildcard (and of the folders
// below when recursing).
void Expand(const std::string& item, bool recurse, bool hidden, std::vector<std::string>& out)
{
    if (!HasWildcard(item)) {
        out.push_back(item);
        return;
    }
    const std::string dir = DirectoryOf(item);
    const std::string pattern = base::ExtractFileName(item);
    const std::string prefix = dir.empty() ? std::string() : dir + "\\";
    for (const auto& r : base::FindFiles(prefix + "*")) {
        if (r.Name == "." || r.Name == "..")
            continue;
        if (!hidden && ((r.Attr & base::faHidden) || r.Name[0] == '.'))
            continue;
        if (r.Attr & base::faDirectory) {
            if (recurse)
                Expand(prefix + r.Name + "\\" + pattern, recurse, hidden, out);
        } else if (base::WildcardMatch(pattern, r.Name)) {
            out.push_back(prefix + r.Name);
        }
    }
}

// The entry name of a file: its bare name, or its path below the root folder (else without
// drive and leading separators), with "/" separators.
std::string EntryName(const std::string& path, bool junk, const std::string& root)
{
    if (junk)
        return base::ExtractFileName(path);
    std::string name = path;
    if (!root.empty() && Lower(name).rfind(Lower(root), 0) == 0)
        name = name.substr(root.size());
    else if (base::HasDriveLetter(name))
        name = name.substr(2);
    std::replace(name.begin(), name.end(), '\\', '/');
    while (!name.empty() && name[0] == '/')
        name.erase(0, 1);
    return name;
}

bool StoredBySuffix(const std::string& name, const char* suffixes)
{
    if (!suffixes)
        return false;
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    const std::string ext = Lower(name.substr(dot));
    std::string list = Lower(suffixes);
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find(':', pos);
        if (end == std::string::npos)
            end = list.size();
        if (list.compare(pos, end - pos, ext) == 0 && end > pos)
            return true;
        pos = end + 1;
    }
    return false;
}

bool Matches(const std::string& path, const std::vector<std::string>& exclusions)
{
    const std::string bare = base::ExtractFileName(path);
    for (const auto& e : exclusions)
        if (base::WildcardMatch(e, bare) || base::WildcardMatch(e, path))
            return true;
    return false;
}

// What stopped the archive from being written. A read failure comes from one of the files being
// added (or an entry of the old archive): the file that no longer reads through is named.
std::string CloseFailure(const zip_error_t* error, const std::string& archive, const std::vector<std::string>& added)
{
    const int code = zip_error_code_zip(const_cast<zip_error_t*>(error));
    if (code == ZIP_ER_READ || code == ZIP_ER_OPEN) {
        for (const auto& path : added) {
            int why = 0;
            if (!ReadsThrough(base::NativePath(path), why))
                return "Cannot read " + path + ": " + std::strerror(why != 0 ? why : EIO) + "; " + archive +
                       " was not written";
        }
    }
    return "Cannot write " + archive + ": " + Reason(error);
}

int32_t Run(uint8_t* raw)
{
    Record<zcFieldCount> cmd(raw, kZipCommand);
    if (cmd.U32(zcEndMarker) != kEndMarker)
        return 0;
    const LibraryCallback cb(reinterpret_cast<CallbackFn>(cmd.PtrV(zcCallback)), cmd.PtrV(zcCaller),
                             cmd.PtrV(zcHandle));
    const char* archive = cmd.Text(zcArchive);
    if (!archive || !*archive) {
        cb.Message("No archive name given", erNoArchive);
        return 0;
    }
    const char* recordPassword = cmd.Text(zcPassword);
    const char* suffixes = cmd.Text(zcSuffixes);
    const int level = std::clamp(cmd.I32v(zcLevel), 0, 9);
    const bool junk = cmd.I32v(zcJunkDirs) != 0;
    const bool update = cmd.I32v(zcUpdate) != 0;
    const bool freshen = !update && cmd.I32v(zcFreshen) != 0;
    const bool move = cmd.I32v(zcMove) != 0;
    const bool hidden = cmd.I32v(zcHidden) != 0;
    const uint32_t count = cmd.U32(zcSpecCount);
    const uint8_t* items = static_cast<const uint8_t*>(cmd.PtrV(zcSpecs));
    std::vector<std::string> exclusions;
    if (const uint8_t* excl = static_cast<const uint8_t*>(cmd.PtrV(zcExcl)))
        for (uint32_t i = 0; i < cmd.U32(zcExclCount); ++i)
            if (const char* t = static_cast<const char*>(GetPtrAt(excl + i * kNativePtr)))
                exclusions.emplace_back(t);

    // What is to be added.
    std::vector<Job> jobs;
    for (uint32_t i = 0; items && i < count; ++i) {
        Record<zsFieldCount> item(const_cast<uint8_t*>(items) + i * kZipFileSpec.size, kZipFileSpec);
        const char* text = item.Text(zsSpec);
        if (!text || !*text)
            continue;
        const char* root = item.Text(zsRootDir);
        std::vector<std::string> files;
        Expand(text, item.U16(zsRecurse) != 0, hidden, files);
        for (const auto& f : files) {
            if (Matches(f, exclusions))
                continue;
            // Checked here, so that the message can name the file: libzip reads it only when
            // the archive is written, and then tells no more than that some read failed.
            const std::string native = base::NativePath(f);
            struct stat st {};
            if (stat(native.c_str(), &st) != 0) {
                cb.Message("Cannot read " + f + ": " + std::strerror(errno), erNoFile);
                continue;
            }
            if (!S_ISREG(st.st_mode)) {
                cb.Message("Cannot read " + f + ": " + std::strerror(S_ISDIR(st.st_mode) ? EISDIR : EINVAL), erNoFile);
                continue;
            }
            if (const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
                close(fd);
            } else {
                cb.Message("Cannot read " + f + ": " + std::strerror(errno), erRead);
                continue;
            }
            Job job;
            job.path = f;
            job.name = EntryName(f, junk, root ? root : "");
            job.size = st.st_size;
            job.encrypt = item.U32(zsEncrypt) != 0;
            if (const char* pw = item.Text(zsPassword))
                job.password = pw;
            else if (recordPassword)
                job.password = recordPassword;
            jobs.push_back(std::move(job));
        }
    }
    int64_t totalSize = 0;
    for (const auto& j : jobs)
        totalSize += j.size;
    if (cb.Call(acTotalFiles, 0, static_cast<int32_t>(jobs.size()), "").result == -1)
        return 0;
    if (cb.Call(acTotalSize, 0, static_cast<int32_t>(std::min<int64_t>(totalSize, INT32_MAX)), "").result == -1)
        return 0;

    int err = 0;
    const std::string nativeArchive = base::NativePath(archive);
    zip_t* za = zip_open(nativeArchive.c_str(), ZIP_CREATE, &err);
    if (!za) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, err);
        cb.Message(std::string("Cannot open archive ") + archive + ": " + Reason(&ze), erOpenArchive);
        zip_error_fini(&ze);
        return 0;
    }

    int32_t added = 0;
    std::vector<std::string> addedPaths;
    std::string askedPassword;
    std::vector<std::string> moved;
    for (const auto& job : jobs) {
        const zip_int64_t existing = zip_name_locate(za, job.name.c_str(), ZIP_FL_NOCASE);
        const int32_t fileTime = base::FileAge(job.path);
        if (existing >= 0 && (update || freshen)) {
            zip_stat_t st;
            if (zip_stat_index(za, static_cast<zip_uint64_t>(existing), 0, &st) == 0 && (st.valid & ZIP_STAT_MTIME)) {
                // MS-DOS times, two-second steps: only a newer file replaces the entry.
                const uint32_t entryTime = static_cast<uint32_t>(base::PackDosDateTime(st.mtime));
                if (static_cast<uint32_t>(fileTime) <= entryTime)
                    continue;
            }
        }
        if (existing < 0 && freshen)
            continue;
        if (cb.Call(acFileStart, 0, static_cast<int32_t>(std::min<int64_t>(job.size, INT32_MAX)), job.path).result ==
            -1) {
            zip_discard(za);
            return 0;
        }
        std::string password = job.password;
        if (job.encrypt && password.empty()) {
            if (askedPassword.empty()) {
                auto a = cb.Call(acPassword, 1, 1, job.path);
                if (a.errorCode == 1)
                    askedPassword = a.text;
            }
            password = askedPassword;
            if (password.empty()) {
                // Never store in the clear what was meant to be encrypted.
                cb.Message("No password for " + job.path + ": not added", erNoPassword);
                continue;
            }
        }
        const bool stored = level == 0 || StoredBySuffix(job.name, suffixes);
        // Encrypted entries stay with libzip's own pipeline, which encrypts as it compresses.
        const bool deflatedHere = !stored && !job.encrypt && job.size <= kWholeBufferLimit;
        const std::string nativePath = base::NativePath(job.path);
        zip_source_t* src =
            deflatedHere ? DeflatedFile::Create(za, nativePath, level) : zip_source_file(za, nativePath.c_str(), 0, -1);
        if (!src) {
            cb.Message("Cannot read " + job.path + ": " + Reason(zip_get_error(za)), erRead);
            continue;
        }
        zip_int64_t idx = existing;
        if (existing >= 0) {
            if (zip_file_replace(za, static_cast<zip_uint64_t>(existing), src, 0) != 0) {
                zip_source_free(src);
                cb.Message("Cannot replace " + job.name + ": " + Reason(zip_get_error(za)), erAdd);
                continue;
            }
        } else {
            idx = zip_file_add(za, job.name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_GUESS);
            if (idx < 0) {
                zip_source_free(src);
                cb.Message("Cannot add " + job.name + ": " + Reason(zip_get_error(za)), erAdd);
                continue;
            }
        }
        const auto i = static_cast<zip_uint64_t>(idx);
        // Encryption comes first: when it fails, the entry goes back to what it was (a replaced
        // one to the old entry, a new one away), never into the archive in the clear.
        if (job.encrypt && zip_file_set_encryption(za, i, kEncryptionMethod, password.c_str()) != 0) {
            const std::string why = Reason(zip_get_error(za));
            if (existing >= 0)
                zip_unchange(za, i);
            else
                zip_delete(za, i);
            cb.Message("Cannot encrypt " + job.path + ": " + why + "; not added", erEncrypt);
            continue;
        }
        if (stored)
            zip_set_file_compression(za, i, ZIP_CM_STORE, 0);
        else if (!deflatedHere)
            zip_set_file_compression(za, i, ZIP_CM_DEFLATE, static_cast<zip_uint32_t>(level));
        struct stat st {};
        if (stat(base::NativePath(job.path).c_str(), &st) == 0)
            zip_file_set_mtime(za, i, st.st_mtime, 0);
        // Other tools prefer the Unix time field to the MS-DOS time: drop it, or they keep
        // showing the time of the replaced entry.
        zip_file_extra_field_delete_by_id(za, i, 0x5455, ZIP_EXTRA_FIELD_ALL, ZIP_FL_LOCAL | ZIP_FL_CENTRAL);
        ++added;
        addedPaths.push_back(job.path);
        if (move)
            moved.push_back(job.path);
    }
    if (const char* comment = cmd.Text(zcComment))
        zip_set_archive_comment(za, comment, static_cast<zip_uint16_t>(std::min<size_t>(strlen(comment), 65535)));

    if (added == 0) {
        zip_discard(za);
        cb.Call(acEndOfBatch, 0, 0, "");
        return 0;
    }
    CloseState state {&cb, totalSize};
    zip_register_progress_callback_with_state(
        za, 0.01,
        [](zip_t*, double progress, void* ud) {
            auto* s = static_cast<CloseState*>(ud);
            if (!s->stopped && s->cb->Call(acProgress, 0,
                                           static_cast<int32_t>(
                                               progress * static_cast<double>(std::min<int64_t>(s->total, INT32_MAX))),
                                           "")
                                       .result == -1)
                s->stopped = true;
        },
        nullptr, &state);
    zip_register_cancel_callback_with_state(
        za, [](zip_t*, void* ud) { return static_cast<CloseState*>(ud)->stopped ? 1 : 0; }, nullptr, &state);
    if (zip_close(za) != 0) {
        if (!state.stopped)
            cb.Message(CloseFailure(zip_get_error(za), archive, addedPaths), erWrite);
        zip_discard(za);
        return 0;
    }
    for (const auto& m : moved)
        base::DeleteFile(m);
    cb.Call(acEndOfBatch, 0, 0, "");
    return added;
}

}  // namespace

EXPORT int32_t GetZipLibVersion() { return kVersion; }

EXPORT int32_t ZipLibExec(uint8_t* record)
{
    try {
        return record ? Run(record) : 0;
    } catch (...) {
        return 0;
    }
}
