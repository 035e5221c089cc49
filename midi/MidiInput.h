#pragma once

// Note-ons from every MIDI system present: the ALSA sequencer (a client with
// one input port, connected to each hardware output present or plugged in
// later) and JACK (a client with one MIDI input port, when a server runs; a
// server is never started). A system that is missing is skipped without a
// word: a machine with no MIDI at all is normal.
//
// The handler runs on a thread of the input's own, one note at a time, and
// must return promptly (post the note to the thread that plays it).

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace midi {

inline constexpr const char* AlsaClientName = "GRIDLUME User Voice Manager";
inline constexpr const char* AlsaPortName = "MIDI in";
inline constexpr const char* JackClientName = "gridlume-voice-manager";
inline constexpr const char* JackPortName = "midi_in";

struct InputSettings {
    bool alsa = true;         // read the ALSA sequencer
    bool jack = true;         // read JACK when a server runs
    bool autoConnect = true;  // connect the sequencer port to hardware outputs
    int channel = 0;          // 1 ... 16 to take only that channel; 0 any
    bool operator==(const InputSettings&) const = default;
};

// A note-on with a velocity above 0 that passed the channel filter.
using NoteHandler = std::function<void(int note, int velocity)>;

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
    // hands every played note-on to handler. Returns true when at least one
    // system was opened.
    bool Start(const InputSettings& settings, NoteHandler handler);
    // Closes both clients: their ports leave the systems before it returns,
    // and the handler is not called after it.
    void Stop();

    [[nodiscard]] const InputSettings& Settings() const { return m_settings; }
    [[nodiscard]] bool HasAlsa() const { return m_alsa != nullptr; }
    [[nodiscard]] bool HasJack() const { return m_jack != nullptr; }
    // The ports that feed the inputs now, as "system: port" lines.
    [[nodiscard]] std::vector<std::string> Sources() const;

private:
    InputSettings m_settings;
    std::unique_ptr<AlsaSeqInput> m_alsa;
    std::unique_ptr<JackMidiInput> m_jack;
};

}  // namespace midi
