#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <shared_mutex>
#include <string>

#include "audio/AudioData.h"
#include "audio/RowMark.h"
#include "convert/VoiceLoad.h"
#include "engine/SoundEngine.h"

struct VoiceBankImage;

inline constexpr int SlotCount = 16;

// What happened to a slot: emptied, filled with a sound, started, or its
// sound ended or was stopped.
enum class SlotChange { Cleared, Loaded, Started, Stopped };

// Why a load failed, for the message that says so: the reader's code, its
// reason in plain words, and whether the converter could read the file
// when conversion is off (the window then offers it).
struct LoadFailure {
    int code = 0;
    std::string reason;
    bool convertible = false;
};

// A row made from a sound file, not yet in a slot: what a worker thread
// hands back for the GUI thread to store (SlotModel::StoreRow).
struct MadeRow {
    std::string path;
    VoiceOptions options;
    std::unique_ptr<AudioData> record;  // null when it could not be allocated
    bool read = false;                  // the file was read (the path fit, memory was there)
    bool made = false;                  // record holds the row
    VoiceLoadOutcome outcome;
    LoadFailure failure;  // when not made
};

// What a loaded slot holds: the source's channels, rate and sample size,
// the stored length in frames at 44,100 Hz, the options it was made with
// (and the start frame they gave), and, for a row taken from a bank and
// kept as it stood, the bank and row it came from.
struct SlotFormat {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int frames = 0;
    VoiceOptions options;
    int64_t startFrame = 0;
    bool fromBank = false;
    RowOrigin origin;
    LoudnessApplied loudness;  // what a loudness option made of the row
};

// A slot's row as it stands, taken from the model and put back later
// without reading any file: its stored sound (null for an empty slot), the
// path it remembers and how it was made, a missing row's reason included.
struct RowState {
    std::string path;
    std::shared_ptr<const AudioData> record;
    VoiceOptions options;
    int64_t startFrame = 0;
    bool fromBank = false;
    RowOrigin origin;
    std::string missing;
    LoudnessApplied loudness;

    // Holds the same row: path, sound, options, missing reason and the bank
    // it came from.
    [[nodiscard]] bool SameRow(const RowState& other) const;
    // The memory the state keeps.
    [[nodiscard]] size_t Bytes() const;
};

// Told when a slot changes. SlotChanged runs on the thread that gave the
// command, except Stopped, which the engine's watcher thread reports: that
// call must not block and must not touch widgets itself. A Stopped may
// arrive after the slot was started again; ask IsSlotPlaying before
// showing it.
class SlotModelListener {
public:
    virtual ~SlotModelListener() = default;
    virtual void SlotChanged(int slot, SlotChange change) = 0;
};

// The 16 voice slots and their commands, without any user interface: the
// path of each row, the sound engine, load, clear, play and the export of
// the voice bank. Paths are file-system paths as UTF-8 bytes. Slot 0 is
// the bottom row.
class SlotModel final : private SoundEngine::Listener {
public:
    SlotModel();
    ~SlotModel() override;  // Close()
    SlotModel(const SlotModel&) = delete;
    SlotModel& operator=(const SlotModel&) = delete;

    // The listener (may be null) must outlive the model's open time. Set
    // it before Open.
    void SetListener(SlotModelListener* listener) { m_listener = listener; }

    // Opens the sound device. False when there is none.
    [[nodiscard]] bool Open();
    // Clears every slot (each watcher has ended) and releases the device.
    // The paths stay.
    void Close();
    [[nodiscard]] bool IsOpen() const;

    // A sound file onto a row, in two steps so the file is read off the
    // GUI thread: MakeRow reads the file and makes the row and touches
    // nothing of the model (any thread); StoreRow puts it into the slot (the
    // model's thread), remembering its path and options. On a failure (an
    // unreadable or refused file, a path with a NUL or too long for the
    // platform) the slot keeps its former row; why (may be null) receives
    // the reason. A file the strict reader refuses is converted when
    // convert is set. A failed store of a row whose path the slot remembers
    // without holding a sound marks the slot missing, with the reason.
    // A set cancelled flag stops it early with nothing made.
    [[nodiscard]] static MadeRow MakeRow(const std::string& path, const VoiceOptions& options,
                                         bool convert,
                                         const std::atomic<bool>& cancelled = NeverCancelled());
    [[nodiscard]] bool StoreRow(int slot, MadeRow row, LoadFailure* why = nullptr);

    // Puts a row that LoadVoice made from path with these options (on a
    // worker) into the slot, as a successful StoreRow does. False when the
    // sound device refuses it (the slot is then emptied) or the model is
    // closed.
    [[nodiscard]] bool PutMadeRow(int slot, const std::string& path, const AudioData& record,
                                  const VoiceLoadOutcome& outcome,
                                  const VoiceOptions& options = {});

    // The slot's row as it stands, its record shared (rows never change a
    // record once made); an empty state for a bad slot.
    [[nodiscard]] RowState TakeRow(int slot) const;
    // Puts a row taken by TakeRow back into the slot as it was, a missing
    // row's path and reason included. False when the sound device refuses
    // the sound (the slot is then emptied) or the model is closed.
    bool PutRow(int slot, const RowState& row);

