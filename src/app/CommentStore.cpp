#include "CommentStore.h"

#include "base/CodePage.h"
#include "base/Errors.h"
#include "base/Files.h"
#include "base/ProgramDir.h"
#include "base/StoreLock.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace app {

namespace {

using L = CommentRecordLayout;
using Record = std::array<uint8_t, L::Size>;

// The stored key: the name in Windows-1252, as the games' tools keep it, cut to the record's 25 bytes.
// A name with a character the page lacks keeps its UTF-8 bytes: with "?" in their place, "Łódź"
// and "Łódż" would share one note, and deleting one battle would take the other's note.
std::string Key(std::string_view name)
{
    std::string key = base::Utf8ToAnsiExact(name).value_or(std::string(name));
    key.resize(std::min(key.size(), L::NameCapacity));
    return key;
}

bool Matches(const Record& r, std::string_view key)
{
    // Bytes behind the counted part mean nothing; a length above the field's capacity cannot match.
    const size_t n = r[L::NameLength];
    return n == key.size() && n <= L::NameCapacity && std::memcmp(r.data() + L::Name, key.data(), n) == 0;
}

std::string CommentOf(const Record& r)
{
    const size_t n = std::min<size_t>(r[L::CommentLength], L::CommentCapacity);
    return std::string(reinterpret_cast<const char*>(r.data() + L::Comment), n);
}

void SetComment(Record& r, std::string_view text)
{
    const size_t n = std::min(text.size(), L::CommentCapacity);
    r[L::CommentLength] = static_cast<uint8_t>(n);
    std::memcpy(r.data() + L::Comment, text.data(), n);
    std::fill(r.begin() + static_cast<std::ptrdiff_t>(L::Comment + n), r.end(), 0);
}

// Another running copy may change user.dat at any moment: every operation holds the store's lock
// from its first read to its last write, and reads the file afresh under it.
struct LockedStore {
    LockedStore() : path(CommentFilePath()), target(base::ResolveStoreTarget(path)), lock(target) {}
    const std::string path;    // as named, for reads, writes in place and the messages
    const std::string target;  // what a whole-file rewrite replaces: a linked store stays linked
    const base::StoreLock lock;
};

std::unique_ptr<base::FileStream> Open(const std::string& path, base::FileStream::Mode mode)
{
    return std::make_unique<base::FileStream>(path, mode);
}

// Opens user.dat for find and save, creating it empty when it does not exist yet.
std::unique_ptr<base::FileStream> OpenOrCreate(const std::string& path, base::FileStream::Mode mode)
{
    try {
        return Open(path, mode);
    } catch (const base::Exception&) {
    }
    // Only a missing file is created: one that exists is never truncated, and one that a copy
    // without the lock (a folder that cannot hold the lock file) made just now is opened instead.
    if (!base::FileExists(path)) {
        try {
            return Open(path, base::FileStream::Create);
        } catch (const base::Exception&) {
            if (!base::FileExists(path))
                throw;
        }
    }
    try {
        return Open(path, mode);
    } catch (const base::Exception&) {
        throw base::FileCreateError(path);
    }
}

}  // namespace

std::string CommentFilePath() { return base::ProgramDirectory() + "/" + kCommentFileName; }

std::optional<std::string> FindComment(std::string_view name)
{
    const std::string key = Key(name);
    const LockedStore store;
    auto file = OpenOrCreate(store.path, base::FileStream::OpenRead);
    const int64_t size = file->Size();
    Record r;
    for (int64_t pos = 0; pos < size; pos += L::Size) {
        file->ReadBuffer(r.data(), r.size());
        if (Matches(r, key))
            return CommentOf(r);
    }
    return std::nullopt;
}

void SaveComment(std::string_view name, std::string_view text)
{
    const std::string key = Key(name);
    const LockedStore store;
    auto file = OpenOrCreate(store.path, base::FileStream::OpenReadWrite);
    const int64_t size = file->Size();
    Record r;
    for (int64_t pos = 0; pos < size; pos += L::Size) {
        file->ReadBuffer(r.data(), r.size());
        if (Matches(r, key)) {
            SetComment(r, text);
            file->Seek(pos);
            file->WriteBuffer(r.data(), r.size());
            return;
        }
    }
    Record fresh {};
    fresh[L::NameLength] = static_cast<uint8_t>(key.size());
    std::memcpy(fresh.data() + L::Name, key.data(), key.size());
    SetComment(fresh, text);
    file->Seek(size);
    file->WriteBuffer(fresh.data(), fresh.size());
}

void RemoveComments(std::string_view name)
{
    const std::string key = Key(name);
    const LockedStore store;
    std::string kept;
    {
        base::FileStream file(store.path, base::FileStream::OpenRead);
        const int64_t size = file.Size();
        Record r;
        for (int64_t pos = 0; pos < size; pos += L::Size) {
            file.ReadBuffer(r.data(), r.size());
            if (!Matches(r, key))
                kept.append(reinterpret_cast<const char*>(r.data()), r.size());
        }
    }
    // Never remove first and write later: a crash in between would lose every other note.
    base::ReplaceFileContents(store.target, kept);
}

}  // namespace app
