#include "app/model/SlotModel.h"

#include <new>

#include "app/model/PathUtils.h"
#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/ReadFailure.h"
#include "convert/ConvertingReader.h"
#include "voicebank/VoiceBankImage.h"

SlotModel::SlotModel() : m_engine(std::make_unique<SoundEngine>()) {}

SlotModel::~SlotModel() {
    // The watcher calls back into the model: end it first.
    Close();
}

bool SlotModel::Open() { return m_engine->Open(this, SlotCount, HostLittleEndian); }

void SlotModel::Close() { m_engine->Close(); }

bool SlotModel::IsOpen() const { return m_engine->GetImage() != nullptr; }

bool SlotModel::LoadSlot(int slot, const std::string& path, LoadFailure* why) {
    if (!IsValidSlot(slot)) return false;
    LoadFailure failure;
    const bool wasLoaded = m_engine->IsSlotLoaded(slot);
    bool loaded = false;
    // A path with a NUL or too long for the platform is refused like a
    // file that cannot be opened.
    const bool pathUsable = path.find('\0') == std::string::npos && FitsPathMax(path);
    const std::unique_ptr<AudioData> record(new (std::nothrow) AudioData());
    if (!pathUsable) {
        failure.code = ReadShort;
        failure.reason = "the path is too long or holds a NUL character";
    } else if (!IsOpen()) {
        failure.reason = "the sound device is not open";
    } else if (!record) {
        failure.reason = "not enough memory";
    } else {
        ConvertOutcome outcome;
        failure.code =
            m_convertFormats
                ? ReadAudioFileConverting(path.c_str(), record.get(), HostLittleEndian, &outcome)
                : ReadAudioFile(path.c_str(), record.get(), HostLittleEndian);
        if (failure.code == ReadOk) {
            // Stores, fades and arms; empties the slot when that fails.
            loaded = m_engine->LoadSlotRecord(slot, *record);
            if (!loaded) {
                failure.reason = record->frames > 0 ? "the sound device refused the sound"
                                                    : DescribeReadFailure(path, ReadOk, *record);
            }
        } else {
            failure.reason = DescribeReadFailure(path, failure.code, *record);
            if (m_convertFormats) {
                const std::string converter = DescribeConverterRefusal(outcome);
                if (!converter.empty()) failure.reason += "; " + converter;
            } else {
                // Offered only when the converter really reads this file.
                const std::unique_ptr<AudioData> trial(new (std::nothrow) AudioData());
                failure.convertible =
                    trial && ReadAudioFileConverting(path.c_str(), trial.get(), HostLittleEndian,
                                                     &outcome) == ReadOk;
            }
        }
    }
    if (!loaded) {
        // A slot the engine emptied after reading the file must not keep
        // looking loaded.
        if (wasLoaded && !m_engine->IsSlotLoaded(slot)) {
            (void)ClearSlot(slot);
        }
        if (why != nullptr) *why = std::move(failure);
        return false;
    }
    m_paths[static_cast<size_t>(slot)] = path;
    Notify(slot, SlotChange::Loaded);
    return true;
}

bool SlotModel::ClearSlot(int slot) {
    if (!IsValidSlot(slot)) return false;
    if (!m_engine->ClearSlot(slot)) return false;
    m_paths[static_cast<size_t>(slot)].clear();
    Notify(slot, SlotChange::Cleared);
    return true;
}

bool SlotModel::PlaySlot(int slot) {
    if (!IsValidSlot(slot)) return false;
    for (int k = 0; k < SlotCount; ++k) {
        if (m_engine->IsSlotPlaying(k) && !m_engine->StopSlot(k)) return false;
    }
    if (!m_engine->PlaySlot(slot)) return false;
    Notify(slot, SlotChange::Started);
    return true;
}

bool SlotModel::ExportVoiceBank(const std::string& path) const {
    if (path.find('\0') != std::string::npos || !FitsPathMax(path)) return false;
    return m_engine->ExportVoiceBank(path.c_str());
}

bool SlotModel::IsSlotLoaded(int slot) const { return m_engine->IsSlotLoaded(slot); }

bool SlotModel::IsSlotPlaying(int slot) const { return m_engine->IsSlotPlaying(slot); }

int SlotModel::CountLoadedSlots() const { return m_engine->CountLoadedSlots(); }

bool SlotModel::ReadSlotFormat(int slot, SlotFormat* out) const {
    const VoiceBankImage* image = m_engine->GetImage();
    if (out == nullptr || image == nullptr || !IsValidSlot(slot)) return false;
    if (!m_engine->IsSlotLoaded(slot)) return false;
    const AudioData& record = image->voices[static_cast<size_t>(slot)];
    out->channels = record.channels;
    out->sampleRate = record.sampleRate;
    out->bitsPerSample = record.bitsPerSample;
    out->frames = record.frames;
    return true;
}

const std::string& SlotModel::SlotPath(int slot) const {
    static const std::string none;
    return IsValidSlot(slot) ? m_paths[static_cast<size_t>(slot)] : none;
}

void SlotModel::RestoreSlotPath(int slot, const std::string& path) {
    if (IsValidSlot(slot)) m_paths[static_cast<size_t>(slot)] = path;
}

void SlotModel::SlotStopped(int slot) {
    if (IsValidSlot(slot)) Notify(slot, SlotChange::Stopped);
}

void SlotModel::Notify(int slot, SlotChange change) {
    if (m_listener != nullptr) m_listener->SlotChanged(slot, change);
}
