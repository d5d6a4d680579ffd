// The run-time binding of the audio library and its add-ons.
//
// Each library is loaded from a full path with dlopen and every entry point the
// program calls is resolved by name; a library that lacks one counts as absent
// (all or nothing). The resolved functions live in process-wide tables, shared by
// the engine and the plug-in host, which play through the same loaded library.
// Load and unload on the user-interface thread; the tables are only read elsewhere.
#pragma once

#include <string>

#include "platform/audio/bass.h"
#include "platform/audio/basscd.h"
#include "platform/audio/bassmix.h"

// Resolved entry points of the core library (libbass.so).
struct TBassFunctions {
    BASS_GetVersion_t BASS_GetVersion = nullptr;
    BASS_ErrorGetCode_t BASS_ErrorGetCode = nullptr;
    BASS_SetConfig_t BASS_SetConfig = nullptr;
    BASS_Init_t BASS_Init = nullptr;
    BASS_GetInfo_t BASS_GetInfo = nullptr;
    BASS_Free_t BASS_Free = nullptr;
    BASS_PluginLoad_t BASS_PluginLoad = nullptr;
    BASS_PluginFree_t BASS_PluginFree = nullptr;
    BASS_StreamCreate_t BASS_StreamCreate = nullptr;
    BASS_StreamCreateFile_t BASS_StreamCreateFile = nullptr;
    BASS_StreamCreateURL_t BASS_StreamCreateURL = nullptr;
    BASS_StreamFree_t BASS_StreamFree = nullptr;
    BASS_StreamGetFilePosition_t BASS_StreamGetFilePosition = nullptr;
    BASS_MusicLoad_t BASS_MusicLoad = nullptr;
    BASS_MusicFree_t BASS_MusicFree = nullptr;
    BASS_ChannelGetInfo_t BASS_ChannelGetInfo = nullptr;
    BASS_ChannelGetTags_t BASS_ChannelGetTags = nullptr;
    BASS_ChannelIsActive_t BASS_ChannelIsActive = nullptr;
    BASS_ChannelPlay_t BASS_ChannelPlay = nullptr;
    BASS_ChannelPause_t BASS_ChannelPause = nullptr;
    BASS_ChannelStop_t BASS_ChannelStop = nullptr;
    BASS_ChannelGetLength_t BASS_ChannelGetLength = nullptr;
    BASS_ChannelGetPosition_t BASS_ChannelGetPosition = nullptr;
    BASS_ChannelSetPosition_t BASS_ChannelSetPosition = nullptr;
    BASS_ChannelBytes2Seconds_t BASS_ChannelBytes2Seconds = nullptr;
    BASS_ChannelSeconds2Bytes_t BASS_ChannelSeconds2Bytes = nullptr;
    BASS_ChannelGetData_t BASS_ChannelGetData = nullptr;
    BASS_ChannelSetAttribute_t BASS_ChannelSetAttribute = nullptr;
    BASS_ChannelSlideAttribute_t BASS_ChannelSlideAttribute = nullptr;
    BASS_ChannelSetSync_t BASS_ChannelSetSync = nullptr;
    BASS_ChannelRemoveSync_t BASS_ChannelRemoveSync = nullptr;
};

// The CD add-on (libbasscd.so): the drive list, track lengths and track streams.
struct TBassCDFunctions {
    BASS_CD_GetInfo_t BASS_CD_GetInfo = nullptr;
    BASS_CD_StreamCreateFile_t BASS_CD_StreamCreateFile = nullptr;
    BASS_CD_GetTrackLength_t BASS_CD_GetTrackLength = nullptr;
};

// The mixer add-on (libbassmix.so): only its version is asked.
struct TBassMixFunctions {
    BASS_Mixer_GetVersion_t BASS_Mixer_GetVersion = nullptr;
};

// The tables; all pointers are null while their library is not loaded.
extern TBassFunctions Bass;
extern TBassCDFunctions BassCD;
extern TBassMixFunctions BassMix;

// File names of the libraries, as found in the program's folder.
inline constexpr const char* kBassLibrary = "libbass.so";
inline constexpr const char* kBassWmaLibrary = "libbasswma.so";
inline constexpr const char* kBassCDLibrary = "libbasscd.so";
inline constexpr const char* kBassMidiLibrary = "libbassmidi.so";
inline constexpr const char* kBassMixLibrary = "libbassmix.so";

// The folder of the running executable, with a trailing '/'.
std::string ExecutableFolder();

// Loaders: true at once when already loaded; otherwise dlopen the path and resolve
// every entry point, or close it again and return false. An empty path loads the
// core library from the executable's folder. Unloading the core calls BASS_Free
// first. The MIDI add-on's entry points are not called, so loading it is all it takes.
bool Load_BASSDLL(const std::string& path);
void Unload_BASSDLL();
bool BASS_Loaded();
bool Load_BASSCDDLL(const std::string& path);
void Unload_BASSCDDLL();
bool Load_BASSMIDIDLL(const std::string& path);
void Unload_BASSMIDIDLL();
bool Load_BASSMIXDLL(const std::string& path);
void Unload_BASSMIXDLL();
