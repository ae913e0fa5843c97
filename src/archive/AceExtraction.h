#pragma once
// ACE extraction through the unace library "UnAceV2.Dll" (libunacev2.so), loaded for one
// extraction at a time. The library's records and results are in turnex/unace.h.
#include "turnex/unace.h"

#include <cstdint>
#include <string>

namespace archive {

// Unpacks an ACE archive (a program path) into gameDir and tells the user how it went.
void ExtractAceArchive(const std::string& archivePath, const std::string& gameDir);

// True when the library is loaded and its three entry points were found.
bool LoadAceLibrary();
int InitAceLibrary();
int ExtractAceFiles(const std::string& archivePath, const std::string& destDir, int32_t flag);
// What the last extraction left out, one member a line, as the library tells it ("" when it
// cannot tell).
std::string AceExtractReport();
void FreeAceLibrary();

// The message shown under "ACE Extract Error" for a failed extraction.
std::string AceExtractErrorText(int result);
// The lines added under that message for the members left out ("" when there are none).
std::string AceLeftOutText(const std::string& report);

}  // namespace archive
