/* The public C interface of Quillet's audio library (libbass.so).
 *
 * One header for every caller: the functions, their types and every constant
 * a caller passes or reads. The library is loaded at run time (dlopen) and its
 * entry points are resolved by name, so this header declares the functions and
 * also gives a pointer type for each (BASS_xxx_t) for such bindings.
 *
 * Conventions shared by every function:
 *  - Handles are 32-bit and non-zero; 0 means failure.
 *  - A function that fails returns FALSE, 0 or (QWORD)-1 / (DWORD)-1 and sets
 *    the calling thread's error code (BASS_ErrorGetCode); a function that
 *    succeeds sets it to BASS_OK.
 *  - Every function may be called from any thread. An unknown or freed handle
 *    gives BASS_ERROR_HANDLE.
 *  - Positions and lengths are byte counts of the channel's output format:
 *    16-bit samples, or 8-bit (BASS_SAMPLE_8BITS) or 32-bit float
 *    (BASS_SAMPLE_FLOAT) when those flags were given; channels interleaved.
 *  - Sync callbacks run on library threads, never inside the call that caused
 *    them (unless BASS_SYNC_MIXTIME asks for exactly that).
 */
#ifndef QUILLET_BASS_H
#define QUILLET_BASS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QUILLET_BASS_BUILD)
#define BASSDEF(ret) __attribute__((visibility("default"))) ret
#else
#define BASSDEF(ret) ret
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

typedef DWORD HMUSIC;   /* tracker-module channel */
typedef DWORD HSTREAM;  /* stream channel */
typedef DWORD HCHANNEL; /* any channel */
typedef DWORD HSYNC;    /* a sync set on a channel */
typedef DWORD HPLUGIN;  /* a loaded add-on */

/* Version: high word 0x0204, low word the revision. */
#define BASSVERSION 0x0204

/* Error codes (BASS_ErrorGetCode). */
#define BASS_OK 0
#define BASS_ERROR_MEM 1       /* out of memory */
#define BASS_ERROR_FILEOPEN 2  /* the file could not be opened */
#define BASS_ERROR_DRIVER 3    /* the sound server could not be reached */
#define BASS_ERROR_HANDLE 5    /* unknown or freed handle */
#define BASS_ERROR_FORMAT 6    /* unsupported sample format */
#define BASS_ERROR_POSITION 7  /* position outside the stream */
#define BASS_ERROR_INIT 8      /* BASS_Init has not been called */
#define BASS_ERROR_START 9     /* output could not be started */
#define BASS_ERROR_ALREADY 14  /* already initialised / already in that state */
#define BASS_ERROR_ILLTYPE 19  /* unknown type (attribute, sync, tag...) */
#define BASS_ERROR_ILLPARAM 20 /* a parameter is out of range */
#define BASS_ERROR_DEVICE 23   /* no such device */
#define BASS_ERROR_NOPLAY 24   /* the channel is not playing */
#define BASS_ERROR_FREQ 25     /* unsupported sample rate */
#define BASS_ERROR_NOTFILE 27  /* the stream is not a file stream */
#define BASS_ERROR_EMPTY 31    /* nothing to return */
#define BASS_ERROR_NONET 32    /* no network support */
#define BASS_ERROR_CREATE 33   /* a thread or stream could not be created */
#define BASS_ERROR_NOTAVAIL 37 /* the requested data or feature is not available */
#define BASS_ERROR_DECODE 38   /* the channel is a decoding channel and cannot be played */
#define BASS_ERROR_TIMEOUT 40  /* the server did not answer in time */
#define BASS_ERROR_FILEFORM 41 /* no decoder recognises the file */
#define BASS_ERROR_VERSION 43  /* an add-on of another version */
#define BASS_ERROR_ENDED 45    /* the channel has ended */
#define BASS_ERROR_UNKNOWN -1

/* BASS_SetConfig options. Options the library does not use itself are kept
 * and otherwise ignored (add-on options and the network playlist option). */
