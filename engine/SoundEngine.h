#pragma once

// The sound engine: the voice-bank image that holds every slot's converted
// sound, and the preview player that auditions a slot through the default
// sound device (OpenAL). One engine serves one window; every operation runs
// on that window's thread except the per-slot watcher threads it starts.
//
// Results are 1 for success and 0 for failure. Slot operations reject a slot
// outside 0 ... slot count - 1 or an engine that is not open by returning 0
// without effect. No exception leaves the engine: allocation failures become
// a 0 result.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "engine/AlHandles.h"
#include "engine/SlotArray.h"

struct AudioData;
struct VoiceBankImage;
class SlotPlaybackView;
class SoundEngine;

// What a slot's watcher thread is handed: its engine, its slot and the view
// to call back. An empty slot's record is {null, 0, null}.
struct SlotWatcher {
    SoundEngine* engine = nullptr;
    int32_t slot = 0;
    SlotPlaybackView* view = nullptr;
};

class SoundEngine {
public:
    SoundEngine();
    ~SoundEngine();  // Close()
    SoundEngine(const SoundEngine&) = delete;
    SoundEngine& operator=(const SoundEngine&) = delete;

    // Opens the default sound device and an empty image of slotCount slots.
    // view: the window the watchers call back (must outlive the engine's
    // open time); slotCount: 1 ... 16; hostByteOrder: 1 (little-endian host)
    // or 2, handed to the reader. Returns 1, or 0: for a null view, a count
    // outside 1 ... 16 or another byte-order code nothing changes (an open
    // engine stays open with its slots); any later failure (no device, no
    // memory) leaves the engine closed.
    [[nodiscard]] int Open(SlotPlaybackView* view, int slotCount, int hostByteOrder);

    // Clears every loaded slot (each watcher has ended), then releases the
    // arrays, the context, the device and the image. Always returns 1.
    int Close();

    // Reads a WAV or AIFF file into the slot: the record is stored in the
    // image, its last 20 ms faded, and the slot armed for playback.
    // Returns 1, or 0: a bad slot, closed engine, missing path or a file the
    // reader refuses leave the slot untouched (an old sound stays loaded and
    // playable); a failure after the file was read leaves the slot empty.
    [[nodiscard]] int LoadSlot(int slot, const char* path);

    // The part of LoadSlot after the read, for a record already read (not
    // one inside this engine's image): clears the slot, stores, fades,
    // copies and arms. Returns 1, or 0 with
    // the slot untouched for a bad slot or closed engine, or 0 with the slot
    // empty when the record cannot be faded (0 frames), holds a frame count
    // beyond the record's arrays, or cannot be armed.
    [[nodiscard]] int LoadSlotRecord(int slot, const AudioData& record);

    // Empties the slot: clears its armed mark, waits for its watcher to end,
    // releases its source and buffer (which silences it), frees its playback
    // copy and zeroes its image record. Returns 1 (also for an empty slot),
    // or 0 for a bad slot or a closed engine.
    int ClearSlot(int slot);

    // 1 when the slot's buffer, watcher thread, source and armed mark all
    // exist, else 0.
    [[nodiscard]] int IsSlotLoaded(int slot) const;

    // Number of loaded slots; 0 when closed.
    [[nodiscard]] int CountLoadedSlots() const;

    // The slot's armed mark, read by its watcher thread (safe from any
    // thread): true from arming until ClearSlot; false for a bad slot or a
    // closed engine.
    [[nodiscard]] bool GetSlotEvent(int slot) const;

    // Arms an empty slot with a playback copy (interleaved 16-bit stereo at
    // 44,100 Hz, 4 bytes per frame): creates its AL buffer holding the whole
    // copy and its source with direct channels, sets the armed mark and
    // starts the watcher thread. bytes: the copy's length, a positive
    // multiple of 4. Returns 1, or 0 with nothing of the slot changed (a bad
    // slot, closed engine, missing copy, bad length, an already armed slot or
    // any AL error).
    [[nodiscard]] int ArmSlotVoice(int slot, const int16_t* copy, int64_t bytes);

    // Starts a loaded slot from its first frame (also when it is playing).
    // Returns 1, or 0 for an empty or bad slot or an AL error.
    [[nodiscard]] int PlaySlot(int slot);

    // Stops a loaded slot. Returns 1, or 0 for an empty or bad slot or an AL
    // error.
    [[nodiscard]] int StopSlot(int slot);

    // 1 while the slot's source is playing, else 0 (also for an empty or bad
    // slot). Safe from any thread while the slot stays loaded.
    [[nodiscard]] int IsSlotPlaying(int slot) const;

    // Writes the image as a voice-bank file at path, named after path's base
    // name. The engine's image is not changed. Returns 1 when the file was
    // written completely; 0 for an empty path, a closed engine or a failed
    // build or write.
    [[nodiscard]] int ExportVoiceBank(const char* path) const;

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
    [[nodiscard]] bool HasVoice(int slot) const;
    [[nodiscard]] int SetUpDevice();
    void ReleaseSlotVoice(int slot);  // mark, watcher, source, buffer
    void ReleaseSlot(int slot);       // the voice, then the copy and the record
    [[nodiscard]] bool SourcePlaying(int slot) const;
    static void WatchSlot(const SlotWatcher* watcher);

    int32_t m_hostByteOrder = 0;
    int32_t m_slotCount = 0;
    std::unique_ptr<VoiceBankImage> m_image;
    openal::Device m_device;
    openal::Context m_primary;  // the context: output at 44,100 Hz
    // Per slot, each with m_slotCount entries while open:
    SlotArray<std::unique_ptr<int16_t[]>> m_pcm;  // playback copy, L R L R ...
    SlotArray<uint32_t> m_pcmBytes;               // frames * 4; 0 when empty
    SlotArray<openal::Buffer> m_buffers;          // the whole copy in one AL buffer
    SlotArray<std::thread> m_threads;             // the watcher
    SlotArray<openal::Source> m_notifies;         // the source whose state the watcher polls
    SlotArray<std::atomic<bool>> m_events;        // the armed mark
    SlotArray<SlotWatcher> m_watchers;
    // The view the watchers call back; set by Open.
    SlotPlaybackView* m_view = nullptr;
};
