#include "record/JackCapture.h"

#include <jack/jack.h>

#include <algorithm>

#include "midi/MidiInput.h"

namespace record {

namespace {

// The ring holds two seconds of stereo frames: the reader empties it every
// few milliseconds.
constexpr size_t RingSeconds = 2;

}  // namespace

std::unique_ptr<JackCapture> JackCapture::Open(const std::vector<std::string>& connect,
                                               std::string* reason) {
    auto capture = std::make_unique<JackCapture>();
    const auto fail = [reason](std::string why) {
        if (reason != nullptr) *reason = std::move(why);
        return nullptr;
    };
    midi::QuietJackMessages();
    jack_status_t status{};
    // The window's MIDI input holds the name already: the server then
    // gives this client a numbered one.
    capture->m_client = jack_client_open(midi::JackClientName, JackNoStartServer, &status);
    if (capture->m_client == nullptr) return fail("no JACK server is running");
    jack_client_t* client = capture->m_client;
    capture->m_rate = static_cast<int>(jack_get_sample_rate(client));
    capture->m_left =
        jack_port_register(client, JackLeftPort, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    capture->m_right =
        jack_port_register(client, JackRightPort, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    capture->m_ring = jack_ringbuffer_create(RingSeconds * static_cast<size_t>(capture->m_rate) *
                                             2 * sizeof(float));
    if (capture->m_left == nullptr || capture->m_right == nullptr || capture->m_ring == nullptr)
        return fail("the JACK input ports could not be made");
    for (const std::string& port : connect) {
        if (jack_port_by_name(client, port.c_str()) == nullptr)
            return fail("there is no JACK port named \"" + port + "\"");
    }
    if (jack_set_process_callback(client, &JackCapture::Process, capture.get()) != 0)
        return fail("the JACK server refused the client");
    jack_on_info_shutdown(client, &JackCapture::OnShutdown, capture.get());
    if (jack_activate(client) != 0) return fail("the JACK server refused the client");
    // One port feeds both inputs; with more, they take turns.
    const std::string left = jack_port_name(capture->m_left);
    const std::string right = jack_port_name(capture->m_right);
    for (size_t i = 0; i < connect.size(); ++i) {
        const bool both = connect.size() == 1;
        if (both || i % 2 == 0) (void)jack_connect(client, connect[i].c_str(), left.c_str());
        if (both || i % 2 == 1) (void)jack_connect(client, connect[i].c_str(), right.c_str());
    }
    return capture;
}

JackCapture::~JackCapture() {
    if (m_client != nullptr) jack_client_close(m_client);
    if (m_ring != nullptr) jack_ringbuffer_free(m_ring);
}

void JackCapture::OnShutdown(jack_status_t, const char*, void* self) {
    auto* capture = static_cast<JackCapture*>(self);
    capture->m_lost.store(true);
    capture->m_wake.release();
}

int JackCapture::Process(jack_nframes_t frames, void* self) {
    auto* capture = static_cast<JackCapture*>(self);
    const auto* left = static_cast<const float*>(jack_port_get_buffer(capture->m_left, frames));
    const auto* right = static_cast<const float*>(jack_port_get_buffer(capture->m_right, frames));
    // Frames that find the ring full are dropped: the reader fell behind.
    const size_t room = jack_ringbuffer_write_space(capture->m_ring) / (2 * sizeof(float));
    const size_t count = std::min<size_t>(frames, room);
    for (size_t i = 0; i < count; ++i) {
        const float pair[2] = {left[i], right[i]};
        jack_ringbuffer_write(capture->m_ring, reinterpret_cast<const char*>(pair), sizeof(pair));
    }
    capture->m_wake.release();
    return 0;
}

bool JackCapture::Read(std::vector<float>* frames) {
    const size_t bytes =
        jack_ringbuffer_read_space(m_ring) / (2 * sizeof(float)) * 2 * sizeof(float);
    if (bytes > 0) {
        const size_t at = frames->size();
        frames->resize(at + bytes / sizeof(float));
        jack_ringbuffer_read(m_ring, reinterpret_cast<char*>(frames->data() + at), bytes);
    }
    return !m_lost.load();
}

void JackCapture::Wait(std::chrono::milliseconds timeout) { (void)m_wake.try_acquire_for(timeout); }

}  // namespace record
