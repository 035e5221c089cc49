#pragma once

// Private to the MIDI library: the JACK side of MidiInput.

#include <jack/ringbuffer.h>

#include <atomic>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "midi/MidiInput.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace midi {

class JackMidiInput {
public:
    JackMidiInput(const InputSettings& settings, NoteHandler handler);
    ~JackMidiInput();  // closes the client (its port goes with it), then ends the dispatcher
    JackMidiInput(const JackMidiInput&) = delete;
    JackMidiInput& operator=(const JackMidiInput&) = delete;

    // Joins a running server (never starts one) with the client and its
    // port. False, with nothing left open, when no server runs.
    [[nodiscard]] bool Open();
    [[nodiscard]] std::vector<std::string> Sources() const;

private:
    // JACK's real-time thread: copies played note-ons into the ring and
    // wakes the dispatcher. Never blocks, never allocates.
    static int Process(unsigned frames, void* self);
    // Hands the ring's notes to the handler, off the real-time thread.
    void Dispatch();

    const InputSettings m_settings;
    const NoteHandler m_handler;
    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    jack_ringbuffer_t* m_ring = nullptr;
    std::counting_semaphore<> m_wake{0};
    std::atomic<bool> m_stop{false};
    std::thread m_dispatcher;
};

}  // namespace midi
