#include "audio/modbass.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace tollvik {
namespace {

#if defined(_WIN32)
using LibraryHandle = HMODULE;

LibraryHandle openLibrary(const QString& path, QString& error)
{
    const LibraryHandle handle = LoadLibraryW(reinterpret_cast<LPCWSTR>(path.utf16()));
    if (handle == nullptr)
        error = QStringLiteral("Windows error %1").arg(GetLastError());
    return handle;
}

void* findSymbol(LibraryHandle handle, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(handle, name));
}

void closeLibrary(LibraryHandle handle)
{
    FreeLibrary(handle);
}
#else
using LibraryHandle = void*;

LibraryHandle openLibrary(const QString& path, QString& error)
{
    dlerror();
    LibraryHandle handle = dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? QString::fromLocal8Bit(why) : QStringLiteral("cannot be loaded");
    }
    return handle;
}

void* findSymbol(LibraryHandle handle, const char* name)
{
    return dlsym(handle, name);
}

void closeLibrary(LibraryHandle handle)
{
    dlclose(handle);
}
#endif

template <typename Fn>
bool resolve(LibraryHandle handle, const char* name, Fn& slot, QString& missing)
{
    void* symbol = findSymbol(handle, name);
    if (symbol == nullptr) {
        if (missing.isEmpty())
            missing = QLatin1String(name);
        return false;
    }
    slot = reinterpret_cast<Fn>(symbol);
    return true;
}

} // namespace

QString audioLibraryFileName()
{
#if defined(_WIN32)
    return QStringLiteral("bass.dll");
#elif defined(__APPLE__)
    return QStringLiteral("libbass.dylib");
#else
    return QStringLiteral("libbass.so");
#endif
}

Status AudioLibrary::load(const QString& path)
{
    if (m_loaded)
        return {};
    QString error;
    const LibraryHandle handle = openLibrary(path, error);
    if (handle == nullptr)
        return fail(error);

    BassApi api;
    QString missing;
    // Every lookup runs, so that the first missing name in this order is the one reported.
    bool ok = true;
    ok &= resolve(handle, "BASS_GetVersion", api.BASS_GetVersion, missing);
    ok &= resolve(handle, "BASS_Init", api.BASS_Init, missing);
    ok &= resolve(handle, "BASS_ErrorGetCode", api.BASS_ErrorGetCode, missing);
    ok &= resolve(handle, "BASS_StreamCreateFile", api.BASS_StreamCreateFile, missing);
    ok &= resolve(handle, "BASS_MusicLoad", api.BASS_MusicLoad, missing);
    ok &= resolve(handle, "BASS_StreamFree", api.BASS_StreamFree, missing);
    ok &= resolve(handle, "BASS_MusicFree", api.BASS_MusicFree, missing);
    ok &= resolve(handle, "BASS_ChannelPlay", api.BASS_ChannelPlay, missing);
    ok &= resolve(handle, "BASS_StreamGetLength", api.BASS_StreamGetLength, missing);
    ok &= resolve(handle, "BASS_MusicGetLength", api.BASS_MusicGetLength, missing);
    ok &= resolve(handle, "BASS_ChannelBytes2Seconds", api.BASS_ChannelBytes2Seconds, missing);
    ok &= resolve(handle, "BASS_ChannelGetPosition", api.BASS_ChannelGetPosition, missing);
    ok &= resolve(handle, "BASS_ChannelGetAttributes", api.BASS_ChannelGetAttributes, missing);
    ok &= resolve(handle, "BASS_ChannelGetInfo", api.BASS_ChannelGetInfo, missing);
    ok &= resolve(handle, "BASS_GetInfo", api.BASS_GetInfo, missing);
    ok &= resolve(handle, "BASS_Free", api.BASS_Free, missing);
    if (!ok) {
        // Nothing of it has run yet, so it can go again.
        closeLibrary(handle);
        return fail(QStringLiteral("Missing function: ") + missing);
    }
    // The handle is kept open for the life of the process.
    m_api = api;
    m_loaded = true;
    return {};
}

float Bytes2Seconds(const BassApi& api, tvb_handle handle, std::uint32_t bytes)
{
    return api.BASS_ChannelBytes2Seconds(handle, bytes, 0);
}

} // namespace tollvik
