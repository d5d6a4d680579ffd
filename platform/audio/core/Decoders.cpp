#include "platform/audio/core/Decoders.h"

namespace qaudio {

void DecoderRegistry::addBuiltin(std::unique_ptr<DecoderFactory> factory, Kind kind) {
    std::lock_guard lock(m_mutex);
    // Built-in formats go before every add-on's.
    size_t at = 0;
    while (at < m_entries.size() && m_entries[at].plugin == 0) ++at;
    m_entries.insert(m_entries.begin() + long(at), Entry{factory.get(), kind, 0, nullptr});
    m_builtin.push_back(std::move(factory));
}

void DecoderRegistry::addPlugin(const DecoderFactory* factory, HPLUGIN plugin,
                                std::shared_ptr<void> library) {
    std::lock_guard lock(m_mutex);
    m_entries.push_back(Entry{factory, Kind::Any, plugin, std::move(library)});
}

void DecoderRegistry::removePlugin(HPLUGIN plugin) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries,
                  [plugin](const Entry& e) { return e.plugin != 0 && (plugin == 0 || e.plugin == plugin); });
}

std::vector<DecoderRegistry::Entry> DecoderRegistry::snapshot() {
    std::lock_guard lock(m_mutex);
    return m_entries;  // factories are probed without the lock; add-ons stay loaded meanwhile
}

OpenedDecoder DecoderRegistry::open(const std::string& path, DWORD flags, bool music) {
    for (const Entry& e : snapshot()) {
        if (e.kind == (music ? Kind::Streams : Kind::Music)) continue;
        auto decoder = e.factory->open(path, flags);
        if (!decoder) continue;
        if (bool(BASS_CTYPE_IS_MUSIC(decoder->channelType())) != music) continue;
        return OpenedDecoder{std::move(decoder), e.plugin, e.library};
    }
    return {};
}

OpenedDecoder DecoderRegistry::openUrl(const std::string& url, DWORD flags) {
    for (const Entry& e : snapshot()) {
        auto decoder = e.factory->openUrl(url, flags);
        if (decoder) return OpenedDecoder{std::move(decoder), e.plugin, e.library};
    }
    return {};
}

}  // namespace qaudio
