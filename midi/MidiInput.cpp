#include "midi/MidiInput.h"

#include <new>
#include <system_error>
#include <utility>

#include "midi/AlsaSeqInput.h"
#include "midi/JackMidiInput.h"

namespace midi {

namespace {

// Tries of JACK with no server socket seen before one is made anyway (5 s).
constexpr int SlowRetries = 10;

}  // namespace

bool IsPlayedNoteOn(unsigned char status, unsigned char velocity, const InputSettings& settings) {
    if ((status & 0xF0) != 0x90 || velocity == 0) return false;
    return settings.channel == 0 || (status & 0x0F) + 1 == settings.channel;
}

MidiInput::MidiInput() = default;

MidiInput::~MidiInput() { Stop(); }

bool MidiInput::Start(const InputSettings& settings, NoteHandler handler,
                      std::shared_ptr<SoundSource> sound) {
    Stop();
    m_settings = settings;
    m_jackWasLost = false;
    if (!handler) return false;
    m_handler = std::move(handler);
    m_sound = std::move(sound);
    m_jackSkipped = 0;
    OpenMissing(true);
    if (settings.alsa || settings.jack || m_sound) {
        m_stopRetry = false;
        try {
            m_retry = std::thread(&MidiInput::Retry, this);
        } catch (const std::system_error&) {
            // Without the thread, what opened now still plays.
        }
    }
    return HasAlsa() || HasJack();
}

void MidiInput::Stop() {
    if (m_retry.joinable()) {
        {
            const std::lock_guard lock(m_retryMutex);
            m_stopRetry = true;
        }
        m_retryWake.notify_one();
        m_retry.join();
    }
    std::unique_ptr<AlsaSeqInput> alsa;
    std::unique_ptr<JackMidiInput> jack;
    {
        const std::lock_guard lock(m_inputsMutex);
        alsa = std::move(m_alsa);
        jack = std::move(m_jack);
    }
    // Closed here, off the lock: each ends its threads (and handler calls)
    // on the way.
}

void MidiInput::Retry() {
    std::unique_lock lock(m_retryMutex);
    while (!m_retryWake.wait_for(lock, RetryInterval, [this] { return m_stopRetry; })) {
        lock.unlock();
        OpenMissing(false);
        lock.lock();
    }
}

void MidiInput::OpenMissing(bool atStart) {
    // Only Start and then the retry thread replace the clients. A lost one
    // is closed (its handler calls ended) before its replacement opens, and
    // off the lock, so that asking for the sources never waits on a close.
    std::unique_ptr<AlsaSeqInput> lostAlsa;
    std::unique_ptr<JackMidiInput> lostJack;
    bool openAlsa = false;
    bool openJack = false;
    {
        const std::lock_guard lock(m_inputsMutex);
        if (m_alsa && m_alsa->Lost()) lostAlsa = std::move(m_alsa);
        if (m_jack && m_jack->Lost()) lostJack = std::move(m_jack);
        openAlsa = m_settings.alsa && !m_alsa;
        openJack = (m_settings.jack || m_sound) && !m_jack;
    }
    lostAlsa.reset();
    if (lostJack) {
        lostJack.reset();
        m_jackWasLost = true;
        if (m_jackLostNotice) m_jackLostNotice();
    }
    // Trying JACK costs its library a few milliseconds of CPU even with no
    // server: between tries in full, the socket of a JACK server (jackd)
    // says when one is there; a server without it (PipeWire's) is still
    // found within SlowRetries tries.
    if (openJack && !atStart) {
        if (!JackMidiInput::ServerSocketPresent() && ++m_jackSkipped < SlowRetries) {
            openJack = false;
        } else {
            m_jackSkipped = 0;
        }
    }
    // After a server went away, another JACK client of this process still
    // bound to it makes joining the new one unsafe: wait until it is gone.
    if (openJack && m_jackWasLost && JackMidiInput::OtherClientInProcess()) openJack = false;
    if (openAlsa) {
        std::unique_ptr<AlsaSeqInput> alsa(new (std::nothrow) AlsaSeqInput(m_settings, m_handler));
        if (alsa && alsa->Open()) {
            const std::lock_guard lock(m_inputsMutex);
            m_alsa = std::move(alsa);
        }
    }
    if (openJack) {
        std::unique_ptr<JackMidiInput> jack(new (std::nothrow)
                                                JackMidiInput(m_settings, m_handler, m_sound));
        if (jack && jack->Open()) {
            const std::lock_guard lock(m_inputsMutex);
            m_jack = std::move(jack);
        }
    }
}

bool MidiInput::HasAlsa() const {
    const std::lock_guard lock(m_inputsMutex);
    return m_alsa && !m_alsa->Lost();
}

bool MidiInput::HasJack() const {
    const std::lock_guard lock(m_inputsMutex);
    return m_jack && !m_jack->Lost();
}

bool MidiInput::HasJackOutput() const {
    const std::lock_guard lock(m_inputsMutex);
    return m_jack && !m_jack->Lost() && m_jack->HasOutput();
}

std::vector<std::string> MidiInput::Sources() const {
    const std::lock_guard lock(m_inputsMutex);
    std::vector<std::string> lines;
    if (m_alsa && !m_alsa->Lost()) {
        for (std::string& s : m_alsa->Sources()) lines.push_back("ALSA: " + std::move(s));
    }
    if (m_jack && !m_jack->Lost()) {
        for (std::string& s : m_jack->Sources()) lines.push_back("JACK: " + std::move(s));
    }
    return lines;
}

}  // namespace midi
