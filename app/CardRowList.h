#pragma once

#include <QListWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "voicebank/BankHead.h"

class JobRunner;
class SlotModel;
struct CardBank;
struct OpenedBankFile;

// The card view's rows of the selected bank: all 16 with their lengths, as
// the listing gave them, each playable through the model's audition once
// the bank was read (on a worker) — the bank is never opened into the rows.
class CardRowList : public QListWidget {
    Q_OBJECT
public:
    // model plays the rows, jobs reads the bank; both must outlive the list.
    CardRowList(SlotModel& model, JobRunner& jobs, QWidget* parent = nullptr);
    ~CardRowList() override;

    // Shows bank's rows (none for null or a damaged bank) and reads it.
    void ShowBank(const CardBank* bank);
    // Plays row (0 ... 15) of the bank shown, at once when it was read, else
    // once it is; false for an empty row or no bank.
    bool PlayRow(int row);
    // The current row holds a sound.
    [[nodiscard]] bool IsCurrentRowFilled() const;

signals:
    void RowPlayed(int row);
    // The bank could not be read: reason says why.
    void ReadFailed(const QString& reason);

private:
    SlotModel& m_model;
    JobRunner& m_jobs;
    std::string m_path;  // the bank shown; empty for none
    std::array<std::int32_t, VoiceSlotCount> m_frames{};
    std::shared_ptr<const OpenedBankFile> m_read;  // the bank shown, once read
    int m_playWhenRead = -1;
};
