// The formats the library opens: the built-in decoder factories and those
// that add-ons register (BASS_PluginLoad). Thread-safe.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/Decoder.h"
#include "platform/audio/bass.h"

namespace qaudio {

struct OpenedDecoder {
    std::unique_ptr<Decoder> decoder;
    HPLUGIN plugin = 0;               // 0 for the built-in formats
    std::shared_ptr<void> keepAlive;  // the add-on's library
};

class DecoderRegistry {
  public:
    // What a factory opens: offered to BASS_StreamCreateFile, to
    // BASS_MusicLoad, or to both (add-ons: their decoders' channel types decide).
    enum class Kind { Streams, Music, Any };
    void addBuiltin(std::unique_ptr<DecoderFactory> factory, Kind kind);
    void addPlugin(const DecoderFactory* factory, HPLUGIN plugin, std::shared_ptr<void> library);
    // Forgets an add-on's factories (all add-ons' when plugin is 0).
    void removePlugin(HPLUGIN plugin);
    // Offers the file to each factory in turn (built-in first) and returns
    // the first decoder of the wanted kind (tracker module or not), or no
    // decoder when none recognises it.
    OpenedDecoder open(const std::string& path, DWORD flags, bool music);
    // Offers a URL to each factory in turn (DecoderFactory::openUrl) and
    // returns the first stream that opens.
    OpenedDecoder openUrl(const std::string& url, DWORD flags);

  private:
    struct Entry {
        const DecoderFactory* factory;
        Kind kind;
        HPLUGIN plugin;
        std::shared_ptr<void> library;
    };
    std::vector<Entry> snapshot();
    std::mutex m_mutex;
    std::vector<std::unique_ptr<DecoderFactory>> m_builtin;
    std::vector<Entry> m_entries;
};

}  // namespace qaudio

namespace qaudio {
// Adds the formats built into the core library (BuiltinFormats.cpp).
void registerBuiltinFormats(DecoderRegistry& registry);
}  // namespace qaudio
