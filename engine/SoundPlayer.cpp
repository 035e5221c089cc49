// The sound-device side of the engine: the device and its context, each
// slot's buffer and source, play and stop, and the watcher thread.

#include "engine/SoundPlayer.h"

#include <AL/alext.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <new>
#include <system_error>
#include <utility>

#include "engine/DeviceBuffer.h"
#include "engine/RowSampler.h"

namespace {

constexpr ALCint PreviewRate = 44100;
// How often the watcher looks at the sources while a play awaits its report.
constexpr auto PollPeriod = std::chrono::milliseconds(1);

// Clears an error left by an earlier call so that the next check sees only
// what the calls in between did.
void ResetAlError() { alGetError(); }

[[nodiscard]] bool AlOk() { return alGetError() == AL_NO_ERROR; }

// A play's gain: 0 (silent) ... 1 (the samples as they are).
[[nodiscard]] bool IsGain(float gain) { return gain >= 0.0f && gain <= 1.0f; }

[[nodiscard]] bool SourcePlaying(ALuint source) {
    ALint state = AL_STOPPED;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

// The ALSA library's error handler type, declared here so that silencing it
// needs neither its headers nor a link to it.
using AlsaErrorHandler = void (*)(const char* file, int line, const char* function, int error,
                                  const char* format, ...);
using AlsaSetErrorHandler = int (*)(AlsaErrorHandler handler);

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// Without a usable sound card, OpenAL Soft and the ALSA library below it
// each write their own error lines to stderr, and our programs then say
// what failed in their own words. The user who asks OpenAL Soft for its log
// (ALSOFT_LOGLEVEL) gets both libraries' lines as before.
void QuietLibraryLogsOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        AskForShortDeviceBuffer();
        if (std::getenv("ALSOFT_LOGLEVEL") != nullptr) return;
        // OpenAL Soft reads its log level when the first device or
        // extension call initialises it, which has not happened yet.
        setenv("ALSOFT_LOGLEVEL", "0", 0);
        // OpenAL Soft loads the ALSA library at run time; loaded here first,
        // it is the same instance, so the handler set here is the one it
        // sees. The library stays loaded for the process's life.
        void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (alsa == nullptr) return;
        auto set = reinterpret_cast<AlsaSetErrorHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
        if (set != nullptr) set(&IgnoreAlsaError);
    });
}

