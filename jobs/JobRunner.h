#pragma once

// Work the window starts off the GUI thread (reads, decodes, scans,
// copies, fsyncs), with its result handed back on the GUI thread.
//
// Jobs are queued in lanes named by what they touch (row 3, the save, the
// bank): the jobs of one lane run one after another in the order they
// were queued and their results arrive in that order, so a later load of
// a row never lands before an earlier one. Different lanes run side by
// side on a small pool of threads owned by the runner.

#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <atomic>
#include <compare>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <utility>

// What a job touches. Each runner belongs to one window or dialog, so a
// lane of one never holds up another's.
struct JobLane {
    enum class Kind : uint8_t {
        Row,       // a row's loads (index: the row)
        Save,      // the bank's save
        Bank,      // opening a bank
        Fill,      // listing a folder for a fill
        RowOut,    // a row written out for a drag
        RowFiles,  // clearing row files left behind
        Audition,  // making a row to play outside the rows
        Probe,     // reading a file's format and first sound
        Waveform,  // a file's waveform overview
        Measure,   // measuring rows' loudness
        Analyse,   // a file's slicing analysis
        Markers,   // slices found at a setting, a hand-put marker's hit
        List,      // listing a folder or the kept copies
        Details,   // reading listed files' details
        Places,    // the browser's places
        Restore,   // putting a kept copy back
        Card,      // the card view's writes, one after another
        Volumes,   // the save dialog's volumes and its look at the card
        Browse,    // the folder the open dialog starts in
    };
    Kind kind;
    int index = 0;

    [[nodiscard]] static constexpr JobLane ForRow(int row) { return {Kind::Row, row}; }
    friend constexpr auto operator<=>(const JobLane&, const JobLane&) = default;
};

class JobRunner : public QObject {
    Q_OBJECT

public:
    explicit JobRunner(QObject* parent = nullptr);
    // Cancels every job and waits for the running ones to return, so no
    // work outlives the window or dialog that owns the runner.
    ~JobRunner() override;

    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Runs work(cancelled) on a worker thread. When it returns, and the job
    // was not cancelled meanwhile and receiver still exists, done(result)
    // runs on the GUI thread. work should look at cancelled between steps
    // and return early once it is set; its result is then dropped. work must
    // not throw, and done must not delete the runner.
    template <typename Result>
    void Run(JobLane lane, QObject* receiver,
             std::function<Result(const std::atomic<bool>& cancelled)> work,
             std::function<void(Result)> done) {
        Enqueue(lane, receiver,
                [work = std::move(work),
                 done = std::move(done)](const std::atomic<bool>& cancelled) -> Delivery {
                    auto result = std::make_shared<Result>(work(cancelled));
                    return [done, result] { done(std::move(*result)); };
                });
    }

    // Drops the lane's queued jobs and flags its running one as cancelled.
    void Cancel(JobLane lane);
    void CancelAll();

    // A lane is busy while it has a job queued or running; the result of
    // its last job is delivered after the lane stopped being busy, so done
    // may queue the next job or enable controls again.
    [[nodiscard]] bool IsBusy(JobLane lane) const;
    [[nodiscard]] bool IsBusy() const;

signals:
    // Whether any lane is busy, each time that changes.
    void busyChanged(bool busy);

private:
    using Delivery = std::function<void()>;
    using Task = std::function<Delivery(const std::atomic<bool>& cancelled)>;

    struct Job {
        Task task;
        QPointer<QObject> receiver;
        bool hasReceiver = false;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };
    struct Lane {
        std::deque<Job> queued;
        bool running = false;
        Job current;  // the running job, while running
    };

    void Enqueue(JobLane lane, QObject* receiver, Task task);
    void StartNext(JobLane laneName);
    void Finish(JobLane laneName, const Delivery& delivery);
    void UpdateBusy();

    std::map<JobLane, Lane> m_lanes;  // touched on the GUI thread only
    bool m_busy = false;
    QThreadPool m_pool;
};