#define BASS_CONFIG_BUFFER 0        /* playback buffer length, ms */
#define BASS_CONFIG_UPDATEPERIOD 1  /* kept */
#define BASS_CONFIG_GVOL_SAMPLE 4   /* kept */
#define BASS_CONFIG_GVOL_STREAM 5   /* global volume of streams, 0..10000 */
#define BASS_CONFIG_GVOL_MUSIC 6    /* global volume of tracker modules, 0..10000 */
#define BASS_CONFIG_NET_TIMEOUT 11  /* connect timeout of URL streams, ms (10000) */
#define BASS_CONFIG_NET_BUFFER 12   /* network buffer of live streams, ms of audio (3000) */
#define BASS_CONFIG_NET_PLAYLIST 21 /* BASS_StreamCreateURL follows .pls and .m3u links when non-zero */
#define BASS_CONFIG_NET_READTIMEOUT                                         \
    37 /* a URL stream fails when nothing arrives for this long, ms (20000) \
        */

/* BASS_Init devices. */
#define BASS_DEVICE_NOSOUND 0 /* no output, playback timed by the clock */
#define BASS_DEVICE_DEFAULT 1 /* the sound server's default output (-1 means the same) */

/* Sample, stream and music flags. */
#define BASS_SAMPLE_8BITS 0x1        /* 8-bit unsigned output */
#define BASS_SAMPLE_MONO 0x2         /* kept, no effect */
#define BASS_SAMPLE_LOOP 0x4         /* loop at the end instead of ending */
#define BASS_SAMPLE_FLOAT 0x100      /* 32-bit float output */
#define BASS_STREAM_PRESCAN 0x20000  /* exact length, even when that takes a scan of the file */
#define BASS_STREAM_AUTOFREE 0x40000 /* free the stream when it stops or ends */
#define BASS_STREAM_DECODE 0x200000  /* decoding channel: pulled with BASS_ChannelGetData, never played */
#define BASS_MUSIC_RAMPS 0x400
#define BASS_MUSIC_POSRESET 0x8000
#define BASS_MUSIC_PRESCAN BASS_STREAM_PRESCAN
#define BASS_MUSIC_DECODE BASS_STREAM_DECODE
#define BASS_UNICODE 0x80000000 /* not supported: names are UTF-8 */

/* Channel types (BASS_CHANNELINFO.ctype). */
#define BASS_CTYPE_STREAM 0x10000 /* user stream */
#define BASS_CTYPE_STREAM_OGG 0x10002
#define BASS_CTYPE_STREAM_MP1 0x10003
#define BASS_CTYPE_STREAM_MP2 0x10004
#define BASS_CTYPE_STREAM_MP3 0x10005
#define BASS_CTYPE_STREAM_WAV_PCM 0x10010   /* WAV, integer PCM */
#define BASS_CTYPE_STREAM_WAV_FLOAT 0x10011 /* WAV, IEEE float */
#define BASS_CTYPE_STREAM_WAV 0x10012       /* WAV, other encodings (ADPCM, A-law...) */
#define BASS_CTYPE_STREAM_AIFF 0x10013
#define BASS_CTYPE_STREAM_FLAC 0x10014
#define BASS_CTYPE_STREAM_FLAC_OGG 0x10015
#define BASS_CTYPE_STREAM_OPUS 0x10016
#define BASS_CTYPE_STREAM_SNDFILE 0x1001F /* other formats libsndfile reads (AU, CAF, W64...) */
#define BASS_CTYPE_STREAM_CD 0x10200
#define BASS_CTYPE_STREAM_WMA 0x10300
#define BASS_CTYPE_STREAM_WMA_MP3 0x10301
#define BASS_CTYPE_STREAM_AAC 0x10B00
#define BASS_CTYPE_MUSIC_MOD 0x20001
#define BASS_CTYPE_MUSIC_MTM 0x20002
#define BASS_CTYPE_MUSIC_S3M 0x20003
#define BASS_CTYPE_MUSIC_XM 0x20004
#define BASS_CTYPE_MUSIC_IT 0x20005
#define BASS_CTYPE_MUSIC_OTHER 0x2000F /* other module formats (UMX...) */
#define BASS_CTYPE_MUSIC_MO3 0x00100   /* added to a music type: the module came from an MO3 file */
/* True for the tracker-module types (opened by BASS_MusicLoad only). */
#define BASS_CTYPE_IS_MUSIC(t) ((((t) & ~BASS_CTYPE_MUSIC_MO3) & 0xFFFF0000u) == 0x20000u)

