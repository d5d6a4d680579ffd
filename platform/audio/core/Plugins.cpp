// BASS_PluginLoad / BASS_PluginFree: add-ons that register decoders.
#include <dlfcn.h>

#include <vector>

#include "platform/audio/core/Error.h"
#include "platform/audio/core/Library.h"

namespace qaudio {

namespace {

// What an add-on registers while its entry point runs.
struct Registration {
    std::vector<const DecoderFactory*> factories;
};

void addDecoder(void* context, const DecoderFactory* factory) {
    if (factory) static_cast<Registration*>(context)->factories.push_back(factory);
}

struct StreamContext {
    Library* library;
    HPLUGIN plugin;
    std::weak_ptr<void> lib;
};

HSTREAM createStream(void* context, std::unique_ptr<Decoder>* decoder, const char* name, DWORD flags) {
    auto* ctx = static_cast<StreamContext*>(context);
    if (!decoder || !*decoder) {
        setError(BASS_ERROR_ILLPARAM);
        return 0;
    }
    OpenedDecoder opened{std::move(*decoder), ctx->plugin, ctx->lib.lock()};
    const bool music = BASS_CTYPE_IS_MUSIC(opened.decoder->channelType());
    DWORD handle = 0;
    const int err =
        ctx->library->createDecoderStream(std::move(opened), name ? name : "", flags, music, handle);
    setError(err);
    return err == BASS_OK ? handle : 0;
}

}  // namespace

int Library::loadPlugin(const std::string& path, HPLUGIN& handle) {
    std::lock_guard lock(m_pluginMutex);
    for (const auto& p : m_plugins) {
        if (p->path == path) return BASS_ERROR_ALREADY;
    }
    void* raw = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!raw) return BASS_ERROR_FILEOPEN;
    std::shared_ptr<void> lib(raw, [](void* h) { dlclose(h); });
    auto entry = reinterpret_cast<qaudio_plugin_register_t>(dlsym(raw, QAUDIO_PLUGIN_ENTRY));
    if (!entry) return BASS_ERROR_FILEFORM;

    auto plugin = std::make_unique<Plugin>();
    plugin->handle = ++m_nextPlugin;
    plugin->path = path;
    plugin->library = lib;
    // The stream context lives as long as the add-on's registration: the
    // deleter of the registration's reference to the library owns it.
    auto streamContext = std::make_shared<StreamContext>(StreamContext{this, plugin->handle, lib});
    plugin->library = std::shared_ptr<void>(raw, [lib, streamContext](void*) mutable {
        streamContext.reset();
        lib.reset();
    });
    Registration reg;
    plugin->host.abiVersion = kPluginAbiVersion;
    plugin->host.context = &reg;
    plugin->host.addDecoder = addDecoder;
    plugin->host.createStream = nullptr;
    if (!entry(&plugin->host)) return BASS_ERROR_VERSION;
    // After registration the context is the stream context: an add-on that
    // keeps the host pointer may create streams later.
    plugin->host.context = streamContext.get();
    plugin->host.createStream = createStream;
    for (const DecoderFactory* f : reg.factories) m_decoders.addPlugin(f, plugin->handle, plugin->library);
    handle = plugin->handle;
    m_plugins.push_back(std::move(plugin));
    return BASS_OK;
}

int Library::freePlugin(HPLUGIN handle) {
    std::lock_guard lock(m_pluginMutex);
    if (handle == 0) {
        m_decoders.removePlugin(0);
        m_plugins.clear();
        return BASS_OK;
    }
    for (auto it = m_plugins.begin(); it != m_plugins.end(); ++it) {
        if ((*it)->handle == handle) {
            m_decoders.removePlugin(handle);
            m_plugins.erase(it);
            return BASS_OK;
        }
    }
    return BASS_ERROR_HANDLE;
}

}  // namespace qaudio
