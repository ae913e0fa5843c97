// A stand-in for libunacev2.so that writes down how the program uses it: every load, call and
// release, and what the records carry. The log file is named by $UNACE_FAKE_LOG. Built once with
// all three entry points and once without "ACEExtract".
#include "archive/AceExtraction.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

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
    const char* p = static_cast<const char*>(archive::GetRecordAddress(record, offset));
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

FAKE_EXPORT int32_t ACEInitDll(void* record)
{
    using archive::kAceInitRecord;
    const auto* r = static_cast<const uint8_t*>(record);
    const size_t a = sizeof(void*);
    bool zeros = OthersZero(r, kAceInitRecord.size,
                            {{kAceInitRecord.fixedValue1, 4}, {kAceInitRecord.fixedValue2, 4},
                             {kAceInitRecord.commentBuffer, a}, {kAceInitRecord.commentBufferSize, 4},
                             {kAceInitRecord.tempDir, a}});
    Log("init " + std::to_string(archive::GetRecordNumber(r, kAceInitRecord.fixedValue1)) + " " +
        std::to_string(archive::GetRecordNumber(r, kAceInitRecord.fixedValue2)) + " comment=" +
        (archive::GetRecordAddress(r, kAceInitRecord.commentBuffer) ? "buffer" : "null") + " " +
        std::to_string(archive::GetRecordNumber(r, kAceInitRecord.commentBufferSize)) + " temp=" +
        Text(r, kAceInitRecord.tempDir) + (zeros ? " rest=0" : " rest=dirty"));
    return 0;
}

FAKE_EXPORT int32_t ACEReadArchiveData(const char* path, void* record)
{
    auto* r = static_cast<uint8_t*>(record);
    bool zeros = OthersZero(r, archive::kAceArchiveDataRecord.size, {});
    std::string p = path;
    bool ace = p.size() < 7 || p.compare(p.size() - 7, 7, ".notace") != 0;
    static int info;
    archive::PutRecordAddress(r, archive::kAceArchiveDataRecord.archiveInfo, ace ? &info : nullptr);
    Log("read '" + p + "'" + (zeros ? " cleared" : " dirty"));
    return ace ? 0 : archive::kAceErrorNotAce;
}

#ifndef UNACE_FAKE_WITHOUT_EXTRACT
FAKE_EXPORT int32_t ACEExtract(const char* path, void* record)
{
    using archive::kAceExtractRecord;
    const auto* r = static_cast<const uint8_t*>(record);
    const size_t a = sizeof(void*);
    bool zeros = OthersZero(r, kAceExtractRecord.size,
                            {{kAceExtractRecord.baseDir, a}, {kAceExtractRecord.fileList, a},
                             {kAceExtractRecord.excludeList, a}, {kAceExtractRecord.options, 4},
                             {kAceExtractRecord.destinationDir, a}, {kAceExtractRecord.flags, 4},
                             {kAceExtractRecord.extraText, a}});
    Log("extract '" + std::string(path) + "' base=" + Text(r, kAceExtractRecord.baseDir) +
        " list=" + Text(r, kAceExtractRecord.fileList) + " exclude=" + Text(r, kAceExtractRecord.excludeList) +
        " options=" + std::to_string(archive::GetRecordNumber(r, kAceExtractRecord.options)) +
        " dest=" + Text(r, kAceExtractRecord.destinationDir) +
        " flags=" + std::to_string(archive::GetRecordNumber(r, kAceExtractRecord.flags)) +
        " extra=" + Text(r, kAceExtractRecord.extraText) + (zeros ? " rest=0" : " rest=dirty"));
    const char* result = std::getenv("UNACE_FAKE_RESULT");
    return result ? std::atoi(result) : 0;
}
#endif
