#pragma once

// Private to the record library: this program's JACK input ports, a client
// of its own opened for one recording and closed after it.

#include <jack/ringbuffer.h>
#include <jack/types.h>

#include <atomic>
#include <memory>
#include <semaphore>
#include <string>
#include <vector>

#include "record/CaptureSource.h"

namespace record {

class JackCapture final : public CaptureSource {
public:
    // Joins a running server (never starts one) with ports in_1 and in_2,
    // each connected as CaptureChoice::connect says. Null when no server
    // runs or a port to connect does not exist.
    [[nodiscard]] static std::unique_ptr<JackCapture> Open(const std::vector<std::string>& connect,
                                                           std::string* reason);

    JackCapture() = default;
    ~JackCapture() override;  // closes the client: no process call after it
    JackCapture(const JackCapture&) = delete;
    JackCapture& operator=(const JackCapture&) = delete;

    [[nodiscard]] int SampleRate() const override { return m_rate; }
    [[nodiscard]] bool Read(std::vector<float>* frames) override;
    void Wait(std::chrono::milliseconds timeout) override;

private:
    // JACK's real-time thread: interleaves both ports into the ring and
    // wakes the reader. Never blocks, never allocates.
    static int Process(jack_nframes_t frames, void* self);
    static void OnShutdown(jack_status_t code, const char* reason, void* self);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_left = nullptr;
    jack_port_t* m_right = nullptr;
    jack_ringbuffer_t* m_ring = nullptr;
    int m_rate = 0;
    std::counting_semaphore<> m_wake{0};
    std::atomic<bool> m_lost{false};
};

}  // namespace record
