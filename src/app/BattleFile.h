#pragma once
// The leading text lines of a battle file, as the games write them.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace base {
class TextFileReader;
}

namespace app {

// A line ends at CR; CR LF is one line end; a lone LF is an ordinary character; 0x1A or the
// end of the file ends the text. Lines have no length limit.
template <class Source>
std::string ReadBattleLine(Source& in, bool& ended)
{
    std::string line;
    if (ended)
        return line;
    for (;;) {
        int c = in.Get();
        if (c < 0 || c == 0x1A) {
            ended = true;
            return line;
        }
        if (c == '\r') {
            if (in.Peek() == '\n')
                in.Get();
            return line;
        }
        line += static_cast<char>(c);
    }
}

// A byte source over memory, for text already read.
class MemorySource {
public:
    explicit MemorySource(std::string_view data) : data_(data) {}
    int Get() { return pos_ < data_.size() ? static_cast<unsigned char>(data_[pos_++]) : -1; }
    int Peek() const { return pos_ < data_.size() ? static_cast<unsigned char>(data_[pos_]) : -1; }

private:
    std::string_view data_;
    size_t pos_ = 0;
};

// Where ReadBattleDetails hands each value the moment it has been read. Current turn and
// length come as text: empty when line 7 has no first and last field.
struct BattleDetailsSink {
    std::function<void(const std::string&)> Side;
    std::function<void(const std::string&)> CurrentTurn;
    std::function<void(const std::string&)> Length;
    std::function<void(const std::string&)> Visibility;
};

// Line 6, the battle's title; "" for a file of fewer lines.
std::string ReadBattleTitle(const std::string& path);

// The same for the file `name` of an open folder (a descriptor), with the same errors: a list of
// thousands of battles resolves its folder once instead of once per file.
std::string ReadBattleTitleAt(int folder, const char* name);
// The same, also taking the status of the file it opened (nothing when that fails): the list
// follows each battle from it, and asking the open file spares a second lookup of its name.
std::string ReadBattleTitleAt(int folder, const char* name, std::optional<struct stat>& status);

// Reads lines 1 to 8 of a battle file and hands over side, current turn, length and visibility
// in that order. Errors: the file's ("File not found", ...) and "'%s' is not a valid integer value".
void ReadBattleDetails(const std::string& path, const BattleDetailsSink& sink);

// The same rules over bytes already in memory (the fuzz target and the tests use it).
void ParseBattleDetails(std::string_view text, const BattleDetailsSink& sink);

// Decimal whole number in signed 32 bits, or "'%s' is not a valid integer value".
int32_t StrToInt(const std::string& text);

}  // namespace app