    // Conversion of the formats the strict reader refuses (24-bit, float,
    // any rate, more channels, FLAC, Ogg ...); off by default.
    void SetConvertFormats(bool on) { m_convertFormats = on; }
    [[nodiscard]] bool ConvertFormats() const { return m_convertFormats; }
    // The options the slot's row was made with, or restored with; default
    // for an empty slot.
    [[nodiscard]] const VoiceOptions& SlotOptions(int slot) const;
    // Empties the slot and forgets its path and options. False for a bad
    // slot or an engine failure.
    bool ClearSlot(int slot);
    // Stops every sounding slot, then plays this one from its start. False
    // when a stop or the start fails.
    [[nodiscard]] bool PlaySlot(int slot);
    // A pad stroke (key or MIDI note): plays this slot from its start at
    // gain (0 ... 1) while the others sound on; a slot still sounding
    // restarts. False for an empty or bad slot or when the start fails.
    [[nodiscard]] bool StrikeSlot(int slot, float gain = 1.0f);
    // The sound of a stroke, from a thread other than the model's (a MIDI
    // input's), so that a busy window never delays a note: the model's
    // thread then calls ShowStruck. False for an empty or bad slot, a lost
    // device (StrikeSlot there opens it again) or a closed model: Open and
    // Close wait for a stroke in progress, so one may come at any time.
    [[nodiscard]] bool StrikeSlotFromInput(int slot, float gain);
    // Closes the sound device as lost (its JACK server went away); the next
    // StrikeSlot opens it again.
    void DropSoundDevice();
    // Tells the views that a stroke made by StrikeSlotFromInput sounds.
    void ShowStruck(int slot);
    // Stops every sounding slot. False when a stop fails.
    bool StopAllSlots();
    // The rows for the MIDI input's own JACK outputs (SoundEngine::JackRows).
    [[nodiscard]] std::shared_ptr<RowSampler> JackRows() { return m_engine->JackRows(); }
    // Plays a row made by MakeRow outside the slots and the bank (the row
    // editor's, the slice dialog's and the browser's audition), at gain
    // (0 ... 1). False, with the reason in why (may be null), when the row
    // was not made or does not start.
    [[nodiscard]] bool AuditionRow(MadeRow row, LoadFailure* why = nullptr, float gain = 1.0f);
    // Plays a stored bank's row (a card's bank, a kept copy) the same way;
    // false for an empty row, a closed model or a refused sound.
    [[nodiscard]] bool AuditionStoredRow(const AudioData& record);
    void StopAudition();
    // The bank of every loaded row, for a save on a worker; null for a
    // closed model or when memory is short.
    [[nodiscard]] std::shared_ptr<const VoiceBankImage> CopyBankImage() const;
    // A row is loaded while it holds a sound.
    [[nodiscard]] bool IsSlotLoaded(int slot) const;
    [[nodiscard]] bool IsSlotPlaying(int slot) const;
    [[nodiscard]] int CountLoadedSlots() const;
    // The loaded slot's format; false for a bad or an empty slot.
    [[nodiscard]] bool ReadSlotFormat(int slot, SlotFormat* out) const;

    // The path the row remembers: the last loaded one, or the one restored
    // from the settings (kept even when its file could not be loaded, so it
    // is tried again next time).
    [[nodiscard]] const std::string& SlotPath(int slot) const;
    // The row's saved state, remembered before its file is read, and kept
    // with the path while the file cannot be loaded.
    void RestoreSlot(int slot, const std::string& path, const VoiceOptions& options);
    // Why a row that remembers a path holds no sound (its file could not be
    // loaded); empty when it is not missing.
    [[nodiscard]] const std::string& SlotMissingReason(int slot) const;

    [[nodiscard]] static bool IsValidSlot(int slot) { return slot >= 0 && slot < SlotCount; }

private:
    // Arms the slot's voice with record and keeps it; empties the slot when
    // record is null or the device refuses it (false).
    bool ArmRecord(int slot, std::shared_ptr<const AudioData> record);
    [[nodiscard]] bool PutRecord(int slot, const std::string& path,
                                 std::shared_ptr<const AudioData> record,
                                 const VoiceLoadOutcome& outcome, const VoiceOptions& options);
    // The engine's watcher thread (never blocking).
    void SlotStopped(int slot) override;

    void Notify(int slot, SlotChange change);

    std::unique_ptr<SoundEngine> m_engine;
    SlotModelListener* m_listener = nullptr;
    std::array<std::string, SlotCount> m_paths;
    // Each row's sound as made (null: empty), shared with undo steps and
    // saves; the engine's voice plays a copy of it.
    std::array<std::shared_ptr<const AudioData>, SlotCount> m_records;
    // Per loaded slot: how its row was made.
    struct RowMaking {
        VoiceOptions options;
        int64_t startFrame = 0;
        bool fromBank = false;
        RowOrigin origin;
        std::string missing;  // SlotMissingReason
        LoudnessApplied loudness;
    };
    std::array<RowMaking, SlotCount> m_making;
    bool m_convertFormats = false;
    // Strokes from other threads hold it shared; Open and Close hold it
    // alone while the engine's device and voices come and go.
    std::shared_mutex m_strikeGate;
    bool m_struckOpen = false;  // under m_strikeGate
};
