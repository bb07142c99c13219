#pragma once

/*
 * The C interface of the program's audio library (libbass.so / bass.dll / libbass.dylib).
 *
 * The program loads the library at run time by its absolute path in the program folder and looks
 * these functions up by name, so this header is the whole contract between the two: the names,
 * the argument lists and the results below must not change.
 *
 * Conventions
 *  - Handles are 32-bit; 0 is never a valid handle.
 *  - Booleans are 32-bit: 0 = false, any other value = true.
 *  - A 64-bit byte offset, count or position passed IN is split into two 32-bit halves, low half
 *    first (`lo`, `hi`). A 64-bit result is returned as a tvb_qword; callers that keep 32 bits
 *    take its low half.
 *  - Byte counts and positions of a channel are those of 16-bit PCM at the channel's own sample
 *    rate and channel count, whatever rate the output runs at.
 *  - Every function sets the code that BASS_ErrorGetCode reports: TVB_OK when it succeeded, one of
 *    the TVB_ERROR_* codes below when it failed. The code is kept for the whole process (not per
 *    thread), so a failure on one thread can be reported on another.
 *  - Every function may be called from any thread.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define TVB_CALL __stdcall
#if defined(TOLLVIK_BASS_BUILD)
#define TVB_API __declspec(dllexport)
#else
#define TVB_API
#endif
#else
#define TVB_CALL
#if defined(TOLLVIK_BASS_BUILD)
#define TVB_API __attribute__((visibility("default")))
#else
#define TVB_API
#endif
#endif

typedef uint32_t tvb_dword;
typedef uint64_t tvb_qword;
typedef int32_t tvb_bool;
typedef uint32_t tvb_handle;

/* The version this library reports: low word 2 (major), high word 1 (minor), i.e. "2.1". */
#define TVB_VERSION 0x00010002u

/* Error codes reported by BASS_ErrorGetCode. */
#define TVB_OK 0                /* the last call succeeded */
#define TVB_ERROR_MEMORY 1      /* out of memory */
#define TVB_ERROR_FORMAT 2      /* the data is not a playable stream (not Ogg Vorbis, damaged) */
#define TVB_ERROR_HANDLE 3      /* the handle names no channel of that kind */
#define TVB_ERROR_NOT_INIT 4    /* BASS_Init has not succeeded yet (or BASS_Free was called) */
#define TVB_ERROR_ALREADY 5     /* BASS_Init was already called successfully */
#define TVB_ERROR_NO_OUTPUT 6   /* no output device could be opened */
#define TVB_ERROR_UNSUPPORTED 7 /* the requested mode is not supported (e.g. reading from a path)  \
                                 */
#define TVB_ERROR_ARGUMENT 8    /* an argument is out of range (device number, record size) */
#define TVB_ERROR_UNKNOWN 9     /* any other failure */

/* BASS_Init: the device number of the system's default output. */
#define TVB_DEVICE_DEFAULT 1

/* BASS_MusicGetLength: ask for the playback length. */
#define TVB_MUSIC_PLAYBACK_LENGTH 1

/* TvbChannelInfo.flags: bit 0 set = 8-bit samples (this library always decodes to 16 bits). */
#define TVB_CHANNEL_8BIT 1u
/* TvbChannelInfo.channelType of a decoded Ogg Vorbis stream. */
#define TVB_CHANNEL_TYPE_OGG 0x10002u

/* What BASS_ChannelGetInfo reports about a channel: four 32-bit fields. */
typedef struct TvbChannelInfo
{
    tvb_dword frequency;   /* sample rate in Hz */
    tvb_dword channels;    /* channel count */
    tvb_dword flags;       /* TVB_CHANNEL_8BIT clear: 16-bit samples */
    tvb_dword channelType; /* TVB_CHANNEL_TYPE_OGG */
} TvbChannelInfo;

/* What BASS_GetInfo reports about the output: fifteen 32-bit fields, 60 bytes. The caller sets
 * `size` to 60 before the call; any other value is refused with TVB_ERROR_ARGUMENT. */
#define TVB_INFO_SIZE 60u
typedef struct TvbInfo
{
    tvb_dword size;           /* in: 60 */
    tvb_dword flags;          /* 0 */
    tvb_dword outputRate;     /* 44100 */
    tvb_dword outputChannels; /* 2 */
    tvb_dword bufferFrames;   /* frames of one output buffer */
    tvb_dword reserved5;      /* 0 */
    tvb_dword reserved6;      /* 0 */
    tvb_dword reserved7;      /* 0 */
    tvb_dword reserved8;      /* 0 */
    tvb_dword reserved9;      /* 0 */
    tvb_dword directSoundVer; /* always 0: the output does not go through DirectSound */
    tvb_dword latencyMs;      /* duration of one output buffer in milliseconds */
    tvb_dword reserved12;     /* 0 */
    tvb_dword reserved13;     /* 0 */
    tvb_dword reserved14;     /* 0 */
} TvbInfo;

/* 0x00010002. */
TVB_API tvb_dword TVB_CALL BASS_GetVersion(void);

/* Opens the output: device TVB_DEVICE_DEFAULT (or -1) is the system's default output, run at
 * `freq` Hz (0 means 44100), 16-bit stereo. `flags`, `window` and `classId` are accepted and
 * ignored. Returns 0 with TVB_ERROR_NO_OUTPUT when no output device can be opened: there is no
 * fallback to a silent output. */
TVB_API tvb_bool TVB_CALL BASS_Init(int32_t device, tvb_dword freq, tvb_dword flags, void* window,
                                    const void* classId);

/* The code of the last call (see above). */
TVB_API int32_t TVB_CALL BASS_ErrorGetCode(void);

