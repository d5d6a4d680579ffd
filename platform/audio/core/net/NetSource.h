// A channel's source for a URL: a decoder reading the download as it
// arrives. The stream's texts, file positions and events come from the
// download without waiting for it (NetInfo).
//
// Reading: while the download is running, a read that would need more bytes
// than lie ahead of the decoder returns no frames (the channel stalls)
// instead of waiting; once the whole file has arrived it is decoded afresh
// from memory on the first seek, so it becomes seekable with its exact
// length. Metadata (ICY titles) becomes current when the decoder reaches
// the place where it arrived, and raises BASS_SYNC_META then.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/audio/core/Source.h"
#include "platform/audio/core/net/NetStream.h"
#include "platform/audio/decoders/InputFile.h"

namespace qaudio::net {

class NetSource final : public Source, public NetInfo {
  public:
    // Opens a decoder on the download; nullptr and a BASS error code when
    // the stream cannot be decoded. Blocks while the decoder reads the
    // stream's first bytes (bounded by the download's timeouts).
    static std::unique_ptr<NetSource> open(std::shared_ptr<NetStream> stream, DWORD flags, int& error);
    ~NetSource() override;

    uint32_t sampleRate() const { return m_rate; }
    uint32_t channels() const { return m_channels; }

    // Source
    size_t read(float* out, size_t frames, bool& ended) override;
    bool seek(uint64_t frame) override;
    std::optional<uint64_t> lengthFrames() const override;
    uint32_t channelType() const override { return m_ctype; }
    std::optional<std::string_view> tags(uint32_t) const override { return std::nullopt; }
    std::optional<uint64_t> fileBytePosition() const override { return m_current.load(); }
    std::optional<uint64_t> fileSize() const override { return m_stream->totalSize().value_or(0); }
    NetInfo* net() override { return this; }

    // NetInfo
    std::optional<std::string> tag(DWORD type) const override;
    int filePosition(DWORD mode, QWORD& out) const override;
    void setEvents(std::function<void(DWORD, DWORD)> sink) override;
    void abort() override { m_stream->abort(); }

  private:
    explicit NetSource(std::shared_ptr<NetStream> stream) : m_stream(std::move(stream)) {}
    // Makes the metadata that arrived before the decoder's place current.
    void takeMeta();
    // The whole body has arrived: opens the decoder that makes it seekable.
    void openWhole();
    void fire(DWORD type, DWORD data);
    void copyDecoderTags(const Decoder& decoder);
    // Bytes the decoder may need for `frames` frames: reading with fewer
    // ahead would make it wait for the network.
    uint64_t bytesNeeded(size_t frames) const;

    std::shared_ptr<NetStream> m_stream;
    uint32_t m_rate = 0;
    uint32_t m_channels = 0;
    uint32_t m_ctype = 0;

    // Pipe side (the channel calls one at a time).
    std::unique_ptr<Decoder> m_decoder;
    InputFile* m_input = nullptr;  // the streaming decoder's input, while it is in use
    uint64_t m_startOffset = 0;    // where the decoder stood after opening
    uint64_t m_decodedFrames = 0;
    double m_bytesPerFrame = 1.0;
    bool m_measured = false;

    std::atomic<uint64_t> m_current{0};
    std::atomic<int64_t> m_length{-1};

    mutable std::mutex m_mutex;
    std::unique_ptr<Decoder> m_whole;  // the complete file's decoder, until the first seek takes it
    bool m_wholeDone = false;          // openWhole() has finished
    std::condition_variable m_wholeCv;
    std::map<DWORD, std::string> m_decoderTags;
    std::optional<std::string> m_meta;

    std::recursive_mutex m_eventsMutex;  // a sync run at once may free the channel
    std::function<void(DWORD, DWORD)> m_events;
};

}  // namespace qaudio::net
