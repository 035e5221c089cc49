#include "midi/JackMidiInput.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <regex>
#include <system_error>
#include <utility>

#include "midi/NoteMap.h"

namespace midi {

namespace {

// Notes waiting for the dispatcher, three bytes each (note, velocity,
// sounded): far more than a player sends in a JACK period.
constexpr size_t RingBytes = 4096;
constexpr size_t NoteBytes = 3;
// Note-ons one cycle starts in the sound; any more only reach the handler.
constexpr size_t MaxStrikesPerCycle = 128;
constexpr const char* OutputNames[2] = {"out_1", "out_2"};

void IgnoreJackMessage(const char*) {}

}  // namespace

void QuietJackMessages() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(&IgnoreJackMessage);
        jack_set_info_function(&IgnoreJackMessage);
    });
}

JackMidiInput::JackMidiInput(const InputSettings& settings, NoteHandler handler,
                             std::shared_ptr<SoundSource> sound)
    : m_settings(settings), m_handler(std::move(handler)), m_sound(std::move(sound)) {}

JackMidiInput::~JackMidiInput() {
    // Closing deactivates: no process call runs after it.
    if (m_client != nullptr) jack_client_close(m_client);
    if (m_attached) m_sound->Detach();
    if (m_dispatcher.joinable()) {
        m_stop.store(true);
        m_wake.release();
        m_dispatcher.join();
    }
    if (m_ring != nullptr) jack_ringbuffer_free(m_ring);
}

bool JackMidiInput::Open() {
    QuietJackMessages();
    jack_status_t status{};
    m_client = jack_client_open(JackClientName, JackNoStartServer, &status);
    if (m_client == nullptr) return false;
    if (m_settings.jack) {
        m_port =
            jack_port_register(m_client, JackPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (m_port == nullptr) return false;
    }
    for (size_t i = 0; m_sound && i < 2; ++i) {
        m_outputs[i] = jack_port_register(m_client, OutputNames[i], JACK_DEFAULT_AUDIO_TYPE,
                                          JackPortIsOutput, 0);
        if (m_outputs[i] == nullptr) return false;
    }
    m_ring = jack_ringbuffer_create(RingBytes);
    if (m_ring == nullptr) return false;
    try {
        m_dispatcher = std::thread(&JackMidiInput::Dispatch, this);
    } catch (const std::system_error&) {
        return false;
    }
    if (jack_set_process_callback(m_client, &JackMidiInput::Process, this) != 0) return false;
    jack_on_info_shutdown(m_client, &JackMidiInput::OnShutdown, this);
    if (m_sound) {
        m_sound->Attach();
        m_attached = true;
    }
    if (jack_activate(m_client) != 0) return false;
    if (m_sound) ConnectOutputs();
    return true;
}

void JackMidiInput::ConnectOutputs() {
    const char** playback = jack_get_ports(m_client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsPhysical | JackPortIsInput);
    if (playback == nullptr) return;
    if (playback[0] != nullptr) {
        // A mono device takes both channels.
        const char* right = playback[1] != nullptr ? playback[1] : playback[0];
        (void)jack_connect(m_client, jack_port_name(m_outputs[0]), playback[0]);
        (void)jack_connect(m_client, jack_port_name(m_outputs[1]), right);
    }
    jack_free(static_cast<void*>(playback));
}

void JackMidiInput::OnShutdown(jack_status_t, const char*, void* self) {
    auto* input = static_cast<JackMidiInput*>(self);
    if (input->m_sound) input->m_sound->Lost();
    input->m_lost.store(true);
}

int JackMidiInput::Process(unsigned frames, void* self) {
    auto* input = static_cast<JackMidiInput*>(self);
    std::array<TimedStrike, MaxStrikesPerCycle> strikes;
    size_t count = 0;
    bool any = false;
    if (input->m_port != nullptr) {
        void* buffer = jack_port_get_buffer(input->m_port, frames);
        const uint32_t events = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < events; ++i) {
            jack_midi_event_t event{};
            if (jack_midi_event_get(&event, buffer, i) != 0 || event.size < 3) continue;
            if (!IsPlayedNoteOn(event.buffer[0], event.buffer[2], input->m_settings)) continue;
            const int note = event.buffer[1] & 0x7F, velocity = event.buffer[2] & 0x7F;
            const bool sounded = input->m_sound && count < strikes.size();
            // Events come in frame order: the sound starts each at its own.
            if (sounded) {
                strikes[count++] = {event.time, RowForNote(note) - 1, GainForVelocity(velocity)};
            }
            const std::array<char, NoteBytes> bytes{static_cast<char>(note),
                                                    static_cast<char>(velocity),
                                                    static_cast<char>(sounded ? 1 : 0)};
            if (jack_ringbuffer_write_space(input->m_ring) < bytes.size()) continue;
            jack_ringbuffer_write(input->m_ring, bytes.data(), bytes.size());
            any = true;
        }
    }
    if (input->m_sound) {
        auto* left = static_cast<float*>(jack_port_get_buffer(input->m_outputs[0], frames));
        auto* right = static_cast<float*>(jack_port_get_buffer(input->m_outputs[1], frames));
        input->m_sound->Render(strikes.data(), count, left, right, frames);
    }
    if (any) input->m_wake.release();
    return 0;
}

void JackMidiInput::Dispatch() {
    for (;;) {
        m_wake.acquire();
        if (m_stop.load()) return;
        std::array<char, NoteBytes> note{};
        while (jack_ringbuffer_read_space(m_ring) >= note.size()) {
            jack_ringbuffer_read(m_ring, note.data(), note.size());
            const bool sounded = note[2] != 0;
            if (sounded) m_sound->Sounded(RowForNote(note[0]) - 1);
            m_handler(note[0], note[1], sounded);
        }
    }
}

bool JackMidiInput::OtherClientInProcess() {
    // The JACK library keeps state for the whole process while any of its
    // clients is open. A client opened on a new server while another client
    // of this process is still bound to the server that went away (the
    // sound library's, when the sound device plays through JACK) takes over
    // that stale state, and the other crashes when it is closed later. The
    // library offers no way to ask; its shared state lives in memory
    // segments named "jack-<user>-<number>", mapped exactly while some
    // client of the process is open (only "jack-shm-registry" stays).
    // Called with this input's own client closed.
    static const std::regex segment(R"(/jack-[0-9]+-[0-9]+( \(deleted\))?$)");
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("/jack-") != std::string::npos && std::regex_search(line, segment))
            return true;
    }
    return false;
}

bool JackMidiInput::ServerSocketPresent() {
    // jackd listens on /dev/shm/jack_<server>_<user id>_0; the server is
    // named by JACK_DEFAULT_SERVER, else "default".
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    if (name == nullptr || name[0] == '\0') name = "default";
    const std::string path =
        std::string("/dev/shm/jack_") + name + "_" + std::to_string(getuid()) + "_0";
    return access(path.c_str(), F_OK) == 0;
}

std::vector<std::string> JackMidiInput::Sources() const {
    std::vector<std::string> sources;
    if (m_port == nullptr) return sources;
    const char** names = jack_port_get_all_connections(m_client, m_port);
    if (names == nullptr) return sources;
    for (const char** name = names; *name != nullptr; ++name) sources.emplace_back(*name);
    jack_free(static_cast<void*>(names));
    return sources;
}

}  // namespace midi
