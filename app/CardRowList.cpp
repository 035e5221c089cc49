#include "app/CardRowList.h"

#include <QFile>

#include <algorithm>
#include <utility>

#include "core/BankRows.h"
#include "core/CardBanks.h"
#include "core/SlotModel.h"
#include "jobs/JobRunner.h"

CardRowList::CardRowList(SlotModel& model, JobRunner& jobs, QWidget* parent)
    : QListWidget(parent), m_model(model), m_jobs(jobs) {
    setAccessibleName(tr("Rows of the selected bank"));
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { (void)PlayRow(row(item)); });
}

CardRowList::~CardRowList() = default;

void CardRowList::ShowBank(const CardBank* bank) {
    m_model.StopAudition();
    m_playWhenRead = -1;
    m_read.reset();
    const int was = currentRow();
    clear();
    m_path.clear();
    m_frames = {};
    const JobLane lane{JobLane::Kind::Details};
    m_jobs.Cancel(lane);
    if (bank == nullptr || bank->damaged) return;
    m_path = bank->path;
    for (size_t k = 0; k < m_frames.size(); ++k) {
        m_frames[k] = bank->rowFrames[k];
        addItem(m_frames[k] > 0 ? tr("Row %1, %2 ms")
                                      .arg(k + 1)
                                      .arg(static_cast<qint64>(m_frames[k]) * 1000 / 44100)
                                : tr("Row %1, empty").arg(k + 1));
    }
    // The row chosen before when it holds a sound here too, else the first that does.
    int current = was >= 0 && m_frames[static_cast<size_t>(was)] > 0 ? was : -1;
    for (size_t k = 0; k < m_frames.size() && current < 0; ++k)
        if (m_frames[k] > 0) current = static_cast<int>(k);
    setCurrentRow(std::max(current, 0));
    // Read again after every listing: a write may have changed the bank.
    m_jobs.Run<CheckedBank>(
        lane, this, [path = m_path](const std::atomic<bool>&) { return CheckBank(path); },
        [this, path = m_path](CheckedBank checked) {
            if (path != m_path) return;  // another bank is shown since
            if (!checked.ok || !checked.opened->bank.image) {
                m_playWhenRead = -1;
                emit ReadFailed(QFile::decodeName(QByteArray::fromStdString(checked.reason)));
                return;
            }
            m_read = checked.opened;
            if (const int row = std::exchange(m_playWhenRead, -1); row >= 0) (void)PlayRow(row);
        });
}

bool CardRowList::IsCurrentRowFilled() const {
    const int row = currentRow();
    return row >= 0 && static_cast<size_t>(row) < m_frames.size() &&
           m_frames[static_cast<size_t>(row)] > 0;
}

bool CardRowList::PlayRow(int row) {
    if (m_path.empty() || !SlotModel::IsValidSlot(row) || m_frames[static_cast<size_t>(row)] <= 0)
        return false;
    if (!m_read) {
        m_playWhenRead = row;  // plays once the bank is read
        return true;
    }
    if (!m_model.AuditionStoredRow(m_read->bank.image->voices[static_cast<size_t>(row)]))
        return false;
    emit RowPlayed(row);
    return true;
}