/* BASS_ChannelIsActive. */
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

/* Attributes (BASS_ChannelSetAttribute / BASS_ChannelSlideAttribute). */
#define BASS_ATTRIB_FREQ 1 /* not settable: the channel's rate is fixed */
#define BASS_ATTRIB_VOL 2  /* 0 (silent) .. 1 (full) */
#define BASS_ATTRIB_PAN 3  /* -1 (left) .. 0 .. +1 (right) */

/* Sync types (BASS_ChannelSetSync). META and DOWNLOAD are accepted on every
 * stream; only URL streams (not built yet) raise them. Other types are
 * refused with BASS_ERROR_ILLTYPE. */
#define BASS_SYNC_END 2              /* the channel ended (a looping channel: each time it restarts) */
#define BASS_SYNC_META 4             /* new stream metadata (URL streams) */
#define BASS_SYNC_SLIDE 5            /* an attribute slide ended (data = attribute) */
#define BASS_SYNC_DOWNLOAD 7         /* the download of a URL stream finished */
#define BASS_SYNC_FREE 8             /* the channel is being freed */
#define BASS_SYNC_MIXTIME 0x40000000 /* call at once on the thread that caused it */
#define BASS_SYNC_ONETIME 0x80000000 /* remove the sync after it fired once */

/* Tag types (BASS_ChannelGetTags). */
#define BASS_TAG_ID3 0                 /* ID3v1: the 128-byte block */
#define BASS_TAG_ID3V2 1               /* ID3v2: the whole tag with its header */
#define BASS_TAG_OGG 2                 /* Ogg comments: NUL-separated "KEY=value" series */
#define BASS_TAG_HTTP 3                /* HTTP headers: series */
#define BASS_TAG_ICY 4                 /* ICY headers: series */
#define BASS_TAG_META 5                /* ICY metadata: one string */
#define BASS_TAG_APE 6                 /* APE tag: series */
#define BASS_TAG_WMA 8                 /* WMA attributes: series */
#define BASS_TAG_VENDOR 9              /* Ogg vendor string */
#define BASS_TAG_RIFF_INFO 0x100       /* RIFF LIST INFO chunk: series */
#define BASS_TAG_MUSIC_NAME 0x10000    /* tracker module name */
#define BASS_TAG_MUSIC_MESSAGE 0x10001 /* tracker module message */

/* BASS_ChannelGetPosition / SetPosition / GetLength modes. */
#define BASS_POS_BYTE 0

/* BASS_StreamGetFilePosition modes. */
#define BASS_FILEPOS_CURRENT 0  /* the decoder's byte offset in the file */
#define BASS_FILEPOS_DOWNLOAD 1 /* bytes available (the whole file for local files) */
#define BASS_FILEPOS_END 2      /* the file's size */
#define BASS_FILEPOS_START 3    /* where the stream's data start (0 when unknown) */

