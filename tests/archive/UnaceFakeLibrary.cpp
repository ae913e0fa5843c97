// A stand-in for libunacev2.so that writes down how the program uses it: every load, call and
// release, and what the records carry. The log file is named by $UNACE_FAKE_LOG. Built once with
// all three entry points and once without "ACEExtract".
#include "turnex/unace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Log(const std::string& line)
{
    const char* file = std::getenv("UNACE_FAKE_LOG");
    if (!file)
        return;
    if (FILE* f = std::fopen(file, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

std::string Text(const uint8_t* record, size_t offset)
{
    const char* p = static_cast<const char*>(unace::GetRecordAddress(record, offset));
    return p ? "'" + std::string(p) + "'" : "null";
}

// True when every byte outside the named fields is zero.
bool OthersZero(const uint8_t* record, size_t size, std::initializer_list<std::pair<size_t, size_t>> fields)
{
    for (size_t i = 0; i < size; ++i) {
        bool named = false;
        for (auto [at, len] : fields)
            named = named || (i >= at && i < at + len);
        if (!named && record[i] != 0)
            return false;
    }
    return true;
}

__attribute__((constructor)) void Loaded() { Log("load"); }
__attribute__((destructor)) void Released() { Log("release"); }

}  // namespace

UNACE_EXPORT int32_t ACEInitDll(void* record)
{
    using unace::kAceInitRecord;
    const auto* r = static_cast<const uint8_t*>(record);
    const size_t a = sizeof(void*);
    bool zeros = OthersZero(r, kAceInitRecord.size,
                            {{kAceInitRecord.fixedValue1, 4},
                             {kAceInitRecord.fixedValue2, 4},
                             {kAceInitRecord.commentBuffer, a},
                             {kAceInitRecord.commentBufferSize, 4},
                             {kAceInitRecord.tempDir, a}});
    Log("init " + std::to_string(unace::GetRecordNumber(r, kAceInitRecord.fixedValue1)) + " " +
        std::to_string(unace::GetRecordNumber(r, kAceInitRecord.fixedValue2)) +
        " comment=" + (unace::GetRecordAddress(r, kAceInitRecord.commentBuffer) ? "buffer" : "null") + " " +
        std::to_string(unace::GetRecordNumber(r, kAceInitRecord.commentBufferSize)) +
        " temp=" + Text(r, kAceInitRecord.tempDir) + (zeros ? " rest=0" : " rest=dirty"));
    return 0;
}

UNACE_EXPORT int32_t ACEReadArchiveData(const char* path, void* record)
{
    auto* r = static_cast<uint8_t*>(record);
    bool zeros = OthersZero(r, unace::kAceArchiveDataRecord.size, {});
    std::string p = path;
    bool ace = p.size() < 7 || p.compare(p.size() - 7, 7, ".notace") != 0;
    static int info;
    unace::PutRecordAddress(r, unace::kAceArchiveDataRecord.archiveInfo, ace ? &info : nullptr);
    Log("read '" + p + "'" + (zeros ? " cleared" : " dirty"));
    return ace ? 0 : unace::kAceErrorNotAce;
}

#ifndef UNACE_FAKE_WITHOUT_EXTRACT
UNACE_EXPORT int32_t ACEExtract(const char* path, void* record)
{
    using unace::kAceExtractRecord;
    const auto* r = static_cast<const uint8_t*>(record);
    const size_t a = sizeof(void*);
    bool zeros = OthersZero(r, kAceExtractRecord.size,
                            {{kAceExtractRecord.baseDir, a},
                             {kAceExtractRecord.fileList, a},
                             {kAceExtractRecord.excludeList, a},
                             {kAceExtractRecord.options, 4},
                             {kAceExtractRecord.destinationDir, a},
                             {kAceExtractRecord.flags, 4},
                             {kAceExtractRecord.extraText, a}});
    Log("extract '" + std::string(path) + "' base=" + Text(r, kAceExtractRecord.baseDir) +
        " list=" + Text(r, kAceExtractRecord.fileList) + " exclude=" + Text(r, kAceExtractRecord.excludeList) +
        " options=" + std::to_string(unace::GetRecordNumber(r, kAceExtractRecord.options)) +
        " dest=" + Text(r, kAceExtractRecord.destinationDir) +
        " flags=" + std::to_string(unace::GetRecordNumber(r, kAceExtractRecord.flags)) +
        " extra=" + Text(r, kAceExtractRecord.extraText) + (zeros ? " rest=0" : " rest=dirty"));
    const char* result = std::getenv("UNACE_FAKE_RESULT");
    return result ? std::atoi(result) : 0;
}
#endif
