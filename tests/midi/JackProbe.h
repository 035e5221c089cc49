#pragma once

// A JACK server with the dummy driver and a client that plays the MIDI
// controller and the listener at once: it sends note-ons at known frames to
// the program's MIDI port and records what the program puts out (its own
// JACK outputs, or its sound device's), frame by frame on the server's
// clock. Shared by the end-to-end test and the latency benchmark.

#include <fcntl.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace jackprobe {

inline constexpr int Rate = 44100;
inline constexpr int Period = 256;
inline constexpr const char* ProgramMidiPort = "gridlume-voice-manager:midi_in";
inline constexpr const char* ProgramOutputs = "^gridlume-voice-manager:out_";

inline void Quiet(const char*) {}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// jackd -d dummy at 44,100 Hz with 256-frame periods, under a server name
// of its own (set as JACK_DEFAULT_SERVER for this process and its
// children), so that it meets no other server on the machine.
class Server {
public:
    explicit Server(const std::string& name) : m_name(name) {
        jack_set_error_function(&Quiet);
        jack_set_info_function(&Quiet);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        const std::string rate = std::to_string(Rate), period = std::to_string(Period);
        const char* argv[] = {"jackd", "--no-realtime", "-n", name.c_str(),   "-d",   "dummy",
                              "-r",    rate.c_str(),    "-p", period.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&m_pid, "jackd", &actions, nullptr, const_cast<char**>(argv), environ) !=
            0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (m_pid <= 0) return;
        m_running = WaitFor(
            [] {
                jack_client_t* c = jack_client_open("glw-probe-wait", JackNoStartServer, nullptr);
                if (c == nullptr) return false;
                jack_client_close(c);
                return true;
            },
            std::chrono::seconds(10));
    }
    ~Server() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    [[nodiscard]] bool Running() const { return m_running; }

private:
    std::string m_name;
    pid_t m_pid = -1;
    bool m_running = false;
};

class Probe {
public:
    explicit Probe(double seconds) : m_recording(static_cast<size_t>(seconds * Rate), 0.0f) {
        // A loaded server can turn a client away while another one joins
        // (the program starting beside this probe): try again until a
        // deadline rather than fail the first time.
        m_ok = WaitFor([this] { return Open(); }, std::chrono::seconds(10));
    }
    ~Probe() { Close(); }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;
    [[nodiscard]] bool Ok() const { return m_ok; }

