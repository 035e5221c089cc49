// The slot store side of the engine: opening and closing, loading and
// clearing slots, and the queries on slot state.

#include "engine/SoundEngine.h"

#include <cstring>
#include <new>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/SampleConversion.h"
#include "engine/SoundPlayer.h"
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

// The interleaved stereo copy a voice plays of a record whose frames and
// channels were checked; null when it cannot be allocated.
std::unique_ptr<int16_t[]> MakePlaybackCopy(const AudioData& record) {
    const auto frameCount = static_cast<size_t>(record.frames);
    std::unique_ptr<int16_t[]> copy;
    try {
        copy = std::make_unique<int16_t[]>(frameCount * 2);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    const int16_t* right = record.channels == 2 ? record.right : record.left;
    for (size_t j = 0; j < frameCount; ++j) {
        copy[2 * j] = record.left[j];
        copy[2 * j + 1] = right[j];
    }
    return copy;
}

}  // namespace

SoundEngine::SoundEngine() = default;

SoundEngine::~SoundEngine() { Close(); }

bool SoundEngine::IsOpen() const { return m_slotCount > 0 && m_image && m_player; }

bool SoundEngine::IsValidSlot(int slot) const {
    return slot >= 0 && slot < m_slotCount && IsOpen();
}

bool SoundEngine::Open(Listener* listener, int slotCount, int hostByteOrder) {
    // The image holds exactly VoiceSlotCount records; a larger count would
    // let slot numbers reach past them.
    if (listener == nullptr || slotCount <= 0 || slotCount > VoiceSlotCount ||
        (hostByteOrder != HostLittleEndian && hostByteOrder != HostBigEndian)) {
        return false;
    }
    Close();

    m_image = MakeZeroed<VoiceBankImage>();
    if (!m_image) return false;
    if (!InitVoiceBankImage(m_image.get())) {
        Close();
        return false;
    }
    try {
        m_player = std::make_unique<SoundPlayer>(slotCount, listener);
    } catch (const std::bad_alloc&) {
        Close();
        return false;
    }
    if (!m_player->Open()) {
        Close();
        return false;
    }
    m_hostByteOrder = hostByteOrder;
    m_slotCount = slotCount;
    return true;
}

void SoundEngine::Close() {
    if (m_player) {
        for (int slot = 0; slot < m_slotCount; ++slot) ReleaseSlot(slot);
        m_player->Disarm(m_player->AuditionVoice());
    }
    m_player.reset();  // the watcher, then the device
    m_image.reset();
    m_hostByteOrder = 0;
    m_slotCount = 0;
}

bool SoundEngine::LoadSlot(int slot, const char* path) {
    if (!IsValidSlot(slot) || path == nullptr || path[0] == '\0') return false;
    const std::unique_ptr<AudioData> scratch = MakeZeroed<AudioData>();
    if (!scratch) return false;
    if (ReadAudioFile(path, scratch.get(), m_hostByteOrder) != ReadOk) return false;
    return LoadSlotRecord(slot, *scratch);
}

bool SoundEngine::LoadSlotRecord(int slot, const AudioData& record, TailFade fade) {
    if (!IsValidSlot(slot)) return false;
    ReleaseSlot(slot);
    AudioData& stored = m_image->voices[static_cast<size_t>(slot)];
    std::memcpy(&stored, &record, sizeof stored);

    // A frame count beyond the arrays would make the copy below read past
    // the record, and a channel count other than 1 or 2 would be exported as
    // an empty slot while it plays; both are refused like a record that
    // cannot be faded (0 frames).
    const int32_t frames = stored.frames;
    if (frames <= 0 || frames > MaxVoiceFrames || stored.channels < 1 || stored.channels > 2 ||
        (fade == TailFade::Apply && !FadeVoiceTail(&stored))) {
        ReleaseSlot(slot);
        return false;
    }

    std::unique_ptr<int16_t[]> copy = MakePlaybackCopy(stored);
    if (!copy) {
        ReleaseSlot(slot);
        return false;
    }
    const auto frameCount = static_cast<size_t>(frames);
    if (m_player->Arm(slot, std::move(copy), static_cast<uint32_t>(frameCount * 4))) return true;
    ReleaseSlot(slot);
    return false;
}

