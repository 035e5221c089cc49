#include "app/model/SlotModel.h"

#include <cstring>

#include "app/model/PathUtils.h"
#include "audio/AudioData.h"
#include "engine/SoundEngine.h"
#include "voicebank/VoiceBankImage.h"

namespace {

// The watcher compares images by identity only: two distinct addresses
// stand for "shows playing" and "shows stopped".
constexpr char PlayingToken = 'p';
constexpr char StoppedToken = 's';

}  // namespace

SlotModel::SlotModel() : m_engine(std::make_unique<SoundEngine>()) {}

SlotModel::~SlotModel() {
    // Watchers call back into the model: end them first.
    Close();
}

bool SlotModel::Open() { return m_engine->Open(this, SlotCount, HostLittleEndian) == 1; }

void SlotModel::Close() { m_engine->Close(); }

bool SlotModel::IsOpen() const { return m_engine->GetImage() != nullptr; }

bool SlotModel::LoadSlot(int slot, const std::string& path) {
    if (!IsValidSlot(slot)) return false;
    const bool pathUsable = path.find('\0') == std::string::npos && FitsPathMax(path);
    if (!pathUsable || m_engine->LoadSlot(slot, path.c_str()) != 1) {
        // A slot the engine emptied after reading the file must not keep
        // looking loaded.
        if (m_engine->IsSlotLoaded(slot) != 1 && m_rowLoaded[static_cast<size_t>(slot)]) {
            (void)ClearSlot(slot);
        }
        return false;
    }
    m_paths[static_cast<size_t>(slot)] = path;
    m_rowLoaded[static_cast<size_t>(slot)] = true;
    Notify(slot, SlotChange::Loaded);
    return true;
}

bool SlotModel::ClearSlot(int slot) {
    if (!IsValidSlot(slot)) return false;
    if (m_engine->ClearSlot(slot) != 1) return false;
    m_playMarks[static_cast<size_t>(slot)].store(false);
    m_paths[static_cast<size_t>(slot)].clear();
    m_rowLoaded[static_cast<size_t>(slot)] = false;
    Notify(slot, SlotChange::Cleared);
    return true;
}

bool SlotModel::PlaySlot(int slot) {
    if (!IsValidSlot(slot)) return false;
    for (int k = 0; k < SlotCount; ++k) {
        if (m_engine->IsSlotPlaying(k) == 1 && m_engine->StopSlot(k) != 1) return false;
    }
    if (m_engine->PlaySlot(slot) != 1) return false;
    m_playMarks[static_cast<size_t>(slot)].store(true);
    Notify(slot, SlotChange::Started);
    return true;
}

bool SlotModel::ExportVoiceBank(const std::string& path) const {
    if (path.find('\0') != std::string::npos || !FitsPathMax(path)) return false;
    return m_engine->ExportVoiceBank(path.c_str()) != 0;
}

bool SlotModel::IsSlotLoaded(int slot) const { return m_engine->IsSlotLoaded(slot) == 1; }

bool SlotModel::IsSlotPlaying(int slot) const { return m_engine->IsSlotPlaying(slot) == 1; }

int SlotModel::CountLoadedSlots() const { return m_engine->CountLoadedSlots(); }

bool SlotModel::ReadSlotFormat(int slot, SlotFormat* out) const {
    const VoiceBankImage* image = m_engine->GetImage();
    if (out == nullptr || image == nullptr || !IsValidSlot(slot)) return false;
    if (m_engine->IsSlotLoaded(slot) != 1) return false;
    // The record is packed: read its fields through copies.
    const AudioData& record = image->slots[slot];
    int16_t channels = 0;
    int32_t rate = 0;
    int16_t bits = 0;
    int32_t frames = 0;
    std::memcpy(&channels, &record.channels, sizeof channels);
    std::memcpy(&rate, &record.sampleRate, sizeof rate);
    std::memcpy(&bits, &record.bitsPerSample, sizeof bits);
    std::memcpy(&frames, &record.frames, sizeof frames);
    out->channels = channels;
    out->sampleRate = rate;
    out->bitsPerSample = bits;
    out->frames = frames;
    return true;
}

const std::string& SlotModel::SlotPath(int slot) const {
    static const std::string none;
    return IsValidSlot(slot) ? m_paths[static_cast<size_t>(slot)] : none;
}

void SlotModel::RestoreSlotPath(int slot, const std::string& path) {
    if (IsValidSlot(slot)) m_paths[static_cast<size_t>(slot)] = path;
}

const void* SlotModel::GetPlayButtonImage(int slot) const {
    if (!IsValidSlot(slot)) return nullptr;
    return m_playMarks[static_cast<size_t>(slot)].load() ? &PlayingToken : &StoppedToken;
}

const void* SlotModel::GetStoppedPlayImage() const { return &StoppedToken; }

void SlotModel::ShowSlotStopped(int slot) {
    if (!IsValidSlot(slot)) return;
    m_playMarks[static_cast<size_t>(slot)].store(false);
    Notify(slot, SlotChange::Stopped);
}

void SlotModel::Notify(int slot, SlotChange change) {
    if (m_listener != nullptr) m_listener->SlotChanged(slot, change);
}
