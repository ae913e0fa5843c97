#include "Files.h"

#include "Errors.h"
#include "Paths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

int AttrOf(const std::string& name, const struct stat& st)
{
    int attr = 0;
    if (S_ISDIR(st.st_mode))
        attr |= faDirectory;
    else
        attr |= faArchive;
    if (!name.empty() && name[0] == '.')
        attr |= faHidden;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        attr |= faReadOnly;
    return attr;
}

void SplitPattern(std::string_view pattern, std::string& dir, std::string& mask)
{
    auto pos = pattern.find_last_of("/\\");
    if (pos == std::string_view::npos) {
        dir = "";
        mask = pattern;
    } else {
        dir = pattern.substr(0, pos + 1);
        mask = pattern.substr(pos + 1);
    }
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name)
{
    // Iterative matcher with one backtrack point: linear enough for file names.
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

int32_t PackDosDateTime(std::time_t t)
{
    std::tm tm {};
    localtime_r(&t, &tm);
    int year = tm.tm_year + 1900;
    if (year < 1980)
        return (0 << 25) | (1 << 21) | (1 << 16);
    if (year > 2107)
        year = 2107;
    uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    return static_cast<int32_t>((date << 16) | time);
}

std::optional<std::time_t> UnpackDosDateTime(uint32_t packed)
{
    std::tm tm {};
    tm.tm_year = static_cast<int>((packed >> 25) & 0x7F) + 80;
    tm.tm_mon = static_cast<int>((packed >> 21) & 0x0F) - 1;
    tm.tm_mday = static_cast<int>((packed >> 16) & 0x1F);
    tm.tm_hour = static_cast<int>((packed >> 11) & 0x1F);
    tm.tm_min = static_cast<int>((packed >> 5) & 0x3F);
    tm.tm_sec = static_cast<int>(packed & 0x1F) * 2;
    tm.tm_isdst = -1;
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59)
        return std::nullopt;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return t;
}

int32_t FileAge(std::string_view path)
{
    // The time of a file that can be opened for reading: one that exists but cannot be read
    // counts as having no time at all. Non-blocking, so a named pipe cannot hang the window.
    const int fd = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat st {};
    const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    return ok ? PackDosDateTime(st.st_mtime) : -1;
}

std::vector<SearchRec> FindFiles(std::string_view pattern, bool details)
{
    std::string dir, mask;
    SplitPattern(pattern, dir, mask);
    std::vector<SearchRec> result;
    std::string native = NativePath(dir.empty() ? std::string_view(".") : std::string_view(dir));
    DIR* d = opendir(native.empty() ? "." : native.c_str());
    if (!d)
        return result;
    while (dirent* e = readdir(d)) {
        std::string raw = e->d_name;
        if (raw == "." || raw == "..")
            continue;
        std::string name = raw;
        if (!WildcardMatch(mask, name))
            continue;
        SearchRec rec;
        if (!details && e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) {
            rec.Name = std::move(name);
            rec.Attr = (e->d_type == DT_DIR ? faDirectory : faArchive) | (raw[0] == '.' ? faHidden : 0);
            result.push_back(std::move(rec));
            continue;
        }
        struct stat st {};
        if (stat((native + "/" + raw).c_str(), &st) != 0 && lstat((native + "/" + raw).c_str(), &st) != 0)
            continue;
        rec.Name = std::move(name);
        rec.Attr = AttrOf(raw, st);
        rec.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
        rec.MTime = st.st_mtime;
        rec.Time = PackDosDateTime(st.st_mtime);
        result.push_back(std::move(rec));
    }
    closedir(d);
    std::sort(result.begin(), result.end(), [](const SearchRec& a, const SearchRec& b) { return a.Name < b.Name; });
    return result;
}

bool FileExists(std::string_view path)
{
    struct stat st {};
    return stat(NativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view path)
{
    struct stat st {};
    return stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

bool CopyNative(const std::string& from, const std::string& to)
{
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st {};
    if (fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(in);
        return false;
    }
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        close(in);
        return false;
    }
    char buf[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok)
            break;
    }
    ok = FlushToDisk(out) && ok;
    ok = close(out) == 0 && ok;
    close(in);
    if (ok) {
        // Keep the file's date: the zip overwrite rule and the archive list compare it.
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        utimensat(AT_FDCWD, to.c_str(), times, 0);
    }
    return ok;
}

}  // namespace

