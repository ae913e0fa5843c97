#pragma once
// The program's 8-bit text is Windows-1252 ("ANSI"); archives of old tools use OEM 437.
#include <string>
#include <string_view>

class QString;

namespace base {

char16_t AnsiCharToUnicode(unsigned char c);
char16_t OemCharToUnicode(unsigned char c);

std::string AnsiToUtf8(std::string_view ansi);
// Characters Windows-1252 cannot hold become '?'.
std::string Utf8ToAnsi(std::string_view utf8);

// Per byte at or above 128; a character the target page lacks becomes '?'.
std::string OemToAnsi(std::string_view oem);
std::string AnsiToOem(std::string_view ansi);

// Widget boundary.
QString AnsiToQString(std::string_view ansi);
std::string QStringToAnsi(const QString& text);
// For strings that may be native paths kept byte for byte: valid multi-byte UTF-8 is shown as such.
QString DisplayString(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

}  // namespace base
