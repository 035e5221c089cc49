// The engine's voices: opening and closing, arming and clearing slots,
// playing them and the audition.

#include "engine/SoundEngine.h"

#include <new>

#include "audio/AudioData.h"
#include "engine/SoundPlayer.h"
#include "voicebank/VoiceBankImage.h"

namespace {

// A frame count beyond the arrays would make the copy read past the
// record, and a voice plays one or two channels only.
bool IsPlayable(const AudioData& record) {
    return record.frames > 0 && record.frames <= MaxVoiceFrames && record.channels >= 1 &&
           record.channels <= 2;
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

bool SoundEngine::IsOpen() const { return m_slotCount > 0 && m_player; }

bool SoundEngine::IsValidSlot(int slot) const {
    return slot >= 0 && slot < m_slotCount && IsOpen();
}

bool SoundEngine::Open(Listener* listener, int slotCount) {
    // No more voices than a bank has rows.
    if (listener == nullptr || slotCount <= 0 || slotCount > VoiceSlotCount) return false;
    Close();
    try {
        m_player = std::make_unique<SoundPlayer>(slotCount, listener);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!m_player->Open()) {
        Close();
        return false;
    }
    m_slotCount = slotCount;
    return true;
}

void SoundEngine::Close() {
    if (m_player) {
        for (int slot = 0; slot < m_slotCount; ++slot) m_player->Disarm(slot);
        m_player->Disarm(m_player->AuditionVoice());
    }
    m_player.reset();  // the watcher, then the device
    m_slotCount = 0;
}

bool SoundEngine::ArmSlotVoice(int slot, const AudioData& record) {
    if (!IsValidSlot(slot)) return false;
    m_player->Disarm(slot);
    if (!IsPlayable(record)) return false;
    std::unique_ptr<int16_t[]> copy = MakePlaybackCopy(record);
    if (!copy) return false;
    return m_player->Arm(slot, std::move(copy), static_cast<uint32_t>(record.frames) * 4);
}

bool SoundEngine::ClearSlot(int slot) {
    if (!IsValidSlot(slot)) return false;
    m_player->Disarm(slot);
    return true;
}

bool SoundEngine::IsSlotArmed(int slot) const {
    return IsValidSlot(slot) && m_player->IsArmed(slot);
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
    if (!IsPlayable(record)) return false;
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

bool SoundEngine::IsDeviceLost() const { return IsOpen() && m_player->IsDeviceLost(); }

void SoundEngine::DropDevice() {
    if (IsOpen()) m_player->DropDevice();
}

std::string SoundEngine::GetDeviceName() const {
    return m_player ? m_player->DeviceName() : std::string();
}
