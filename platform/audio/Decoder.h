// The decoder interface of the audio library.
//
// A format is a DecoderFactory (recognises a file and opens it) and a Decoder
// (one open stream). The core owns the decoders it creates and calls each one
// from one thread at a time (the channel's lock is held), so a decoder needs
// no locking of its own. Factories are registered once and must be
// thread-safe (open() may run on several threads at once).
//
// Decoders deliver interleaved 32-bit float samples, nominally in [-1, 1];
// the core converts them to the 16-bit, 8-bit or float output the caller
// asked for. All sizes handed to a decoder are in frames (one sample per
// channel).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qaudio {

class Decoder {
public:
    virtual ~Decoder() = default;

    // Stream properties; constant for the life of the decoder.
    virtual uint32_t sampleRate() const = 0;
    virtual uint32_t channels() const = 0;
    // The channel-type code reported by BASS_ChannelGetInfo (BASS_CTYPE_*).
    virtual uint32_t channelType() const = 0;
    // Total length in frames, exact where the format allows it; nullopt when
    // unknown (then the core reports no length).
    virtual std::optional<uint64_t> lengthFrames() const = 0;

    // Reads up to `frames` frames into `out` (room for frames * channels()
    // floats). Returns the number of frames written: fewer than asked only at
    // the end of the stream or on an unrecoverable error; 0 means the end.
    // Never blocks for longer than reading the file takes.
    virtual uint64_t read(float* out, uint64_t frames) = 0;

    // Moves to an exact frame. Returns false when the stream cannot seek or
    // the frame lies beyond the end; the position is then unchanged.
    virtual bool seek(uint64_t frame) = 0;

    // A tag block of the given BASS_TAG_* type as the caller sees it
    // (BASS_ChannelGetTags), or nullopt when the stream has none of that type.
    // The view stays valid for the life of the decoder.
    virtual std::optional<std::string_view> tags(uint32_t type) const = 0;

    // Byte offsets in the source file, for BASS_StreamGetFilePosition:
    // where decoding is now, and the file's size.
    virtual uint64_t fileBytePosition() const = 0;
    virtual uint64_t fileSize() const = 0;
};

class DecoderFactory {
public:
    virtual ~DecoderFactory() = default;
    // Opens the file when it is of this factory's format; nullptr otherwise
    // (quietly: probing a file of another format is not an error). `flags`
    // are the BASS_StreamCreateFile flags (BASS_STREAM_PRESCAN asks for an
    // exact length even when that means scanning the file).
    virtual std::unique_ptr<Decoder> open(const std::string& path, uint32_t flags) const = 0;

    // Opens a network stream when this factory reads the URL's protocol;
    // nullptr otherwise. May block while the server answers (call it from the
    // thread that creates the stream). Formats read only from files keep this.
    virtual std::unique_ptr<Decoder> openUrl(const std::string& url, uint32_t flags) const {
        (void)url;
        (void)flags;
        return nullptr;
    }
};

}  // namespace qaudio
