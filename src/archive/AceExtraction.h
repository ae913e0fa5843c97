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
void FreeAceLibrary();

// The message shown under "ACE Extract Error" for a failed extraction.
std::string AceExtractErrorText(int result);

}  // namespace archive
