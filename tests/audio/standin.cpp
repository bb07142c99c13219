// A stand-in audio library for the start-up checks: it reports STANDIN_VERSION and lacks
// BASS_ChannelGetInfo when STANDIN_LACKS_INFO is defined. Only the version is ever asked for.

#include "tollvik_bass_abi.h"

// clang-format off
#define STUB(type, name, ...) \
    extern "C" TVB_API type TVB_CALL name(__VA_ARGS__) { return type(); }

extern "C" TVB_API tvb_dword TVB_CALL BASS_GetVersion(void) { return STANDIN_VERSION; }
STUB(tvb_bool, BASS_Init, int32_t, tvb_dword, tvb_dword, void*, const void*)
STUB(int32_t, BASS_ErrorGetCode, void)
STUB(tvb_handle, BASS_StreamCreateFile, tvb_bool, const void*, tvb_dword, tvb_dword, tvb_dword,
     tvb_dword, tvb_dword)
STUB(tvb_handle, BASS_MusicLoad, tvb_bool, const void*, tvb_dword, tvb_dword, tvb_dword, tvb_dword,
     tvb_dword, tvb_dword)
STUB(void, BASS_StreamFree, tvb_handle)
STUB(void, BASS_MusicFree, tvb_handle)
STUB(tvb_bool, BASS_ChannelPlay, tvb_handle, tvb_bool)
STUB(tvb_qword, BASS_StreamGetLength, tvb_handle)
STUB(tvb_qword, BASS_MusicGetLength, tvb_handle, tvb_bool)
STUB(float, BASS_ChannelBytes2Seconds, tvb_handle, tvb_dword, tvb_dword)
STUB(tvb_qword, BASS_ChannelGetPosition, tvb_handle)
STUB(tvb_bool, BASS_ChannelGetAttributes, tvb_handle, tvb_dword*, tvb_dword*, int32_t*)
#ifndef STANDIN_LACKS_INFO
STUB(tvb_bool, BASS_ChannelGetInfo, tvb_handle, TvbChannelInfo*)
#endif
STUB(tvb_bool, BASS_GetInfo, TvbInfo*)
STUB(tvb_bool, BASS_Free, void)
// clang-format on
