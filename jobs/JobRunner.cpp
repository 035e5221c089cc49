#include "jobs/JobRunner.h"

#include <QMetaObject>

JobRunner::JobRunner(QObject* parent) : QObject(parent) {
    // Jobs are file work, mostly waiting on the disk or a decoder; a couple
    // of threads keep one row's scan from holding up a save.
    m_pool.setMaxThreadCount(4);
    // Idle threads end soon: threads kept waiting held the program's exit
    // up by more than a second after the window closed.
    m_pool.setExpiryTimeout(100);
}

JobRunner::~JobRunner() {
    CancelAll();
    m_pool.waitForDone();
    // Deliveries still posted to this object die with it.
}

void JobRunner::Enqueue(JobLane lane, QObject* receiver, Task task) {
    Job job;
    job.task = std::move(task);
    job.receiver = receiver;
    job.hasReceiver = receiver != nullptr;
    job.cancelled = std::make_shared<std::atomic<bool>>(false);
    m_lanes[lane].queued.push_back(std::move(job));
    if (!m_lanes[lane].running) StartNext(lane);
    UpdateBusy();
}

void JobRunner::StartNext(JobLane laneName) {
    auto found = m_lanes.find(laneName);
    if (found == m_lanes.end()) return;
    Lane& lane = found->second;
    if (lane.running || lane.queued.empty()) return;
    lane.current = std::move(lane.queued.front());
    lane.queued.pop_front();
    lane.running = true;

    // The worker sees only the task and its flag; the receiver is looked at
    // on the GUI thread alone.
    m_pool.start([this, laneName, task = lane.current.task, cancelled = lane.current.cancelled] {
        Delivery delivery = task(*cancelled);
        QMetaObject::invokeMethod(
            this, [this, laneName, delivery = std::move(delivery)] { Finish(laneName, delivery); },
            Qt::QueuedConnection);
    });
}

void JobRunner::Finish(JobLane laneName, const Delivery& delivery) {
    auto found = m_lanes.find(laneName);
    if (found == m_lanes.end() || !found->second.running) return;
    Lane& lane = found->second;
    const Job job = std::move(lane.current);
    lane.current = Job{};
    lane.running = false;

    // With nothing queued behind it the lane is idle before the result is
    // delivered, so the receiver sees the state it will be left in. With
    // jobs behind it, they wait until this result has been delivered, which
    // keeps the lane's results in order even when done opens a dialog.
    const bool more = !lane.queued.empty();
    if (more) lane.running = true;  // held until the delivery returns
    UpdateBusy();

    const bool receiverGone = job.hasReceiver && job.receiver.isNull();
    if (!job.cancelled->load() && !receiverGone) delivery();

    if (more) {
        auto again = m_lanes.find(laneName);
        if (again != m_lanes.end()) {
            again->second.running = false;
            StartNext(laneName);
        }
    }
    UpdateBusy();
}

void JobRunner::Cancel(JobLane laneName) {
    auto found = m_lanes.find(laneName);
    if (found == m_lanes.end()) return;
    Lane& lane = found->second;
    lane.queued.clear();
    if (lane.running && lane.current.cancelled) lane.current.cancelled->store(true);
    UpdateBusy();
}

void JobRunner::CancelAll() {
    for (auto& [name, lane] : m_lanes) {
        lane.queued.clear();
        if (lane.running && lane.current.cancelled) lane.current.cancelled->store(true);
    }
    UpdateBusy();
}

bool JobRunner::IsBusy(JobLane laneName) const {
    auto found = m_lanes.find(laneName);
    return found != m_lanes.end() && (found->second.running || !found->second.queued.empty());
}

bool JobRunner::IsBusy() const {
    for (const auto& [name, lane] : m_lanes) {
        if (lane.running || !lane.queued.empty()) return true;
    }
    return false;
}

void JobRunner::UpdateBusy() {
    const bool busy = IsBusy();
    if (busy == m_busy) return;
    m_busy = busy;
    emit busyChanged(busy);
}
