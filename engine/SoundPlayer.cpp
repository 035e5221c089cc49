// The sound-device side of the engine: the device and its context, each
// slot's buffer and source, play and stop, and the watcher threads.

#include <AL/alext.h>

#include <chrono>
#include <new>
#include <system_error>

#include "audio/AudioData.h"
#include "engine/SlotPlaybackView.h"
#include "engine/SoundEngine.h"

namespace {

constexpr ALCint PreviewRate = 44100;
constexpr auto WatchPeriod = std::chrono::milliseconds(1);

// Clears an error left by an earlier call so that the next check sees only
// what the calls in between did.
void ResetAlError() { alGetError(); }

[[nodiscard]] bool AlOk() { return alGetError() == AL_NO_ERROR; }

}  // namespace

int SoundEngine::SetUpDevice() {
    // Per-thread contexts keep this engine's context off every other
    // thread; watcher threads bind it for themselves.
    if (!openal::HasThreadContexts()) return 0;

    m_device.reset(alcOpenDevice(nullptr));
    if (!m_device) return 0;

    const ALCint attributes[] = {ALC_FREQUENCY, PreviewRate, 0};
    alcGetError(m_device.get());
    m_primary.reset(alcCreateContext(m_device.get(), attributes));
    if (!m_primary || alcGetError(m_device.get()) != ALC_NO_ERROR) return 0;

    const openal::ThreadContextScope bound(m_primary.get());
    if (!bound.ok()) return 0;
    // Sources play the slot's two channels straight to the outputs.
    if (alIsExtensionPresent("AL_SOFT_direct_channels") != AL_TRUE) return 0;
    return AlOk() && alcGetError(m_device.get()) == ALC_NO_ERROR ? 1 : 0;
}

std::string SoundEngine::GetDeviceName() const {
    if (!m_device) return {};
    ALCenum which = ALC_DEVICE_SPECIFIER;
    if (alcIsExtensionPresent(m_device.get(), "ALC_ENUMERATE_ALL_EXT") == ALC_TRUE) {
        which = ALC_ALL_DEVICES_SPECIFIER;
    }
    const ALCchar* name = alcGetString(m_device.get(), which);
    if (name == nullptr) name = alcGetString(m_device.get(), ALC_DEVICE_SPECIFIER);
    try {
        return name != nullptr ? std::string(name) : std::string();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

int SoundEngine::ArmSlotVoice(int slot, const int16_t* copy, int64_t bytes) {
    constexpr int64_t MaxBytes = int64_t{MaxVoiceFrames} * 4;
    if (!IsValidSlot(slot) || copy == nullptr || bytes <= 0 || bytes % 4 != 0 ||
        bytes > MaxBytes || HasVoice(slot)) {
        return 0;
    }
    const openal::ThreadContextScope bound(m_primary.get());
    if (!bound.ok()) return 0;

    // Built in locals and handed to the slot only when complete, so a
    // failure leaves nothing behind.
    openal::Buffer buffer = openal::Buffer::Create();
    if (!buffer) return 0;
    ResetAlError();
    alBufferData(buffer.get(), AL_FORMAT_STEREO16, copy, static_cast<ALsizei>(bytes),
                 PreviewRate);
    if (!AlOk()) return 0;

    openal::Source source = openal::Source::Create();
    if (!source) return 0;
    ResetAlError();
    alSourcei(source.get(), AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
    alSourcei(source.get(), AL_LOOPING, AL_FALSE);
    alSourcei(source.get(), AL_BUFFER, static_cast<ALint>(buffer.get()));
    if (!AlOk()) return 0;

    m_buffers[slot] = std::move(buffer);
    m_notifies[slot] = std::move(source);
    m_watchers[slot] = SlotWatcher{this, slot, m_view};
    m_events[slot].store(true, std::memory_order_release);
    try {
        m_threads[slot] = std::thread(&SoundEngine::WatchSlot, &m_watchers[slot]);
    } catch (const std::system_error&) {
        ReleaseSlotVoice(slot);
        return 0;
    } catch (const std::bad_alloc&) {
        ReleaseSlotVoice(slot);
        return 0;
    }
    return 1;
}

int SoundEngine::PlaySlot(int slot) {
    if (IsSlotLoaded(slot) == 0) return 0;
    const openal::ThreadContextScope bound(m_primary.get());
    if (!bound.ok()) return 0;
    const ALuint source = m_notifies[slot].get();
    alSourceRewind(source);  // its result does not matter: Play starts at 0 too
    ResetAlError();
    alSourcePlay(source);
    return AlOk() ? 1 : 0;
}

int SoundEngine::StopSlot(int slot) {
    if (IsSlotLoaded(slot) == 0) return 0;
    const openal::ThreadContextScope bound(m_primary.get());
    if (!bound.ok()) return 0;
    ResetAlError();
    alSourceStop(m_notifies[slot].get());
    return AlOk() ? 1 : 0;
}

int SoundEngine::IsSlotPlaying(int slot) const {
    if (!IsValidSlot(slot) || !m_notifies[slot]) return 0;
    const openal::ThreadContextScope bound(m_primary.get());
    if (!bound.ok()) return 0;
    return SourcePlaying(slot) ? 1 : 0;
}

bool SoundEngine::SourcePlaying(int slot) const {
    ALint state = AL_STOPPED;
    alGetSourcei(m_notifies[slot].get(), AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

void SoundEngine::WatchSlot(const SlotWatcher* watcher) {
    if (watcher == nullptr || watcher->engine == nullptr || watcher->view == nullptr) return;
    const SoundEngine& engine = *watcher->engine;
    SlotPlaybackView& view = *watcher->view;
    const int slot = watcher->slot;
    // Bound once for the thread's life, so a poll is one atomic load and
    // one source query.
    const openal::ThreadContextScope bound(engine.m_primary.get());
    if (!bound.ok() || !engine.GetSlotEvent(slot)) return;

    for (;;) {
        // Idle: keep the button stopped, also when a very short sound ended
        // before the window switched the button to its playing look.
        while (!engine.SourcePlaying(slot)) {
            if (!engine.GetSlotEvent(slot)) break;
            if (view.GetPlayButtonImage(slot) != view.GetStoppedPlayImage()) {
                view.ShowSlotStopped(slot);
            }
            std::this_thread::sleep_for(WatchPeriod);
        }
        // Playing: wait for the end, a stop or the slot being cleared.
        while (engine.SourcePlaying(slot)) {
            if (!engine.GetSlotEvent(slot)) break;
            std::this_thread::sleep_for(WatchPeriod);
        }
        view.ShowSlotStopped(slot);
        if (!engine.GetSlotEvent(slot)) return;
    }
}