// Makes a buffer holding the whole copy and a source that plays it straight
// to the outputs, in the context bound to the calling thread. False, with
// nothing made, on any error.
[[nodiscard]] bool MakeVoice(const int16_t* copy, uint32_t bytes, openal::Buffer* buffer,
                             openal::Source* source) {
    openal::Buffer newBuffer = openal::Buffer::Create();
    if (!newBuffer) return false;
    ResetAlError();
    alBufferData(newBuffer.get(), AL_FORMAT_STEREO16, copy, static_cast<ALsizei>(bytes),
                 PreviewRate);
    if (!AlOk()) return false;

    openal::Source newSource = openal::Source::Create();
    if (!newSource) return false;
    ResetAlError();
    alSourcei(newSource.get(), AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
    alSourcei(newSource.get(), AL_LOOPING, AL_FALSE);
    alSourcei(newSource.get(), AL_BUFFER, static_cast<ALint>(newBuffer.get()));
    if (!AlOk()) return false;
    *buffer = std::move(newBuffer);
    *source = std::move(newSource);
    return true;
}

// The device's full name ("JACK Default", a PulseAudio sink's description).
std::string NameOf(ALCdevice* device) {
    ALCenum which = ALC_DEVICE_SPECIFIER;
    if (alcIsExtensionPresent(device, "ALC_ENUMERATE_ALL_EXT") == ALC_TRUE) {
        which = ALC_ALL_DEVICES_SPECIFIER;
    }
    const ALCchar* name = alcGetString(device, which);
    if (name == nullptr) name = alcGetString(device, ALC_DEVICE_SPECIFIER);
    try {
        return name != nullptr ? std::string(name) : std::string();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// OpenAL Soft's output limiter is left off on every device. It runs on
// every frame the mixer makes, sounding or silent (a log and three
// exponentials per frame: nearly all of an idle mixer's work); it looks
// 1 ms ahead, which delays every strike by that much; and on a 16-bit
// device it nudges the samples, so a row did not reach the device as
// stored. Rows sounding together beyond full scale clip at the device
// instead of being turned down.
bool CanTurnLimiterOff(ALCdevice* device) {
    return alcIsExtensionPresent(device, "ALC_SOFT_output_limiter") == ALC_TRUE;
}

}  // namespace

void SoundEngine::QuietSoundLibraryLogs() { QuietLibraryLogsOnce(); }

SoundPlayer::SoundPlayer(int slotCount, SoundEngine::Listener* listener, const RowSampler* jackRows)
    : m_listener(listener), m_jackRows(jackRows) {
    try {
        // One voice per slot and the audition's.
        m_voices.resize(static_cast<size_t>(slotCount) + 1);
        m_auditionVoice = slotCount;
        m_pass.reserve(static_cast<size_t>(slotCount));
    } catch (const std::bad_alloc&) {
        m_voices.clear();  // Open fails on an empty table
    }
}

SoundPlayer::~SoundPlayer() {
    {
        const std::lock_guard lock(m_watchMutex);
        m_stopWatching = true;
    }
    m_watcherWake.notify_all();
    if (m_watcher.joinable()) m_watcher.join();
    // Sources and buffers go with the context bound; then the context and
    // the device, in that order, as members.
    const openal::ThreadContextScope bound(m_context.get());
    m_voices.clear();
}

bool SoundPlayer::OpenDevice(openal::Device* device, openal::Context* context) const {
    QuietLibraryLogsOnce();
    // Per-thread contexts keep this engine's context off every other
    // thread; the watcher binds it for itself.
    if (!openal::HasThreadContexts()) return false;

    openal::Device newDevice(alcOpenDevice(nullptr));
    if (!newDevice) return false;
    // OpenAL Soft 1.19 takes no update size from the program (ALC_REFRESH
    // is ignored; the JACK backend mixes one JACK period ahead whatever is
    // asked), so the limiter is the one delay left to choose here.
    ALCint attributes[] = {ALC_FREQUENCY, PreviewRate, 0, 0, 0};
    if (CanTurnLimiterOff(newDevice.get())) {
        attributes[2] = ALC_OUTPUT_LIMITER_SOFT;
        attributes[3] = ALC_FALSE;
    }
    alcGetError(newDevice.get());
    openal::Context newContext(alcCreateContext(newDevice.get(), attributes));
    if (!newContext || alcGetError(newDevice.get()) != ALC_NO_ERROR) return false;
    {
        const openal::ThreadContextScope bound(newContext.get());
        if (!bound.ok()) return false;
        // Sources play the slot's two channels straight to the outputs.
        if (alIsExtensionPresent("AL_SOFT_direct_channels") != AL_TRUE) return false;
        if (!AlOk() || alcGetError(newDevice.get()) != ALC_NO_ERROR) return false;
    }
    // The context goes before its device.
    context->reset();
    device->reset();
    *device = std::move(newDevice);
    *context = std::move(newContext);
    return true;
}

bool SoundPlayer::Open() {
    if (m_voices.empty() || m_listener == nullptr) return false;
    if (!OpenDevice(&m_device, &m_context)) return false;
    m_canSeeDisconnect = alcIsExtensionPresent(m_device.get(), "ALC_EXT_disconnect") == ALC_TRUE;
    try {
        m_watcher = std::thread(&SoundPlayer::Watch, this);
    } catch (const std::system_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::string SoundPlayer::DeviceName() const { return m_device ? NameOf(m_device.get()) : ""; }

bool SoundPlayer::Arm(int slot, std::unique_ptr<int16_t[]> copy, uint32_t bytes) {
    const std::lock_guard voices(m_voiceMutex);
    SlotVoice& voice = Voice(slot);
    if (voice.armed || !copy || bytes == 0) return false;
    // A dropped device: the copy waits for the voice Reopen makes.
    if (!m_context) {
        voice.playbackCopy = std::move(copy);
        voice.playbackBytes = bytes;
        voice.armed = true;
        return true;
    }
    const openal::ThreadContextScope bound(m_context.get());
    if (!bound.ok()) return false;
    // The watcher reads only the voices of slots that await a stop report,
    // and an unarmed slot awaits none, so this needs no hold-off.
    if (!MakeVoice(copy.get(), bytes, &voice.buffer, &voice.source)) return false;
    voice.playbackCopy = std::move(copy);
    voice.playbackBytes = bytes;
    voice.armed = true;
    return true;
}

void SoundPlayer::Disarm(int slot) {
    const std::lock_guard voices(m_voiceMutex);
    SlotVoice& voice = Voice(slot);
    {
        const WatcherHoldOff holdOff(*this);
        {
            const std::lock_guard lock(m_watchMutex);
            voice.awaitingStopReport = false;
        }
        const openal::ThreadContextScope bound(m_context.get());
        voice.source.reset();  // deleting a playing source silences it
        voice.buffer.reset();
    }
    voice.playbackCopy.reset();
    voice.playbackBytes = 0;
    voice.armed = false;
}

bool SoundPlayer::IsArmed(int slot) const { return Voice(slot).armed; }

bool SoundPlayer::Play(int slot, float gain) {
    if (!Voice(slot).armed || !IsGain(gain)) return false;
    if (IsDeviceLost() && !Reopen()) return false;
    const std::lock_guard voices(m_voiceMutex);
    return StartVoice(slot, gain);
}

bool SoundPlayer::Strike(int slot, float gain) {
    const std::lock_guard voices(m_voiceMutex);
    if (!Voice(slot).armed || !IsGain(gain) || IsDeviceLost()) return false;
    return StartVoice(slot, gain);
}

bool SoundPlayer::StartVoice(int slot, float gain) {
    SlotVoice& voice = Voice(slot);
    const openal::ThreadContextScope bound(m_context.get());
    if (!bound.ok()) return false;
    alSourceRewind(voice.source.get());  // its result does not matter: Play starts at 0 too
    ResetAlError();
    // Set on every play: a soft note must not leave the next play soft.
    alSourcef(voice.source.get(), AL_GAIN, gain);
    alSourcePlay(voice.source.get());
    if (!AlOk()) return false;
    // Nobody waits for an audition's end: the watcher leaves it alone.
    if (slot == m_auditionVoice) return true;
    {
        // Counted after the start, so a stop the watcher saw before it
        // belongs to the earlier play and is not reported for this one.
        const std::lock_guard lock(m_watchMutex);
        ++voice.playsStarted;
        voice.awaitingStopReport = true;
    }
    m_watcherWake.notify_all();
    return true;
}

void SoundPlayer::AwaitStop(int slot) {
    {
        const std::lock_guard lock(m_watchMutex);
        SlotVoice& voice = Voice(slot);
        ++voice.playsStarted;
        voice.awaitingStopReport = true;
    }
    m_watcherWake.notify_all();
}

const int16_t* SoundPlayer::PlaybackCopy(int slot, uint32_t* bytes) const {
    const SlotVoice& voice = Voice(slot);
    *bytes = voice.armed ? voice.playbackBytes : 0;
    return voice.armed ? voice.playbackCopy.get() : nullptr;
}

bool SoundPlayer::Stop(int slot) {
    const std::lock_guard voices(m_voiceMutex);
    SlotVoice& voice = Voice(slot);
    if (!voice.armed) return false;
    const openal::ThreadContextScope bound(m_context.get());
    if (!bound.ok()) return false;
    ResetAlError();
    alSourceStop(voice.source.get());
    return AlOk();
}

bool SoundPlayer::IsPlaying(int slot) const {
    const SlotVoice& voice = Voice(slot);
    if (!voice.armed || IsDeviceLost()) return false;
    const openal::ThreadContextScope bound(m_context.get());
    return bound.ok() && SourcePlaying(voice.source.get());
}

bool SoundPlayer::IsConnected(ALCdevice* device) const {
    if (device == nullptr) return false;
    if (!m_canSeeDisconnect) return true;
    ALCint connected = ALC_TRUE;
    alcGetIntegerv(device, ALC_CONNECTED, 1, &connected);
    return connected != ALC_FALSE;
}

bool SoundPlayer::IsDeviceLost() const { return !IsConnected(m_device.get()); }

void SoundPlayer::DropDevice() {
    const std::lock_guard voices(m_voiceMutex);
    const WatcherHoldOff holdOff(*this);
    {
        const openal::ThreadContextScope bound(m_context.get());
        for (SlotVoice& voice : m_voices) {
            voice.source.reset();
            voice.buffer.reset();
        }
    }
    // The context goes before its device. A play that awaited its report
    // now meets no context and is reported stopped.
    m_context.reset();
    m_device.reset();
}

bool SoundPlayer::Reopen() {
    openal::Device device;
    openal::Context context;
    if (!OpenDevice(&device, &context)) return false;
    const bool canSeeDisconnect =
        alcIsExtensionPresent(device.get(), "ALC_EXT_disconnect") == ALC_TRUE;
    {
        const std::lock_guard voices(m_voiceMutex);
        const WatcherHoldOff holdOff(*this);
        const openal::ThreadContextScope boundNew(context.get());
        if (!boundNew.ok()) return false;
        // Every armed slot gets its voice on the new device first; only when
        // all succeeded do they replace the old ones, so a failure leaves
        // every slot as it was.
        std::vector<SlotVoice> made;
        try {
            made.resize(m_voices.size());
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (size_t i = 0; i < m_voices.size(); ++i) {
            const SlotVoice& voice = m_voices[i];
            if (!voice.armed) continue;
            if (!MakeVoice(voice.playbackCopy.get(), voice.playbackBytes, &made[i].buffer,
                           &made[i].source)) {
                return false;
            }
        }
        for (size_t i = 0; i < m_voices.size(); ++i) {
            std::swap(m_voices[i].buffer, made[i].buffer);
            std::swap(m_voices[i].source, made[i].source);
        }
        {
            // The old voices belong to the old context.
            const openal::ThreadContextScope boundOld(m_context.get());
            made.clear();
        }
        // The old context goes before its device. A play that awaited its
        // report now sees a source that is not playing and reports it.
        m_context = std::move(context);
        m_device = std::move(device);
        m_canSeeDisconnect = canSeeDisconnect;
    }
    return true;
}

SoundPlayer::WatcherHoldOff::WatcherHoldOff(SoundPlayer& player) : m_player(player) {
    std::unique_lock lock(m_player.m_watchMutex);
    ++m_player.m_holdOffs;
    m_player.m_passEnded.wait(lock, [this] { return !m_player.m_inPass; });
}

SoundPlayer::WatcherHoldOff::~WatcherHoldOff() {
    {
        const std::lock_guard lock(m_player.m_watchMutex);
        --m_player.m_holdOffs;
    }
    m_player.m_watcherWake.notify_all();
}

bool SoundPlayer::HasPlayAwaitingReport() const {
    for (const SlotVoice& voice : m_voices) {
        if (voice.awaitingStopReport) return true;
    }
    return false;
}

void SoundPlayer::Watch() {
    std::unique_lock lock(m_watchMutex);
    for (;;) {
        while (!m_stopWatching && (m_holdOffs > 0 || !HasPlayAwaitingReport())) {
            m_watcherWake.wait(lock);
        }
        if (m_stopWatching) return;

        // Taken under the lock: the GUI thread changes these only while it
        // holds the watcher off.
        m_pass.clear();
        for (size_t i = 0; i < m_voices.size(); ++i) {
            const SlotVoice& voice = m_voices[i];
            if (voice.awaitingStopReport) {
                m_pass.push_back({static_cast<int>(i), voice.playsStarted, voice.source.get()});
            }
        }
        ALCcontext* const context = m_context.get();
        ALCdevice* const device = m_device.get();
        m_inPass = true;
        lock.unlock();

        {
            const openal::ThreadContextScope bound(context);
            // Nothing plays on a lost device, whatever its sources say.
            const bool lost = !bound.ok() || !IsConnected(device);
            for (WatchedPlay& play : m_pass) {
                play.stopped = (lost || !SourcePlaying(play.source)) &&
                               (m_jackRows == nullptr || !m_jackRows->IsSounding(play.slot));
            }
        }

        lock.lock();
        for (WatchedPlay& play : m_pass) {
            SlotVoice& voice = Voice(play.slot);
            // A play started after the look belongs to a later report.
            const bool report =
                play.stopped && voice.awaitingStopReport && voice.playsStarted == play.play;
            if (report) voice.awaitingStopReport = false;
            play.stopped = report;
        }
        lock.unlock();
        for (const WatchedPlay& play : m_pass) {
            if (play.stopped) m_listener->SlotStopped(play.slot);
        }
        lock.lock();
        m_inPass = false;
        m_passEnded.notify_all();
        if (!m_stopWatching && m_holdOffs == 0 && HasPlayAwaitingReport()) {
            m_watcherWake.wait_for(lock, PollPeriod);
        }
    }
}
