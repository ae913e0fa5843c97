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
UNRAR_EXPORT int RARCloseArchive(void* handle);
/* The next member's header; ERAR_END_ARCHIVE after the last one. */
UNRAR_EXPORT int RARReadHeader(void* handle, struct RARHeaderData* h);
/* Handles the member of the last header read. For RAR_EXTRACT the member lands under destPath by its
   stored path (folders created, an existing file replaced only once the new one has passed its
   checksum), or exactly at destName when that is given. Null or empty destPath: the current folder. */
UNRAR_EXPORT int RARProcessFile(void* handle, int operation, char* destPath, char* destName);

#ifdef __cplusplus
}
#endif

#endif
