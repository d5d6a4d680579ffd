// The engine's record for its metadata sync (URLStream.cpp). Internal to the
// engine's units.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "engine/VAVIVerovu.h"

// The sync runs on a library thread and hands each title over as a copy of
// its own, queued here; the message window takes them in order, one per
// WM_META_TITLE. So a title being read is never being written.
struct TVAVIVerovu::MetaRecord {
    // Titles waiting for the message window; older ones go when a stalled
    // window lets more pile up.
    static constexpr size_t kMaxQueued = 32;

    HWND window = nullptr;
    std::atomic<uint8_t> kind{skNone};

    void push(DWORD channel, std::string title) {
        std::lock_guard lock(m_mutex);
        if (m_titles.size() >= kMaxQueued) m_titles.pop_front();
        m_titles.emplace_back(channel, std::move(title));
    }
    std::optional<std::pair<DWORD, std::string>> pop() {
        std::lock_guard lock(m_mutex);
        if (m_titles.empty()) return std::nullopt;
        auto front = std::move(m_titles.front());
        m_titles.pop_front();
        return front;
    }

  private:
    std::mutex m_mutex;
    std::deque<std::pair<DWORD, std::string>> m_titles;
};
