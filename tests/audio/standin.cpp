// A stand-in audio library for the start-up checks: reports STANDIN_VERSION, opens no output
// unless STANDIN_INIT_RESULT is non-zero, and lacks BASS_ChannelGetInfo when STANDIN_LACKS_INFO
// is defined. Nothing else of it is ever called.

#include "tollvik_bass_abi.h"

extern "C" {

TVB_API tvb_dword TVB_CALL BASS_GetVersion(void)
{
    return STANDIN_VERSION;
}
TVB_API tvb_bool TVB_CALL BASS_Init(int32_t, tvb_dword, tvb_dword, void*, const void*)
{
    return STANDIN_INIT_RESULT;
}
TVB_API int32_t TVB_CALL BASS_ErrorGetCode(void)
{
    return TVB_ERROR_NO_OUTPUT;
}
TVB_API tvb_handle TVB_CALL BASS_StreamCreateFile(tvb_bool, const void*, tvb_dword, tvb_dword,
                                                  tvb_dword, tvb_dword, tvb_dword)
{
    return 0;
}
TVB_API tvb_handle TVB_CALL BASS_MusicLoad(tvb_bool, const void*, tvb_dword, tvb_dword, tvb_dword,
                                           tvb_dword, tvb_dword, tvb_dword)
{
    return 0;
}
TVB_API void TVB_CALL BASS_StreamFree(tvb_handle) {}
TVB_API void TVB_CALL BASS_MusicFree(tvb_handle) {}
TVB_API tvb_bool TVB_CALL BASS_ChannelPlay(tvb_handle, tvb_bool)
{
    return 0;
}
TVB_API tvb_qword TVB_CALL BASS_StreamGetLength(tvb_handle)
{
    return ~tvb_qword{0};
}
TVB_API tvb_qword TVB_CALL BASS_MusicGetLength(tvb_handle, tvb_bool)
{
    return ~tvb_qword{0};
}
TVB_API float TVB_CALL BASS_ChannelBytes2Seconds(tvb_handle, tvb_dword, tvb_dword)
{
    return -1.0f;
}
TVB_API tvb_qword TVB_CALL BASS_ChannelGetPosition(tvb_handle)
{
    return ~tvb_qword{0};
}
TVB_API tvb_bool TVB_CALL BASS_ChannelGetAttributes(tvb_handle, tvb_dword*, tvb_dword*, int32_t*)
{
    return 0;
}
#ifndef STANDIN_LACKS_INFO
TVB_API tvb_bool TVB_CALL BASS_ChannelGetInfo(tvb_handle, TvbChannelInfo*)
{
    return 0;
}
#endif
TVB_API tvb_bool TVB_CALL BASS_GetInfo(TvbInfo*)
{
    return 0;
}
TVB_API tvb_bool TVB_CALL BASS_Free(void)
{
    return 1;
}
}
