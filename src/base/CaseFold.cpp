#include "CaseFold.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <climits>

namespace base {

namespace {

bool IsAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Walks UTF-8 one character at a time; a malformed sequence comes back as a negative code point
// together with the bytes it covers.
class Utf8Reader {
public:
    explicit Utf8Reader(std::string_view s) : s_(s) {}
    bool AtEnd() const { return pos_ >= static_cast<int32_t>(s_.size()); }
    UChar32 Next(std::string_view& bytes)
    {
        const int32_t start = pos_;
        UChar32 c;
        U8_NEXT(s_.data(), pos_, static_cast<int32_t>(s_.size()), c);
        bytes = s_.substr(static_cast<size_t>(start), static_cast<size_t>(pos_ - start));
        return c;
    }

private:
    std::string_view s_;
    int32_t pos_ = 0;
};

}  // namespace

std::string FoldCase(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    if (IsAscii(utf8) || utf8.size() > INT32_MAX) {
        for (char c : utf8)
            out += AsciiLower(c);
        return out;
    }
    Utf8Reader in(utf8);
    while (!in.AtEnd()) {
        std::string_view bytes;
        const UChar32 c = in.Next(bytes);
        if (c < 0) {
            out += bytes;
            continue;
        }
        char buf[U8_MAX_LENGTH];
        int32_t n = 0;
        U8_APPEND_UNSAFE(buf, n, u_foldCase(c, U_FOLD_CASE_DEFAULT));
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    if (IsAscii(a) && IsAscii(b)) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (AsciiLower(a[i]) != AsciiLower(b[i]))
                return false;
        return true;
    }
    if (a.size() > INT32_MAX || b.size() > INT32_MAX)
        return a == b;
    Utf8Reader left(a), right(b);
    while (!left.AtEnd() && !right.AtEnd()) {
        std::string_view leftBytes, rightBytes;
        const UChar32 l = left.Next(leftBytes);
        const UChar32 r = right.Next(rightBytes);
        if (l < 0 || r < 0) {
            if (leftBytes != rightBytes)
                return false;
        } else if (l != r && u_foldCase(l, U_FOLD_CASE_DEFAULT) != u_foldCase(r, U_FOLD_CASE_DEFAULT)) {
            return false;
        }
    }
    return left.AtEnd() && right.AtEnd();
}

}  // namespace base
