#include "platform/audio/core/Handles.h"

#include <mutex>

namespace qaudio {

DWORD HandleTable::reserve() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        const DWORD h = ++m_next;
        if (h != 0 && !m_channels.count(h)) {
            m_channels.emplace(h, nullptr);  // reserved, not yet usable
            return h;
        }
    }
}

void HandleTable::insert(DWORD handle, std::shared_ptr<Channel> channel) {
    std::unique_lock lock(m_mutex);
    if (channel) {
        m_channels[handle] = std::move(channel);
    } else {
        m_channels.erase(handle);
    }
}

std::shared_ptr<Channel> HandleTable::find(DWORD handle) {
    std::shared_lock lock(m_mutex);
    auto it = m_channels.find(handle);
    return it == m_channels.end() ? nullptr : it->second;
}

std::shared_ptr<Channel> HandleTable::take(DWORD handle) {
    std::unique_lock lock(m_mutex);
    auto it = m_channels.find(handle);
    if (it == m_channels.end() || !it->second) return nullptr;
    auto channel = std::move(it->second);
    m_channels.erase(it);
    return channel;
}

std::vector<std::shared_ptr<Channel>> HandleTable::takeAll() {
    std::unique_lock lock(m_mutex);
    std::vector<std::shared_ptr<Channel>> all;
    for (auto& [h, c] : m_channels) {
        if (c) all.push_back(std::move(c));
    }
    std::erase_if(m_channels, [](const auto& kv) { return kv.second == nullptr; });
    return all;
}

}  // namespace qaudio