bool CopyFileOverwrite(std::string_view from, std::string_view to)
{
    std::string src = NativePath(from), dst = NativePath(to);
    struct stat a {
    }, b {};
    if (stat(src.c_str(), &a) == 0 && stat(dst.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        return false;  // copying a file onto itself would truncate it
    if (!CopyNative(src, dst)) {
        return false;
    }
    return true;
}

bool MoveFileNoReplace(std::string_view from, std::string_view to)
{
    std::string src = NativePath(from), dst = NativePath(to);
    struct stat st {};
    if (lstat(dst.c_str(), &st) == 0)
        return false;
    // link + unlink never replaces an existing target; rename would.
    if (link(src.c_str(), dst.c_str()) == 0)
        return unlink(src.c_str()) == 0;
    if (errno == EEXIST)
        return false;
    if (errno != EXDEV && errno != EPERM && errno != ENOTSUP && errno != EMLINK)
        return false;
    // Across file systems: copy, then delete the source only when the copy is complete.
    if (lstat(dst.c_str(), &st) == 0)
        return false;
    if (!CopyNative(src, dst)) {
        unlink(dst.c_str());
        return false;
    }
    return unlink(src.c_str()) == 0;
}

bool DeleteFile(std::string_view path)
{
    std::string native = NativePath(path);
    struct stat st {};
    if (lstat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return unlink(native.c_str()) == 0;
}

// ---- FileStream ----

FileStream::FileStream(std::string_view path, Mode mode)
{
    std::string native = NativePath(path);
    int flags = O_CLOEXEC;
    switch (mode) {
    case OpenRead: flags |= O_RDONLY; break;
    case OpenWrite: flags |= O_WRONLY; break;
    case OpenReadWrite: flags |= O_RDWR; break;
    case Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    fd_ = open(native.c_str(), flags, 0666);
    struct stat st {};
    if (fd_ >= 0 && (fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode))) {
        close(fd_);
        fd_ = -1;
    }
    if (fd_ < 0) {
        if (mode == Create)
            throw FileCreateError(std::string(path));
        throw FileOpenError(std::string(path));
    }
}

FileStream::~FileStream() { Close(); }

void FileStream::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

size_t FileStream::Read(void* buf, size_t n)
{
    size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < n) {
        ssize_t r = read(fd_, p + done, n - done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        done += static_cast<size_t>(r);
    }
    return done;
}

void FileStream::ReadBuffer(void* buf, size_t n)
{
    if (Read(buf, n) != n)
        throw ReadError();
}

void FileStream::WriteBuffer(const void* buf, size_t n)
{
    size_t done = 0;
    auto* p = static_cast<const char*>(buf);
    while (done < n) {
        ssize_t w = write(fd_, p + done, n - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            throw WriteError();
        done += static_cast<size_t>(w);
    }
}

int64_t FileStream::Seek(int64_t pos) { return lseek(fd_, pos, SEEK_SET); }
int64_t FileStream::Position() const { return lseek(fd_, 0, SEEK_CUR); }

int64_t FileStream::Size() const
{
    struct stat st {};
    return fstat(fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

void FileStream::Flush()
{
    if (!FlushToDisk(fd_))
        throw WriteError();
}

ReplacementFile::ReplacementFile(std::string_view path) : path_(path)
{
    if (file_.Open(NativePath(path)) != MemberWriteResult::Ok)
        throw FileCreateError(path_);
}

void ReplacementFile::Write(std::string_view data)
{
    if (file_.Write(data.data(), data.size()) != MemberWriteResult::Ok)
        throw WriteError();
}

void ReplacementFile::Commit()
{
    switch (file_.Commit()) {
    case MemberWriteResult::Ok: return;
    case MemberWriteResult::CannotPlace: throw FileCreateError(path_);
    default: throw WriteError();
    }
}

void ReplaceFileContents(std::string_view path, std::string_view contents)
{
    ReplacementFile file(path);
    file.Write(contents);
    file.Commit();
}

// ---- TextFileReader ----

TextFileReader::TextFileReader(std::string_view path)
{
    // The path as spelled first: letter case is resolved only when that does not exist.
    const std::string direct = DirectPath(path);
    fd_ = open(direct.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0 && (errno == ENOENT || errno == ENOTDIR)) {
        const std::string native = NativePath(path);
        if (native != direct)
            fd_ = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd_ < 0)
        throw EInOutError(WinErrorFromErrno(errno));
}

TextFileReader::~TextFileReader() { Close(); }

void TextFileReader::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

void TextFileReader::Fill()
{
    pos_ = 0;
    len_ = 0;
    if (eof_ || fd_ < 0)
        return;
    for (;;) {
        ssize_t r = read(fd_, buf_, sizeof buf_);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            throw EInOutError(WinErrorFromErrno(errno));  // a directory reads as EISDIR: access denied
        if (r == 0)
            eof_ = true;
        len_ = static_cast<size_t>(r);
        return;
    }
}

int TextFileReader::Peek()
{
    if (pos_ >= len_)
        Fill();
    return pos_ < len_ ? static_cast<unsigned char>(buf_[pos_]) : -1;
}

int TextFileReader::Get()
{
    int c = Peek();
    if (c >= 0)
        ++pos_;
    return c;
}

}  // namespace base