    // Connects to the program: its MIDI port, and its outputs (the first
    // two ports whose names match soundPorts, a regular expression) to this
    // client's inputs. False when they do not appear.
    [[nodiscard]] bool ConnectToProgram(std::chrono::milliseconds limit,
                                        const char* soundPorts = ProgramOutputs) {
        if (!ConnectMidi(limit)) return false;
        const bool connected = WaitFor(
            [&] {
                const char** ports =
                    jack_get_ports(m_client, soundPorts, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
                if (ports == nullptr) return false;
                int made = 0;
                for (int i = 0; i < 2 && ports[i] != nullptr; ++i) {
                    const int result = jack_connect(m_client, ports[i], jack_port_name(m_in[i]));
                    if (result == 0 || result == EEXIST) ++made;
                }
                jack_free(static_cast<void*>(ports));
                return made == 2;
            },
            limit);
        // The server takes new connections into its graph at the start of a
        // later cycle: a note sent in the cycle the connection was made in
        // is lost on a loaded machine. Once a few cycles have run, they hold.
        const uint64_t from = m_cycles.load();
        return connected && WaitFor([&] { return m_cycles.load() >= from + 3; }, limit);
    }

    // Connects this client's MIDI output to the program's MIDI port; false
    // when the port does not appear within limit.
    [[nodiscard]] bool ConnectMidi(std::chrono::milliseconds limit) {
        // A port is seen before its client is active, and cannot be
        // connected until it is: retry until the connection holds.
        const std::string midiOut = jack_port_name(m_midiOut);
        return WaitFor(
            [&] {
                const int made = jack_connect(m_client, midiOut.c_str(), ProgramMidiPort);
                return made == 0 || made == EEXIST;
            },
            limit);
    }

    // Starts recording the left channel from the next period on.
    void StartRecording() { m_recordWanted.store(true); }

    // Sends a note-on at frame offset (0 ... Period - 1) of the next period
    // and returns the recording's frame it went out at; -1 when the
    // recording is full.
    [[nodiscard]] long SendNoteOn(int note, int velocity, int offset = 0) {
        m_noteSent.store(-1);
        m_offset.store(offset);
        m_note.store(note << 8 | velocity);
        m_noteWanted.store(true);
        (void)WaitFor([&] { return m_noteSent.load() >= 0 || Full(); },
                      std::chrono::milliseconds(1000));
        return m_noteSent.load();
    }

    [[nodiscard]] bool Full() const { return m_recorded.load() >= m_recording.size(); }
    [[nodiscard]] size_t Recorded() const { return m_recorded.load(); }
    [[nodiscard]] const std::vector<float>& Recording() const { return m_recording; }

    // The first recorded frame at or after from that is not silence; -1
    // when there is none before the end of what was recorded.
    [[nodiscard]] long FirstSound(long from, float threshold = 0.01f) const {
        const size_t end = m_recorded.load();
        for (size_t i = static_cast<size_t>(from); i < end; ++i) {
            if (std::fabs(m_recording[i]) > threshold) return static_cast<long>(i);
        }
        return -1;
    }

private:
    bool Open() {
        Close();
        m_client = jack_client_open("glw-probe", JackNoStartServer, nullptr);
        if (m_client == nullptr) return false;
        m_midiOut =
            jack_port_register(m_client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        m_in[0] = jack_port_register(m_client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        m_in[1] = jack_port_register(m_client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_client, &Probe::Process, this);
        return m_midiOut != nullptr && m_in[0] != nullptr && m_in[1] != nullptr &&
               jack_activate(m_client) == 0;
    }
    void Close() {
        if (m_client != nullptr) jack_client_close(m_client);
        m_client = nullptr;
    }

    static int Process(jack_nframes_t frames, void* self) {
        auto* probe = static_cast<Probe*>(self);
        probe->m_cycles.fetch_add(1);
        void* midi = jack_port_get_buffer(probe->m_midiOut, frames);
        jack_midi_clear_buffer(midi);
        if (!probe->m_recordWanted.load()) return 0;
        const size_t at = probe->m_recorded.load();
        if (probe->m_noteWanted.exchange(false)) {
            const int note = probe->m_note.load();
            const jack_midi_data_t bytes[3] = {0x90, static_cast<jack_midi_data_t>(note >> 8),
                                               static_cast<jack_midi_data_t>(note & 0x7F)};
            const int offset = probe->m_offset.load();
            if (jack_midi_event_write(midi, static_cast<jack_nframes_t>(offset), bytes, 3) == 0) {
                probe->m_noteSent.store(static_cast<long>(at) + offset);
            }
        }
        const auto* in = static_cast<const float*>(jack_port_get_buffer(probe->m_in[0], frames));
        size_t n = 0;
        for (; n < frames && at + n < probe->m_recording.size(); ++n) {
            probe->m_recording[at + n] = in[n];
        }
        probe->m_recorded.store(at + n);
        return 0;
    }

    jack_client_t* m_client = nullptr;
    jack_port_t* m_midiOut = nullptr;
    jack_port_t* m_in[2] = {nullptr, nullptr};
    bool m_ok = false;
    std::vector<float> m_recording;
    std::atomic<size_t> m_recorded{0};
    std::atomic<bool> m_recordWanted{false};
    std::atomic<bool> m_noteWanted{false};
    std::atomic<int> m_note{0};
    std::atomic<int> m_offset{0};
    std::atomic<long> m_noteSent{-1};
    std::atomic<uint64_t> m_cycles{0};
};

}  // namespace jackprobe