/* BASS_ChannelGetData: the length argument is a byte count, or one of these. */
#define BASS_DATA_AVAILABLE 0         /* bytes that can be read now */
#define BASS_DATA_FLOAT 0x40000000    /* add to a byte count: return 32-bit floats */
#define BASS_DATA_FFT256 0x80000000   /* 128 floats */
#define BASS_DATA_FFT512 0x80000001   /* 256 floats */
#define BASS_DATA_FFT1024 0x80000002  /* 512 floats */
#define BASS_DATA_FFT2048 0x80000003  /* 1024 floats */
#define BASS_DATA_FFT4096 0x80000004  /* 2048 floats */
#define BASS_DATA_FFT_INDIVIDUAL 0x10 /* one FFT per channel, interleaved */
#define BASS_DATA_FFT_NOWINDOW 0x20   /* no Hann window */

/* User stream callback return flag: the stream ends after these bytes. */
#define BASS_STREAMPROC_END 0x80000000

typedef struct BASS_INFO {
    DWORD flags;
    DWORD hwsize;
    DWORD hwfree;
    DWORD freesam;
    DWORD free3d;
    DWORD minrate;
    DWORD maxrate;
    BOOL eax;
    DWORD minbuf;  /* ms */
    DWORD dsver;   /* sound-system version; 8 or more */
    DWORD latency; /* ms between writing and hearing */
    DWORD initflags;
    DWORD speakers;
    DWORD freq; /* output rate */
} BASS_INFO;

typedef struct BASS_CHANNELINFO {
    DWORD freq;     /* sample rate */
    DWORD chans;    /* channels */
    DWORD flags;    /* BASS_SAMPLE_*, BASS_STREAM_*, BASS_MUSIC_* */
    DWORD ctype;    /* BASS_CTYPE_* */
    DWORD origres;  /* resolution of the source in bits, 0 when unknown */
    HPLUGIN plugin; /* the add-on that decodes it, 0 for the core */
    DWORD sample;
    const char* filename; /* the file name given, NULL for user streams */
} BASS_CHANNELINFO;

/* A user stream's data. Called on the channel's output thread (playing
 * channels) or on the thread calling BASS_ChannelGetData (decoding channels),
 * never on two threads at once. Writes up to `length` bytes of the stream's
 * format to `buffer` and returns the count, plus BASS_STREAMPROC_END when the
 * stream ends after them. It may block; that stalls only its own channel. */
typedef DWORD (*STREAMPROC)(HSTREAM handle, void* buffer, DWORD length, void* user);
/* A sync. Called on a library thread with the channel's handle and the data
 * of the event (see the BASS_SYNC_* types). */
typedef void (*SYNCPROC)(HSYNC handle, DWORD channel, DWORD data, void* user);
/* Downloaded data of a URL stream. */
typedef void (*DOWNLOADPROC)(const void* buffer, DWORD length, void* user);

BASSDEF(DWORD) BASS_GetVersion(void);
BASSDEF(int) BASS_ErrorGetCode(void);
BASSDEF(BOOL) BASS_SetConfig(DWORD option, DWORD value);
BASSDEF(BOOL) BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid);
BASSDEF(BOOL) BASS_GetInfo(BASS_INFO* info);
BASSDEF(BOOL) BASS_Free(void);
BASSDEF(HPLUGIN) BASS_PluginLoad(const char* file, DWORD flags);
BASSDEF(BOOL) BASS_PluginFree(HPLUGIN handle);
BASSDEF(HSTREAM) BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC proc, void* user);
BASSDEF(HSTREAM) BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
BASSDEF(HSTREAM)
BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC proc, void* user);
BASSDEF(BOOL) BASS_StreamFree(HSTREAM handle);
BASSDEF(QWORD) BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode);
BASSDEF(HMUSIC)
BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags, DWORD freq);
BASSDEF(BOOL) BASS_MusicFree(HMUSIC handle);
BASSDEF(BOOL) BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info);
BASSDEF(const char*) BASS_ChannelGetTags(DWORD handle, DWORD tags);
BASSDEF(DWORD) BASS_ChannelIsActive(DWORD handle);
BASSDEF(BOOL) BASS_ChannelPlay(DWORD handle, BOOL restart);
BASSDEF(BOOL) BASS_ChannelPause(DWORD handle);
BASSDEF(BOOL) BASS_ChannelStop(DWORD handle);
BASSDEF(QWORD) BASS_ChannelGetLength(DWORD handle, DWORD mode);
BASSDEF(QWORD) BASS_ChannelGetPosition(DWORD handle, DWORD mode);
BASSDEF(BOOL) BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
BASSDEF(double) BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
BASSDEF(QWORD) BASS_ChannelSeconds2Bytes(DWORD handle, double pos);
BASSDEF(DWORD) BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);
BASSDEF(BOOL) BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
BASSDEF(BOOL) BASS_ChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD time);
BASSDEF(HSYNC) BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC proc, void* user);
BASSDEF(BOOL) BASS_ChannelRemoveSync(DWORD handle, HSYNC sync);

