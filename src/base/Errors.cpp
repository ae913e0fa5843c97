#include "Errors.h"

#include <cerrno>

namespace base {

namespace {
std::string InOutText(int code)
{
    switch (code) {
    case kErrFileNotFound: return "File not found";
    case kErrAccessDenied: return "File access denied";
    default: return FormatMessage("I/O error %d", std::to_string(code));
    }
}
}  // namespace

EInOutError::EInOutError(int code) : Exception(InOutText(code)), ErrorCode(code) {}

std::string FormatMessage(std::string_view format, std::string_view value)
{
    std::string out(format);
    for (const char* marker : {"%s", "%d"}) {
        auto pos = out.find(marker);
        if (pos != std::string::npos) {
            out.replace(pos, 2, value);
            break;
        }
    }
    return out;
}

Exception FileOpenError(const std::string& path) { return Exception(FormatMessage("Cannot open file %s", path)); }
Exception FileCreateError(const std::string& path) { return Exception(FormatMessage("Cannot create file %s", path)); }
Exception ReadError() { return Exception("Stream read error"); }
Exception WriteError() { return Exception("Stream write error"); }
Exception ConvertError(const std::string& text)
{
    return Exception(FormatMessage("'%s' is not a valid integer value", text));
}

int WinErrorFromErrno(int err)
{
    switch (err) {
    case ENOENT: return kErrFileNotFound;
    case ENOTDIR: return kErrPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return kErrAccessDenied;
    case EMFILE:
    case ENFILE: return 4;
    case ENOSPC: return 112;
    case EBUSY: return 32;
    case ENAMETOOLONG: return 206;
    default: return 31;  // general failure
    }
}

}  // namespace base
