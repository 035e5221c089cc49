#include "midi/AlsaSeqInput.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

namespace midi {

namespace {

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// A machine without a sequencer is normal: the library's own lines about
// the missing device stay off stderr (the sound engine does the same for
// the sound card).
void QuietAlsaErrors() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&IgnoreAlsaError); });
}

std::string PortLabel(snd_seq_t* seq, int client, int port) {
    snd_seq_port_info_t* info = nullptr;
    snd_seq_port_info_alloca(&info);
    if (snd_seq_get_any_port_info(seq, client, port, info) < 0) {
        return std::to_string(client) + ":" + std::to_string(port);
    }
    snd_seq_client_info_t* clientInfo = nullptr;
    snd_seq_client_info_alloca(&clientInfo);
    std::string name;
    if (snd_seq_get_any_client_info(seq, client, clientInfo) >= 0) {
        name = snd_seq_client_info_get_name(clientInfo);
        name += ": ";
    }
    return name + snd_seq_port_info_get_name(info);
}

}  // namespace

AlsaSeqInput::AlsaSeqInput(const InputSettings& settings, NoteHandler handler)
    : m_settings(settings), m_handler(std::move(handler)) {}

AlsaSeqInput::~AlsaSeqInput() {
    if (m_reader.joinable()) {
        const uint64_t one = 1;
        if (write(m_wakeFd, &one, sizeof one) < 0) {
            // An eventfd write fails only on overflow; the reader wakes anyway.
        }
        m_reader.join();
    }
    if (m_wakeFd >= 0) close(m_wakeFd);
    if (m_seq != nullptr) snd_seq_close(m_seq);
}

bool AlsaSeqInput::Open() {
    QuietAlsaErrors();
    if (snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
        m_seq = nullptr;
        return false;
    }
    snd_seq_set_client_name(m_seq, AlsaClientName);
    m_port = snd_seq_create_simple_port(
        m_seq, AlsaPortName, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    m_wakeFd = eventfd(0, EFD_CLOEXEC);
    if (m_port < 0 || m_wakeFd < 0) return false;
    // Ports that come and go, and connections made to ours by others.
    (void)snd_seq_connect_from(m_seq, m_port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);

    snd_seq_client_info_t* client = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_t* port = nullptr;
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(m_seq, client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(m_seq, port) >= 0) {
            ConnectIfHardwareOutput(id, snd_seq_port_info_get_port(port));
        }
    }
    {
        const std::lock_guard lock(m_seqMutex);
        UpdateSources();
    }
    try {
        m_reader = std::thread(&AlsaSeqInput::Read, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void AlsaSeqInput::ConnectIfHardwareOutput(int client, int port) {
    if (!m_settings.autoConnect || client == snd_seq_client_id(m_seq)) return;
    if (client == SND_SEQ_CLIENT_SYSTEM) return;
    snd_seq_port_info_t* info = nullptr;
    snd_seq_port_info_alloca(&info);
    if (snd_seq_get_any_port_info(m_seq, client, port, info) < 0) return;
    const unsigned caps = snd_seq_port_info_get_capability(info);
    const unsigned type = snd_seq_port_info_get_type(info);
    const unsigned output = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
    if ((caps & output) != output || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0) return;
    if ((type & SND_SEQ_PORT_TYPE_HARDWARE) == 0) return;
    (void)snd_seq_connect_from(m_seq, m_port, client, port);
}

void AlsaSeqInput::UpdateSources() {
    std::vector<std::string> sources;
    snd_seq_query_subscribe_t* query = nullptr;
    snd_seq_query_subscribe_alloca(&query);
    snd_seq_addr_t self{};
    self.client = static_cast<unsigned char>(snd_seq_client_id(m_seq));
    self.port = static_cast<unsigned char>(m_port);
    snd_seq_query_subscribe_set_root(query, &self);
    snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_WRITE);
    snd_seq_query_subscribe_set_index(query, 0);
    while (snd_seq_query_port_subscribers(m_seq, query) >= 0) {
        const snd_seq_addr_t* from = snd_seq_query_subscribe_get_addr(query);
        if (from->client != SND_SEQ_CLIENT_SYSTEM) {
            sources.push_back(PortLabel(m_seq, from->client, from->port));
        }
        snd_seq_query_subscribe_set_index(query, snd_seq_query_subscribe_get_index(query) + 1);
    }
    m_sources = std::move(sources);
}

std::vector<std::string> AlsaSeqInput::Sources() const {
    const std::lock_guard lock(m_seqMutex);
    return m_sources;
}

void AlsaSeqInput::Read() {
    std::vector<pollfd> fds(1);
    {
        const std::lock_guard lock(m_seqMutex);
        const int count = snd_seq_poll_descriptors_count(m_seq, POLLIN);
        fds.resize(static_cast<size_t>(count > 0 ? count : 0) + 1);
        (void)snd_seq_poll_descriptors(m_seq, fds.data() + 1, static_cast<unsigned>(count), POLLIN);
    }
    fds[0] = {m_wakeFd, POLLIN, 0};
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents != 0) return;
        for (size_t i = 1; i < fds.size(); ++i) {
            if ((fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                m_lost.store(true);
                return;
            }
        }
        std::unique_lock lock(m_seqMutex);  // for the list; the handle is this thread's now
        for (;;) {
            snd_seq_event_t* event = nullptr;
            const int left = snd_seq_event_input(m_seq, &event);
            if (left == -ENOSPC) continue;  // events were lost to an overrun; read on
            if (left == -ENODEV || left == -EBADFD || left == -EBADF || left == -EIO) {
                // The sequencer itself failed: MidiInput opens a new client.
                m_lost.store(true);
                return;
            }
            if (left < 0 || event == nullptr) break;
            switch (event->type) {
            case SND_SEQ_EVENT_NOTEON: {
                const snd_seq_ev_note_t& note = event->data.note;
                const auto status = static_cast<unsigned char>(0x90 | (note.channel & 0x0F));
                if (IsPlayedNoteOn(status, note.velocity, m_settings)) {
                    lock.unlock();
                    m_handler(note.note & 0x7F, note.velocity & 0x7F, false);
                    lock.lock();
                }
                break;
            }
            case SND_SEQ_EVENT_PORT_START:
                ConnectIfHardwareOutput(event->data.addr.client, event->data.addr.port);
                UpdateSources();
                break;
            case SND_SEQ_EVENT_PORT_EXIT:
            case SND_SEQ_EVENT_PORT_SUBSCRIBED:
            case SND_SEQ_EVENT_PORT_UNSUBSCRIBED: UpdateSources(); break;
            default: break;
            }
        }
    }
}

}  // namespace midi
