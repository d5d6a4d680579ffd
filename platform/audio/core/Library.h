// The library's process-wide state behind the C entry points: the device,
// the configuration, the channels, the formats and the add-ons. One instance
// per process (Library::instance()); every member is thread-safe.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/bass.h"
#include "platform/audio/bass_plugin.h"
#include "platform/audio/core/Channel.h"
#include "platform/audio/core/Decoders.h"
#include "platform/audio/core/Handles.h"
#include "platform/audio/core/PulseOutput.h"
#include "platform/audio/core/Slides.h"
#include "platform/audio/core/Syncs.h"

namespace qaudio {

class Library {
  public:
    static Library& instance();
    ~Library();

    // Each returns a BASS error code (BASS_OK on success).
    int init(int device, DWORD freq);
    int free();
    bool initialised() const { return m_device.load() >= 0; }
    int getInfo(BASS_INFO& info);
    int setConfig(DWORD option, DWORD value);

    int createFileStream(const std::string& path, DWORD flags, bool music, DWORD& handle);
    int createMemoryStream(const void* data, QWORD length, DWORD flags, bool music, DWORD& handle);
    // A stream of a URL (http://, https://), following playlists when
    // BASS_CONFIG_NET_PLAYLIST asks. Blocks until the stream can be decoded
    // or has failed (bounded by the network timeouts).
    int createUrlStream(const std::string& url, QWORD offset, DWORD flags, DOWNLOADPROC proc, void* user,
                        DWORD& handle);
    int createUserStream(DWORD freq, DWORD chans, DWORD flags, STREAMPROC proc, void* user, DWORD& handle);
    // Wraps an open decoder in a channel (file streams, add-ons' streams).
    int createDecoderStream(OpenedDecoder opened, const std::string& name, DWORD flags, bool music,
                            DWORD& handle);
    // Frees a channel; `music` says which kind the caller expects.
    int freeChannel(DWORD handle, bool music);

    std::shared_ptr<Channel> find(DWORD handle) { return m_handles.find(handle); }

    int loadPlugin(const std::string& path, HPLUGIN& handle);
    int freePlugin(HPLUGIN handle);

    DecoderRegistry& decoders() { return m_decoders; }

  private:
    Library();
    DWORD addChannel(ChannelSetup setup);
    DWORD configValue(DWORD option, DWORD fallback);
    std::unique_ptr<Output> openOutput(const SampleFormat& format);

    struct Plugin {
        HPLUGIN handle;
        std::string path;
        std::shared_ptr<void> library;
        PluginHost host;
    };

    std::mutex m_deviceMutex;  // init, free, the device
    std::atomic<int> m_device{-1};
    DWORD m_freq = 44100;
    std::shared_ptr<PulseDevice> m_pulse;

    std::atomic<uint32_t> m_bufferMs{500};
    std::atomic<uint32_t> m_streamVolume{10000};
    std::atomic<uint32_t> m_musicVolume{10000};
    std::mutex m_configMutex;
    std::map<DWORD, DWORD> m_otherConfig;  // options kept for add-ons

    SyncDispatcher m_syncs;
    SlideEngine m_slides;
    ChannelEnv m_env;
    HandleTable m_handles;
    DecoderRegistry m_decoders;

    std::mutex m_pluginMutex;
    std::vector<std::unique_ptr<Plugin>> m_plugins;
    HPLUGIN m_nextPlugin = 0x100;
};

}  // namespace qaudio
