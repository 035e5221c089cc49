#include "app/WaveformJob.h"

#include <QMetaObject>

#include <new>
#include <system_error>

WaveformJob::WaveformJob(QObject* parent)
    : QObject(parent), m_bins(std::make_shared<std::vector<PeakBin>>()) {}

WaveformJob::~WaveformJob() {
    Stop();
    if (m_thread.joinable()) m_thread.join();
}

void WaveformJob::Stop() {
    m_cancel.store(true);
    m_ended = true;
}

bool WaveformJob::Start(const std::string& path, bool convert, int64_t totalFrames,
                        int64_t framesPerBin, QString* why) {
    if (m_thread.joinable() || framesPerBin < 1 || totalFrames < 0) {
        if (why != nullptr) *why = tr("the waveform cannot be started");
        return false;
    }
    m_capacity = static_cast<size_t>((totalFrames + framesPerBin - 1) / framesPerBin);
    try {
        // Held in full from the start: storing a batch never moves the bins.
        m_bins->reserve(m_capacity);
        m_thread = std::thread([this, path, convert, framesPerBin] {
            const PeakSink sink = [this](const std::vector<PeakBin>& bins, int64_t framesDone) {
                if (m_cancel.load()) return false;
                bool first = false;
                try {
                    const std::lock_guard<std::mutex> hold(m_lock);
                    first = m_pending.empty();
                    m_pending.insert(m_pending.end(), bins.begin(), bins.end());
                    m_pendingFrames = framesDone;
                } catch (const std::bad_alloc&) {
                    QMetaObject::invokeMethod(
                        this, [this] { Fail(tr("not enough memory for the waveform")); },
                        Qt::QueuedConnection);
                    return false;
                }
                // One call drains what piled up meanwhile.
                if (first)
                    QMetaObject::invokeMethod(
                        this, [this] { TakePending(); }, Qt::QueuedConnection);
                return !m_cancel.load();
            };
            std::string reason;
            const bool done =
                ComputePeakOverview(path.c_str(), convert, framesPerBin, sink, &reason, m_cancel);
            if (m_cancel.load()) return;
            const QString failure = done ? QString() : QString::fromStdString(reason);
            QMetaObject::invokeMethod(
                this,
                [this, failure] {
                    TakePending();
                    if (failure.isEmpty()) {
                        if (m_ended) return;
                        m_ended = true;
                        emit Finished({});
                    } else {
                        Fail(failure);
                    }
                },
                Qt::QueuedConnection);
        });
    } catch (const std::bad_alloc&) {
        if (why != nullptr) *why = tr("not enough memory for the waveform");
        return false;
    } catch (const std::system_error& error) {
        if (why != nullptr)
            *why = tr("no thread to read it: %1").arg(QString::fromUtf8(error.what()));
        return false;
    }
    return true;
}

void WaveformJob::TakePending() {
    if (m_ended) return;
    std::vector<PeakBin> batch;
    int64_t framesDone = 0;
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        batch.swap(m_pending);
        framesDone = m_pendingFrames;
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
    m_cancel.store(true);
    m_ended = true;
    emit Finished(reason);
}
