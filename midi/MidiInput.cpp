#include "midi/MidiInput.h"

#include <new>
#include <utility>

#include "midi/AlsaSeqInput.h"
#include "midi/JackMidiInput.h"

namespace midi {

bool IsPlayedNoteOn(unsigned char status, unsigned char velocity, const InputSettings& settings) {
    if ((status & 0xF0) != 0x90 || velocity == 0) return false;
    return settings.channel == 0 || (status & 0x0F) + 1 == settings.channel;
}

MidiInput::MidiInput() = default;

MidiInput::~MidiInput() { Stop(); }

bool MidiInput::Start(const InputSettings& settings, NoteHandler handler) {
    Stop();
    m_settings = settings;
    if (!handler) return false;
    if (settings.alsa) {
        m_alsa.reset(new (std::nothrow) AlsaSeqInput(settings, handler));
        if (m_alsa && !m_alsa->Open()) m_alsa.reset();
    }
    if (settings.jack) {
        m_jack.reset(new (std::nothrow) JackMidiInput(settings, std::move(handler)));
        if (m_jack && !m_jack->Open()) m_jack.reset();
    }
    return m_alsa || m_jack;
}

void MidiInput::Stop() {
    m_alsa.reset();
    m_jack.reset();
}

std::vector<std::string> MidiInput::Sources() const {
    std::vector<std::string> lines;
    if (m_alsa) {
        for (std::string& s : m_alsa->Sources()) lines.push_back("ALSA: " + std::move(s));
    }
    if (m_jack) {
        for (std::string& s : m_jack->Sources()) lines.push_back("JACK: " + std::move(s));
    }
    return lines;
}

}  // namespace midi
