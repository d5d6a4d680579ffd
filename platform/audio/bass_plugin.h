// The seam between the audio library and its add-ons.
//
// An add-on is a shared library that exports one C function,
//
//     extern "C" int qaudio_plugin_register(const qaudio::PluginHost* host);
//
// BASS_PluginLoad opens the library with dlopen, looks that name up and calls
// it once, on the caller's thread. The add-on then hands the library its
// decoder factories with host->addDecoder and returns non-zero; returning 0
// (or an ABI version it does not know) makes the load fail and the library is
// closed again. The factories belong to the add-on and must stay valid until
// it is unloaded; the core stops using them at BASS_PluginFree and keeps the
// add-on's code mapped until the last stream opened through it is freed.
//
// Add-ons that create streams of their own (a format with entry points of its
// own, such as a CD reader) use host->createStream, which wraps a decoder in a
// channel exactly as BASS_StreamCreateFile does and returns its handle.
//
// An add-on that is not attached with BASS_PluginLoad (the CD add-on: the
// program binds its own entry points) links against libbass.so and uses the
// two functions at the end of this file instead.
//
// Add-ons are built with the same compiler and standard library as the core:
// the interface is C++ (Decoder.h).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/audio/Decoder.h"
#include "platform/audio/bass.h"

namespace qaudio {

// Bumped whenever Decoder.h or this structure changes incompatibly.
constexpr uint32_t kPluginAbiVersion = 2;

struct PluginHost {
    uint32_t abiVersion;
    // Opaque to the add-on; passed back to the functions below.
    void* context;
    // Registers a decoder factory; tried after the built-in formats, in the
    // order of registration. Thread: the one running qaudio_plugin_register.
    void (*addDecoder)(void* context, const DecoderFactory* factory);
    // Makes a channel of an open decoder (flags as BASS_StreamCreateFile);
    // returns 0 and sets the error code on failure. Any thread.
    HSTREAM (*createStream)(void* context, std::unique_ptr<Decoder>* decoder, const char* name, DWORD flags);
};

}  // namespace qaudio

extern "C" {
typedef int (*qaudio_plugin_register_t)(const qaudio::PluginHost* host);

// Exported by libbass.so for add-ons that link against it. Any thread.
//
// Wraps an open decoder in a channel as BASS_StreamCreateFile does; takes the
// decoder (also on failure). `keepAlive` is a dlopen handle that the channel
// closes after the decoder is destroyed (so the add-on's code stays mapped),
// or NULL. Returns the handle, or 0 with the error code set.
HSTREAM qaudio_stream_create(std::unique_ptr<qaudio::Decoder>* decoder, const char* name, DWORD flags,
                             void* keepAlive);
// Sets the calling thread's error code (BASS_ErrorGetCode) for an add-on's
// own entry points.
void qaudio_set_error(int code);
}

#define QAUDIO_PLUGIN_ENTRY "qaudio_plugin_register"
