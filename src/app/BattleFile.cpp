#include "BattleFile.h"

#include "base/Errors.h"
#include "base/Files.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace app {

namespace {

const char* kAllies = "Allies";
const char* kAxis = "Axis";

template <class Source>
void ParseDetails(Source& in, const BattleDetailsSink& sink)
{
    bool ended = false;
    for (int i = 1; i <= 3; ++i)
        ReadBattleLine(in, ended);
    std::string line4 = ReadBattleLine(in, ended);
    sink.Side(line4 == "1 0" || line4 == "0 0" ? kAllies : kAxis);
    ReadBattleLine(in, ended);
    ReadBattleLine(in, ended);
    std::string line7 = ReadBattleLine(in, ended);
    auto first = line7.find(' ');
    if (first == std::string::npos) {
        // No first and last field to tell apart: nothing to show for turn and length.
        sink.CurrentTurn("");
        sink.Length("");
    } else {
        int32_t f = StrToInt(line7.substr(0, first));
        sink.CurrentTurn(std::to_string(f / 6 + 1));
        int32_t l = StrToInt(line7.substr(line7.rfind(' ') + 1));
        sink.Length(std::to_string(l / 6));
    }
    std::string line8 = ReadBattleLine(in, ended);
    auto last = line8.rfind(' ');
    sink.Visibility(last == std::string::npos ? line8 : line8.substr(last + 1));
}

template <class Source>
std::string ReadTitle(Source& in)
{
    bool ended = false;
    for (int i = 1; i <= 5; ++i)
        ReadBattleLine(in, ended);
    return ReadBattleLine(in, ended);
}

// A battle opened relative to its folder, read through a small buffer; the errors are those of
// base::TextFileReader.
class FolderFileSource {
public:
    FolderFileSource(int folder, const char* name) : fd_(openat(folder, name, O_RDONLY | O_CLOEXEC))
    {
        if (fd_ < 0)
            throw base::EInOutError(base::WinErrorFromErrno(errno));
    }
    ~FolderFileSource() { close(fd_); }
    int Descriptor() const { return fd_; }
    FolderFileSource(const FolderFileSource&) = delete;
    FolderFileSource& operator=(const FolderFileSource&) = delete;

    int Peek()
    {
        if (pos_ >= len_)
            Fill();
        return pos_ < len_ ? static_cast<unsigned char>(buf_[pos_]) : -1;
    }
    int Get()
    {
        const int c = Peek();
        if (c >= 0)
            ++pos_;
        return c;
    }

private:
    void Fill()
    {
        pos_ = len_ = 0;
        if (eof_)
            return;
        ssize_t r;
        do
            r = read(fd_, buf_, sizeof buf_);
        while (r < 0 && errno == EINTR);
        if (r < 0)
            throw base::EInOutError(base::WinErrorFromErrno(errno));  // a folder reads as EISDIR
        eof_ = r == 0;
        len_ = static_cast<size_t>(r);
    }

    int fd_;
    char buf_[4096];
    size_t pos_ = 0;
    size_t len_ = 0;
    bool eof_ = false;
};

}  // namespace

int32_t StrToInt(const std::string& text)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size())
        throw base::ConvertError(text);
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            throw base::ConvertError(text);
        value = value * 10 + (text[i] - '0');
        if (value > int64_t(std::numeric_limits<int32_t>::max()) + 1)
            throw base::ConvertError(text);
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min())
        throw base::ConvertError(text);
    return static_cast<int32_t>(value);
}

std::string ReadBattleTitle(const std::string& path)
{
    base::TextFileReader in(path);
    return ReadTitle(in);
}

std::string ReadBattleTitleAt(int folder, const char* name)
{
    FolderFileSource in(folder, name);
    return ReadTitle(in);
}

std::string ReadBattleTitleAt(int folder, const char* name, std::optional<struct stat>& status)
{
    FolderFileSource in(folder, name);
    struct stat st {};
    if (fstat(in.Descriptor(), &st) == 0)
        status = st;
    else
        status.reset();
    return ReadTitle(in);
}

void ReadBattleDetails(const std::string& path, const BattleDetailsSink& sink)
{
    base::TextFileReader in(path);
    ParseDetails(in, sink);
}

void ParseBattleDetails(std::string_view text, const BattleDetailsSink& sink)
{
    MemorySource in(text);
    ParseDetails(in, sink);
}

}  // namespace app
