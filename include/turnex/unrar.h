/* The RAR extractor library's C interface, shared by libunrar.so and the program's front end.
   The records are plain C structs: char* and unsigned int fields in the published order. */
#ifndef TURNEX_UNRAR_H
#define TURNEX_UNRAR_H

#ifdef __cplusplus
extern "C" {
#endif

#define UNRAR_EXPORT __attribute__((visibility("default")))

/* Result codes. */
#define ERAR_SUCCESS 0
#define ERAR_END_ARCHIVE 10
#define ERAR_NO_MEMORY 11
#define ERAR_BAD_DATA 12
#define ERAR_BAD_ARCHIVE 13
#define ERAR_UNKNOWN_FORMAT 14
#define ERAR_EOPEN 15
#define ERAR_ECREATE 16
#define ERAR_ECLOSE 17
#define ERAR_EREAD 18
#define ERAR_EWRITE 19
#define ERAR_SMALL_BUF 20
#define ERAR_UNKNOWN 21
#define ERAR_MISSING_PASSWORD 22

/* Open modes. */
#define RAR_OM_LIST 0
#define RAR_OM_EXTRACT 1

/* RARProcessFile operations. */
#define RAR_SKIP 0
#define RAR_TEST 1
#define RAR_EXTRACT 2

/* Bits of RARHeaderData.Flags (the RAR 1.5-4 file header flags; RAR5 members are mapped onto them). */
#define RHDF_SPLITBEFORE 0x01
#define RHDF_SPLITAFTER 0x02
#define RHDF_ENCRYPTED 0x04
#define RHDF_SOLID 0x10
#define RHDF_DIRECTORY 0xE0 /* all three dictionary bits set */

struct RAROpenArchiveData {
    char* ArcName; /* native path of the archive */
    unsigned int OpenMode;
    unsigned int OpenResult;
    char* CmtBuf; /* receives the archive comment, zero-terminated; may be null */
    unsigned int CmtBufSize;
    unsigned int CmtSize;  /* bytes placed in CmtBuf, terminating zero included */
    unsigned int CmtState; /* 0 none, 1 read, ERAR_SMALL_BUF cut to the buffer, ERAR_BAD_DATA damaged */
};

struct RARHeaderData {
    char ArcName[260];
    char FileName[260]; /* stored path, "/" separated, UTF-8 (cut to the field) */
    unsigned int Flags;
    unsigned int PackSize;
    unsigned int UnpSize;
    unsigned int HostOS; /* 0 MS-DOS, 1 OS/2, 2 Windows, 3 Unix */
    unsigned int FileCRC;
    unsigned int FileTime; /* MS-DOS date (high word) and time (low word), local time */
    unsigned int UnpVer;
    unsigned int Method;
    unsigned int FileAttr;
    char* CmtBuf; /* per-file comments are not read: CmtState is always 0 */
    unsigned int CmtBufSize;
    unsigned int CmtSize;
    unsigned int CmtState;
};

/* Returns a handle, or null with r->OpenResult set. */
UNRAR_EXPORT void* RAROpenArchive(struct RAROpenArchiveData* r);
/* Extracted files still waiting for the end of the archive take their places here. ERAR_SUCCESS, or
   the code of the first one that could not (ERAR_ECREATE, ERAR_EWRITE, ERAR_ECLOSE). */
UNRAR_EXPORT int RARCloseArchive(void* handle);
/* The next member's header; ERAR_END_ARCHIVE after the last one. Reaching the end puts the extracted
   files in place; when one cannot take its place, its code (ERAR_ECREATE, ERAR_EWRITE, ERAR_ECLOSE)
   comes instead of ERAR_END_ARCHIVE. */
UNRAR_EXPORT int RARReadHeader(void* handle, struct RARHeaderData* h);
/* Handles the member of the last header read. For RAR_EXTRACT the member lands under destPath by its
   stored path, or exactly at destName when that is given; null or empty destPath: the current folder.
   Folders are created, never through a link; a name that differs only in letter case from a file or
   folder already there takes that one's spelling. A file is written beside its target under a
   temporary name and replaces an existing file only once it has passed its checksum, when the walk
   reaches the end of the archive (or at RARCloseArchive). Unsafe names, links leading out of the
   destination, and members that declare more than 1 GiB or more than the free space are refused. */
UNRAR_EXPORT int RARProcessFile(void* handle, int operation, char* destPath, char* destName);

/* turnex's own addition, not part of the published unrar interface. Why the last RARProcessFile, or
   the RARReadHeader that reached the end of the archive, left members out because the rules of the
   destination folder or the system refused them (never for damaged data or unsupported formats).
   Returns how many members that call left out for such a reason, 0 when none; name receives the
   first one's path and reason plain words ("unsafe name", "No space left on device" ...), each
   zero-terminated and cut to its size. */
UNRAR_EXPORT int RARGetLastRefusal(void* handle, char* name, int nameSize, char* reason, int reasonSize);

#ifdef __cplusplus
}
#endif

#endif
