#pragma once
// File access in the program's terms: 8-bit path strings, the program's error texts,
// directory search with attributes and packed MS-DOS date-times.
#include "MemberWriter.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// Attribute bits of a directory search result.
enum FileAttr : int {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faDirectory = 0x10,
    faArchive = 0x20,
    faAnyFile = 0x3F,
};

struct SearchRec {
    std::string Name;  // plain name, in the encoding of the searched path (see FindFiles)
    int Attr = 0;
    int64_t Size = 0;
    int32_t Time = 0;       // last write, local time, packed MS-DOS date-time
    std::time_t MTime = 0;  // last write, seconds since the epoch
};

// Searches "dir\pattern" (the last component is a case-insensitive wildcard of * and ?).
// Matches of any attribute are returned, sorted by name. A directory that cannot be read
// gives no matches. Names come back byte for byte as the disk holds them (UTF-8), so that
// dir + "\" + name names the file again. Without details only names and
// the directory and hidden attributes are filled, which spares a status query per entry.
std::vector<SearchRec> FindFiles(std::string_view pattern, bool details = true);

bool WildcardMatch(std::string_view pattern, std::string_view name);

// Local time packed as MS-DOS date (high word) and time (low word), two-second resolution.
int32_t PackDosDateTime(std::time_t t);
// The local time a packed MS-DOS date-time stands for; nothing when a field is out of range.
std::optional<std::time_t> UnpackDosDateTime(uint32_t packed);
// The last write time of a file as packed MS-DOS date-time, -1 when it cannot be read.
int32_t FileAge(std::string_view path);

bool FileExists(std::string_view path);
bool DirectoryExists(std::string_view path);

// Results are not examined by the program; they are returned for tests.
bool CopyFileOverwrite(std::string_view from, std::string_view to);
bool MoveFileNoReplace(std::string_view from, std::string_view to);
bool DeleteFile(std::string_view path);

// A binary file stream with the program's error texts.
class FileStream {
public:
    enum Mode { OpenRead, OpenWrite, OpenReadWrite, Create };
    // path is a program path (see NativePath); the error texts name it as given.
    FileStream(std::string_view path, Mode mode);
    ~FileStream();
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Reads up to n bytes, returns how many came.
    size_t Read(void* buf, size_t n);
    // Reads exactly n bytes or throws "Stream read error".
    void ReadBuffer(void* buf, size_t n);
    // Writes exactly n bytes or throws "Stream write error".
    void WriteBuffer(const void* buf, size_t n);
    int64_t Seek(int64_t pos);
    int64_t Position() const;
    int64_t Size() const;
    void Flush();
    void Close();

private:
    int fd_ = -1;
};

// A file written whole through the member writer: a temporary file in the same directory,
// flushed and renamed over the target on Commit, so a crash leaves the old or the new file, never
// half of one. Errors name the target: "Cannot create file %s", "Stream write error".
class ReplacementFile {
public:
    explicit ReplacementFile(std::string_view path);
    void Write(std::string_view data);
    void Commit();

private:
    std::string path_;  // as given, for the messages
    MemberWriter file_;
};

void ReplaceFileContents(std::string_view path, std::string_view contents);

// A text file opened for reading; errors are EInOutError with the platform's code.
class TextFileReader {
public:
    explicit TextFileReader(std::string_view path);
    ~TextFileReader();
    TextFileReader(const TextFileReader&) = delete;
    TextFileReader& operator=(const TextFileReader&) = delete;
    // Next byte, or -1 at the end of the file.
    int Get();
    int Peek();
    void Close();

private:
    void Fill();
    int fd_ = -1;
    char buf_[4096];
    size_t pos_ = 0;
    size_t len_ = 0;
    bool eof_ = false;
};

}  // namespace base
