#pragma once

// Note-ons from every MIDI system present: the ALSA sequencer (a client with
// one input port, connected to each hardware output present or plugged in
// later) and JACK (a client with one MIDI input port, when a server runs; a
// server is never started). A system that is missing is skipped without a
// word: a machine with no MIDI at all is normal. A system that was missing
// at the start, or goes away later (the JACK server stops), is tried again
// every RetryInterval, quietly, and joined as soon as it is there, its
// connections made as at the start.
//
// The handler runs on a thread of the input's own, one note at a time, and
// must return promptly (post the note to the thread that plays it).
//
// Given a sound, the JACK client also has two audio outputs (out_1, out_2,
// connected to the hardware playback ports) and plays each JACK note-on in
// the sound from the note's own frame, in the same process callback: the
// note sounds exactly one period after it. The handler is then told that
// the note already sounds.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/SoundSource.h"

namespace midi {

inline constexpr const char* AlsaClientName = "GRIDLUME User Voice Manager";
inline constexpr const char* AlsaPortName = "MIDI in";
inline constexpr const char* JackClientName = "gridlume-voice-manager";
inline constexpr const char* JackPortName = "midi_in";
// Keeps the JACK library's own lines off stderr, for every JACK client of
// this process: no server is normal, and so is one that stops and comes
// back while a client tries again.
void QuietJackMessages();
// How often a missing or lost system is tried again: a restarted JACK
// server has the port back well within 2 s, and a machine with no MIDI
// spends next to nothing on the tries (JACK's in full only when a server's
// socket is seen, else every 5 s).
inline constexpr std::chrono::milliseconds RetryInterval{500};

struct InputSettings {
    bool alsa = true;         // read the ALSA sequencer
    bool jack = true;         // read JACK when a server runs
    bool autoConnect = true;  // connect the sequencer port to hardware outputs
    int channel = 0;          // 1 ... 16 to take only that channel; 0 any
    bool operator==(const InputSettings&) const = default;
};

// A note-on with a velocity above 0 that passed the channel filter;
// sounded: it already sounds at the JACK outputs.
using NoteHandler = std::function<void(int note, int velocity, bool sounded)>;

// Whether a channel-voice message (status byte, two data bytes) is a note-on
// to play under settings: note-on, velocity > 0, on the chosen channel.
[[nodiscard]] bool IsPlayedNoteOn(unsigned char status, unsigned char velocity,
                                  const InputSettings& settings);

class AlsaSeqInput;
class JackMidiInput;

class MidiInput {
public:
    MidiInput();
    ~MidiInput();  // Stop()
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // Opens the systems settings ask for (stopping what ran before) and
    // hands every played note-on to handler. With a sound, JACK is joined
    // for its outputs even when the settings leave JACK's MIDI off. Returns
    // true when at least one system was opened now; the others are tried
    // again in the background until Stop.
    bool Start(const InputSettings& settings, NoteHandler handler,
               std::shared_ptr<SoundSource> sound = nullptr);
    // notice is called (on the retry thread, once per loss, after the lost
    // client closed) when the JACK server went away; set it before the first Start.
    // Another JACK client of this process, such as a sound device playing
    // through JACK, must close then: the server is rejoined only once none
    // is left bound to the old one.
    void SetJackLostNotice(std::function<void()> notice) { m_jackLostNotice = std::move(notice); }
    // Ends the retries and closes both clients: their ports leave the
    // systems before it returns, and the handler is not called after it.
    void Stop();

    [[nodiscard]] const InputSettings& Settings() const { return m_settings; }
    // Whether the system's client is joined now.
    [[nodiscard]] bool HasAlsa() const;
    [[nodiscard]] bool HasJack() const;
    // Whether the JACK client plays the sound at its outputs now.
    [[nodiscard]] bool HasJackOutput() const;
    // The ports that feed the inputs now, as "system: port" lines.
    [[nodiscard]] std::vector<std::string> Sources() const;

private:
    // Opens each system the settings ask for that is not joined (never was,
    // or was lost), closing a lost client first.
    void OpenMissing(bool atStart);
    // The retry thread: OpenMissing every RetryInterval until Stop.
    void Retry();

    InputSettings m_settings;
    NoteHandler m_handler;
    std::shared_ptr<SoundSource> m_sound;
    std::function<void()> m_jackLostNotice;
    // Guards the two clients, which the retry thread replaces while other
    // threads ask for them.
    mutable std::mutex m_inputsMutex;
    std::unique_ptr<AlsaSeqInput> m_alsa;
    std::unique_ptr<JackMidiInput> m_jack;
    bool m_jackWasLost = false;  // since Start; the retry thread's own
    int m_jackSkipped = 0;       // tries of JACK left out; the retry thread's own
    std::mutex m_retryMutex;     // guards m_stopRetry
    std::condition_variable m_retryWake;
    bool m_stopRetry = false;
    std::thread m_retry;
};

}  // namespace midi
