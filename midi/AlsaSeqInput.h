#pragma once

// Private to the MIDI library: the ALSA sequencer side of MidiInput.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/MidiInput.h"

typedef struct _snd_seq snd_seq_t;

namespace midi {

class AlsaSeqInput {
public:
    AlsaSeqInput(const InputSettings& settings, NoteHandler handler);
    ~AlsaSeqInput();  // ends the reader, then closes the client (its port goes with it)
    AlsaSeqInput(const AlsaSeqInput&) = delete;
    AlsaSeqInput& operator=(const AlsaSeqInput&) = delete;

    // Opens the client and its port, listens to the announce port,
    // connects the hardware outputs present (when asked) and starts the
    // reader. False, with nothing left open, when there is no sequencer.
    [[nodiscard]] bool Open();
    [[nodiscard]] std::vector<std::string> Sources() const;
    // Whether the sequencer failed under the reader after Open (its device
    // went away): the reader has ended and only closing is left.
    [[nodiscard]] bool Lost() const { return m_lost.load(); }

private:
    void Read();
    // A port that appeared (or was there at the start): connect it when it
    // is a hardware output and automatic connection is on.
    void ConnectIfHardwareOutput(int client, int port);
    // Under m_seqMutex.
    void UpdateSources();

    const InputSettings m_settings;
    const NoteHandler m_handler;
    snd_seq_t* m_seq = nullptr;
    int m_port = -1;
    int m_wakeFd = -1;  // an eventfd that ends the reader
    // Guards m_sources. The handle itself is used by Open, then only by
    // the reader.
    mutable std::mutex m_seqMutex;
    std::vector<std::string> m_sources;
    std::atomic<bool> m_lost{false};
    std::thread m_reader;
};

}  // namespace midi
