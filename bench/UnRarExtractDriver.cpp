// A whole process of the program's RAR extraction for the benchmark: libunrar.so bound the way the
// program binds it, and the calls of archive::ExtractRarArchive in their order (open with a comment
// buffer, each header read, each member extracted under the destination, close). Its messages go to
// stderr instead of message boxes; the exit status is 0 only when every member took its place.
#include "turnex/unrar.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE DESTINATION\n", argv[0]);
        return 2;
    }
    std::vector<char> comment(16384, '\0');
    RAROpenArchiveData open {};
    open.ArcName = argv[1];
    open.OpenMode = RAR_OM_EXTRACT;
    open.CmtBuf = comment.data();
    open.CmtBufSize = static_cast<unsigned>(comment.size());
    void* handle = RAROpenArchive(&open);
    if (open.OpenResult != ERAR_SUCCESS || !handle) {
        std::fprintf(stderr, "%s: cannot open (code %u)\n", argv[1], open.OpenResult);
        return 1;
    }
    RARHeaderData header {};
    int readResult;
    while ((readResult = RARReadHeader(handle, &header)) == ERAR_SUCCESS) {
        if (int rc = RARProcessFile(handle, RAR_EXTRACT, argv[2], nullptr); rc != ERAR_SUCCESS) {
            std::fprintf(stderr, "%s: %s not extracted (code %d)\n", argv[1], header.FileName, rc);
            RARCloseArchive(handle);
            return 1;
        }
    }
    const int closeResult = RARCloseArchive(handle);
    if (readResult != ERAR_END_ARCHIVE || closeResult != ERAR_SUCCESS) {
        std::fprintf(stderr, "%s: ended with code %d, closed with code %d\n", argv[1], readResult, closeResult);
        return 1;
    }
    return 0;
}
