// The playlist's view of the player: IPlayListEngine over the player component.
#pragma once

#include "engine/VAVIVerovu.h"
#include "playlist/PlayListSeams.h"

class TPlayListEngine : public IPlayListEngine {
  public:
    explicit TPlayListEngine(TVAVIVerovu& player) : m_player(player) {}

    bool BASSReady() const override { return m_player.BASSReady(); }
    std::string NativeFileExts() const override { return m_player.NativeFileExts(); }
    bool GetStreamInfo(const std::string& name, TStreamInfo& info) override {
        return m_player.GetStreamInfo(name, info);
    }
    bool Open(const std::string& name) override { return m_player.Open(name); }
    void Play() override { m_player.Play(); }
    void Stop() override { m_player.Stop(); }
    uint32_t PlayLength() const override { return m_player.PlayLength(); }
    TStreamInfo StreamInfo() const override { return m_player.StreamInfo(); }

  private:
    TVAVIVerovu& m_player;
};
