#include "core/SlotModel.h"

#include <mutex>
#include <new>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/ReadFailure.h"
#include "convert/ConvertingReader.h"
#include "convert/VoiceLoad.h"
#include "core/PathUtils.h"
#include "voicebank/VoiceBankImage.h"

SlotModel::SlotModel() : m_engine(std::make_unique<SoundEngine>()) {}

SlotModel::~SlotModel() {
    // The watcher calls back into the model: end it first.
    Close();
}

bool SlotModel::Open() {
    const std::unique_lock gate(m_strikeGate);
    m_struckOpen = m_engine->Open(this, SlotCount);
    return m_struckOpen;
}

void SlotModel::Close() {
    {
        const std::unique_lock gate(m_strikeGate);
        m_struckOpen = false;
        m_engine->Close();
    }
    for (auto& record : m_records) record.reset();
}

bool SlotModel::IsOpen() const { return m_engine->IsOpen(); }

MadeRow SlotModel::MakeRow(const std::string& path, const VoiceOptions& options, bool convert,
                           const std::atomic<bool>& cancelled) {
    MadeRow row;
    row.path = path;
    row.options = options;
    row.record.reset(new (std::nothrow) AudioData());
    LoadFailure& failure = row.failure;
    // A path with a NUL or too long for the platform is refused like a
    // file that cannot be opened.
    if (path.find('\0') != std::string::npos || !FitsPathMax(path)) {
        failure.code = ReadShort;
        failure.reason = "the path is too long or holds a NUL character";
        return row;
    }
    if (row.record == nullptr) {
        failure.reason = "not enough memory";
        return row;
    }
    VoiceLoadOutcome& outcome = row.outcome;
    row.read = true;
    row.made = LoadVoice(path.c_str(), options, convert, row.record.get(), &outcome, cancelled);
    failure.code = outcome.code;
    if (row.made) return row;
    if (outcome.code == ReadOk) {
        failure.reason = outcome.startPastEnd ? "the start lies at or past the end of the file"
                                              : DescribeReadFailure(path, ReadOk, *row.record);
        return row;
    }
    failure.reason = DescribeReadFailure(path, failure.code, *row.record);
    if (outcome.levelsConflict)
        failure.reason = "the row is given both a peak level and a loudness; keep one";
    if (convert) {
        const std::string converter = DescribeConverterRefusal(outcome.converter);
        if (!converter.empty()) failure.reason += "; " + converter;
    } else {
        // Offered only when the converter opens this file and finds sound
        // in it, as the load's own look at its header found.
        failure.convertible = outcome.convertible;
    }
    return row;
}

bool SlotModel::StoreRow(int slot, MadeRow row, LoadFailure* why) {
    if (!IsValidSlot(slot)) return false;
    LoadFailure failure = std::move(row.failure);
    const bool wasLoaded = IsSlotLoaded(slot);
    bool loaded = false;
    if (row.read && !IsOpen()) {
        failure = {};
        failure.reason = "the sound device is not open";
    } else if (row.made) {
        loaded = PutRecord(slot, row.path, std::move(row.record), row.outcome, row.options);
        if (!loaded) failure.reason = "the sound device refused the sound";
    } else if (row.read && row.outcome.code == ReadOk && !row.outcome.startPastEnd) {
        // A file read with no frames empties the slot.
        (void)ArmRecord(slot, nullptr);
    }
    const auto s = static_cast<size_t>(slot);
    if (!loaded) {
        // A slot the engine emptied after reading the file must not keep
        // looking loaded.
        if (wasLoaded && !IsSlotLoaded(slot)) {
            (void)ClearSlot(slot);
        }
        // A remembered row whose file cannot be loaded stays, shown missing.
        if (!IsSlotLoaded(slot) && !m_paths[s].empty() && m_paths[s] == row.path) {
            m_making[s].missing = failure.reason;
            Notify(slot, SlotChange::Cleared);
        }
        if (why != nullptr) *why = std::move(failure);
        return false;
    }
    return true;
}

