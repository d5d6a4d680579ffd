// Where a channel's samples come from: a file decoder or a caller's
// callback (user stream). The channel calls a source from one thread at a
// time (it holds its pipe lock), so sources need no locking of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/audio/Decoder.h"
#include "platform/audio/bass.h"
#include "platform/audio/core/Format.h"

namespace qaudio {

// What a network stream reports while it downloads. Thread-safe, and it
// never waits for the download, so callers need not take the channel's pipe
// (whose holder may be waiting for data).
class NetInfo {
  public:
    virtual ~NetInfo() = default;
    // The current text of a BASS_TAG_* type, nullopt when there is none.
    virtual std::optional<std::string> tag(DWORD type) const = 0;
    // BASS_StreamGetFilePosition; a BASS error code.
    virtual int filePosition(DWORD mode, QWORD& out) const = 0;
    virtual std::optional<uint64_t> lengthFrames() const = 0;
    // Where the stream's events go (type BASS_SYNC_META or
    // BASS_SYNC_DOWNLOAD, and its data); called on library threads, never
    // after setEvents(nullptr) has returned.
    virtual void setEvents(std::function<void(DWORD type, DWORD data)> sink) = 0;
    // Ends the download: reads waiting for data return at once.
    virtual void abort() = 0;
};

class Source {
  public:
    virtual ~Source() = default;
    // Reads up to `frames` frames of interleaved floats. Returns the frames
    // read; sets `ended` when nothing more will come until a seek. May return
    // fewer frames (even 0) without ending: a user stream with no data now.
    virtual size_t read(float* out, size_t frames, bool& ended) = 0;
    // Moves to an exact frame; false when the source cannot seek there.
    virtual bool seek(uint64_t frame) = 0;
    virtual std::optional<uint64_t> lengthFrames() const = 0;
    virtual uint32_t channelType() const = 0;
    // Tag block of a BASS_TAG_* type (Decoder::tags).
    virtual std::optional<std::string_view> tags(uint32_t type) const = 0;
    // File positions; nullopt for sources that are not files.
    virtual std::optional<uint64_t> fileBytePosition() const = 0;
    virtual std::optional<uint64_t> fileSize() const = 0;
    // Set for a network stream; lives as long as the source.
    virtual NetInfo* net() { return nullptr; }
};

class DecoderSource : public Source {
  public:
    explicit DecoderSource(std::unique_ptr<Decoder> decoder) : m_decoder(std::move(decoder)) {}
    size_t read(float* out, size_t frames, bool& ended) override;
    bool seek(uint64_t frame) override { return m_decoder->seek(frame); }
    std::optional<uint64_t> lengthFrames() const override { return m_decoder->lengthFrames(); }
    uint32_t channelType() const override { return m_decoder->channelType(); }
    std::optional<std::string_view> tags(uint32_t type) const override { return m_decoder->tags(type); }
    std::optional<uint64_t> fileBytePosition() const override { return m_decoder->fileBytePosition(); }
    std::optional<uint64_t> fileSize() const override { return m_decoder->fileSize(); }

  private:
    std::unique_ptr<Decoder> m_decoder;
};

// A user stream: the callback writes bytes of the stream's sample format.
class UserSource : public Source {
  public:
    UserSource(const SampleFormat& format, STREAMPROC proc, void* user);
    void setHandle(HSTREAM handle) { m_handle = handle; }
    size_t read(float* out, size_t frames, bool& ended) override;
    // A user stream cannot seek; restarting it (frame 0) only forgets that it
    // ended, so the callback is asked again.
    bool seek(uint64_t frame) override;
    std::optional<uint64_t> lengthFrames() const override { return std::nullopt; }
    uint32_t channelType() const override { return BASS_CTYPE_STREAM; }
    std::optional<std::string_view> tags(uint32_t) const override { return std::nullopt; }
    std::optional<uint64_t> fileBytePosition() const override { return std::nullopt; }
    std::optional<uint64_t> fileSize() const override { return std::nullopt; }

  private:
    const SampleFormat m_format;
    STREAMPROC m_proc;
    void* m_user;
    HSTREAM m_handle = 0;
    bool m_ended = false;
    std::vector<uint8_t> m_bytes;  // the callback's buffer
    size_t m_carry = 0;            // bytes of an incomplete frame kept at the front of m_bytes
};

}  // namespace qaudio
