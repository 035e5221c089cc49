#pragma once

// The sound engine: the voice-bank image that holds every slot's converted
// sound, and the preview player that auditions a slot through the default
// sound device. One engine serves one window; every operation but
// StrikeSlot runs on that window's thread. The engine runs one watcher
// thread of its own, which tells the listener when a slot's sound has
// stopped.
//
// Slot operations reject a slot outside 0 ... slot count - 1 or an engine
// that is not open by returning false without effect. No exception leaves
// the engine: allocation failures become a false result.

#include <cstdint>
#include <memory>
#include <string>

struct AudioData;
struct VoiceBankImage;
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
    // set ALSOFT_LOGLEVEL. It changes the environment, so a program with
    // threads of its own calls it first thing in main(); Open calls it too.
    static void QuietSoundLibraryLogs();

    // Opens the default sound device and an empty image of slotCount slots.
    // listener: told about stopped sounds (must outlive the engine's open
    // time); slotCount: 1 ... 16; hostByteOrder: 1 (little-endian host) or
    // 2, handed to the reader. Returns false for a null listener, a count
    // outside 1 ... 16 or another byte-order code, and then nothing changes
    // (an open engine stays open with its slots); any later failure (no
    // device, no memory) also returns false and leaves the engine closed.
    [[nodiscard]] bool Open(Listener* listener, int slotCount, int hostByteOrder);

    // Clears every loaded slot, ends the watcher, then releases the device
    // and the image. Closing a closed engine does nothing.
    void Close();

    // Reads a WAV or AIFF file into the slot: the record is stored in the
    // image, its last 20 ms faded, and the slot armed for playback.
    // Returns false when a bad slot, closed engine, missing path or a file
    // the reader refuses leave the slot untouched (an old sound stays loaded
    // and playable), or when a failure after the file was read left the
    // slot empty.
    [[nodiscard]] bool LoadSlot(int slot, const char* path);

    // Whether LoadSlotRecord fades the record's last 20 ms: a record read
    // from a sound file is faded; a row already made (taken from a bank, or
    // made and faded by the caller) is stored as it stands.
    enum class TailFade { Apply, Keep };

    // The part of LoadSlot after the read, for a record already read (not
    // one inside this engine's image): clears the slot, stores, fades (as
    // fade says), copies and arms. Returns false with the slot untouched
    // for a bad slot or closed engine, or false with the slot empty when
    // the record holds 0 frames, a frame count beyond the record's arrays
    // or a channel count other than 1 or 2, or cannot be armed.
    [[nodiscard]] bool LoadSlotRecord(int slot, const AudioData& record,
                                      TailFade fade = TailFade::Apply);

    // Empties the slot: silences it, ends all watching of it (no SlotStopped
    // for it comes after this returns), releases its voice, frees its
    // playback copy and zeroes its image record. Returns true (also for an
    // empty slot), or false for a bad slot or a closed engine.
    bool ClearSlot(int slot);

    // True when the slot holds an armed sound.
    [[nodiscard]] bool IsSlotLoaded(int slot) const;

    // Number of loaded slots; 0 when closed.
    [[nodiscard]] int CountLoadedSlots() const;

    // Arms an empty slot with a playback copy (interleaved 16-bit stereo at
    // 44,100 Hz, 4 bytes per frame): the slot keeps its own copy of it (so
    // that it can be armed again on a new device), and gets a buffer holding
    // the whole sound and a source that plays it. bytes: a positive multiple
    // of 4, at most the longest sound's size. Returns false with nothing of
    // the slot changed for a bad slot, closed engine, missing copy, bad
    // length, an already armed slot or any error of the sound library.
    [[nodiscard]] bool ArmSlotVoice(int slot, const int16_t* copy, int64_t bytes);

    // Starts a loaded slot from its first frame (also when it is playing:
    // each slot has one voice, which restarts). Other slots keep sounding;
    // any number sound together. gain scales the slot's samples for this
    // play only: 1 plays them unchanged, 0 silences; a gain outside 0 ... 1
    // (or not a number) fails without sound.
    // On a lost device it first opens the default device again and arms
    // every loaded slot anew from its playback copy; if that fails, the old
    // device and every slot stay as they were and the play fails without
    // sound. Returns false for an empty or bad slot or when the sound does
    // not start.
    [[nodiscard]] bool PlaySlot(int slot, float gain = 1.0f);

    // PlaySlot for other threads (a MIDI input's), so that a note sounds
    // without waiting for the engine's own thread. Any number of threads may
    // call it between a successful Open and Close; the owner ends them
    // before Close. It starts a loaded slot as PlaySlot does, its stop
    // reported the same way, but never opens a lost device again: then, as
    // for an empty or bad slot or a bad gain, it returns false without
    // sound, and the engine's own thread may PlaySlot.
    [[nodiscard]] bool StrikeSlot(int slot, float gain = 1.0f);

    // Stops a loaded slot. Returns false for an empty or bad slot or an
    // error of the sound library.
    [[nodiscard]] bool StopSlot(int slot);

    // True while the slot's sound is playing; false for an empty or bad slot
    // and on a lost device.
    [[nodiscard]] bool IsSlotPlaying(int slot) const;

    // Auditions a made row outside the slots and the image (the row editor
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
    // True while an audition plays.
    [[nodiscard]] bool IsAuditionPlaying() const;

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

    // Writes the image as a voice-bank file at path, named after path's base
    // name. The engine's image is not changed. Returns true when the file
    // was written completely; false for an empty path, a closed engine or a
    // failed build or write.
    [[nodiscard]] bool ExportVoiceBank(const char* path) const;

    // The image (read-only), or null when closed.
    [[nodiscard]] const VoiceBankImage* GetImage() const { return m_image.get(); }

    // The slot's playback copy and its byte length, or null and 0 for an
    // empty or bad slot.
    [[nodiscard]] const int16_t* GetSlotPlaybackCopy(int slot, uint32_t* bytes) const;

    // The name of the open sound device; empty when closed.
    [[nodiscard]] std::string GetDeviceName() const;

private:
    [[nodiscard]] bool IsOpen() const;
    [[nodiscard]] bool IsValidSlot(int slot) const;
    void ReleaseSlot(int slot);  // the voice, then the image record

    int32_t m_hostByteOrder = 0;
    int32_t m_slotCount = 0;
    std::unique_ptr<VoiceBankImage> m_image;
    // The device, every slot's voice and the watcher; null when closed.
    std::unique_ptr<SoundPlayer> m_player;
};
