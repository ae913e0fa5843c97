#pragma once
// ACE extraction through the unace library "UnAceV2.Dll" (libunacev2.so), loaded for one
// extraction at a time. The library's records and results are in turnex/unace.h.
#include "archive/WorkProgress.h"
#include "turnex/unace.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace archive {

// Unpacks an ACE archive (a program path) into gameDir and tells the user how it went. With a
// progress, a large archive that is not solid is unpacked a few megabytes of members at a time,
// so that the bytes done can be reported and a stop request honoured between them; the files
// unpacked until then stay, and the message names them. A solid archive goes in one call.
void ExtractAceArchive(const std::string& archivePath, const std::string& gameDir, WorkProgress* progress = nullptr);

// The members of an ACE archive as its headers list them, read without the library: enough to
// hand the library a few members at a time.
struct AceMemberList {
    bool solid = false;
    uint64_t archiveSize = 0;
    struct Member {
        std::string name;  // as stored
        uint64_t packSize = 0;
    };
    std::vector<Member> members;
};
// Nothing when the file does not start with a plain ACE archive or its headers do not add up.
std::optional<AceMemberList> ListAceMembers(const std::string& nativePath);

// True when the library is loaded and its three entry points were found.
bool LoadAceLibrary();
int InitAceLibrary();
int ExtractAceFiles(const std::string& archivePath, const std::string& destDir, int32_t flag);
// The same for the members named in fileList, one a line.
int ExtractAceMembers(const std::string& archivePath, const std::string& destDir, int32_t flag,
                      const std::string& fileList);
// What the last extraction left out, one member a line, as the library tells it ("" when it
// cannot tell).
std::string AceExtractReport();
void FreeAceLibrary();

// The message shown under "ACE Extract Error" for a failed extraction.
std::string AceExtractErrorText(int result);
// The lines added under that message for the members left out ("" when there are none).
std::string AceLeftOutText(const std::string& report);

}  // namespace archive