bool SlotModel::PutMadeRow(int slot, const std::string& path, const AudioData& record,
                           const VoiceLoadOutcome& outcome, const VoiceOptions& options) {
    std::unique_ptr<AudioData> copy(new (std::nothrow) AudioData(record));
    if (copy == nullptr) return false;
    return PutRecord(slot, path, std::move(copy), outcome, options);
}

bool SlotModel::ArmRecord(int slot, std::shared_ptr<const AudioData> record) {
    const auto s = static_cast<size_t>(slot);
    if (record != nullptr && m_engine->ArmSlotVoice(slot, *record)) {
        m_records[s] = std::move(record);
        return true;
    }
    (void)m_engine->ClearSlot(slot);
    m_records[s].reset();
    return false;
}

bool SlotModel::PutRecord(int slot, const std::string& path,
                          std::shared_ptr<const AudioData> record, const VoiceLoadOutcome& outcome,
                          const VoiceOptions& options) {
    if (!IsValidSlot(slot) || !IsOpen()) return false;
    // Stores and arms the row as made; empties the slot when that fails.
    if (!ArmRecord(slot, std::move(record))) return false;
    const auto s = static_cast<size_t>(slot);
    m_paths[s] = path;
    m_making[s] = {options,
                   outcome.startFrame,
                   outcome.exactRow,
                   outcome.exactRow ? outcome.origin : RowOrigin{},
                   {},
                   outcome.loudness};
    Notify(slot, SlotChange::Loaded);
    return true;
}

bool RowState::SameRow(const RowState& other) const {
    const bool sameSound =
        record == other.record ||
        (record != nullptr && other.record != nullptr && *record == *other.record);
    // The bank a row came from counts too: it names the bank a save proposes.
    return sameSound && path == other.path && options == other.options &&
           missing == other.missing && startFrame == other.startFrame &&
           fromBank == other.fromBank && origin == other.origin;
}

size_t RowState::Bytes() const {
    return sizeof(RowState) + path.size() + missing.size() + (record ? sizeof(AudioData) : 0);
}

RowState SlotModel::TakeRow(int slot) const {
    RowState row;
    if (!IsValidSlot(slot)) return row;
    const auto s = static_cast<size_t>(slot);
    const RowMaking& making = m_making[s];
    row.path = m_paths[s];
    row.options = making.options;
    row.startFrame = making.startFrame;
    row.fromBank = making.fromBank;
    row.origin = making.origin;
    row.missing = making.missing;
    row.loudness = making.loudness;
    row.record = m_records[s];
    return row;
}

bool SlotModel::PutRow(int slot, const RowState& row) {
    if (!IsValidSlot(slot) || !IsOpen()) return false;
    const bool loaded = ArmRecord(slot, row.record);
    const auto s = static_cast<size_t>(slot);
    m_paths[s] = row.path;
    m_making[s] = {row.options, row.startFrame, row.fromBank,
                   row.origin,  row.missing,    row.loudness};
    if (!loaded && row.record != nullptr)
        m_making[s].missing = "the sound device refused the sound";
    Notify(slot, loaded ? SlotChange::Loaded : SlotChange::Cleared);
    return loaded || row.record == nullptr;
}

const VoiceOptions& SlotModel::SlotOptions(int slot) const {
    static const VoiceOptions none;
    return IsValidSlot(slot) ? m_making[static_cast<size_t>(slot)].options : none;
}

