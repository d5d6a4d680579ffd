// The seam between the core (libbass.so) and its HTTP transport
// (libbass-net.so, beside it), which links libcurl and its TLS and
// authentication libraries. The transport is loaded on the first URL opened,
// so a start that opens no URL never maps them. Both halves are built
// together; qnet_open hands over ownership of the transfer it returns.
#pragma once

#include <cstddef>
#include <cstdint>

#define QNET_TRANSPORT_LIBRARY "libbass-net.so"

namespace qaudio::net {

struct TransferRequest {
    const char* url = nullptr;
    uint64_t offset = 0;  // the first byte wanted
    uint32_t connectTimeoutMs = 0;
    uint32_t stallTimeoutMs = 0;  // the transfer fails when nothing arrives for this long
};

// What a transfer hands the response to, on the thread that runs it.
class TransferSink {
  public:
    // onBody's answer when it has no room: the transfer pauses until
    // resumable() turns true (a pause does not count as a stall).
    static constexpr size_t kPause = SIZE_MAX;

    // One header line (with its line end). `size` to go on, anything else
    // fails the transfer.
    virtual size_t onHeader(const char* data, size_t size) = 0;
    // Body bytes: `size`, kPause, or anything else to fail the transfer.
    virtual size_t onBody(const char* data, size_t size) = 0;
    virtual bool resumable() = 0;
    virtual bool aborted() const = 0;

  protected:
    ~TransferSink() = default;
};

class Transfer {
  public:
    virtual ~Transfer() = default;
    // Runs the request to its end on the calling thread: BASS_OK when the
    // whole body arrived, BASS_ERROR_ENDED when the sink aborted it, else why
    // it failed (BASS_ERROR_TIMEOUT, BASS_ERROR_FILEOPEN, BASS_ERROR_MEM).
    virtual int run(TransferSink& sink) = 0;
    // Any thread: makes a waiting run() look at the sink's aborted() now.
    virtual void wakeup() = 0;
};

}  // namespace qaudio::net

extern "C" {
// nullptr when the transfer cannot be set up (out of memory).
typedef qaudio::net::Transfer* (*qnet_open_t)(const qaudio::net::TransferRequest* request);
}
