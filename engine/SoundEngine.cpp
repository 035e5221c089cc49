// The slot store side of the engine: opening and closing, loading and
// clearing slots, and the queries on slot state.

#include "engine/SoundEngine.h"

#include <cstring>
#include <new>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/SampleConversion.h"
#include "engine/SlotPlaybackView.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

namespace {

// A zero-filled record, or null when it cannot be allocated.
template <typename T>
std::unique_ptr<T> MakeZeroed() noexcept {
    try {
        return std::make_unique<T>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

SoundEngine::SoundEngine() = default;

SoundEngine::~SoundEngine() { Close(); }

bool SoundEngine::IsOpen() const {
    return m_slotCount > 0 && m_image && m_device && m_primary && m_pcm && m_pcmBytes &&
           m_buffers && m_threads && m_notifies && m_events && m_watchers;
}

bool SoundEngine::IsValidSlot(int slot) const {
    return slot >= 0 && slot < m_slotCount && IsOpen();
}

int SoundEngine::Open(SlotPlaybackView* view, int slotCount, int hostByteOrder) {
    // The image holds exactly VoiceSlotCount records; a larger count would
    // let slot numbers reach past them.
    if (view == nullptr || slotCount <= 0 || slotCount > VoiceSlotCount ||
        (hostByteOrder != HostLittleEndian && hostByteOrder != HostBigEndian)) {
        return 0;
    }
    Close();

    m_image = MakeZeroed<VoiceBankImage>();
    if (!m_image) return 0;
    if (InitVoiceBankImage(m_image.get()) == 0) {
        Close();
        return 0;
    }
    m_hostByteOrder = hostByteOrder;
    m_slotCount = slotCount;
    m_view = view;

    if (!m_pcm.Allocate(slotCount) || !m_pcmBytes.Allocate(slotCount) ||
        !m_buffers.Allocate(slotCount) || !m_threads.Allocate(slotCount) ||
        !m_notifies.Allocate(slotCount) || !m_events.Allocate(slotCount) ||
        !m_watchers.Allocate(slotCount)) {
        Close();
        return 0;
    }

    if (SetUpDevice() == 0 || !IsOpen()) {
        Close();
        return 0;
    }
    return 1;
}

int SoundEngine::Close() {
    if (m_buffers && m_threads && m_notifies && m_events) {
        for (int slot = 0; slot < m_slotCount; ++slot) ReleaseSlot(slot);
    }
    m_pcm.reset();
    m_pcmBytes.reset();
    m_threads.reset();
    {
        // Every slot was cleared above, so these hold no AL names; the scope
        // only covers a partial failure that left one behind.
        const openal::ThreadContextScope bound(m_primary.get());
        m_notifies.reset();
        m_events.reset();
        m_buffers.reset();
    }
    m_watchers.reset();
    m_primary.reset();  // the context, then the device
    m_device.reset();
    m_image.reset();
    m_hostByteOrder = 0;
    m_slotCount = 0;
    m_view = nullptr;
    return 1;
}

int SoundEngine::LoadSlot(int slot, const char* path) {
    if (!IsValidSlot(slot) || path == nullptr || path[0] == '\0') return 0;
    const std::unique_ptr<AudioData> scratch = MakeZeroed<AudioData>();
    if (!scratch) return 0;
    if (ReadAudioFile(path, scratch.get(), m_hostByteOrder) != ReadOk) return 0;
    return LoadSlotRecord(slot, *scratch);
}

int SoundEngine::LoadSlotRecord(int slot, const AudioData& record) {
    if (!IsValidSlot(slot)) return 0;
    ClearSlot(slot);
    AudioData& stored = m_image->voices[static_cast<size_t>(slot)];
    std::memcpy(&stored, &record, sizeof stored);

    // A frame count beyond the arrays would make the copy below read past
    // the record, and a channel count other than 1 or 2 would be exported as
    // an empty slot while it plays; both are refused like a record that
    // cannot be faded (0 frames).
    const int32_t frames = stored.frames;
    if (frames < 0 || frames > MaxVoiceFrames || stored.channels < 1 || stored.channels > 2 ||
        FadeVoiceTail(&stored) == 0) {
        ClearSlot(slot);
        return 0;
    }

    const auto frameCount = static_cast<size_t>(frames);
    std::unique_ptr<int16_t[]> copy;
    try {
        copy = std::make_unique<int16_t[]>(frameCount * 2);
    } catch (const std::bad_alloc&) {
    }
    if (!copy) {
        ClearSlot(slot);
        return 0;
    }
    const int16_t* right = stored.channels == 2 ? stored.right : stored.left;
    for (size_t j = 0; j < frameCount; ++j) {
        copy[2 * j] = stored.left[j];
        copy[2 * j + 1] = right[j];
    }
    m_pcm[slot] = std::move(copy);
    m_pcmBytes[slot] = static_cast<uint32_t>(frameCount * 4);

    if (ArmSlotVoice(slot, m_pcm[slot].get(), m_pcmBytes[slot]) == 1) return 1;
    ClearSlot(slot);
    return 0;
}

int SoundEngine::ClearSlot(int slot) {
    if (!IsValidSlot(slot)) return 0;
    ReleaseSlot(slot);
    return 1;
}

void SoundEngine::ReleaseSlotVoice(int slot) {
    // The order matters: the watcher polls the source, so the source goes
    // only after the watcher has seen the cleared mark and ended.
    m_events[slot].store(false, std::memory_order_release);
    if (m_threads[slot].joinable()) m_threads[slot].join();
    {
        const openal::ThreadContextScope bound(m_primary.get());
        m_notifies[slot].reset();  // deleting a playing source silences it
        m_buffers[slot].reset();
    }
    m_watchers[slot] = SlotWatcher{};
}

void SoundEngine::ReleaseSlot(int slot) {
    ReleaseSlotVoice(slot);
    m_pcm[slot].reset();
    if (m_image) std::memset(&m_image->voices[static_cast<size_t>(slot)], 0, sizeof(AudioData));
    m_pcmBytes[slot] = 0;
}

bool SoundEngine::HasVoice(int slot) const {
    return m_buffers[slot] || m_threads[slot].joinable() || m_notifies[slot] ||
           m_events[slot].load(std::memory_order_acquire);
}

int SoundEngine::IsSlotLoaded(int slot) const {
    if (!IsValidSlot(slot)) return 0;
    return m_buffers[slot] && m_threads[slot].joinable() && m_notifies[slot] &&
                   m_events[slot].load(std::memory_order_acquire)
               ? 1
               : 0;
}

int SoundEngine::CountLoadedSlots() const {
    if (!IsOpen()) return 0;
    int count = 0;
    for (int slot = 0; slot < m_slotCount; ++slot) count += IsSlotLoaded(slot);
    return count;
}

bool SoundEngine::GetSlotEvent(int slot) const {
    return IsValidSlot(slot) && m_events[slot].load(std::memory_order_acquire);
}

const int16_t* SoundEngine::GetSlotPlaybackCopy(int slot, uint32_t* bytes) const {
    const int16_t* copy = IsValidSlot(slot) ? m_pcm[slot].get() : nullptr;
    if (bytes != nullptr) *bytes = copy != nullptr ? m_pcmBytes[slot] : 0;
    return copy;
}

int SoundEngine::ExportVoiceBank(const char* path) const {
    if (path == nullptr || path[0] == '\0' || !IsOpen()) return 0;
    return ExportImageToFile(*m_image, path);
}
