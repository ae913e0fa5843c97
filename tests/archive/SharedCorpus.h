#pragma once
// The shared test archives (../shared/testdata/<kind>/) and the rows of their MANIFEST.tsv, one
// test case per row, named after the archive and the member. Without the data the tests skip and
// say so; under CI (the CI variable set) missing data fails the run instead, so a build that lost
// the archives cannot pass for one that checked them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace corpus {

struct Row {
    std::string archive;  // file name in the corpus folder
    std::string member;   // "(archive)", "(comment)", "(volume ...)" or the member name, "/" separated
    std::string size;
    std::string sha256;
    std::string notes;
    std::string testName;  // unique within the manifest

    bool IsPlaceholder() const { return archive.empty(); }
    bool IsMember() const { return member.empty() || member[0] != '('; }
    bool IsDirectory() const { return !member.empty() && member.back() == '/'; }
    bool NotesSay(const std::string& tag) const { return notes.find(tag) != std::string::npos; }
};

inline bool UnderCi()
{
    const char* ci = std::getenv("CI");
    return ci && *ci && std::string(ci) != "0" && std::string(ci) != "false";
}

// "r3_basic_links_dirs.rar" + "testdir/test.txt" -> "r3_basic_links_dirs_rar_testdir_test_txt";
// a letter beyond ASCII becomes its code point ("ü" -> "u00FC"), so such names stay apart.
inline std::string TestNameOf(const std::string& archive, const std::string& member)
{
    static const char hex[] = "0123456789ABCDEF";
    const std::string text = archive + "/" + member;
    std::string name;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            name += static_cast<char>(c);
            ++i;
        } else if (c < 0x80) {
            if (!name.empty() && name.back() != '_')
                name += '_';
            ++i;
        } else {
            const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            uint32_t point = length == 1 ? c : c & (0x7F >> length);
            for (size_t k = 1; k < length && i + k < text.size(); ++k)
                point = point << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            std::string digits;
            for (; point || digits.size() < 4; point >>= 4)
                digits.insert(digits.begin(), hex[point & 0xF]);
            name += "u" + digits;
            i += length;
        }
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name.empty() ? "unnamed" : name;
}

// Every row of dir/MANIFEST.tsv. Without the file: one placeholder row, whose test skips or fails.
inline std::vector<Row> LoadManifest(const std::string& dir)
{
    std::vector<Row> rows;
    std::ifstream in(dir + "/MANIFEST.tsv");
    std::string line;
    if (!std::getline(in, line))  // the header
        return {Row {{}, {}, {}, {}, {}, "SharedTestDataMissing"}};
    std::map<std::string, int> seen;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> cells(1);
        for (char c : line) {
            if (c == '\t')
                cells.emplace_back();
            else
                cells.back() += c;
        }
        if (cells.size() < 5)
            continue;
        Row row {cells[0], cells[1], cells[2], cells[3], cells[4], TestNameOf(cells[0], cells[1])};
        // Names that differ only in punctuation or non-ASCII letters are told apart by a number.
        if (int n = ++seen[row.testName]; n > 1)
            row.testName += "_" + std::to_string(n);
        rows.push_back(std::move(row));
    }
    return rows;
}

inline std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.testName; }

// Shows the row in failure messages and in --gtest_list_tests output.
inline void PrintTo(const Row& row, std::ostream* os) { *os << row.archive << " | " << row.member; }

}  // namespace corpus

// Skips the test when shared data is missing, or fails it under CI.
#define REQUIRE_SHARED_DATA(present, where)                                                      \
    do {                                                                                         \
        if (!(present)) {                                                                        \
            if (::corpus::UnderCi())                                                             \
                FAIL() << "shared test data not found at " << (where) << " (required under CI)"; \
            GTEST_SKIP() << "shared test data not found at " << (where);                         \
        }                                                                                        \
    } while (0)

// For the test of one manifest row: the placeholder of a missing manifest skips or fails.
#define REQUIRE_MANIFEST_ROW(row, dir) REQUIRE_SHARED_DATA(!(row).IsPlaceholder(), (dir) + "/MANIFEST.tsv")
