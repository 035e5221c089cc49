// The engine's voices: opening and closing, arming and clearing slots,
// playing them and the audition.

#include "engine/SoundEngine.h"

#include <new>

#include "audio/AudioData.h"
#include "engine/RowSampler.h"
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

SoundEngine::~SoundEngine() {
    Close();
    // A MIDI input may hold the rows longer than the engine lives.
    if (m_jackRows) m_jackRows->SetSoundedNotice({});
}

bool SoundEngine::IsOpen() const { return m_slotCount > 0 && m_player; }

bool SoundEngine::IsValidSlot(int slot) const {
    return slot >= 0 && slot < m_slotCount && IsOpen();
}

bool SoundEngine::Open(Listener* listener, int slotCount) {
    // No more voices than a bank has rows.
    if (listener == nullptr || slotCount <= 0 || slotCount > VoiceSlotCount) return false;
    Close();
    MakeJackRows();
    std::unique_ptr<SoundPlayer> player;
    try {
        player = std::make_unique<SoundPlayer>(slotCount, listener, m_jackRows.get());
    } catch (const std::bad_alloc&) {
        return false;
    }
    {
        const std::lock_guard lock(m_playerMutex);
        m_player = std::move(player);
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
    if (m_jackRows) {
        for (int slot = 0; slot < m_slotCount; ++slot) (void)m_jackRows->SetRow(slot, nullptr, 0);
    }
    std::unique_ptr<SoundPlayer> player;
    {
        const std::lock_guard lock(m_playerMutex);
        player = std::move(m_player);
    }
    player.reset();  // the watcher, then the device
    m_slotCount = 0;
}

bool SoundEngine::ArmSlotVoice(int slot, const AudioData& record) {
    if (!IsValidSlot(slot)) return false;
    m_player->Disarm(slot);
    if (!IsPlayable(record)) return false;
    std::unique_ptr<int16_t[]> copy = MakePlaybackCopy(record);
    if (!copy) return false;
    const bool armed =
        m_player->Arm(slot, std::move(copy), static_cast<uint32_t>(record.frames) * 4);
    SetJackRow(slot);
    return armed;
}

bool SoundEngine::ClearSlot(int slot) {
    if (!IsValidSlot(slot)) return false;
    m_player->Disarm(slot);
    SetJackRow(slot);
    return true;
}

void SoundEngine::SetJackRow(int slot) {
    if (!m_jackRows || !m_jackRowsKept) return;
    uint32_t bytes = 0;
    const int16_t* copy = m_player->PlaybackCopy(slot, &bytes);
    (void)m_jackRows->SetRow(slot, copy, bytes / 4);
}

std::shared_ptr<RowSampler> SoundEngine::JackRows() {
    if (m_jackRows && !m_jackRowsKept) {
        m_jackRowsKept = true;
        for (int slot = 0; slot < m_slotCount; ++slot) SetJackRow(slot);
    }
    return m_jackRows;
}

void SoundEngine::MakeJackRows() {
    if (m_jackRows) return;
    try {
        m_jackRows = std::make_shared<RowSampler>();
    } catch (const std::bad_alloc&) {
        return;  // the device plays every stroke
    }
    // From the MIDI input's thread: the note's stop is reported like a
    // stroke's.
    m_jackRows->SetSoundedNotice([this](int slot) {
        const std::lock_guard lock(m_playerMutex);
        if (m_player && slot >= 0 && slot < m_player->AuditionVoice()) m_player->AwaitStop(slot);
    });
}

bool SoundEngine::IsSlotArmed(int slot) const {
    return IsValidSlot(slot) && m_player->IsArmed(slot);
}

bool SoundEngine::PlaySlot(int slot, float gain) {
    return IsValidSlot(slot) && m_player->Play(slot, gain);
}

bool SoundEngine::StrikeSlot(int slot, float gain) {
    if (!IsValidSlot(slot)) return false;
    if (m_jackRows && m_jackRows->Live()) {
        if (!m_jackRows->Strike(slot, gain)) return false;
        m_player->AwaitStop(slot);
        return true;
    }
    return m_player->Strike(slot, gain);
}

bool SoundEngine::StopSlot(int slot) {
    if (!IsValidSlot(slot)) return false;
    if (m_jackRows) m_jackRows->Stop(slot);
    return m_player->Stop(slot);
}

bool SoundEngine::IsSlotPlaying(int slot) const {
    return IsValidSlot(slot) &&
           (m_player->IsPlaying(slot) || (m_jackRows && m_jackRows->IsSounding(slot)));
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
