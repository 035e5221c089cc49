#include "app/WaveformJob.h"

#include <QMetaObject>

#include <atomic>
#include <mutex>
#include <new>

#include "jobs/JobRunner.h"

// The worker's side: the batch it leaves, and the way back to the job while
// the job lives (cleared by the job's destructor, read on the GUI thread).
struct WaveformJob::Shared {
    std::mutex lock;
    std::vector<PeakBin> pending;  // under lock
    int64_t pendingFrames = 0;     // under lock
    std::atomic<bool> cancel{false};
    WaveformJob* owner = nullptr;  // GUI thread only
};

WaveformJob::WaveformJob(JobRunner& jobs, QObject* parent)
    : QObject(parent),
      m_jobs(jobs),
      m_bins(std::make_shared<std::vector<PeakBin>>()),
      m_shared(std::make_shared<Shared>()) {
    m_shared->owner = this;
}

WaveformJob::~WaveformJob() {
    Stop();
    m_shared->owner = nullptr;
}

void WaveformJob::Stop() {
    m_shared->cancel.store(true);
    m_ended = true;
}

bool WaveformJob::Start(const std::string& path, bool convert, int64_t totalFrames,
                        int64_t framesPerBin, QString* why) {
    if (m_started || framesPerBin < 1 || totalFrames < 0) {
        if (why != nullptr) *why = tr("the waveform cannot be started");
        return false;
    }
    m_capacity = static_cast<size_t>((totalFrames + framesPerBin - 1) / framesPerBin);
    try {
        // Held in full from the start: storing a batch never moves the bins.
        m_bins->reserve(m_capacity);
    } catch (const std::bad_alloc&) {
        if (why != nullptr) *why = tr("not enough memory for the waveform");
        return false;
    }
    m_started = true;
    // Batches go back through the runner, which outlives the worker; they
    // reach the job only while it lives.
    JobRunner* runner = &m_jobs;
    const std::shared_ptr<Shared> shared = m_shared;
    m_jobs.Run<QString>(
        JobLane{JobLane::Kind::Waveform}, this,
        [runner, shared, path, convert, framesPerBin](const std::atomic<bool>& cancelled) {
            const auto stopped = [&] { return shared->cancel.load() || cancelled.load(); };
            const PeakSink sink = [&](const std::vector<PeakBin>& bins, int64_t framesDone) {
                if (stopped()) return false;
                bool first = false;
                try {
                    const std::lock_guard<std::mutex> hold(shared->lock);
                    first = shared->pending.empty();
                    shared->pending.insert(shared->pending.end(), bins.begin(), bins.end());
                    shared->pendingFrames = framesDone;
                } catch (const std::bad_alloc&) {
                    QMetaObject::invokeMethod(
                        runner,
                        [shared] {
                            if (shared->owner != nullptr)
                                shared->owner->Fail(tr("not enough memory for the waveform"));
                        },
                        Qt::QueuedConnection);
                    return false;
                }
                // One call drains what piled up meanwhile.
                if (first)
                    QMetaObject::invokeMethod(
                        runner,
                        [shared] {
                            if (shared->owner != nullptr) shared->owner->TakePending();
                        },
                        Qt::QueuedConnection);
                return !stopped();
            };
            std::string reason;
            const bool done = ComputePeakOverview(path.c_str(), convert, framesPerBin, sink,
                                                  &reason, shared->cancel);
            if (done || stopped()) return QString();
            return QString::fromStdString(reason);
        },
        [this](const QString& failure) {
            if (m_shared->cancel.load()) return;
            TakePending();
            if (failure.isEmpty()) {
                if (m_ended) return;
                m_ended = true;
                emit Finished({});
            } else {
                Fail(failure);
            }
        });
    return true;
}

void WaveformJob::TakePending() {
    if (m_ended) return;
    std::vector<PeakBin> batch;
    int64_t framesDone = 0;
    {
        const std::lock_guard<std::mutex> hold(m_shared->lock);
        batch.swap(m_shared->pending);
        framesDone = m_shared->pendingFrames;
    }
    if (batch.empty()) return;
    if (batch.size() > m_capacity - m_bins->size()) {
        // The file holds more than its header said: later bins would not
        // fit where they belong.
        Fail(tr("the file holds more sound than its header gives"));
        return;
    }
    m_bins->insert(m_bins->end(), batch.begin(), batch.end());
    emit Progress(framesDone);
}

void WaveformJob::Fail(const QString& reason) {
    if (m_ended) return;
    m_shared->cancel.store(true);
    m_ended = true;
    emit Finished(reason);
}
