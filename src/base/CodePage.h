#pragma once
// The program's 8-bit text is Windows-1252 ("ANSI"); archives of old tools use OEM 437.
#include <optional>
#include <string>
#include <string_view>

namespace base {

char16_t AnsiCharToUnicode(unsigned char c);
char16_t OemCharToUnicode(unsigned char c);

std::string AnsiToUtf8(std::string_view ansi);
std::string OemToUtf8(std::string_view oem);
// A lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
// Characters Windows-1252 cannot hold become '?'.
std::string Utf8ToAnsi(std::string_view utf8);

// Per byte at or above 128; a character the target page lacks becomes '?'.
std::string OemToAnsi(std::string_view oem);
std::string AnsiToOem(std::string_view ansi);

// The Windows-1252 byte of a character, or -1 when the page lacks it.
int UnicodeToAnsiChar(char32_t u);

bool IsValidUtf8(std::string_view bytes);

// Text as the program holds it: valid UTF-8 stays, other bytes are read as Windows-1252 (values
// older versions stored, names made by Windows tools).
std::string TextToUtf8(std::string_view bytes);
// The Windows-1252 form of UTF-8 text, nothing when a character has none. Bytes that are not
// UTF-8 were never converted and are returned as they are.
std::optional<std::string> Utf8ToAnsiExact(std::string_view utf8);
// Characters OEM 437 cannot hold become '?'.
std::string Utf8ToOem(std::string_view utf8);
// The longest start of the text of at most maxBytes bytes that does not end inside a character.
std::string_view CutUtf8(std::string_view utf8, size_t maxBytes);

}  // namespace base
