#pragma once
// The program's error texts. Handlers throw these; the global error report shows them.
#include <stdexcept>
#include <string>
#include <string_view>

namespace base {

// Every error the program reports carries its final message text (8-bit ANSI).
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Errors of text-file access carry the platform's error code, as the games' platform reports it.
class EInOutError : public Exception {
public:
    explicit EInOutError(int code);
    int ErrorCode;
};

// Windows error codes used by the text-file errors.
constexpr int kErrFileNotFound = 2;
constexpr int kErrPathNotFound = 3;
constexpr int kErrAccessDenied = 5;

// Replaces the first "%s" (or "%d") of a format with a value.
std::string FormatMessage(std::string_view format, std::string_view value);

Exception FileOpenError(const std::string& path);    // "Cannot open file %s"
Exception FileCreateError(const std::string& path);  // "Cannot create file %s"
Exception ReadError();                               // "Stream read error"
Exception WriteError();                              // "Stream write error"
Exception ConvertError(const std::string& text);     // "'%s' is not a valid integer value"

// Maps a POSIX errno to the Windows code the program reports.
int WinErrorFromErrno(int err);

}  // namespace base