bool SlotModel::ClearSlot(int slot) {
    if (!IsValidSlot(slot)) return false;
    if (!m_engine->ClearSlot(slot)) return false;
    m_records[static_cast<size_t>(slot)].reset();
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

bool SlotModel::StrikeSlotFromInput(int slot, float gain) {
    const std::shared_lock gate(m_strikeGate);
    return m_struckOpen && m_engine->StrikeSlot(slot, gain);
}

void SlotModel::DropSoundDevice() { m_engine->DropDevice(); }

void SlotModel::ShowStruck(int slot) {
    // A very short sound may have ended, and its stop been told, already.
    if (m_engine->IsSlotPlaying(slot)) Notify(slot, SlotChange::Started);
}

bool SlotModel::StopAllSlots() {
    for (int k = 0; k < SlotCount; ++k) {
        if (m_engine->IsSlotPlaying(k) && !m_engine->StopSlot(k)) return false;
    }
    return true;
}

bool SlotModel::AuditionRow(MadeRow row, LoadFailure* why, float gain) {
    LoadFailure failure = std::move(row.failure);
    bool played = false;
    if (row.read && !IsOpen()) {
        failure = {};
        failure.reason = "the sound device is not open";
    } else if (row.made) {
        played = m_engine->AuditionRecord(*row.record, gain);
        if (!played) failure.reason = "the sound device refused the sound";
    }
    if (!played && why != nullptr) *why = std::move(failure);
    return played;
}

bool SlotModel::AuditionStoredRow(const AudioData& record) {
    return record.channels != 0 && IsOpen() && m_engine->AuditionRecord(record);
}

void SlotModel::StopAudition() { m_engine->StopAudition(); }

std::shared_ptr<const VoiceBankImage> SlotModel::CopyBankImage() const {
    if (!IsOpen()) return nullptr;
    std::unique_ptr<VoiceBankImage> image(new (std::nothrow) VoiceBankImage());
    if (image == nullptr || !InitVoiceBankImage(image.get())) return nullptr;
    for (size_t s = 0; s < m_records.size(); ++s) {
        if (m_records[s] != nullptr) image->voices[s] = *m_records[s];
    }
    return image;
}

bool SlotModel::IsSlotLoaded(int slot) const {
    return IsValidSlot(slot) && m_records[static_cast<size_t>(slot)] != nullptr;
}

bool SlotModel::IsSlotPlaying(int slot) const { return m_engine->IsSlotPlaying(slot); }

int SlotModel::CountLoadedSlots() const {
    int count = 0;
    for (const auto& record : m_records) count += record != nullptr ? 1 : 0;
    return count;
}

bool SlotModel::ReadSlotFormat(int slot, SlotFormat* out) const {
    if (out == nullptr || !IsSlotLoaded(slot)) return false;
    const AudioData& record = *m_records[static_cast<size_t>(slot)];
    out->channels = record.channels;
    out->sampleRate = record.sampleRate;
    out->bitsPerSample = record.bitsPerSample;
    out->frames = record.frames;
    const RowMaking& making = m_making[static_cast<size_t>(slot)];
    out->options = making.options;
    out->startFrame = making.startFrame;
    out->fromBank = making.fromBank;
    out->origin = making.origin;
    out->loudness = making.loudness;
    return true;
}

const std::string& SlotModel::SlotPath(int slot) const {
    static const std::string none;
    return IsValidSlot(slot) ? m_paths[static_cast<size_t>(slot)] : none;
}

void SlotModel::RestoreSlot(int slot, const std::string& path, const VoiceOptions& options) {
    if (!IsValidSlot(slot)) return;
    m_paths[static_cast<size_t>(slot)] = path;
    m_making[static_cast<size_t>(slot)] = {};
    m_making[static_cast<size_t>(slot)].options = path.empty() ? VoiceOptions{} : options;
}

const std::string& SlotModel::SlotMissingReason(int slot) const {
    static const std::string none;
    return IsValidSlot(slot) ? m_making[static_cast<size_t>(slot)].missing : none;
}

void SlotModel::SlotStopped(int slot) {
    if (IsValidSlot(slot)) Notify(slot, SlotChange::Stopped);
}

void SlotModel::Notify(int slot, SlotChange change) {
    if (m_listener != nullptr) m_listener->SlotChanged(slot, change);
}
