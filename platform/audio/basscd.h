/* The CD audio add-on (libbasscd.so): the system's drives, lettered from D in
 * the order the system lists them, their tracks, and tracks as streams.
 *
 * A drive is named by its number (0 is drive D) or, in a track file name,
 * by its letter: "D:/Track05.cda" is track 5 of the first drive. Tracks are
 * numbered from 0 in the functions below (track 0 is the disc's first track).
 * Track streams are 44100 Hz, 16-bit stereo, channel type BASS_CTYPE_STREAM_CD.
 * Failures set the error code of BASS_ErrorGetCode. */
#ifndef QUILLET_BASSCD_H
#define QUILLET_BASSCD_H

#include "platform/audio/bass.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes of this add-on, beside those of bass.h. */
#define BASS_ERROR_NOCD 12    /* no disc in the drive, or it cannot be read */
#define BASS_ERROR_CDTRACK 13 /* no such track, or not an audio track */

/* BASS_CD_INFO.rwflags. */
#define BASS_CD_RWFLAG_READCDR 1
#define BASS_CD_RWFLAG_READCDRW 2
#define BASS_CD_RWFLAG_WRITECDR 4
#define BASS_CD_RWFLAG_WRITECDRW 8
#define BASS_CD_RWFLAG_READDVD 0x10

typedef struct BASS_CD_INFO {
    const char* vendor;  /* manufacturer, "" when unknown */
    const char* product; /* model (for a disc image: its file name) */
    const char* rev;     /* firmware revision, "" when unknown */
    int letter;          /* drive letter as a number, 0 = 'A' (3 = 'D' for drive 0) */
    DWORD rwflags;       /* BASS_CD_RWFLAG_* */
    BOOL canopen;        /* the tray can be opened */
    BOOL canlock;        /* the door can be locked */
    DWORD maxspeed;      /* kB/s, 0 when unknown */
    DWORD cache;         /* kB, 0 when unknown */
    BOOL cdtext;         /* the drive reads CD-Text */
} BASS_CD_INFO;

/* Fills `info` for drive number `drive`; FALSE (BASS_ERROR_DEVICE) past the
 * last drive. The texts stay valid until the add-on is unloaded. */
BOOL BASS_CD_GetInfo(DWORD drive, BASS_CD_INFO* info);
/* TRUE when the drive holds a readable disc. */
BOOL BASS_CD_IsReady(DWORD drive);
/* Number of tracks on the disc, (DWORD)-1 on failure. */
DWORD BASS_CD_GetTracks(DWORD drive);
/* Length of an audio track in bytes of its 16-bit stereo data, (DWORD)-1 on failure. */
DWORD BASS_CD_GetTrackLength(DWORD drive, DWORD track);
/* A stream of an audio track; flags as BASS_StreamCreateFile. */
HSTREAM BASS_CD_StreamCreate(DWORD drive, DWORD track, DWORD flags);
/* A stream of a track named like "D:/Track05.cda" (also "D:\\Track05.cda"). */
HSTREAM BASS_CD_StreamCreateFile(const char* file, DWORD flags);

typedef BOOL (*BASS_CD_GetInfo_t)(DWORD, BASS_CD_INFO*);
typedef BOOL (*BASS_CD_IsReady_t)(DWORD);
typedef DWORD (*BASS_CD_GetTracks_t)(DWORD);
typedef DWORD (*BASS_CD_GetTrackLength_t)(DWORD, DWORD);
typedef HSTREAM (*BASS_CD_StreamCreate_t)(DWORD, DWORD, DWORD);
typedef HSTREAM (*BASS_CD_StreamCreateFile_t)(const char*, DWORD);

#ifdef __cplusplus
}
#endif

#endif /* QUILLET_BASSCD_H */
