/* The simple mail interface: its published records, result codes, flags and entry points.
   Shared by the program's mail front end and libmapi32.so. The records are a published C
   layout, so both sides use these structs as they stand. */
#ifndef TURNEX_MAPI_H
#define TURNEX_MAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Counts, flags and results are 32 bits wide; handles (session, window) pointer-sized. */
typedef uint32_t MapiUlong;
typedef uintptr_t MapiHandle;

typedef struct MapiRecipDesc {
    MapiUlong ulReserved;
    MapiUlong ulRecipClass; /* MAPI_ORIG, MAPI_TO, MAPI_CC, MAPI_BCC */
    char* lpszName;
    char* lpszAddress;
    MapiUlong ulEIDSize;
    void* lpEntryID;
} MapiRecipDesc;

typedef struct MapiFileDesc {
    MapiUlong ulReserved;
    MapiUlong flFlags;
    MapiUlong nPosition; /* 0xFFFFFFFF: not placed inside the text */
    char* lpszPathName;  /* full path of the file */
    char* lpszFileName;  /* the name the attachment is offered under */
    void* lpFileType;
} MapiFileDesc;

typedef struct MapiMessage {
    MapiUlong ulReserved;
    char* lpszSubject;
    char* lpszNoteText;
    char* lpszMessageType;
    char* lpszDateReceived;
    char* lpszConversationID;
    MapiUlong flFlags;
    MapiRecipDesc* lpOriginator;
    MapiUlong nRecipCount;
    MapiRecipDesc* lpRecips;
    MapiUlong nFileCount;
    MapiFileDesc* lpFiles;
} MapiMessage;

enum {
    SUCCESS_SUCCESS = 0,
    MAPI_USER_ABORT = 1,
    MAPI_E_FAILURE = 2,
    MAPI_E_LOGIN_FAILURE = 3,
    MAPI_E_INSUFFICIENT_MEMORY = 5,
    MAPI_E_ATTACHMENT_NOT_FOUND = 11,
    MAPI_E_INVALID_SESSION = 19
};

enum { MAPI_LOGON_UI = 0x1, MAPI_NEW_SESSION = 0x2, MAPI_DIALOG = 0x8 };

enum { MAPI_ORIG = 0, MAPI_TO = 1, MAPI_CC = 2, MAPI_BCC = 3 };

typedef MapiUlong (*MapiLogonFn)(MapiHandle ulUIParam, char* lpszProfileName, char* lpszPassword, MapiUlong flFlags,
                                 MapiUlong ulReserved, MapiHandle* lplhSession);
typedef MapiUlong (*MapiSendMailFn)(MapiHandle lhSession, MapiHandle ulUIParam, MapiMessage* lpMessage,
                                    MapiUlong flFlags, MapiUlong ulReserved);
typedef MapiUlong (*MapiLogoffFn)(MapiHandle lhSession, MapiHandle ulUIParam, MapiUlong flFlags, MapiUlong ulReserved);

MapiUlong MAPILogon(MapiHandle ulUIParam, char* lpszProfileName, char* lpszPassword, MapiUlong flFlags,
                    MapiUlong ulReserved, MapiHandle* lplhSession);
MapiUlong MAPISendMail(MapiHandle lhSession, MapiHandle ulUIParam, MapiMessage* lpMessage, MapiUlong flFlags,
                       MapiUlong ulReserved);
MapiUlong MAPILogoff(MapiHandle lhSession, MapiHandle ulUIParam, MapiUlong flFlags, MapiUlong ulReserved);

#ifdef __cplusplus
}
#endif

#endif
