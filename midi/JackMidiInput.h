#pragma once

// Private to the MIDI library: the JACK side of MidiInput.

#include <jack/ringbuffer.h>
#include <jack/types.h>

#include <atomic>
#include <memory>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "midi/MidiInput.h"
#include "midi/SoundSource.h"

namespace midi {

class JackMidiInput {
public:
    // sound (may be null): played at the client's audio outputs.
    JackMidiInput(const InputSettings& settings, NoteHandler handler,
                  std::shared_ptr<SoundSource> sound);
    ~JackMidiInput();  // closes the client (its ports go with it), then ends the dispatcher
    JackMidiInput(const JackMidiInput&) = delete;
    JackMidiInput& operator=(const JackMidiInput&) = delete;

    // Joins a running server (never starts one) with the client: its MIDI
    // port when the settings read JACK, and with a sound its two audio
    // outputs, connected to the first two hardware playback ports. False
    // when no server runs.
    [[nodiscard]] bool Open();
    [[nodiscard]] bool HasOutput() const { return m_sound != nullptr; }
    [[nodiscard]] std::vector<std::string> Sources() const;
    // Whether the server went away (it stopped or failed) after Open: the
    // client is dead and only closing it is left.
    [[nodiscard]] bool Lost() const { return m_lost.load(); }
    // Whether some other part of this process (the sound device, when it
    // plays through JACK) still holds a JACK client. Checked before joining
    // a server that came back: see the definition.
    [[nodiscard]] static bool OtherClientInProcess();
    // Whether the socket of a JACK server (jackd) of the name this process
    // joins is there: a test that costs nothing, unlike opening a client.
    [[nodiscard]] static bool ServerSocketPresent();

private:
    // JACK's real-time thread: starts played note-ons in the sound at their
    // frames, copies them into the ring and wakes the dispatcher. Never
    // blocks, never allocates.
    static int Process(unsigned frames, void* self);
    // On one of the library's threads when the server goes: only marks the
    // client lost (nothing may be closed from there).
    static void OnShutdown(jack_status_t code, const char* reason, void* self);
    // Hands the ring's notes to the handler, off the real-time thread.
    void Dispatch();
    void ConnectOutputs();

    const InputSettings m_settings;
    const NoteHandler m_handler;
    jack_client_t* m_client = nullptr;
    const std::shared_ptr<SoundSource> m_sound;
    jack_port_t* m_port = nullptr;  // null when only the sound is asked for
    jack_port_t* m_outputs[2] = {nullptr, nullptr};
    bool m_attached = false;  // the sound was attached to this client
    jack_ringbuffer_t* m_ring = nullptr;
    std::counting_semaphore<> m_wake{0};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_lost{false};
    std::thread m_dispatcher;
};

}  // namespace midi
