#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/PeakOverview.h"

class JobRunner;

// Computes a sound file's peak overview as a job of its owner's runner (in
// its Waveform lane) and keeps the bins. The bins grow on the owner's thread
// as batches arrive; a batch that cannot be stored stops the job (the bins
// never shift), and every failure ends with its reason. Destroying the job
// stops the read; the runner waits for its worker when it goes.
class WaveformJob : public QObject {
    Q_OBJECT
public:
    // jobs runs the read and must outlive the job's worker (a runner waits
    // for its jobs when it goes).
    explicit WaveformJob(JobRunner& jobs, QObject* parent = nullptr);
    ~WaveformJob() override;
    WaveformJob(const WaveformJob&) = delete;
    WaveformJob& operator=(const WaveformJob&) = delete;

    // Starts the overview of the file at path, whose header gives
    // totalFrames, in bins of framesPerBin frames. False with the reason
    // in *why when the bins cannot be held (nothing is then reported).
    // Once only.
    [[nodiscard]] bool Start(const std::string& path, bool convert, int64_t totalFrames,
                             int64_t framesPerBin, QString* why);
    // Asks the read to stop; no more signals come.
    void Stop();

    // The bins so far, shared with whoever draws them.
    [[nodiscard]] std::shared_ptr<const std::vector<PeakBin>> Bins() const { return m_bins; }

signals:
    // More bins are stored; framesDone of the file are covered.
    void Progress(int64_t framesDone);
    // The job ended: the whole file covered (failure empty) or not.
    void Finished(const QString& failure);

private:
    struct Shared;

    // The owner's thread: stores what the worker left in the shared batch.
    void TakePending();
    void Fail(const QString& reason);

    JobRunner& m_jobs;
    std::shared_ptr<std::vector<PeakBin>> m_bins;
    size_t m_capacity = 0;  // bins the file's length gives
    // What the worker touches: it may outlive the job by a moment.
    std::shared_ptr<Shared> m_shared;
    bool m_started = false;
    bool m_ended = false;
};
