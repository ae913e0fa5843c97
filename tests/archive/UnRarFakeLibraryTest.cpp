// A stand-in for libunrar.so with the same C interface, for the codes no real archive produces.
// The test sets what each call returns through the exported Fake* functions and reads back
// what the front end handed over.
#include "turnex/unrar.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

struct FakeUnRarLog {
    int opens, reads, processes, closes;
    unsigned openMode, cmtBufSize;
    int lastOperation;
    int destPathNull, destNameNull, headerCmtBufNull;
    char lastDest[1024];
    char arcName[1024];
};

namespace {

int openResult = 0;
unsigned commentState = 0;
std::string comment;
std::deque<int> headerResults;
std::deque<int> processResults;
int closeResult = 0;
std::string refusedName, refusalReason;
int refusedCount = 0;
FakeUnRarLog log;
int handle;  // its address is the handle

}  // namespace

FAKE_EXPORT void FakeUnRarReset(int result)
{
    openResult = result;
    commentState = 0;
    comment.clear();
    headerResults.clear();
    processResults.clear();
    closeResult = 0;
    refusedCount = 0;
    log = {};
}

// What RARGetLastRefusal answers from now on, and what RARCloseArchive returns.
FAKE_EXPORT void FakeUnRarSetRefusal(int count, const char* name, const char* reason)
{
    refusedCount = count;
    refusedName = name;
    refusalReason = reason;
}
FAKE_EXPORT void FakeUnRarSetCloseResult(int result) { closeResult = result; }

FAKE_EXPORT void FakeUnRarSetComment(unsigned state, const char* text)
{
    commentState = state;
    comment = text;
}

// Queued results; an empty header queue answers ERAR_END_ARCHIVE, an empty process queue success.
FAKE_EXPORT void FakeUnRarPushHeader(int result) { headerResults.push_back(result); }
FAKE_EXPORT void FakeUnRarPushProcess(int result) { processResults.push_back(result); }
FAKE_EXPORT const FakeUnRarLog* FakeUnRarGetLog() { return &log; }

FAKE_EXPORT void* RAROpenArchive(RAROpenArchiveData* r)
{
    ++log.opens;
    log.openMode = r->OpenMode;
    log.cmtBufSize = r->CmtBufSize;
    std::strncpy(log.arcName, r->ArcName ? r->ArcName : "", sizeof log.arcName - 1);
    r->OpenResult = static_cast<unsigned>(openResult);
    r->CmtState = commentState;
    if (commentState != 0 && r->CmtBuf && r->CmtBufSize > 0) {
        // Filled to the brim for a comment that does not fit: no terminating zero.
        size_t n = std::min<size_t>(comment.size() + 1, r->CmtBufSize);
        std::memcpy(r->CmtBuf, comment.c_str(), n);
        r->CmtSize = static_cast<unsigned>(n);
    }
    return openResult == 0 ? &handle : nullptr;
}

FAKE_EXPORT int RARCloseArchive(void*)
{
    ++log.closes;
    return closeResult;
}

FAKE_EXPORT int RARReadHeader(void*, RARHeaderData* h)
{
    ++log.reads;
    log.headerCmtBufNull = h->CmtBuf == nullptr;
    if (headerResults.empty())
        return ERAR_END_ARCHIVE;
    int r = headerResults.front();
    headerResults.pop_front();
    std::strcpy(h->FileName, "member.bte");
    return r;
}

FAKE_EXPORT int RARProcessFile(void*, int operation, char* destPath, char* destName)
{
    ++log.processes;
    log.lastOperation = operation;
    log.destPathNull = destPath == nullptr;
    log.destNameNull = destName == nullptr;
    std::strncpy(log.lastDest, destPath ? destPath : "", sizeof log.lastDest - 1);
    if (processResults.empty())
        return 0;
    int r = processResults.front();
    processResults.pop_front();
    return r;
}

FAKE_EXPORT int RARGetLastRefusal(void*, char* name, int nameSize, char* reason, int reasonSize)
{
    if (refusedCount > 0) {
        std::snprintf(name, static_cast<size_t>(nameSize), "%s", refusedName.c_str());
        std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", refusalReason.c_str());
    }
    return refusedCount;
}
