// The zip component's message table: what each report identifier means, in words a player can
// act on. A report shows its text with the identifier at the end, so a player who writes to us
// can quote the number.
#include "ZipComponent.h"

#include <utility>

namespace {

struct ZipText {
    int ident;
    const char* text;
};

// "%s" takes the insert of the identifier's exception (a drive or a disk number).
constexpr ZipText kTexts[] = {
    {10101, "The zip library failed while packing. The archive was not changed."},
    {10102, "There is no zip archive of this name, or no name was given."},
    {10103, "There is not enough memory to read the list of files of the zip archive."},
    {10104, "The two passwords you typed are not the same. Nothing was encrypted."},
    {10150, "A password is needed to encrypt, but turnex may not ask for one now."},
    {10151, "A password is needed to unpack, but turnex may not ask for one now."},
    {10152, "OK"},
    {10153, "Cancel"},
    {10154, "Password"},
    {10155, "Enter the password:"},
    {10156, "Enter the password again:"},
    {10201, "The zip archive is damaged: its list of files cannot be read."},
    {10202, "The zip archive cannot be read: "},
    {10203, "The zip archive has other data in front of it. Its files are read from where they were found."},
    {10204, "The zip archive's comment does not end where the file ends: the archive may be damaged or cut short."},
    {10301, "No file was given to pack."},
    {10302, "A password is needed to encrypt, but none was set and turnex may not ask for one now."},
    {10303, "An archive spread over several disks cannot be updated."},
    {10304, "The self-extracting archive could not be made."},
    {10501, "The unzip library failed while unpacking."},
    {10502, "Encrypted files are not unpacked: no password was set and turnex may not ask for one now."},
    {10601, "The zip library was loaded."},
    {10602, "The zip library is damaged (it has no packing function), so nothing can be packed. Reinstall turnex."},
    {10603, "The zip library is damaged (it has no version function), so nothing can be packed. Reinstall turnex."},
    {10604, "The zip library cannot be loaded, so nothing can be packed. Reinstall turnex."},
    {10701, "The unzip library was loaded."},
    {10702,
     "The unzip library is damaged (it has no unpacking function), so nothing can be unpacked. Reinstall turnex."},
    {10703, "The unzip library is damaged (it has no version function), so nothing can be unpacked. Reinstall turnex."},
    {10704, "The unzip library cannot be loaded, so nothing can be unpacked. Reinstall turnex."},
    {11001, "The zip archive cannot be opened: it may be in use, or you may not be allowed to read it."},
    {11002, "The zip archive cannot be opened: it may be in use, or you may not be allowed to read it."},
    {11003, "The archive's drive %s is not a drive letter from A to Z."},
    {11004, "The archive's drive %s is not there or cannot be read."},
    {11008, "The end of the zip archive cannot be read: the file may be damaged."},
    {11011, "The end of the zip archive cannot be read: the file may be damaged."},
    {11013, "The list of files of the zip archive ends too early: the archive is cut short."},
    {11015, "The list of files of the zip archive is damaged."},
    {11017, "A file name in the zip archive's list is cut short: the archive is damaged."},
    {11022, "A file comment in the zip archive's list is cut short: the archive is damaged."},
    {11036, "This file is not a zip archive, or it is too damaged to read."},
    {11037, "This is the first disk of a zip archive spread over several disks. turnex cannot read such archives."},
    {11038, "This is disk %s of a zip archive spread over several disks. turnex cannot read such archives."},
    {11041, "An archive spread over several disks cannot be a program file (.exe)."},
    {11045, "This is one disk of a zip archive spread over several disks. turnex cannot read such archives."},
};

}  // namespace

std::string LoadZipString(int ident, const std::string& fallback)
{
    for (const auto& entry : kTexts)
        if (entry.ident == ident)
            return entry.text;
    return fallback;
}

std::string ZipReportText(int ident, const std::string& text, const std::string& archive)
{
    std::string out = text;
    if (!archive.empty())
        out += "\nArchive: " + archive;
    return out + "\n(zip report " + std::to_string(ident) + ")";
}

std::string ZipReport(int ident, const std::string& extra, const std::string& archive)
{
    const std::string text = LoadZipString(ident, "");
    if (text.empty())
        return kZipMessageFallback + std::to_string(ident) + extra;
    return ZipReportText(ident, text + extra, archive);
}

std::string EZipComponent::Text(int ident, bool hasInsert, const std::string& insert)
{
    std::string text = LoadZipString(ident, "");
    if (text.empty())
        return kZipMessageFallback + std::to_string(ident);
    return hasInsert ? base::FormatMessage(text, insert) : text;
}
