#pragma once

// The sound engine: one voice per slot and one for auditions on the
// default sound device. It plays what it is given: the rows themselves
// (their records) belong to the caller, which arms a slot's voice from a
// row with ArmSlotVoice. One engine serves one window; every operation but
// StrikeSlot runs on that window's thread. The engine runs one watcher
// thread of its own, which tells the listener when a slot's sound has
// stopped.
//
// Slot operations reject a slot outside 0 ... slot count - 1 or an engine
// that is not open by returning false without effect. No exception leaves
// the engine: allocation failures become a false result.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct AudioData;
class RowSampler;
class SoundPlayer;

class SoundEngine {
public:
    // Told when a slot's sound has stopped. Every successful PlaySlot is
    // followed by exactly one SlotStopped for that slot, unless a newer
    // PlaySlot of the same slot superseded it (then only the newer one is
    // reported) or the slot was cleared first. The end of the sound, a
    // StopSlot and a lost device all count as a stop.
    class Listener {
    public:
        virtual ~Listener() = default;
        // Called on the engine's watcher thread. Must return promptly, must
        // not wait for the engine's own thread and must not call the engine:
        // hand the notice on (post it) and ask IsSlotPlaying there, since
        // the slot may have been played again meanwhile.
        virtual void SlotStopped(int slot) = 0;
    };

    SoundEngine();
    ~SoundEngine();  // Close()
    SoundEngine(const SoundEngine&) = delete;
    SoundEngine& operator=(const SoundEngine&) = delete;

    // Keeps the sound libraries' own error lines off stderr unless the user
    // set ALSOFT_LOGLEVEL, and asks OpenAL Soft for a short output buffer
    // (128 x 3 frames) unless the user's alsoft.conf sets one. It changes the
    // environment, so a program with threads of its own calls it first
    // thing in main(); Open calls it too.
    static void QuietSoundLibraryLogs();

    // Opens the default sound device with slotCount silent voices.
    // listener: told about stopped sounds (must outlive the engine's open
    // time); slotCount: 1 ... 16. Returns false for a null listener or a
    // count outside 1 ... 16, and then nothing changes (an open engine stays
    // open with its voices); any later failure (no device, no memory) also
    // returns false and leaves the engine closed.
    [[nodiscard]] bool Open(Listener* listener, int slotCount);

    // Disarms every slot, ends the watcher, then releases the device.
    // Closing a closed engine does nothing.
    void Close();
    [[nodiscard]] bool IsOpen() const;

    // Arms the slot's voice with a row as it stands (no fade is added):
    // the slot's former voice is released first, then the slot keeps an
    // interleaved stereo copy of the record (so it can be armed again on a
    // new device) in a buffer and a source that plays it. Returns false
    // with the slot untouched for a bad slot or closed engine, or false with
    // the slot empty for a record of 0 frames, a frame count beyond its
    // arrays, a channel count other than 1 or 2, no memory or an error of
    // the sound library.
    [[nodiscard]] bool ArmSlotVoice(int slot, const AudioData& record);

    // Empties the slot: silences it, ends all watching of it (no SlotStopped
    // for it comes after this returns) and releases its voice and copy.
    // Returns true (also for an empty slot), or false for a bad slot or a
    // closed engine.
    bool ClearSlot(int slot);

    // True when the slot's voice is armed.
    [[nodiscard]] bool IsSlotArmed(int slot) const;

    // Starts an armed slot from its first frame (also when it is playing:
    // each slot has one voice, which restarts). Other slots keep sounding;
    // any number sound together. gain scales the slot's samples for this
    // play only: 1 plays them unchanged, 0 silences; a gain outside 0 ... 1
    // (or not a number) fails without sound.
    // On a lost device it first opens the default device again and arms
    // every armed slot anew from its playback copy; if that fails, the old
    // device and every slot stay as they were and the play fails without
    // sound. Returns false for an empty or bad slot or when the sound does
    // not start.
    [[nodiscard]] bool PlaySlot(int slot, float gain = 1.0f);

    // PlaySlot for other threads (a MIDI input's), so that a note sounds
    // without waiting for the engine's own thread. Any number of threads may
    // call it between a successful Open and Close; the owner ends them
    // before Close. It starts an armed slot as PlaySlot does, its stop
    // reported the same way, but never opens a lost device again: then, as
    // for an empty or bad slot or a bad gain, it returns false without
    // sound, and the engine's own thread may PlaySlot.
    [[nodiscard]] bool StrikeSlot(int slot, float gain = 1.0f);

    // Stops an armed slot. Returns false for an empty or bad slot or an
    // error of the sound library.
    [[nodiscard]] bool StopSlot(int slot);

    // True while the slot's sound is playing; false for an empty or bad slot
    // and on a lost device.
    [[nodiscard]] bool IsSlotPlaying(int slot) const;

    // Auditions a made row outside the slots (the row editor
    // plays its choice before it goes into a slot): stops an earlier
    // audition, then plays a copy of the record as it stands (no fade
    // added). Slots keep playing; no SlotStopped is ever told for an
    // audition. Returns false for a closed engine, a record with 0 frames,
    // a frame count beyond its arrays or a channel count other than 1 or 2,
    // or when the sound does not start. gain: 0 ... 1 (the browser's
    // preview level).
    [[nodiscard]] bool AuditionRecord(const AudioData& record, float gain = 1.0f);
    // Silences the audition and releases its voice; nothing when none.
    void StopAudition();

    // True when the open device has gone away (unplugged, sound server
    // ended). The next PlaySlot tries to open it again.
    [[nodiscard]] bool IsDeviceLost() const;
    // Closes the open device as lost, for one whose sound server went away
    // without the device noticing (OpenAL's JACK output never does): the
    // next PlaySlot opens the default device again, and until then
    // StrikeSlot is refused. Closing it before anything joins the returned
    // server matters: a JACK client of this process left bound to the old
    // server crashes when another has joined the new one.
    void DropDevice();

    // The name of the open sound device; empty when closed.
    [[nodiscard]] std::string GetDeviceName() const;

    // The rows for the program's own JACK outputs, which the MIDI input's
    // JACK client renders: filled with every armed slot's row on the first
    // call, then kept in step with the slots for the engine's life; null
    // before the first Open or when memory was short. Call it on the
    // engine's thread. While a client renders them, StrikeSlot
    // sounds there (from the next cycle's first frame) instead of on the
    // device, StopSlot silences them too, and IsSlotPlaying and the stop
    // reports count a row sounding there. Auditions and PlaySlot stay on
    // the device.
    [[nodiscard]] std::shared_ptr<RowSampler> JackRows();

private:
    [[nodiscard]] bool IsValidSlot(int slot) const;

    // Copies the slot's row from its playback copy into the JACK rows.
    void SetJackRow(int slot);
    // Before the first player: its watcher reads them.
    void MakeJackRows();

    int32_t m_slotCount = 0;
    std::shared_ptr<RowSampler> m_jackRows;  // made by the first Open, kept until the end
    bool m_jackRowsKept = false;             // the slots' rows are copied there
    // The device, every slot's voice and the watcher; null when closed.
    std::unique_ptr<SoundPlayer> m_player;
    // Guards m_player for the JACK rows' notice, which comes from the MIDI
    // input's thread while the engine may open or close.
    std::mutex m_playerMutex;
};
