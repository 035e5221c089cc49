#pragma once

// Private to the engine: the sound-device side of SoundEngine. It owns the
// device and its context, one SlotVoice per slot and one more for
// auditions, and the one watcher thread that reports stopped sounds of the
// slots to the listener (an audition's end is never reported).
//
// The watcher parks on a condition variable while no play awaits its stop
// report, so idle slots cost nothing; while a play awaits it, it polls the
// sources of those slots about every millisecond. The GUI thread never holds
// the watcher's lock across a call into the sound library or while the
// watcher runs the listener; before it deletes a source it holds the watcher
// off (waits for the current pass to end), and the watcher never waits for
// the GUI thread. A strike from another thread (a MIDI input's) takes the
// voice lock, which the GUI thread takes before the watcher's, never after.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/AlHandles.h"
#include "engine/SoundEngine.h"

class RowSampler;

class SoundPlayer {
public:
    // listener: told about stopped sounds, from the watcher thread. jackRows
    // (may be null; must outlive the player): a slot sounding there counts
    // as playing for the stop reports.
    SoundPlayer(int slotCount, SoundEngine::Listener* listener, const RowSampler* jackRows);
    ~SoundPlayer();  // ends the watcher, then releases voices, context, device
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Opens the default device and starts the watcher. False on any failure.
    [[nodiscard]] bool Open();

    // The voice that auditions sounds outside the slots: it arms, plays and
    // stops like a slot, but the watcher never reports its stop.
    [[nodiscard]] int AuditionVoice() const { return m_auditionVoice; }

    // Takes over copy (bytes long) as the slot's playback copy and makes
    // its buffer and source. False, with the slot unchanged, for an armed
    // slot or an error of the sound library.
    [[nodiscard]] bool Arm(int slot, std::unique_ptr<int16_t[]> copy, uint32_t bytes);
    // Silences the slot, ends watching it and releases its voice and copy.
    void Disarm(int slot);

    [[nodiscard]] bool IsArmed(int slot) const;
    // gain: 0 ... 1, set on the voice for this play.
    [[nodiscard]] bool Play(int slot, float gain = 1.0f);
    // Play from any other thread: never opens a lost device again (false).
    [[nodiscard]] bool Strike(int slot, float gain);
    [[nodiscard]] bool Stop(int slot);
    // From any thread: the slot was started on the JACK outputs; its stop is
    // reported once it has played out there (and on the device).
    void AwaitStop(int slot);
    // The slot's playback copy (interleaved stereo) and its size in bytes;
    // null when unarmed. The engine's thread only.
    [[nodiscard]] const int16_t* PlaybackCopy(int slot, uint32_t* bytes) const;
    [[nodiscard]] bool IsPlaying(int slot) const;
    [[nodiscard]] bool IsDeviceLost() const;
    // Closes the device (its voices, context and device) as a lost one:
    // armed slots keep their copies, and the next Play opens the default
    // device again. For a device whose sound server went away unseen.
    void DropDevice();
    [[nodiscard]] std::string DeviceName() const;

private:
    // Everything one slot owns on the device side.
    struct SlotVoice {
        // Interleaved 16-bit stereo, kept to arm the slot on a new device.
        std::unique_ptr<int16_t[]> playbackCopy;
        uint32_t playbackBytes = 0;
        // The buffer is declared first so that the source, which plays it,
        // is deleted first.
        openal::Buffer buffer;
        openal::Source source;
        bool armed = false;
        // Under m_watchMutex: plays started (to tell a newer play from the
        // one the watcher saw end) and whether the latest awaits its report.
        uint64_t playsStarted = 0;
        bool awaitingStopReport = false;
    };
    // A slot the watcher is polling in the current pass.
    struct WatchedPlay {
        int slot = 0;
        uint64_t play = 0;
        ALuint source = 0;
        bool stopped = false;
    };

    // Keeps the watcher from touching any voice for its lifetime: waits
    // until the watcher's current pass has ended.
    class WatcherHoldOff {
    public:
        explicit WatcherHoldOff(SoundPlayer& player);
        ~WatcherHoldOff();
        WatcherHoldOff(const WatcherHoldOff&) = delete;
        WatcherHoldOff& operator=(const WatcherHoldOff&) = delete;

    private:
        SoundPlayer& m_player;
    };

    [[nodiscard]] SlotVoice& Voice(int slot) { return m_voices[static_cast<size_t>(slot)]; }
    [[nodiscard]] const SlotVoice& Voice(int slot) const {
        return m_voices[static_cast<size_t>(slot)];
    }
    [[nodiscard]] bool StartVoice(int slot, float gain);  // under m_voiceMutex
    [[nodiscard]] bool OpenDevice(openal::Device* device, openal::Context* context) const;
    [[nodiscard]] bool Reopen();
    [[nodiscard]] bool IsConnected(ALCdevice* device) const;
    void Watch();
    [[nodiscard]] bool HasPlayAwaitingReport() const;  // under m_watchMutex

    SoundEngine::Listener* const m_listener;
    const RowSampler* const m_jackRows;
    int m_auditionVoice = 0;  // the last of m_voices
    openal::Device m_device;
    openal::Context m_context;
    std::vector<SlotVoice> m_voices;
    bool m_canSeeDisconnect = false;  // the device offers ALC_EXT_disconnect
    // Held while a voice or the device is made, replaced or released, and
    // while a sound starts or stops, so that a strike from another thread
    // never meets a voice half made, and the two threads' checks of the
    // sound library's error state (one per context) do not mix.
    std::mutex m_voiceMutex;

    // Shared with the watcher.
    mutable std::mutex m_watchMutex;
    std::condition_variable m_watcherWake;  // a play awaits, a hold-off ended, or stop
    std::condition_variable m_passEnded;    // the watcher left a pass
    bool m_stopWatching = false;
    int m_holdOffs = 0;
    bool m_inPass = false;
    std::vector<WatchedPlay> m_pass;  // the watcher's own; reserved once
    std::thread m_watcher;
};