bool SoundEngine::ClearSlot(int slot) {
    if (!IsValidSlot(slot)) return false;
    ReleaseSlot(slot);
    return true;
}

void SoundEngine::ReleaseSlot(int slot) {
    m_player->Disarm(slot);
    if (m_image) std::memset(&m_image->voices[static_cast<size_t>(slot)], 0, sizeof(AudioData));
}

bool SoundEngine::IsSlotLoaded(int slot) const {
    return IsValidSlot(slot) && m_player->IsArmed(slot);
}

int SoundEngine::CountLoadedSlots() const {
    if (!IsOpen()) return 0;
    int count = 0;
    for (int slot = 0; slot < m_slotCount; ++slot) count += IsSlotLoaded(slot) ? 1 : 0;
    return count;
}

bool SoundEngine::ArmSlotVoice(int slot, const int16_t* copy, int64_t bytes) {
    constexpr int64_t MaxBytes = int64_t{MaxVoiceFrames} * 4;
    if (!IsValidSlot(slot) || copy == nullptr || bytes <= 0 || bytes % 4 != 0 || bytes > MaxBytes ||
        m_player->IsArmed(slot)) {
        return false;
    }
    const auto samples = static_cast<size_t>(bytes / 2);
    std::unique_ptr<int16_t[]> own;
    try {
        own = std::make_unique<int16_t[]>(samples);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::memcpy(own.get(), copy, static_cast<size_t>(bytes));
    return m_player->Arm(slot, std::move(own), static_cast<uint32_t>(bytes));
}

bool SoundEngine::PlaySlot(int slot, float gain) {
    return IsValidSlot(slot) && m_player->Play(slot, gain);
}

bool SoundEngine::StrikeSlot(int slot, float gain) {
    return IsValidSlot(slot) && m_player->Strike(slot, gain);
}

bool SoundEngine::StopSlot(int slot) { return IsValidSlot(slot) && m_player->Stop(slot); }

bool SoundEngine::IsSlotPlaying(int slot) const {
    return IsValidSlot(slot) && m_player->IsPlaying(slot);
}

bool SoundEngine::AuditionRecord(const AudioData& record, float gain) {
    if (!IsOpen()) return false;
    StopAudition();
    if (record.frames <= 0 || record.frames > MaxVoiceFrames || record.channels < 1 ||
        record.channels > 2)
        return false;
    std::unique_ptr<int16_t[]> copy = MakePlaybackCopy(record);
    if (!copy) return false;
    const int voice = m_player->AuditionVoice();
    const auto bytes = static_cast<uint32_t>(record.frames) * 4;
    if (!m_player->Arm(voice, std::move(copy), bytes)) return false;
    if (m_player->Play(voice, gain)) return true;
    m_player->Disarm(voice);
    return false;
}

void SoundEngine::StopAudition() {
    if (IsOpen()) m_player->Disarm(m_player->AuditionVoice());
}

bool SoundEngine::IsAuditionPlaying() const {
    return IsOpen() && m_player->IsPlaying(m_player->AuditionVoice());
}

bool SoundEngine::IsDeviceLost() const { return IsOpen() && m_player->IsDeviceLost(); }

void SoundEngine::DropDevice() {
    if (IsOpen()) m_player->DropDevice();
}

const int16_t* SoundEngine::GetSlotPlaybackCopy(int slot, uint32_t* bytes) const {
    if (!IsValidSlot(slot)) {
        if (bytes != nullptr) *bytes = 0;
        return nullptr;
    }
    return m_player->PlaybackCopy(slot, bytes);
}

std::string SoundEngine::GetDeviceName() const {
    return m_player ? m_player->DeviceName() : std::string();
}

bool SoundEngine::ExportVoiceBank(const char* path) const {
    if (path == nullptr || path[0] == '\0' || !IsOpen()) return false;
    return ExportImageToFile(*m_image, path);
}
