#include "CodePage.h"

namespace base {

namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1 code points, as the
// platform's own conversion does.
constexpr char16_t kAnsiHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char16_t kOemHigh[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

int UnicodeToOemChar(char32_t u)
{
    if (u < 0x80)
        return static_cast<int>(u);
    for (int i = 0; i < 128; ++i)
        if (kOemHigh[i] == u)
            return 0x80 + i;
    return -1;
}

void AppendUtf8(std::string& out, char32_t u)
{
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (u >> 18));
        out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

// Decodes one UTF-8 sequence at i; returns 0xFFFFFFFF for a malformed one (advancing one byte).
char32_t NextUtf8(std::string_view s, size_t& i)
{
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    int extra = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + extra >= s.size()) {
        ++i;
        return 0xFFFFFFFF;
    }
    char32_t u = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return 0xFFFFFFFF;
        }
        u = (u << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (u < kMin[extra] || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) {
        ++i;
        return 0xFFFFFFFF;
    }
    i += extra + 1;
    return u;
}

}  // namespace

int UnicodeToAnsiChar(char32_t u)
{
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return static_cast<int>(u);
    for (int i = 0; i < 32; ++i)
        if (kAnsiHigh[i] == u)
            return 0x80 + i;
    return -1;
}

char16_t AnsiCharToUnicode(unsigned char c) { return c >= 0x80 && c < 0xA0 ? kAnsiHigh[c - 0x80] : c; }

char16_t OemCharToUnicode(unsigned char c) { return c >= 0x80 ? kOemHigh[c - 0x80] : c; }

namespace {

std::string SingleByteToUtf8(std::string_view text, char16_t (*toUnicode)(unsigned char))
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text)
        AppendUtf8(out, toUnicode(c));
    return out;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) { return SingleByteToUtf8(ansi, AnsiCharToUnicode); }

std::string OemToUtf8(std::string_view oem) { return SingleByteToUtf8(oem, OemCharToUnicode); }

std::string Utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t u = utf16[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000)
            u = 0x10000 + ((u - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        else if (u >= 0xD800 && u < 0xE000)
            u = 0xFFFD;
        AppendUtf8(out, u);
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t u = NextUtf8(utf8, i);
        int c = u == 0xFFFFFFFF ? -1 : UnicodeToAnsiChar(u);
        out += c < 0 ? '?' : static_cast<char>(c);
    }
    return out;
}

std::string OemToAnsi(std::string_view oem)
{
    std::string out(oem);
    for (auto& ch : out) {
        auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            int a = UnicodeToAnsiChar(OemCharToUnicode(c));
            ch = a < 0 ? '?' : static_cast<char>(a);
        }
    }
    return out;
}

std::string AnsiToOem(std::string_view ansi)
{
    std::string out(ansi);
    for (auto& ch : out) {
        auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            int o = UnicodeToOemChar(AnsiCharToUnicode(c));
            ch = o < 0 ? '?' : static_cast<char>(o);
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes)
{
    for (size_t i = 0; i < bytes.size();)
        if (NextUtf8(bytes, i) == 0xFFFFFFFF)
            return false;
    return true;
}

std::string TextToUtf8(std::string_view bytes) { return IsValidUtf8(bytes) ? std::string(bytes) : AnsiToUtf8(bytes); }

std::optional<std::string> Utf8ToAnsiExact(std::string_view utf8)
{
    if (!IsValidUtf8(utf8))
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const int c = UnicodeToAnsiChar(NextUtf8(utf8, i));
        if (c < 0)
            return std::nullopt;
        out += static_cast<char>(c);
    }
    return out;
}

std::string Utf8ToOem(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t u = NextUtf8(utf8, i);
        const int c = u == 0xFFFFFFFF ? -1 : u < 0x80 ? static_cast<int>(u) : UnicodeToOemChar(u);
        out += c < 0 ? '?' : static_cast<char>(c);
    }
    return out;
}

std::string_view CutUtf8(std::string_view utf8, size_t maxBytes)
{
    if (utf8.size() <= maxBytes)
        return utf8;
    size_t end = maxBytes;
    // Step back over continuation bytes to the start of the character that would be split.
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
        --end;
    return utf8.substr(0, end);
}

}  // namespace base
