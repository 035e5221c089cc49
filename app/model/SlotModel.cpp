#include "app/model/SlotModel.h"

#include <new>

#include "app/model/PathUtils.h"
#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/ReadFailure.h"
#include "convert/ConvertingReader.h"
#include "convert/VoiceLoad.h"
#include "voicebank/VoiceBankImage.h"

SlotModel::SlotModel() : m_engine(std::make_unique<SoundEngine>()) {}

SlotModel::~SlotModel() {
    // The watcher calls back into the model: end it first.
    Close();
}

bool SlotModel::Open() { return m_engine->Open(this, SlotCount, HostLittleEndian); }

void SlotModel::Close() { m_engine->Close(); }

bool SlotModel::IsOpen() const { return m_engine->GetImage() != nullptr; }

bool SlotModel::LoadSlot(int slot, const std::string& path, LoadFailure* why,
                         const VoiceOptions& options) {
    if (!IsValidSlot(slot)) return false;
    LoadFailure failure;
    const bool wasLoaded = m_engine->IsSlotLoaded(slot);
    bool loaded = false;
    const std::unique_ptr<AudioData> record(new (std::nothrow) AudioData());
    VoiceLoadOutcome outcome;
    if (CanMakeRow(path, record.get(), &failure)) {
        const bool made =
            LoadVoice(path.c_str(), options, m_convertFormats, record.get(), &outcome);
        failure.code = outcome.code;
        if (made) {
            // Stores and arms the row as made; empties the slot when that fails.
            loaded = m_engine->LoadSlotRecord(slot, *record, SoundEngine::TailFade::Keep);
            if (!loaded) failure.reason = "the sound device refused the sound";
        } else if (outcome.code == ReadOk) {
            // A file read with no frames empties the slot, as the engine's
            // own load does.
            if (!outcome.startPastEnd)
                (void)m_engine->LoadSlotRecord(slot, *record, SoundEngine::TailFade::Keep);
            failure.reason = outcome.startPastEnd ? "the start lies at or past the end of the file"
                                                  : DescribeReadFailure(path, ReadOk, *record);
        } else {
            failure.reason = DescribeReadFailure(path, failure.code, *record);
            if (m_convertFormats) {
                const std::string converter = DescribeConverterRefusal(outcome.converter);
                if (!converter.empty()) failure.reason += "; " + converter;
            } else {
                // Offered only when the converter really reads this file.
                const std::unique_ptr<AudioData> trial(new (std::nothrow) AudioData());
                ConvertOutcome trialOutcome;
                failure.convertible =
                    trial && ReadAudioFileConverting(path.c_str(), trial.get(), HostLittleEndian,
                                                     &trialOutcome) == ReadOk;
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
    m_making[static_cast<size_t>(slot)] = {options, outcome.startFrame, outcome.exactRow,
                                           outcome.exactRow ? outcome.origin : RowOrigin{}};
    Notify(slot, SlotChange::Loaded);
    return true;
}

const VoiceOptions& SlotModel::SlotOptions(int slot) const {
    static const VoiceOptions none;
    return IsValidSlot(slot) ? m_making[static_cast<size_t>(slot)].options : none;
}

bool SlotModel::ClearSlot(int slot) {
    if (!IsValidSlot(slot)) return false;
    if (!m_engine->ClearSlot(slot)) return false;
    m_paths[static_cast<size_t>(slot)].clear();
    m_making[static_cast<size_t>(slot)] = {};
    Notify(slot, SlotChange::Cleared);
    return true;
}

bool SlotModel::PlaySlot(int slot) {
    if (!IsValidSlot(slot) || !StopAllSlots()) return false;
    if (!m_engine->PlaySlot(slot)) return false;
    Notify(slot, SlotChange::Started);
    return true;
}

bool SlotModel::StrikeSlot(int slot, float gain) {
    if (!IsValidSlot(slot) || !m_engine->PlaySlot(slot, gain)) return false;
    Notify(slot, SlotChange::Started);
    return true;
}

bool SlotModel::StopAllSlots() {
    for (int k = 0; k < SlotCount; ++k) {
        if (m_engine->IsSlotPlaying(k) && !m_engine->StopSlot(k)) return false;
    }
    return true;
}

bool SlotModel::Audition(const std::string& path, const VoiceOptions& options, LoadFailure* why) {
    LoadFailure failure;
    const std::unique_ptr<AudioData> record(new (std::nothrow) AudioData());
    VoiceLoadOutcome outcome;
    bool played = false;
    if (CanMakeRow(path, record.get(), &failure)) {
        if (LoadVoice(path.c_str(), options, m_convertFormats, record.get(), &outcome)) {
            played = m_engine->AuditionRecord(*record);
            if (!played) failure.reason = "the sound device refused the sound";
        } else {
            failure.code = outcome.code;
            failure.reason = outcome.startPastEnd
                                 ? "the start lies at or past the end of the file"
                                 : DescribeReadFailure(path, outcome.code, *record);
        }
    }
    if (!played && why != nullptr) *why = std::move(failure);
    return played;
}

bool SlotModel::CanMakeRow(const std::string& path, const AudioData* record,
                           LoadFailure* failure) const {
    // A path with a NUL or too long for the platform is refused like a
    // file that cannot be opened.
    if (path.find('\0') != std::string::npos || !FitsPathMax(path)) {
        failure->code = ReadShort;
        failure->reason = "the path is too long or holds a NUL character";
    } else if (!IsOpen()) {
        failure->reason = "the sound device is not open";
    } else if (record == nullptr) {
        failure->reason = "not enough memory";
    } else {
        return true;
    }
    return false;
}

void SlotModel::StopAudition() { m_engine->StopAudition(); }

bool SlotModel::IsAuditionPlaying() const { return m_engine->IsAuditionPlaying(); }

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
    const RowMaking& making = m_making[static_cast<size_t>(slot)];
    out->options = making.options;
    out->startFrame = making.startFrame;
    out->fromBank = making.fromBank;
    out->origin = making.origin;
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