/* Pointer types for run-time binding: BASS_GetVersion_t and so on. */
typedef DWORD (*BASS_GetVersion_t)(void);
typedef int (*BASS_ErrorGetCode_t)(void);
typedef BOOL (*BASS_SetConfig_t)(DWORD, DWORD);
typedef BOOL (*BASS_Init_t)(int, DWORD, DWORD, void*, const void*);
typedef BOOL (*BASS_GetInfo_t)(BASS_INFO*);
typedef BOOL (*BASS_Free_t)(void);
typedef HPLUGIN (*BASS_PluginLoad_t)(const char*, DWORD);
typedef BOOL (*BASS_PluginFree_t)(HPLUGIN);
typedef HSTREAM (*BASS_StreamCreate_t)(DWORD, DWORD, DWORD, STREAMPROC, void*);
typedef HSTREAM (*BASS_StreamCreateFile_t)(BOOL, const void*, QWORD, QWORD, DWORD);
typedef HSTREAM (*BASS_StreamCreateURL_t)(const char*, DWORD, DWORD, DOWNLOADPROC, void*);
typedef BOOL (*BASS_StreamFree_t)(HSTREAM);
typedef QWORD (*BASS_StreamGetFilePosition_t)(HSTREAM, DWORD);
typedef HMUSIC (*BASS_MusicLoad_t)(BOOL, const void*, QWORD, DWORD, DWORD, DWORD);
typedef BOOL (*BASS_MusicFree_t)(HMUSIC);
typedef BOOL (*BASS_ChannelGetInfo_t)(DWORD, BASS_CHANNELINFO*);
typedef const char* (*BASS_ChannelGetTags_t)(DWORD, DWORD);
typedef DWORD (*BASS_ChannelIsActive_t)(DWORD);
typedef BOOL (*BASS_ChannelPlay_t)(DWORD, BOOL);
typedef BOOL (*BASS_ChannelPause_t)(DWORD);
typedef BOOL (*BASS_ChannelStop_t)(DWORD);
typedef QWORD (*BASS_ChannelGetLength_t)(DWORD, DWORD);
typedef QWORD (*BASS_ChannelGetPosition_t)(DWORD, DWORD);
typedef BOOL (*BASS_ChannelSetPosition_t)(DWORD, QWORD, DWORD);
typedef double (*BASS_ChannelBytes2Seconds_t)(DWORD, QWORD);
typedef QWORD (*BASS_ChannelSeconds2Bytes_t)(DWORD, double);
typedef DWORD (*BASS_ChannelGetData_t)(DWORD, void*, DWORD);
typedef BOOL (*BASS_ChannelSetAttribute_t)(DWORD, DWORD, float);
typedef BOOL (*BASS_ChannelSlideAttribute_t)(DWORD, DWORD, float, DWORD);
typedef HSYNC (*BASS_ChannelSetSync_t)(DWORD, DWORD, QWORD, SYNCPROC, void*);
typedef BOOL (*BASS_ChannelRemoveSync_t)(DWORD, HSYNC);

#ifdef __cplusplus
}
#endif

#endif /* QUILLET_BASS_H */