/* Creates a stream from an Ogg Vorbis block in memory (`mem` non-zero; `file` points at the
 * block, the data start `offset` bytes in and are `length` bytes long). The whole stream is
 * decoded here; the block is not read again, but callers keep it until the channel is freed.
 * Returns 0 with TVB_ERROR_FORMAT when the data are not a playable stream. `flags` is ignored. */
TVB_API tvb_handle TVB_CALL BASS_StreamCreateFile(tvb_bool mem, const void* file,
                                                  tvb_dword offsetLo, tvb_dword offsetHi,
                                                  tvb_dword lengthLo, tvb_dword lengthHi,
                                                  tvb_dword flags);

/* Tracker music is not played by this library: always 0, with TVB_ERROR_FORMAT when initialised
 * (TVB_ERROR_NOT_INIT otherwise). */
TVB_API tvb_handle TVB_CALL BASS_MusicLoad(tvb_bool mem, const void* file, tvb_dword offsetLo,
                                           tvb_dword offsetHi, tvb_dword lengthLo,
                                           tvb_dword lengthHi, tvb_dword flags, tvb_dword freq);

/* Stops and releases the stream. An invalid handle or a handle of another kind is ignored
 * (TVB_ERROR_HANDLE). */
TVB_API void TVB_CALL BASS_StreamFree(tvb_handle handle);

/* Releases a music channel; as no music can be loaded, every handle is ignored
 * (TVB_ERROR_HANDLE). */
TVB_API void TVB_CALL BASS_MusicFree(tvb_handle handle);

/* Starts playback and returns at once; playback runs on until the end of the channel. A channel
 * that is playing goes on; one that played to its end, or `restart` non-zero, starts from the
 * beginning. */
TVB_API tvb_bool TVB_CALL BASS_ChannelPlay(tvb_handle handle, tvb_bool restart);

/* Length in bytes; (tvb_qword)-1 with TVB_ERROR_HANDLE when the handle is not a stream. */
TVB_API tvb_qword TVB_CALL BASS_StreamGetLength(tvb_handle handle);

/* Length of a music channel; (tvb_qword)-1 with TVB_ERROR_HANDLE (there are none). */
TVB_API tvb_qword TVB_CALL BASS_MusicGetLength(tvb_handle handle, tvb_bool playLength);

/* Seconds that `pos` bytes of the channel last; -1 with TVB_ERROR_HANDLE for an invalid
 * handle. */
TVB_API float TVB_CALL BASS_ChannelBytes2Seconds(tvb_handle handle, tvb_dword posLo,
                                                 tvb_dword posHi);

/* Bytes played so far (reaches the length when the channel has played to its end);
 * (tvb_qword)-1 with TVB_ERROR_HANDLE for an invalid handle. */
TVB_API tvb_qword TVB_CALL BASS_ChannelGetPosition(tvb_handle handle);

/* Sample rate in Hz, volume 0..100 (always 100) and pan -100..100 (always 0). Any out pointer
 * may be null. On failure the out values are left as they were. */
TVB_API tvb_bool TVB_CALL BASS_ChannelGetAttributes(tvb_handle handle, tvb_dword* freq,
                                                    tvb_dword* volume, int32_t* pan);

/* Fills the record; on failure it is left as it was. */
TVB_API tvb_bool TVB_CALL BASS_ChannelGetInfo(tvb_handle handle, TvbChannelInfo* info);

/* Fills the record (its size field must be 60); needs an initialised output. */
TVB_API tvb_bool TVB_CALL BASS_GetInfo(TvbInfo* info);

/* Stops all playback, releases every channel and closes the output. */
TVB_API tvb_bool TVB_CALL BASS_Free(void);

/* Pointer types of the functions above, for the run-time binding. */
typedef tvb_dword(TVB_CALL* TvbGetVersionFn)(void);
typedef tvb_bool(TVB_CALL* TvbInitFn)(int32_t, tvb_dword, tvb_dword, void*, const void*);
typedef int32_t(TVB_CALL* TvbErrorGetCodeFn)(void);
typedef tvb_handle(TVB_CALL* TvbStreamCreateFileFn)(tvb_bool, const void*, tvb_dword, tvb_dword,
                                                    tvb_dword, tvb_dword, tvb_dword);
typedef tvb_handle(TVB_CALL* TvbMusicLoadFn)(tvb_bool, const void*, tvb_dword, tvb_dword, tvb_dword,
                                             tvb_dword, tvb_dword, tvb_dword);
typedef void(TVB_CALL* TvbStreamFreeFn)(tvb_handle);
typedef void(TVB_CALL* TvbMusicFreeFn)(tvb_handle);
typedef tvb_bool(TVB_CALL* TvbChannelPlayFn)(tvb_handle, tvb_bool);
typedef tvb_qword(TVB_CALL* TvbStreamGetLengthFn)(tvb_handle);
typedef tvb_qword(TVB_CALL* TvbMusicGetLengthFn)(tvb_handle, tvb_bool);
typedef float(TVB_CALL* TvbChannelBytes2SecondsFn)(tvb_handle, tvb_dword, tvb_dword);
typedef tvb_qword(TVB_CALL* TvbChannelGetPositionFn)(tvb_handle);
typedef tvb_bool(TVB_CALL* TvbChannelGetAttributesFn)(tvb_handle, tvb_dword*, tvb_dword*, int32_t*);
typedef tvb_bool(TVB_CALL* TvbChannelGetInfoFn)(tvb_handle, TvbChannelInfo*);
typedef tvb_bool(TVB_CALL* TvbGetInfoFn)(TvbInfo*);
typedef tvb_bool(TVB_CALL* TvbFreeFn)(void);

#ifdef __cplusplus
}
#endif
