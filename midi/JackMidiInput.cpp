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

namespace midi {

namespace {

// Notes waiting for the dispatcher, two bytes each: far more than a player
// sends in a JACK period.
constexpr size_t RingBytes = 4096;

void IgnoreJackMessage(const char*) {}

// No server is normal, and so is one that stops and comes back while the
// input tries again: the library's own lines about each failed connection
// stay off stderr.
void QuietJackMessages() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(&IgnoreJackMessage);
        jack_set_info_function(&IgnoreJackMessage);
    });
}

}  // namespace

JackMidiInput::JackMidiInput(const InputSettings& settings, NoteHandler handler)
    : m_settings(settings), m_handler(std::move(handler)) {}

JackMidiInput::~JackMidiInput() {
    // Closing deactivates: no process call runs after it.
    if (m_client != nullptr) jack_client_close(m_client);
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
    m_port = jack_port_register(m_client, JackPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_ring = jack_ringbuffer_create(RingBytes);
    if (m_port == nullptr || m_ring == nullptr) return false;
    try {
        m_dispatcher = std::thread(&JackMidiInput::Dispatch, this);
    } catch (const std::system_error&) {
        return false;
    }
    if (jack_set_process_callback(m_client, &JackMidiInput::Process, this) != 0) return false;
    jack_on_info_shutdown(m_client, &JackMidiInput::OnShutdown, this);
    return jack_activate(m_client) == 0;
}

void JackMidiInput::OnShutdown(jack_status_t, const char*, void* self) {
    static_cast<JackMidiInput*>(self)->m_lost.store(true);
}

int JackMidiInput::Process(unsigned frames, void* self) {
    auto* input = static_cast<JackMidiInput*>(self);
    void* buffer = jack_port_get_buffer(input->m_port, frames);
    const uint32_t count = jack_midi_get_event_count(buffer);
    bool any = false;
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event{};
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size < 3) continue;
        if (!IsPlayedNoteOn(event.buffer[0], event.buffer[2], input->m_settings)) continue;
        const std::array<char, 2> note{static_cast<char>(event.buffer[1] & 0x7F),
                                       static_cast<char>(event.buffer[2] & 0x7F)};
        if (jack_ringbuffer_write_space(input->m_ring) < note.size()) break;
        jack_ringbuffer_write(input->m_ring, note.data(), note.size());
        any = true;
    }
    if (any) input->m_wake.release();
    return 0;
}

void JackMidiInput::Dispatch() {
    for (;;) {
        m_wake.acquire();
        if (m_stop.load()) return;
        std::array<char, 2> note{};
        while (jack_ringbuffer_read_space(m_ring) >= note.size()) {
            jack_ringbuffer_read(m_ring, note.data(), note.size());
            m_handler(note[0], note[1]);
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
    const char** names = jack_port_get_all_connections(m_client, m_port);
    if (names == nullptr) return sources;
    for (const char** name = names; *name != nullptr; ++name) sources.emplace_back(*name);
    jack_free(static_cast<void*>(names));
    return sources;
}

}  // namespace midi
