#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "convert/PeakOverview.h"

// Computes a sound file's peak overview on a thread of its own and keeps
// the bins. The bins grow on the owner's thread as batches arrive; a batch
// that cannot be stored stops the job (the bins never shift), and every
// failure ends with its reason. Destroying the job stops its thread and
// waits for it.
class WaveformJob : public QObject {
    Q_OBJECT
public:
    explicit WaveformJob(QObject* parent = nullptr);
    ~WaveformJob() override;
    WaveformJob(const WaveformJob&) = delete;
    WaveformJob& operator=(const WaveformJob&) = delete;

    // Starts the overview of the file at path, whose header gives
    // totalFrames, in bins of framesPerBin frames. False with the reason
    // in *why when the bins cannot be held or the thread cannot start
    // (nothing is then reported). Once only.
    [[nodiscard]] bool Start(const std::string& path, bool convert, int64_t totalFrames,
                             int64_t framesPerBin, QString* why);
    // Asks the thread to stop; no more signals come.
    void Stop();

    // The bins so far, shared with whoever draws them.
    [[nodiscard]] std::shared_ptr<const std::vector<PeakBin>> Bins() const { return m_bins; }

signals:
    // More bins are stored; framesDone of the file are covered.
    void Progress(int64_t framesDone);
    // The job ended: the whole file covered (failure empty) or not.
    void Finished(const QString& failure);

private:
    // The owner's thread: stores what the worker left in m_pending.
    void TakePending();
    void Fail(const QString& reason);

    std::shared_ptr<std::vector<PeakBin>> m_bins;
    size_t m_capacity = 0;  // bins the file's length gives
    std::mutex m_lock;
    std::vector<PeakBin> m_pending;  // under m_lock
    int64_t m_pendingFrames = 0;     // under m_lock
    std::atomic<bool> m_cancel{false};
    bool m_ended = false;
    std::thread m_thread;
};
