#pragma once
// user.dat: a note per battle file name, in fixed 282-byte records without a header. Several
// running copies may share it: each operation holds the lock beside it (base::StoreLock), and a
// user.dat that is a link to another folder stays a link.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace app {

struct CommentRecordLayout {
    static constexpr size_t NameLength = 0;
    static constexpr size_t Name = 1;
    static constexpr size_t NameCapacity = 25;
    static constexpr size_t CommentLength = 26;
    static constexpr size_t Comment = 27;
    static constexpr size_t CommentCapacity = 255;
    static constexpr size_t Size = 282;
};

inline constexpr const char* kCommentFileName = "user.dat";

// Full path of user.dat in the program's folder.
std::string CommentFilePath();

// Names are UTF-8 text, stored and matched in Windows-1252 (UTF-8 when the page lacks one of their
// characters) byte for byte, letter case counting.
// A name longer than the record holds is keyed by its first 25 bytes, so its note can be found again.
std::optional<std::string> FindComment(std::string_view name);
// Replaces the comment of the first matching record or appends a record; the text is cut to 255.
void SaveComment(std::string_view name, std::string_view text);
// Removes every matching record; the file is rewritten whole through a temporary file.
void RemoveComments(std::string_view name);

}  // namespace app
